#!/usr/bin/env bash
# Runs a cross-built Windows program under wine; CTest uses it as the
# emulator of the Windows tree, and the end-to-end tests start the program
# through it inside their network namespaces:
#
#   scripts/wine-run.sh <state-folder> <program.exe> [arguments...]
#
# <state-folder> lies inside the build tree and holds the wine prefixes and a
# private zh_CN.UTF-8 locale. LANG is set for wine alone: with zh_CN.UTF-8
# wine uses code page 936, as a Chinese Windows does.
#
# Network namespaces: wine's sockets are made by its wineserver, in the
# network namespace the server was started in, not the program's. So every
# namespace gets a prefix of its own (keyed by the namespace), and the server
# of that prefix is started from inside it; a program in a test namespace can
# never use the machine's own network through a server started outside.
# A new prefix is a hard-linked copy of a template made once by wineboot,
# under a lock so that parallel tests wait for it instead of racing.
#
# With WINE_XVFB=1 and no DISPLAY, the program runs on its own Xvfb server.
# With WINE_LOGPIXELS=<dpi> the program runs in a prefix of its own whose
# display is set to that resolution (144: 150 % scaling).
# Exits with the program's exit code.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 <state-folder> <program.exe> [arguments...]" >&2
  exit 2
fi
state=$(realpath -m "$1")
shift
mkdir -p "$state"

export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: their installers would ask to download.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LOCPATH=$state/locale
template=$state/template
namespace=$(stat -L -c %i /proc/self/ns/net)
logpixels=${WINE_LOGPIXELS:-}
export WINEPREFIX=$state/prefix-net$namespace${logpixels:+-dpi$logpixels}

(
  flock 9
  if [[ ! -f $LOCPATH/zh_CN.UTF-8/LC_CTYPE ]]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" 2>/dev/null ||
      [[ -f $LOCPATH/zh_CN.UTF-8/LC_CTYPE ]]
  fi
  if [[ ! -f $template/system.reg ]]; then
    echo "wine-run: creating the wine prefix template in $template (once)" >&2
    rm -rf "$template"
    WINEPREFIX=$template LANG=zh_CN.UTF-8 wineboot -i >/dev/null 2>&1 || true
    # Windows draw their own frame. With no window manager on a virtual
    # display, wine would otherwise wait for one at every show and close.
    WINEPREFIX=$template LANG=zh_CN.UTF-8 wine reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /d N /f >/dev/null 2>&1 || true
    WINEPREFIX=$template wineserver -w || true
    [[ -f $template/system.reg ]] || { echo "wine-run: wineboot failed" >&2; exit 1; }
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    # Prefixes of namespaces that no process is in any more are dropped, so
    # that test namespaces do not pile up prefixes run after run.
    # (stat fails for processes that end meanwhile; what it printed counts.)
    live=" $({ stat -L -c %i /proc/[0-9]*/ns/net 2>/dev/null || true; } | sort -u | tr '\n' ' ') "
    for old in "$state"/prefix-net*; do
      key=${old##*/prefix-net}
      if [[ -d $old && $live != *" ${key%%-*} "* ]]; then
        rm -rf "$old"
      fi
    done
    rm -rf "$WINEPREFIX"
    cp -al "$template" "$WINEPREFIX"
    # Files wine rewrites in place: each prefix needs its own.
    for hive in "$template"/*.reg "$template"/.update-timestamp; do
      rm -f "$WINEPREFIX/${hive##*/}"
      cp "$hive" "$WINEPREFIX/"
    done
    if [[ -n $logpixels ]]; then
      LANG=zh_CN.UTF-8 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$logpixels" /f >/dev/null 2>&1
      wineserver -w || true
    fi
  fi
) 9>"$state/.lock"

run=(env LANG=zh_CN.UTF-8 wine "$@")
if [[ ${WINE_XVFB:-0} == 1 && -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
fi
exec "${run[@]}"
