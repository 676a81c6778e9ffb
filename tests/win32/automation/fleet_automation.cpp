// Drives a running CollectorFleetWindow.exe from another process under the
// same wine server, as an operator would: presses its buttons, reads its
// texts and table rows, answers the file dialogs and the message boxes.
// Controls are named by their object names in the window's description
// (btnSearch, stStatus, ...). End-to-end tests run one command per call;
// output is UTF-8 on stdout. Exit status: 0 done, 1 timed out or not found,
// 2 bad command line.
//
//   fleet_automation wait-ready MS               the adapter choice's text once it has one
//   fleet_automation click NAME                  press a button (posted: it may open a box)
//   fleet_automation text NAME                   a control's text
//   fleet_automation wait-text NAME TEXT MS      until the control reads TEXT
//   fleet_automation wait-enabled NAME MS        until the control is enabled
//   fleet_automation rows                        each row: check (0/1) and the cells, tab-separated
//   fleet_automation wait-rows N MS              the rows once there are at least N
//   fleet_automation wait-cell IP COLUMN TEXT MS until the row of IP reads TEXT in COLUMN (1..8)
//   fleet_automation choose-file NAME PATH MS    press NAME, type PATH into its file dialog, OK
//   fleet_automation wait-box MS ok|yes|no       a message box's caption and text; press that
//   fleet_automation window-rect                 outer rectangle: left top width height
//   fleet_automation close                       what the window's close box does
//   fleet_automation wait-gone MS                until the window is gone

#include "gui/fleet/shell/fleet_window_description.h"
#include "remote_controls.h"

#include <string>
#include <vector>

using namespace automation;

namespace {

constexpr wchar_t kWindowClass[] = L"CollectorFleetWindow";
constexpr int kColumns = 9;
constexpr int kAddressColumn = 2;

HWND FleetWindow() {
    return FindWindowW(kWindowClass, nullptr);
}

// The control whose object name in the description is `name`, or nullptr.
HWND Named(HWND main, const std::wstring& name) {
    for (const auto& control : fleetui::FleetControls())
        if (platform::Utf8ToWide(std::string(control.name)) == name)
            return GetDlgItem(main, control.id);
    return nullptr;
}

bool AllControls(HWND main) {
    for (const auto& control : fleetui::FleetControls())
        if (GetDlgItem(main, control.id) == nullptr)
            return false;
    return true;
}

bool Checked(HWND list, int row) {
    const auto state =
        SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

std::vector<std::wstring> Rows(HWND list) {
    std::vector<std::wstring> rows;
    RemoteBuffer remote = CellBuffer(list);
    if (!remote.Ok())
        return rows;
    for (int row = 0; row < RowCount(list); ++row) {
        std::wstring line = Checked(list, row) ? L"1" : L"0";
        for (int column = 1; column < kColumns; ++column)
            line += L"\t" + Cell(list, remote, row, column);
        rows.push_back(line);
    }
    return rows;
}

// The row whose address is `ip`, or -1.
int RowOf(HWND list, RemoteBuffer& remote, const std::wstring& ip) {
    for (int row = 0; row < RowCount(list); ++row)
        if (Cell(list, remote, row, kAddressColumn) == ip)
            return row;
    return -1;
}

constexpr char kProgram[] = "fleet_automation";

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
    const int findMs = command == L"wait-ready" ? number(1) : command == L"wait-gone" ? 0 : 2000;
    if (!WaitFor([&] { return (main = FleetWindow()) != nullptr; }, findMs))
        return command == L"wait-gone" ? 0 : Fail("no fleet window");
    // The window is found as soon as it exists, while its constructor may
    // still be creating the controls.
    if (command != L"wait-gone" && !WaitFor([&] { return AllControls(main); }, findMs))
        return Fail("the fleet window has not all its controls");
    const HWND list = Named(main, L"tblCollectors");

    if (command == L"wait-ready" && args.size() == 2) {
        const HWND adapter = Named(main, L"cmbAdapter");
        if (!WaitFor([&] { return !Text(adapter).empty(); }, number(1))) {
            // The choices offered, to tell why.
            const auto count = SendMessageW(adapter, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                wchar_t item[256] = {};
                if (SendMessageW(adapter, CB_GETLBTEXTLEN, i, 0) < 255)
                    SendMessageW(adapter, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                Print(item);
            }
            return Fail("no adapter is chosen");
        }
        Print(Text(adapter));
        return 0;
    }
    if (command == L"click" && args.size() == 2) {
        const HWND button = Named(main, args[1]);
        if (button == nullptr)
            return Usage();
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"text" && args.size() == 2) {
        const HWND control = Named(main, args[1]);
        if (control == nullptr)
            return Usage();
        Print(Text(control));
        return 0;
    }
    if (command == L"wait-text" && args.size() == 4) {
        const HWND control = Named(main, args[1]);
        if (control == nullptr)
            return Usage();
        if (!WaitFor([&] { return Text(control) == args[2]; }, number(3)))
            return Print(Text(control)), Fail("the control does not read as expected");
        return 0;
    }
    if (command == L"wait-enabled" && args.size() == 3) {
        const HWND control = Named(main, args[1]);
        if (control == nullptr)
            return Usage();
        return WaitFor([&] { return IsWindowEnabled(control) != FALSE; }, number(2))
                   ? 0
                   : Fail("the control stays disabled");
    }
    if (command == L"rows") {
        for (const auto& row : Rows(list))
            Print(row);
        return 0;
    }
    if (command == L"wait-rows" && args.size() == 3) {
        const bool enough = WaitFor([&] { return RowCount(list) >= number(1); }, number(2));
        for (const auto& row : Rows(list))
            Print(row);
        return enough ? 0 : Fail("too few rows");
    }
    if (command == L"wait-cell" && args.size() == 5) {
        const int column = number(2);
        if (column < 1 || column >= kColumns)
            return Usage();
        RemoteBuffer remote = CellBuffer(list);
        std::wstring last;
        const bool reads = WaitFor(
            [&] {
                const int row = RowOf(list, remote, args[1]);
                last = row < 0 ? L"(no row)" : Cell(list, remote, row, column);
                return last == args[3];
            },
            number(4));
        if (!reads)
            return Print(last), Fail("the cell does not read as expected");
        return 0;
    }
    if (command == L"choose-file" && args.size() == 4) {
        const HWND button = Named(main, args[1]);
        if (button == nullptr)
            return Usage();
        PostMessageW(button, BM_CLICK, 0, 0);
        if (const char* problem = AnswerFileDialog(main, args[2], number(3)))
            return Fail(problem);
        return 0;
    }
    if (command == L"wait-box" && args.size() == 3) {
        const int button = args[2] == L"yes" ? IDYES : args[2] == L"no" ? IDNO : IDOK;
        return AnswerMessageBox(main, button, number(1)) ? 0 : Fail("no message box");
    }
    if (const int status = WindowCommand(main, command); status >= 0)
        return status;
    if (command == L"wait-gone" && args.size() == 2)
        return WaitFor([&] { return !IsWindow(main); }, number(1)) ? 0 : Fail("the window stays");
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    return automation::AutomationMain(argc, argv, Run);
}
