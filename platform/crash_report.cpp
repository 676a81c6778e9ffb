#include "platform/crash_report.h"

#ifdef _WIN32

#include "platform/wide_text.h"

#include <windows.h>
// dbghelp.h after windows.h: it needs its types.
#include <dbghelp.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>

namespace platform {

namespace {

// %LOCALAPPDATA%\CollectorUpgrade\crash, or the temporary folder's when
// there is no such variable (a service, a stripped environment).
std::filesystem::path CrashFolder() {
    wchar_t base[MAX_PATH + 1] = L"";
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        length = GetTempPathW(MAX_PATH + 1, base);
    return std::filesystem::path(std::wstring(base, length)) / L"CollectorUpgrade" / L"crash";
}

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::string Stamp(const SYSTEMTIME& t, const char* format) {
    char text[40];
    std::snprintf(text, sizeof text, format, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// dbghelp.dll from the system folder, never one beside the program: the zip
// ships none, and a planted one must not be loaded.
bool WriteMinidump(const std::filesystem::path& path, EXCEPTION_POINTERS* exception) {
    wchar_t system[MAX_PATH] = L"";
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const HMODULE dbghelp = LoadLibraryW((std::wstring(system, length) + L"\\dbghelp.dll").c_str());
    if (dbghelp == nullptr)
        return false;
    using WriteDump =
        BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                      PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
    const FARPROC found = GetProcAddress(dbghelp, "MiniDumpWriteDump");
    const auto write = reinterpret_cast<WriteDump>(reinterpret_cast<void (*)()>(found));
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = false;
    if (write != nullptr && file != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION information{GetCurrentThreadId(), exception, FALSE};
        // Every thread's stack and registers and the module list: the
        // locals of each frame, in a file small enough to send by mail.
        written = write(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                        exception != nullptr ? &information : nullptr, nullptr, nullptr) != FALSE;
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!written)
        DeleteFileW(path.c_str());
    return written;
}

// UTF-8 with a byte order mark and CRLF lines, so that Notepad shows it.
bool WriteNote(const std::filesystem::path& path, const std::string& what,
               EXCEPTION_POINTERS* exception) {
    SYSTEMTIME local{}, utc{};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    const char* timeFormat = "%04u-%02u-%02u %02u:%02u:%02u";
    std::string note = "\xEF\xBB\xBF";
    note += "程序 / Program: " + WideToUtf8(ProgramPath()) + "\r\n";
    note += "版本 / Version: " COLLECTOR_PROGRAM_VERSION "\r\n";
    note +=
        "时间 / Time: " + Stamp(local, timeFormat) + " (UTC " + Stamp(utc, timeFormat) + ")\r\n";
    note += "进程 / Process: " + std::to_string(GetCurrentProcessId()) +
            ", 线程 / Thread: " + std::to_string(GetCurrentThreadId()) + "\r\n";
    if (exception != nullptr && exception->ExceptionRecord != nullptr) {
        char code[64];
        std::snprintf(code, sizeof code, "0x%08lX at %p",
                      static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                      exception->ExceptionRecord->ExceptionAddress);
        note += std::string("异常 / Exception: ") + code + "\r\n";
    }
    note += "原因 / What: " + what + "\r\n";
    std::ofstream file(path, std::ios::binary);
    file << note;
    return static_cast<bool>(file.flush());
}

std::atomic<CrashNotice> noticeKind{CrashNotice::Dialog};

[[noreturn]] void ReportAndEnd(const std::string& what, EXCEPTION_POINTERS* exception) {
    // A second failure while reporting the first ends the program at once.
    static std::atomic_flag reporting = ATOMIC_FLAG_INIT;
    if (reporting.test_and_set())
        TerminateProcess(GetCurrentProcess(), 3);
    const auto report = WriteCrashReport(what, exception);
    const std::string text = "程序遇到意外错误，必须关闭。\n" +
                             (report ? CrashReportText(*report) : "错误报告无法保存。");
    if (noticeKind == CrashNotice::Dialog) {
        const std::wstring title = std::filesystem::path(ProgramPath()).stem().wstring();
        MessageBoxW(nullptr, Utf8ToWide(text).c_str(), title.c_str(),
                    MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND | MB_TASKMODAL);
    } else {
        std::fprintf(stderr, "\n%s\n(The program crashed; the crash report is named above.)\n",
                     text.c_str());
        std::fflush(stderr);
    }
    // Ends at once: no destructor of a half-broken state runs.
    TerminateProcess(GetCurrentProcess(), 3);
    std::abort();
}

[[noreturn]] void OnTerminate() {
    std::string what = "std::terminate";
    if (const auto current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            what = std::string("unhandled exception: ") + error.what();
        } catch (...) {
            what = "unhandled exception of an unknown type";
        }
    }
    ReportAndEnd(what, nullptr);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    ReportAndEnd("unhandled structured exception", exception);
}

} // namespace

std::optional<CrashReport> WriteCrashReport(const std::string& what, void* exception) {
    const auto folder = CrashFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return std::nullopt;
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const std::wstring stem = std::filesystem::path(ProgramPath()).stem().wstring() + L"-" +
                              Utf8ToWide(Stamp(local, "%04u%02u%02u-%02u%02u%02u")) + L"-" +
                              std::to_wstring(GetCurrentProcessId());
    auto* pointers = static_cast<EXCEPTION_POINTERS*>(exception);
    CrashReport report;
    const auto note = folder / (stem + L".txt");
    if (!WriteNote(note, what, pointers))
        return std::nullopt;
    report.note = WideToUtf8(note.wstring());
    if (const auto dump = folder / (stem + L".dmp"); WriteMinidump(dump, pointers))
        report.dump = WideToUtf8(dump.wstring());
    return report;
}

void InstallCrashHandlers(CrashNotice notice) {
    noticeKind = notice;
    std::set_terminate(OnTerminate);
    SetUnhandledExceptionFilter(OnUnhandledException);
}

} // namespace platform

#else

namespace platform {

std::optional<CrashReport> WriteCrashReport(const std::string&, void*) {
    return std::nullopt;
}

void InstallCrashHandlers(CrashNotice) {}

} // namespace platform

#endif

namespace platform {

std::string CrashReportText(const CrashReport& report) {
    std::string text = "错误报告已保存：\n";
    if (!report.dump.empty())
        text += report.dump + "\n";
    text += report.note + "\n请把这些文件发给技术支持。";
    return text;
}

} // namespace platform
