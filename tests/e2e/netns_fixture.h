#pragma once

// A private two-namespace network for end-to-end tests.
//
//   tool namespace                       field namespace
//   lo, veth0 198.51.100.1/24  <------>  lo, veth1 198.51.100.10/24 (+ more)
//
// Nothing in either namespace can reach the machine's real network: there is
// no other interface and no default route, so a sweep or a stray send from
// inside can only reach the field. Names carry the test process's pid
// ("cue2e-<pid>-<n>-tool"), so parallel test processes never clash.
//
// Clean-up: the destructor kills every process started here and deletes both
// namespaces (which destroys the veth pair). If the test process dies instead
// (failed assertion that aborts, signal), an atexit/signal handler does the
// same, and the first fixture of a later run deletes namespaces with our
// prefix whose owning pid is no longer alive.
//
// Use:
//   E2E_REQUIRE_NAMESPACES();                       // skips when not root etc.
//   e2e::NetnsFixture net({"198.51.100.10", "198.51.100.11"});
//   ASSERT_TRUE(net.Ok()) << net.Error();
//   auto emu = net.SpawnInField({emulatorPath, "--address", "198.51.100.10-11", ...});
//   {
//       e2e::NetnsFixture::InNamespace in(net.ToolNamespace());  // this thread only
//       ... create sockets / a window here: they live in the tool namespace,
//       and threads created meanwhile inherit it ...
//   }
//
// A program's local address lookup inside the tool namespace finds
// 198.51.100.1: the only non-loopback interface there is veth0.

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

inline constexpr const char* kToolAddress = "198.51.100.1";
// The tool's second adapter (veth2), after AddSecondAdapter().
inline constexpr const char* kSecondToolAddress = "203.0.113.1";

// Empty when this process can create namespaces; otherwise why not.
std::string NamespaceUnavailableReason();

// "198.51.100.<first>" .. "198.51.100.<last>".
std::vector<std::string> FieldRange(int first, int last);

// Runs argv (no shell) and returns its exit status (-1 when it could not run
// or died by a signal); stdout and stderr go to *output when given.
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr);

// Polls every 20 ms until the file exists or the timeout passes.
bool WaitForFile(const std::string& path, std::chrono::milliseconds timeout);
std::string ReadFile(const std::string& path);
// Writes `bytes` bytes of a fixed pattern to `path` (a firmware image) and returns them.
std::string WriteImage(const std::string& path, std::size_t bytes);

class NetnsFixture {
public:
    explicit NetnsFixture(std::vector<std::string> fieldAddresses = FieldRange(10, 12));
    ~NetnsFixture();
    NetnsFixture(const NetnsFixture&) = delete;
    NetnsFixture& operator=(const NetnsFixture&) = delete;

    bool Ok() const { return error_.empty(); }

    // A second veth pair: the tool's veth2 203.0.113.1/24, the field's veth3
    // holding `fieldAddresses` (203.0.113.x), as a second network cabled to
    // the same computer. False (Error() says why) when it could not be made.
    bool AddSecondAdapter(const std::vector<std::string>& fieldAddresses);
    const std::string& Error() const { return error_; }

    const std::string& ToolNamespace() const { return tool_; }
    const std::string& FieldNamespace() const { return field_; }
    const std::vector<std::string>& FieldAddresses() const { return fieldAddresses_; }
    // A directory of this fixture's own, removed at teardown.
    const std::string& ScratchDir() const { return scratch_; }

    // Moves the calling thread into a namespace until destroyed. Other threads
    // are unaffected; threads started meanwhile from this one inherit it.
    class InNamespace {
    public:
        explicit InNamespace(const std::string& name);
        ~InNamespace();
        InNamespace(const InNamespace&) = delete;
        InNamespace& operator=(const InNamespace&) = delete;
        bool Ok() const { return ok_; }

    private:
        int original_ = -1;
        bool ok_ = false;
    };

    // Starts argv in a namespace through `ip netns exec`, its output going to
    // a log file in the scratch directory. The process gets its own process
    // group and is killed if the test process dies. -1 on failure.
    pid_t SpawnInField(const std::vector<std::string>& argv) { return Spawn(field_, argv); }
    pid_t SpawnInTool(const std::vector<std::string>& argv) { return Spawn(tool_, argv); }
    std::string LogOf(pid_t pid) const;

    // Runs argv inside a namespace and waits for it.
    int RunInTool(const std::vector<std::string>& argv, std::string* output = nullptr) const;
    int RunInField(const std::vector<std::string>& argv, std::string* output = nullptr) const;

    // Waits for a spawned process to end by itself; its exit status, or
    // nothing if still running at the timeout (or killed by a signal: -signal).
    std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout);
    // SIGTERM to its process group, SIGKILL after the grace time; always reaps.
    // Returns the exit status (or -signal).
    int Terminate(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(3));

private:
    pid_t Spawn(const std::string& ns, const std::vector<std::string>& argv);
    bool Setup();
    void Teardown();

    std::string tool_, field_, scratch_, error_;
    std::vector<std::string> fieldAddresses_;
    std::vector<pid_t> children_;
};

// Starts the collector emulator (`emulatorPath`) in the field namespace with
// `options` and waits until it has bound every socket; a failure to start is
// a test failure that names `tag` and shows the emulator's log.
pid_t StartEmulatorInField(NetnsFixture& net, const std::string& emulatorPath,
                           const std::string& tag, const std::vector<std::string>& options,
                           int runSeconds = 60);

} // namespace e2e

#define E2E_REQUIRE_NAMESPACES()                                                                   \
    do {                                                                                           \
        if (const auto e2eWhyNot = ::e2e::NamespaceUnavailableReason(); !e2eWhyNot.empty())        \
            GTEST_SKIP() << "network namespaces unavailable: " << e2eWhyNot;                       \
    } while (0)
