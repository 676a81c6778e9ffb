#!/usr/bin/env bash
# The Windows stage of the test suite:
#   1. the 64-bit cross build with its tests (build-win), run by CTest under
#      wine: unit, integration and window tests in parallel, then the
#      end-to-end tests (network namespaces, as root) one at a time;
#   2. the 32-bit build (build-win32): the program compiles and links.
# Prints how long each step took. Exits non-zero when anything fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
start=$SECONDS
step() { echo "== windows: $1 ($((SECONDS - start)) s so far)"; }

step "64-bit build with tests"
"$root/scripts/build-windows.sh" x86_64 --with-tests
step "tests under wine"
cd "$root"
ctest --preset windows -j2 -LE e2e --timeout 600
# The end-to-end tests build network namespaces; they run one at a time.
ctest --preset windows -L e2e --timeout 900
step "32-bit build"
"$root/scripts/build-windows.sh" i686
step "done"
