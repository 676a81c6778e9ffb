#!/usr/bin/env bash
# Builds the Windows programs CollectorUpgrade.exe and collector-fleet.exe with
# Debian's mingw-w64: static .exe files that need no DLL beyond Windows' own.
#
#   scripts/build-windows.sh [x86_64|i686] [--with-tests]
#
# x86_64 (the default) uses the preset "windows" (build-win/), i686 (32-bit
# Windows) the preset "windows-i686" (build-win32/). --with-tests builds the
# test programs too, which `ctest --preset windows` (or windows-i686) then
# runs under wine (a 32-bit prefix for the 32-bit tree).
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
programs=(CollectorUpgrade CollectorFleetWindow collector-fleet)
targets=()
if [[ $tests == no ]]; then
  available=$(cmake --build --preset "$preset" --target help)
  for program in "${programs[@]}"; do
    if grep -q "^\.\.\. $program\$" <<<"$available"; then
      targets+=(--target "$program")
    fi
  done
fi
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"
build=$(cmake --preset "$preset" 2>/dev/null | sed -n 's/^-- Build files have been written to: //p')
for program in "${programs[@]}"; do
  exe=$(find "$build" -name "$program.exe" -print -quit)
  if [[ -n $exe ]]; then
    echo "built $exe ($(stat -c %s "$exe") bytes)"
  fi
done
