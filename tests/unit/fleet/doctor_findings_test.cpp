// The doctor's findings from given facts: each verdict, the fix it names, the
// holders of a port, and one JSON object per check.
#include "fleet/run/doctor_findings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using fleet::Verdict;

namespace {

platform::NetworkAdapter Adapter(std::string address, bool running = true, bool loopback = false) {
    return {"eth1", std::move(address), 24, loopback, running};
}

} // namespace

TEST(DoctorFindings, PortFreeHeldOrRefused_NamesTheHolderByNameAndPid) {
    platform::PortHolders held;
    held.holders = {{4321, "python3"}, {77, ""}};
    held.unowned = 1;
    const auto ok = fleet::PortCheck({23, true, false, "", {}});
    const auto taken = fleet::PortCheck({23, false, true, "", held});
    const auto denied = fleet::PortCheck({8000, false, false, "permission denied", {}});
    EXPECT_EQ(ok.verdict, Verdict::Ok);
    EXPECT_EQ(taken.verdict, Verdict::Problem);
    EXPECT_EQ(taken.zh,
              "端口 23 已被占用：python3（进程号 4321）、进程号 77 的程序（程序名无法读取）"
              "，以及一个无法查明的程序（查看其他用户的程序需要管理员或 root 权限）。"
              "请关闭该程序后再试");
    EXPECT_NE(taken.en.find("held by python3 (pid 4321), the program with pid 77 (its name could "
                            "not be read), and a program that could not be identified"),
              std::string::npos)
        << taken.en;
    EXPECT_EQ(denied.verdict, Verdict::Problem);
    EXPECT_EQ(denied.en, "port 8000 cannot be bound: permission denied");
    const auto json = fleet::FindingsJson({ok, taken});
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[1].at("verdict"), "problem");
    EXPECT_EQ(json[1].at("holders")[0], (nlohmann::json{{"pid", 4321}, {"name", "python3"}}));
    EXPECT_EQ(json[1].at("unidentified_holders"), 1);
    EXPECT_FALSE(fleet::NothingWrong({ok, taken}));
    EXPECT_EQ(fleet::PortHeldByText(23, {{{9, "socat"}}, 0, ""}),
              "占用端口 23 的是：socat（进程号 9）\nport 23 is held by socat (pid 9)");
}

// Each adapter state and probe round, each Windows network and firewall
// reading: the verdicts, and that each problem names its fix.
TEST(DoctorFindings, AdapterNetworkFirewallAndProbeRound_VerdictsAndFixes) {
    struct Case {
        const char* what;
        fleet::AdapterFacts facts;
        std::vector<Verdict> verdicts; // adapter, [category, firewall,] probe round
        std::string fix;               // in the English text of the first problem
    };
    const fleet::ProbeCounts none{254, 0, 0, 3, 0};
    const fleet::ProbeCounts three{254, 4, 3, 1, 0};
    const auto windows = [](std::string category, std::vector<platform::FirewallRule> rules,
                            bool read = true) {
        platform::NetworkProfile profile;
        profile.category = std::move(category);
        profile.categoryError = profile.category.empty() ? "CoCreateInstance failed" : "";
        profile.network = "未识别的网络";
        profile.rules = std::move(rules);
        profile.rulesRead = read;
        profile.firewallError = read ? "" : "the firewall policy (INetFwPolicy2) failed";
        profile.firewallOn = true;
        profile.programPath = "D:\\采集器\\collector-fleet.exe";
        return std::optional(profile);
    };
    const std::vector<Case> cases = {
        {"not listed",
         {"eth1", std::nullopt, std::nullopt, std::nullopt, "down", "未启用"},
         {Verdict::Problem, Verdict::Unknown},
         "not up, or without an IPv4 address"},
        {"no link",
         {"eth1", Adapter("192.168.1.5", false), std::nullopt, none, "", ""},
         {Verdict::Problem, Verdict::Problem},
         "check the cable"},
        {"self-assigned",
         {"eth1", Adapter("169.254.3.4"), std::nullopt, none, "", ""},
         {Verdict::Problem, Verdict::Problem},
         "give the adapter a fixed address"},
        {"nobody answered",
         {"eth1", Adapter("192.168.1.5"), std::nullopt, none, "", ""},
         {Verdict::Ok, Verdict::Problem},
         "254 probes sent, 0 replies (0 collectors), 3 dropped "
         "as malformed, 0 refused by the checksum"},
        {"answered",
         {"eth1", Adapter("192.168.1.5"), std::nullopt, three, "", ""},
         {Verdict::Ok, Verdict::Ok},
         ""},
        {"public, allowed",
         {"eth1", Adapter("192.168.1.5"), windows("public", {{"collector-fleet", true}}), three, "",
          ""},
         {Verdict::Ok, Verdict::Ok, Verdict::Ok, Verdict::Ok},
         ""},
        {"block wins over allow",
         {"eth1", Adapter("192.168.1.5"),
          windows("public", {{"collector-fleet", true}, {"collector-fleet", false}}), none, "", ""},
         {Verdict::Ok, Verdict::Ok, Verdict::Problem, Verdict::Problem},
         "netsh advfirewall firewall delete rule name=\"collector-fleet\" "
         "program=\"D:\\采集器\\collector-fleet.exe\""},
        {"no allow rule",
         {"eth1", Adapter("192.168.1.5"), windows("private", {}), none, "", ""},
         {Verdict::Ok, Verdict::Ok, Verdict::Problem, Verdict::Problem},
         "README.txt, section 2, step 3 says, or run as administrator:\n  netsh advfirewall "
         "firewall add rule name=\"采集器升级 UDP\" dir=in action=allow protocol=UDP profile=any "
         "program=\"D:\\采集器\\collector-fleet.exe\""},
        {"nothing readable (wine)",
         {"eth1", Adapter("192.168.1.5"), windows("", {}, false), three, "", ""},
         {Verdict::Ok, Verdict::Unknown, Verdict::Unknown, Verdict::Ok},
         ""},
    };
    for (const auto& c : cases) {
        const auto checks = fleet::AdapterChecks(c.facts);
        std::vector<Verdict> verdicts;
        for (const auto& check : checks)
            verdicts.push_back(check.verdict);
        EXPECT_EQ(verdicts, c.verdicts) << c.what;
        const auto problem = std::find_if(checks.begin(), checks.end(), [](const auto& check) {
            return check.verdict == Verdict::Problem;
        });
        if (!c.fix.empty() && problem != checks.end()) {
            EXPECT_NE(problem->en.find(c.fix), std::string::npos) << c.what << ": " << problem->en;
        }
        EXPECT_EQ(fleet::NothingWrong(checks), problem == checks.end()) << c.what;
        // Said in both languages, each led by its verdict.
        const std::string text = fleet::FindingsText(checks);
        EXPECT_EQ(text.find("[问题 problem]") != std::string::npos, problem != checks.end())
            << c.what;
    }
}
