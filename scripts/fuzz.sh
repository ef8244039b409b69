#!/usr/bin/env bash
# Builds the fuzz targets (clang + libFuzzer, address and undefined-behaviour
# sanitizers) into build-fuzz and runs each for the given seconds (default 30),
# starting from the seed corpus in fuzz/corpus. Prints executions per target and
# every crash; exits non-zero when any target found one.
#   scripts/fuzz.sh [seconds-per-target] [target...]    e.g. scripts/fuzz.sh 600 gui transaction
# Inputs that reach new code are kept in build-fuzz/corpus, crashes in build-fuzz/findings.
# FUZZ_TIMEOUT (seconds, default 60) is how long one input may run before it counts as a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-30}
shift || true

CXX_FUZZ=${CXX_FUZZ:-clang++-14}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER="$CXX_FUZZ" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in build-fuzz/fuzz_*; do [ -f "$f" ] && [ -x "$f" ] && targets+=("${f#build-fuzz/fuzz_}"); done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p build-fuzz/findings build-fuzz/logs
total=0
failed=()
printf '%-14s %12s %10s  %s\n' target executions exec/s result
for t in "${targets[@]}"; do
  bin=build-fuzz/fuzz_$t
  [ -x "$bin" ] || { echo "no such target: $t" >&2; exit 2; }
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
  extra=()
  asan=$ASAN_OPTIONS
  # These two keep one manager, QML engine included, for the whole run; the engine's
  # allocations live until exit and would read as leaks.
  case $t in gui|deviceid) extra+=(-detect_leaks=0); asan+=:detect_leaks=0 ;; esac
  log=build-fuzz/logs/$t.log
  rc=0
  (cd build-fuzz && ASAN_OPTIONS=$asan "$root/$bin" -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-60}" -rss_limit_mb=3072 -print_final_stats=1 \
      -artifact_prefix="$root/build-fuzz/findings/$t-" "${extra[@]}" "$root/$corpus" \
      "${seeds[@]/#/$root/}") >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  runs=${runs:-0}
  rate=$(sed -n 's/^stat::average_exec_per_sec: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  total=$((total + runs))
  if [ "$rc" -eq 0 ]; then
    result=ok
  else
    result="CRASH (exit $rc, see $log)"
    failed+=("$t")
  fi
  printf '%-14s %12s %10s  %s\n' "$t" "$runs" "${rate:-?}" "$result"
  if [ "$rc" -ne 0 ]; then
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -8 | sed 's/^/    /'
  fi
done
printf '%-14s %12s\n' total "$total"
[ ${#failed[@]} -eq 0 ] || { echo "crashes in: ${failed[*]}" >&2; exit 1; }
