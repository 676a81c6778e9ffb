#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: unit, ui,
# integration and end-to-end tests, then the sanitizer builds and a short run
# of each fuzzer. Exits non-zero if anything fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
last=$SECONDS
stage() {
  echo "== test.sh: $1 (previous stage $((SECONDS - last)) s, $((SECONDS - start)) s so far)"
  last=$SECONDS
}
stage "install and build"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

stage "unit, window and integration tests"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$root/build" --output-on-failure -j2 -LE 'e2e|package'
# The end-to-end tests build network namespaces; they run one at a time.
stage "end-to-end tests"
ctest --test-dir "$root/build" --output-on-failure -L e2e -LE 'package|wine'

# Packages: builds the Debian packages from build/ (cpack), checks their
# files, dependencies and maintainer scripts, runs lintian (no error allowed;
# its warnings are printed) and the desktop-entry and AppStream validators;
# as root, installs them, runs the installed program as a throwaway normal
# user against a field of 253 emulated collectors, then purges the packages
# and removes the user.
stage "packages"
ctest --test-dir "$root/build" --output-on-failure -L package

# Windows: the mingw-w64 cross build (64-bit with its tests under wine, and
# the 32-bit program). See scripts/test-windows.sh.
stage "Windows"
"$root/scripts/test-windows.sh"

# The Windows program end to end (labels e2e and wine): CollectorUpgrade.exe
# and its test automation from the Windows tree just built, under wine in
# test namespaces against the emulator of the Linux tree.
stage "Windows programs end to end"
ctest --test-dir "$root/build" --output-on-failure -L wine

stage "sanitizers"
if [ -x "$root/scripts/sanitizers.sh" ]; then
  "$root/scripts/sanitizers.sh"
fi
stage "fuzzers"
if [ -x "$root/scripts/fuzz.sh" ]; then
  "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-30}"
fi
stage "done"
echo "All tests passed."
