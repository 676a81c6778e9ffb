#include "netns_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kPrefix = "cue2e-";
constexpr const char* kNetnsDir = "/run/netns/";
constexpr const char* kToolMac = "02:00:5e:64:00:01"; // locally administered
constexpr const char* kFieldMac = "02:00:5e:64:00:02";
constexpr const char* kSecondToolMac = "02:00:5e:71:00:01";
constexpr const char* kSecondFieldMac = "02:00:5e:71:00:02";

// What must go if the process dies without running destructors. Kept in plain
// arrays so the signal handler touches nothing but memory and system calls.
struct EmergencyRegistry {
    static constexpr int kMaxNamespaces = 32;
    static constexpr int kMaxChildren = 128;
    char paths[kMaxNamespaces][160] = {};
    std::atomic<bool> pathUsed[kMaxNamespaces] = {};
    std::atomic<pid_t> children[kMaxChildren] = {};
};
EmergencyRegistry registry;

void EmergencyCleanup() {
    for (auto& child : registry.children) {
        const pid_t pid = child.exchange(0);
        if (pid > 0) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
        }
    }
    for (int i = 0; i < EmergencyRegistry::kMaxNamespaces; ++i) {
        if (registry.pathUsed[i].exchange(false)) {
            ::umount2(registry.paths[i], MNT_DETACH);
            ::unlink(registry.paths[i]);
        }
    }
}

extern "C" void OnFatalSignal(int signal) {
    EmergencyCleanup();
    ::raise(signal); // SA_RESETHAND restored the default action
}

void InstallEmergencyCleanupOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        std::atexit(EmergencyCleanup);
        struct sigaction action {};
        action.sa_handler = OnFatalSignal;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (int signal :
             {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
            ::sigaction(signal, &action, nullptr);
    });
}

std::mutex registryMutex; // registration only; the signal handler never locks

void RegisterNamespace(const std::string& name) {
    std::lock_guard lock(registryMutex);
    for (int i = 0; i < EmergencyRegistry::kMaxNamespaces; ++i) {
        if (registry.pathUsed[i].load())
            continue;
        std::snprintf(registry.paths[i], sizeof registry.paths[i], "%s%s", kNetnsDir, name.c_str());
        registry.pathUsed[i].store(true);
        return;
    }
}

void UnregisterNamespace(const std::string& name) {
    std::lock_guard lock(registryMutex);
    const std::string path = kNetnsDir + name;
    for (int i = 0; i < EmergencyRegistry::kMaxNamespaces; ++i)
        if (registry.pathUsed[i].load() && path == registry.paths[i])
            registry.pathUsed[i].store(false);
}

void RegisterChild(pid_t pid) {
    for (auto& slot : registry.children) {
        pid_t expected = 0;
        if (slot.compare_exchange_strong(expected, pid))
            return;
    }
}

void UnregisterChild(pid_t pid) {
    for (auto& slot : registry.children) {
        pid_t expected = pid;
        slot.compare_exchange_strong(expected, 0);
    }
}

std::string IpPath() {
    for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (::access(candidate, X_OK) == 0)
            return candidate;
    return {};
}

// Namespaces of ours whose creating process is gone: left by a run that was
// killed outright. Namespaces of other live runs are left alone.
void RemoveStaleNamespaces() {
    DIR* dir = ::opendir(kNetnsDir);
    if (dir == nullptr)
        return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(kPrefix, 0) != 0)
            continue;
        const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + std::strlen(kPrefix)));
        if (owner > 0 && owner != ::getpid() && ::kill(owner, 0) != 0 && errno == ESRCH)
            stale.push_back(name);
    }
    ::closedir(dir);
    for (const auto& name : stale)
        RunCommand({IpPath(), "netns", "del", name});
}

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

int StatusOf(int raw) {
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return -WTERMSIG(raw);
    return -1;
}

} // namespace

std::string NamespaceUnavailableReason() {
    static const std::string reason = []() -> std::string {
        if (::geteuid() != 0)
            return "not running as root (namespaces and veth pairs need CAP_NET_ADMIN and "
                   "CAP_SYS_ADMIN)";
        if (IpPath().empty())
            return "the 'ip' program (iproute2) is not installed";
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(::unshare(CLONE_NEWNET) == 0 ? 0 : 1);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || StatusOf(status) != 0)
            return "this kernel or sandbox does not allow a new network namespace";
        return {};
    }();
    return reason;
}

std::vector<std::string> FieldRange(int first, int last) {
    std::vector<std::string> addresses;
    for (int host = first; host <= last; ++host)
        addresses.push_back("198.51.100." + std::to_string(host));
    return addresses;
}

int RunCommand(const std::vector<std::string>& command, std::string* output) {
    if (command.empty() || command.front().empty())
        return -1;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    std::vector<std::string> args = command;
    auto argv = ArgvOf(args);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, 0);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const auto got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    ::close(pipeFds[0]);
    if (child < 0)
        return -1;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (output)
        *output = text;
    const int code = StatusOf(status);
    return code < 0 ? -1 : code;
}

bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (::access(path.c_str(), F_OK) != 0) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string WriteImage(const std::string& path, std::size_t bytes) {
    std::string image;
    for (std::size_t i = 0; i < bytes; ++i)
        image += static_cast<char>((i * 31 + 7) & 0xFF);
    std::ofstream(path, std::ios::binary) << image;
    return image;
}

NetnsFixture::InNamespace::InNamespace(const std::string& name) {
    original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open((kNetnsDir + name).c_str(), O_RDONLY | O_CLOEXEC);
    ok_ = original_ >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        ::close(target);
}

NetnsFixture::InNamespace::~InNamespace() {
    if (original_ >= 0) {
        if (ok_ && ::setns(original_, CLONE_NEWNET) != 0) {
            // A thread that cannot return must not go on sending from the test
            // namespace into code that believes it is outside.
            std::abort();
        }
        ::close(original_);
    }
}

NetnsFixture::NetnsFixture(std::vector<std::string> fieldAddresses)
    : fieldAddresses_(std::move(fieldAddresses)) {
    static std::atomic<int> counter{0};
    const std::string base = kPrefix + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    tool_ = base + "-tool";
    field_ = base + "-field";
    if (const auto why = NamespaceUnavailableReason(); !why.empty()) {
        error_ = why;
        return;
    }
    InstallEmergencyCleanupOnce();
    RemoveStaleNamespaces();
    char scratch[] = "/tmp/cue2e-XXXXXX";
    if (::mkdtemp(scratch) == nullptr) {
        error_ = "cannot create a scratch directory";
        return;
    }
    scratch_ = scratch;
    if (!Setup())
        Teardown();
}

NetnsFixture::~NetnsFixture() {
    Teardown();
}

bool NetnsFixture::Setup() {
    const std::string ip = IpPath();
    auto step = [&](std::vector<std::string> argv) {
        if (!error_.empty())
            return false;
        std::string output;
        if (RunCommand(argv, &output) != 0) {
            std::string text;
            for (const auto& a : argv)
                text += a + " ";
            error_ = "failed: " + text + "-> " + output;
            return false;
        }
        return true;
    };
    RegisterNamespace(tool_);
    RegisterNamespace(field_);
    step({ip, "netns", "add", tool_});
    step({ip, "netns", "add", field_});
    step({ip, "-n", tool_, "link", "add", "veth0", "address", kToolMac, "type", "veth", "peer",
          "name", "veth1", "address", kFieldMac, "netns", field_});
    step({ip, "-n", tool_, "addr", "add", std::string(kToolAddress) + "/24", "dev", "veth0"});
    // Permanent neighbour entries on both sides: no ARP, so a sweep of the
    // whole field cannot lose datagrams to unresolved neighbours while many
    // test processes share the machine.
    step({ip, "-n", field_, "neigh", "replace", kToolAddress, "lladdr", kToolMac, "dev", "veth1",
          "nud", "permanent"});
    if (!fieldAddresses_.empty()) {
        const std::string fieldBatch = scratch_ + "/field.batch";
        const std::string toolBatch = scratch_ + "/tool.batch";
        {
            std::ofstream field(fieldBatch), tool(toolBatch);
            for (const auto& a : fieldAddresses_) {
                field << "addr add " << a << "/24 dev veth1\n";
                tool << "neigh replace " << a << " lladdr " << kFieldMac
                     << " dev veth0 nud permanent\n";
            }
        }
        step({ip, "-n", field_, "-batch", fieldBatch});
        step({ip, "-n", tool_, "-batch", toolBatch});
    }
    step({ip, "-n", tool_, "link", "set", "lo", "up"});
    step({ip, "-n", field_, "link", "set", "lo", "up"});
    step({ip, "-n", tool_, "link", "set", "veth0", "up"});
    step({ip, "-n", field_, "link", "set", "veth1", "up"});
    if (!error_.empty())
        return false;
    // The pair reports carrier a moment after both ends are up.
    const auto deadline = Clock::now() + 5s;
    for (;;) {
        std::string a, b;
        RunCommand({ip, "-n", tool_, "link", "show", "veth0"}, &a);
        RunCommand({ip, "-n", field_, "link", "show", "veth1"}, &b);
        if (a.find("LOWER_UP") != std::string::npos && a.find("NO-CARRIER") == std::string::npos &&
            b.find("LOWER_UP") != std::string::npos && b.find("NO-CARRIER") == std::string::npos)
            break;
        if (Clock::now() >= deadline) {
            error_ = "veth pair never came up: " + a + b;
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

bool NetnsFixture::AddSecondAdapter(const std::vector<std::string>& fieldAddresses) {
    const std::string ip = IpPath();
    std::vector<std::vector<std::string>> steps = {
        {ip, "-n", tool_, "link", "add", "veth2", "address", kSecondToolMac, "type", "veth", "peer",
         "name", "veth3", "address", kSecondFieldMac, "netns", field_},
        {ip, "-n", tool_, "addr", "add", std::string(kSecondToolAddress) + "/24", "dev", "veth2"},
        {ip, "-n", field_, "neigh", "replace", kSecondToolAddress, "lladdr", kSecondToolMac, "dev",
         "veth3", "nud", "permanent"}};
    for (const auto& a : fieldAddresses) {
        steps.push_back({ip, "-n", field_, "addr", "add", a + "/24", "dev", "veth3"});
        steps.push_back({ip, "-n", tool_, "neigh", "replace", a, "lladdr", kSecondFieldMac, "dev",
                         "veth2", "nud", "permanent"});
    }
    steps.push_back({ip, "-n", tool_, "link", "set", "veth2", "up"});
    steps.push_back({ip, "-n", field_, "link", "set", "veth3", "up"});
    for (const auto& step : steps) {
        std::string output;
        if (error_.empty() && RunCommand(step, &output) != 0)
            error_ = "failed: " + step[3] + " " + step[4] + " -> " + output;
    }
    for (const auto deadline = Clock::now() + 5s; error_.empty();) {
        std::string a;
        RunCommand({ip, "-n", tool_, "link", "show", "veth2"}, &a);
        if (a.find("LOWER_UP") != std::string::npos && a.find("NO-CARRIER") == std::string::npos)
            break;
        if (Clock::now() >= deadline)
            error_ = "the second veth pair never came up: " + a;
        std::this_thread::sleep_for(20ms);
    }
    return error_.empty();
}

void NetnsFixture::Teardown() {
    while (!children_.empty())
        Terminate(children_.back(), 1s);
    const std::string ip = IpPath();
    for (const auto& name : {tool_, field_}) {
        if (!ip.empty() && ::access((kNetnsDir + name).c_str(), F_OK) == 0)
            RunCommand({ip, "netns", "del", name});
        // Whatever `ip` could not do, done by hand.
        const std::string path = kNetnsDir + name;
        ::umount2(path.c_str(), MNT_DETACH);
        ::unlink(path.c_str());
        UnregisterNamespace(name);
    }
    if (!scratch_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratch_, ignored);
        scratch_.clear();
    }
}

pid_t NetnsFixture::Spawn(const std::string& ns, const std::vector<std::string>& command) {
    if (!Ok() || command.empty())
        return -1;
    std::vector<std::string> args = {IpPath(), "netns", "exec", ns};
    args.insert(args.end(), command.begin(), command.end());
    auto argv = ArgvOf(args);
    const std::string logPattern = scratch_ + "/process-";
    const pid_t parent = ::getpid();
    // Prepared before fork: the child only makes system calls.
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        char log[256];
        std::snprintf(log, sizeof log, "%s%d.log", logPattern.c_str(),
                      static_cast<int>(::getpid()));
        const int out = ::open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (child < 0)
        return -1;
    ::setpgid(child, child); // also from here, so a kill right after fork hits the group
    children_.push_back(child);
    RegisterChild(child);
    return child;
}

std::string NetnsFixture::LogOf(pid_t pid) const {
    return ReadFile(scratch_ + "/process-" + std::to_string(pid) + ".log");
}

int NetnsFixture::RunInTool(const std::vector<std::string>& argv, std::string* output) const {
    std::vector<std::string> args = {IpPath(), "netns", "exec", tool_};
    args.insert(args.end(), argv.begin(), argv.end());
    return RunCommand(args, output);
}

int NetnsFixture::RunInField(const std::vector<std::string>& argv, std::string* output) const {
    std::vector<std::string> args = {IpPath(), "netns", "exec", field_};
    args.insert(args.end(), argv.begin(), argv.end());
    return RunCommand(args, output);
}

std::optional<int> NetnsFixture::WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            std::erase(children_, pid);
            UnregisterChild(pid);
            return StatusOf(status);
        }
        if (done < 0 && errno != EINTR)
            return std::nullopt;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

int NetnsFixture::Terminate(pid_t pid, std::chrono::milliseconds grace) {
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    if (auto status = WaitExit(pid, grace))
        return *status;
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::erase(children_, pid);
    UnregisterChild(pid);
    return StatusOf(status);
}

pid_t StartEmulatorInField(NetnsFixture& net, const std::string& emulatorPath,
                           const std::string& tag, const std::vector<std::string>& options,
                           int runSeconds) {
    const std::string ready = net.ScratchDir() + "/" + tag + ".ready";
    std::vector<std::string> argv = {emulatorPath, "--ready-file", ready, "--run-seconds",
                                     std::to_string(runSeconds)};
    argv.insert(argv.end(), options.begin(), options.end());
    const pid_t pid = net.SpawnInField(argv);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(WaitForFile(ready, std::chrono::seconds(10)))
        << "emulator " << tag << " never bound:\n"
        << net.LogOf(pid);
    return pid;
}

} // namespace e2e
