#!/usr/bin/env bash
# Builds the Windows program CollectorUpgrade.exe with Debian's mingw-w64: one
# static .exe that needs no DLL beyond Windows' own.
#
#   scripts/build-windows.sh [x86_64|i686] [--with-tests]
#
# x86_64 (the default) uses the preset "windows" (build-win/), i686 (32-bit
# Windows) the preset "windows-i686" (build-win32/, never with tests).
# --with-tests builds the test programs too, which
# `ctest --preset windows` then runs under wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
preset=windows
tests=no
for arg in "$@"; do
  case $arg in
  x86_64) preset=windows ;;
  i686) preset=windows-i686 ;;
  --with-tests) tests=yes ;;
  *) echo "usage: $0 [x86_64|i686] [--with-tests]" >&2; exit 2 ;;
  esac
done

cd "$root"
cmake --preset "$preset" >/dev/null
targets=()
if [[ $tests == no ]] && cmake --build --preset "$preset" --target help | grep -q '^\.\.\. CollectorUpgrade$'; then
  targets=(--target CollectorUpgrade)
fi
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"
build=$(cmake --preset "$preset" 2>/dev/null | sed -n 's/^-- Build files have been written to: //p')
exe=$(find "$build" -name CollectorUpgrade.exe -print -quit)
if [[ -n $exe ]]; then
  echo "built $exe ($(stat -c %s "$exe") bytes)"
fi
