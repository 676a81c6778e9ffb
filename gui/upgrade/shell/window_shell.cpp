#include "gui/upgrade/shell/window_shell.h"

#include "core/error_text.h"
#include "platform/gbk.h"
#include "platform/local_address.h"
#include "pubpro/conversion_error.h"

#include <stdexcept>

using core::OpenFileDialog;
using core::RunGuarded;
using core::UpgradeTool;
using core::WindowPorts;
using platform::GbkToUtf8;
using platform::LookupLocalIPv4;
using platform::Sleeper;
using pubpro::ConversionError;

namespace upgradeui {

WindowShell::WindowShell(WindowSeams seams, WindowParts parts)
    : notices_(seams.notices != nullptr ? seams.notices : &parts.ownNotices),
      holdShutdown_(std::move(parts.holdShutdown)) {
    OpenFileDialog& fileDialog =
        seams.fileDialog != nullptr ? *seams.fileDialog : parts.ownFileDialog;
    Sleeper& sleeper = seams.sleeper != nullptr ? *seams.sleeper : ownSleeper_;
    auto lookup = seams.lookupLocalAddress
                      ? std::move(seams.lookupLocalAddress)
                      : std::function<std::optional<std::string>()>(LookupLocalIPv4);
    tool_ = std::make_unique<UpgradeTool>(
        WindowPorts{parts.view, parts.input, *notices_, fileDialog, parts.workerDisplay,
                    parts.socketEvents, sleeper, std::move(lookup)},
        seams.ports);
}

WindowShell::~WindowShell() {
    StopWorkers();
}

void WindowShell::StopWorkers() noexcept {
    try {
        tool_->StopWorkers();
    } catch (...) {
    }
}

bool WindowShell::FormShow() {
    if (shown_)
        return false;
    shown_ = true;
    Guarded([this] { tool_->FormShow(); });
    return true;
}

void WindowShell::FormActivate() {
    if (!shown_ || activated_)
        return;
    activated_ = true;
    Guarded([this] { tool_->FormActivate(); });
}

void WindowShell::FormClose() {
    Guarded([this] { tool_->FormClose(); });
}

void WindowShell::btnsearchClick() {
    Guarded([this] { tool_->btnsearchClick(); });
}

void WindowShell::btn1Click() {
    Guarded([this] { tool_->btn1Click(); });
}

void WindowShell::btnUPGClick() {
    Guarded([this] { tool_->btnUPGClick(); });
}

void WindowShell::HandleSocketMessage() {
    Guarded([this] { tool_->HandleSocketMessage(); });
}

void WindowShell::WorkerChangeApplied() noexcept {
    FollowUpgrade();
}

void WindowShell::FollowUpgrade() noexcept {
    // Blocks are being sent or the collector is asked whether it took them:
    // cut off now, it would be left half flashed. A request not yet accepted
    // has changed nothing on the collector.
    const core::Mode mode = tool_->Mode().Get();
    const bool running = mode == core::Mode::UD || mode == core::Mode::EN;
    if (running == upgradeRunning_)
        return;
    upgradeRunning_ = running;
    if (holdShutdown_)
        holdShutdown_(running);
}

void WindowShell::Guarded(const std::function<void()>& handler) noexcept {
    RunGuarded(*notices_, [&handler] {
        try {
            handler();
        } catch (const ConversionError& error) {
            // The field comes from a collector's reply: raw GBK bytes, shown
            // decoded as the serials in the list are.
            throw std::runtime_error(GbkToUtf8(error.what()));
        }
    });
    FollowUpgrade();
}

} // namespace upgradeui
