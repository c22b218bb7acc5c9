#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets (clang++, ASan + UBSan) and runs each one for
# SECONDS seconds (default 60), starting from the committed seeds under
# tests/fuzz/corpus/<target> and the corpus grown by earlier runs in the
# build directory. Fails on any crash, timeout (10 s per input), memory
# blow-up (2 GiB) or sanitizer report; the input that caused it is left in
# BUILD/fuzz-artifacts/. Prints the executions run per target.
#
#   tests/fuzz.sh [SECONDS] [TARGET...]
#   KILN_FUZZ_BUILD=dir   build directory (default build-fuzz)
#   KILN_FUZZ_JOBS=n      targets run side by side (default 1)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
secs=${1:-60}
shift || true
build=${KILN_FUZZ_BUILD:-build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_pxg fuzz_info fuzz_xfer fuzz_trace fuzz_convert fuzz_finish fuzz_bdf)

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DKILN_FUZZ=ON -DKILN_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers >/dev/null

mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  local t=$1 grown=$build/fuzz-corpus/$t rc=0
  mkdir -p "$grown"
  rm -f "$build/fuzz-artifacts/$t-"*
  local extra=()
  # A 255-pixel bitmap takes 1 + 8,129 bytes.
  [ "$t" = fuzz_trace ] && extra=(-max_len=8130)
  "$build/tests/fuzz/$t" "$grown" "$root/tests/fuzz/corpus/$t" "${extra[@]}" \
    -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-artifacts/$t-" >"$build/fuzz-logs/$t.log" 2>&1 || rc=$?
  echo "$rc" >"$build/fuzz-logs/$t.rc"
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "${KILN_FUZZ_JOBS:-1}" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0
for t in "${targets[@]}"; do
  log=$build/fuzz-logs/$t.log
  rc=$(cat "$build/fuzz-logs/$t.rc")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ls "$build/fuzz-artifacts" | grep -q "^$t-" || grep -qE '^==[0-9]+==ERROR|runtime error:|fuzz check failed' "$log"; then
    rc=1
  fi
  printf '%-16s %10s executions  %s\n' "$t" "${execs:-?}" "$([ "$rc" -eq 0 ] && echo ok || echo "FAILED, see $log")"
  [ "$rc" -eq 0 ] || status=1
done
exit $status
