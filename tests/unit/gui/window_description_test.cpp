// The main window's description against the fixed figures of its layout at
// 96 dpi, the names screen readers read, the docking and scaling rules, and
// the progress model's clamp.

#include "gui/common/progress_model.h"
#include "gui/common/window_description.h"
#include "gui/common/window_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace gui;

struct Row {
    const char* name;
    const char* parent;
    ControlKind kind;
    Rect bounds;
    const char* caption;
    int fontPixels;
};

TEST(WindowDescription, EveryControlHasItsFixedPlaceCaptionAndFont) {
    using enum ControlKind;
    const std::vector<Row> expected = {
        {"pnl1", "Frmmain", Panel, {0, 0, 398, 382}, "", 13},
        {"lv1", "pnl1", ListView, {0, 0, 398, 382}, "", 13},
        {"grp1", "Frmmain", GroupBox, {400, -1, 201, 98}, "", 13},
        {"lbl1", "grp1", Label, {10, 16, 73, 13}, "本地端口号", 13},
        {"lbl2", "grp1", Label, {10, 39, 65, 17}, "本地ip地址", 13},
        {"lbl3", "grp1", SizedLabel, {84, 39, 28, 13}, "lbl3", 13},
        {"edtHostPort", "grp1", LineEdit, {85, 11, 49, 21}, "8000", 13},
        {"btnsearch", "grp1", Button, {58, 65, 79, 22}, "搜寻设备", 13},
        {"lbl7", "Frmmain", SizedLabel, {398, 105, 117, 13}, "升级程序文件选择：", 13},
        {"btn1", "Frmmain", Button, {549, 99, 44, 22}, "浏览", 16},
        {"redt2", "Frmmain", RichEdit, {399, 128, 202, 61}, "", 13},
        {"lbl4", "Frmmain", SizedLabel, {400, 198, 117, 13}, "待升级程序版本号：", 13},
        {"edt1", "Frmmain", LineEdit, {400, 220, 200, 21}, "", 13},
        {"lbl6", "Frmmain", Label, {408, 254, 185, 13}, "", 13},
        {"btnUPG", "Frmmain", Button, {472, 352, 75, 25}, "升级程序", 13},
        {"ProgressBar1", "Frmmain", ProgressBar, {264, 184, 89, 17}, "", 13},
        {"stat1", "Frmmain", StatusBar, {0, 382, 607, 19}, "", 13},
    };
    const auto controls = MainWindowControls();
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        const ControlDescription& control = controls[i];
        EXPECT_EQ(control.name, expected[i].name);
        EXPECT_EQ(ParentName(control), expected[i].parent);
        EXPECT_EQ(control.kind, expected[i].kind);
        EXPECT_EQ(control.bounds, expected[i].bounds);
        EXPECT_EQ(control.caption, expected[i].caption);
        EXPECT_EQ(control.fontPixels, expected[i].fontPixels);
        EXPECT_EQ(&Describe(control.id), &control);
        EXPECT_EQ(&Describe(control.name), &control);
    }
    EXPECT_EQ(kWindowCaption, "采集器程序升级工具");
    EXPECT_EQ(kClientWidth, 607);
    EXPECT_EQ(kClientHeight, 401);
    EXPECT_EQ(Describe(kEdtHostPort).flags, kDisabled | kReadOnly);
    EXPECT_TRUE(Describe(kRedt2).Has(kReadOnly) && Describe(kRedt2).Has(kVerticalScroll));
    EXPECT_TRUE(Describe(kLbl6).Has(kCentred));
    EXPECT_EQ(Describe(kEdt1).flags, kNoFlags);

    std::vector<std::pair<std::string, int>> columns;
    for (const ListColumn& column : DeviceListColumns())
        columns.emplace_back(column.caption, column.width);
    EXPECT_EQ(columns, (std::vector<std::pair<std::string, int>>{
                           {"序列号", 130}, {"IP", 105}, {"版本号", 140}}));
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
