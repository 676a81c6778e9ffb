#pragma once

// The fleet window without a toolkit: the table's rows, their selection,
// sorting and filter, the plan column that follows the chosen image, the
// progress of a run (coalesced so that hundreds of rows stay smooth), the
// outcomes, "retry failed" and the status line. Renderers show it and feed
// it the operator's actions and the engine's events; time comes from outside,
// so the tests run it on a clock they set.

#include "fleet/run/field_table.h"
#include "fleet/run/fleet_plan.h"
#include "fleet/run/fleet_report.h"
#include "fleet/run/sweep_scope.h"
#include "fleet/session/firmware_image.h"
#include "fleet/session/fleet_policy.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fleetui {

using Clock = std::chrono::steady_clock;

enum class Column { Check, Serial, Address, Version, Plan, Stage, Progress, Outcome, Reason };
inline constexpr int kColumnCount = 9;

struct Row {
    fleet::FieldEntry entry;             // as the sweep saw it (raw GBK texts)
    std::string serial, version;         // UTF-8, for display
    std::optional<fleet::PlanKind> plan; // none until an image is chosen
    bool checked = false;
    std::string stage;                            // the report's stage name; empty before a run
    int percent = 0;                              // of this collector's upgrade
    std::optional<fleet::CollectorResult> result; // once its run has settled it
    // Shown from a report whose run never ended: where this collector stood
    // when the program stopped is not known.
    bool outcomeUnknown = false;
    // Found by the sweep, but the expected list does not name it.
    bool unexpected = false;
    // Expected, but it did not answer a run's sweep: shown, never ticked.
    bool missing = false;
};

// One collector's progress as the engine saw it.
struct RowProgress {
    std::string address;
    std::string stage;
    int percent = 0;
};

enum class Phase { Idle, Sweeping, Running, Stopping };

class FleetWindowModel {
public:
    // Repaints of the table come at most this often during a run.
    static constexpr std::chrono::milliseconds kRepaintInterval = fleet::policy::kProgressInterval;

    // --- the sweep
    void BeginSweep();
    // Replaces the rows; checks are kept for addresses that are still there.
    // `findings`: what the checks found on the adapter, shown when the sweep
    // found fewer collectors than expected.
    void SetField(const fleet::FieldTable& field, const fleet::SweepScope& scope,
                  std::string findings = {});
    void SweepFailed(const std::string& message);
    // The rows and head of a report kept from an earlier run, until the next sweep.
    void ShowReport(const fleet::Report& report);

    // --- the expected list: the collectors a run expects, compared with the sweep
    void SetExpected(std::vector<fleet::ExpectedCollector> expected);
    const std::vector<fleet::ExpectedCollector>& Expected() const { return expected_; }
    // The last sweep as an expected list: each serial pinned to the address it
    // answered from (the serials of an address conflict unpinned). Empty
    // without a sweep.
    std::vector<fleet::ExpectedCollector> SweptAsExpected() const;
    // What a run is given: none without a list.
    std::optional<fleet::Expectation> RunExpectation() const;

    // --- the image: the plan column follows it
    void SetImage(std::shared_ptr<const fleet::FirmwareImage> image);
    // The image's signature as checked: the status line and the question say
    // "已签名：<key name>" or "未签名".
    void SetSignature(const image::SignatureCheck& signature);
    // The operator's edit of the version field; the plan column follows it.
    void SetVersionText(const std::string& text);
    const std::shared_ptr<const fleet::FirmwareImage>& Image() const { return image_; }

    // --- selection
    void SelectAll();
    void SelectNone();
    void SelectNotCurrent(); // every row whose plan is "upgrade"
    void SetChecked(const std::string& address, bool checked);
    std::size_t CheckedCount() const;
    std::vector<std::string> CheckedAddresses() const; // ascending by address
    // The same, each with the serial its row shows (none for a row without one).
    std::vector<fleet::PinnedTarget> CheckedTargets() const;

    // --- view: sort and filter never change the rows, only their order
    void SortBy(Column column, bool ascending);
    void SetFilter(const std::string& text);
    // Rows shown, in order.
    std::vector<const Row*> Visible() const;
    const Row* Find(const std::string& address) const;
    // The text of one cell (the check column has none).
    static std::string CellText(const Row& row, Column column);

    // --- the run
    // Empty when the run may start; otherwise what stops it, for the operator.
    std::string StartRefusal() const;
    // The confirmation: how many, the image and its SHA-256, the canary.
    std::string ConfirmationText(const std::string& sha256, std::size_t canary) const;
    void RunStarted(const std::vector<std::string>& targets, Clock::time_point now);
    // Progress from the engine; later reports of a row replace earlier ones.
    void QueueProgress(const std::vector<RowProgress>& updates);
    // Applies what was queued if a repaint is due at `now`; returns the
    // addresses of the rows that changed (empty when nothing is due).
    std::vector<std::string> Flush(Clock::time_point now);
    // One collector's result as its session ends; progress never overwrites it.
    void Settle(const fleet::CollectorResult& result);
    void StopRequested();
    // The run's results, every row it touched; applies queued progress first.
    // Expected collectors the run did not find get rows of their own.
    void RunFinished(const std::vector<fleet::CollectorResult>& results, bool interrupted,
                     int exitStatus, std::optional<fleet::ExpectedCounts> expected = std::nullopt);
    // Checks exactly the rows whose last run failed, was interrupted or not
    // verified (what "retry failed" runs again); returns how many.
    std::size_t SelectFailed();

    Phase CurrentPhase() const { return phase_; }
    // 0..100 over the run's targets: a collector counts whole once it runs
    // the image, else as far as it came.
    int OverallPercent() const;
    const std::string& StatusLine() const { return status_; }
    std::size_t RowCount() const { return rows_.size(); }
    const std::vector<std::string>& RunTargets() const { return targets_; }

private:
    void Replan();
    void MarkUnexpected();
    // The status after a sweep: what it found, and against the expected list.
    std::string SweepStatus() const;
    Row* FindRow(const std::string& address);

    std::vector<Row> rows_; // ascending by address
    std::optional<fleet::FieldTable> field_;
    std::optional<fleet::SweepScope> scope_;
    std::string findings_; // the last sweep's adapter findings
    std::shared_ptr<const fleet::FirmwareImage> image_;
    std::string signatureText_; // text::SignatureText of the image's check
    Column sortColumn_ = Column::Address;
    bool ascending_ = true;
    std::string filter_;
    Phase phase_ = Phase::Idle;
    std::vector<std::string> targets_;
    std::map<std::string, RowProgress> queued_;
    Clock::time_point lastFlush_{};
    std::string status_;
    std::vector<fleet::ExpectedCollector> expected_;
};

} // namespace fleetui
