#!/usr/bin/env bash
# Runs a cross-built Windows program under wine; CTest uses it as the
# emulator of the Windows tree, and the end-to-end tests start the program
# through it inside their network namespaces:
#
#   scripts/wine-run.sh <state-folder> <program.exe> [arguments...]
#   scripts/wine-run.sh --end <state-folder>
#
# <state-folder> lies inside the build tree and holds the wine prefixes and
# the private locales. The program's own PE header decides the prefix: a
# 32-bit program gets a 32-bit prefix (WINEARCH=win32, as on a 32-bit
# Windows), a 64-bit one a 64-bit prefix. A program of wine's own (msiexec,
# reg) runs in the prefix that WINE_ARCH names (win32 or win64, the default).
#
# Language: LANG is set for wine alone, to $WINE_LANG (default zh_CN.UTF-8:
# wine then uses code page 936, as a Chinese Windows does; en_US.UTF-8 gives
# code page 1252, as an English Windows). Each language has prefixes of its own.
#
# Network namespaces: wine's sockets are made by its wineserver, in the
# network namespace the server was started in, not the program's. So every
# namespace gets a prefix of its own (keyed by the namespace), and the server
# of that prefix is started from inside it; a program in a test namespace can
# never use the machine's own network through a server started outside.
# `--end` stops the wine server of the calling namespace's prefixes and
# deletes them (a test's clean-up, run inside its namespace).
#
# A new prefix is a hard-linked copy of a template made once by wineboot,
# under a lock so that parallel tests wait for it instead of racing. The
# template is keyed on wine's version and the machine's installed foreign
# architectures: a prefix made before the 32-bit wine was installed fails
# to start programs afterwards, so such a change makes the template anew,
# and the prefixes copied from an older template are dropped.
#
# With WINE_XVFB=1 and no DISPLAY, the program runs on its own Xvfb server.
# With WINE_LOGPIXELS=<dpi> the program runs in a prefix of its own whose
# display is set to that resolution (144: 150 % scaling).
# With WINE_CJK_FONTS=1 (the screenshots) the program runs in a prefix of its
# own where the fonts a Chinese Windows has (宋体/SimSun, NSimSun, the dialog
# font MS Shell Dlg, and wine's UI fonts by font link) are an installed CJK
# outline font, instead of the stand-in wine finds, whose hinted strokes go
# missing at 13 pixels (本 drawn as 木, 升 as 手): AR PL UMing CN, a Song face
# like 宋体 (fonts-arphic-uming), at 96 dpi; WenQuanYi Zen Hei
# (fonts-wqy-zenhei), narrower and clean at that size, from 120 dpi.
# With WINE_DRIVE_D=<folder> the prefix's drive D: is that folder, so that a
# picture shows a Windows path, not wine's Z:\ of the Linux one.
# Exits with the program's exit code.
set -euo pipefail

usage() {
  echo "usage: $0 <state-folder> <program.exe> [arguments...] | --end <state-folder>" >&2
  exit 2
}

end=no
if [[ ${1:-} == --end ]]; then
  end=yes
  shift
  (($# == 1)) || usage
else
  (($# >= 2)) || usage
fi
state=$(realpath -m "$1")
shift
mkdir -p "$state"
namespace=$(stat -L -c %i /proc/self/ns/net)

export WINEDEBUG=${WINEDEBUG:--all}

if [[ $end == yes ]]; then
  for prefix in "$state"/prefix-*-net"$namespace"; do
    [[ -d $prefix ]] || continue
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
  done
  exit 0
fi

# The machine type in the PE header: 014c is i386, 8664 is x86-64.
pe_machine() {
  local offset
  offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -t x2 -j $((offset + 4)) -N 2 "$1" | tr -d ' '
}
if [[ ! -f $1 ]]; then
  export WINEARCH=${WINE_ARCH:-win64}
else
  case $(pe_machine "$1") in
  014c) export WINEARCH=win32 ;;
  *) export WINEARCH=win64 ;;
  esac
fi

lang=${WINE_LANG:-zh_CN.UTF-8}
locale_name=${lang%%.*}
# No Mono or Gecko: their installers would ask to download. No menu
# builder: an installer's shortcuts stay inside the prefix, out of the
# desktop's menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LOCPATH=$state/locale
key=$({ wine --version; dpkg --print-foreign-architectures 2>/dev/null || true; } |
  cksum | cut -d' ' -f1)
template=$state/template-$WINEARCH-$locale_name-$key
logpixels=${WINE_LOGPIXELS:-}
cjk=${WINE_CJK_FONTS:-0}
[[ $cjk == 1 ]] || cjk=
# The namespace stays last in the name: the clean-ups below read it from there.
export WINEPREFIX=$state/prefix-$WINEARCH-$locale_name${logpixels:+-dpi$logpixels}${cjk:+-cjk}-net$namespace

(
  flock 9
  if [[ ! -f $LOCPATH/$lang/LC_CTYPE ]]; then
    mkdir -p "$LOCPATH"
    localedef -i "$locale_name" -f UTF-8 "$LOCPATH/$lang" 2>/dev/null ||
      [[ -f $LOCPATH/$lang/LC_CTYPE ]]
  fi
  if [[ ! -f $template/system.reg ]]; then
    echo "wine-run: creating the wine prefix template in $template (once)" >&2
    # Templates of this architecture and language from another wine or set
    # of installed architectures.
    rm -rf "$state"/template-"$WINEARCH-$locale_name"-* "$template"
    WINEPREFIX=$template LANG=$lang wineboot -i >/dev/null 2>&1 || true
    # Windows draw their own frame. With no window manager on a virtual
    # display, wine would otherwise wait for one at every show and close.
    WINEPREFIX=$template LANG=$lang wine reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /d N /f >/dev/null 2>&1 || true
    WINEPREFIX=$template wineserver -w || true
    [[ -f $template/system.reg ]] || { echo "wine-run: wineboot failed" >&2; exit 1; }
  fi
  if [[ -f $WINEPREFIX/system.reg && $(cat "$WINEPREFIX/.template" 2>/dev/null) != "$template" ]]; then
    # Copied from a template that no longer fits this machine's wine.
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    # Prefixes of namespaces that no process is in any more are dropped, so
    # that test namespaces do not pile up prefixes run after run.
    # (stat fails for processes that end meanwhile; what it printed counts.)
    live=" $({ stat -L -c %i /proc/[0-9]*/ns/net 2>/dev/null || true; } | sort -u | tr '\n' ' ') "
    for old in "$state"/prefix-*; do
      if [[ -d $old && $live != *" ${old##*-net} "* ]]; then
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
    echo "$template" >"$WINEPREFIX/.template"
    if [[ -n $logpixels ]]; then
      LANG=$lang wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$logpixels" /f >/dev/null 2>&1
      wineserver -w || true
    fi
    if [[ -n $cjk ]]; then
      substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
      links='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
      font=('AR PL UMing CN' uming.ttc)
      if ((${logpixels:-96} >= 120)); then
        font=('WenQuanYi Zen Hei' wqy-zenhei.ttc)
      fi
      for face in 宋体 SimSun 新宋体 NSimSun 'MS Shell Dlg' 'MS Shell Dlg 2'; do
        LANG=$lang wine reg add "$substitutes" /v "$face" /d "${font[0]}" /f >/dev/null 2>&1
      done
      for face in Tahoma 'Microsoft Sans Serif' 'Segoe UI'; do
        LANG=$lang wine reg add "$links" /v "$face" /t REG_MULTI_SZ \
          /d "${font[1]},${font[0]}" /f >/dev/null 2>&1
      done
      # Antialiased text, as Windows' ClearType default draws outline fonts.
      LANG=$lang wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 2 /f >/dev/null 2>&1
      LANG=$lang wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD \
        /d 1 /f >/dev/null 2>&1
      wineserver -w || true
    fi
  fi
) 9>"$state/.lock"

if [[ -n ${WINE_DRIVE_D:-} ]]; then
  ln -sfn "$(realpath "$WINE_DRIVE_D")" "$WINEPREFIX/dosdevices/d:"
fi

run=(env LANG="$lang" wine "$@")
if [[ ${WINE_XVFB:-0} == 1 && -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}"
fi
exec "${run[@]}"
