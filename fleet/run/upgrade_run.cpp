#include "fleet/run/upgrade_run.h"

#include "fleet/session/fleet_policy.h"
#include "protocol/messages.h"

namespace fleet {

UpgradeRun::UpgradeRun(asio::io_context& io, FleetSockets& sockets,
                       std::shared_ptr<const FirmwareImage> image, std::vector<std::string> targets,
                       LaunchLimits limits, SessionTiming timing, ProgressView& progress)
    : io_(io), sockets_(sockets), plan_(targets.size(), limits), timing_(timing),
      progress_(progress), redraw_(io) {
    for (std::size_t i = 0; i < targets.size(); ++i) {
        byAddress_[targets[i]] = i;
        SessionLink& link = *this;
        sessions_.push_back(std::make_unique<UpgradeSession>(targets[i], image, link, timing));
        slots_.push_back(std::make_unique<Slot>(io));
    }
}

void UpgradeRun::SendUpgradeFrame(const std::string& address, const std::string& frame) {
    sockets_.SendUpgradeFrame(address, frame);
}

void UpgradeRun::SendProbe(const std::string& address) {
    sockets_.SendProbe(address);
}

void UpgradeRun::Run() {
    // Replies from addresses that are not targets find no session and are dropped.
    sockets_.onUpgradeFrame = [this](const std::string& sender, const std::string& frame) {
        const auto it = byAddress_.find(sender);
        if (it == byAddress_.end())
            return;
        sessions_[it->second]->OnUpgradeFrame(frame, Clock::now());
        AfterEvent(it->second);
    };
    sockets_.onSearchFrame = [this](const std::string& sender, const std::string& frame) {
        const auto it = byAddress_.find(sender);
        if (it == byAddress_.end())
            return;
        sessions_[it->second]->OnSearchVersion(protocol::ParseSearchReply(frame).version,
                                               Clock::now());
        AfterEvent(it->second);
    };
    began_ = Clock::now();
    StartSessions();
    if (progress_.Animated())
        ScheduleRedraw();
    while (!plan_.Done())
        io_.run_one();
    ended_ = Clock::now();
    redraw_.cancel();
    progress_.Finish(View());
    sockets_.onUpgradeFrame = nullptr;
    sockets_.onSearchFrame = nullptr;
}

void UpgradeRun::Interrupt() {
    interrupted_ = true;
    plan_.Halt("not started: the run was interrupted", Reason::Interrupted);
    for (std::size_t i = 0; i < sessions_.size(); ++i) {
        Slot& slot = *slots_[i];
        if (slot.launching) { // its start had not come yet: it never begins
            slot.launching = false;
            slot.reported = true;
            ++slot.generation;
            slot.timer.cancel();
            plan_.Finished(i, Outcome::Pending);
            continue;
        }
        if (sessions_[i]->CurrentStage() == Stage::Waiting || sessions_[i]->Finished())
            continue;
        sessions_[i]->Interrupt(Clock::now());
        AfterEvent(i);
    }
}

void UpgradeRun::StartSessions() {
    std::vector<std::size_t> batch;
    while (const auto index = plan_.Next())
        batch.push_back(*index);
    if (batch.empty())
        return;
    // Sessions started together would have every block due at the same
    // instants: the loop would then work through hundreds of sends at once,
    // and each pass would come out later than the one before (the pause is
    // never shortened to catch up). Spread over a third of a pause (50 ms for
    // a whole field: a few hundred microseconds apart), each timer finds the
    // loop idle, and the last session starts only a moment after the first.
    const auto spread = std::chrono::duration_cast<std::chrono::microseconds>(timing_.blockPacing) /
                        3 / batch.size();
    for (std::size_t k = 0; k < batch.size(); ++k) {
        const std::size_t index = batch[k];
        if (k == 0) {
            sessions_[index]->Start(Clock::now());
            AfterEvent(index);
            continue;
        }
        Slot& slot = *slots_[index];
        slot.launching = true;
        const unsigned generation = ++slot.generation;
        slot.timer.expires_after(spread * static_cast<long>(k));
        slot.timer.async_wait([this, index, generation](const asio::error_code& error) {
            Slot& due = *slots_[index];
            if (error || due.generation != generation)
                return;
            due.launching = false;
            sessions_[index]->Start(Clock::now());
            AfterEvent(index);
        });
    }
}

void UpgradeRun::AfterEvent(std::size_t index) {
    UpgradeSession& session = *sessions_[index];
    Slot& slot = *slots_[index];
    progress_.Changed(session);
    if (onSessionEvent)
        onSessionEvent(session);
    if (session.Finished()) {
        if (!slot.reported) {
            slot.reported = true;
            ++slot.generation;
            slot.timer.cancel();
            plan_.Finished(index, session.Result());
            if (onSessionEnded)
                onSessionEnded(index);
            StartSessions();
        }
        return;
    }
    if (session.CurrentStage() != slot.stage) {
        slot.stage = session.CurrentStage();
        if (onStageChanged)
            onStageChanged(index);
    }
    Arm(index);
}

void UpgradeRun::Arm(std::size_t index) {
    const auto deadline = sessions_[index]->Deadline();
    if (!deadline)
        return;
    Slot& slot = *slots_[index];
    const unsigned generation = ++slot.generation;
    slot.timer.expires_at(*deadline);
    slot.timer.async_wait([this, index, generation](const asio::error_code& error) {
        if (error || slots_[index]->generation != generation)
            return;
        sessions_[index]->OnTimer(Clock::now());
        AfterEvent(index);
    });
}

void UpgradeRun::ScheduleRedraw() {
    redraw_.expires_after(policy::kProgressInterval);
    redraw_.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        progress_.Tick(View());
        ScheduleRedraw();
    });
}

std::vector<const UpgradeSession*> UpgradeRun::View() const {
    std::vector<const UpgradeSession*> view;
    for (const auto& session : sessions_)
        view.push_back(session.get());
    return view;
}

} // namespace fleet
