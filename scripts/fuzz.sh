#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a short, bounded time
# from its committed seed corpus. Inputs the run adds go to a scratch copy, never to fuzz/corpus.
# Prints executions and crashes per target; fails on any crash, hang or sanitizer report.
#
#   scripts/fuzz.sh                    every target, FUZZ_SECONDS (15) seconds each
#   FUZZ_SECONDS=600 scripts/fuzz.sh keys line_input     longer runs of chosen targets
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-15}
jobs=$(nproc)

# Longest input per target: the record files need room for a whole market.
declare -A max_len=([records]=9000)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/fuzz_*.cpp; do
    name=$(basename "$src" .cpp)
    targets+=("${name#fuzz_}")
  done
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBULLMOOR_FUZZ=ON -DBULLMOOR_TESTS=OFF -DBULLMOOR_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_targets -j"$jobs" >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bullmoor-fuzz-run-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=0
for target in "${targets[@]}"; do
  binary=$root/build-fuzz/fuzz/fuzz_$target
  corpus=$scratch/corpus-$target
  log=$scratch/$target.log
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$target" ]; then cp -r "fuzz/corpus/$target/." "$corpus/"; fi
  status=0
  # -timeout fails an input that runs 10 s; the outer timeout catches a target stuck outside one.
  (cd "$scratch" && timeout -k 10 $((seconds + 60)) "$binary" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 \
      -max_len="${max_len[$target]:-4096}" -print_final_stats=1 -artifact_prefix="$scratch/$target-" \
      "$corpus") >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  crashes=0
  if [ "$status" -ne 0 ] || grep -qE 'runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' "$log"; then
    crashes=1
  fi
  printf 'fuzz %-13s %10s executions  %d crashes\n' "$target" "${runs:-0}" "$crashes"
  if [ "$crashes" -ne 0 ]; then
    failed=1
    grep -E 'runtime error|ERROR:|check failed|SUMMARY|Test unit written|^(0x|Base64)' "$log" | head -n 20
    for unit in "$scratch/$target"-*; do
      [ -e "$unit" ] && cp "$unit" "$root/build-fuzz/" && echo "  input kept: build-fuzz/$(basename "$unit")"
    done
  fi
done
exit "$failed"
