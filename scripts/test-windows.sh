#!/usr/bin/env bash
# The Windows stage of the test suite:
#   1. the 64-bit cross build with its tests (build-win), run by CTest under
#      wine as a Chinese Windows (code page 936): unit, integration, window,
#      zip and installer tests in parallel, then the end-to-end tests (network
#      namespaces, as root) one at a time;
#   2. the unit and window tests again as an English Windows (code page 1252),
#      and, with the Linux tree's wine end-to-end program, its sweep case,
#      whose third collector has a GBK serial;
#   3. the 32-bit build with its tests (build-win32), run in a 32-bit wine
#      prefix: unit, window, zip, installer and import tests, the local address in a
#      namespace, and one whole upgrade of CollectorUpgrade.exe end to end.
# Prints how long each step took. Exits non-zero when anything fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
last=$SECONDS
step() {
  echo "== windows: $1 (previous step $((SECONDS - last)) s, $((SECONDS - start)) s so far)"
  last=$SECONDS
}
# The wine end-to-end program of the Linux tree (tests/e2e), when it is built.
e2e_program=$root/build/tests/e2e/e2e_win32_tests

step "64-bit build with tests"
"$root/scripts/build-windows.sh" x86_64 --with-tests
cd "$root"
step "64-bit tests under wine, code page 936"
ctest --preset windows -j2 -LE e2e --timeout 600
# The end-to-end tests build network namespaces; they run one at a time.
ctest --preset windows -L e2e --timeout 900

step "64-bit unit and window tests, code page 1252"
export WINE_LANG=en_US.UTF-8
ctest --preset windows -j2 -L 'unit|ui' --timeout 600
if [[ -x $e2e_program ]]; then
  step "end-to-end sweep with a GBK serial, code page 1252"
  "$e2e_program" --gtest_filter='WineProgramInNamespace.SweepListsTheThreeCollectors'
fi
unset WINE_LANG

step "32-bit build with tests"
"$root/scripts/build-windows.sh" i686 --with-tests
step "32-bit tests under 32-bit wine"
ctest --preset windows-i686 -j2 -L 'unit|ui|package' -LE e2e --timeout 600
ctest --preset windows-i686 -L e2e --timeout 900
if [[ -x $e2e_program ]]; then
  step "32-bit CollectorUpgrade.exe end to end: a whole upgrade with a lost block"
  E2E_WINDOWS_TREE=$root/build-win32 "$e2e_program" \
    --gtest_filter='WineProgramInNamespace.WholeUpgrade*'
fi
step "done"
