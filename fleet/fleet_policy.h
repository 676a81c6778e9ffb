#pragma once

// The numbers a fleet run goes by, named once for the command line and the
// fleet window alike.

#include <chrono>
#include <cstddef>

namespace fleet::policy {

// After completion a collector restarts into its new firmware; it must report
// the image's version within this time to count as upgraded.
inline constexpr std::chrono::seconds kVerifyTimeout{90};

// How often the progress of a run is shown: the terminal's redraw, the
// window's samples of the sessions and its repaints.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

// With more than one collector to upgrade, this many are upgraded and
// verified first, alone, before the rest start.
inline constexpr std::size_t kCanary = 1;

// A sweep sends the probe this many times, waiting this long for replies
// after each round: one lost reply then does not hide a collector.
inline constexpr int kSweepRounds = 2;
inline constexpr std::chrono::milliseconds kSweepWait{1500};

} // namespace fleet::policy
