#include "gui/fleet/shell/fleet_engine_thread.h"

#include "fleet/run/doctor.h"
#include "fleet/run/fleet_run.h"
#include "fleet/run/run_record.h"
#include "gui/fleet/shell/fleet_texts.h"
#include "platform/crash_report.h"
#include "platform/port_holders.h"

#include <chrono>
#include <map>

namespace fleetui {

int PercentOf(const fleet::UpgradeSession& session) {
    switch (session.CurrentStage()) {
    case fleet::Stage::Waiting:
        return 0;
    case fleet::Stage::Requesting:
        return 2;
    case fleet::Stage::Sending: {
        const auto total = session.PassBlocksTotal();
        return 2 + (total == 0 ? 0 : static_cast<int>(88 * session.PassBlocksSent() / total));
    }
    case fleet::Stage::Settling:
    case fleet::Stage::Querying:
        return 92;
    case fleet::Stage::Verifying:
        return 96;
    case fleet::Stage::Done:
        return 100;
    }
    return 0;
}

EngineThread::EngineThread(std::function<void()> wake, PickAdapterFunction pickAdapter)
    : wake_(std::move(wake)), pickAdapter_(std::move(pickAdapter)), thread_([this] { Loop(); }) {}

EngineThread::~EngineThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    Interrupt(); // also wakes an idle loop
    thread_.join();
}

void EngineThread::Sweep(const fleet::AdapterOptions& adapter) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back([this, adapter] { DoSweep(adapter); });
    }
    asio::post(io_, [] {});
}

void EngineThread::Start(RunRequest request) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back([this, request = std::move(request)] { DoRun(request); });
    }
    asio::post(io_, [] {});
}

void EngineThread::Interrupt() {
    asio::post(io_, [this] { interrupt_.Interrupt(); });
}

std::vector<EngineEvent> EngineThread::Drain() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

// Commands run at the top of the loop, never inside a handler: the sweep and
// the run drive the loop themselves, one handler at a time.
void EngineThread::Loop() {
    const auto work = asio::make_work_guard(io_);
    for (;;) {
        Command command;
        {
            std::lock_guard lock(mutex_);
            if (quit_)
                break;
            if (!commands_.empty()) {
                command = std::move(commands_.front());
                commands_.pop_front();
            }
        }
        if (command)
            RunCommand(command);
        else
            io_.run_one();
    }
    sockets_.reset();
}

// What escapes a sweep or a run leaves a crash report and ends that sweep or
// run as a failure the window shows; the window and its engine go on. The
// sockets and the field are dropped: the next command opens and sweeps anew.
void EngineThread::RunCommand(const Command& command) {
    std::string what;
    try {
        command();
        return;
    } catch (const std::exception& error) {
        what = error.what();
    } catch (...) {
        what = "unknown exception";
    }
    const auto report = platform::WriteCrashReport("fleet engine thread: " + what);
    sockets_.reset();
    adapter_.reset();
    field_.reset();
    Push(EngineFailed{text::EngineFailureText(what, report)});
}

void EngineThread::Push(EngineEvent event) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = events_.empty() && !quit_;
        events_.push_back(std::move(event));
    }
    if (wake && wake_)
        wake_();
}

bool EngineThread::OpenSockets(const fleet::AdapterOptions& options, std::string& error) {
    auto picked = pickAdapter_(options);
    if (auto* problem = std::get_if<std::string>(&picked)) {
        error = text::kAdapterProblem + *problem;
        return false;
    }
    auto& chosen = std::get<fleet::Adapter>(picked);
    // The same adapters with the same subnets keep their sockets; any other
    // choice (one more adapter ticked, an address changed) opens new ones.
    const auto lanes = [](const fleet::SweepScope& scope) {
        std::string text;
        for (const auto& part : scope.Parts())
            text += part.own + ">" + fleet::SweepScope::SubnetOf(part) + ";";
        return text;
    };
    if (sockets_ && adapter_ && lanes(adapter_->scope) == lanes(chosen.scope))
        return true;
    sockets_.reset(); // frees the ports before the new adapter binds them
    adapter_ = chosen;
    field_.reset();
    sockets_ = std::make_unique<fleet::FleetSockets>(io_, chosen.scope);
    if (error = sockets_->Open(); !error.empty()) {
        const auto held = sockets_->PortInUse();
        error = held != 0 ? text::PortHeldText(held, platform::UdpPortHolders(held))
                          : text::kPortProblem + error;
        sockets_.reset();
        adapter_.reset();
        return false;
    }
    return true;
}

void EngineThread::DoSweep(const fleet::AdapterOptions& adapter) {
    interrupt_.Clear();
    SweepDone done;
    if (!OpenSockets(adapter, done.error)) {
        Push(std::move(done));
        return;
    }
    std::optional<fleet::ProbeCounter> counter(std::in_place, *sockets_);
    field_ = fleet::SweepField(io_, *sockets_, adapter_->scope, fleet::SweepOptions{}, &interrupt_);
    // Several adapters: each one's findings after its name.
    const auto findings = fleet::SweepFindings(*adapter_, *field_, *counter);
    counter.reset();
    done.field = field_;
    done.scope = adapter_->scope;
    for (const auto& adapter : findings) {
        const std::string text = fleet::FindingsTextZh(adapter.checks, "；");
        if (text.empty())
            continue;
        done.findings += (done.findings.empty() ? "" : "；") +
                         (findings.size() > 1 ? adapter.adapter.name + "：" : std::string()) + text;
    }
    if (field_->Size() == 0)
        done.error = text::EmptySweepText(adapter_->scope.Subnet(),
                                          adapter_->adapter.name + " " + adapter_->adapter.address +
                                              "/" + std::to_string(adapter_->adapter.prefixLength),
                                          done.findings);
    Push(std::move(done));
}

void EngineThread::DoRun(const RunRequest& request) {
    interrupt_.Clear();
    RunDone done;
    done.exitStatus = fleet::kExitUsage;
    // The targets come from a search through this adapter; none named would
    // mean every collector found, which the window never asks for.
    if (request.targets.empty())
        done.error = text::kNothingSelected;
    else if (OpenSockets(request.adapter, done.error) && !field_)
        done.error = text::kSearchFirst;
    if (!done.error.empty()) {
        Push(std::move(done));
        return;
    }
    fleet::RunInfo info =
        fleet::RunInfoFor(*adapter_, *request.image, false, std::chrono::system_clock::now());
    info.imageSignature = request.signature;
    fleet::RunRecord record(request.reportPath, std::move(info), *request.image);
    if (!record.Write({})) {
        done.error = text::kReportProblem + record.Error();
        Push(std::move(done));
        return;
    }

    fleet::RunHooks hooks;
    // Only rows whose stage or percent moved since the last sample travel.
    std::map<std::string, std::pair<std::string, int>> sent;
    hooks.sample = [&](const fleet::UpgradeRun& run) {
        ProgressBatch batch;
        for (const auto& session : run.Sessions()) {
            const std::string stage = fleet::ReportStageName(
                session->Finished() ? session->StageReached() : session->CurrentStage());
            const int percent = PercentOf(*session);
            auto& last = sent[session->Address()];
            if (last == std::make_pair(stage, percent))
                continue;
            last = {stage, percent};
            batch.rows.push_back({session->Address(), stage, percent});
        }
        if (!batch.rows.empty())
            Push(std::move(batch));
    };
    hooks.settled = [this](const fleet::CollectorResult& result) {
        Push(CollectorSettled{result});
    };
    // The operator has confirmed already: the hook is left unset.
    fleet::RunSetup setup;
    setup.image = request.image;
    setup.targets = request.targets;
    setup.expected = request.expected;
    fleet::RunEnd end = fleet::RunFleetUpgrade(io_, *sockets_, setup, record, hooks, interrupt_);

    done.interrupted = end.interrupted;
    done.exitStatus = end.exitStatus;
    done.expected = record.Info().expected;
    if (!end.reportError.empty())
        done.error = text::kReportProblem + end.reportError;
    done.report = record.Snapshot(end.results);
    done.results = std::move(end.results);
    Push(std::move(done));
}

} // namespace fleetui
