#!/usr/bin/env bash
# Builds Bullmoor when needed and starts a local game on this console, in ./play (prepared with
# the text screens and a default configuration on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target bullmoor >/dev/null
mkdir -p play
for f in dist/quonda.*; do
  [ -e "$f" ] || continue
  name=$(basename "$f")
  [ "$name" = "quonda.cfg.sample" ] && continue
  [ -e "play/$name" ] || cp "$f" "play/$name"
done
# A plain five-line configuration (the sample in dist/ explains each line).
[ -e play/quonda.cfg ] || printf 'Local Console\r\nquonda.doc\r\nquonda.bul\r\nSYSOP\r\nGATEKEEP\r\n' > play/quonda.cfg
cd play
exec ../build/bullmoor "$@"
