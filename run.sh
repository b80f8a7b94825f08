#!/usr/bin/env bash
# Installs what is missing, builds Tarvik and runs the service on the demo configuration in demo/.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DTARVIK_TESTS=OFF
cmake --build build -j "$(nproc)"
exec bash scripts/run-demo.sh build/bin
