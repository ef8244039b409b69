#!/usr/bin/env bash
# Installs what is missing, builds, then runs the system against a private mosquitto
# broker on a free loopback port, everything kept in ./work. Ctrl-C stops it all.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/work

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
mkdir -p "$WORK"

# --- stop everything this script started, however it ends -------------------------
PIDS=()
cleanup() {
  trap - INT TERM EXIT
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup INT TERM EXIT

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# --- the broker: foreground mosquitto on a free 127.0.0.1 port ----------------------
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
start_broker() {
  local port=$1
  cat > "$WORK/mosquitto.conf" <<EOF
listener $port 127.0.0.1
allow_anonymous true
persistence false
user $(id -un)
EOF
  "$MOSQUITTO" -c "$WORK/mosquitto.conf" &
  BROKER_PID=$!
  for _ in $(seq 50); do
    listening "$port" && return 0
    kill -0 "$BROKER_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  kill "$BROKER_PID" 2>/dev/null || true
  return 1
}

PORT=""
for _ in $(seq 20); do
  candidate=$((20000 + RANDOM % 40000))
  listening "$candidate" && continue
  if start_broker "$candidate"; then
    PORT=$candidate
    PIDS+=("$BROKER_PID")
    break
  fi
done
if [ -z "$PORT" ]; then
  echo "demo: mosquitto could not be started" >&2
  exit 1
fi
echo "demo: mosquitto listening on 127.0.0.1:$PORT (config in $WORK/mosquitto.conf)"

# --- the system --------------------------------------------------------------------
(cd "$WORK" && exec "$ROOT/build/src/ticora" -f gui.conf -e -H 127.0.0.1 -P "$PORT" "$@") &
PIDS+=("$!")

# Runs until the system exits or Ctrl-C; the trap then stops what is left.
wait "${PIDS[-1]}" || true
