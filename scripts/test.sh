#!/usr/bin/env bash
# Builds Bullmoor and runs the whole test suite, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBULLMOOR_SANITIZE=ON -DBULLMOOR_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0 ctest --output-on-failure -j"$jobs")

if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh; fi
