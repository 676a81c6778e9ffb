#include "gui/upgrade/win32/frmmain_dialogs.h"

#include "core/error_text.h"
#include "platform/wide_text.h"

#include <commdlg.h>

#include <vector>

using core::ApplicationTitle;

using platform::Utf8ToWide;
using platform::WideToUtf8;

namespace upgradeui::win32 {

namespace {

void ShowBox(HWND owner, const std::string& text, const std::wstring& caption, UINT icon) {
    MessageBoxW(owner, Utf8ToWide(text).c_str(), caption.c_str(), MB_OK | icon);
}

// Room for any path the dialog can return.
constexpr DWORD kPathCapacity = 32768;

} // namespace

std::wstring ApplicationTitleWide() {
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), kPathCapacity);
    return Utf8ToWide(ApplicationTitle(WideToUtf8(std::wstring_view(path.data(), length))));
}

void MessageBoxNotices::Notice(const std::string& text) {
    ShowBox(owner_, text, L"提示", MB_ICONEXCLAMATION);
}

void MessageBoxNotices::PlainMessage(const std::string& text) {
    ShowBox(owner_, text, ApplicationTitleWide(), 0);
}

void MessageBoxNotices::ErrorBox(const std::string& text) {
    ShowBox(owner_, text, ApplicationTitleWide(), MB_ICONSTOP);
}

bool FileOpenDialog::Execute() {
    std::vector<wchar_t> file(kPathCapacity, L'\0');
    const std::wstring initial = Utf8ToWide(fileName_);
    initial.copy(file.data(), std::min<std::size_t>(initial.size(), kPathCapacity - 1));

    static constexpr wchar_t kFilter[] = L"程序文件\0*.bin\0";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner_;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kPathCapacity;
    // No OFN_FILEMUSTEXIST: a typed name that does not exist is accepted, and
    // the loader then reports that it cannot open it.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog))
        return false;
    fileName_ = WideToUtf8(file.data());
    return true;
}

} // namespace upgradeui::win32
