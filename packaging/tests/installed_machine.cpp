#include "installed_machine.h"

#include "netns_fixture.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace e2e {

namespace {

// Processes whose owner is `uid`, found through /proc.
std::vector<pid_t> ProcessesOf(uid_t uid) {
    std::vector<pid_t> pids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        struct stat info {};
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            ::stat(entry.path().c_str(), &info) == 0 && info.st_uid == uid)
            pids.push_back(static_cast<pid_t>(std::atoi(name.c_str())));
    }
    return pids;
}

} // namespace

std::string PackageStatus(const std::string& package) {
    std::string output;
    if (RunCommand({"dpkg-query", "-W", "-f=${Status}", package}, &output) != 0)
        return {};
    return output;
}

std::string FindDeb(const std::string& directory, const std::string& package) {
    std::error_code error;
    std::filesystem::path newest;
    std::filesystem::file_time_type newestTime{};
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(package + "_", 0) != 0 || entry.path().extension() != ".deb")
            continue;
        if (newest.empty() || entry.last_write_time() > newestTime) {
            newest = entry.path();
            newestTime = entry.last_write_time();
        }
    }
    return newest.string();
}

InstalledPackages::InstalledPackages(std::vector<std::string> debs, std::vector<std::string> names)
    : names_(std::move(names)) {
    std::vector<std::string> argv = {"dpkg", "-i"};
    argv.insert(argv.end(), debs.begin(), debs.end());
    ok_ = RunCommand(argv, &log_) == 0;
}

int InstalledPackages::Purge() {
    if (purged_)
        return 0;
    purged_ = true;
    std::vector<std::string> argv = {"dpkg", "--purge"};
    argv.insert(argv.end(), names_.begin(), names_.end());
    std::string output;
    const int status = RunCommand(argv, &output);
    log_ += output;
    // man-db's trigger keeps index entries of removed manual pages until its
    // daily clean-up; this clean-up now leaves its index as it was.
    if (RunCommand({"sh", "-c", "command -v mandb"}) == 0)
        RunCommand({"mandb", "--quiet"});
    return status;
}

ThrowawayUser::ThrowawayUser(std::string name) : name_(std::move(name)) {
    for (const char* file : {"passwd", "group", "shadow", "gshadow", "subuid", "subgid"}) {
        const std::string backup = std::string("/etc/") + file + "-";
        if (std::filesystem::exists(backup))
            backups_.emplace_back(backup, ReadFile(backup));
    }
    if (RunCommand({"useradd", "--create-home", "--shell", "/usr/sbin/nologin", name_}, &log_) !=
        0) {
        removed_ = true; // nothing of ours to remove
        return;
    }
    if (const passwd* entry = ::getpwnam(name_.c_str())) {
        uid_ = entry->pw_uid;
        gid_ = entry->pw_gid;
        home_ = entry->pw_dir;
    }
}

int ThrowawayUser::Remove() {
    if (removed_)
        return 0;
    removed_ = true;
    // Whatever the user still runs (all of it started by this test, such as
    // the accessibility bus that outlives the session) would keep userdel
    // from working; killed processes take a moment to go.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = -1;
    for (;;) {
        for (const pid_t pid : uid_ > 0 ? ProcessesOf(uid_) : std::vector<pid_t>{})
            ::kill(pid, SIGKILL);
        std::string output;
        status = RunCommand({"userdel", "--remove", name_}, &output);
        if (status == 0 || std::chrono::steady_clock::now() >= deadline) {
            log_ += output;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (status == 0) // written in place: owner and mode stay
        for (const auto& [path, content] : backups_)
            std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return status;
}

} // namespace e2e
