#pragma once

// Crash reports on Windows: a minidump of the process and a short text note
// (program, version, time, what went wrong) under
// %LOCALAPPDATA%\CollectorUpgrade\crash, so that a crash on a technician's
// laptop can be looked into afterwards. Elsewhere nothing is written: Linux
// keeps its own core dumps.

#include <optional>
#include <string>

namespace platform {

// The files of one report (UTF-8 paths). The dump may be missing when the
// system could not write one; the note is always there.
struct CrashReport {
    std::string dump; // "" when no minidump could be written
    std::string note;
};

// Writes a report of this process as it stands now. `exception` is the
// EXCEPTION_POINTERS of a structured exception, or null. Returns nothing off
// Windows or when the folder cannot be made.
std::optional<CrashReport> WriteCrashReport(const std::string& what, void* exception = nullptr);

// Tells the user, in Chinese, where the report's files are, one full path a
// line, and what to do with them.
std::string CrashReportText(const CrashReport& report);

enum class CrashNotice { Dialog, StandardError };

// Process-wide, from a program's entry: std::terminate (an exception nothing
// caught) and a structured exception nothing handled write a report, say
// where (a message box from a window program, standard error from a console
// one) and end the program. Does nothing off Windows.
void InstallCrashHandlers(CrashNotice notice);

} // namespace platform
