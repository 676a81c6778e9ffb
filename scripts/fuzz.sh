#!/usr/bin/env bash
# Builds the receive-path fuzzers with clang in build-fuzz (preset "fuzz") and runs each for
# the given number of seconds (default 30), both at once, each on a scratch
# copy of its seed corpus (fuzz/corpus/ is never grown by a run).
#
#   scripts/fuzz.sh [seconds]
#
# Exits non-zero when a target finds a crash, a leak, a hang (-timeout) or a
# broken invariant; the input that did it is kept in build-fuzz/fuzz-artifacts/.
# Environment: FUZZ_BUILD_DIR (default <repo>/build-fuzz), FUZZ_MAX_LEN (4096).
set -euo pipefail

seconds=${1:-30}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "usage: $0 [seconds]" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
max_len=${FUZZ_MAX_LEN:-4096}
targets=(upgrade search)
binaries=(fuzz_upgrade_path fuzz_search_path)

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ not found (libFuzzer needs clang and libclang-rt)" >&2
  exit 2
fi

(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
cmake --build "$build" -j"$(nproc)" --target "${binaries[@]}" >/dev/null 2>&1 ||
  cmake --build "$build" -j1 --target "${binaries[@]}" # again, to show the errors
for name in "${targets[@]}"; do
  [[ -x $build/tools/fuzz/fuzz_${name}_path ]] || { echo "fuzz.sh: fuzz_${name}_path not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

declare -A pid
for name in "${targets[@]}"; do
  mkdir -p "$work/$name"
  cp -r "$root/fuzz/corpus/$name" "$work/$name/corpus"
  (
    cd "$work/$name" # libFuzzer drops stray files in the working directory
    exec "$build/tools/fuzz/fuzz_${name}_path" "$work/$name/corpus" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -print_final_stats=1 \
      -dict="$root/tools/fuzz/receive_path.dict" -artifact_prefix="$artifacts/${name}-" \
      >"$work/$name/log" 2>&1
  ) &
  pid[$name]=$!
done

status=0
for name in "${targets[@]}"; do
  rc=0
  wait "${pid[$name]}" || rc=$?
  log=$work/$name/log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  if ((rc == 0)); then
    verdict=ok
  else
    verdict="FAILED (exit $rc)"
    status=1
  fi
  echo "fuzz_${name}_path: $verdict, ${runs:-?} runs in ${seconds} s, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?} inputs"
  if ((rc != 0)); then
    grep -E 'INVARIANT BROKEN|ERROR: |SUMMARY: |Test unit written|runtime error' "$log" | head -n 20 | sed 's/^/  /'
  fi
done
exit $status
