#pragma once

// The main window TFrmmain as data: every control's name, identifier, parent,
// kind, place and size at 96 dpi, caption, font size, tab order and docking.
// Each toolkit builds its window from this table and nothing else; a test
// checks the table against fixed numbers, and each toolkit's test checks that
// its window matches the table.

#include <span>
#include <string_view>
#include <vector>

namespace upgradeui {

// Identifiers of the controls. The Win32 window gives them to its child
// windows, so automation finds a control with GetDlgItem.
enum ControlId : int {
    kNoControl = 0, // the window itself, as a parent
    kPnl1 = 100,
    kLv1,
    kGrp1,
    kLbl1,
    kLbl2,
    kLbl3,
    kEdtHostPort,
    kBtnSearch,
    kLbl7,
    kBtn1,
    kRedt2,
    kLbl4,
    kEdt1,
    kLbl6,
    kBtnUpg,
    kProgressBar1,
    kStat1,
};

enum class ControlKind {
    Panel,       // a plain container without bevel
    ListView,    // report-style list
    GroupBox,    // a frame without caption
    Label,       // fixed size
    SizedLabel,  // sized to its text
    LineEdit,    // single-line edit
    RichEdit,    // multi-line rich-text field
    Button,      // push button
    ProgressBar, //
    StatusBar,   // one owner-drawn panel spanning the bar
};

// How a control follows its parent's client area when the window is resized.
enum class Dock { None, Left, Bottom, Fill };

// Properties beyond kind and place.
enum ControlFlag : unsigned {
    kNoFlags = 0,
    kDisabled = 1u << 0,       // greyed out, never takes input
    kReadOnly = 1u << 1,       // shows text the operator cannot change
    kCentred = 1u << 2,        // text centred horizontally
    kVerticalScroll = 1u << 3, // a vertical scroll bar always present
};

// A rectangle in its parent's client area: left, top, width, height.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

struct ControlDescription {
    std::string_view name;
    ControlId id;
    ControlId parent; // kNoControl: the window
    ControlKind kind;
    Rect bounds;              // at 96 dpi
    std::string_view caption; // UTF-8; empty for none
    int fontPixels;           // character height at 96 dpi
    int tabOrder;             // among its siblings; -1: not in the tab order
    Dock dock;
    unsigned flags;

    bool Has(ControlFlag flag) const { return (flags & flag) != 0; }
};

struct ListColumn {
    std::string_view caption;
    int width; // at 96 dpi
};

// The window itself.
inline constexpr std::string_view kWindowName = "Frmmain";
inline constexpr std::string_view kWindowCaption = "采集器程序升级工具";
inline constexpr int kClientWidth = 607;
inline constexpr int kClientHeight = 401;
inline constexpr int kOuterWidth = 623; // with the usual frame, for centring
inline constexpr int kOuterHeight = 440;
inline constexpr int kWindowFontPixels = 13;
// The font by its English face name, which every Windows knows whatever its
// language, then by its Chinese one.
inline constexpr std::string_view kFontFace = "SimSun";
inline constexpr std::string_view kFontFaceChinese = "宋体";
// ProgressBar1 leaves this much of the status bar's panel free on the right.
inline constexpr int kProgressRightGap = 10;
inline constexpr int kDesignDpi = 96;

// The 17 controls, in the order of the table that defines the window.
std::span<const ControlDescription> MainWindowControls();
// lv1's three columns, in this order.
std::span<const ListColumn> DeviceListColumns();
enum DeviceColumn : int { kSerialColumn = 0, kIpColumn = 1, kVersionColumn = 2 };

// The control of that identifier or name; throws std::out_of_range if none.
const ControlDescription& Describe(ControlId id);
const ControlDescription& Describe(std::string_view name);

// What a screen reader says for a control that has no caption of its own:
// for a field, the caption of the label that names it on screen, without its
// colon; for lv1, what it lists. Empty for every other control.
std::string_view AccessibleName(ControlId id);

// The name of a parent: the window's name for kNoControl.
std::string_view ParentName(const ControlDescription& control);

// Parents before children, siblings by tab order, controls outside the tab
// order last in table order: the order in which to create the controls.
std::vector<const ControlDescription*> CreationOrder();

// The controls that take the keyboard focus, in the order Tab visits them.
std::vector<const ControlDescription*> TabChain();

} // namespace upgradeui
