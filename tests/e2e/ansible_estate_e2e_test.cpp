// The estate playbook of the Ansible collection against three sites. Each
// site is a site host namespace (sshd on its own management address,
// collector-fleet installed by the role) with its own field of emulated
// collectors behind it; the controller namespace reaches the sites only over
// SSH with a key made for this test.
//
//   controller ns  mgmtN 192.0.2.(4N+1)/30 <--> mgmt 192.0.2.(4N+2)/30  site N host ns
//                                                 veth0 198.51.100.1/24 <--> site N field ns
#include "netns_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

constexpr int kSites = 3;
constexpr const char* kSshd = "/usr/sbin/sshd";

std::string SiteName(int n) {
    return "site" + std::to_string(n);
}

// 192.0.2.(4n+1) on the controller's side, .(4n+2) on the site host's.
std::string ManagementAddress(int n, bool controllerSide) {
    return "192.0.2." + std::to_string(4 * n + (controllerSide ? 1 : 2));
}

// Why this test cannot run here, or empty.
std::string ToolsMissing() {
    for (const char* tool : {"ansible-playbook", "ssh", "ssh-keygen"})
        if (e2e::RunCommand({"sh", "-c", std::string("command -v ") + tool}) != 0)
            return std::string(tool) + " is not installed (ansible-core, openssh-client)";
    if (::access(kSshd, X_OK) != 0)
        return "sshd is not installed (openssh-server)";
    return {};
}

int Run(const std::vector<std::string>& argv, std::string* output = nullptr) {
    std::string text;
    const int status = e2e::RunCommand(argv, &text);
    if (output)
        *output = text;
    EXPECT_EQ(status, 0) << argv.front() << " " << (argv.size() > 1 ? argv[1] : "") << ": " << text;
    return status;
}

struct PlaybookRun {
    int status = -1;
    std::string output;
    double seconds = 0;
    // Per host: ok, changed, unreachable, failed, ... from the closing recap.
    std::map<std::string, std::map<std::string, int>> recap;
};

std::map<std::string, std::map<std::string, int>> RecapOf(const std::string& output) {
    std::map<std::string, std::map<std::string, int>> recap;
    const auto start = output.find("PLAY RECAP");
    if (start == std::string::npos)
        return recap;
    std::istringstream lines(output.substr(start));
    std::string line;
    const std::regex hostLine(R"(^(\S+)\s+:\s+(.*)$)"), counter(R"((\w+)=(\d+))");
    while (std::getline(lines, line)) {
        std::smatch match;
        if (!std::regex_match(line, match, hostLine))
            continue;
        const std::string host = match[1], counters = match[2];
        for (std::sregex_iterator it(counters.begin(), counters.end(), counter), end; it != end;
             ++it)
            recap[host][(*it)[1]] = std::stoi((*it)[2]);
    }
    return recap;
}

// Three site fixtures, a controller namespace, sshd on every site host.
class Estate {
public:
    Estate() : controller_(std::vector<std::string>{}) {
        for (int n = 1; n <= kSites; ++n)
            sites_.push_back(std::make_unique<e2e::NetnsFixture>(e2e::FieldRange(10, 12)));
    }

    // Ansible keeps one SSH connection per site open for a while after a
    // run; they are closed before the site hosts go, so no ssh client or
    // sshd session outlives the test.
    ~Estate() {
        const std::string sockets = Dir() + "/home/cp";
        std::error_code ignored;
        if (Dir().empty() || !std::filesystem::is_directory(sockets, ignored))
            return;
        for (const auto& socket : std::filesystem::directory_iterator(sockets, ignored))
            e2e::RunCommand(
                {"ssh", "-O", "exit", "-o", "ControlPath=" + socket.path().string(), "site"});
    }

    std::string Error() const {
        if (!controller_.Ok())
            return controller_.Error();
        for (const auto& site : sites_)
            if (!site->Ok())
                return site->Error();
        return {};
    }

    e2e::NetnsFixture& Site(int n) { return *sites_.at(n - 1); }
    const std::string& Dir() const { return controller_.ScratchDir(); }

    // Links, keys, sshd per site, the inventory and the collection path.
    bool Build(const std::string& image) {
        const std::string ip = "ip";
        const std::string key = Dir() + "/controller_key";
        if (Run({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "estate-test", "-f", key}))
            return false;
        ::mkdir("/run/sshd", 0755); // sshd's privilege separation directory
        std::ofstream knownHosts(Dir() + "/known_hosts");
        for (int n = 1; n <= kSites; ++n) {
            auto& site = Site(n);
            const std::string link = "mgmt" + std::to_string(n);
            const std::string ctl = controller_.ToolNamespace(), host = site.ToolNamespace();
            if (Run({ip, "-n", ctl, "link", "add", link, "type", "veth", "peer", "name", "mgmt",
                     "netns", host}) ||
                Run({ip, "-n", ctl, "addr", "add", ManagementAddress(n, true) + "/30", "dev",
                     link}) ||
                Run({ip, "-n", host, "addr", "add", ManagementAddress(n, false) + "/30", "dev",
                     "mgmt"}) ||
                Run({ip, "-n", ctl, "link", "set", link, "up"}) ||
                Run({ip, "-n", host, "link", "set", "mgmt", "up"}))
                return false;
            const std::string dir = site.ScratchDir();
            if (Run({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", dir + "/host_key"}) ||
                Run({"cp", key + ".pub", dir + "/authorized_keys"}))
                return false;
            knownHosts << ManagementAddress(n, false) << " "
                       << e2e::ReadFile(dir + "/host_key.pub");
            std::ofstream(dir + "/sshd_config")
                << "ListenAddress " << ManagementAddress(n, false) << "\n"
                << "HostKey " << dir << "/host_key\n"
                << "AuthorizedKeysFile " << dir << "/authorized_keys\n"
                << "PermitRootLogin prohibit-password\nPasswordAuthentication no\n"
                << "KbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\n"
                << "PidFile none\nSubsystem sftp internal-sftp\n";
            sshd_[n] = site.SpawnInTool({kSshd, "-D", "-e", "-f", dir + "/sshd_config"});
        }
        knownHosts.close();
        WriteInventory(key, image);
        const std::string collections = Dir() + "/collections/ansible_collections/fieldcollector";
        std::filesystem::create_directories(collections);
        std::filesystem::create_directory_symlink(COLLECTOR_SOURCE_DIR "/ansible",
                                                  collections + "/fleet");
        std::filesystem::create_directories(Dir() + "/home");
        std::ofstream(Dir() + "/ansible.cfg") << "[defaults]\n";
        return WaitForSsh(key);
    }

    // ansible-playbook in the controller namespace; extra arguments appended.
    PlaybookRun Playbook(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"-e", "fleet_site_report_dir=" + Dir() + "/reports", "-e",
                                         "fleet_estate_batch=" + std::to_string(kSites),
                                         COLLECTOR_SOURCE_DIR
                                         "/ansible/playbooks/upgrade_estate.yml"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Ansible("ansible-playbook", args);
    }

    // `program` (ansible or ansible-playbook) with the test's inventory and
    // an Ansible home of its own, in the controller namespace.
    PlaybookRun Ansible(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"env",
                                         "ANSIBLE_CONFIG=" + Dir() + "/ansible.cfg",
                                         "ANSIBLE_HOME=" + Dir() + "/home",
                                         "ANSIBLE_LOCAL_TEMP=" + Dir() + "/home/tmp",
                                         "ANSIBLE_SSH_CONTROL_PATH_DIR=" + Dir() + "/home/cp",
                                         "ANSIBLE_COLLECTIONS_PATH=" + Dir() + "/collections",
                                         "ANSIBLE_PIPELINING=true",
                                         "ANSIBLE_NOCOLOR=true",
                                         "ANSIBLE_RETRY_FILES_ENABLED=false",
                                         program,
                                         "-i",
                                         Dir() + "/inventory.yml"};
        argv.insert(argv.end(), args.begin(), args.end());
        PlaybookRun run;
        const auto start = std::chrono::steady_clock::now();
        run.status = controller_.RunInTool(argv, &run.output);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.recap = RecapOf(run.output);
        return run;
    }

    json Merged(const char* mode) const {
        return json::parse(e2e::ReadFile(Dir() + "/reports/" + mode + "/merged.json"));
    }
    std::string MergedCsv(const char* mode) const {
        return e2e::ReadFile(Dir() + "/reports/" + mode + "/merged.csv");
    }

private:
    void WriteInventory(const std::string& key, const std::string& image) {
        std::ofstream inventory(Dir() + "/inventory.yml");
        inventory << "collector_sites:\n  hosts:\n";
        for (int n = 1; n <= kSites; ++n) {
            const std::string dir = Site(n).ScratchDir();
            inventory << "    " << SiteName(n) << ":\n"
                      << "      ansible_host: " << ManagementAddress(n, false) << "\n"
                      << "      ansible_remote_tmp: " << dir
                      << "/ansible-tmp\n"
                      // Every site host shares this machine's files: each its own place.
                      << "      fleet_site_work_dir: " << dir << "/work\n"
                      << "      fleet_site_command: " << dir << "/bin/collector-fleet\n";
        }
        inventory << "  vars:\n"
                  << "    ansible_user: root\n"
                  << "    ansible_python_interpreter: /usr/bin/python3\n"
                  << "    ansible_ssh_private_key_file: " << key << "\n"
                  << "    ansible_ssh_common_args: >-\n"
                  << "      -o UserKnownHostsFile=" << Dir() << "/known_hosts\n"
                  << "      -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes\n"
                  << "    fleet_site_binary: " << COLLECTOR_FLEET_PATH << "\n"
                  << "    fleet_site_image: " << image << "\n"
                  << "    fleet_site_interface: veth0\n"
                  << "    fleet_site_sweeps: 1\n"
                  << "    fleet_site_wait_ms: 500\n"
                  << "    fleet_site_verify_timeout: 10\n";
    }

    bool WaitForSsh(const std::string& key) {
        for (int n = 1; n <= kSites; ++n) {
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            std::string output;
            while (controller_.RunInTool({"ssh", "-i", key, "-o", "BatchMode=yes", "-o",
                                          "UserKnownHostsFile=" + Dir() + "/known_hosts", "-o",
                                          "StrictHostKeyChecking=yes", "-o", "ConnectTimeout=2",
                                          "root@" + ManagementAddress(n, false), "true"},
                                         &output) != 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    ADD_FAILURE() << "no SSH to " << SiteName(n) << ": " << output
                                  << "\nsshd: " << Site(n).LogOf(sshd_[n]);
                    return false;
                }
                std::this_thread::sleep_for(100ms);
            }
        }
        return true;
    }

    e2e::NetnsFixture controller_;
    std::vector<std::unique_ptr<e2e::NetnsFixture>> sites_;
    std::map<int, pid_t> sshd_;
};

// Each site's collectors: .10-.12, all good except site 3's .12, which
// refuses the upgrade (no flash, E80). Returns the emulators' ready files.
std::vector<std::string> StartField(e2e::NetnsFixture& site, int n, const std::string& tag) {
    const std::string dir = site.ScratchDir();
    std::vector<std::string> emulators;
    auto start = [&](const std::string& name, std::vector<std::string> options) {
        options.insert(options.end(), {"--image-out", dir + "/image-%a.bin", "--summary",
                                       dir + "/" + name + ".json"});
        e2e::StartEmulatorInField(site, COLLECTOR_EMULATOR_PATH, tag + "-" + name, options, 600);
        emulators.push_back(dir + "/" + tag + "-" + name + ".ready");
    };
    if (n == kSites) {
        start("good", {"--address", "198.51.100.10-11"});
        start("refuses", {"--address", "198.51.100.12", "--request-reply", "e80"});
    } else {
        start("good", {"--address", "198.51.100.10-12"});
    }
    return emulators;
}

// The emulator started with this ready file: `ip netns exec` may run it as
// its child, so the pid the fixture knows can be another one. 0 when gone.
pid_t EmulatorPid(const std::string& ready) {
    const std::string needle = std::string("--ready-file") + '\0' + ready + '\0';
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string command = e2e::ReadFile(entry.path().string() + "/cmdline");
        if (command.find(COLLECTOR_EMULATOR_PATH) == 0 && command.find(needle) != std::string::npos)
            return static_cast<pid_t>(std::stol(name));
    }
    return 0;
}

// Stops a site's emulators and returns the upgrade requests ("LU") each
// collector received, by address, from the summaries they write on the way out.
std::map<std::string, int> StopField(std::vector<std::string>& emulators) {
    std::map<std::string, int> requests;
    for (const auto& ready : emulators) {
        const auto slash = ready.rfind('/'), dash = ready.rfind('-'), dot = ready.rfind('.');
        const std::string path =
            ready.substr(0, slash + 1) + ready.substr(dash + 1, dot - dash - 1) + ".json";
        std::filesystem::remove(path); // written during the run; the last one comes at exit
        const pid_t pid = EmulatorPid(ready);
        EXPECT_GT(pid, 0) << ready;
        if (pid > 0 && ::kill(pid, SIGTERM) == 0) {
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (EmulatorPid(ready) == pid && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(20ms);
        }
        if (!e2e::WaitForFile(path, 1s)) {
            ADD_FAILURE() << "no summary at " << path;
            continue;
        }
        const json summary = json::parse(e2e::ReadFile(path));
        for (const auto& c : summary.at("collectors"))
            requests[c.at("address").get<std::string>()] = c.at("requests").get<int>();
    }
    emulators.clear();
    return requests;
}

std::string Str(const json& value) {
    return value.is_null() ? "null" : value.get<std::string>();
}

} // namespace

TEST(AnsibleEstateE2e, ThreeSitesOverSsh_PlanUpgradeAndRerun) {
    E2E_REQUIRE_NAMESPACES();
    if (const auto missing = ToolsMissing(); !missing.empty())
        GTEST_SKIP() << missing;
    Estate estate;
    ASSERT_TRUE(estate.Error().empty()) << estate.Error();
    // 3 blocks; its name gives the version "S2.00".
    const std::string imagePath = estate.Dir() + "/S2.00.bin";
    const std::string image = e2e::WriteImage(imagePath, 700);
    ASSERT_TRUE(estate.Build(imagePath));
    // The role installs collector-fleet where it is missing (here by copying
    // the built program; an operator's .deb goes the same way).
    const auto install = estate.Playbook({"--tags", "fleet_install"});
    ASSERT_EQ(install.status, 0) << install.output;
    for (int n = 1; n <= kSites; ++n)
        ASSERT_EQ(::access((estate.Site(n).ScratchDir() + "/bin/collector-fleet").c_str(), X_OK),
                  0);

    std::array<std::vector<std::string>, kSites + 1> fields;
    for (int n = 1; n <= kSites; ++n)
        fields[n] = StartField(estate.Site(n), n, "plan");

    // The discover module lists a site's collectors.
    const auto discover = estate.Ansible(
        "ansible", {SiteName(2), "-m", "fieldcollector.fleet.fleet_discover", "-a",
                    "command=" + estate.Site(2).ScratchDir() +
                        "/bin/collector-fleet interface=veth0 sweeps=1 wait_ms=500"});
    ASSERT_EQ(discover.status, 0) << discover.output;
    const json found = json::parse(discover.output.substr(discover.output.find("=> ") + 3));
    ASSERT_EQ(found.at("collectors").size(), 3u) << discover.output;
    EXPECT_EQ(found.at("collectors").at(0).at("ip"), "198.51.100.10");
    EXPECT_EQ(found.at("changed"), false);

    // Check mode: a plan for every site and not one upgrade request.
    const auto plan = estate.Playbook({"--check"});
    EXPECT_EQ(plan.status, 0) << plan.output;
    const json planned = estate.Merged("plan");
    ASSERT_EQ(planned.at("collectors").size(), 9u) << planned.dump(2);
    for (const auto& row : planned.at("collectors"))
        EXPECT_EQ(Str(row.at("outcome")), "planned") << row.dump();
    for (int n = 1; n <= kSites; ++n) {
        EXPECT_GE(plan.recap.at(SiteName(n)).at("changed"), 1) << plan.output;
        const auto requests = StopField(fields[n]);
        EXPECT_EQ(requests.size(), 3u) << SiteName(n);
        for (const auto& [address, count] : requests)
            EXPECT_EQ(count, 0) << SiteName(n) << " " << address << " was sent LU";
    }

    // One site alone, then (its field afresh) all three together.
    for (int n = 1; n <= kSites; ++n)
        fields[n] = StartField(estate.Site(n), n, "one");
    const auto one = estate.Playbook({"--limit", SiteName(1)});
    EXPECT_EQ(one.status, 0) << one.output;
    StopField(fields[1]);
    for (const char* host : {"10", "11", "12"})
        std::filesystem::remove(estate.Site(1).ScratchDir() + "/image-198.51.100." + host + ".bin");
    fields[1] = StartField(estate.Site(1), 1, "all");

    const auto all = estate.Playbook({});
    EXPECT_NE(all.status, 0) << all.output; // site 3 failed
    const double ratio = all.seconds / one.seconds;
    std::cout << "estate wall time: one site " << one.seconds << " s, three sites " << all.seconds
              << " s, ratio " << ratio << "\n";
    RecordProperty("one_site_seconds", std::to_string(one.seconds));
    RecordProperty("three_sites_seconds", std::to_string(all.seconds));
    EXPECT_LT(ratio, 2.0) << "sites were not upgraded side by side";

    const json merged = estate.Merged("upgrade");
    for (const auto& site : merged.at("sites"))
        std::cout << Str(site.at("site")) << ": collector-fleet from " << Str(site.at("started"))
                  << " to " << Str(site.at("ended")) << "\n";
    ASSERT_EQ(merged.at("collectors").size(), 9u) << merged.dump(2);
    for (const auto& row : merged.at("collectors")) {
        const bool refuses =
            Str(row.at("site")) == SiteName(3) && Str(row.at("collector")) == "198.51.100.12";
        EXPECT_EQ(Str(row.at("outcome")), refuses ? "refused" : "upgraded") << row.dump();
        EXPECT_EQ(Str(row.at("version_before")), "S1.00") << row.dump();
        EXPECT_EQ(Str(row.at(refuses ? "reason" : "version_after")), refuses ? "E80" : "S2.00")
            << row.dump();
    }
    std::map<std::string, std::string> status;
    for (const auto& site : merged.at("sites"))
        status[Str(site.at("site"))] = Str(site.at("status"));
    EXPECT_EQ(status, (std::map<std::string, std::string>{
                          {"site1", "complete"}, {"site2", "complete"}, {"site3", "failed"}}));
    EXPECT_EQ(all.recap.at("site3").at("failed"), 1) << all.output;
    EXPECT_EQ(all.recap.at("site1").at("failed"), 0) << all.output;
    EXPECT_NE(all.output.find("site3: failed (exit 1): 3 collectors: 2 upgraded, 1 refused (E80)"),
              std::string::npos)
        << all.output;
    const std::string csv = estate.MergedCsv("upgrade");
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "site,collector,serial,version_before,version_after,outcome,reason");
    EXPECT_NE(csv.find("site3,198.51.100.12,"), std::string::npos) << csv;
    for (int n = 1; n <= kSites; ++n)
        for (const char* host : {"10", "11", "12"}) {
            if (n == kSites && std::string(host) == "12")
                continue;
            EXPECT_EQ(
                e2e::ReadFile(estate.Site(n).ScratchDir() + "/image-198.51.100." + host + ".bin"),
                image)
                << SiteName(n) << " ." << host;
        }

    // The same playbook again: everything is current, nothing changes.
    const auto again = estate.Playbook({});
    for (int n = 1; n <= kSites; ++n)
        EXPECT_EQ(again.recap.at(SiteName(n)).at("changed"), 0) << again.output;
    const json current = estate.Merged("upgrade");
    for (const auto& row : current.at("collectors")) {
        if (Str(row.at("outcome")) != "refused") {
            EXPECT_EQ(Str(row.at("outcome")), "already_current") << row.dump();
        }
    }
}
