#include "gui/upgrade/shell/window_description.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

namespace upgradeui {

namespace {

using enum ControlKind;

// One row a control, as the layout table reads.
// clang-format off
constexpr std::array<ControlDescription, 17> kControls{{
    {"pnl1", kPnl1, kNoControl, Panel, {0, 0, 398, 382}, "", 13, 0, Dock::Left, kNoFlags},
    {"lv1", kLv1, kPnl1, ListView, {0, 0, 398, 382}, "", 13, 0, Dock::Fill, kNoFlags},
    {"grp1", kGrp1, kNoControl, GroupBox, {400, -1, 201, 98}, "", 13, 1, Dock::None, kNoFlags},
    {"lbl1", kLbl1, kGrp1, Label, {10, 16, 73, 13}, "本地端口号", 13, -1, Dock::None, kNoFlags},
    {"lbl2", kLbl2, kGrp1, Label, {10, 39, 65, 17}, "本地ip地址", 13, -1, Dock::None, kNoFlags},
    {"lbl3", kLbl3, kGrp1, SizedLabel, {84, 39, 28, 13}, "lbl3", 13, -1, Dock::None, kNoFlags},
    {"edtHostPort", kEdtHostPort, kGrp1, LineEdit, {85, 11, 49, 21}, "8000", 13, 1, Dock::None,
     kDisabled | kReadOnly},
    {"btnsearch", kBtnSearch, kGrp1, Button, {58, 65, 79, 22}, "搜寻设备", 13, 0, Dock::None,
     kNoFlags},
    {"lbl7", kLbl7, kNoControl, SizedLabel, {398, 105, 117, 13}, "升级程序文件选择：", 13, -1,
     Dock::None, kNoFlags},
    {"btn1", kBtn1, kNoControl, Button, {549, 99, 44, 22}, "浏览", 16, 5, Dock::None, kNoFlags},
    {"redt2", kRedt2, kNoControl, RichEdit, {399, 128, 202, 61}, "", 13, 7, Dock::None,
     kReadOnly | kVerticalScroll},
    {"lbl4", kLbl4, kNoControl, SizedLabel, {400, 198, 117, 13}, "待升级程序版本号：", 13, -1,
     Dock::None, kNoFlags},
    {"edt1", kEdt1, kNoControl, LineEdit, {400, 220, 200, 21}, "", 13, 6, Dock::None, kNoFlags},
    {"lbl6", kLbl6, kNoControl, Label, {408, 254, 185, 13}, "", 13, -1, Dock::None, kCentred},
    {"btnUPG", kBtnUpg, kNoControl, Button, {472, 352, 75, 25}, "升级程序", 13, 2, Dock::None,
     kNoFlags},
    {"ProgressBar1", kProgressBar1, kNoControl, ProgressBar, {264, 184, 89, 17}, "", 13, 4,
     Dock::None, kNoFlags},
    {"stat1", kStat1, kNoControl, StatusBar, {0, 382, 607, 19}, "", 13, -1, Dock::Bottom,
     kNoFlags},
}};
// clang-format on

constexpr std::array<ListColumn, 3> kColumns{{{"序列号", 130}, {"IP", 105}, {"版本号", 140}}};

bool TakesFocus(ControlKind kind) {
    return kind == ListView || kind == LineEdit || kind == RichEdit || kind == Button;
}

// Children of `parent`: in tab order first, then the rest in table order.
std::vector<const ControlDescription*> ChildrenOf(ControlId parent) {
    std::vector<const ControlDescription*> children;
    for (const ControlDescription& control : kControls)
        if (control.parent == parent)
            children.push_back(&control);
    std::stable_sort(children.begin(), children.end(), [](const auto* a, const auto* b) {
        const auto key = [](const ControlDescription* c) {
            return c->tabOrder < 0 ? static_cast<int>(kControls.size()) : c->tabOrder;
        };
        return key(a) < key(b);
    });
    return children;
}

void AppendTree(ControlId parent, std::vector<const ControlDescription*>& out) {
    for (const ControlDescription* child : ChildrenOf(parent)) {
        out.push_back(child);
        AppendTree(child->id, out);
    }
}

} // namespace

std::span<const ControlDescription> MainWindowControls() {
    return kControls;
}

std::span<const ListColumn> DeviceListColumns() {
    return kColumns;
}

const ControlDescription& Describe(ControlId id) {
    for (const ControlDescription& control : kControls)
        if (control.id == id)
            return control;
    throw std::out_of_range("no control with identifier " + std::to_string(id));
}

const ControlDescription& Describe(std::string_view name) {
    for (const ControlDescription& control : kControls)
        if (control.name == name)
            return control;
    throw std::out_of_range("no control named " + std::string(name));
}

std::string_view AccessibleName(ControlId id) {
    constexpr std::string_view kColon = "：";
    const auto labelOf = [&](ControlId label) {
        std::string_view caption = Describe(label).caption;
        if (caption.ends_with(kColon))
            caption.remove_suffix(kColon.size());
        return caption;
    };
    switch (id) {
    case kLv1:
        return "采集器列表";
    case kEdtHostPort:
        return labelOf(kLbl1);
    case kRedt2:
        return labelOf(kLbl7);
    case kEdt1:
        return labelOf(kLbl4);
    default:
        return {};
    }
}

std::string_view ParentName(const ControlDescription& control) {
    return control.parent == kNoControl ? kWindowName : Describe(control.parent).name;
}

std::vector<const ControlDescription*> CreationOrder() {
    std::vector<const ControlDescription*> order;
    AppendTree(kNoControl, order);
    return order;
}

std::vector<const ControlDescription*> TabChain() {
    std::vector<const ControlDescription*> chain;
    for (const ControlDescription* control : CreationOrder())
        if (control->tabOrder >= 0 && TakesFocus(control->kind))
            chain.push_back(control);
    return chain;
}

} // namespace upgradeui
