#!/usr/bin/env bash
# Runs a cross-built Windows program under wine; CTest uses it as the
# emulator of the Windows tree:
#
#   scripts/wine-run.sh <state-folder> <program.exe> [arguments...]
#
# <state-folder> lies inside the build tree and holds the wine prefix and a
# private zh_CN.UTF-8 locale. The first call makes both, under a lock so that
# parallel tests wait for it instead of racing. LANG is set for wine alone:
# with zh_CN.UTF-8 wine uses code page 936, as a Chinese Windows does.
# With WINE_XVFB=1 and no DISPLAY, the program runs on its own Xvfb server.
# Exits with the program's exit code.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 <state-folder> <program.exe> [arguments...]" >&2
  exit 2
fi
state=$(realpath -m "$1")
shift
mkdir -p "$state"

export WINEPREFIX=$state/prefix
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: their installers would ask to download.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH=$state/locale

(
  flock 9
  if [[ ! -f $LOCPATH/zh_CN.UTF-8/LC_CTYPE ]]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" 2>/dev/null ||
      [[ -f $LOCPATH/zh_CN.UTF-8/LC_CTYPE ]]
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "wine-run: creating the wine prefix in $WINEPREFIX (once)" >&2
    LANG=zh_CN.UTF-8 wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    [[ -f $WINEPREFIX/system.reg ]] || { echo "wine-run: wineboot failed" >&2; exit 1; }
  fi
) 9>"$state/.lock"

run=(env LANG=zh_CN.UTF-8 wine "$@")
if [[ ${WINE_XVFB:-0} == 1 && -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
fi
exec "${run[@]}"
