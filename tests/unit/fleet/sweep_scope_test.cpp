// The hosts a run may reach through its adapter: the window's /24 for a /24
// or wider subnet, the on-link hosts of a narrower one.
#include "fleet/run/run_steps.h"
#include "fleet/run/sweep_scope.h"

#include <gtest/gtest.h>

#include <algorithm>

using fleet::SweepScope;
using namespace std::chrono_literals;

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

// The rounds of a sweep against a field whose hosts .10, .11, .12 first
// answer in the rounds given (0: never; whole rounds first, then direct ones).
TEST(SweepRounds, GoOnWhileNewCollectorsAnswerThenProbeTheExpectedDirectly) {
    struct Case {
        int sweeps;
        bool targetsOnly; // .10-.12 named, expected at their addresses
        std::vector<int> answerIn;
        int wholeRounds;
        std::vector<std::size_t> directSizes;
    };
    const std::vector<Case> cases = {
        {2, false, {1, 1, 0}, 3, {}},                // two quiet rounds after the first
        {2, false, {0, 0, 0}, 2, {}},                // nobody
        {5, false, {1, 0, 0}, 5, {}},                // at least as asked
        {2, false, {1, 2, 4}, 6, {}},                // a lossy field: new ones keep coming
        {2, true, {1, 3, 3}, 3, {}},                 // targets: done once all answered
        {2, true, {1, 4, 0}, 3, {2, 1, 1, 1, 1, 1}}, // silent targets: six direct rounds
        {1, false, {1, 2, 3}, 5, {}},                // quiet after the last new one
    };
    const auto scope = *fleet::SweepScope::Of("198.51.100.1", 24);
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& test = cases[n];
        SCOPED_TRACE(n);
        fleet::SweepOptions options;
        options.sweeps = test.sweeps;
        options.waitMs = 700;
        if (test.targetsOnly) // repeats, the adapter's own address and outsiders left out
            options.direct = {"198.51.100.10", "198.51.100.11", "198.51.100.12",
                              "198.51.100.11", "198.51.100.1",  "203.0.113.5"};
        options.directOnly = test.targetsOnly;
        fleet::SweepRounds rounds(options, scope);
        fleet::FieldTable field(scope.Own());
        std::vector<std::size_t> direct;
        std::chrono::milliseconds waited{0};
        for (int round = 1; const auto next = rounds.Next(field); ++round) {
            ASSERT_LE(round, 20);
            waited += next->wait;
            if (next->whole)
                EXPECT_EQ(next->addresses, scope.Hosts());
            else
                direct.push_back(next->addresses.size());
            for (int k = 0; k < 3; ++k)
                if (test.answerIn[k] == round)
                    field.OnSearchFrame("\x1B" + std::to_string(k) + "\x05",
                                        "198.51.100.1" + std::to_string(k));
        }
        EXPECT_EQ(rounds.WholeRounds(), test.wholeRounds);
        EXPECT_EQ(direct, test.directSizes);
        EXPECT_EQ(waited, test.wholeRounds * 700ms +
                              static_cast<int>(direct.size()) * fleet::policy::kDirectProbeWait);
    }
    // A field where someone new answers every time still ends at the bound.
    fleet::SweepRounds rounds({}, scope);
    fleet::FieldTable field(scope.Own());
    for (int round = 1; rounds.Next(field) && round < 20; ++round)
        field.OnSearchFrame("\x1B" + std::to_string(round) + "\x05",
                            "198.51.100." + std::to_string(100 + round));
    EXPECT_EQ(rounds.WholeRounds(), fleet::policy::kSweepRoundsMax);
}
