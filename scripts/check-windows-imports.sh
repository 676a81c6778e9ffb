#!/usr/bin/env bash
# Fails unless every given Windows program imports only DLLs that come with
# Windows itself: the program is carried on a USB stick as one file, so a
# runtime DLL of the compiler (libstdc++-6.dll, libgcc_s_seh-1.dll,
# libwinpthread-1.dll) or of any library must not be needed.
#
#   scripts/check-windows-imports.sh <objdump> <program.exe>...
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 <objdump> <program.exe>..." >&2
  exit 2
fi
objdump=$1
shift

# DLLs of every Windows since 7, in lower case.
system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll gdi32.dll
  imm32.dll iphlpapi.dll kernel32.dll msimg32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll
  rpcrt4.dll secur32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll winmm.dll
  ws2_32.dll "
system_dlls=" $(echo $system_dlls) " # one space between names, also across lines

status=0
for program in "$@"; do
  imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
  if [[ -z $imports ]]; then
    echo "$program: no import table found" >&2
    status=1
    continue
  fi
  while read -r dll; do
    lower=${dll,,}
    if [[ $system_dlls == *" $lower "* ]]; then
      echo "$program: $dll"
    else
      echo "$program: $dll is not a Windows system DLL" >&2
      status=1
    fi
  done <<<"$imports"
done
exit $status
