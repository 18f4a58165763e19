#!/usr/bin/env bash
# Runs ArdourSession.lua in ardour7-lua with the build's bundle on LV2_PATH.
# Usage: ardour_lv2_test.sh LV2_DIR WORKDIR
# Exit 77 (skipped) when Ardour's Lua session tool is not installed.
set -uo pipefail
lv2dir=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
ardour=$(command -v ardour7-lua || command -v ardour8-lua || true)
if [ -z "$ardour" ]; then
  echo "SKIPPED: ardour7-lua is not installed (Debian package ardour)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work" || exit 1
# Ardour keeps its configuration and caches under HOME: a private one.
export HOME="$work/home" LV2_PATH="$lv2dir" CORVEX_ARDOUR_SESSION="$work/session"
mkdir -p "$HOME"
timeout 90 "$ardour" "$here/ArdourSession.lua" >"$work/ardour.out" 2>&1
rc=$?
grep '^check ' "$work/ardour.out"
if ! grep -q '^done$' "$work/ardour.out" || grep -q '^check .* FAILED' "$work/ardour.out"; then
  echo "FAIL: Ardour exited with $rc; its output:"
  cat "$work/ardour.out"
  exit 1
fi
[ "$(grep -c '^check .* ok' "$work/ardour.out")" -eq 7 ] || { echo "FAIL: not every check ran"; exit 1; }
echo "PASS"
