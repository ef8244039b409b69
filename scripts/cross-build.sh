#!/usr/bin/env bash
# Builds the panel and its Debian package for an ARM board on this Debian 12 machine:
#   scripts/cross-build.sh arm64|armhf
# Installs what is missing (the target's architecture, Debian's cross compiler and the
# target's -dev libraries beside the build machine's), builds into build-<arch>/ and
# leaves build-<arch>/ticora_<version>_<arch>.deb. Idempotent, like install-deps.sh.
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case "$arch" in
  arm64|armhf) ;;
  *) echo "usage: $0 arm64|armhf [cmake options...]" >&2; exit 2 ;;
esac
shift

# What the build links against and what the emulated tests load at run time.
TARGET_PACKAGES=(
  qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev libqt5serialport5-dev
  qttools5-dev libqt5svg5-dev libqt5svg5 libmosquitto-dev libqrcodegencpp-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
  qml-module-qtquick-layouts qml-module-qtgraphicaleffects qml-module-qtquick-extras
  qml-module-qtquick-controls qml-module-qttest qml-module-qtqml-models2
  qml-module-qtquick-virtualkeyboard qtvirtualkeyboard-plugin qml-module-qt-labs-folderlistmodel
  qt5-image-formats-plugins libmicrohttpd-dev
)
# The build machine's side: compiler, emulator, package tools. The Qt code generators
# come with scripts/install-deps.sh.
HOST_PACKAGES=(crossbuild-essential-"$arch" qemu-user-static binfmt-support dpkg-dev lintian)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# /tmp may be 0755 here, where apt's unprivileged helper cannot verify new lists.
export TMPDIR=/var/tmp

# The fallback when the target architecture's lists cannot be had: the same packages
# from the main archive, fetched with a private apt state (nothing on this machine's
# own apt changes) and unpacked into a folder of their own. dpkg knows nothing of them,
# so their shlibs entries are collected for dpkg-shlibdeps (shlibs.local).
make_sysroot() {
  local root=/var/tmp/ticora-cross-$arch
  local stamp
  stamp=$(printf '%s\n' "${TARGET_PACKAGES[@]}" libc6-dev libstdc++-12-dev | sha1sum | cut -c1-12)
  sysroot=$root/sysroot
  if [ -f "$root/complete-$stamp" ]; then return 0; fi
  rm -rf "$root"
  mkdir -p "$root"/etc/sources.list.d "$root"/etc/preferences.d "$root"/state/lists/partial \
    "$root"/cache/archives/partial "$sysroot"
  : >"$root/status"
  printf 'deb http://deb.debian.org/debian bookworm main\ndeb http://deb.debian.org/debian bookworm-updates main\n' \
    >"$root/etc/sources.list"
  local opts=(-o APT::Architecture="$arch" -o APT::Architectures::="$arch"
    -o Dir::Etc::SourceList="$root/etc/sources.list" -o Dir::Etc::SourceParts="$root/etc/sources.list.d"
    -o Dir::Etc::Preferences="$root/etc/preferences" -o Dir::Etc::PreferencesParts="$root/etc/preferences.d"
    -o Dir::State="$root/state" -o Dir::State::status="$root/status" -o Dir::Cache="$root/cache"
    -o Debug::NoLocking=1)
  local ok=0
  for attempt in 1 2 3; do
    if apt-get "${opts[@]}" update; then ok=1; break; fi
    sleep 30
  done
  [ "$ok" -eq 1 ] || { echo "error: the main archive's $arch lists could not be fetched" >&2; return 1; }
  apt-get "${opts[@]}" install --download-only -y --no-install-recommends \
    "${TARGET_PACKAGES[@]}" libc6-dev libstdc++-12-dev
  : >"$root/shlibs.local"
  for deb in "$root"/cache/archives/*.deb; do
    dpkg-deb -x "$deb" "$sysroot"
    dpkg-deb -I "$deb" shlibs 2>/dev/null | grep -v '^udeb:' >>"$root/shlibs.local" || true
  done
  # Qt's CMake files name their code generators inside the sysroot: use the build
  # machine's (Multi-Arch: foreign) instead of the target's.
  rm -rf "$sysroot/usr/lib/qt5/bin"
  ln -s /usr/lib/qt5/bin "$sysroot/usr/lib/qt5/bin"
  touch "$root/complete-$stamp"
}

bash scripts/install-deps.sh

wanted=("${HOST_PACKAGES[@]}")
for p in "${TARGET_PACKAGES[@]}"; do wanted+=("$p:$arch"); done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sysroot=""
if [ ${#missing[@]} -gt 0 ] && compgen -G "/var/tmp/ticora-cross-$arch/complete-*" >/dev/null; then
  # An earlier run fell back to the unpacked libraries: keep using them.
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${HOST_PACKAGES[@]}"
  make_sysroot
elif [ ${#missing[@]} -gt 0 ]; then
  added=0
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    $SUDO dpkg --add-architecture "$arch"
    added=1
  fi
  # While the archive syncs, one architecture's index can briefly have the wrong
  # size; apt-get update then exits 100 and keeps the old lists.
  updated=0
  for attempt in 1 2 3 4; do
    if $SUDO apt-get update; then updated=1; break; fi
    echo "apt-get update failed (attempt $attempt of 4)" >&2
    [ "$attempt" -eq 4 ] || sleep 30
  done
  if [ "$updated" -eq 1 ]; then
    $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${wanted[@]}"
  else
    # A foreign architecture whose index cannot be fetched makes every later
    # apt-get update on this machine fail: take it away again at once.
    if [ "$added" -eq 1 ]; then
      $SUDO dpkg --remove-architecture "$arch"
      $SUDO apt-get update || true
    fi
    echo "warning: the package lists for $arch could not be fetched; unpacking its libraries instead" >&2
    $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${HOST_PACKAGES[@]}"
    make_sysroot
  fi
fi

cmake_options=()
if command -v ccache >/dev/null; then
  cmake_options=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
if [ -n "$sysroot" ]; then
  cmake_options+=(-DTICORA_CROSS_SYSROOT="$sysroot")
fi
build=build-$arch
# The benchmarks stay native; the fuzz targets are a project of their own anyway.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/$arch.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTICORA_BUILD_BENCHMARKS=OFF "${cmake_options[@]}" "$@"
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/ticora_*_"$arch".deb)
dpkg-deb -f "$deb" Architecture
# Errors fail the build; the warnings left are listed in the README.
lintian --fail-on error "$deb"
ls -l "$deb"
