#!/usr/bin/env bash
# Compiles, syntax only, for 64-bit Windows with MinGW-w64: every portable platform contract
# (platform/*.h but the Linux-only *_posix.h) and every source file of the folders above platform/
# that must stay free of system headers (config, engine, log, mail, util, watch; their *_posix files
# excepted), and the part of shell/ without Qt or X11 (start-up, the headless loop, the tray module's
# loader, the uninstall; main.cpp too). A generated file then includes platform/Windows_win.h before every contract header and
# fails on any contract name that <windows.h> still defines as a macro.
#
# Usage: scripts/windows-syntax-check.sh        (exit status 0 when every file passes)
set -euo pipefail
cd "$(dirname "$0")/.."

CXX=x86_64-w64-mingw32-g++-posix
command -v "$CXX" >/dev/null || CXX=x86_64-w64-mingw32-g++
command -v "$CXX" >/dev/null || { echo "windows-syntax-check: $CXX not installed" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Boost's headers alone, without the rest of /usr/include.
mkdir -p "$WORK/include"
ln -s /usr/include/boost "$WORK/include/boost"

shopt -s nullglob
contracts=()
for f in platform/*.h; do
  case "$f" in *_posix.h | *_win.h) ;; *) contracts+=("$f") ;; esac
done
files=("${contracts[@]}" platform/Windows_win.h)
for dir in config engine log mail util watch; do
  for f in "$dir"/*.h "$dir"/*.cpp; do
    case "$f" in *_posix.h | *_posix.cpp) ;; *) files+=("$f") ;; esac
  done
done
# shell/: a file is desktop code when it includes a Qt or xcb header, or a shell header that is.
desktop=$(grep -lE '#include <(Q|xcb/)' shell/*.h shell/*.cpp | tr '\n' ' ' || true)
for _ in 1 2 3; do
  for h in $desktop; do
    case "$h" in *.h) desktop="$desktop $(grep -lF "#include \"$h\"" shell/*.h shell/*.cpp | tr '\n' ' ' || true)" ;; esac
  done
done
for f in shell/*.h shell/*.cpp; do
  case " $desktop " in *" $f "*) ;; *) case "$f" in *_posix.* | *_xcb.*) ;; *) files+=("$f") ;; esac ;; esac
done

# Every identifier the contracts declare (functions, types, constants) must be free of macros once
# Windows_win.h is included.
gen="$WORK/windows_macro_rule.cpp"
{
  echo '#include "platform/Windows_win.h"'
  for h in "${contracts[@]}"; do echo "#include \"$h\""; done
  sed -E 's://.*$::' "${contracts[@]}" |
    grep -ohE '\b[A-Za-z_][A-Za-z0-9_]*[[:space:]]*\(|\b(class|struct|enum class|using)[[:space:]]+[A-Za-z_][A-Za-z0-9_]*' |
    sed -E 's/[[:space:]]*\($//; s/^(class|struct|enum class|using)[[:space:]]+//' | sort -u |
    while read -r name; do
      printf '#ifdef %s\n#error "%s is a macro of <windows.h>: #undef it in platform/Windows_win.h"\n#endif\n' "$name" "$name"
    done
} >"$gen"
files+=("$gen")

# A header is compiled as the one line that includes it.
check() {
  local f=$1
  case "$f" in
  *.h) echo "#include \"$f\"" | "$CXX" -std=c++20 -fsyntax-only -x c++ -I. -isystem "$WORK/include" - 2>&1 ;;
  *) "$CXX" -std=c++20 -fsyntax-only -I. -isystem "$WORK/include" "$f" 2>&1 ;;
  esac || { echo "FAILED: $f"; return 1; }
}
export -f check
export CXX WORK
failed=0
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} bash -c 'check "$1"' _ {} >"$WORK/log" || failed=1
cat "$WORK/log"
total=${#files[@]}
bad=$(grep -c '^FAILED: ' "$WORK/log" || true)
echo "windows-syntax-check: $((total - bad)) of $total files pass"
exit $failed
