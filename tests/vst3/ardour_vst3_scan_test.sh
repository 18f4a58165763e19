#!/usr/bin/env bash
# A real host's view: Ardour's VST3 scanner loads the bundle as Ardour does
# (module entry, factory, component, processor, controller) and writes its
# cache file; its verbose output names each class with its inputs and
# outputs. Corvex must be there with 2 inputs and 2 outputs.
# Usage: ardour_vst3_scan_test.sh Corvex.vst3 [class name]   (exit 77: Ardour not installed)
set -uo pipefail
bundle=$1
name=${2:-}
scan=${ARDOUR_VST3_SCANNER:-/usr/lib/ardour7/ardour-vst3-scanner}
if [ ! -x "$scan" ]; then
  echo "SKIPPED: $scan not found (Debian package ardour)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The scanner writes its cache beside the user's configuration.
export XDG_CONFIG_HOME=$work/config HOME=$work
out=$(LD_LIBRARY_PATH=$(dirname "$scan")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} timeout 60 "$scan" -f -v "$bundle" 2>&1)
rc=$?
echo "$out"
[ "$rc" -eq 0 ] || { echo "FAIL: the scanner exited with $rc"; exit 1; }
cache=$(find "$work" -name '*.v3i' | head -n1)
[ -n "$cache" ] || { echo "FAIL: no cache file written"; exit 1; }
echo "--- $cache"
cat "$cache"
fail=0
grep -q 'name="[^"]*Corvex[^"]*"' "$cache" || { echo "FAIL: no Corvex class in the cache"; fail=1; }
if [ -n "$name" ]; then
  grep -q "name=\"$name\"" "$cache" || { echo "FAIL: no class named $name in the cache"; fail=1; }
fi
grep -q 'n_inputs="2"' "$cache" || { echo "FAIL: not 2 inputs"; fail=1; }
grep -q 'n_outputs="2"' "$cache" || { echo "FAIL: not 2 outputs"; fail=1; }
grep -q 'vendor="Ardex Plugins"' "$cache" || { echo "FAIL: vendor"; fail=1; }
[ "$fail" -eq 0 ] && echo "PASS: $(grep -o 'name="[^"]*"' "$cache" | head -n1), 2 in, 2 out"
exit $fail
