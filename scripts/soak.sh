#!/usr/bin/env bash
# Runs the program headless against a private broker for the given minutes (default
# 10) while a validation arrives every 200 ms, and prints its memory (RSS) and open
# descriptors over time. Exits non-zero if the program dies.
#   scripts/soak.sh [minutes] [seconds-between-samples]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=${1:-10}
every=${2:-30}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ticora >/dev/null

work=$(mktemp -d /tmp/ticora-soak-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private broker on a free loopback port: try ports until one listens.
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  port=$((20000 + RANDOM % 20000))
  printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n' "$port" >"$work/mosquitto.conf"
  mosquitto -c "$work/mosquitto.conf" >"$work/broker.log" 2>&1 &
  broker=$!
  for _ in $(seq 50); do
    grep -q "listen socket on port $port" "$work/broker.log" && break
    kill -0 "$broker" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$broker" 2>/dev/null && grep -q "listen socket on port $port" "$work/broker.log"; then
    pids+=("$broker")
    break
  fi
  kill "$broker" 2>/dev/null || true
  broker=
done
[ -n "${broker:-}" ] || { echo "no broker could listen" >&2; exit 1; }

# The program keeps its event log beside itself: run a copy in the scratch folder.
cp build/src/ticora "$work/ticora"
echo "K00000001" >"$work/serialnumber"
cat >"$work/gui.conf" <<CONF
[gui]
deviceId=$work/serialnumber
[log]
level=2
syslog=false
stderr=true
CONF
pub() { mosquitto_pub -h 127.0.0.1 -p "$port" "$@"; }
pub -r -t vexa/blm/status -m '{"service":true,"state":{"init":false,"hasRfid":true,"hasRoute":true,"hasQr":true,"hasObu":true}}'
pub -r -t vexa/board/status -m '{"service":true,"device":{"active":true,"ignition":true}}'

(cd "$work" && QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software exec ./ticora -H 127.0.0.1 -P "$port" -f gui.conf) \
  >"$work/ticora.log" 2>&1 &
app=$!
pids+=("$app")

for _ in $(seq 300); do
  grep -q "Connected to MQTT broker" "$work/ticora.log" && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
sleep 1

# One publisher reading a message per line; valid and refused validations in turn,
# one every 200 ms on a fixed schedule.
valid='{"transaction":{"valid":true,"type":2,"ticketId":"T-1","fareProduct":"Single","passengerType":"Adult","card":{"uid":"04A1B2C3","balanceBefore":1000,"balanceAfter":880}}}'
denied='{"transaction":{"valid":false,"type":0,"denyReason":{"id":2}}}'
end=$((SECONDS + minutes * 60))
(
  n=0
  t0=$(date +%s%N)
  while [ $SECONDS -lt $end ]; do
    if [ $((n % 2)) -eq 0 ]; then echo "$valid"; else echo "$denied"; fi
    n=$((n + 1))
    echo "$n" >"$work/sent"
    wait_ns=$((t0 + n * 200000000 - $(date +%s%N)))
    [ $wait_ns -le 0 ] || sleep "$((wait_ns / 1000000000)).$(printf '%09d' $((wait_ns % 1000000000)))"
  done
) | pub -t vexa/blm/rfid/scanned -l &
pids+=($!)

sample() {
  local rss fds
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")
  fds=$(ls "/proc/$app/fd" | wc -l)
  local handled sent
  handled=$(grep -c "Validator ticket validated" "$work/ticora.log" || true)
  sent=$(cat "$work/sent" 2>/dev/null || echo 0)
  printf '%8s %10s %8s %8s %8s\n' "$1" "$rss" "$fds" "$sent" "$handled"
  echo "$rss $fds" >>"$work/samples"
}
printf '%8s %10s %8s %8s %8s\n' elapsed rss-kB fds sent handled
start=$SECONDS
sleep 5
while [ $SECONDS -lt $end ]; do
  kill -0 "$app" 2>/dev/null || { echo "the program died; its last lines:" >&2; tail -20 "$work/ticora.log" >&2; exit 1; }
  sample "$((SECONDS - start))s"
  sleep "$every"
done
sleep 2
kill -0 "$app" 2>/dev/null || { echo "the program died; its last lines:" >&2; tail -20 "$work/ticora.log" >&2; exit 1; }
sample "$((SECONDS - start))s"
awk 'NR==1 {r0=$1; f0=$2} {if ($1>rmax) rmax=$1; if ($2>fmax) fmax=$2; r=$1; f=$2}
     END {printf "RSS first %d kB, last %d kB, peak %d kB; descriptors first %d, last %d, peak %d\n", r0, r, rmax, f0, f, fmax}' \
  "$work/samples"
