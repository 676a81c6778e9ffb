// Drives a running CollectorUpgrade.exe from another process under the same
// wine server, the way an operator would: presses its buttons, reads its
// labels and list rows, selects a row, answers the open-file dialog and
// reads and dismisses message boxes. End-to-end tests run one command per
// call; output is UTF-8 on stdout. Exit status: 0 done, 1 timed out or not
// found, 2 bad command line.
//
//   collector_automation wait-ready MS          lbl3 and lbl6 once lbl6 has text
//   collector_automation click search|browse|upgrade
//   collector_automation wait-rows N MS         the rows once there are N
//   collector_automation select ROW
//   collector_automation text lbl3|lbl6|redt2|edt1
//   collector_automation wait-status TEXT MS    until lbl6 reads TEXT
//   collector_automation choose-file PATH MS    browse, type PATH, OK
//   collector_automation wait-box MS            caption and text of a message box, then OK
//   collector_automation window-rect           outer rectangle: left top width height
//   collector_automation close

#include "gui/upgrade/win32/frmmain_ids.h"
#include "remote_controls.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace automation;
using namespace upgradeui::win32; // the window's control ids and class name

namespace {

constexpr wchar_t kCaption[] = L"采集器程序升级工具";

HWND MainWindow() {
    return FindWindowW(kMainWindowClass, kCaption);
}

void PrintRows(HWND listView) {
    RemoteBuffer remote = CellBuffer(listView);
    if (!remote.Ok())
        return;
    for (int row = 0; row < RowCount(listView); ++row)
        Print(Cell(listView, remote, row, 0) + L"\t" + Cell(listView, remote, row, 1) + L"\t" +
              Cell(listView, remote, row, 2));
}

bool SelectRow(HWND listView, int row) {
    RemoteBuffer remote(listView, sizeof(LVITEMW));
    if (!remote.Ok())
        return false;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(&item, sizeof item);
    return SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(remote.Address())) != FALSE;
}

constexpr char kProgram[] = "collector_automation";

int Fail(const char* why) {
    return automation::Fail(kProgram, why);
}

int Usage() {
    return automation::Usage(kProgram);
}

int Run(const std::vector<std::wstring>& args) {
    if (args.empty())
        return Usage();
    const std::wstring& command = args[0];
    const auto number = [&](std::size_t i) { return i < args.size() ? _wtoi(args[i].c_str()) : 0; };
    HWND main = nullptr;
    if (!WaitFor([&] { return (main = MainWindow()) != nullptr; },
                 command == L"wait-ready" ? number(1) : 2000))
        return Fail("no main window");
    const auto control = [&](ControlId id) { return Descendant(main, id); };

    if (command == L"wait-ready") {
        if (!WaitFor([&] { return !Text(control(kLbl6)).empty(); }, number(1)))
            return Fail("the status line stays empty");
        Print(Text(control(kLbl3)));
        Print(Text(control(kLbl6)));
        return 0;
    }
    if (command == L"click" && args.size() == 2) {
        const ControlId id = args[1] == L"search"    ? kBtnSearch
                             : args[1] == L"browse"  ? kBtn1
                             : args[1] == L"upgrade" ? kBtnUpg
                                                     : ControlId{};
        if (id == ControlId{})
            return Usage();
        // Posted: a handler that opens a modal box must not hold this caller.
        PostMessageW(control(id), BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"wait-rows" && args.size() == 3) {
        const HWND list = control(kLv1);
        if (!WaitFor([&] { return RowCount(list) >= number(1); }, number(2)))
            return PrintRows(list), Fail("too few rows");
        PrintRows(list);
        return 0;
    }
    if (command == L"select" && args.size() == 2)
        return SelectRow(control(kLv1), number(1)) ? 0 : Fail("cannot select the row");
    if (command == L"text" && args.size() == 2) {
        const ControlId id = args[1] == L"lbl3"    ? kLbl3
                             : args[1] == L"lbl6"  ? kLbl6
                             : args[1] == L"redt2" ? kRedt2
                             : args[1] == L"edt1"  ? kEdt1
                                                   : ControlId{};
        if (id == ControlId{})
            return Usage();
        Print(Text(control(id)));
        return 0;
    }
    if (command == L"wait-status" && args.size() == 3) {
        if (!WaitFor([&] { return Text(control(kLbl6)) == args[1]; }, number(2))) {
            Print(Text(control(kLbl6)));
            return Fail("the status line does not read as expected");
        }
        return 0;
    }
    if (command == L"choose-file" && args.size() == 3) {
        PostMessageW(control(kBtn1), BM_CLICK, 0, 0);
        if (const char* problem = AnswerFileDialog(main, args[1], number(2)))
            return Fail(problem);
        return 0;
    }
    if (command == L"wait-box" && args.size() == 2)
        return AnswerMessageBox(main, IDOK, number(1)) ? 0 : Fail("no message box");
    if (const int status = WindowCommand(main, command); status >= 0)
        return status;
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    return automation::AutomationMain(argc, argv, Run);
}
