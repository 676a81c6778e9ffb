#pragma once

// The numbers a fleet run goes by, named once for the command line and the
// fleet window alike.

#include <chrono>
#include <cstddef>

namespace fleet::policy {

// After completion a collector restarts into its new firmware; it is probed
// every kVerifyInterval and must report the image's version within
// kVerifyTimeout (at most kMaxVerifyTimeout on the command line) to count as
// upgraded.
inline constexpr std::chrono::seconds kVerifyTimeout{90};
inline constexpr std::chrono::seconds kMaxVerifyTimeout{3600};
inline constexpr std::chrono::milliseconds kVerifyInterval{1000};

// Resend passes one collector may ask for at most: a collector that keeps
// listing missing blocks cannot keep a run forever.
inline constexpr int kPassLimit = 32;

// How often the progress of a run is shown: the terminal's redraw, the
// window's samples of the sessions and its repaints.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// A terminal shows the first this many collectors under way; a field of
// hundreds would scroll.
inline constexpr int kProgressLines = 20;

// Sessions moving on rewrite the report file no more often than this.
inline constexpr std::chrono::seconds kReportInterval{1};

// With more than one collector to upgrade, this many are upgraded and
// verified first, alone, before the rest start.
inline constexpr std::size_t kCanary = 1;

// A sweep sends the probe to every host at least this many times, waiting
// this long for replies after each round: one lost reply then does not hide
// a collector. On a lossy link it goes on while new collectors keep
// answering: it ends after kSweepQuietRounds rounds in a row that brought
// nobody new, after kSweepRoundsMax rounds (or the rounds asked for, if
// more) at the latest. The command line takes 1..kMaxSweepRounds rounds and
// waits of kMinSweepWait..kMaxSweepWait.
inline constexpr int kSweepRounds = 2;
inline constexpr int kSweepQuietRounds = 2;
inline constexpr int kSweepRoundsMax = 8;
inline constexpr std::chrono::milliseconds kSweepWait{1500};
inline constexpr int kMaxSweepRounds = 10;
inline constexpr std::chrono::milliseconds kMinSweepWait{100};
inline constexpr std::chrono::milliseconds kMaxSweepWait{60000};
// Collectors expected at an address (a named target, or where an expected
// serial was last seen) that have not answered the sweep are then probed at
// that address alone, at most this many times, this long apart, before they
// count as not found.
inline constexpr int kDirectProbeRounds = 6;
inline constexpr std::chrono::milliseconds kDirectProbeWait{1000};

} // namespace fleet::policy
