#!/usr/bin/env bash
# Figures of collector-fleet against a field of 253 emulated collectors, in two
# private network namespaces that this script makes and removes (needs root).
# Nothing here can reach the machine's own network: the namespaces have no
# interface but their veth pair and no route elsewhere.
#
#   scripts/fleet_figures.sh [build-dir] [loss|doctor]
#
# With "doctor" it prints only the doctor table: `collector-fleet doctor` on
# the tool's adapter (veth0) against the field of 253 answering, against no
# field, and with port 23 held by another process: its wall time per
# adapter (target < 3 s), its exit status and what it named.
#
# With "loss" it prints only the lossy-link table: a field of 20 collectors
# behind a link that loses 0, 5 and 20 % of the datagrams each way (the
# emulator's --loss, seeds 1..LOSS_SEEDS, default 3), upgraded with the default
# canary from a target file that pins each address to its serial: the
# collectors found and upgraded (fewest of the runs), the program's wall time
# (mean, fastest and slowest) and its ratio to the run without loss.
#
# Otherwise it prints one table: the fleet's upgrade wall time over one collector's (no
# canary, and with the default canary of one), the program's CPU share and
# peak memory during the fleet run, the gaps between two blocks to one
# collector as the field receives them (kernel arrival times) while two other
# processes keep both cores busy, and a run with 10 % of blocks lost at every
# collector (all complete, images identical).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mode=${2:-all}
# FLEET_PROGRAM=PATH measures another build of collector-fleet (before and after).
fleet=${FLEET_PROGRAM:-$build/fleet/collector-fleet}
emulator=$build/tools/collector_emulator/collector-emulator
for program in "$fleet" "$emulator"; do
  [ -x "$program" ] || { echo "missing $program: build first" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "needs root for ip netns" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

tool=fleetfig-$$-tool
field=fleetfig-$$-field
work=$(mktemp -d)
emulator_pid=
load_pids=
cleanup() {
  # FIGURES_KEEP=DIR keeps the runs' reports there for a closer look.
  if [ -n "${FIGURES_KEEP:-}" ]; then mkdir -p "$FIGURES_KEEP" && cp "$work"/*.json "$FIGURES_KEEP"/ 2>/dev/null; fi
  for pid in $load_pids; do kill "$pid" 2>/dev/null; done
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  ip netns del "$tool" 2>/dev/null || true
  ip netns del "$field" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

tool_mac=02:00:00:00:00:01
field_mac=02:00:00:00:00:02
ip netns add "$tool"
ip netns add "$field"
ip -n "$tool" link add veth0 address $tool_mac type veth peer name veth1 address $field_mac netns "$field"
ip -n "$tool" addr add 198.51.100.1/24 dev veth0
ip -n "$field" neigh replace 198.51.100.1 lladdr $tool_mac dev veth1 nud permanent
for host in $(seq 2 254); do
  echo "addr add 198.51.100.$host/24 dev veth1" >> "$work/field.batch"
  echo "neigh replace 198.51.100.$host lladdr $field_mac dev veth0 nud permanent" >> "$work/tool.batch"
done
ip -n "$field" -batch "$work/field.batch"
ip -n "$tool" -batch "$work/tool.batch"
for ns in "$tool" "$field"; do ip -n "$ns" link set lo up; done
ip -n "$tool" link set veth0 up
ip -n "$field" link set veth1 up
sleep 1

# A 20-block image: 6000 bytes.
image=$work/S9.20.bin
head -c 6000 /dev/urandom > "$image"

# Starts a fresh field (every collector at S1.00) with the given extra options.
# Only the loaded run asks for the emulator's summary (the block times): a
# field's summary is rewritten after every request and query, and that work
# would slow the field's answers in the timed runs.
start_field() {
  if [ -n "$emulator_pid" ]; then kill "$emulator_pid"; wait "$emulator_pid" 2>/dev/null || true; fi
  rm -rf "$work/out" "$work/ready"; mkdir -p "$work/out"
  ip netns exec "$field" "$emulator" --address "${field_range:-198.51.100.2-254}" --run-seconds 900 \
    --image-out "$work/out/%a.bin" --ready-file "$work/ready" "$@" > "$work/emulator.log" 2>&1 &
  emulator_pid=$!
  for _ in $(seq 100); do [ -e "$work/ready" ] && return; sleep 0.1; done
  echo "emulator did not start" >&2; cat "$work/emulator.log" >&2; exit 1
}

# Runs an upgrade in the tool namespace under /usr/bin/time.
# Leaves: report in $work/$1.json, "wall user sys maxrss_kb" in $work/$1.time
upgrade() {
  local name=$1; shift
  ip netns exec "$tool" /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time" \
    "$fleet" upgrade --image "$image" --yes --progress quiet --report "$work/$name.json" "$@" \
    > "$work/$name.out" 2>&1 || true
}

count_ok() { grep -c '"outcome":"upgraded"' "$1"; }
# Ends the field's emulator, which writes its summary as it goes.
stop_field() { kill "$emulator_pid"; wait "$emulator_pid" 2>/dev/null || true; emulator_pid=; }
# Smallest, median and 99th percentile gap (ms) between two blocks to one
# collector, from the emulator's summary.
block_gaps() {
  python3 - "$work/summary.json" <<'PY'
import json, sys
gaps = []
for c in json.load(open(sys.argv[1]))["collectors"]:
    t = c["block_times_us"]
    gaps += [(b - a) / 1000 for a, b in zip(t, t[1:])]
gaps.sort()
if not gaps:
    print("- - - 0")
else:
    print("%.1f %.1f %.1f %d" % (gaps[0], gaps[len(gaps) // 2], gaps[min(len(gaps) - 1, int(len(gaps) * 0.99))], len(gaps)))
PY
}
seconds_of() { grep -o '"upgrade_seconds": [0-9.]*' "$1" | cut -d' ' -f2; }
identical_images() {
  local same=0
  for f in "$work"/out/*.bin; do cmp -s "$f" "$image" && same=$((same + 1)); done
  echo $same
}

if [ "$mode" = doctor ]; then
  # doctor NAME [command...]: runs doctor on veth0, timed, its JSON kept.
  doctor() {
    local name=$1; shift
    ip netns exec "$tool" /usr/bin/time -f "%e" -o "$work/$name.time" "$@" \
      "$fleet" doctor --interface veth0 --format json > "$work/$name.json" 2> "$work/$name.err" \
      && echo 0 > "$work/$name.status" || echo $? > "$work/$name.status"
  }
  summary() { # the verdicts in order, and the probe round's replies or the port's holders
    python3 - "$work/$1.json" <<'PY'
import json, sys
checks = json.load(open(sys.argv[1]))
said = " ".join(c["verdict"] for c in checks)
for c in checks:
    if c["check"] == "probe_round" and c.get("ran"):
        said += "; %d replies, %d malformed" % (c["replies"], c["malformed"])
    if c["check"] == "port" and c.get("holders"):
        said += "; port %s: %s" % (c["subject"], ", ".join(
            "%s (pid %d)" % (h["name"], h["pid"]) for h in c["holders"]))
print(said)
PY
  }
  start_field
  doctor field
  stop_field
  doctor nobody
  ip netns exec "$tool" python3 -c 'import socket, time; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("", 23)); time.sleep(30)' &
  holder=$!
  sleep 0.5
  doctor held
  kill "$holder"; wait "$holder" 2>/dev/null || true
  printf '%-34s %-9s %-7s %s\n' "case" "seconds" "status" "verdicts (ports, adapter, probe round)"
  for name in field nobody held; do
    label=$(case $name in field) echo "253 collectors answer";; nobody) echo "nobody answers";;
            held) echo "port 23 held by python3";; esac)
    printf '%-34s %-9s %-7s %s\n' "$label" "$(tail -n 1 "$work/$name.time")" \
      "$(cat "$work/$name.status")" "$(summary "$name")"
  done
  echo "target: under 3 s per adapter"
  exit 0
fi

if [ "$mode" = loss ]; then
  field_range=198.51.100.2-21
  printf 'ip,serial,version\n' > "$work/targets.csv"
  for host in $(seq 2 21); do printf '198.51.100.%d,8100%03d,S1.00\n' "$host" "$host" >> "$work/targets.csv"; done
  printf '%-8s %-5s %-8s %-9s %-26s %s\n' "loss" "runs" "found" "upgraded" "seconds mean (min-max)" "ratio"
  base=
  for loss in ${LOSSES:-0 0.05 0.2}; do
    found=20 upgraded=20 times=
    for seed in $(seq "${LOSS_SEEDS:-3}"); do
      start_field --loss "$loss" --seed "$seed"
      upgrade "loss-$loss-$seed" --target-file "$work/targets.csv"
      read -r wall _ < <(tail -n 1 "$work/loss-$loss-$seed.time") # after any "exited with" line
      times="$times $wall"
      read -r f u < <(python3 - "$work/loss-$loss-$seed.json" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))["collectors"]
print(sum(r["plan"] != "not_found" for r in rows), sum(r["outcome"] == "upgraded" for r in rows))
PY
)
      [ "$f" -lt "$found" ] && found=$f
      [ "$u" -lt "$upgraded" ] && upgraded=$u
    done
    read -r mean low high < <(echo "$times" | awk '{m = 0; lo = $1; hi = $1; for (i = 1; i <= NF; i++) {m += $i; if ($i < lo) lo = $i; if ($i > hi) hi = $i} printf "%.1f %.1f %.1f\n", m / NF, lo, hi}')
    [ -z "$base" ] && base=$mean
    printf '%-8s %-5s %-8s %-9s %-26s %s\n' "$(awk -v l="$loss" 'BEGIN {printf "%g %%", 100 * l}')" \
      "${LOSS_SEEDS:-3}" "$found/20" "$upgraded/20" "$mean ($low-$high)" "$(awk -v a="$mean" -v b="$base" 'BEGIN {printf "%.2f", a / b}')"
  done
  exit 0
fi

start_field
upgrade single --target 198.51.100.2
start_field
upgrade fleet --all --canary 0
start_field
upgrade canary --all
# Both cores busy with two spinning processes while the fleet runs.
start_field --summary "$work/summary.json"
for _ in 1 2; do (while :; do :; done) & load_pids="$load_pids $!"; done
upgrade loaded --all --canary 0
for pid in $load_pids; do kill "$pid"; done; load_pids=
stop_field
read -r gap_min gap_median gap_p99 gap_count < <(block_gaps)
start_field --drop-share 0.1 --seed 7
upgrade lossy --all --canary 0

single_s=$(seconds_of "$work/single.json")
fleet_s=$(seconds_of "$work/fleet.json")
canary_s=$(seconds_of "$work/canary.json")
loaded_s=$(seconds_of "$work/loaded.json")
read -r wall user sys rss < "$work/fleet.time"
lossy_ok=$(count_ok "$work/lossy.json")
lossy_same=$(identical_images)
resent=$(grep -o '"blocks_resent":[0-9]*' "$work/lossy.json" | awk -F: '{s += $2} END {print s}')
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

printf '%-58s %s\n' "figure" "value"
printf '%-58s %s\n' "one collector, upgrade wall time (s)" "$single_s"
printf '%-58s %s\n' "253 collectors, upgrade wall time (s)" "$fleet_s"
printf '%-58s %s\n' "ratio fleet --canary 0 / one (target <= 1.05)" "$(ratio "$fleet_s" "$single_s")"
printf '%-58s %s\n' "collectors upgraded in the fleet run" "$(count_ok "$work/fleet.json") / 253"
printf '%-58s %s\n' "253 collectors, default canary, wall time (s)" "$canary_s"
printf '%-58s %s\n' "ratio default canary / one (target <= 2.1)" "$(ratio "$canary_s" "$single_s")"
printf '%-58s %s\n' "collectors upgraded, default canary" "$(count_ok "$work/canary.json") / 253"
printf '%-58s %s\n' "both cores busy: wall time (s), ratio to one" "$loaded_s, $(ratio "$loaded_s" "$single_s")"
printf '%-58s %s\n' "both cores busy: collectors upgraded" "$(count_ok "$work/loaded.json") / 253"
printf '%-58s %s\n' "both cores busy: block gap min (ms, target >= 150)" "$gap_min"
printf '%-58s %s\n' "both cores busy: block gap median / p99 (ms)" "$gap_median / $gap_p99 ($gap_count gaps)"
printf '%-58s %s\n' "program wall time, fleet run incl. sweep (s)" "$wall"
printf '%-58s %s\n' "program CPU time, user + sys (s)" "$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%.2f", u + s}')"
printf '%-58s %s\n' "CPU share of wall time (target < 5 %)" "$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN {printf "%.2f %%", 100 * (u + s) / w}')"
printf '%-58s %s\n' "peak resident memory (target < 50 MB)" "$(awk -v k="$rss" 'BEGIN {printf "%.1f MB", k / 1024}')"
printf '%-58s %s\n' "10 % blocks lost: collectors upgraded" "$lossy_ok / 253"
printf '%-58s %s\n' "10 % blocks lost: images identical byte for byte" "$lossy_same / 253"
printf '%-58s %s\n' "10 % blocks lost: blocks resent in all" "$resent"
