#pragma once

// The fleet window as data: every control's identifier, name, kind, place at
// 96 dpi, caption, accessible name and tab order. Both renderers build the
// window from this table; their tests check the built window against it.

#include <span>
#include <string_view>

namespace fleetui {

enum FleetControlId : int {
    kAdapterLabel = 200,
    kAdapterChoice,
    kSearchButton,
    kFilterLabel,
    kFilterEdit,
    kImageLabel,
    kImagePath,
    kBrowseButton,
    kVersionLabel,
    kVersionEdit,
    kSweepTable,
    kSelectAllButton,
    kSelectNoneButton,
    kSelectNotCurrentButton,
    kSelectionCount,
    kStartButton,
    kStopButton,
    kRetryButton,
    kSaveJsonButton,
    kSaveCsvButton,
    kOverallProgress,
    kStatusLine,
    kExpectedFromFileButton,
    kExpectedFromSweepButton,
    kExpectedClearButton,
};

enum class FleetControlKind {
    Label,
    Choice,
    Button,
    LineEdit,
    ReadOnlyEdit,
    Table,
    ProgressBar,
    StatusLine
};

struct FleetRect {
    int left, top, width, height;
};

struct FleetControl {
    FleetControlId id;
    std::string_view name; // object name: tests and automation find it so
    FleetControlKind kind;
    FleetRect bounds;                // at 96 dpi, in the client area
    std::string_view caption;        // UTF-8; empty for none
    std::string_view accessibleName; // what a screen reader says
    int tabOrder;                    // -1: not reached by Tab (labels)
};

// The client area at 96 dpi.
inline constexpr int kFleetClientWidth = 900;
inline constexpr int kFleetClientHeight = 600;

// The table's column widths at 96 dpi, in column order.
inline constexpr int kColumnWidths[] = {40, 110, 110, 80, 90, 70, 70, 100, 190};

std::span<const FleetControl> FleetControls();
const FleetControl* FindFleetControl(FleetControlId id);

} // namespace fleetui
