#!/usr/bin/env bash
# Takes the picture of the Win32 window at 150 % scaling (144 dpi) under wine,
# with a few rows and a running progress bar, from the window test
# win32_dpi_tests on a virtual display of its own (needs the Windows tree with
# tests and ImageMagick):
#
#   scripts/screenshot-win32-dpi.sh [out.png]   (default docs/screenshot-win32-144dpi.png)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshot-win32-144dpi.png}")
tests=$root/build-win/tests/win32/win32_dpi_tests.exe
[[ -f $tests ]] || { echo "build it first: scripts/build-windows.sh --with-tests" >&2; exit 1; }

display=:$((200 + $$ % 500))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
log=$(mktemp)
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$log"' EXIT
sleep 1

DISPLAY=$display WINE_LOGPIXELS=144 WINE_CJK_FONTS=1 WIN32_DPI_SCREENSHOT_HOLD_MS=5000 \
  "$root/scripts/wine-run.sh" "$root/build-win/wine" "$tests" >"$log" 2>&1 &
run=$!
for _ in $(seq 300); do
  grep -q '^window-rect' "$log" && break
  sleep 0.1
done
read -r _ left top width height < <(grep '^window-rect' "$log")
sleep 1
import -display "$display" -window root -crop "${width}x${height}+${left}+${top}" "$out"
wait "$run"
echo "wrote $out (${width}x${height})"
