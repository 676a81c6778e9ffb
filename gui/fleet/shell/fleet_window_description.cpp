#include "gui/fleet/shell/fleet_window_description.h"

#include "gui/fleet/shell/fleet_texts.h"

#include <algorithm>
#include <array>

namespace fleetui {

namespace {

using K = FleetControlKind;

// Three rows of controls above the table, the run's buttons and the overall
// bar below it, the status line at the bottom.
constexpr std::array kControls = {
    FleetControl{kAdapterLabel, "lblAdapter", K::Label, {8, 10, 40, 20}, text::kAdapter, "", -1},
    FleetControl{kAdapterChoice, "cmbAdapter", K::Choice, {52, 8, 300, 24}, "", text::kAdapter, 0},
    FleetControl{
        kSearchButton, "btnSearch", K::Button, {360, 8, 80, 24}, text::kSearch, text::kSearch, 1},
    FleetControl{kFilterLabel, "lblFilter", K::Label, {460, 10, 40, 20}, text::kFilter, "", -1},
    FleetControl{kFilterEdit, "edtFilter", K::LineEdit, {504, 8, 388, 24}, "", text::kFilter, 2},
    FleetControl{kImageLabel, "lblImage", K::Label, {8, 42, 60, 20}, text::kImage, "", -1},
    FleetControl{kImagePath, "edtImage", K::ReadOnlyEdit, {72, 40, 460, 24}, "", text::kImage, 3},
    FleetControl{
        kBrowseButton, "btnBrowse", K::Button, {540, 40, 80, 24}, text::kBrowse, text::kBrowse, 4},
    FleetControl{kVersionLabel, "lblVersion", K::Label, {632, 42, 50, 20}, text::kVersion, "", -1},
    FleetControl{
        kVersionEdit, "edtVersion", K::LineEdit, {686, 40, 206, 24}, "", text::kVersion, 5},
    FleetControl{kSweepTable, "tblCollectors", K::Table, {8, 104, 884, 400}, "", text::kTable, 13},
    FleetControl{kSelectAllButton,
                 "btnSelectAll",
                 K::Button,
                 {8, 72, 80, 24},
                 text::kSelectAll,
                 text::kSelectAll,
                 6},
    FleetControl{kSelectNoneButton,
                 "btnSelectNone",
                 K::Button,
                 {96, 72, 80, 24},
                 text::kSelectNone,
                 text::kSelectNone,
                 7},
    FleetControl{kSelectNotCurrentButton,
                 "btnSelectNotCurrent",
                 K::Button,
                 {184, 72, 150, 24},
                 text::kSelectNotCurrent,
                 text::kSelectNotCurrent,
                 8},
    FleetControl{kSelectionCount, "lblCount", K::Label, {344, 76, 200, 20}, "", "", -1},
    FleetControl{kExpectedFromFileButton,
                 "btnExpectedFromFile",
                 K::Button,
                 {552, 72, 110, 24},
                 text::kExpectedFromFile,
                 text::kExpectedFromFile,
                 9},
    FleetControl{kExpectedFromSweepButton,
                 "btnExpectedFromSweep",
                 K::Button,
                 {668, 72, 130, 24},
                 text::kExpectedFromSweep,
                 text::kExpectedFromSweep,
                 10},
    FleetControl{kExpectedClearButton,
                 "btnExpectedClear",
                 K::Button,
                 {804, 72, 88, 24},
                 text::kExpectedClear,
                 text::kExpectedClear,
                 11},
    FleetControl{
        kStartButton, "btnStart", K::Button, {8, 512, 100, 26}, text::kStart, text::kStart, 14},
    FleetControl{
        kStopButton, "btnStop", K::Button, {116, 512, 80, 26}, text::kStop, text::kStop, 15},
    FleetControl{kRetryButton,
                 "btnRetry",
                 K::Button,
                 {204, 512, 100, 26},
                 text::kRetryFailed,
                 text::kRetryFailed,
                 16},
    FleetControl{kSaveJsonButton,
                 "btnSaveJson",
                 K::Button,
                 {672, 512, 108, 26},
                 text::kSaveJson,
                 text::kSaveJson,
                 17},
    FleetControl{kSaveCsvButton,
                 "btnSaveCsv",
                 K::Button,
                 {784, 512, 108, 26},
                 text::kSaveCsv,
                 text::kSaveCsv,
                 18},
    FleetControl{
        kOverallProgress, "pbOverall", K::ProgressBar, {8, 546, 884, 20}, "", text::kOverall, -1},
    FleetControl{kStatusLine, "stStatus", K::StatusLine, {0, 576, 900, 24}, "", text::kStatus, -1},
};

} // namespace

std::span<const FleetControl> FleetControls() {
    return kControls;
}

const FleetControl* FindFleetControl(FleetControlId id) {
    const auto it = std::find_if(kControls.begin(), kControls.end(),
                                 [id](const FleetControl& c) { return c.id == id; });
    return it == kControls.end() ? nullptr : &*it;
}

} // namespace fleetui
