#!/usr/bin/env bash
# Runs ArdourSession.lua in ardour7-lua with the build's bundle in a private
# ~/.vst3. Ardour finds VST3 plug-ins through its scanner's cache, so the
# scanner runs first, as Ardour itself runs it when it rescans.
# Usage: ardour_vst3_test.sh Corvex.vst3 WORKDIR [class name]
# Exit 77 (skipped) when Ardour's Lua session tool or scanner is not installed.
set -uo pipefail
bundle=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
ardour=$(command -v ardour7-lua || true)
scan=${ARDOUR_VST3_SCANNER:-/usr/lib/ardour7/ardour-vst3-scanner}
if [ -z "$ardour" ] || [ ! -x "$scan" ]; then
  echo "SKIPPED: ardour7-lua or $scan is not installed (Debian package ardour)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/home/.vst3" || exit 1
# Ardour keeps its configuration and caches under HOME: a private one.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" CORVEX_ARDOUR_SESSION="$work/session"
export CORVEX_VST3_NAME=${3:-Vantor_Corvex_Head_v1_0}
# The link keeps the bundle's name: hosts find the module inside by it.
link="$HOME/.vst3/$(basename "$bundle")"
ln -s "$(cd "$bundle" && pwd)" "$link" || exit 1
LD_LIBRARY_PATH=$(dirname "$scan") timeout 60 "$scan" -q -f "$link" ||
  { echo "FAIL: the scanner refused the bundle"; exit 1; }
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
