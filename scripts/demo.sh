#!/usr/bin/env bash
# The whole system on a developer's machine: installs what is missing, builds, then runs
# a private mosquitto broker on a free loopback port, ticora and the device simulator
# against it, everything kept in ./work (nothing under /etc is touched).
#
# The simulator reads this terminal: type its commands here (help, tap valid,
# tap refused 102, card retry, status no-rfid, ignition off ...). Ctrl-C or "quit"
# stops everything this script started.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/demo.sh [--headless] [--locale en_US|el_GR] [-- TICORA-OPTIONS...]

  --headless      run under Xvfb even when a display is available
  --locale LOC    language of the panel (en_US; el_GR is the device's default)
  -- ...          passed on to ticora (for example -v 4)

Without a display (no DISPLAY or WAYLAND_DISPLAY), and with --headless, the panel runs
under Xvfb and a screenshot of every screen it shows is saved into work/screenshots/.
EOF
}

HEADLESS=0
LOCALE=en_US
TICORA_ARGS=()
while [ $# -gt 0 ]; do
  case $1 in
    --headless) HEADLESS=1 ;;
    --locale)
      [ $# -ge 2 ] || { usage >&2; exit 2; }
      LOCALE=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; TICORA_ARGS=("$@"); break ;;
    *) echo "demo: unknown option: $1" >&2; usage >&2; exit 2 ;;
  esac
  shift
done

cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/work
SHOTS=$WORK/screenshots
TICORA=$ROOT/build/src/ticora
SIM=$ROOT/build/tools/sim/ticora-sim

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"${JOBS:-$(nproc)}" --target ticora ticora-sim
mkdir -p "$WORK"

# --- stop everything this script started, however it ends ----------------------------
# Every background program but the simulator runs in a session (and process group) of
# its own, so Ctrl-C reaches only the simulator and this script, and the group is what
# gets stopped.
SIM_PID=""
GROUPS_STARTED=()
cleanup() {
  trap - INT TERM EXIT
  local pid i
  if [ -n "${SIM_PID:-}" ]; then
    kill -TERM "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  for ((i = ${#GROUPS_STARTED[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${GROUPS_STARTED[i]}" 2>/dev/null || true
  done
  for pid in "${GROUPS_STARTED[@]}"; do
    for _ in $(seq 50); do
      kill -0 -- "-$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  GROUPS_STARTED=()
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM

# Starts "$@" in the background in a new session; its pid (= group id) in LAST_PID.
# Without job control the child is no group leader, so setsid keeps its pid.
start_group() {
  setsid "$@" &
  LAST_PID=$!
  GROUPS_STARTED+=("$LAST_PID")
}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# --- the display ------------------------------------------------------------------------
QPA_ENV=()
RECORD=0
# No VNC option: Qt 5.15's VNC platform listens on every interface, not only loopback.
if [ "$HEADLESS" = 1 ] || { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
  # Xvfb picks a free display number itself and writes it to the descriptor when ready.
  rm -f "$WORK/xvfb.display"
  start_group Xvfb -displayfd 3 -screen 0 480x800x24 -nolisten tcp \
    3>"$WORK/xvfb.display" 2>"$WORK/xvfb.log"
  XVFB_PID=$LAST_PID
  for _ in $(seq 100); do
    [ -s "$WORK/xvfb.display" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if ! [ -s "$WORK/xvfb.display" ]; then
    echo "demo: Xvfb could not be started (see $WORK/xvfb.log)" >&2
    exit 1
  fi
  XDISPLAY=:$(tr -dc 0-9 < "$WORK/xvfb.display")
  echo "demo: no display here; ticora runs under Xvfb on $XDISPLAY"
  QPA_ENV=(DISPLAY="$XDISPLAY" QT_QPA_PLATFORM=xcb)
  unset WAYLAND_DISPLAY
  RECORD=1
fi
if [ "$RECORD" = 1 ]; then
  mkdir -p "$SHOTS"
  rm -f "$SHOTS"/*.png
  QPA_ENV+=(TICORA_SCREENSHOT_DIR="$SHOTS")
fi

# --- the broker: foreground mosquitto on a free 127.0.0.1 port ------------------------
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)
start_broker() {
  local port=$1
  cat > "$WORK/mosquitto.conf" <<EOF
listener $port 127.0.0.1
allow_anonymous true
persistence false
user $(id -un)
EOF
  start_group "$MOSQUITTO" -c "$WORK/mosquitto.conf" 2>>"$WORK/mosquitto.log"
  BROKER_PID=$LAST_PID
  for _ in $(seq 50); do
    listening "$port" && return 0
    kill -0 "$BROKER_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

: > "$WORK/mosquitto.log"
PORT=""
for _ in $(seq 20); do
  candidate=$((20000 + RANDOM % 40000))
  listening "$candidate" && continue
  if start_broker "$candidate"; then
    PORT=$candidate
    break
  fi
done
if [ -z "$PORT" ]; then
  echo "demo: mosquitto could not be started (see $WORK/mosquitto.log)" >&2
  exit 1
fi
echo "demo: mosquitto listening on 127.0.0.1:$PORT"

# --- settings and device id, written afresh each run -----------------------------------
echo "DEMO-0000001" > "$WORK/serialnumber"
cat > "$WORK/gui.conf" <<EOF
[gui]
deviceId=$WORK/serialnumber
locale=$LOCALE

[log]
syslog=false
stderr=true

[mqtt]
host=127.0.0.1
port=$PORT
EOF

# --- a small fake device tree for the self-test (Settings > Diagnostics) ---------------
# Hub, RFID reader, touch panel and SD card as expected; the serial converter has the
# wrong product id (ERROR) and nothing sits on the USB host port (MISSING).
DEVICE_ROOT=$WORK/device
rm -rf "$DEVICE_ROOT"
fake_usb() {
  local dir=$DEVICE_ROOT/sys/bus/usb/devices/$1
  mkdir -p "$dir"
  echo "$2" > "$dir/idVendor"; echo "$3" > "$dir/idProduct"; echo "$4" > "$dir/product"
}
fake_usb 1-1 0451 2077 "USB 2.0 Hub"
fake_usb 1-1.2 ffff 0001 "mPCIe modem"
fake_usb 1-1.3 0ab1 0007 "Card reader"
fake_usb 1-1.5 0403 6001 "Serial converter"
fake_usb 1-1.6 ffff 0002 "Barcode reader"
fake_usb 1-1.7 222a 0001 "Touch panel"
mkdir -p "$DEVICE_ROOT/dev" && : > "$DEVICE_ROOT/dev/mmcblk1p1"

# --- the panel ------------------------------------------------------------------------
# The simulator's timedatectl answers the region page; the time zone it sets is kept
# in work/timezone, the host's clock is never touched.
start_group env -C "$WORK" "${QPA_ENV[@]}" PATH="$ROOT/tools/sim/bin:$PATH" \
  TICORA_SIM_TIMEZONE_FILE="$WORK/timezone" TICORA_DEVICE_ROOT="$DEVICE_ROOT" \
  "$TICORA" -f gui.conf -e -H 127.0.0.1 -P "$PORT" \
  "${TICORA_ARGS[@]}" >"$WORK/ticora.log" 2>&1
TICORA_PID=$LAST_PID

# Screen changes and screenshots shown here; the full log is in work/ticora.log.
start_group bash -c 'tail -n +1 -F "$1" 2>/dev/null \
  | grep --line-buffered -E "Setting screen|ScreenRecorder|ERROR|Connected to broker" \
  | sed -u "s/^/[ticora] /"' follow "$WORK/ticora.log"

for _ in $(seq 300); do
  grep -q "Connected to broker" "$WORK/ticora.log" && break
  if ! kill -0 "$TICORA_PID" 2>/dev/null; then
    echo "demo: ticora stopped; its log ($WORK/ticora.log) ends with:" >&2
    tail -n 20 "$WORK/ticora.log" >&2
    exit 1
  fi
  sleep 0.1
done
[ "$RECORD" = 1 ] && echo "demo: screenshots go to $SHOTS"
echo "demo: simulator commands below (help lists them); Ctrl-C or quit stops everything"

# --- the simulator: its input is this terminal -----------------------------------------
# It stays in this script's process group, which the terminal keeps in the foreground,
# so it reads what is typed here. Started in the background and waited for, so that
# Ctrl-C or a TERM sent to this script runs the clean-up at once; the explicit <&0
# keeps its standard input from being replaced by /dev/null.
"$SIM" -H 127.0.0.1 -P "$PORT" <&0 &
SIM_PID=$!
wait "$SIM_PID" || true
SIM_PID=""
