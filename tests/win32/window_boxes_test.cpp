// The window's real message boxes: caption, text, icon and the one OK button,
// read from the open box by a helper thread that then presses OK.

#include "win32_window_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using core::Notices;

namespace {

struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
    int buttons = 0;
};

// Waits (bounded) for a dialog of this process, reads it, and presses OK.
SeenBox ReadAndDismissBox() {
    SeenBox seen;
    HWND box = nullptr;
    for (int i = 0; i < 1000 && box == nullptr; ++i) { // up to 10 s on a busy machine
        EnumWindows(
            [](HWND window, LPARAM found) -> BOOL {
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (process != GetCurrentProcessId() || std::wstring(name) != L"#32770" ||
                    !IsWindowVisible(window))
                    return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        if (box == nullptr)
            Sleep(10);
    }
    if (box == nullptr)
        return seen;
    seen.caption = TextOf(box);
    EnumChildWindows(
        box,
        [](HWND child, LPARAM state) -> BOOL {
            auto* s = reinterpret_cast<SeenBox*>(state);
            wchar_t name[16] = {};
            GetClassNameW(child, name, 16);
            const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
            if (lstrcmpiW(name, L"Button") == 0 && IsWindowVisible(child))
                ++s->buttons;
            else if (lstrcmpiW(name, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
                s->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            else if (lstrcmpiW(name, L"Static") == 0 && GetDlgCtrlID(child) == 0xFFFF)
                s->text = TextOf(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&seen));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return seen;
}

// Shows one box through the window's own notices, as the handlers do.
SeenBox ShowBox(const std::function<void(Notices&)>& show) {
    SeenBox seen;
    std::thread reader([&seen] { seen = ReadAndDismissBox(); });
    MessageBoxNotices notices;
    show(notices);
    reader.join();
    return seen;
}

TEST(Win32WindowBoxes, NoticePlainMessageAndErrorBoxCarryTheirCaptionIconAndOneButton) {
    const HICON exclamation = LoadIconW(nullptr, IDI_EXCLAMATION);
    const HICON stop = LoadIconW(nullptr, IDI_HAND);

    const SeenBox notice = ShowBox([](Notices& n) { n.Notice("升级完成"); });
    EXPECT_EQ(notice.caption, L"提示");
    EXPECT_EQ(notice.text, L"升级完成");
    EXPECT_EQ(notice.icon, exclamation);
    EXPECT_EQ(notice.buttons, 1);

    // The application title: the program file's name up to its first dot,
    // every letter after the first in lower case.
    const SeenBox plain = ShowBox([](Notices& n) { n.PlainMessage("版本号必须以S开头"); });
    EXPECT_EQ(plain.caption, L"win32_window_tests");
    EXPECT_EQ(plain.text, L"版本号必须以S开头");
    EXPECT_EQ(plain.icon, nullptr);
    EXPECT_EQ(plain.buttons, 1);

    const SeenBox error = ShowBox([](Notices& n) { n.ErrorBox("磁盘已满."); });
    EXPECT_EQ(error.caption, L"win32_window_tests");
    EXPECT_EQ(error.text, L"磁盘已满.");
    EXPECT_EQ(error.icon, stop);
    EXPECT_EQ(error.buttons, 1);
}

} // namespace
