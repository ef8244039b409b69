#!/usr/bin/env bash
# Builds the fuzz targets (clang + libFuzzer, address and undefined-behaviour
# sanitizers) into build-fuzz and runs each for the given seconds (default 30),
# starting from the seed corpus in fuzz/corpus. Prints executions per target and
# every crash; exits non-zero when any target found one.
#   scripts/fuzz.sh [seconds-per-target] [target...]    e.g. scripts/fuzz.sh 600 gui transaction
# Inputs that reach new code are kept in build-fuzz/corpus, crashes in build-fuzz/findings.
# FUZZ_TIMEOUT (seconds, default 60) is how long one input may run before it counts as a
# hang; FUZZ_JOBS (default 1) how many targets run at once; FUZZ_LEAKS=1 turns leak
# checking on. It is off by default: Qt 5.15's JSON parser leaks the earlier value of a
# duplicated key that holds an object or array, and every target reads JSON, so each
# run would stop there within minutes.
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
# One target; its result line goes to build-fuzz/logs/<target>.result.
run_target() {
  local t=$1 bin=build-fuzz/fuzz_$1 corpus=build-fuzz/corpus/$1 log=build-fuzz/logs/$1.log
  local seeds=() extra=() asan=$ASAN_OPTIONS rc=0 runs rate result
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$t" ] && seeds=("$root/fuzz/corpus/$t")
  # These two keep one manager, QML engine included, for the whole run; the engine's
  # allocations live until exit and would read as leaks.
  case $t in gui|deviceid) extra+=(-detect_leaks=0); asan+=:detect_leaks=0 ;; esac
  if [ "${FUZZ_LEAKS:-0}" != 1 ]; then extra+=(-detect_leaks=0); asan+=:detect_leaks=0; fi
  (cd build-fuzz && ASAN_OPTIONS=$asan "$root/$bin" -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-60}" \
      -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/findings/$t-" "${extra[@]}" \
      "$root/$corpus" "${seeds[@]}") >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  rate=$(sed -n 's/^stat::average_exec_per_sec: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  if [ "$rc" -eq 0 ]; then result=ok; else result="CRASH (exit $rc, see $log)"; fi
  printf '%s %s %s %s\n' "$t" "${runs:-0}" "${rate:-?}" "$result" >"build-fuzz/logs/$t.result"
}

for t in "${targets[@]}"; do
  [ -x "build-fuzz/fuzz_$t" ] || { echo "no such target: $t" >&2; exit 2; }
  rm -f "build-fuzz/logs/$t.result"
done
# FUZZ_JOBS targets at a time (default 1).
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "${FUZZ_JOBS:-1}" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
wait || true

total=0
failed=()
printf '%-14s %12s %10s  %s\n' target executions exec/s result
for t in "${targets[@]}"; do
  read -r name runs rate result <"build-fuzz/logs/$t.result" || { runs=0; rate=?; result="no result"; }
  total=$((total + runs))
  printf '%-14s %12s %10s  %s\n' "$t" "$runs" "$rate" "$result"
  if [ "$result" != ok ]; then
    failed+=("$t")
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "build-fuzz/logs/$t.log" | head -8 | sed 's/^/    /'
  fi
done
printf '%-14s %12s\n' total "$total"
[ ${#failed[@]} -eq 0 ] || { echo "crashes in: ${failed[*]}" >&2; exit 1; }
