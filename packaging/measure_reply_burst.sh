#!/usr/bin/env bash
# Prints how many of 254 search replies arriving at once reach the device list
# for a normal user (nobody) under several system buffer limits, and for root:
#   106496   half the default: the program is granted the kernel's default
#            socket buffer (212992 bytes), as if it asked for nothing
#   212992   Debian's default net.core.rmem_max/wmem_max
#   1048576  the value the collector-upgrade package sets
# and the limit this machine had. Needs root (it sets the limits for a moment
# and puts the original values back, also when interrupted). Loopback only.
#
#   packaging/measure_reply_burst.sh [build/tools/benchmarks/reply_burst]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
burst=$(realpath "${1:-$root/build/tools/benchmarks/reply_burst}")
[[ -x $burst ]] || { echo "build reply_burst first (WITH_BENCHMARKS=ON)" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || { echo "run as root: the limits are set for each row" >&2; exit 2; }

original_rmem=$(sysctl -n net.core.rmem_max)
original_wmem=$(sysctl -n net.core.wmem_max)
restore() { sysctl -q -w net.core.rmem_max="$original_rmem" net.core.wmem_max="$original_wmem"; }
trap restore EXIT INT TERM

as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env "$burst"; }

printf '%-10s %-9s %6s %14s %14s %14s\n' user limit uid "granted bytes" "queued bytes" listed
for limit in 106496 212992 1048576 "$original_rmem"; do
  sysctl -q -w net.core.rmem_max="$limit" net.core.wmem_max="$limit"
  printf '%-10s %-9s %s\n' nobody "$limit" "$(as_nobody)"
done
restore
printf '%-10s %-9s %s\n' root "$original_rmem" "$("$burst")"
