// End-to-end: collector-fleet.exe from the Windows tree under wine in the tool
// namespace, against emulated collectors behind its two adapters in the field
// namespace. The wine server of the namespace's own prefix creates the
// program's sockets (scripts/wine-run.sh), so nothing it sends can leave the
// test's network.
// Without the Windows tree (scripts/build-windows.sh) the case skips.

#include "netns_fixture.h"
#include "report_check.h"
#include "windows_tree.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kWindowsTree = e2e::WindowsTree();
const std::string kFleetExe = kWindowsTree + "/fleet/collector-fleet.exe";
const std::string kWineState = kWindowsTree + "/wine";
const std::string kWineRun = e2e::kWineRunScript;

// A Linux path as the program sees it: wine maps / to drive Z:.
std::string WinePath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

class FleetExeInNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        E2E_REQUIRE_NAMESPACES();
        struct stat info {};
        if (::stat(kFleetExe.c_str(), &info) != 0)
            GTEST_SKIP() << "the Windows tree is not built at " << kWindowsTree
                         << " (scripts/build-windows.sh)";
        net_ = std::make_unique<e2e::NetnsFixture>(e2e::FieldRange(10, 12));
        ASSERT_TRUE(net_->Ok()) << net_->Error();
    }

    void TearDown() override {
        if (net_) // the namespace's wine server, and its prefix with it
            net_->RunInTool(e2e::EndWineCommand(kWineState));
    }

    struct Outcome {
        int status = -1;
        std::string out, err;
    };

    // collector-fleet.exe in the tool namespace, its streams going to files
    // (wine services it starts may hold a pipe open after it ends), standard
    // input not a console.
    Outcome Run(const std::vector<std::string>& args) {
        const std::string out = net_->ScratchDir() + "/fleet.out";
        const std::string err = net_->ScratchDir() + "/fleet.err";
        std::vector<std::string> argv = {"env",
                                         "WINEDEBUG=-all",
                                         "sh",
                                         "-c",
                                         "exec \"$@\" </dev/null >'" + out + "' 2>'" + err + "'",
                                         "sh",
                                         kWineRun,
                                         kWineState,
                                         kFleetExe};
        argv.insert(argv.end(), args.begin(), args.end());
        Outcome outcome;
        outcome.status = net_->RunInTool(argv);
        outcome.out = e2e::ReadFile(out);
        outcome.err = e2e::ReadFile(err);
        return outcome;
    }

    std::unique_ptr<e2e::NetnsFixture> net_;
};

TEST_F(FleetExeInNamespace, DiscoverListsBothFieldsAndOneUpgradeRunUpgradesAllFour) {
    const auto start = std::chrono::steady_clock::now();
    const std::string scratch = net_->ScratchDir();
    // A second adapter with a collector of its own: both swept in one run,
    // each from a port pair of its own.
    ASSERT_TRUE(net_->AddSecondAdapter({"203.0.113.10"})) << net_->Error();
    e2e::StartEmulatorInField(
        *net_, COLLECTOR_EMULATOR_PATH, "field",
        {"--address", "198.51.100.10=SN-A,198.51.100.11=SN-B,198.51.100.12=SN-C,203.0.113.10=SN-D",
         "--image-out", scratch + "/got-%a.bin"});

    const auto listed =
        Run({"discover", "--interface", "all", "--format", "csv", "--wait", "800"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    // Standard output is in text mode, so lines end in CR LF as on Windows.
    EXPECT_EQ(listed.out, "ip,serial,version\r\n"
                          "198.51.100.10,SN-A,S1.00\r\n"
                          "198.51.100.11,SN-B,S1.00\r\n"
                          "198.51.100.12,SN-C,S1.00\r\n"
                          "203.0.113.10,SN-D,S1.00\r\n");

    // Port 23 held by another collector-fleet.exe (sweeping, with a long
    // wait): doctor names it from the system's UDP table, and says what
    // Windows (here wine) gives of the network's category and the firewall.
    const pid_t holder =
        net_->SpawnInTool({"env", "WINEDEBUG=-all", kWineRun, kWineState, kFleetExe, "discover",
                           "--interface", "veth0", "--sweeps", "1", "--wait", "8000"});
    ASSERT_GT(holder, 0);
    for (int tries = 0; tries < 100 && net_->RunInTool({"grep", "-q", ":0017 ", "/proc/net/udp"});
         ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // its probes go out
    const auto doctor = Run({"doctor", "--interface", "veth0"});
    net_->Terminate(holder);
    EXPECT_EQ(doctor.status, 1) << doctor.out << doctor.err;
    EXPECT_NE(doctor.out.find("port 23 is held by collector-fleet.exe (pid "), std::string::npos)
        << doctor.out;
    // As wine 8 gives them: the category, and no list of the firewall's rules.
    for (const char* check : {"adapter veth0: network ", "the firewall"})
        EXPECT_NE(doctor.out.find(check), std::string::npos) << check << "\n" << doctor.out;

    // A Chinese file name travels as UTF-16 from the command line to the
    // file system, and as GBK in the upgrade request.
    std::string image;
    for (int i = 0; i < 4 * 300 - 31; ++i) // four blocks
        image += static_cast<char>((i * 11 + 5) & 0xFF);
    const std::string imagePath = scratch + "/S2.00升级.bin";
    std::ofstream(imagePath, std::ios::binary) << image;
    const std::string report = scratch + "/报告.json";

#ifdef COLLECTOR_FLEET_PATH
    // Signed on Linux by a key that this computer does not trust: refused
    // before anything is sent; trusted by --trusted-key, named in the report.
    const std::string key = scratch + "/release";
    ASSERT_EQ(e2e::RunCommand({COLLECTOR_FLEET_PATH, "image", "keygen", "--out", key}), 0);
    ASSERT_EQ(e2e::RunCommand(
                  {COLLECTOR_FLEET_PATH, "image", "sign", "--key", key + ".private.pem", imagePath}),
              0);
    const auto untrusted =
        Run({"upgrade", "--interface", "all", "--image", WinePath(imagePath), "--all", "--yes"});
    EXPECT_EQ(untrusted.status, 2) << untrusted.err;
    EXPECT_NE(untrusted.err.find("signature by unknown key "), std::string::npos) << untrusted.err;
    EXPECT_EQ(e2e::ReadFile(scratch + "/got-198.51.100.10.bin"), "") << "nothing was sent";
    const std::vector<std::string> trusted = {"--trusted-key", WinePath(key + ".pem")};
#else
    const std::vector<std::string> trusted;
#endif

    // Standard input is /dev/null, a character device that the C runtime
    // takes for a terminal: only a console may answer the confirmation.
    std::vector<std::string> unasked = {"upgrade", "--interface", "all", "--image",
                                        WinePath(imagePath), "--all"};
    unasked.insert(unasked.end(), trusted.begin(), trusted.end());
    const auto unconfirmed = Run(unasked);
    EXPECT_EQ(unconfirmed.status, 2) << unconfirmed.err;
    EXPECT_NE(unconfirmed.err.find("add --yes"), std::string::npos) << unconfirmed.err;
    EXPECT_EQ(e2e::ReadFile(scratch + "/got-198.51.100.10.bin"), "") << "nothing was sent";

    std::vector<std::string> upgrade = {"upgrade", "--interface", "all", "--image",
                                        WinePath(imagePath), "--all", "--yes", "--report",
                                        WinePath(report), "--sweeps", "1", "--wait", "800"};
    upgrade.insert(upgrade.end(), trusted.begin(), trusted.end());
    const auto upgraded = Run(upgrade);
    EXPECT_EQ(upgraded.status, 0) << upgraded.out << upgraded.err;
    // Standard error is a file, not a console: plain lines, never a redraw.
    EXPECT_EQ(upgraded.err.find('\x1b'), std::string::npos) << upgraded.err;
    for (const char* ip : {"198.51.100.10", "198.51.100.11", "198.51.100.12", "203.0.113.10"})
        EXPECT_EQ(e2e::ReadFile(scratch + "/got-" + ip + ".bin"), image) << ip;

    const auto json = nlohmann::json::parse(e2e::ReadFile(report), nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << "no report at " << report;
    EXPECT_EQ(e2e::ReportSchemaViolations(report), "");
    EXPECT_EQ(json.at("image").at("version"), "S2.00升级");
    EXPECT_EQ(json.at("image").at("blocks"), 4);
    if (!trusted.empty())
        EXPECT_EQ(json.at("image").at("signature").at("key_name"), "release");
    EXPECT_EQ(json.at("exit_status"), 0);
    ASSERT_EQ(json.at("collectors").size(), 4u);
    EXPECT_EQ(json.at("adapters").size(), 2u) << json.at("adapters").dump();
    for (const auto& collector : json.at("collectors")) {
        EXPECT_EQ(collector.at("outcome"), "upgraded") << collector.dump();
        EXPECT_EQ(collector.at("version_after"), "S2.00升级") << collector.dump();
    }

    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "[ FIGURE ] collector-fleet.exe under wine, discover and a 4-block upgrade of "
                 "four collectors on two adapters: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

} // namespace
