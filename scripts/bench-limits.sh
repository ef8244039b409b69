#!/usr/bin/env bash
# What one hostile message costs the program's memory: at every log level, the resting
# resident memory and the peak reached while a message is handled, for a 64 MB message
# on the validator's status topic, 300 KB there (over the message limit, under the packet
# limit the broker is told, so the program reads and drops it), 1.2 MB of small nested
# arrays on the board's status topic, and 210 KB of them (under the size limit, so the
# JSON limit refuses it).
# Prints one row per level and message, and the line about each: the program's, or the
# broker's when it dropped the message for being larger than the client takes.
#   scripts/bench-limits.sh [levels, default "0 1 2 3 4"]
set -euo pipefail
cd "$(dirname "$0")/.."
levels=${1:-"0 1 2 3 4"}

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target ticora >/dev/null

work=$(mktemp -d /tmp/ticora-limits-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. scripts/lib/private-broker.sh
start_private_broker "$work" || { echo "no broker could listen" >&2; exit 1; }
pids+=("$broker")
pub() { mosquitto_pub -h 127.0.0.1 -p "$port" "$@"; }

head -c 67108864 /dev/zero | tr '\0' 'x' >"$work/big"
head -c 307200 /dev/zero | tr '\0' 'x' >"$work/mid"
nested() { printf '{"device":['; printf '[[1]],%.0s' $(seq "$1"); printf '[]]}'; }
nested 200000 >"$work/nested"
nested 35000 >"$work/nested-small"

cp build/src/ticora "$work/ticora"
echo "K00000001" >"$work/serialnumber"
# The program's lines about a message it refused.
refusal="Dropped a message|Failed to parse JSON"
kib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
printf '%5s  %-36s %9s %12s %10s %10s\n' level message bytes resting-MB peak-MB above-MB
for level in $levels; do
  printf '[gui]\ndeviceId=%s/serialnumber\n[log]\nlevel=%s\nsyslog=false\nstderr=true\n' "$work" "$level" \
    >"$work/gui.conf"
  (cd "$work" && QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software exec ./ticora -H 127.0.0.1 -P "$port" \
    -f gui.conf) >"$work/ticora.log" 2>&1 &
  app=$!
  pids+=("$app")
  for _ in $(seq 300); do
    # The broker's word, as the program says nothing at the lowest levels.
    grep -q "as Ticora_$app " "$work/broker.log" && break
    kill -0 "$app" 2>/dev/null || { echo "the program did not start" >&2; tail "$work/ticora.log" >&2; exit 1; }
    sleep 0.1
  done
  sleep 3
  # The broker's line when it keeps a packet larger than the client's limit from it.
  dropped="Dropping too large outgoing PUBLISH for Ticora_$app "
  refusals() {
    echo $(($(grep -c -E "$refusal" "$work/ticora.log" || true) + $(grep -c "$dropped" "$work/broker.log" || true)))
  }
  for case in "vexa/blm/status big" "vexa/blm/status mid" "vexa/board/status nested" \
    "vexa/board/status nested-small"; do
    read -r topic file <<<"$case"
    before=$(refusals)
    program_before=$(grep -c -E "$refusal" "$work/ticora.log" || true)
    broker_before=$(grep -c "$dropped" "$work/broker.log" || true)
    rest=$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")
    # The peak from here on: writing 5 resets the high-water mark.
    echo 5 >"/proc/$app/clear_refs"
    pub -t "$topic" -f "$work/$file"
    for _ in $(seq 600); do
      [ "$(refusals)" -gt "$before" ] && break
      kill -0 "$app" 2>/dev/null || { echo "the program died" >&2; tail "$work/ticora.log" >&2; exit 1; }
      sleep 0.1
    done
    sleep 1
    peak=$(awk '/^VmHWM/ {print $2}' "/proc/$app/status")
    printf '%5s  %-36s %9s %12s %10s %10s\n' "$level" "$topic ($file)" "$(stat -c %s "$work/$file")" "$(kib "$rest")" \
      "$(kib "$peak")" "$(kib $((peak - rest)))"
    if [ "$(grep -c -E "$refusal" "$work/ticora.log" || true)" -gt "$program_before" ]; then
      grep -E "$refusal" "$work/ticora.log" | tail -1 | cut -c1-200 | sed 's/^/       program: /'
    elif [ "$(grep -c "$dropped" "$work/broker.log" || true)" -gt "$broker_before" ]; then
      grep "$dropped" "$work/broker.log" | tail -1 | cut -c1-200 | sed 's/^/       broker: /'
    else
      echo "       (nobody said anything about it)"
    fi
  done
  kill "$app"
  wait "$app" 2>/dev/null || true
done
