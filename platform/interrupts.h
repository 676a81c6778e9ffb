#pragma once

// What "the operator wants the program to stop" looks like on each system, so
// that a program can finish its work in order (report, exit status) instead
// of dying mid-way.

#include <vector>

namespace platform {

// SIGINT, SIGTERM and SIGHUP (the terminal or the remote session went
// away); on Windows SIGINT, SIGTERM and SIGBREAK (Ctrl+Break).
std::vector<int> InterruptSignals();

// A closed pipe or terminal on standard output or error makes a write fail
// instead of ending the program (SIGPIPE ignored), so that a run whose
// reader went away still finishes and writes its report. Nothing on Windows,
// which has no such signal.
void IgnoreBrokenPipe();

// Windows ends a console program as soon as its handler for a closed console
// window, a log-off or a shutdown returns. This turns those events into
// SIGTERM and keeps the system waiting (it allows a few seconds) while the
// program ends by itself. Elsewhere it does nothing: those arrive as SIGHUP
// or SIGTERM already.
void TreatConsoleCloseAsInterrupt();

} // namespace platform
