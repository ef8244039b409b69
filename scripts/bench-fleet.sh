#!/usr/bin/env bash
# The depot web service at scale: for each fleet size, a private mosquitto on loopback,
# `ticora-fleet --http` logged in to it, and ticora-fleet-bench playing the units'
# traffic (retained info, status, configuration; health every 10 s). Prints a Markdown
# table: ticora-fleet's CPU (steady health traffic) and memory, /api/units, /metrics,
# the page's first load (page, script, style and the units over HTTP; and in headless
# Chromium until every tile is drawn), and status change -> event on the stream.
#   scripts/bench-fleet.sh [BUILD_DIR] [SIZES...]      (default: build 100 1000 5000)
# ticora-fleet is pinned to core 0, the broker and the player to the other cores.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
shift || true
SIZES=("$@")
[ ${#SIZES[@]} -gt 0 ] || SIZES=(100 1000 5000)
SECONDS_STEADY=${BENCH_FLEET_SECONDS:-30}
FLEET="$BUILD/tools/fleet/ticora-fleet"
PLAYER="$BUILD/tools/fleet/ticora-fleet-bench"
for p in "$FLEET" "$PLAYER"; do
  [ -x "$p" ] || { echo "build $p first: cmake --build $BUILD --target ticora-fleet ticora-fleet-bench" >&2; exit 2; }
done
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
OTHER_CORES=$([ "$(nproc)" -gt 1 ] && echo "1-$(($(nproc) - 1))" || echo 0)

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

echo "| Units | ticora-fleet CPU | Memory (resident) | /api/units | /metrics | Page first load | Status change -> stream | Page drawn in Chromium |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
for n in "${SIZES[@]}"; do
  port=$(free_port)
  printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nmax_queued_messages 100000\nuser %s\n' \
    "$port" "$(id -un)" > "$WORK/mosquitto.conf"
  taskset -c "$OTHER_CORES" "$MOSQUITTO" -c "$WORK/mosquitto.conf" > "$WORK/mosquitto.log" 2>&1 &
  broker=$!
  PIDS+=("$broker")
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
  taskset -c 0 "$FLEET" -P "$port" --http 127.0.0.1:0 > "$WORK/fleet.out" 2> "$WORK/fleet.err" &
  fleet=$!
  PIDS+=("$fleet")
  for _ in $(seq 100); do grep -q 'serving http' "$WORK/fleet.out" && break; sleep 0.1; done
  http=$(grep -o '127.0.0.1:[0-9]*' "$WORK/fleet.out" | cut -d: -f2)
  row=$(taskset -c "$OTHER_CORES" "$PLAYER" --broker-port "$port" --http-port "$http" --fleet-pid "$fleet" \
    --units "$n" --seconds "$SECONDS_STEADY")
  drawn=$(taskset -c "$OTHER_CORES" /usr/bin/python3 scripts/bench-fleet-page.py "http://127.0.0.1:$http/" "$n" 2>/dev/null || echo "-")
  echo "$row $drawn |"
  kill "$fleet" "$broker"
  wait "$fleet" "$broker" 2>/dev/null || true
done
