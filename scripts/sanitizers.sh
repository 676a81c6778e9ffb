#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers, each in a tree of its own
# (presets of CMakePresets.json):
#   build-asan  AddressSanitizer + UndefinedBehaviorSanitizer, window included
#   build-tsan  ThreadSanitizer, the Qt-free core only
# and runs ctest in each without the end-to-end tests (label e2e). Installs
# nothing: it needs what the project's dependency install provides.
#
#   scripts/sanitizers.sh [asan|tsan]...     (default: both)
#
# Exits non-zero when a configure, a build or a test fails in any tree.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
trees=("$@")
((${#trees[@]})) || trees=(asan tsan)

# Every report is fatal, with a stack; window tests draw offscreen.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
export QT_QPA_PLATFORM=offscreen

# ThreadSanitizer's shadow layout does not fit every mmap randomisation a
# recent kernel allows; run its programs without address randomisation then.
tsan_prefix=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_prefix=(setarch "$(uname -m)" -R)
fi

run_tree() { # preset name (CMakePresets.json)
  local name=$1 dir=$root/build-$1
  local prefix=()
  [[ $name == tsan ]] && prefix=("${tsan_prefix[@]}")
  echo "== build-$name: configure"
  (cd "$root" && cmake --preset "$name") || return 1
  echo "== build-$name: build"
  # The build runs test programs too (test discovery), hence the prefix.
  "${prefix[@]}" cmake --build "$dir" -j"$jobs" || return 1
  echo "== build-$name: test"
  "${prefix[@]}" ctest --test-dir "$dir" -LE e2e --output-on-failure -j"$jobs" --timeout 600
}

declare -A result
status=0
for tree in "${trees[@]}"; do
  case $tree in
  asan | tsan) run_tree "$tree" ;;
  *) echo "unknown tree '$tree' (asan or tsan)" >&2; exit 2 ;;
  esac
  rc=$?
  if ((rc == 0)); then result[$tree]=passed; else result[$tree]="FAILED"; status=1; fi
done

echo
for tree in "${trees[@]}"; do
  echo "sanitizers: build-$tree ${result[$tree]}"
done
exit $status
