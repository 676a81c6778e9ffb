#!/usr/bin/env bash
# Signs the Windows programs (Authenticode, SHA-256) with osslsigncode.
#
#   scripts/sign-windows.sh CERT KEY [TIMESTAMP_URL]
#       packs the zip of each Windows tree that is built (build-win,
#       build-win32) again, every .exe in it signed
#   scripts/sign-windows.sh CERT KEY [TIMESTAMP_URL] --folder DIR
#       signs every .exe and .msi under DIR in place (cpack calls it so on
#       the zip's staged files, after they are stripped; build_msi.py on the
#       installer)
#
# CERT is a PEM file: the signing certificate first, then its intermediate
# certificates. KEY is its PEM private key; a passphrase, if any, is read from
# SIGN_KEY_PASSWORD. With TIMESTAMP_URL (an RFC 3161 server) each signature
# is timestamped, so it stays valid after the certificate expires.
#
# Only a real certificate signs: one that chains to a root of the system's
# trust store (/etc/ssl/certs/ca-certificates.crt), the public code-signing
# roots that Windows also trusts. Any other certificate is refused before a
# file is touched, so a zip in a tree's packages/ folder is either unsigned
# or signed for real, and its README says which. The package test names its
# own throwaway CA in SIGN_TRUSTED_CA and packs into a folder of its own.
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
trusted=${SIGN_TRUSTED_CA:-/etc/ssl/certs/ca-certificates.crt}

# The first certificate of CERT, checked against the trusted roots with the
# rest of CERT as intermediates.
command -v openssl >/dev/null || { echo "$0: openssl is not installed" >&2; exit 1; }
if ! openssl verify -purpose any -CAfile "$trusted" -untrusted "$cert" "$cert" >/dev/null 2>&1; then
  echo "$0: $cert does not chain to a root in $trusted: not a release certificate," \
    "nothing signed" >&2
  exit 1
fi

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
  done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.msi' \) -print0)
  [[ $signed -gt 0 ]] || { echo "$0: no .exe or .msi under $folder" >&2; exit 1; }
  exit 0
fi

# The zips: cpack stages and strips the files, then its last step
# (packaging/windows_zip_finish.cmake) calls this script on them. They land in
# the trees' packages/ folders, where a release takes them from: never with a
# test's own trusted root.
if [[ -n ${SIGN_TRUSTED_CA:-} ]]; then
  echo "$0: SIGN_TRUSTED_CA is for the package test's own folder, not packages/" >&2
  exit 1
fi
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
