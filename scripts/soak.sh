#!/usr/bin/env bash
# Runs the program headless against a private broker and plays it the simulator's sample
# validations (valid and refused in turn), printing its memory (RSS), open descriptors,
# event-log size and validations sent/handled over time. Fails if the program dies, if a
# validation goes unhandled, or if the valid and the refused screens were not both shown.
#   scripts/soak.sh [minutes] [seconds-between-samples]     one validation every 200 ms
#   scripts/soak.sh --fast COUNT [seconds-between-samples]  COUNT validations, each sent as
#                                                           soon as the program keeps up
# Every 500 validations the ignition goes off or on, so the event log fills to its cap.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
fast=0
if [ "${1:-}" = "--fast" ]; then
  fast=1
  count=${2:?"--fast needs a number of validations"}
  every=${3:-30}
else
  minutes=${1:-10}
  every=${2:-30}
fi
# How many validations may be on their way in fast mode: enough to keep the program
# busy, few enough that none waits in a queue long.
window=8

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ticora ticora-sim >/dev/null

work=$(mktemp -d /tmp/ticora-soak-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  exec 3>&- 4>&- 5>&- 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. scripts/lib/private-broker.sh
start_private_broker "$work" || { echo "no broker could listen" >&2; exit 1; }
pids+=("$broker")

# The simulator's own tickets: "topic message" per line.
build/tools/sim/ticora-sim --samples >"$work/samples"
card_msgs=()
barcode_msgs=()
order=()
while read -r topic msg; do
  case "$topic" in
  */rfid/scanned) order+=(3); card_msgs+=("$msg") ;;
  */barcode/scanned) order+=(4); barcode_msgs+=("$msg") ;;
  *) echo "unexpected sample topic $topic" >&2; exit 1 ;;
  esac
done <"$work/samples"
[ ${#order[@]} -ge 2 ] || { echo "the simulator printed no samples" >&2; exit 1; }

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
board() { printf '{"service":true,"device":{"active":true,"ignition":%s}}' "$1"; }
pub -r -t vexa/board/status -m "$(board true)"

# The program's output is counted as it comes instead of kept: a million validations log
# about a gigabyte. mawk is told to read line by line, or the last lines wait in its buffer.
# The counts file holds "handled valid-screens refused-screens"; the last lines and every
# critical line are kept for the report.
: >"$work/counts"
(cd "$work" && QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software exec ./ticora -H 127.0.0.1 -P "$port" -f gui.conf) \
  2>&1 | mawk -W interactive -v counts="$work/counts" -v tailfile="$work/tail" -v crit="$work/critical" '
    { last[NR % 40] = $0 }
    /Connected to MQTT broker/ { print "connected" > counts; close(counts) }
    /CRIT|Critical|critical/ { print >> crit; close(crit) }
    /Validator ticket validated/ { handled++; print handled, valid, refused > counts; close(counts) }
    /Setting screen : Valid / { valid++; print handled, valid, refused > counts; close(counts) }
    /Setting screen : (Invalid|AlreadyValid) / { refused++; print handled, valid, refused > counts; close(counts) }
    END { for (i = NR - 39; i <= NR; i++) if (i > 0) print last[i % 40] > tailfile }' &
pids+=($!)
app=
for _ in $(seq 300); do
  app=$(pgrep -f -n "^./ticora -H 127.0.0.1 -P $port " || true)
  [ -n "$app" ] && grep -q connected "$work/counts" && break
  sleep 0.1
done
[ -n "$app" ] || { echo "the program did not start" >&2; exit 1; }
pids+=("$app")
sleep 1

died() {
  echo "the program died; its last lines:" >&2
  sleep 1
  cat "$work/tail" >&2 2>/dev/null || true
  exit 1
}

# Three publishers reading a message per line: card, barcode and board.
exec 3> >(pub -t vexa/blm/rfid/scanned -l)
pids+=($!)
exec 4> >(pub -t vexa/blm/barcode/scanned -l)
pids+=($!)
exec 5> >(pub -t vexa/board/status -l)
pids+=($!)
# A descriptor nobody writes to: "read -t" on it is a sleep without a process.
exec 6<> <(:)
nap() { read -r -t "$1" -u 6 || true; }

# The first line of a file the program's counter or the sender rewrites all the time: a
# read caught between truncation and writing is empty, and is tried again. Sets $line.
read_rewritten() {
  local try
  line=
  for try in $(seq 200); do
    read -r line <"$1" 2>/dev/null || true
    [ -n "$line" ] && return 0
    nap 0.002
  done
}
# The counts as last written. Sets $handled, $valid and $refused.
read_counts() {
  read_rewritten "$work/counts"
  read -r handled valid refused <<<"$line"
  [[ "${handled:-}" =~ ^[0-9]+$ ]] || handled=0 valid=0 refused=0
}
handled_now() {
  read_counts
  echo "$handled"
}

# The sender: one sample after the other, cycling; the number sent is in $work/sent.
(
  n=0 c=0 b=0 ignition=true h=0
  send_one() {
    local i=$((n % ${#order[@]}))
    if [ "${order[$i]}" = 3 ]; then
      printf '%s\n' "${card_msgs[$((c % ${#card_msgs[@]}))]}" >&3
      c=$((c + 1))
    else
      printf '%s\n' "${barcode_msgs[$((b % ${#barcode_msgs[@]}))]}" >&4
      b=$((b + 1))
    fi
    n=$((n + 1))
    if [ $((n % 500)) -eq 0 ]; then
      if [ "$ignition" = true ]; then ignition=false; else ignition=true; fi
      board "$ignition" >&5
      echo >&5
    fi
  }
  if [ "$fast" = 1 ]; then
    while [ "$n" -lt "$count" ]; do
      read -r h _ <"$work/counts" 2>/dev/null || true
      [[ "$h" =~ ^[0-9]+$ ]] || h=0
      if [ $((n - h)) -lt "$window" ]; then
        while [ $((n - h)) -lt "$window" ] && [ "$n" -lt "$count" ]; do send_one; done
        echo "$n" >"$work/sent"
      else
        nap 0.002
      fi
    done
  else
    end=$((SECONDS + minutes * 60))
    t0=$(date +%s%N)
    while [ $SECONDS -lt $end ]; do
      send_one
      echo "$n" >"$work/sent"
      wait_ns=$((t0 + n * 200000000 - $(date +%s%N)))
      [ $wait_ns -le 0 ] || nap "$((wait_ns / 1000000000)).$(printf '%09d' $((wait_ns % 1000000000)))"
    done
  fi
  echo "$n" >"$work/sent"
  touch "$work/sent.done"
) &
sender=$!
pids+=("$sender")

milestones=(10000 100000 1000000)
sample() {
  local rss fds events sent handled
  kill -0 "$app" 2>/dev/null || died
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")
  fds=$(ls "/proc/$app/fd" | wc -l)
  events=$(stat -c %s "$work/events.ini" 2>/dev/null || echo 0)
  handled=$(handled_now)
  read_rewritten "$work/sent"
  sent=$line
  printf '%8s %10s %6s %10s %9s %9s\n' "$1" "$rss" "$fds" "$events" "$sent" "$handled"
  echo "$rss $fds $handled" >>"$work/samples.log"
}
printf '%8s %10s %6s %10s %9s %9s\n' elapsed rss-kB fds events-B sent handled
start=$SECONDS
next=$((SECONDS + every))
while [ ! -e "$work/sent.done" ]; do
  kill -0 "$app" 2>/dev/null || died
  h=$(handled_now)
  if [ ${#milestones[@]} -gt 0 ] && [ "$h" -ge "${milestones[0]}" ]; then
    sample "${milestones[0]}"
    milestones=("${milestones[@]:1}")
  fi
  if [ $SECONDS -ge $next ]; then
    sample "$((SECONDS - start))s"
    next=$((SECONDS + every))
  fi
  nap 0.5
done

# Everything sent: wait until the program has handled it all (or stops making progress).
sent=$(cat "$work/sent")
last=-1 still=0
while h=$(handled_now); [ "$h" -lt "$sent" ]; do
  kill -0 "$app" 2>/dev/null || died
  if [ "$h" = "$last" ]; then still=$((still + 1)); else still=0; last=$h; fi
  [ "$still" -lt 60 ] || break
  nap 0.5
done
# A milestone reached with the last validations, measured while the outcome screens
# still alternate; the last sample a few seconds later, back on the scan screen.
while [ ${#milestones[@]} -gt 0 ] && [ "$(handled_now)" -ge "${milestones[0]}" ]; do
  sample "${milestones[0]}"
  milestones=("${milestones[@]:1}")
done
nap 4
sample "$((SECONDS - start))s"
awk 'NR==1 {r0=$1; f0=$2} {if ($1>rmax) rmax=$1; if ($2>fmax) fmax=$2; r=$1; f=$2}
     END {printf "RSS first %d kB, last %d kB, peak %d kB; descriptors first %d, last %d, peak %d\n", r0, r, rmax, f0, f, fmax}' \
  "$work/samples.log"

read_counts
status=0
echo "validations sent $sent, handled $handled; valid screens $valid, refused screens $refused"
[ "$handled" = "$sent" ] || { echo "FAIL: $((sent - handled)) validation(s) not handled" >&2; status=1; }
if [ "${valid:-0}" -eq 0 ] || [ "${refused:-0}" -eq 0 ]; then
  echo "FAIL: the valid and the refused screens were not both shown" >&2
  status=1
fi
# The event log: its declared size, the entries it holds, and whether it reads back whole.
if [ -f "$work/events.ini" ]; then
  declared=$(sed -n 's/^size=//p' "$work/events.ini")
  entries=$(grep -c '\\name=' "$work/events.ini" || true)
  echo "event log: $(stat -c %s "$work/events.ini") bytes, size entry ${declared:-none}, $entries entries"
  [ "${declared:-x}" = "$entries" ] || { echo "FAIL: the event log does not hold what it declares" >&2; status=1; }
else
  echo "FAIL: no event log was written" >&2
  status=1
fi
if [ -s "$work/critical" ]; then
  echo "critical lines: $(wc -l <"$work/critical"), first:" && head -3 "$work/critical"
fi
exit $status
