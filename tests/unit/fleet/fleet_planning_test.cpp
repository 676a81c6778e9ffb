// Deciding what a fleet run does before anything is sent: the adapter, the
// targets and their up-front refusals, the order and gating of sessions, and
// the image itself.
#include "fleet/run/field_table.h"
#include "fleet/run/fleet_plan.h"
#include "fleet/run/ipv4_address.h"
#include "fleet/run/launch_plan.h"
#include "fleet/run/run_steps.h"
#include "fleet/session/firmware_image.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

using platform::NetworkAdapter;

using fleet::LaunchLimits;
using fleet::LaunchPlan;
using fleet::Outcome;
using fleet::ResultKind;

namespace {

std::vector<std::size_t> StartAll(LaunchPlan& plan) {
    std::vector<std::size_t> started;
    while (const auto next = plan.Next())
        started.push_back(*next);
    return started;
}

const char kOwn[] = "198.51.100.1";
const fleet::SweepScope kOwnScope = *fleet::SweepScope::Of(kOwn, 24);

std::string Reply(const std::string& text) {
    return "\x1B" + text + "\x05";
}

} // namespace

// ---- launch plan ----

TEST(LaunchPlan, ParallelLimit_StartsAnotherAsEachEnds) {
    LaunchPlan plan(5, LaunchLimits{2, 0, std::nullopt});
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{0, 1}));
    plan.Finished(1, Outcome::Failed);
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{2}));
    plan.Finished(0, Outcome::Upgraded);
    plan.Finished(2, Outcome::Refused);
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{3, 4}));
    EXPECT_FALSE(plan.Done());
    plan.Finished(3, Outcome::Upgraded);
    plan.Finished(4, Outcome::Upgraded);
    EXPECT_TRUE(plan.Done());
    EXPECT_EQ(plan.HaltReason(), "");

    LaunchPlan unlimited(4, LaunchLimits{});
    EXPECT_EQ(StartAll(unlimited).size(), 4u);
}

TEST(LaunchPlan, Canary_RestWaitsForAllCanariesAndStopsIfOneIsNotUpgraded) {
    LaunchPlan plan(5, LaunchLimits{0, 2, std::nullopt});
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{0, 1}));
    plan.Finished(0, Outcome::Upgraded);
    EXPECT_EQ(StartAll(plan), std::vector<std::size_t>{});
    plan.Finished(1, Outcome::Upgraded);
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{2, 3, 4}));

    // Neither a refusal nor a completion without the new version proves the image.
    for (const Outcome outcome : {Outcome::Refused, Outcome::NotVerified, Outcome::Failed}) {
        LaunchPlan halted(3, LaunchLimits{0, 1, std::nullopt});
        StartAll(halted);
        halted.Finished(0, outcome);
        EXPECT_EQ(StartAll(halted), std::vector<std::size_t>{}) << fleet::OutcomeName(outcome);
        EXPECT_TRUE(halted.Done());
        EXPECT_EQ(halted.HaltReason(), "not started: the canary collector was not upgraded");
        EXPECT_EQ(halted.HaltCode(), fleet::Reason::CanaryNotUpgraded);
        EXPECT_EQ(halted.FailedCanary(), 0u);
    }

    LaunchPlan more(2, LaunchLimits{0, 9, std::nullopt}); // more canaries than targets
    EXPECT_EQ(StartAll(more).size(), 2u);
}

TEST(LaunchPlan, CanaryAlreadyCurrent_TheNextTargetBecomesTheCanary) {
    LaunchPlan plan(4, LaunchLimits{0, 1, std::nullopt});
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{0}));
    plan.Finished(0, Outcome::AlreadyCurrent); // "E81": proves nothing, stops nothing
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{1}));
    plan.Finished(1, Outcome::Upgraded);
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(plan.HaltReason(), "");
}

TEST(LaunchPlan, MaxFailures_CountsFailuresOnlyAndLetsRunningOnesFinish) {
    LaunchPlan plan(6, LaunchLimits{3, 0, 2});
    StartAll(plan);
    plan.Finished(0, Outcome::Refused);
    plan.Finished(1, Outcome::Failed);
    EXPECT_EQ(StartAll(plan), (std::vector<std::size_t>{3, 4}));
    plan.Finished(3, Outcome::NotVerified); // unproven counts as failed here
    EXPECT_EQ(StartAll(plan), std::vector<std::size_t>{});
    EXPECT_FALSE(plan.Done()); // 2 and 4 still run
    plan.Finished(2, Outcome::Upgraded);
    plan.Finished(4, Outcome::Upgraded);
    EXPECT_TRUE(plan.Done());
    EXPECT_EQ(plan.HaltReason(), "not started: the failure limit (2) was reached");

    LaunchPlan interrupted(3, LaunchLimits{1, 0, std::nullopt});
    StartAll(interrupted);
    interrupted.Halt("stop", fleet::Reason::Interrupted);
    interrupted.Finished(0, Outcome::Failed);
    EXPECT_EQ(StartAll(interrupted), std::vector<std::size_t>{});
    EXPECT_TRUE(interrupted.Done());
    EXPECT_EQ(interrupted.HaltReason(), "stop");
}

// ---- the field table and the /24 ----

TEST(FieldTable, ReplyRules_FirstReplyPerAddressTrimmedOwnAndForeignDropped) {
    fleet::FieldTable field(kOwn);
    field.OnSearchFrame(Reply(" \t123456 #S2.01"), "198.51.100.50");
    field.OnSearchFrame(Reply("999#S9"), "198.51.100.50"); // a second sweep's reply
    field.OnSearchFrame(Reply("A#B#C"), "198.51.100.9");
    field.OnSearchFrame(Reply("77"), "198.51.100.10");
    field.OnSearchFrame(Reply("#S1"), "198.51.100.11");  // empty serial
    field.OnSearchFrame(Reply("own#S1"), kOwn);          // this host
    field.OnSearchFrame(Reply("far#S1"), "203.0.113.7"); // outside the /24
    field.OnSearchFrame(Reply("bc#S1"), "198.51.100.255");
    const auto sorted = field.SortedByAddress();
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].address, "198.51.100.9");
    EXPECT_EQ(sorted[0].serial, "A");
    EXPECT_EQ(sorted[0].version, "B#C");
    EXPECT_EQ(sorted[1].address, "198.51.100.10");
    EXPECT_EQ(sorted[1].version, "");
    EXPECT_EQ(sorted[2].serial, "123456");
    EXPECT_EQ(sorted[2].version, "S2.01");
}

TEST(FieldTable, Subnet_SweepCoversHosts1To254AndSendsNowhereElse) {
    const auto sweep = fleet::SweepAddresses("10.0.7.33");
    ASSERT_EQ(sweep.size(), 254u);
    EXPECT_EQ(sweep.front(), "10.0.7.1");
    EXPECT_EQ(sweep.back(), "10.0.7.254");
    EXPECT_TRUE(fleet::SweepAddresses("not an address").empty());

    EXPECT_TRUE(fleet::IsHostOf24("10.0.7.254", "10.0.7.33"));
    for (const char* outside : {"10.0.7.0", "10.0.7.255", "10.0.8.5", "10.0.7.256", "10.0.7",
                                "10.0.7.5.1", "10.0.7.05", " 10.0.7.5", "10.0.7.5x", ""})
        EXPECT_FALSE(fleet::IsHostOf24(outside, "10.0.7.33")) << outside;
    EXPECT_TRUE(fleet::AddressLess("10.0.7.9", "10.0.7.10"));
}

// ---- adapters and targets ----

TEST(FleetPlan, ChooseAdapter_ByNameAddressOrTheOnlyOne) {
    const std::vector<NetworkAdapter> adapters = {{"lo", "127.0.0.1", 8, true},
                                                  {"eth0", "192.0.2.2", 24, false},
                                                  {"wlan0", "10.1.1.5", 16, false},
                                                  {"wlan0", "10.2.2.5", 24, false}};
    const auto byName = fleet::ChooseAdapter(adapters, "eth0", "");
    ASSERT_TRUE(std::holds_alternative<NetworkAdapter>(byName));
    EXPECT_EQ(std::get<NetworkAdapter>(byName).address, "192.0.2.2");
    const auto byAddress = fleet::ChooseAdapter(adapters, "", "10.2.2.5");
    ASSERT_TRUE(std::holds_alternative<NetworkAdapter>(byAddress));
    EXPECT_EQ(std::get<NetworkAdapter>(byAddress).name, "wlan0");

    // Never a guess on a host with several networks.
    const auto several = fleet::ChooseAdapter(adapters, "", "");
    ASSERT_TRUE(std::holds_alternative<std::string>(several));
    EXPECT_NE(std::get<std::string>(several).find("several adapters"), std::string::npos);
    EXPECT_NE(std::get<std::string>(several).find("eth0  192.0.2.2"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<std::string>(fleet::ChooseAdapter(adapters, "wlan0", "")));
    EXPECT_EQ(std::get<std::string>(fleet::ChooseAdapter(adapters, "eth9", "")),
              "no adapter with the interface \"eth9\" (see: collector-fleet interfaces)");
    const auto only = fleet::ChooseAdapter({adapters[0], adapters[1]}, "", "");
    EXPECT_EQ(std::get<NetworkAdapter>(only).name, "eth0");
}

// Several adapters and routed subnets: each row's choice as "adapter subnet"
// parts (routed ones marked), or the start of its refusal.
TEST(FleetPlan, ChooseAdapters_AllVirtualSameSlash24AndRoutedSubnetsUpTo16) {
    auto adapter = [](const char* name, const char* address, int prefix, bool running = true,
                      const char* kind = "") {
        return NetworkAdapter{name, address, prefix, std::string(name) == "lo", running, kind};
    };
    const std::vector<NetworkAdapter> adapters = {
        adapter("lo", "127.0.0.1", 8),
        adapter("eth0", "198.51.100.1", 24),
        adapter("wlan0", "203.0.113.5", 24),
        adapter("docker0", "172.17.0.1", 16, true, "docker"),
        adapter("usb0", "169.254.3.3", 16),
        adapter("eth2", "192.0.2.9", 24, false),
        adapter("eth1", "198.51.100.7", 24, false)};
    // Routes lead to 10.20/16 and 198.51.101/24 through eth0, nowhere else.
    const fleet::RouteLookup route = [](const std::string& to) -> std::optional<std::string> {
        if (to.starts_with("10.20.") || to == "198.51.101.1")
            return "198.51.100.1";
        return std::nullopt;
    };
    const struct {
        std::vector<std::string> interfaces, subnets;
        std::string chosen; // or the refusal's start
    } rows[] = {
        {{"all"}, {}, "eth0 198.51.100.0/24; wlan0 203.0.113.0/24"},
        {{"all", "docker0"},
         {},
         "eth0 198.51.100.0/24; wlan0 203.0.113.0/24; docker0 172.17.0.0/24"},
        {{"eth0", "eth1"},
         {},
         "the adapters eth0 (198.51.100.1) and eth1 (198.51.100.7) are on the same /24 "
         "198.51.100.0/24"},
        {{"eth0"},
         {"10.20.4.0/23"},
         "eth0 198.51.100.0/24; eth0 10.20.4.0/24 routed; eth0 10.20.5.0/24 routed"},
        {{"eth0"}, {"198.51.100.0/23"}, "eth0 198.51.100.0/24; eth0 198.51.101.0/24 routed"},
        {{}, {"10.20.0.0/20"}, std::string(15, '?')}, // 16 routed /24s, no adapter's own
        {{"eth0", "wlan0"},
         {"10.20.0.0/20"},
         "this run would sweep 18 /24s; a run sweeps at most 16"},
        {{}, {"10.20.0.0/19"}, "--subnet 10.20.0.0/19 holds 32 /24s; a run sweeps at most 16"},
        {{},
         {"10.99.0.0/24"},
         "--subnet 10.99.0.0/24: no route of an adapter that is up leads to 10.99.0.0/24"},
        {{}, {"10.20.1.0/25"}, "--subnet 10.20.1.0/25 is narrower than a /24"},
        {{}, {"10.20.1/24"}, "--subnet \"10.20.1/24\" is not an IPv4 subnet"},
    };
    for (const auto& row : rows) {
        const auto chosen =
            fleet::ChooseAdapters(adapters, {row.interfaces, "", row.subnets}, route);
        std::string text;
        if (const auto* error = std::get_if<std::string>(&chosen))
            text = *error;
        else
            for (const auto& part : std::get<fleet::Adapter>(chosen).scope.Parts())
                text += (text.empty() ? "" : "; ") + part.adapter + " " +
                        fleet::SweepScope::SubnetOf(part) + (part.routed ? " routed" : "");
        if (row.chosen.find_first_not_of('?') == std::string::npos)
            EXPECT_EQ(std::count(text.begin(), text.end(), ';'), 15) << text;
        else
            EXPECT_EQ(text.substr(0, row.chosen.size()), row.chosen) << text;
    }
}

TEST(FleetPlan, CheckTarget_OnlyOtherHostsOfTheAdaptersSubnet) {
    const auto scope = *fleet::SweepScope::Of(kOwn, 24);
    EXPECT_EQ(fleet::CheckTarget("198.51.100.7", scope), "");
    EXPECT_EQ(fleet::CheckTarget("198.51.101.7", scope),
              "198.51.101.7 lies outside 198.51.100.0/24, the chosen adapter's subnet");
    EXPECT_EQ(fleet::CheckTarget("198.51.100.255", scope),
              "198.51.100.255 lies outside 198.51.100.0/24, the chosen adapter's subnet");
    EXPECT_EQ(fleet::CheckTarget(kOwn, scope), "198.51.100.1 is this computer's own address");
    EXPECT_EQ(fleet::CheckTarget("collector7", scope), "\"collector7\" is not an IPv4 address");
    // On a /26 the rest of the /24 is another network.
    const auto narrow = *fleet::SweepScope::Of(kOwn, 26);
    EXPECT_EQ(fleet::CheckTarget("198.51.100.62", narrow), "");
    EXPECT_EQ(fleet::CheckTarget("198.51.100.64", narrow),
              "198.51.100.64 lies outside 198.51.100.0/26, the chosen adapter's subnet");
}

TEST(FleetPlan, Targets_RefusalsUpFrontAndUpToDateOnesSkipped) {
    fleet::FieldTable field(kOwn);
    field.OnSearchFrame(Reply("a#S1.00"), "198.51.100.20");
    field.OnSearchFrame(Reply("b#V2.00"), "198.51.100.3");
    field.OnSearchFrame(Reply("c#S2.00"), "198.51.100.4");
    field.OnSearchFrame(Reply("d"), "198.51.100.5");
    field.OnSearchFrame(Reply("e#s1.00"), "198.51.100.6");
    field.OnSearchFrame(Reply("f#S0.9"), "198.51.100.10");
    fleet::FirmwareImage image;
    image.versionWire = image.versionAsReported = "S2.00";

    const auto all = fleet::PlanTargets(field, {}, {}, image, kOwnScope);
    EXPECT_EQ(all.toUpgrade, (std::vector<std::string>{"198.51.100.10", "198.51.100.20"}));
    EXPECT_EQ(all.toUpgradeAs[1].serial, "a");
    EXPECT_EQ(all.toUpgradeAs[1].versionBefore, "S1.00");
    std::map<std::string, std::pair<ResultKind, std::string>> settled;
    std::map<std::string, std::string> plans;
    for (const auto& r : all.settled) {
        settled[r.address] = {r.result, r.reason};
        plans[r.address] = std::string(fleet::PlanName(r.plan)) + "/" + r.reasonCode;
    }
    EXPECT_EQ(settled.size(), 4u);
    EXPECT_EQ(settled["198.51.100.3"].first, ResultKind::Refused);
    EXPECT_EQ(settled["198.51.100.4"],
              std::make_pair(ResultKind::AlreadyCurrent, std::string("already runs this version")));
    EXPECT_EQ(settled["198.51.100.5"].first, ResultKind::Refused); // no version at all
    EXPECT_EQ(settled["198.51.100.6"].second,
              "version \"s1.00\" does not begin with S: cannot be upgraded");
    EXPECT_EQ(plans, (std::map<std::string, std::string>{
                         {"198.51.100.3", "refused_v/version_v"},
                         {"198.51.100.4", "already_current/already_current"},
                         {"198.51.100.5", "refused_v/version_not_s"},
                         {"198.51.100.6", "refused_v/version_not_s"}}));

    // Named targets: duplicates once, in address order; a missing one fails,
    // one from outside the /24 (a target file of another site) is not touched.
    const auto named = fleet::PlanTargets(
        field, fleet::Unpinned({"198.51.100.20", "198.51.100.99", "198.51.100.20", "203.0.113.9"}),
        {}, image, kOwnScope);
    EXPECT_EQ(named.toUpgrade, (std::vector<std::string>{"198.51.100.20"}));
    ASSERT_EQ(named.settled.size(), 2u);
    EXPECT_EQ(named.settled[0].result, ResultKind::Failed);
    EXPECT_EQ(named.settled[0].plan, fleet::PlanKind::NotFound);
    EXPECT_EQ(named.settled[0].reason, "did not answer the sweep");
    EXPECT_EQ(named.settled[1].plan, fleet::PlanKind::NotInSubnet);
    EXPECT_EQ(named.settled[1].result, ResultKind::NotStarted);

    // Exclusions leave a collector out of --all and of named targets alike.
    const auto excluded =
        fleet::PlanTargets(field, {}, {"198.51.100.10", "198.51.100.3"}, image, kOwnScope);
    EXPECT_EQ(excluded.toUpgrade, (std::vector<std::string>{"198.51.100.20"}));
    EXPECT_EQ(excluded.settled.size(), 3u);

    // Over two adapters, the first one's targets come first (the canary is
    // one of them) though the second's addresses sort lower.
    auto twoAdapters = *fleet::SweepScope::Of(kOwn, 24, "eth0");
    twoAdapters.AddAdapter("eth1", "10.0.0.1", 24);
    fleet::FieldTable both(twoAdapters);
    both.OnSearchFrame(Reply("g#S1.00"), "10.0.0.7");
    both.OnSearchFrame(Reply("a#S1.00"), "198.51.100.20");
    const auto ordered = fleet::PlanTargets(both, {}, {}, image, twoAdapters);
    EXPECT_EQ(ordered.toUpgrade, (std::vector<std::string>{"198.51.100.20", "10.0.0.7"}));
    EXPECT_EQ(ordered.toUpgradeAs[1].adapter, "eth1");
}

// A target pinned to the serial the operator saw: where another collector
// answers now, nothing is sent; the same serial is upgraded as before.
TEST(FleetPlan, PinnedSerial_AnotherCollectorAtTheAddressIsNeverUpgraded) {
    fleet::FieldTable field(kOwn);
    field.OnSearchFrame(Reply("a#S1.00"), "198.51.100.20");
    field.OnSearchFrame(Reply("\xB2\xE2\x39#S1.00"), "198.51.100.21"); // GBK "测9"
    fleet::FirmwareImage image;
    image.versionWire = image.versionAsReported = "S2.00";
    const auto plan = fleet::PlanTargets(
        field, {{"198.51.100.20", "a"}, {"198.51.100.21", "b"}, {"198.51.100.22", "c"}}, {}, image,
        kOwnScope);
    EXPECT_EQ(plan.toUpgrade, std::vector<std::string>{"198.51.100.20"});
    ASSERT_EQ(plan.settled.size(), 2u);
    const auto& changed = plan.settled[0];
    EXPECT_EQ(changed.reasonCode, "serial_mismatch");
    EXPECT_EQ(changed.reason, "the collector at 198.51.100.21 answered with serial 测9, not b");
    EXPECT_EQ(changed.plan, fleet::PlanKind::NotFound);
    EXPECT_EQ(changed.result, ResultKind::NotStarted);
    EXPECT_EQ(changed.serial, "\xB2\xE2\x39");
    EXPECT_EQ(plan.settled[1].reasonCode, "no_sweep_reply"); // gone: not found, as unpinned
}

TEST(FleetPlan, TwoSerialsFromOneAddress_AConflictNeverUpgraded) {
    fleet::FieldTable field(kOwn);
    field.OnSearchFrame(Reply("A1#S1.00"), "198.51.100.7");
    field.OnSearchFrame(Reply(" A1 #S1.00"), "198.51.100.7"); // the same, trimmed: no conflict
    EXPECT_FALSE(field.Find("198.51.100.7")->conflict);
    field.OnSearchFrame(Reply("B2#S1.00"), "198.51.100.7");
    field.OnSearchFrame(Reply("B2#S1.00"), "198.51.100.7"); // listed once
    const auto* entry = field.Find("198.51.100.7");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->conflict);
    EXPECT_EQ(entry->serial, "A1");
    EXPECT_EQ(entry->otherSerials, std::vector<std::string>{"B2"});

    fleet::FirmwareImage image;
    image.versionWire = image.versionAsReported = "S2.00";
    const auto plan = fleet::PlanTargets(field, {}, {}, image, kOwnScope);
    EXPECT_TRUE(plan.toUpgrade.empty());
    ASSERT_EQ(plan.settled.size(), 1u);
    EXPECT_EQ(plan.settled[0].result, ResultKind::Conflict);
    EXPECT_EQ(plan.settled[0].reasonCode, "address_conflict");
    EXPECT_EQ(plan.settled[0].reason, "several collectors answer from this address (A1, B2)");
}

namespace {

// Targets as "IP" or "IP=SERIAL" (the serial's raw bytes), or the error text.
std::vector<std::string>
Described(const std::variant<std::vector<fleet::PinnedTarget>, std::string>& parsed) {
    if (const auto* error = std::get_if<std::string>(&parsed))
        return {*error};
    std::vector<std::string> described;
    for (const auto& target : std::get<std::vector<fleet::PinnedTarget>>(parsed))
        described.push_back(target.address + (target.serial ? "=" + *target.serial : ""));
    return described;
}

} // namespace

TEST(FleetPlan, TargetFile_PlainLinesUnpinned) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(Described(fleet::ParseTargetFile("\xEF\xBB\xBF# site 4\r\n198.51.100.7\r\n\r\n"
                                               "  198.51.100.9  \n# done")),
              (Lines{"198.51.100.7", "198.51.100.9"}));
    EXPECT_EQ(Described(fleet::ParseTargetFile("198.51.100.7\ncollector 8\n")),
              Lines{"line 2: \"collector 8\" does not hold an IPv4 address"});
    EXPECT_TRUE(Described(fleet::ParseTargetFile("# nothing\n")).empty());
}

// The discover CSV pins each address to its serial, read back as the
// collectors send it (GBK), whether its cells were quoted or guarded with
// an apostrophe against spreadsheet formulas.
TEST(FleetPlan, TargetFile_DiscoverCsvPinsEachAddressToItsSerial) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(
        Described(fleet::ParseTargetFile("ip,serial,version\r\n"
                                         "198.51.100.7,A1,S1.00\r\n"
                                         "198.51.100.8,\"B,2\",S1.00\n"
                                         "198.51.100.9,\"A\"\"B\",\"V1,0\"\n"
                                         "198.51.100.10,'=1+2,S1\n"
                                         "198.51.100.11,\"'-5,x\",S1\n"
                                         "198.51.100.12,'abc,S1\n"
                                         "198.51.100.13,,S1\n"
                                         "198.51.100.14,\xE6\xB5\x8B"
                                         "9,S1\n" // UTF-8 "测9"
                                         "198.51.100.15,\"two\nlines\",S1\n"
                                         "198.51.100.16,'0012345,S1\n")),
        (Lines{"198.51.100.7=A1", "198.51.100.8=B,2", "198.51.100.9=A\"B", "198.51.100.10==1+2",
               "198.51.100.11=-5,x", "198.51.100.12=abc", "198.51.100.13",
               "198.51.100.14=\xB2\xE2\x39", "198.51.100.15=two\nlines", "198.51.100.16=0012345"}));
    // A serial a spreadsheet turned into a number is refused, not pinned.
    EXPECT_EQ(
        Described(fleet::ParseTargetFile("ip,serial\n198.51.100.7,1.23E+15\n")).at(0).substr(0, 49),
        "line 2: the serial \"1.23E+15\" is a number in expo");
    EXPECT_EQ(Described(fleet::ParseTargetFile("serial,ip\n'@7,198.51.100.7\n")),
              Lines{"198.51.100.7=@7"});
    // A line break inside a quoted cell still counts as a line.
    EXPECT_EQ(Described(fleet::ParseTargetFile("ip,serial\n198.51.100.7,\"a\nb\"\nx,y\n")),
              Lines{"line 4: \"x,y\" does not hold an IPv4 address"});
}

TEST(FleetPlan, TargetArgument_AddressAloneOrPinnedToAUtf8Serial) {
    const auto plain = fleet::ParseTargetArgument("198.51.100.7");
    EXPECT_EQ(std::get<fleet::PinnedTarget>(plain).address, "198.51.100.7");
    EXPECT_FALSE(std::get<fleet::PinnedTarget>(plain).serial);
    const auto pinned = fleet::ParseTargetArgument("198.51.100.7=\xE6\xB5\x8B"
                                                   "9");
    EXPECT_EQ(std::get<fleet::PinnedTarget>(pinned).address, "198.51.100.7");
    EXPECT_EQ(std::get<fleet::PinnedTarget>(pinned).serial, "\xB2\xE2\x39");
    EXPECT_EQ(std::get<std::string>(fleet::ParseTargetArgument("198.51.100.7=")),
              "\"198.51.100.7=\" names no serial after \"=\"");
}

// The sweep against an expected list: pinned and unpinned serials, one that
// moved, one whose address another collector answers from, one in a
// conflict, missing ones, and collectors nobody listed.
TEST(FleetPlan, Expected_EveryListedSerialEndsWithAnOutcome) {
    fleet::FieldTable field(kOwn);
    field.OnSearchFrame(Reply("A#S1.00"), "198.51.100.10");
    field.OnSearchFrame(Reply("B#S1.00"), "198.51.100.20"); // listed at .11: moved
    field.OnSearchFrame(Reply("X#S1.00"), "198.51.100.12");
    field.OnSearchFrame(Reply("Y#S2.00"), "198.51.100.13");
    field.OnSearchFrame(Reply("T#S1.00"), "198.51.100.14"); // where C is listed
    field.OnSearchFrame(Reply("E#S1.00"), "198.51.100.15");
    field.OnSearchFrame(Reply("F#S1.00"), "198.51.100.15");
    fleet::FirmwareImage image;
    image.versionWire = image.versionAsReported = "S2.00";
    fleet::Expectation expected{{{"A", "198.51.100.10"},
                                 {"B", "198.51.100.11"},
                                 {"C", "198.51.100.14"},
                                 {"D", std::nullopt},
                                 {"F", std::nullopt}},
                                false};
    const std::map<std::string, std::string> common = {
        {"198.51.100.10 A", "upgrade/planned/"},
        {"198.51.100.20 B", "upgrade/planned/"},
        {"198.51.100.13 Y", "unexpected/already_current/already_current"},
        {"198.51.100.14 T", "not_found/not_started/serial_mismatch"},
        {"198.51.100.14 C", "not_found/not_found/no_sweep_reply"},
        {" D", "not_found/not_found/no_sweep_reply"},
        {"198.51.100.15 E", "address_conflict/conflict/address_conflict"},
    };
    for (const bool only : {false, true}) {
        expected.onlyExpected = only;
        const auto plan = fleet::PlanTargets(field, {}, {}, image, kOwnScope, &expected);
        std::map<std::string, std::string> rows;
        for (const auto& r : fleet::PlannedResults(plan))
            rows[r.address + " " + r.serial] = std::string(fleet::PlanName(r.plan)) + "/" +
                                               fleet::ResultName(r.result) + "/" + r.reasonCode;
        auto wanted = common;
        wanted["198.51.100.12 X"] =
            only ? "unexpected/not_started/unexpected" : "unexpected/planned/";
        EXPECT_EQ(rows, wanted) << "only expected: " << only;
        EXPECT_EQ(plan.expected, (fleet::ExpectedCounts{5, 3, 2}));
        EXPECT_EQ(fleet::ExitStatusFor(fleet::PlannedResults(plan), true), 1);
    }
    // Without a list nothing is compared, and nothing is unexpected.
    EXPECT_FALSE(fleet::PlanTargets(field, {}, {}, image, kOwnScope).expected);

    // Left alone by --only-expected fails nothing; a missing one fails the run.
    expected = {{{"A", std::nullopt}}, true};
    auto plan = fleet::PlanTargets(field, fleet::Unpinned({"198.51.100.10", "198.51.100.12"}), {},
                                   image, kOwnScope, &expected);
    EXPECT_EQ(fleet::ExitStatusFor(fleet::PlannedResults(plan), true), 0);
    expected.collectors.push_back({"Z", std::nullopt});
    plan = fleet::PlanTargets(field, fleet::Unpinned({"198.51.100.10"}), {}, image, kOwnScope,
                              &expected);
    EXPECT_EQ(fleet::ExitStatusFor(fleet::PlannedResults(plan), true), 1);
}

TEST(FleetPlan, ExpectedList_SerialsPinnedLinesOrDiscoverCsv) {
    using Lines = std::vector<std::string>;
    const auto described = [](const std::string& text) {
        const auto parsed = fleet::ParseExpectedList(text);
        if (const auto* error = std::get_if<std::string>(&parsed))
            return Lines{*error};
        Lines lines;
        for (const auto& c : std::get<std::vector<fleet::ExpectedCollector>>(parsed))
            lines.push_back((c.address ? *c.address + "=" : "") + c.serial);
        return lines;
    };
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"\xEF\xBB\xBF# site 4\r\n8100010\r\n\n 198.51.100.11 = 8100011 \n\xE6\xB5\x8B"
         "9\n",
         {"8100010", "198.51.100.11=8100011", "\xB2\xE2\x39"}},
        {"ip,serial,version\n198.51.100.10,8100010,S1.00\n198.51.100.11,'=7,S1\n,8100012,S1\n",
         {"198.51.100.10=8100010", "198.51.100.11==7", "8100012"}},
        {"serial\n8100010\n", {"8100010"}},
        // The same serial again: once, its address kept.
        {"8100010\n198.51.100.10=8100010\n8100010\n", {"198.51.100.10=8100010"}},
        {"8100010\n198.51.100.7\n",
         {"line 2: \"198.51.100.7\" is an address, not a serial (write IP=SERIAL to pin one)"}},
        {"198.51.100.7=\n", {"line 1: \"198.51.100.7=\" names no serial"}},
        {"=8100010\n", {"line 1: \"=8100010\" names no address before \"=\""}},
        {"host7=8100010\n",
         {"line 1: \"host7=8100010\" does not hold an IPv4 address before its serial"}},
        {"ip,serial\n198.51.100.7,\n", {"line 2: \"198.51.100.7,\" names no serial"}},
        {"198.51.100.7=a\n198.51.100.8=a\n",
         {"line 2: \"198.51.100.8=a\" lists serial a again, at another address (198.51.100.7)"}},
        {"198.51.100.7=a\n198.51.100.7=b\n",
         {"line 2: \"198.51.100.7=b\" lists address 198.51.100.7 for a second serial (a)"}},
        {"# nothing\n\n", {"names no collector"}},
    };
    for (const auto& [text, wanted] : cases)
        EXPECT_EQ(described(text), wanted) << text;
}

// ---- the image ----

class ImageTest : public ::testing::Test {
protected:
    // Writes a file named by UTF-8 text and returns its full UTF-8 path: the
    // loader takes UTF-8 names on every system (UTF-16 underneath on Windows).
    std::string Write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / std::filesystem::path(std::u8string(name.begin(), name.end()));
        std::ofstream(path, std::ios::binary) << bytes;
        return Utf8(path);
    }
    static std::string Utf8(const std::filesystem::path& path) {
        const auto text = path.u8string();
        return std::string(text.begin(), text.end());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_ = [] {
        auto d =
            std::filesystem::temp_directory_path() /
            ("fleet-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(d);
        return d;
    }();
};

TEST_F(ImageTest, NameRuleVersionTextHexAndBlocks) {
    const auto loaded =
        fleet::LoadFirmwareImage(Write("S1.2.3.bin", std::string("\x00\x1F\xAB", 3)));
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const fleet::FirmwareImage>>(loaded));
    const auto& image = *std::get<std::shared_ptr<const fleet::FirmwareImage>>(loaded);
    EXPECT_EQ(image.versionText, "S1.2.3");
    EXPECT_EQ(image.versionWire, "S1.2.3");
    EXPECT_EQ(*image.hex, "001FAB");
    EXPECT_EQ(image.blockCount, 1u);
    EXPECT_EQ(image.fileName, "S1.2.3.bin");

    const auto chinese = fleet::LoadFirmwareImage(Write("S升级.bin", std::string(301, 'x')));
    const auto& named = *std::get<std::shared_ptr<const fleet::FirmwareImage>>(chinese);
    EXPECT_EQ(named.versionWire, "S\xC9\xFD\xBC\xB6"); // GBK on the wire
    EXPECT_EQ(named.blockCount, 2u);
}

TEST_F(ImageTest, ExpectedDigest_64HexDigitsEitherCaseAndAnotherImageRefused) {
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = abc;
    for (auto& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(fleet::Sha256FromText(upper), abc);
    EXPECT_FALSE(fleet::Sha256FromText(abc.substr(1)));
    EXPECT_FALSE(fleet::Sha256FromText("g" + abc.substr(1)));
    EXPECT_FALSE(fleet::Sha256FromText(""));

    const auto loaded = fleet::LoadFirmwareImage(Write("S1.bin", "abc"));
    const auto& image = *std::get<std::shared_ptr<const fleet::FirmwareImage>>(loaded);
    EXPECT_EQ(fleet::CheckImageDigest(image, abc), "");
    const std::string other(64, '0');
    EXPECT_EQ(fleet::CheckImageDigest(image, other), "the image " + image.path + " has SHA-256 " +
                                                         abc + ", not the expected " + other +
                                                         "; nothing was sent");
}

TEST_F(ImageTest, NamedOnly_VersionFromTheNameWithoutReadingAFile) {
    const std::string digest(64, 'a');
    const auto named = fleet::NamedFirmwareImage("/nowhere/S升级.bin", digest);
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const fleet::FirmwareImage>>(named));
    const auto& image = *std::get<std::shared_ptr<const fleet::FirmwareImage>>(named);
    EXPECT_EQ(image.fileName, "S升级.bin");
    EXPECT_EQ(image.versionWire, "S\xC9\xFD\xBC\xB6");
    EXPECT_EQ(image.sha256, digest);
    EXPECT_EQ(image.blockCount, 0u);
    EXPECT_EQ(std::get<std::string>(fleet::NamedFirmwareImage("V1.bin", digest)),
              "the image's file name must begin with \"S\" (the version text): V1.bin");
}

TEST_F(ImageTest, Refusals_NameEmptyMissingFolderAndTooManyBlocks) {
    const auto reason = [](const std::string& path) {
        const auto loaded = fleet::LoadFirmwareImage(path);
        return std::holds_alternative<std::string>(loaded) ? std::get<std::string>(loaded) : "";
    };
    EXPECT_NE(reason(Write("s1.bin", "x")).find("must begin with \"S\""), std::string::npos);
    EXPECT_NE(reason(Write("V1.bin", "x")).find("must begin with \"S\""), std::string::npos);
    const std::string empty = Write("S0.bin", "");
    EXPECT_EQ(reason(empty), "Cannot open file \"" + empty + "\". It is empty");
    const std::string missing = Utf8(dir_ / "S-none.bin");
    EXPECT_EQ(reason(missing).rfind("Cannot open file \"" + missing + "\". ", 0), 0u);
    std::filesystem::create_directory(dir_ / "Sdir");
    EXPECT_EQ(reason(Utf8(dir_ / "Sdir")),
              "Cannot open file \"" + Utf8(dir_ / "Sdir") + "\". It is a folder");

    const std::string most = Write("Smax.bin", "");
    std::filesystem::resize_file(most, 65535ull * 300);
    EXPECT_EQ(reason(most), "");
    const std::string over = Write("Sover.bin", "");
    std::filesystem::resize_file(over, 65535ull * 300 + 1);
    EXPECT_NE(reason(over).find("65536 blocks"), std::string::npos);
}
