#!/usr/bin/env bash
# The panel's performance beside a floor, in one run: idle CPU on the scan screen
# (offscreen + software, and under a private Xvfb), start-up, peak memory, scan
# reaction and scan-to-frame, then the MQTT round trip and the event log.
# The panel and its floor are pinned to the same core (taskset -c 0).
#
#   scripts/bench.sh [extra ticora-bench-panel options, e.g. --idle-seconds 30]
#
# BUILD_DIR (default ./build) names the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

if [ ! -d "$BUILD_DIR" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" -j2 --target ticora ticora-sim ticora-bench-floor ticora-bench-responder ticora-bench-panel ticora-bench-mqtt bench_events >/dev/null

XVFB_PID=""
WORK=$(mktemp -d)
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup INT TERM EXIT

# Xvfb picks a free display itself and writes its number to fd 3.
DISPLAY_ARG=()
if command -v Xvfb >/dev/null 2>&1; then
  Xvfb -displayfd 3 -screen 0 480x800x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 200); do
    [ -s "$WORK/display" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ -s "$WORK/display" ]; then
    DISPLAY_ARG=(--display ":$(head -n1 "$WORK/display")")
  else
    echo "bench: Xvfb did not start; the X figure is left out" >&2
  fi
else
  echo "bench: Xvfb not installed; the X figure is left out" >&2
fi

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
status=0
# The measuring side keeps off the measured programs' core where it can.
PIN_DRIVER=()
if [ "$(nproc)" -gt 1 ]; then
  PIN_DRIVER=(taskset -c 1)
fi
BUILD_ABS=$(cd "$BUILD_DIR" && pwd)
TOOLS=$BUILD_ABS/tools/bench_panel
(cd "$WORK" && "${PIN_DRIVER[@]}" "$TOOLS/ticora-bench-panel" \
  --program "$BUILD_ABS/src/ticora" \
  --floor "$TOOLS/ticora-bench-floor" \
  --responder "$TOOLS/ticora-bench-responder" \
  --sim "$BUILD_ABS/tools/sim/ticora-sim" \
  "${DISPLAY_ARG[@]}" "$@") || status=$?
echo
echo "MQTT round trip (one message in flight):"
taskset -c 0 "$BUILD_DIR/tools/bench_mqtt/ticora-bench-mqtt" -n 2000 | sed 's/^/    /'
echo
echo "Event log:"
taskset -c 0 "$BUILD_DIR/tools/bench_events/bench_events" --dir "$WORK" | sed 's/^/    /'
exit $status
