#pragma once

// collector-fleet's engine on a thread of its own: its Asio loop sweeps and
// runs the same upgrade as the command line there, and the window's commands
// reach it as posted handlers. What happens comes back as events in a queue
// that the window drains on its own thread; the wake-up is sent once per
// batch, and progress is sampled every fleet::policy::kProgressInterval, so a
// run of hundreds of collectors costs the window a few repaints a second.

#include "fleet/run/fleet_plan.h"
#include "fleet/run/fleet_report.h"
#include "fleet/run/run_steps.h"
#include "gui/fleet/shell/fleet_window_model.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace fleetui {

struct SweepDone {
    std::optional<fleet::FieldTable> field; // none when the sweep could not run
    std::optional<fleet::SweepScope> scope;
    std::string error; // why not, or why nobody answered
    // What the checks found on the adapter (its problems, in Chinese): shown
    // when the sweep found fewer collectors than expected.
    std::string findings;
};
struct ProgressBatch {
    std::vector<RowProgress> rows;
};
// One collector's session has ended: its result, before the run's end.
struct CollectorSettled {
    fleet::CollectorResult result;
};
struct RunDone {
    std::vector<fleet::CollectorResult> results;
    std::optional<fleet::Report> report; // as written, when the run wrote one
    bool interrupted = false;
    int exitStatus = 0;
    std::string error; // the report could not be written, the sockets not opened
    std::optional<fleet::ExpectedCounts> expected; // the run had an expected list
};
// An exception escaped the engine: the sweep or run under way has ended, a
// crash report was written, and the message says where.
struct EngineFailed {
    std::string message;
};
using EngineEvent = std::variant<SweepDone, ProgressBatch, CollectorSettled, RunDone, EngineFailed>;

struct RunRequest {
    fleet::AdapterOptions adapter;
    std::shared_ptr<const fleet::FirmwareImage> image;
    // Each with the serial the window showed: the run sweeps again and leaves
    // an address alone where another collector answers now.
    std::vector<fleet::PinnedTarget> targets;
    // The collectors expected; those the sweep does not find are reported
    // not found. None: no list.
    std::optional<fleet::Expectation> expected;
    std::string reportPath; // written after each collector and at the end
    // The key that signed the image, as checked at Start; none: unsigned.
    std::optional<fleet::ReportSignature> signature;
};

// The engine as the window's shell drives it: EngineThread in the program,
// a fake in tests.
class FleetEngine {
public:
    virtual ~FleetEngine() = default;
    virtual void Sweep(const fleet::AdapterOptions& adapter) = 0;
    virtual void Start(RunRequest request) = 0;
    // An honest interrupt: no new session starts, each running one ends as it
    // stands, the report is written.
    virtual void Interrupt() = 0;
    // Every event queued so far, oldest first.
    virtual std::vector<EngineEvent> Drain() = 0;
};

// How far one session has come, 0..100.
int PercentOf(const fleet::UpgradeSession& session);

class EngineThread : public FleetEngine {
public:
    using PickAdapterFunction =
        std::function<std::variant<fleet::Adapter, std::string>(const fleet::AdapterOptions&)>;
    // `wake` is called on the engine's thread when the queue stops being
    // empty; it must only post to the window's thread. `pickAdapter` finds
    // the adapter a sweep or run names (tests give their own).
    explicit EngineThread(std::function<void()> wake,
                          PickAdapterFunction pickAdapter = fleet::PickAdapter);
    ~EngineThread() override; // interrupts a run and joins

    void Sweep(const fleet::AdapterOptions& adapter) override;
    void Start(RunRequest request) override;
    void Interrupt() override;
    std::vector<EngineEvent> Drain() override;

private:
    using Command = std::function<void()>;
    void Loop();
    void RunCommand(const Command& command);
    void Push(EngineEvent event);
    void DoSweep(const fleet::AdapterOptions& adapter);
    void DoRun(const RunRequest& request);
    bool OpenSockets(const fleet::AdapterOptions& adapter, std::string& error);

    std::function<void()> wake_;
    PickAdapterFunction pickAdapter_;
    asio::io_context io_;
    std::mutex mutex_;
    std::deque<Command> commands_;
    std::vector<EngineEvent> events_;
    bool quit_ = false;
    // Engine thread only:
    std::optional<fleet::Adapter> adapter_;
    std::unique_ptr<fleet::FleetSockets> sockets_;
    std::optional<fleet::FieldTable> field_;
    fleet::RunInterrupt interrupt_;
    std::thread thread_; // last: starts once the rest exists
};

} // namespace fleetui
