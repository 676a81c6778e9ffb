#!/usr/bin/env bash
# The fleet window's figures during a 253-collector upgrade in test network
# namespaces (as root): the delay of a 10 ms timer on the window's thread
# (p99 and max), the process's CPU time over the run's wall time, and the
# wall time against collector-fleet alone on the same field.
#
#   scripts/benchmark-fleet-window.sh [build-dir]
set -euo pipefail
build=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
cmake --build "$build" --target fleet_window_e2e_tests collector-fleet collector-emulator -j2 >/dev/null
FLEET_WINDOW_BENCHMARK=1 QT_QPA_PLATFORM=offscreen \
  "$build/tests/e2e/fleet_window_e2e_tests" --gtest_filter='FleetWindowBenchmark.*' |
  grep -E '^(fleet window|collector-fleet alone)|OK|FAILED|Failure|Expected|Which'
