#!/usr/bin/env bash
# Installs what is missing, builds, and starts ticora with its settings in ./work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
mkdir -p work
cd work
exec ../build/src/ticora -f gui.conf -e "$@"
