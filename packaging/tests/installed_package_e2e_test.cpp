// The Debian packages as a technician would use them: installed with dpkg,
// the program started by a normal user (no root, no capabilities of its own)
// in the tool namespace, driven from outside over the accessibility bus with
// no test hooks in the program, against the installed emulator playing a full
// field of 253 collectors; and collector-fleet, run by a normal user from its
// own package, discovering and upgrading that field. Afterwards the packages
// are purged and the user removed, and nothing of either may remain.
#include "installed_machine.h"
#include "netns_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

const char* const kProgram = "/usr/bin/CollectorUpgrade";
const char* const kFleet = "/usr/bin/collector-fleet";
const char* const kReportSchema = "/usr/share/collector-fleet/report.schema.json";
const char* const kEmulator = "/usr/bin/collector-emulator";
const std::vector<std::string> kPackages = {"collector-upgrade", "collector-emulator"};

// dpkg has no trace of the package: never installed, or purged.
bool Absent(const std::string& package) {
    const std::string status = e2e::PackageStatus(package);
    return status.empty() || status == "unknown ok not-installed";
}

bool OnPath(const std::string& program) {
    return e2e::RunCommand({"sh", "-c", "command -v " + program}) == 0;
}

std::string WhyTheDriverCannotRun() {
    for (const char* tool : {"dpkg", "useradd", "userdel", "setpriv", "getcap", "ss", "xvfb-run",
                             "xauth", "dbus-run-session"})
        if (!OnPath(tool))
            return std::string(tool) + " is not installed";
    if (e2e::RunCommand(
            {"/usr/bin/python3", "-c", "import gi; gi.require_version('Atspi', '2.0')"}) != 0)
        return "python3-gi with gir1.2-atspi-2.0 is not installed";
    return {};
}

// Runs argv in the tool namespace as `user`, with no privilege of root's
// left; standard error is dropped when `stdoutOnly`.
int RunAsUser(const e2e::NetnsFixture& net, const e2e::ThrowawayUser& user,
              std::vector<std::string> argv, std::string* output, bool stdoutOnly = false) {
    std::vector<std::string> command = {"setpriv", "--reuid=" + std::to_string(user.Uid()),
                                        "--regid=" + std::to_string(user.Gid()), "--init-groups",
                                        "--reset-env"};
    if (stdoutOnly)
        command.insert(command.end(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null"});
    command.insert(command.end(), argv.begin(), argv.end());
    return net.RunInTool(command, output);
}

// A firmware image of 4 blocks in the user's home, owned by the user; its
// path, and its bytes in `image`.
std::string WriteUserImage(const e2e::ThrowawayUser& user, std::string& image) {
    const std::string path = user.Home() + "/S1.02.bin";
    image = e2e::WriteImage(path, 1000);
    EXPECT_EQ(::chown(path.c_str(), user.Uid(), user.Gid()), 0);
    return path;
}

// The installed emulator playing a collector at every host address but the
// tool's, each writing the image it receives to got-<address>.bin in the
// scratch folder; -1 (with a test failure) if it does not come up.
pid_t StartFullField(e2e::NetnsFixture& net) {
    const std::string ready = net.ScratchDir() + "/emulator.ready";
    const pid_t emulator = net.SpawnInField({kEmulator, "--address", "198.51.100.2-254",
                                             "--image-out", net.ScratchDir() + "/got-%a.bin",
                                             "--ready-file", ready, "--run-seconds", "180"});
    const bool up = e2e::WaitForFile(ready, 10s);
    EXPECT_TRUE(up) << net.LogOf(emulator);
    return up ? emulator : -1;
}

// The packages let `program` bind UDP port 23 for a normal user.
void ExpectPortCapability(const std::string& program) {
    std::string caps;
    e2e::RunCommand({"getcap", program}, &caps);
    EXPECT_NE(caps.find("cap_net_bind_service=ep"), std::string::npos) << caps;
}

std::string Sysctl(const std::string& key) {
    std::string value;
    e2e::RunCommand({"sysctl", "-n", key}, &value);
    value.erase(value.find_last_not_of("\n") + 1);
    return value;
}

// Sets the socket buffer limits to Debian's defaults for the test, so that
// the installation has to raise them and the removal to put them back; the
// machine's own values return at the end whatever happens.
class DefaultBufferLimits {
public:
    static constexpr const char* kDefault = "212992";
    DefaultBufferLimits() : rmem_(Sysctl("net.core.rmem_max")), wmem_(Sysctl("net.core.wmem_max")) {
        Set(kDefault, kDefault);
    }
    ~DefaultBufferLimits() { Set(rmem_, wmem_); }
    DefaultBufferLimits(const DefaultBufferLimits&) = delete;
    DefaultBufferLimits& operator=(const DefaultBufferLimits&) = delete;

private:
    static void Set(const std::string& rmem, const std::string& wmem) {
        e2e::RunCommand(
            {"sysctl", "-q", "-w", "net.core.rmem_max=" + rmem, "net.core.wmem_max=" + wmem});
    }
    std::string rmem_, wmem_;
};

// True when the tool namespace has UDP sockets bound to `port` owned by `uid`.
bool BoundBy(const std::string& listing, int port, uid_t uid) {
    std::istringstream lines(listing);
    const std::string local = ":" + std::to_string(port) + " ";
    const std::string owner = "uid:" + std::to_string(uid) + " ";
    for (std::string line; std::getline(lines, line);)
        if (line.find(local) != std::string::npos && (line + " ").find(owner) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& word) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(word + " ", 0) == 0)
            found.push_back(line.substr(word.size() + 1));
    return found;
}

// The driver's log without its row lines: what to show when a check fails.
std::string WithoutRows(const std::string& log) {
    std::string kept;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("row ", 0) != 0)
            kept += line + "\n";
    return kept;
}

} // namespace

TEST(InstalledPackage, NormalUserListsAFullFieldAndUpgradesOneThenPurgeLeavesNothing) {
    E2E_REQUIRE_NAMESPACES();
    if (const auto why = WhyTheDriverCannotRun(); !why.empty())
        GTEST_SKIP() << why;
    for (const auto& package : kPackages)
        if (!Absent(package))
            GTEST_SKIP() << package << " is already known to dpkg here; this test would not "
                         << "leave the machine as it found it";
    std::vector<std::string> debs;
    for (const auto& package : kPackages) {
        debs.push_back(e2e::FindDeb(PACKAGE_DIRECTORY, package));
        ASSERT_FALSE(debs.back().empty())
            << "no " << package << " package in " PACKAGE_DIRECTORY << " (cpack -G DEB builds it)";
    }
    DefaultBufferLimits limits;
    ASSERT_EQ(Sysctl("net.core.rmem_max"), DefaultBufferLimits::kDefault);

    e2e::NetnsFixture net(e2e::FieldRange(2, 254)); // every host address but the tool's .1
    ASSERT_TRUE(net.Ok()) << net.Error();
    {
        e2e::InstalledPackages installed(debs, kPackages);
        ASSERT_TRUE(installed.Ok()) << installed.Log();
        ExpectPortCapability(kProgram);
        EXPECT_EQ(Sysctl("net.core.rmem_max"), "1048576");
        EXPECT_EQ(Sysctl("net.core.wmem_max"), "1048576");

        e2e::ThrowawayUser user("cue2e-pkg-" + std::to_string(::getpid()));
        ASSERT_TRUE(user.Ok()) << user.Log();
        std::string image;
        const std::string imagePath = WriteUserImage(user, image);

        const pid_t emulator = StartFullField(net);
        ASSERT_GT(emulator, 0);

        // The user's own session: a private bus (for the accessibility bus) and
        // X server; setpriv drops every privilege before anything of it starts.
        const pid_t driver =
            net.SpawnInTool({"setpriv", "--reuid=" + std::to_string(user.Uid()),
                             "--regid=" + std::to_string(user.Gid()), "--init-groups",
                             "--reset-env", "dbus-run-session", "--", "xvfb-run", "-a",
                             "/usr/bin/python3", DRIVER_SCRIPT, "--program", kProgram, "--rows",
                             "253", "--image", imagePath, "--upgrade", "198.51.100.20"});
        ASSERT_GT(driver, 0);

        // Both ports bound by the user's process, seen while the driver works.
        bool bound = false;
        std::string listing;
        std::optional<int> driverStatus;
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while (!(driverStatus = net.WaitExit(driver, 0ms)) &&
               std::chrono::steady_clock::now() < deadline) {
            if (!bound) {
                net.RunInTool({"ss", "-ulneH"}, &listing);
                bound = BoundBy(listing, 8000, user.Uid()) && BoundBy(listing, 23, user.Uid());
            }
            std::this_thread::sleep_for(100ms);
        }
        const std::string log = net.LogOf(driver);
        EXPECT_TRUE(bound) << "ss -ulne in the tool namespace:\n" << listing;
        ASSERT_EQ(driverStatus, 0) << WithoutRows(log);

        const auto rows = LinesStartingWith(log, "row");
        std::set<std::string> addresses;
        for (const auto& row : rows) {
            std::istringstream fields(row);
            std::string serial, address, version;
            fields >> serial >> address >> version;
            addresses.insert(address);
            EXPECT_EQ(version, "S1.00") << row;
        }
        EXPECT_EQ(rows.size(), 253u);
        EXPECT_EQ(addresses.size(), 253u);
        EXPECT_EQ(addresses.count("198.51.100.2") + addresses.count("198.51.100.254"), 2u);
        EXPECT_EQ(LinesStartingWith(log, "version"), std::vector<std::string>{"S1.02"});
        EXPECT_EQ(LinesStartingWith(log, "notice"), std::vector<std::string>{"升级完成"})
            << WithoutRows(log);
        EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/got-198.51.100.20.bin"), image);
        net.Terminate(emulator);

        const std::string home = user.Home();
        EXPECT_EQ(user.Remove(), 0) << user.Log();
        EXPECT_FALSE(std::filesystem::exists(home));
        EXPECT_EQ(installed.Purge(), 0) << installed.Log();
    }
    EXPECT_NE(e2e::RunCommand({"whatis", "CollectorUpgrade"}), 0)
        << "a manual page is still indexed";
    for (const auto& package : kPackages)
        EXPECT_TRUE(Absent(package)) << package << ": " << e2e::PackageStatus(package);
    for (const char* path : {kProgram, kEmulator, "/usr/lib/sysctl.d/60-collector-upgrade.conf",
                             "/usr/share/applications/net.fieldcollector.CollectorUpgrade.desktop",
                             "/usr/share/doc/collector-upgrade", "/var/lib/collector-upgrade"})
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(Sysctl("net.core.rmem_max"), DefaultBufferLimits::kDefault);
    EXPECT_EQ(Sysctl("net.core.wmem_max"), DefaultBufferLimits::kDefault);
}

TEST(InstalledPackage,
     NormalUserDiscoversAndUpgradesAFieldWithCollectorFleetThenPurgeLeavesNothing) {
    E2E_REQUIRE_NAMESPACES();
    for (const char* tool : {"dpkg", "useradd", "userdel", "setpriv", "getcap"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    const std::vector<std::string> packages = {"collector-fleet", "collector-emulator"};
    std::vector<std::string> debs;
    for (const auto& package : packages) {
        if (!Absent(package))
            GTEST_SKIP() << package << " is already known to dpkg here; this test would not "
                         << "leave the machine as it found it";
        debs.push_back(e2e::FindDeb(PACKAGE_DIRECTORY, package));
        ASSERT_FALSE(debs.back().empty())
            << "no " << package << " package in " PACKAGE_DIRECTORY << " (cpack -G DEB builds it)";
    }

    e2e::NetnsFixture net(e2e::FieldRange(2, 254));
    ASSERT_TRUE(net.Ok()) << net.Error();
    {
        e2e::InstalledPackages installed(debs, packages);
        ASSERT_TRUE(installed.Ok()) << installed.Log();
        ExpectPortCapability(kFleet);

        e2e::ThrowawayUser user("cue2e-fleet-" + std::to_string(::getpid()));
        ASSERT_TRUE(user.Ok()) << user.Log();
        std::string image;
        const std::string imagePath = WriteUserImage(user, image);
        const pid_t emulator = StartFullField(net);
        ASSERT_GT(emulator, 0);

        std::string version;
        EXPECT_EQ(RunAsUser(net, user, {kFleet, "--version"}, &version), 0);
        EXPECT_EQ(version, "collector-fleet 1.0.0\n");

        std::string listing;
        ASSERT_EQ(RunAsUser(net, user, {kFleet, "discover", "--format", "json"}, &listing, true), 0)
            << listing;
        std::set<std::string> found;
        for (const auto& entry : nlohmann::json::parse(listing))
            found.insert(entry.at("ip").get<std::string>());
        EXPECT_EQ(found.size(), 253u) << listing;

        const std::string report = user.Home() + "/report.json";
        std::string run;
        EXPECT_EQ(RunAsUser(net, user,
                            {kFleet, "upgrade", "--image", imagePath, "--all", "--yes", "--report",
                             report, "--progress", "quiet"},
                            &run),
                  0)
            << run;
        for (const auto& address : e2e::FieldRange(2, 254))
            EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/got-" + address + ".bin"), image)
                << address;
        EXPECT_TRUE(std::filesystem::exists(report));
        std::string violations; // the report matches the schema the package installed
        EXPECT_EQ(
            e2e::RunCommand({"python3", REPORT_CHECK_SCRIPT, kReportSchema, report}, &violations),
            0)
            << violations;
        net.Terminate(emulator);

        EXPECT_EQ(user.Remove(), 0) << user.Log();
        EXPECT_EQ(installed.Purge(), 0) << installed.Log();
    }
    EXPECT_NE(e2e::RunCommand({"whatis", "collector-fleet"}), 0)
        << "a manual page is still indexed";
    for (const auto& package : packages)
        EXPECT_TRUE(Absent(package)) << package << ": " << e2e::PackageStatus(package);
    for (const char* path : {kFleet, "/usr/share/doc/collector-fleet", kReportSchema})
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
}
