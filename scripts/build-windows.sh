#!/usr/bin/env bash
# Builds the Windows program CollectorUpgrade.exe with Debian's mingw-w64: one
# static .exe that needs no DLL beyond Windows' own.
#
#   scripts/build-windows.sh [x86_64|i686] [--with-tests]
#
# x86_64 (the default) builds in build-win, i686 (32-bit Windows) in
# build-win32. Without --with-tests only the program is built (until the
# window exists: every target); with it also the test programs, which
# `ctest --test-dir build-win` then runs under wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
arch=x86_64
tests=OFF
for arg in "$@"; do
  case $arg in
  x86_64 | i686) arch=$arg ;;
  --with-tests) tests=ON ;;
  *) echo "usage: $0 [x86_64|i686] [--with-tests]" >&2; exit 2 ;;
  esac
done
case $arch in
x86_64) build=$root/build-win ;;
i686) build=$root/build-win32 ;;
esac

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING="$tests" >/dev/null
targets=()
if [[ $tests == OFF ]] && cmake --build "$build" --target help | grep -q '^\.\.\. CollectorUpgrade$'; then
  targets=(--target CollectorUpgrade)
fi
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
exe=$(find "$build" -name CollectorUpgrade.exe -print -quit)
if [[ -n $exe ]]; then
  echo "built $exe ($(stat -c %s "$exe") bytes)"
fi
