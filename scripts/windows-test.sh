#!/usr/bin/env bash
# Builds the Windows backend of the platform layer and the folders above it that need no library
# Windows lacks here (log, util, config, mail), with their test suites, by cross-compiling with
# MinGW-w64 (cmake/MinGW-w64.cmake), then runs every suite under wine64 in a Wine prefix of the
# build folder, with a private Xvfb for the windows it shows. The prefix's wineserver and the Xvfb are
# stopped again at the end.
#
# Usage: scripts/windows-test.sh [ctest arguments...]     (build-win/; exit status 0 when all pass)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build-win
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/MinGW-w64.cmake" \
  -DCMAKE_MAKE_PROGRAM="$(command -v ninja)" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j "$(nproc)"

WINE64=$(command -v /usr/lib/wine/wine64 || command -v wine64)
WINESERVER=$(command -v /usr/lib/wine/wineserver || command -v wineserver)
export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
xvfb_pid=""
stop_wine() {
  "$WINESERVER" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop_wine EXIT
# Wine shows a window only on an X display: the suites that press a real message box get a private
# Xvfb when none is set.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  display_file="$PWD/$dir/xvfb-display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  if [ -s "$display_file" ]; then export DISPLAY=":$(cat "$display_file")"; fi
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "windows-test: setting up the Wine prefix $WINEPREFIX"
  "$WINE64" wineboot --init >/dev/null 2>&1
  # A crash that a suite causes on purpose is not to wait on Wine's crash dialog.
  "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$WINESERVER" -w
fi
status=0
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --test-output-size-passed 4000000 --output-junit "$PWD/$dir/ctest-junit.xml" "$@" || status=$?
# Every point a suite skipped under Wine, one line each, with the reason the suite gave.
if [ -f "$dir/ctest-junit.xml" ]; then
  grep -o '\[ RUN      \] [^&]*\|skipped under Wine, which differs from Windows here: [^&]*' "$dir/ctest-junit.xml" |
    awk '/^\[ RUN/ { name = $4; next } { sub(/.*here: /, ""); print "windows-test: skipped under Wine: " name ": " $0 }' |
    sort -u
fi
exit "$status"
