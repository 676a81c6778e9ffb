#include "gui/fleet/shell/fleet_window_shell.h"

#include "gui/fleet/shell/fleet_engine_events.h"
#include "gui/fleet/shell/fleet_report_files.h"
#include "gui/fleet/shell/fleet_settings.h"
#include "gui/fleet/shell/fleet_texts.h"
#include "gui/fleet/shell/fleet_window_actions.h"
#include "platform/read_file.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace fleetui {

FleetWindowShell::FleetWindowShell(FleetShellSeams seams, FleetView& view, FleetDialogs& dialogs)
    : seams_(std::move(seams)), view_(view), dialogs_(dialogs) {
    if (!seams_.listAdapters)
        seams_.listAdapters = [] { return platform::ListNetworkAdapters(); };
    if (!seams_.makeEngine)
        seams_.makeEngine = [](std::function<void()> wake) {
            return std::make_unique<EngineThread>(std::move(wake));
        };
    engine_ = seams_.makeEngine(seams_.wake);
}

FleetWindowShell::~FleetWindowShell() {
    engine_.reset(); // interrupts a run and joins before the model goes
}

std::string FleetWindowShell::LastReportPath() const {
    return seams_.settingsFolder + "/last-report.json";
}

std::string FleetWindowShell::SettingsPath() const {
    return seams_.settingsFolder + "/fleet-window.json";
}

void FleetWindowShell::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        dialogs_.Error(error.what());
    } catch (...) {
        dialogs_.Error("unexpected error");
    }
}

void FleetWindowShell::Render(const std::function<void()>& change) {
    const bool was = std::exchange(rendering_, true);
    change();
    rendering_ = was;
}

void FleetWindowShell::Opened() {
    Guarded([this] {
        RefreshAdapters();
        ReopenLastReport();
        if (auto expected = LoadSettings(SettingsPath()).expected; !expected.empty())
            model_.SetExpected(std::move(expected));
        Render([this] { view_.ShowSortColumn(sortColumn_, ascending_); });
        RebuildTable();
    });
}

void FleetWindowShell::ReopenLastReport() {
    const auto text = ReadWholeFile(LastReportPath());
    if (!text)
        return;
    auto report = fleet::ReadReport(*text);
    if (!report)
        return;
    model_.ShowReport(*report);
    lastReport_ = std::move(report);
}

// --- adapters

void FleetWindowShell::RefreshAdapters() {
    std::vector<AdapterMark> current;
    for (const int index : adapters_.ticked)
        current.push_back({adapters_.adapters[index].name, adapters_.adapters[index].address});
    adapters_ = OfferAdapters(seams_.listAdapters(), current,
                              LoadSettings(SettingsPath()).adapterNames);
    Render([this] { view_.ShowAdapters(adapters_.TickedLabels(), adapters_.chosen); });
}

fleet::AdapterOptions FleetWindowShell::ChosenAdapter() const {
    fleet::AdapterOptions options;
    // One adapter by its address, as the list showed it; several by name,
    // each /24 swept from its own adapter in one run.
    if (adapters_.ticked.size() == 1)
        options.address = adapters_.adapters[adapters_.chosen].address;
    else
        for (const int index : adapters_.ticked)
            if (const auto& name = adapters_.adapters[index].name;
                std::find(options.interfaces.begin(), options.interfaces.end(), name) ==
                options.interfaces.end())
                options.interfaces.push_back(name);
    return options;
}

void FleetWindowShell::AdapterListOpening() {
    if (!rendering_)
        Guarded([this] { RefreshAdapters(); });
}

void FleetWindowShell::AdapterChosen(int index) {
    if (rendering_ || index < 0 || index >= static_cast<int>(adapters_.adapters.size()))
        return;
    Guarded([this, index] {
        // Each choice ticks or unticks an adapter: a search sweeps every one ticked.
        adapters_.Toggle(index);
        // A choice that cannot be remembered still holds for this session.
        SaveSetting([&](FleetSettings& settings) {
            settings.adapterNames.clear();
            for (const int ticked : adapters_.ticked)
                settings.adapterNames.push_back(adapters_.adapters[ticked].name);
            settings.adapterName =
                settings.adapterNames.empty() ? "" : settings.adapterNames.front();
        });
        Render([this] { view_.ShowAdapters(adapters_.TickedLabels(), adapters_.chosen); });
    });
}

std::string FleetWindowShell::SaveSetting(const std::function<void(FleetSettings&)>& change) {
    std::error_code ignored; // a folder that cannot be made fails the save, which says so
    std::filesystem::create_directories(platform::PathFromUtf8(seams_.settingsFolder), ignored);
    FleetSettings settings = LoadSettings(SettingsPath());
    change(settings);
    return SaveSettings(SettingsPath(), settings);
}

// --- the expected list

void FleetWindowShell::UseExpected(std::vector<fleet::ExpectedCollector> expected) {
    model_.SetExpected(expected);
    if (const auto problem =
            SaveSetting([&](FleetSettings& settings) { settings.expected = std::move(expected); });
        !problem.empty())
        dialogs_.Error(problem); // it still holds for this session
    RebuildTable();
}

void FleetWindowShell::ExpectedFromFileClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() != Phase::Idle)
            return;
        const std::string path = dialogs_.OpenExpectedListPath();
        if (path.empty())
            return;
        const auto text = ReadWholeFile(path);
        if (!text) {
            dialogs_.Error(text::kExpectedListProblem + path);
            return;
        }
        auto parsed = fleet::ParseExpectedList(*text);
        if (const auto* problem = std::get_if<std::string>(&parsed)) {
            dialogs_.Error(text::kExpectedListProblem + path + ": " + *problem);
            return;
        }
        UseExpected(std::move(std::get<std::vector<fleet::ExpectedCollector>>(parsed)));
    });
}

void FleetWindowShell::ExpectedFromSweepClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() != Phase::Idle)
            return;
        auto swept = model_.SweptAsExpected();
        if (swept.empty()) {
            dialogs_.Notice(text::kSearchFirst);
            return;
        }
        UseExpected(std::move(swept));
    });
}

void FleetWindowShell::ExpectedClearClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() == Phase::Idle)
            UseExpected({});
    });
}

// --- the sweep and the image

void FleetWindowShell::SearchClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() != Phase::Idle)
            return;
        RefreshAdapters();
        if (adapters_.chosen < 0) {
            dialogs_.Notice(text::kChooseAdapter);
            return;
        }
        model_.BeginSweep();
        engine_->Sweep(ChosenAdapter());
        UpdateControls();
    });
}

void FleetWindowShell::BrowseClicked() {
    Guarded([this] {
        if (const auto path = dialogs_.OpenImagePath(); !path.empty())
            ChooseImage(path);
    });
}

void FleetWindowShell::ChooseImage(const std::string& path) {
    Guarded([this, &path] {
        const OpenedImage opened = OpenImage(path);
        if (!opened.image) {
            if (opened.fileError)
                dialogs_.Error(opened.notice);
            else
                dialogs_.Notice(opened.notice);
            return;
        }
        Render([&] {
            view_.SetText(kImagePath, path);
            view_.SetText(kVersionEdit, opened.image->versionText);
        });
        model_.SetImage(opened.image);
        model_.SetSignature(opened.signature);
        RebuildTable();
    });
}

void FleetWindowShell::VersionEdited(const std::string& text) {
    if (rendering_)
        return;
    Guarded([this, &text] {
        model_.SetVersionText(text);
        RebuildTable();
    });
}

// --- the table

void FleetWindowShell::FilterEdited(const std::string& text) {
    if (rendering_)
        return;
    Guarded([this, &text] {
        model_.SetFilter(text);
        RebuildTable();
    });
}

void FleetWindowShell::HeaderClicked(int column) {
    if (rendering_ || column < 0 || column >= kColumnCount)
        return;
    Guarded([this, column] {
        const auto clicked = static_cast<Column>(column);
        ascending_ = clicked == sortColumn_ ? !ascending_ : true;
        sortColumn_ = clicked;
        model_.SortBy(sortColumn_, ascending_);
        Render([this] { view_.ShowSortColumn(sortColumn_, ascending_); });
        RebuildTable();
    });
}

void FleetWindowShell::RowChecked(int index, bool checked) {
    if (rendering_ || index < 0 || index >= static_cast<int>(shown_.size()))
        return;
    Guarded([this, index, checked] {
        model_.SetChecked(shown_[index], checked);
        UpdateControls();
    });
}

void FleetWindowShell::SelectAllClicked() {
    Guarded([this] {
        model_.SelectAll();
        RebuildTable();
    });
}

void FleetWindowShell::SelectNoneClicked() {
    Guarded([this] {
        model_.SelectNone();
        RebuildTable();
    });
}

void FleetWindowShell::SelectNotCurrentClicked() {
    Guarded([this] {
        // Which collectors are not current depends on the image: ask for it
        // rather than select nothing without a word.
        if (!model_.Image()) {
            dialogs_.Notice(text::kNoImage);
            return;
        }
        model_.SelectNotCurrent();
        RebuildTable();
    });
}

// --- the run

void FleetWindowShell::StartClicked() {
    Guarded([this] {
        if (!StartRun(
                model_, *engine_, ChosenAdapter(), LastReportPath(),
                [this](const std::string& title, const std::string& question) {
                    return dialogs_.Ask(title, question);
                },
                [this](const std::string& text) { dialogs_.Notice(text); }))
            return;
        RebuildTable();
        view_.StartRepaintTimer(FleetWindowModel::kRepaintInterval);
    });
}

void FleetWindowShell::StopClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() != Phase::Running)
            return;
        engine_->Interrupt();
        model_.StopRequested();
        UpdateControls();
    });
}

void FleetWindowShell::RetryClicked() {
    Guarded([this] {
        if (model_.CurrentPhase() != Phase::Idle || model_.SelectFailed() == 0)
            return;
        RebuildTable();
        StartClicked();
    });
}

void FleetWindowShell::SaveClicked(bool csv) {
    Guarded([this, csv] {
        if (!lastReport_)
            return;
        const std::string path = dialogs_.SaveReportPath(csv);
        if (path.empty())
            return;
        if (const auto problem = WriteFileAtomically(path, csv ? fleet::ReportCsv(*lastReport_)
                                                               : fleet::ReportJson(*lastReport_));
            !problem.empty())
            dialogs_.Error(problem);
    });
}

bool FleetWindowShell::CloseRequested() {
    const Phase phase = model_.CurrentPhase();
    if (phase == Phase::Idle || phase == Phase::Sweeping)
        return true;
    // A run never ends silently: the operator is asked, then the run is
    // interrupted honestly and the window closes once its report is written.
    if (!closeAfterRun_ && dialogs_.Ask(text::kCloseTitle, text::kCloseQuestion)) {
        closeAfterRun_ = true;
        StopClicked();
    }
    return false;
}

// --- the engine and the clock

void FleetWindowShell::EngineWoke() {
    Guarded([this] {
        const AppliedEvents applied = ApplyEngineEvents(model_, engine_->Drain());
        if (applied.runEnded)
            view_.StopRepaintTimer();
        if (applied.report)
            lastReport_ = std::move(applied.report);
        if (applied.rebuild)
            RebuildTable();
        else
            ShowChangedRows(applied.settledAddresses);
        if (applied.failure)
            dialogs_.Error(*applied.failure);
        if (closeAfterRun_ && model_.CurrentPhase() == Phase::Idle)
            view_.CloseWindow();
    });
}

void FleetWindowShell::RepaintDue() {
    Guarded([this] {
        ShowChangedRows(model_.Flush(Clock::now()));
        UpdateControls();
    });
}

// --- drawing

void FleetWindowShell::RebuildTable() {
    const auto rows = model_.Visible();
    shown_.clear();
    rowOf_.clear();
    for (const Row* row : rows) {
        rowOf_[row->entry.address] = static_cast<int>(shown_.size());
        shown_.push_back(row->entry.address);
    }
    Render([&] { view_.ShowRows(rows); });
    UpdateControls();
}

void FleetWindowShell::ShowChangedRows(const std::vector<std::string>& addresses) {
    Render([&] {
        for (const auto& address : addresses)
            if (const auto it = rowOf_.find(address); it != rowOf_.end())
                view_.ShowRow(it->second, *model_.Find(address));
    });
}

void FleetWindowShell::UpdateControls() {
    const Phase phase = model_.CurrentPhase();
    const bool idle = phase == Phase::Idle;
    const bool report = idle && lastReport_.has_value();
    // A run holds a shutdown until it has ended, its stop included.
    const bool holdShutdown = phase == Phase::Running || phase == Phase::Stopping;
    Render([&] {
        if (holdShutdown != holdingShutdown_) {
            holdingShutdown_ = holdShutdown;
            view_.HoldShutdown(holdShutdown);
        }
        for (auto id : {kSearchButton, kBrowseButton, kVersionEdit, kAdapterChoice, kStartButton,
                        kRetryButton, kSelectAllButton, kSelectNoneButton, kSelectNotCurrentButton,
                        kExpectedFromFileButton, kExpectedFromSweepButton, kExpectedClearButton})
            view_.SetEnabled(id, idle);
        view_.SetEnabled(kStopButton, phase == Phase::Running);
        view_.SetEnabled(kSaveJsonButton, report);
        view_.SetEnabled(kSaveCsvButton, report);
        view_.SetText(kSelectionCount,
                      text::SelectionCountText(model_.CheckedCount(), model_.RowCount()));
        view_.SetOverallPercent(model_.OverallPercent());
        view_.SetText(kStatusLine, model_.StatusLine());
    });
}

} // namespace fleetui
