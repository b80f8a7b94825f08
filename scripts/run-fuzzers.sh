#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and runs each for FUZZ_SECONDS,
# starting from the seed files that scripts/fuzz-seeds/<target>.sh writes into the corpus folder.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTARVIK_FUZZ=ON -DTARVIK_TESTS=OFF
cmake --build "$dir" -j "$(nproc)" -t tarvik_fuzzers
shopt -s nullglob
targets=("$dir"/fuzz/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets"
  exit 0
fi
for t in "${targets[@]}"; do
  name="$(basename "$t")"
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  if [ -f "scripts/fuzz-seeds/$name.sh" ]; then bash "scripts/fuzz-seeds/$name.sh" "$corpus"; fi
  echo "== $name for ${seconds}s"
  "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$corpus"
done
