#!/usr/bin/env bash
# Configures and builds the main tree in build/ (preset "default": the
# program, its tests and benchmarks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
