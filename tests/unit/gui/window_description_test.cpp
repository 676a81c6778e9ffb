// The main window's description as a whole (the layout tests compare each
// rendered control with it), the names screen readers read, the docking and
// scaling rules, and the progress model's clamp.

#include "gui/upgrade/shell/progress_model.h"
#include "gui/upgrade/shell/window_description.h"
#include "gui/upgrade/shell/window_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace upgradeui;

// The layout tests compare each rendered control with this description; here
// the description itself must be whole: every control found by its id and its
// name, unique, inside its parent's client area at 96 dpi.
TEST(WindowDescription, EveryControlIsFoundByIdAndNameAndLiesInsideItsParent) {
    const auto controls = MainWindowControls();
    ASSERT_FALSE(controls.empty());
    for (const ControlDescription& control : controls) {
        SCOPED_TRACE(std::string(control.name));
        EXPECT_EQ(&Describe(control.id), &control);
        EXPECT_EQ(&Describe(control.name), &control);
        const Rect area = control.parent == kNoControl
                              ? Rect{0, 0, kClientWidth, kClientHeight}
                              : Rect{0, 0, Describe(control.parent).bounds.width,
                                     Describe(control.parent).bounds.height};
        // A group box's frame may start one pixel above its parent's edge.
        EXPECT_GE(control.bounds.top, area.top - 1);
        EXPECT_GE(control.bounds.left, area.left);
        EXPECT_LE(control.bounds.left + control.bounds.width, area.width);
        EXPECT_LE(control.bounds.top + control.bounds.height, area.height);
        EXPECT_GT(control.fontPixels, 0);
    }
    EXPECT_THROW(Describe("nothing"), std::out_of_range);
}

std::vector<std::string> Names(const std::vector<const ControlDescription*>& controls) {
    std::vector<std::string> names;
    for (const ControlDescription* control : controls)
        names.emplace_back(control->name);
    return names;
}

TEST(WindowDescription, TabOrderNumbersGiveTheChainOfFocusableControls) {
    EXPECT_EQ(Names(TabChain()), (std::vector<std::string>{"lv1", "btnsearch", "edtHostPort",
                                                           "btnUPG", "btn1", "edt1", "redt2"}));
}

TEST(WindowDescription, FieldsAreNamedByTheirLabelsAndTheListByWhatItHolds) {
    std::vector<std::pair<std::string, std::string>> named;
    for (const ControlDescription& control : MainWindowControls())
        if (!AccessibleName(control.id).empty())
            named.emplace_back(control.name, AccessibleName(control.id));
    EXPECT_EQ(named,
              (std::vector<std::pair<std::string, std::string>>{{"lv1", "采集器列表"},
                                                                {"edtHostPort", "本地端口号"},
                                                                {"redt2", "升级程序文件选择"},
                                                                {"edt1", "待升级程序版本号"}}));
}

TEST(WindowGeometry, DockingKeepsThePanelWidthAndTheStatusBarAtTheBottom) {
    struct Case {
        int width, height;
        DockedLayout expected;
    };
    const std::vector<Case> cases = {
        {607, 401, {{0, 0, 398, 382}, {0, 0, 398, 382}, {0, 382, 607, 19}}},
        {900, 401, {{0, 0, 398, 382}, {0, 0, 398, 382}, {0, 382, 900, 19}}},
        {700, 520, {{0, 0, 398, 501}, {0, 0, 398, 501}, {0, 501, 700, 19}}},
        {640, 10, {{0, 0, 398, 0}, {0, 0, 398, 0}, {0, 0, 640, 19}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const DockedLayout layout = LayOutDocked(c.width, c.height);
        EXPECT_EQ(layout.pnl1, c.expected.pnl1);
        EXPECT_EQ(layout.lv1, c.expected.lv1);
        EXPECT_EQ(layout.stat1, c.expected.stat1);
    }
    // At 150 %: panel 597 wide, bar 28 high.
    EXPECT_EQ(LayOutDocked(910, 601, 144).stat1, (Rect{0, 573, 910, 28}));
    EXPECT_EQ(LayOutDocked(910, 601, 144).pnl1, (Rect{0, 0, 597, 573}));

    EXPECT_EQ(ProgressInPanel({0, 0, 607, 19}), (Rect{0, 0, 597, 19}));
    EXPECT_EQ(ProgressInPanel({2, 3, 100, 15}), (Rect{2, 3, 90, 15}));
    EXPECT_EQ(ProgressInPanel({0, 0, 910, 28}, 144), (Rect{0, 0, 895, 28}));
}

TEST(WindowGeometry, ScalingFrom96DpiKeepsTheProportions) {
    EXPECT_EQ(ScaleToDpi(607, 144), 910);
    EXPECT_EQ(ScaleToDpi(401, 144), 601);
    EXPECT_EQ(ScaleToDpi(13, 120), 16);
    EXPECT_EQ(ScaleToDpi(Rect{400, -1, 201, 98}, 144), (Rect{600, -1, 301, 147}));
}

TEST(ProgressModel, PositionStaysWithinTheRangeAndTheRangeIsNeverEmpty) {
    ProgressModel model;
    EXPECT_EQ(model.RangeMaximum(), 1) << "empty, not busy";
    EXPECT_EQ(model.Advance(), 0);
    EXPECT_EQ(model.SetMaximum(3), 0);
    EXPECT_EQ(model.Advance(), 1);
    EXPECT_EQ(model.SetPosition(7), 3);
    EXPECT_EQ(model.Advance(), 3);
    EXPECT_EQ(model.SetPosition(-2), 0);
    EXPECT_EQ(model.SetPosition(2), 2);
    EXPECT_EQ(model.SetMaximum(1), 1) << "a smaller range pulls the position in";
    EXPECT_EQ(model.SetMaximum(-5), 0);
    EXPECT_EQ(model.RangeMaximum(), 1);
}

} // namespace
