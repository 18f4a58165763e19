#!/usr/bin/env bash
# Builds the Win32 window layer with MinGW into a small check program and
# runs it under wine on a private Xvfb display.
# Usage: win32_layer_test.sh SOURCE_DIR WORKDIR
# Exit 77 (skipped) when MinGW, wine or Xvfb are missing.
set -uo pipefail
src=$1 work=$2
cxx=x86_64-w64-mingw32-g++-posix
for tool in "$cxx" /usr/lib/wine/wine64 Xvfb; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed (scripts/setup.sh all)"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work" || exit 1

"$cxx" -std=c++17 -O1 -Wall -Wextra -Werror -I"$src" \
  "$src/tests/editor/win32/Win32LayerCheck.cpp" "$src/gui/platform/win32/Win32Platform.cpp" \
  "$src/gui/platform/win32/CDropTarget.cpp" "$src/gui/platform/Platform.cpp" "$src/common/ModuleHandle.cpp" \
  -o "$work/check.exe" -static -lole32 -luuid -lgdi32 -luser32 -lshell32 || { echo "FAIL: does not build"; exit 1; }

xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null' EXIT
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }

export DISPLAY=":$(head -n1 "$work/display")"
# wine64 itself, in the prefix the Windows builds' tests use too (made once,
# up to a minute): where wine32 is installed, plain "wine" starts the 32-bit
# loader, which a machine without i386 support cannot execute.
timeout 240 "$src/scripts/wine-run.sh" "$work/check.exe" </dev/null
rc=$?
"$src/scripts/wine-run.sh" --stop
exit $rc
