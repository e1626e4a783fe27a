#!/usr/bin/env bash
# Builds Bullmoor in Release (build-bench/) and runs every benchmark: the player file at scale,
# then bytes on the wire and latency of the game through the virtual caller. Each figure is
# printed beside its floor and their ratio, measured in the same run. Benchmarks are not tests:
# they print figures and never fail on them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBULLMOOR_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target bullmoor bench_player_file bench_door >/dev/null

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
memory=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
echo "Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, ${memory} memory, Linux $(uname -r)," \
     "/tmp on $(df -T /tmp | awk 'NR == 2 {print $2}')"
echo
build-bench/bench/bench_player_file
echo
build-bench/bench/bench_door
