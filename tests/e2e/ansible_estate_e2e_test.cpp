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
#include <future>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>
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
            StartSshd(n);
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

    void StartSshd(int n) {
        sshd_[n] =
            Site(n).SpawnInTool({kSshd, "-D", "-e", "-f", Site(n).ScratchDir() + "/sshd_config"});
    }

    // The site host's sshd and every session it serves end at once, as when
    // the host's connection drops; what runs detached from them goes on.
    void KillSshd(int n) {
        const std::string config = Site(n).ScratchDir() + "/sshd_config";
        std::map<pid_t, pid_t> parentOf;
        std::vector<pid_t> doomed;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const pid_t pid = static_cast<pid_t>(std::stol(name));
            std::istringstream status(e2e::ReadFile(entry.path().string() + "/status"));
            for (std::string line; std::getline(status, line);)
                if (line.rfind("PPid:", 0) == 0)
                    parentOf[pid] = static_cast<pid_t>(std::stol(line.substr(5)));
            const std::string command = e2e::ReadFile(entry.path().string() + "/cmdline");
            // The listener retitles itself "sshd: /usr/sbin/sshd ... [listener]".
            if (command.find("sshd") != std::string::npos &&
                command.find(config) != std::string::npos)
                doomed.push_back(pid);
        }
        for (std::size_t i = 0; i < doomed.size(); ++i)
            for (const auto& [pid, parent] : parentOf)
                if (parent == doomed[i])
                    doomed.push_back(pid);
        for (const pid_t pid : doomed)
            ::kill(pid, SIGKILL);
    }

    // ansible-playbook in the controller namespace; extra arguments appended.
    // All sites in one batch unless the playbook's own batches are asked for;
    // the reports go to Dir()/reports unless the role's default is asked for.
    PlaybookRun Playbook(const std::vector<std::string>& extra, bool defaultBatches = false,
                         bool defaultReportDir = false) {
        std::vector<std::string> args = {COLLECTOR_SOURCE_DIR
                                         "/ansible/playbooks/upgrade_estate.yml"};
        if (!defaultReportDir)
            args.insert(args.begin(), {"-e", "fleet_site_report_dir=" + Dir() + "/reports"});
        if (!defaultBatches)
            args.insert(args.begin(), {"-e", "fleet_estate_batch=" + std::to_string(kSites)});
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
                                         "ANSIBLE_SHOW_CUSTOM_STATS=true",
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

    // The directory of the newest run, by the name `latest` points at.
    std::string LatestRun() const {
        std::error_code error;
        return std::filesystem::read_symlink(Dir() + "/reports/latest", error).string();
    }
    json Merged(const std::string& run) const {
        const std::string path = Dir() + "/reports/" + run + "/merged.json";
        json merged = json::parse(e2e::ReadFile(path), nullptr, false);
        if (!merged.is_object()) {
            ADD_FAILURE() << "no merged report at " << path;
            return json{{"sites", json::array()}, {"collectors", json::array()}};
        }
        return merged;
    }
    std::string MergedCsv(const std::string& run) const {
        return e2e::ReadFile(Dir() + "/reports/" + run + "/merged.csv");
    }

    // Every file under the site host's work directory with its size and
    // modification time, one a line.
    std::string WorkListing(int n) const {
        std::string listing;
        const std::string work = sites_.at(n - 1)->ScratchDir() + "/work";
        std::error_code error;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(work, error)) {
            struct stat info {};
            ::lstat(entry.path().c_str(), &info);
            listing += entry.path().string() + " " + std::to_string(info.st_size) + " " +
                       std::to_string(info.st_mtim.tv_sec) + "." +
                       std::to_string(info.st_mtim.tv_nsec) + "\n";
        }
        return listing;
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
                      << "      fleet_site_lock_file: " << dir << "/collector-fleet.lock\n"
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
                  << "    fleet_site_trusted_keys: [" << Dir() << "/release.pem]\n"
                  << "    fleet_site_require_signature: true\n"
                  << "    fleet_site_interface: veth0\n"
                  << "    fleet_site_sweeps: 1\n"
                  << "    fleet_site_wait_ms: 500\n"
                  << "    fleet_site_verify_timeout: 10\n"
                  << "    fleet_site_poll_seconds: 1\n";
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
std::vector<std::string> StartField(e2e::NetnsFixture& site, int n, const std::string& tag,
                                    const std::vector<std::string>& extra = {}) {
    const std::string dir = site.ScratchDir();
    std::vector<std::string> emulators;
    auto start = [&](const std::string& name, std::vector<std::string> options) {
        options.insert(options.end(), {"--image-out", dir + "/image-%a.bin", "--summary",
                                       dir + "/" + name + ".json"});
        options.insert(options.end(), extra.begin(), extra.end());
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

struct Received {
    int requests = 0; // upgrade requests ("LU")
    int blocks = 0;
};

// Stops a site's emulators and returns what each collector received, by
// address, from the summaries they write on the way out.
std::map<std::string, Received> StopField(std::vector<std::string>& emulators) {
    std::map<std::string, Received> requests;
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
            requests[c.at("address").get<std::string>()] = {c.at("requests").get<int>(),
                                                            c.at("blocks").get<int>()};
    }
    emulators.clear();
    return requests;
}

std::string Str(const json& value) {
    return value.is_null() ? "null" : value.get<std::string>();
}

} // namespace

// The report a run of the role is writing on a site host: the one file in
// the site's runs directory, or "" while there is none.
std::string RunReport(const std::string& runsDir) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runsDir, error))
        if (entry.path().extension() == ".json")
            return entry.path().string();
    return {};
}

// Whether a collector of the report is in its verification: the upgrade
// has sent its blocks and waits for the new version.
bool Verifying(const std::string& reportPath) {
    const json report = json::parse(e2e::ReadFile(reportPath), nullptr, false);
    if (!report.is_object() || !report.contains("collectors"))
        return false;
    for (const auto& c : report.at("collectors"))
        if (c.value("stage", "") == "verify" && c.value("outcome", "") == "in_progress")
            return true;
    return false;
}

std::map<std::string, std::string> SiteStatuses(const json& merged) {
    std::map<std::string, std::string> status;
    for (const auto& site : merged.at("sites"))
        status[Str(site.at("site"))] = Str(site.at("status"));
    return status;
}

TEST(AnsibleEstateE2e, ThreeSitesOverSsh_PlanUpgradeDroppedConnectionAndRerun) {
    E2E_REQUIRE_NAMESPACES();
    if (const auto missing = ToolsMissing(); !missing.empty())
        GTEST_SKIP() << missing;
    Estate estate;
    ASSERT_TRUE(estate.Error().empty()) << estate.Error();
    // 3 blocks; its name gives the version "S2.00".
    const std::string imagePath = estate.Dir() + "/S2.00.bin";
    const std::string image = e2e::WriteImage(imagePath, 700);
    // Signed on the controller: every site checks it against the key the role copies there.
    ASSERT_EQ(::Run({COLLECTOR_FLEET_PATH, "image", "keygen", "--out", estate.Dir() + "/release"}), 0);
    ASSERT_EQ(::Run({COLLECTOR_FLEET_PATH, "image", "sign", "--key",
                     estate.Dir() + "/release.private.pem", imagePath}),
              0);
    ASSERT_TRUE(estate.Build(imagePath));
    // The role installs collector-fleet where it is missing (here by copying
    // the built program; an operator's .deb goes the same way).
    // By default the reports go beside the inventory, never into the collection.
    const auto install = estate.Playbook({"--tags", "fleet_install"}, false, true);
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_TRUE(std::filesystem::is_symlink(estate.Dir() + "/fleet-reports/latest"));
    EXPECT_FALSE(std::filesystem::exists(COLLECTOR_SOURCE_DIR "/ansible/playbooks/fleet-reports"));
    for (int n = 1; n <= kSites; ++n)
        ASSERT_EQ(::access((estate.Site(n).ScratchDir() + "/bin/collector-fleet").c_str(), X_OK),
                  0);

    std::array<std::vector<std::string>, kSites + 1> fields;
    for (int n = 1; n <= kSites; ++n)
        fields[n] = StartField(estate.Site(n), n, "plan");

    // The discover module lists a site's collectors, also as a fact.
    const auto discover = estate.Ansible(
        "ansible", {SiteName(2), "-m", "fieldcollector.fleet.fleet_discover", "-a",
                    "command=" + estate.Site(2).ScratchDir() +
                        "/bin/collector-fleet interface=veth0 sweeps=1 wait_ms=500"});
    ASSERT_EQ(discover.status, 0) << discover.output;
    const json found = json::parse(discover.output.substr(discover.output.find("=> ") + 3));
    ASSERT_EQ(found.at("collectors").size(), 3u) << discover.output;
    EXPECT_EQ(found.at("collectors").at(0).at("ip"), "198.51.100.10");
    EXPECT_EQ(found.at("ansible_facts").at("fleet_collectors"), found.at("collectors"));
    EXPECT_EQ(found.at("changed"), false);

    // Check mode: a plan for every site, not one upgrade request, and not
    // one file of a site host's work directory created or touched.
    std::array<std::string, kSites + 1> workBefore;
    for (int n = 1; n <= kSites; ++n)
        workBefore[n] = estate.WorkListing(n);
    const std::string beforePlan = estate.LatestRun();
    const auto plan = estate.Playbook({"--check", "--diff"});
    EXPECT_EQ(plan.status, 0) << plan.output;
    EXPECT_EQ(estate.LatestRun(), beforePlan) << "a plan moved latest";
    std::string planRun;
    for (const auto& entry : std::filesystem::directory_iterator(estate.Dir() + "/reports"))
        if (entry.path().filename().string().find("-plan-") != std::string::npos)
            planRun = entry.path().filename().string();
    const json planned = estate.Merged(planRun);
    ASSERT_EQ(planned.at("collectors").size(), 9u) << planned.dump(2) << plan.output;
    for (const auto& row : planned.at("collectors"))
        EXPECT_EQ(Str(row.at("outcome")), "planned") << row.dump();
    EXPECT_NE(plan.output.find("+198.51.100.10 "), std::string::npos) << plan.output;
    for (int n = 1; n <= kSites; ++n) {
        EXPECT_GE(plan.recap.at(SiteName(n)).at("changed"), 1) << plan.output;
        EXPECT_EQ(estate.WorkListing(n), workBefore[n]) << SiteName(n);
        for (const auto& [address, received] : StopField(fields[n]))
            EXPECT_EQ(received.requests, 0) << SiteName(n) << " " << address << " was sent LU";
    }

    // One site alone, then (its field afresh) all three together. Site 2's
    // collectors stay silent a while after their upgrade, and its SSH
    // connection drops while they do.
    for (int n = 1; n <= kSites; ++n)
        fields[n] = StartField(estate.Site(n), n, "one",
                               n == 2 ? std::vector<std::string>{"--restart-ms", "2500"}
                                      : std::vector<std::string>{});
    const auto one = estate.Playbook({"--limit", SiteName(1)});
    EXPECT_EQ(one.status, 0) << one.output;
    // Without localhost in --limit the summary still comes, and the serials
    // found become the site's expected list.
    EXPECT_NE(one.output.find("fleet_run_result"), std::string::npos) << one.output;
    std::set<std::string> serialsFound, serialsKept;
    const json oneMerged = estate.Merged(estate.LatestRun());
    for (const auto& row : oneMerged.at("collectors"))
        serialsFound.insert(Str(row.at("serial")));
    std::istringstream kept(e2e::ReadFile(estate.Dir() + "/reports/expected/site1.txt"));
    for (std::string line; std::getline(kept, line);)
        if (!line.empty() && line[0] != '#')
            serialsKept.insert(line);
    EXPECT_EQ(serialsKept, serialsFound);
    EXPECT_EQ(serialsKept.size(), 3u);
    StopField(fields[1]);
    for (const char* host : {"10", "11", "12"})
        std::filesystem::remove(estate.Site(1).ScratchDir() + "/image-198.51.100." + host + ".bin");
    fields[1] = StartField(estate.Site(1), 1, "all");

    const std::string site2Runs = estate.Site(2).ScratchDir() + "/work/runs/site2";
    auto running = std::async(std::launch::async, [&] { return estate.Playbook({}); });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    std::string site2Report;
    while (!Verifying(site2Report = RunReport(site2Runs)) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(Verifying(site2Report)) << "site 2 never reached its verification";
    estate.KillSshd(2);
    // Site 2's program goes on without the connection and ends its report;
    // the playbook keeps polling until the site host answers again.
    const auto ended = std::chrono::steady_clock::now() + 30s;
    auto site2Ended = [&] {
        const json report = json::parse(e2e::ReadFile(site2Report), nullptr, false);
        return report.is_object() && !report.value("ended", json()).is_null();
    };
    while (!site2Ended() && std::chrono::steady_clock::now() < ended)
        std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(site2Ended()) << e2e::ReadFile(site2Report);
    estate.StartSshd(2);
    const auto all = running.get();
    const std::string allRun = estate.LatestRun();
    EXPECT_EQ(all.status, 0) << all.output;
    const double ratio = all.seconds / one.seconds;
    std::cout << "estate wall time: one site " << one.seconds << " s, three sites " << all.seconds
              << " s, ratio " << ratio << "\n";
    RecordProperty("one_site_seconds", std::to_string(one.seconds));
    RecordProperty("three_sites_seconds", std::to_string(all.seconds));
    EXPECT_LT(ratio, 2.0) << "sites were not upgraded side by side";
    EXPECT_EQ(SiteStatuses(estate.Merged(allRun)),
              (std::map<std::string, std::string>{
                  {"site1", "complete"}, {"site2", "complete"}, {"site3", "complete"}}));
    // A refused collector is reported but fails no site by default.
    EXPECT_EQ(all.recap.at("site3").at("failed"), 0) << all.output;
    EXPECT_GE(all.recap.at("site3").at("changed"), 1) << all.output;
    EXPECT_NE(
        all.output.find("site3: complete (exit 1): 3 collectors: 2 upgraded, 1 refused (E80)"),
        std::string::npos)
        << all.output;

    // Each report came home and left the site host's runs.
    for (int n = 1; n <= kSites; ++n)
        EXPECT_EQ(RunReport(estate.Site(n).ScratchDir() + "/work/runs/" + SiteName(n)), "");

    // The same playbook again, with its own batches (one site, then a quarter
    // at a time), every site in the summary however its batch went: site 1
    // is current and nothing changes; another program holds site 2's port
    // 23, so its discovery fails (and nothing of its last run is taken); the
    // site host of the last batch, site 3, cannot be reached.
    const std::string portReady = estate.Site(2).ScratchDir() + "/port23.ready";
    const pid_t portHolder =
        estate.Site(2).SpawnInTool({"python3", "-c",
                                    "import socket, sys, time\n"
                                    "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                                    "s.bind(('0.0.0.0', 23))\n"
                                    "open(sys.argv[1], 'w').close()\n"
                                    "time.sleep(300)\n",
                                    portReady});
    ASSERT_TRUE(e2e::WaitForFile(portReady, 10s)) << estate.Site(2).LogOf(portHolder);
    estate.KillSshd(3);
    // A report that a run left on site 1 and whose run directory the
    // controller does not have is picked up into a directory of its own.
    const std::string lostRun = "20260101T000000Z-lost";
    std::ofstream(estate.Site(1).ScratchDir() + "/work/runs/site1/" + lostRun + ".json")
        << e2e::ReadFile(estate.Site(1).ScratchDir() + "/work/report.json");
    const auto again = estate.Playbook({"-e", "fleet_site_max_fail_percentage=100"}, true);
    estate.Site(2).Terminate(portHolder);
    EXPECT_NE(again.status, 0) << again.output;
    EXPECT_EQ(again.recap.at("site1").at("changed"), 0) << again.output;
    EXPECT_EQ(again.recap.at("site1").at("failed"), 0) << again.output;
    EXPECT_EQ(again.recap.at("site2").at("failed"), 1) << again.output;
    EXPECT_EQ(again.recap.at("site3").at("failed"), 1) << again.output;
    EXPECT_NE(again.output.find("fleet_run_result"), std::string::npos) << again.output;
    EXPECT_NE(again.output.find("site3: unreachable"), std::string::npos) << again.output;
    const json current = estate.Merged(estate.LatestRun());
    EXPECT_EQ(SiteStatuses(current),
              (std::map<std::string, std::string>{
                  {"site1", "complete"}, {"site2", "failed"}, {"site3", "unreachable"}}));
    EXPECT_EQ(Str(current.at("sites").at(1).at("why")).rfind("collector-fleet: ", 0), 0u)
        << current.dump(2);
    EXPECT_NE(Str(current.at("sites").at(1).at("why")).find(" 23 "), std::string::npos)
        << current.dump(2);
    EXPECT_NE(Str(current.at("run").at("ended")), "null") << current.dump(2);
    const json lost = estate.Merged(lostRun);
    EXPECT_EQ(Str(lost.at("run").at("id")), "lost") << lost.dump(2);
    EXPECT_EQ(SiteStatuses(lost), (std::map<std::string, std::string>{{"site1", "complete"}}));
    EXPECT_EQ(RunReport(estate.Site(1).ScratchDir() + "/work/runs/site1"), "");
    EXPECT_EQ(current.at("schema_version"), 1);
    std::string digest;
    ::Run({"sha256sum", imagePath}, &digest);
    EXPECT_EQ(Str(current.at("run").at("image").at("sha256")), digest.substr(0, 64));
    EXPECT_EQ(Str(current.at("sites").at(0).at("image").at("signature").at("key_name")), "release")
        << current.dump(2);
    ASSERT_EQ(current.at("collectors").size(), 3u) << current.dump(2);
    for (const auto& row : current.at("collectors")) {
        EXPECT_EQ(Str(row.at("site")), "site1") << row.dump();
        EXPECT_EQ(Str(row.at("outcome")), "already_current") << row.dump();
    }

    const json merged = estate.Merged(allRun);
    ASSERT_EQ(merged.at("collectors").size(), 9u) << merged.dump(2);
    // Site 1 expected the three serials its discovery found alone; the
    // others had no list yet.
    EXPECT_EQ(merged.at("sites").at(0).value("expected", -1), 3) << merged.dump(2);
    EXPECT_EQ(merged.at("sites").at(0).value("missing", -1), 0) << merged.dump(2);
    EXPECT_FALSE(merged.at("sites").at(1).contains("expected")) << merged.dump(2);
    for (const auto& row : merged.at("collectors")) {
        const bool refuses =
            Str(row.at("site")) == SiteName(3) && Str(row.at("collector")) == "198.51.100.12";
        EXPECT_EQ(Str(row.at("outcome")), refuses ? "refused" : "upgraded") << row.dump();
        EXPECT_EQ(Str(row.at("version_before")), "S1.00") << row.dump();
        EXPECT_EQ(Str(row.at(refuses ? "reason" : "version_after")), refuses ? "E80" : "S2.00")
            << row.dump();
    }
    const std::string csv = estate.MergedCsv(allRun);
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "run_id,image_version,site,collector,serial,"
                                             "version_before,version_after,outcome,reason,ended");
    EXPECT_NE(csv.find(",S2.00,site3,198.51.100.12,"), std::string::npos) << csv;
    EXPECT_NE(e2e::ReadFile(estate.Dir() + "/reports/" + allRun + "/merged.html")
                  .find("collector-fleet estate report"),
              std::string::npos);

    // Each collector got one upgrade request and the image once over both
    // runs; the refusing one is never sent a block.
    for (int n = 1; n <= kSites; ++n) {
        for (const auto& [address, received] : StopField(fields[n])) {
            const bool refuses = n == kSites && address == "198.51.100.12";
            EXPECT_EQ(received.requests, 1) << SiteName(n) << " " << address;
            EXPECT_EQ(received.blocks, refuses ? 0 : 3) << SiteName(n) << " " << address;
        }
        for (const char* host : {"10", "11", "12"}) {
            if (n == kSites && std::string(host) == "12")
                continue;
            EXPECT_EQ(
                e2e::ReadFile(estate.Site(n).ScratchDir() + "/image-198.51.100." + host + ".bin"),
                image)
                << SiteName(n) << " ." << host;
        }
    }

    // Every run kept its own directory; latest is the newest.
    std::set<std::string> runs;
    for (const auto& entry : std::filesystem::directory_iterator(estate.Dir() + "/reports"))
        if (!entry.is_symlink() && entry.path().filename() != "expected")
            runs.insert(entry.path().filename().string());
    EXPECT_EQ(runs.size(), 5u); // plan, one site, all, again, the lost report's
    EXPECT_TRUE(runs.count(planRun) && runs.count(allRun));
    EXPECT_TRUE(runs.count(estate.LatestRun()));
}
