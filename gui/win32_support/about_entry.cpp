#include "gui/win32_support/about_entry.h"

#include <cwchar>
#include <vector>

namespace win32_support {

namespace {

// The running program's version resource, in the strings of its first
// language; empty texts where it has none.
struct VersionTexts {
    std::wstring product, version, copyright;
};

VersionTexts ReadVersionTexts() {
    std::vector<wchar_t> path(32768);
    GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.data(), nullptr));
    if (info.empty() ||
        !GetFileVersionInfoW(path.data(), 0, static_cast<DWORD>(info.size()), info.data()))
        return {};
    struct Translation {
        WORD language, codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    Translation first{0x0804, 1200}; // Chinese (PRC), UTF-16: what the programs declare
    if (VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &length) &&
        length >= sizeof(Translation))
        first = *translation;
    const auto text = [&](const wchar_t* name) {
        wchar_t key[64];
        std::swprintf(key, std::size(key), L"\\StringFileInfo\\%04x%04x\\%ls", first.language,
                      first.codePage, name);
        wchar_t* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &size) ||
            value == nullptr)
            return std::wstring();
        return std::wstring(value, wcsnlen(value, size)); // the resource's own end marks stay out
    };
    return {text(L"ProductName"), text(L"ProductVersion"), text(L"LegalCopyright")};
}

} // namespace

void AddAboutEntry(HWND window) {
    const HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kAboutCommand, L"关于(&A)...");
}

std::wstring AboutText() {
    const VersionTexts texts = ReadVersionTexts();
    std::wstring text = texts.product + L"\n版本 " + texts.version;
    if (!texts.copyright.empty())
        text += L"\n" + texts.copyright;
    return text;
}

bool HandleAboutCommand(HWND window, WPARAM command) {
    if ((command & 0xFFF0) != kAboutCommand)
        return false;
    MessageBoxW(window, AboutText().c_str(), L"关于", MB_OK | MB_ICONINFORMATION);
    return true;
}

} // namespace win32_support
