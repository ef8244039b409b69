#!/usr/bin/env bash
# Pictures of every passenger screen in English and Greek, taken from the real
# program on a private X server (Xvfb) so the recoloured symbols are drawn.
#
#   scripts/screenshots.sh [OUT_DIR] [extra ticora-screenshots options...]
#
# Pictures go to OUT_DIR/<locale>/<screen>.png; OUT_DIR defaults to
# BUILD_DIR/screenshots. BUILD_DIR (default ./build) names the build folder.
# The English set in docs/screenshots is a selection of OUT_DIR/en_US: English shown on
# a unit in Athens, as a passenger who switched the language sees it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=$BUILD_DIR/screenshots
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  OUT=$1
  shift
fi

if [ ! -d "$BUILD_DIR" ]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$BUILD_DIR" -j2 --target ticora-screenshots
TOOL=$BUILD_DIR/tools/screenshots/ticora-screenshots

XVFB_PID=""
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup INT TERM EXIT

# A display number nobody holds; another run may take it between the check and
# the start, so a server that dies at once means: try the next one.
DISPLAY_NUM=""
for n in $(seq 99 199); do
  [ -e "/tmp/.X$n-lock" ] && continue
  [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 480x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    DISPLAY_NUM=$n
    break
  fi
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
done
if [ -z "$DISPLAY_NUM" ]; then
  echo "screenshots: could not start Xvfb on any display from :99 to :199" >&2
  exit 1
fi

mkdir -p "$OUT"
env -u QT_QUICK_BACKEND DISPLAY=":$DISPLAY_NUM" QT_QPA_PLATFORM=xcb "$TOOL" --out "$OUT" "$@"
