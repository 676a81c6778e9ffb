// The hosts a run may reach through its adapter: the window's /24 for a /24
// or wider subnet, the on-link hosts of a narrower one.
#include "fleet/sweep_scope.h"

#include <gtest/gtest.h>

#include <algorithm>

using fleet::SweepScope;

TEST(SweepScope, Slash24OrWider_TheWindowsSweepOfHosts1To254) {
    for (const int prefix : {24, 16, 8, 0, -1, 33}) { // the last two: no usable prefix
        const auto scope = SweepScope::Of("10.0.7.33", prefix);
        ASSERT_TRUE(scope) << prefix;
        EXPECT_EQ(scope->Subnet(), "10.0.7.0/24") << prefix;
        const auto hosts = scope->Hosts();
        ASSERT_EQ(hosts.size(), 254u) << prefix;
        EXPECT_EQ(hosts.front(), "10.0.7.1");
        EXPECT_EQ(hosts[32], "10.0.7.33"); // the window probes its own address too
        EXPECT_EQ(hosts.back(), "10.0.7.254");
        EXPECT_TRUE(scope->Contains("10.0.7.254"));
        for (const char* outside : {"10.0.7.0", "10.0.7.255", "10.0.6.5", "10.0.8.5", "10.0.7.05",
                                    "10.0.7", " 10.0.7.5", ""})
            EXPECT_FALSE(scope->Contains(outside)) << prefix << " " << outside;
    }
    EXPECT_FALSE(SweepScope::Of("10.0.7", 24));
}

TEST(SweepScope, Slash26_OnlyItsOnLinkHostsAndNeverTheRestOfThe24) {
    const auto scope = SweepScope::Of("198.51.100.70", 26); // 198.51.100.64/26
    ASSERT_TRUE(scope);
    EXPECT_EQ(scope->PrefixLength(), 26);
    EXPECT_EQ(scope->Subnet(), "198.51.100.64/26");
    const auto hosts = scope->Hosts();
    ASSERT_EQ(hosts.size(), 61u); // .65 .. .126 without this computer
    EXPECT_EQ(hosts.front(), "198.51.100.65");
    EXPECT_EQ(hosts.back(), "198.51.100.126");
    EXPECT_EQ(std::count(hosts.begin(), hosts.end(), "198.51.100.70"), 0);
    for (const char* inside : {"198.51.100.65", "198.51.100.70", "198.51.100.126"})
        EXPECT_TRUE(scope->Contains(inside)) << inside;
    for (const char* outside : {"198.51.100.64", "198.51.100.127", "198.51.100.63",
                                "198.51.100.128", "198.51.100.1", "198.51.100.254"})
        EXPECT_FALSE(scope->Contains(outside)) << outside;
}

TEST(SweepScope, Slash30To32_PointToPointLinksAndALoneHost) {
    const auto p30 = SweepScope::Of("192.0.2.5", 30); // 192.0.2.4/30: hosts .5 and .6
    EXPECT_EQ(p30->Hosts(), std::vector<std::string>{"192.0.2.6"});
    EXPECT_TRUE(p30->Contains("192.0.2.6"));
    EXPECT_FALSE(p30->Contains("192.0.2.4"));
    EXPECT_FALSE(p30->Contains("192.0.2.7"));

    const auto p31 = SweepScope::Of("192.0.2.4", 31); // both ends are hosts
    EXPECT_EQ(p31->Hosts(), std::vector<std::string>{"192.0.2.5"});

    const auto p32 = SweepScope::Of("255.255.255.255", 32); // the top address ends the count
    EXPECT_TRUE(p32->Hosts().empty());
    EXPECT_EQ(p32->Subnet(), "255.255.255.255/32");
}
