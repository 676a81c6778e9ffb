// The resources built into the program (and into this test program, which
// links the same object): the icon, the manifest (common controls v6,
// per-monitor resolution, no elevation, long paths, Windows 7 to 11) and the
// version with the Chinese product name, the maker, the copyright line and
// the project's version; the About entry of the system menu, which shows
// them; and the rich edit library taken from the system folder.

#include "win32_window_fixture.h"

#include "gui/win32_support/about_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring VersionString(const std::vector<char>& info, const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        return L"<missing>";
    return std::wstring(value, length > 0 ? length - 1 : 0);
}

TEST(Win32WindowResources, IconManifestAndVersionAreBuiltIn) {
    const HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(3)), nullptr)
        << "an icon image"; // RT_ICON
    EXPECT_NE(LoadImageW(self, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0), nullptr);

    const HRSRC manifestResource = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifestResource, nullptr) << "RT_MANIFEST 1";
    const auto* manifest =
        static_cast<const char*>(LockResource(LoadResource(self, manifestResource)));
    const std::string text(manifest, SizeofResource(self, manifestResource));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    for (const char* setting : {"level=\"asInvoker\"", ">PerMonitorV2, PerMonitor<", ">true/pm<",
                                "<longPathAware", ">true</longPathAware>",
                                "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
                                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
                                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
                                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) // 10 and 11
        EXPECT_NE(text.find(setting), std::string::npos) << setting;

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> info(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(info.empty()) << "a version resource";
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
    EXPECT_EQ(VersionString(info, L"ProductName"), L"采集器程序升级工具");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"CollectorUpgrade.exe");
    EXPECT_EQ(VersionString(info, L"CompanyName"), L"Field Collector Tools");
    EXPECT_EQ(VersionString(info, L"LegalCopyright"),
              L"Copyright © 2026 the Collector Upgrade developers");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"" COLLECTOR_PROJECT_VERSION L".0");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"" COLLECTOR_PROJECT_VERSION L".0");
}

// The About entry closes the system menu; its box says the product name and
// the version that the version resource holds.
TEST(Win32WindowResources, TheSystemMenuEndsWithAboutShowingTheVersion) {
    {
        TestWindow w;
        const HMENU menu = GetSystemMenu(w.Handle(), FALSE);
        const int last = GetMenuItemCount(menu) - 1;
        EXPECT_EQ(GetMenuItemID(menu, last), win32_support::kAboutCommand);
        wchar_t entry[32] = L"";
        GetMenuStringW(menu, last, entry, 32, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(entry), L"关于(&A)...");
    }
    PumpFor(10); // takes the closed window's quit message
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> info(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));
    const std::wstring expected =
        VersionString(info, L"ProductName") + L"\n版本 " COLLECTOR_PROJECT_VERSION L".0";
    const std::wstring about = win32_support::AboutText();
    // A copyright line may follow.
    EXPECT_EQ(about.substr(0, about.find(L'\n', expected.size())), expected);
}

TEST(Win32WindowResources, TheRichEditLibraryComesFromTheSystemFolder) {
    {
        TestWindow w; // makes redt2, loading the library
    }
    PumpFor(10); // takes the closed window's quit message, which would end a later box at once
    const HMODULE library = GetModuleHandleW(L"msftedit.dll");
    ASSERT_NE(library, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(library, path, MAX_PATH);
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(CompareStringOrdinal(path, static_cast<int>(length), system, static_cast<int>(length),
                                   TRUE),
              CSTR_EQUAL)
        << "loaded from the system folder";
}

} // namespace
