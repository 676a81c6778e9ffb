#!/usr/bin/env bash
# Signs the Windows programs (Authenticode, SHA-256) with osslsigncode.
#
#   scripts/sign-windows.sh CERT KEY [TIMESTAMP_URL]
#       packs the zip of each Windows tree that is built (build-win,
#       build-win32) again, every .exe in it signed
#   scripts/sign-windows.sh CERT KEY [TIMESTAMP_URL] --folder DIR
#       signs every .exe under DIR in place (cpack calls it so on the zip's
#       staged files, after they are stripped)
#
# CERT is a PEM file: the signing certificate first, then its intermediate
# certificates. KEY is its PEM private key; a passphrase, if any, is read from
# SIGN_KEY_PASSWORD. With TIMESTAMP_URL (an RFC 3161 server) each signature
# is timestamped, so it stays valid after the certificate expires.
set -euo pipefail

usage() {
  echo "usage: $0 CERT KEY [TIMESTAMP_URL] [--folder DIR]" >&2
  exit 2
}

folder=
positional=()
while [[ $# -gt 0 ]]; do
  case $1 in
  --folder) [[ $# -ge 2 ]] || usage; folder=$2; shift 2 ;;
  -*) usage ;;
  *) positional+=("$1"); shift ;;
  esac
done
[[ ${#positional[@]} -ge 2 && ${#positional[@]} -le 3 ]] || usage
cert=$(realpath "${positional[0]}")
key=$(realpath "${positional[1]}")
timestamp=${positional[2]:-}

if [[ -n $folder ]]; then
  command -v osslsigncode >/dev/null || { echo "$0: osslsigncode is not installed" >&2; exit 1; }
  options=(-certs "$cert" -key "$key" -h sha256)
  [[ -n ${SIGN_KEY_PASSWORD:-} ]] && options+=(-pass "$SIGN_KEY_PASSWORD")
  [[ -n $timestamp ]] && options+=(-ts "$timestamp")
  signed=0
  while IFS= read -r -d '' exe; do
    osslsigncode sign "${options[@]}" -in "$exe" -out "$exe.signed" >/dev/null
    mv "$exe.signed" "$exe"
    echo "signed $exe"
    signed=$((signed + 1))
  done < <(find "$folder" -type f -iname '*.exe' -print0)
  [[ $signed -gt 0 ]] || { echo "$0: no .exe under $folder" >&2; exit 1; }
  exit 0
fi

# The zips: cpack stages and strips the files, then its last step
# (packaging/windows_zip_finish.cmake) calls this script on them.
root=$(cd "$(dirname "$0")/.." && pwd)
export COLLECTOR_SIGN_CERT=$cert COLLECTOR_SIGN_KEY=$key COLLECTOR_SIGN_TIMESTAMP=$timestamp
packed=0
for tree in "$root/build-win" "$root/build-win32"; do
  if [[ -f $tree/CPackConfig.cmake ]]; then
    (cd "$tree" && cpack -G ZIP --config CPackConfig.cmake)
    packed=$((packed + 1))
  fi
done
[[ $packed -gt 0 ]] || { echo "$0: no Windows tree built; run scripts/build-windows.sh first" >&2; exit 1; }
