// The hosts a run may reach through its adapter: the window's /24 for a /24
// or wider subnet, the on-link hosts of a narrower one.
#include "fleet/run_steps.h"
#include "fleet/sweep_scope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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

// The rounds of a sweep, played against a field that answers by a script:
// which addresses first answer in which round (whole rounds first, then
// direct ones, counted on together).
TEST(SweepRounds, GoOnWhileNewCollectorsAnswerThenProbeTheExpectedDirectly) {
    using Answers = std::map<int, std::vector<std::string>>; // round (1-based) -> new answers
    struct Case {
        const char* name;
        int sweeps;
        std::vector<std::string> direct;
        bool directOnly;
        Answers answers;
        int wholeRounds;
        std::vector<std::vector<std::string>> directRounds;
    };
    const std::string a = "198.51.100.10", b = "198.51.100.11", c = "198.51.100.12";
    const std::vector<Case> cases = {
        {"all at once: two quiet rounds after", 2, {}, false, {{1, {a, b}}}, 3, {}},
        {"nobody", 2, {}, false, {}, 2, {}},
        {"at least as asked", 5, {}, false, {{1, {a}}}, 5, {}},
        {"a lossy field: new ones keep coming",
         2,
         {},
         false,
         {{1, {a}}, {2, {b}}, {4, {c}}},
         6,
         {}},
        {"only the targets matter: done once they answered",
         2,
         {a, b},
         true,
         {{1, {a}}, {3, {b}}, {4, {c}}},
         3,
         {}},
        {"new every round: bounded",
         2,
         {},
         false,
         {{1, {a}},
          {2, {b}},
          {3, {c}},
          {4, {"198.51.100.13"}},
          {5, {"198.51.100.14"}},
          {6, {"198.51.100.15"}},
          {7, {"198.51.100.16"}},
          {8, {"198.51.100.17"}}},
         8,
         {}},
        {"expected ones that answered get nothing more", 2, {a, b}, false, {{1, {a, b}}}, 3, {}},
        // Outside the scope, the adapter's own address and repeats are left out.
        {"expected silent ones: probed directly until they answer, at most six times",
         2,
         {a, b, c, b, "203.0.113.5", "198.51.100.1"},
         true,
         {{1, {a}}, {4, {b}}},
         3,
         {{b, c}, {c}, {c}, {c}, {c}, {c}}},
    };
    const auto scope = *fleet::SweepScope::Of("198.51.100.1", 24);
    const std::string kEsc(1, '\x1B');
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        fleet::SweepOptions options;
        options.sweeps = test.sweeps;
        options.waitMs = 700;
        options.direct = test.direct;
        options.directOnly = test.directOnly;
        fleet::SweepRounds rounds(options, scope);
        fleet::FieldTable field(scope.Own());
        std::vector<std::vector<std::string>> direct;
        int whole = 0;
        std::chrono::milliseconds waited{0};
        for (int round = 1; const auto next = rounds.Next(field); ++round) {
            ASSERT_LE(round, 20);
            waited += next->wait;
            if (next->whole) {
                EXPECT_EQ(next->addresses, scope.Hosts());
                ++whole;
            } else {
                direct.push_back(next->addresses);
            }
            if (test.answers.count(round) != 0)
                for (const auto& address : test.answers.at(round))
                    field.OnSearchFrame(kEsc + "8" + address.substr(11) + "#S1.00\x05", address);
        }
        EXPECT_EQ(whole, test.wholeRounds);
        EXPECT_EQ(rounds.WholeRounds(), whole);
        EXPECT_EQ(direct, test.directRounds);
        EXPECT_EQ(waited, whole * 700ms +
                              static_cast<int>(direct.size()) * fleet::policy::kDirectProbeWait);
    }
}
