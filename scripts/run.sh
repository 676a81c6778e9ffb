#!/usr/bin/env bash
# Installs what building and running need, builds the program alone (preset
# "app", no test packages) and starts the upgrade tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" build
cd "$root"
cmake --preset app >/dev/null
cmake --build --preset app -j"$(nproc)"
exec "$root/build-app/app/CollectorUpgrade"
