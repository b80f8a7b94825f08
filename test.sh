#!/usr/bin/env bash
# Installs what is missing, builds Tarvik and runs its tests.
#   ./test.sh           release build in build/, every test
#   ./test.sh --asan    AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/, every test
#   ./test.sh --tsan    ThreadSanitizer build in build-tsan/, the threaded suites
#   ./test.sh --fuzz    libFuzzer targets in build-fuzz/, each for FUZZ_SECONDS (default 60)
#   ./test.sh --windows the Windows backend cross-built in build-win/, its suites under wine64
set -euo pipefail
cd "$(dirname "$0")"

mode="${1:-}"
bash scripts/install-deps.sh

jobs="$(nproc)"
case "$mode" in
  "")
    dir=build; flags=(); tests=() ;;
  --asan)
    dir=build-asan; flags=(-DTARVIK_SANITIZE=ON); tests=() ;;
  --tsan)
    dir=build-tsan; flags=(-DTARVIK_TSAN=ON); tests=(-L threads) ;;
  --fuzz)
    exec bash scripts/run-fuzzers.sh ;;
  --windows)
    exec bash scripts/windows-test.sh ;;
  *)
    echo "usage: $0 [--asan|--tsan|--fuzz|--windows]" >&2; exit 2 ;;
esac

cmake -S . -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "$jobs"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${tests[@]}"
