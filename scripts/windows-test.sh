#!/usr/bin/env bash
# Builds the Windows backend of the platform layer and the folders above it that need no library
# Windows lacks here (log, util, config, mail), with their test suites, by cross-compiling with
# MinGW-w64 (cmake/MinGW-w64.cmake), then runs every suite under wine64 in a Wine prefix of the
# build folder. The prefix's wineserver is stopped again at the end.
#
# Usage: scripts/windows-test.sh [ctest arguments...]     (build-win/; exit status 0 when all pass)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-win
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/MinGW-w64.cmake" \
  -DCMAKE_MAKE_PROGRAM="$(command -v ninja)" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j "$(nproc)"

WINE64=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
WINESERVER=$(command -v /usr/lib/wine/wineserver wineserver | head -n 1)
export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
stop_wine() { "$WINESERVER" -k 2>/dev/null || true; }
trap stop_wine EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "windows-test: setting up the Wine prefix $WINEPREFIX"
  "$WINE64" wineboot --init >/dev/null 2>&1
  "$WINESERVER" -w
fi
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
