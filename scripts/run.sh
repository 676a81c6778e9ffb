#!/usr/bin/env bash
# Installs what building and running need, builds the program alone (preset
# "app", no test packages) and starts the upgrade tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build-app/app/CollectorUpgrade
"$root/scripts/install-deps.sh" build
cd "$root"
cmake --preset app >/dev/null
cmake --build --preset app -j"$(nproc)"

# A normal user cannot bind UDP port 23 (below the first unprivileged port)
# unless the program holds that one capability; a rebuild drops it.
if [ "$(id -u)" -ne 0 ]; then
  first_free_port=$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)
  getcap=$(command -v getcap || echo /usr/sbin/getcap)
  if ((first_free_port > 23)) && ! "$getcap" "$program" 2>/dev/null | grep -q cap_net_bind_service; then
    echo "run.sh: as a normal user the program cannot bind UDP port 23 and finds no collector." >&2
    echo "  Let it, once after each build:" >&2
    echo "  sudo setcap cap_net_bind_service=+ep $program" >&2
  fi
  if (($(cat /proc/sys/net/core/rmem_max 2>/dev/null || echo 0) < 1048576)); then
    echo "run.sh: replies of a busy subnet may be lost at this system's socket buffer limit;" >&2
    echo "  sudo sysctl -w net.core.rmem_max=1048576 net.core.wmem_max=1048576" >&2
  fi
fi
exec "$program"
