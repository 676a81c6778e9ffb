#include "gui/fleet/shell/fleet_window_model.h"

#include "fleet/run/fleet_plan.h"
#include "fleet/run/ipv4_address.h"
#include "gui/fleet/shell/fleet_texts.h"
#include "platform/gbk.h"

#include <algorithm>
#include <set>
#include <utility>

namespace fleetui {

namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// Failed, interrupted, not verified, never started: what "retry failed" runs again.
bool NeedsRetry(const fleet::CollectorResult& result) {
    switch (result.result) {
    case fleet::ResultKind::Failed:
    case fleet::ResultKind::Interrupted:
    case fleet::ResultKind::NotVerified:
    case fleet::ResultKind::NotStarted:
    case fleet::ResultKind::InProgress: // a report whose run never ended
        return result.plan == fleet::PlanKind::Upgrade ||
               (result.plan == fleet::PlanKind::Unexpected &&
                !fleet::LeftAloneAsUnexpected(result));
    default:
        return false;
    }
}

bool RunsTheImage(const fleet::CollectorResult& result) {
    return result.result == fleet::ResultKind::Upgraded ||
           result.result == fleet::ResultKind::AlreadyCurrent;
}

// A row takes its outcome and stage; its bar is full when the collector runs
// the image, whether it took it now, earlier, or in the report reopened, and
// its version is the one the collector reported after the upgrade.
void SettleRow(Row& row, const fleet::CollectorResult& result) {
    row.result = result;
    row.stage = result.stage;
    if (RunsTheImage(result))
        row.percent = 100;
    if (result.result == fleet::ResultKind::Upgraded && result.versionAfter)
        row.version = platform::GbkToUtf8(*result.versionAfter);
}

} // namespace

void FleetWindowModel::BeginSweep() {
    phase_ = Phase::Sweeping;
    status_ = text::kSearching;
}

void FleetWindowModel::SetField(const fleet::FieldTable& field, const fleet::SweepScope& scope,
                                std::string findings) {
    std::vector<Row> rows;
    for (const auto& entry : field.SortedByAddress()) {
        Row row;
        row.entry = entry;
        row.serial = platform::GbkToUtf8(entry.serial);
        row.version = platform::GbkToUtf8(entry.version);
        if (const Row* old = Find(entry.address))
            row.checked = old->checked;
        rows.push_back(std::move(row));
    }
    rows_ = std::move(rows);
    field_ = field;
    scope_ = scope;
    findings_ = std::move(findings);
    phase_ = Phase::Idle;
    status_ = SweepStatus();
    MarkUnexpected();
    Replan();
}

std::string FleetWindowModel::SweepStatus() const {
    if (!field_ || !scope_)
        return text::ExpectedListText(expected_.size());
    std::string text = text::FoundText(field_->Size(), scope_->Subnet());
    if (!expected_.empty()) {
        const std::size_t missing = fleet::MissingExpected(*field_, expected_).size();
        text += "；" +
                text::ExpectedCountsText({expected_.size(), expected_.size() - missing, missing});
        if (missing > 0 && !findings_.empty())
            text += "。" + findings_;
    }
    return text;
}

void FleetWindowModel::MarkUnexpected() {
    std::set<std::string> listed;
    for (const auto& collector : expected_)
        listed.insert(collector.serial);
    for (auto& row : rows_)
        row.unexpected =
            !listed.empty() && !row.missing && field_ && listed.count(row.entry.serial) == 0;
}

void FleetWindowModel::SetExpected(std::vector<fleet::ExpectedCollector> expected) {
    expected_ = std::move(expected);
    MarkUnexpected();
    if (phase_ == Phase::Idle)
        status_ = SweepStatus();
}

std::vector<fleet::ExpectedCollector> FleetWindowModel::SweptAsExpected() const {
    std::vector<fleet::ExpectedCollector> list;
    if (!field_)
        return list;
    for (const auto& entry : field_->SortedByAddress()) {
        if (!entry.conflict) {
            list.push_back({entry.serial, entry.address});
            continue;
        }
        list.push_back({entry.serial, std::nullopt});
        for (const auto& other : entry.otherSerials)
            list.push_back({other, std::nullopt});
    }
    return list;
}

std::optional<fleet::Expectation> FleetWindowModel::RunExpectation() const {
    if (expected_.empty())
        return std::nullopt;
    return fleet::Expectation{expected_, false};
}

void FleetWindowModel::SweepFailed(const std::string& message) {
    phase_ = Phase::Idle;
    status_ = message;
}

void FleetWindowModel::ShowReport(const fleet::Report& report) {
    rows_.clear();
    field_.reset();
    const fleet::RunInfo& head = report.run;
    const bool ended = head.ended.has_value();
    for (const auto& result : report.results) {
        Row row;
        row.entry.address = result.address;
        row.entry.serial = result.serial;
        row.entry.version = result.versionBefore;
        row.serial = platform::GbkToUtf8(result.serial);
        row.version = platform::GbkToUtf8(result.versionBefore);
        row.plan = result.plan;
        row.missing = result.result == fleet::ResultKind::NotFound;
        SettleRow(row, result);
        // A run that never ended leaves collectors not yet started and those
        // under way as they were at its last write: what became of them is
        // not known.
        row.outcomeUnknown = !ended &&
                             (result.result == fleet::ResultKind::NotStarted ||
                              result.result == fleet::ResultKind::InProgress) &&
                             NeedsRetry(result);
        rows_.push_back(std::move(row));
    }
    std::sort(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) {
        return fleet::AddressLess(a.entry.address, b.entry.address);
    });
    targets_.clear();
    status_ = text::KeptReportText(report.image.name, head.imageSha256, head.started, head.ended,
                                   head.exitStatus, text::OutcomeCountsText(report.results));
    if (ended && head.expected)
        status_ += "；" + text::ExpectedCountsText(*head.expected);
}

void FleetWindowModel::SetImage(std::shared_ptr<const fleet::FirmwareImage> image) {
    image_ = std::move(image);
    Replan();
}

void FleetWindowModel::SetSignature(const image::SignatureCheck& signature) {
    signatureText_ = text::SignatureText(signature);
    status_ = image_ ? image_->fileName + "：" + signatureText_ : signatureText_;
}

void FleetWindowModel::SetVersionText(const std::string& text) {
    if (!image_)
        return;
    image_ = std::make_shared<const fleet::FirmwareImage>(image_->WithVersionText(text));
    Replan();
}

// The plan column comes from the engine's own planning, so the window and the
// command line never disagree about what a run would do.
void FleetWindowModel::Replan() {
    for (auto& row : rows_)
        row.plan.reset();
    if (!image_ || !field_ || !scope_)
        return;
    const auto plan = fleet::PlanTargets(*field_, {}, {}, *image_, *scope_);
    for (const auto& address : plan.toUpgrade)
        if (Row* row = FindRow(address))
            row->plan = fleet::PlanKind::Upgrade;
    for (const auto& settled : plan.settled)
        if (Row* row = FindRow(settled.address))
            row->plan = settled.plan;
}

void FleetWindowModel::SelectAll() {
    for (auto& row : rows_)
        row.checked = !row.missing;
}

void FleetWindowModel::SelectNone() {
    for (auto& row : rows_)
        row.checked = false;
}

void FleetWindowModel::SelectNotCurrent() {
    for (auto& row : rows_)
        row.checked = row.plan == fleet::PlanKind::Upgrade && !row.missing;
}

void FleetWindowModel::SetChecked(const std::string& address, bool checked) {
    if (Row* row = FindRow(address); row != nullptr && !row->missing)
        row->checked = checked;
}

std::size_t FleetWindowModel::CheckedCount() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.checked; }));
}

std::vector<std::string> FleetWindowModel::CheckedAddresses() const {
    std::vector<std::string> addresses;
    for (const auto& row : rows_)
        if (row.checked)
            addresses.push_back(row.entry.address);
    return addresses;
}

std::vector<fleet::PinnedTarget> FleetWindowModel::CheckedTargets() const {
    std::vector<fleet::PinnedTarget> targets;
    for (const auto& row : rows_)
        if (row.checked)
            targets.push_back({row.entry.address, row.entry.serial.empty()
                                                      ? std::nullopt
                                                      : std::optional(row.entry.serial)});
    return targets;
}

void FleetWindowModel::SortBy(Column column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
}

void FleetWindowModel::SetFilter(const std::string& text) {
    // Spaces around the typed text are not part of what is looked for.
    const auto first = text.find_first_not_of(" \t");
    filter_ = first == std::string::npos
                  ? ""
                  : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<const Row*> FleetWindowModel::Visible() const {
    std::vector<const Row*> shown;
    for (const auto& row : rows_)
        if (filter_.empty() || Contains(row.serial, filter_) ||
            Contains(row.entry.address, filter_) || Contains(row.version, filter_))
            shown.push_back(&row);
    const Column column = sortColumn_;
    const auto less = [column](const Row* a, const Row* b) {
        switch (column) {
        case Column::Address:
            return fleet::AddressLess(a->entry.address, b->entry.address);
        case Column::Check:
            return a->checked < b->checked;
        case Column::Progress:
            return a->percent < b->percent;
        default:
            return CellText(*a, column) < CellText(*b, column);
        }
    };
    // Stable, so equal cells keep the address order.
    if (ascending_)
        std::stable_sort(shown.begin(), shown.end(), less);
    else
        std::stable_sort(shown.begin(), shown.end(),
                         [&less](const Row* a, const Row* b) { return less(b, a); });
    return shown;
}

const Row* FleetWindowModel::Find(const std::string& address) const {
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [&](const Row& r) { return r.entry.address == address; });
    return it == rows_.end() ? nullptr : &*it;
}

Row* FleetWindowModel::FindRow(const std::string& address) {
    return const_cast<Row*>(std::as_const(*this).Find(address));
}

std::string FleetWindowModel::CellText(const Row& row, Column column) {
    switch (column) {
    case Column::Check:
        return {};
    case Column::Serial:
        return row.serial;
    case Column::Address:
        return row.entry.address;
    case Column::Version:
        return row.version;
    case Column::Plan:
        return (row.plan ? std::string(text::PlanText(*row.plan)) : std::string()) +
               (row.unexpected ? text::kNotExpectedMark : "");
    case Column::Stage:
        return text::StageText(row.stage);
    case Column::Progress:
        return row.stage.empty() ? "" : std::to_string(row.percent) + "%";
    case Column::Outcome:
        if (row.outcomeUnknown)
            return text::kOutcomeUnknown;
        return row.result ? text::OutcomeText(row.result->result) : "";
    case Column::Reason:
        if (row.outcomeUnknown)
            return text::kRunNeverEnded;
        return row.result ? text::ReasonText(*row.result) : "";
    }
    return {};
}

std::string FleetWindowModel::StartRefusal() const {
    if (phase_ != Phase::Idle)
        return text::kBusy;
    if (!image_)
        return text::kNoImage;
    if (CheckedCount() == 0)
        return text::kNothingSelected;
    return {};
}

std::string FleetWindowModel::ConfirmationText(const std::string& sha256,
                                               std::size_t canary) const {
    return text::ConfirmationText(CheckedCount(), image_.get(), sha256, canary, signatureText_);
}

void FleetWindowModel::RunStarted(const std::vector<std::string>& targets, Clock::time_point now) {
    targets_ = targets;
    queued_.clear();
    lastFlush_ = now;
    for (const auto& address : targets_)
        if (Row* row = FindRow(address)) {
            row->stage = "sweep";
            row->percent = 0;
            row->result.reset();
        }
    phase_ = Phase::Running;
    status_ = text::RunStartedText(targets_.size());
}

void FleetWindowModel::QueueProgress(const std::vector<RowProgress>& updates) {
    for (const auto& update : updates)
        queued_[update.address] = update;
}

std::vector<std::string> FleetWindowModel::Flush(Clock::time_point now) {
    if (queued_.empty() || now - lastFlush_ < kRepaintInterval)
        return {};
    lastFlush_ = now;
    std::vector<std::string> changed;
    for (const auto& [address, update] : queued_) {
        Row* row = FindRow(address);
        if (row == nullptr || row->result ||
            (row->stage == update.stage && row->percent == update.percent))
            continue;
        row->stage = update.stage;
        row->percent = update.percent;
        changed.push_back(address);
    }
    queued_.clear();
    if (phase_ == Phase::Running) {
        std::size_t done = 0;
        for (const auto& address : targets_)
            if (const Row* row = Find(address); row && row->result)
                ++done;
        status_ = text::RunProgressText(done, targets_.size());
    }
    return changed;
}

void FleetWindowModel::Settle(const fleet::CollectorResult& result) {
    Row* row = FindRow(result.address);
    if (row == nullptr)
        return;
    SettleRow(*row, result);
}

void FleetWindowModel::StopRequested() {
    if (phase_ == Phase::Running) {
        phase_ = Phase::Stopping;
        status_ = text::kStopping;
    }
}

void FleetWindowModel::RunFinished(const std::vector<fleet::CollectorResult>& results,
                                   bool interrupted, int exitStatus,
                                   std::optional<fleet::ExpectedCounts> expected) {
    queued_.clear();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.missing; }),
                rows_.end());
    for (const auto& result : results) {
        if (result.result == fleet::ResultKind::NotFound) {
            // Nobody answered for it: a row of its own, never a target.
            Row row;
            row.entry.address = result.address;
            row.entry.serial = result.serial;
            row.serial = platform::GbkToUtf8(result.serial);
            row.plan = result.plan;
            row.missing = true;
            SettleRow(row, result);
            rows_.push_back(std::move(row));
        } else if (Row* row = FindRow(result.address)) {
            SettleRow(*row, result);
        }
    }
    std::stable_sort(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) {
        return fleet::AddressLess(a.entry.address, b.entry.address);
    });
    phase_ = Phase::Idle;
    status_ = text::RunFinishedText(interrupted, text::OutcomeCountsText(results), exitStatus);
    if (expected)
        status_ += "；" + text::ExpectedCountsText(*expected);
}

std::size_t FleetWindowModel::SelectFailed() {
    std::size_t count = 0;
    for (auto& row : rows_) {
        row.checked = row.outcomeUnknown || (row.result && NeedsRetry(*row.result));
        count += row.checked;
    }
    return count;
}

int FleetWindowModel::OverallPercent() const {
    if (targets_.empty())
        return 0;
    long total = 0;
    for (const auto& address : targets_)
        if (const Row* row = Find(address))
            total += row->result && RunsTheImage(*row->result) ? 100 : row->percent;
    return static_cast<int>(total / static_cast<long>(targets_.size()));
}

} // namespace fleetui
