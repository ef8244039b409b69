#!/usr/bin/env bash
# Runs the tests of a cross build under qemu-user:
#   scripts/cross-test.sh arm64|armhf [ctest options...]
# Builds first (scripts/cross-build.sh) when build-<arch>/ has no package yet.
# The build machine's mosquitto serves the emulated programs on 127.0.0.1. Left out:
# the tests that draw through Xvfb's OpenGL or tap with xdotool (native only).
#
# Every emulated program runs inside a PID namespace of its own, with Qt kept off
# pidfds: under qemu-user 7.2 a started child's pid can come back as -1, and
# QProcess::kill() then signals every process it may, which as root is the machine.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case "$arch" in
  arm64) qemu_arch=aarch64 triplet=aarch64-linux-gnu ;;
  armhf) qemu_arch=arm triplet=arm-linux-gnueabihf ;;
  *) echo "usage: $0 arm64|armhf [ctest options...]" >&2; exit 2 ;;
esac
shift
build=$PWD/build-$arch
native_only="tst_guikeyboard|tst_selftestqr"

if [ "${TICORA_CROSS_TEST_NAMESPACE:-}" != "$arch" ]; then
  if ! ls "$build"/ticora_*_"$arch".deb >/dev/null 2>&1; then
    bash scripts/cross-build.sh "$arch"
  fi
  # Tests start target programs as children: the kernel hands them to qemu.
  if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  update-binfmts --enable "qemu-$qemu_arch" 2>/dev/null || true
  if [ "$(cat "/proc/sys/fs/binfmt_misc/qemu-$qemu_arch" 2>/dev/null | head -1)" != enabled ]; then
    echo "error: binfmt_misc has no enabled qemu-$qemu_arch entry" >&2
    exit 1
  fi
  exec env TICORA_CROSS_TEST_NAMESPACE="$arch" unshare -pf --mount-proc bash "$0" "$arch" "$@"
fi

# Inside the namespace this shell is its first process; anywhere else, stop here.
if [ $$ -ne 1 ]; then
  echo "error: not inside a PID namespace of its own; refusing to run emulated programs" >&2
  exit 1
fi

preload=$build/tools/emulation/libticora-nopidfd.so
if [ ! -f "$preload" ]; then
  echo "error: $preload is missing; run scripts/cross-build.sh $arch" >&2
  exit 1
fi
# qemu sets it for the emulated program only; the library takes it out of the
# environment again, so the build machine's programs started as children never
# see it, while each emulated child gets it from its own qemu.
export QEMU_SET_ENV="LD_PRELOAD=$preload"
# A build against unpacked libraries (scripts/cross-build.sh's fallback): every
# emulated program, the children too, loads them from there.
sysroot=$(sed -n 's/^TICORA_CROSS_SYSROOT:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -n "$sysroot" ]; then
  export QEMU_LD_PREFIX=$sysroot
  # qemu does not redirect every file look-up there (Qt's statx calls): name
  # the QML modules' and plug-ins' folders outright.
  export QML2_IMPORT_PATH=$sysroot/usr/lib/$triplet/qt5/qml
  export QT_PLUGIN_PATH=$sysroot/usr/lib/$triplet/qt5/plugins
fi
# Qt Test's own limit per test function; CTest's per test is raised by the build.
export QTEST_FUNCTION_TIMEOUT=1800000

cd "$build"
ctest --output-on-failure -E "$native_only" "$@"
