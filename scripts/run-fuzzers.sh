#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and runs each for FUZZ_SECONDS,
# starting from the seed files that scripts/make-fuzz-seeds.sh makes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTARVIK_FUZZ=ON -DTARVIK_TESTS=OFF
cmake --build "$dir" -j "$(nproc)"
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
  if [ -x "scripts/make-fuzz-seeds.sh" ]; then bash scripts/make-fuzz-seeds.sh "$name" "$corpus"; fi
  echo "== $name for ${seconds}s"
  "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$corpus"
done
