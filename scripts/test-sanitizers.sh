#!/usr/bin/env bash
# Builds with address and undefined-behaviour sanitizers into build-asan and runs every
# test there, headless (offscreen + software rendering; sanitizers and GL do not mix).
# Undefined behaviour stops the program at its first fault. Extra arguments go to
# ctest (e.g. -L broker).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-asan -DTICORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
cd build-asan
ctest --output-on-failure --timeout 900 "$@"
