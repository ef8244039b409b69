#!/usr/bin/env bash
# Installs every Debian 12 package the project needs, to build, test and run the demo.
# Idempotent: safe to run again; apt-get skips what is already installed.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config git
  qtbase5-dev qtdeclarative5-dev qtquickcontrols2-5-dev libqt5serialport5-dev
  qttools5-dev qttools5-dev-tools qtdeclarative5-dev-tools
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
  qml-module-qtquick-layouts qml-module-qtgraphicaleffects qml-module-qtquick-extras
  qml-module-qtquick-controls qml-module-qttest qml-module-qtqml-models2
  qml-module-qtquick-virtualkeyboard qtvirtualkeyboard-plugin qml-module-qt-labs-folderlistmodel
  libqt5svg5 libqt5svg5-dev qt5-image-formats-plugins fonts-dejavu-core
  libmosquitto-dev mosquitto mosquitto-clients libqrcodegencpp-dev
  xvfb xauth x11-apps xdotool imagemagick zbar-tools librsvg2-bin
  sox dpkg-dev systemd openssl
  clang-14 libfuzzer-14-dev
  libmicrohttpd-dev python3 prometheus chromium chromium-driver python3-selenium
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "All packages present."
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${PACKAGES[@]}"
