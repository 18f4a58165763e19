#!/usr/bin/env bash
# jalv, the LV2 host on JACK, runs the plug-in on a private dummy JACK
# server: it loads a session state saved by an earlier build (jalv -l), takes
# a hostile control value from its command line and a Channel change from
# its console, runs for two seconds and exits cleanly.
# Usage: jalv_lv2_test.sh LV2_DIR FIXTURE.ttl WORKDIR
# Exit 77 (skipped) without jalv or jackd.
set -uo pipefail
lv2dir=$1 fixture=$2 work=$3
for tool in jalv jackd; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work/state" || exit 1
# A jalv state folder: the saved session as state.ttl about the file itself.
{
  echo '@prefix lv2: <http://lv2plug.in/ns/lv2core#> .'
  echo '@prefix pset: <http://lv2plug.in/ns/ext/presets#> .'
  echo '@prefix state: <http://lv2plug.in/ns/ext/state#> .'
  echo '@prefix atom: <http://lv2plug.in/ns/ext/atom#> .'
  echo '@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .'
  sed 's|^<urn:corvex:fixture>|<>|' "$fixture"
} >"$work/state/state.ttl"
# A fixed name: JACK takes back a name whose server has gone, where a new
# name each run would leave a slot of its registry taken after a crash.
server="corvex-lv2-jalv"
jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackpid=$!
trap 'kill $jackpid 2>/dev/null; wait $jackpid 2>/dev/null' EXIT
sleep 1
export JACK_DEFAULT_SERVER=$server LV2_PATH=$lv2dir
# Console commands after the plug-in runs, then end of input: jalv exits.
(sleep 1; echo "channel = 0"; sleep 1; echo "controls"; sleep 0.5) |
  timeout 30 jalv -l "$work/state" -c volume=1e30 https://ardex-plugins.example/corvex >"$work/jalv.out" 2>&1
rc=$?
cat "$work/jalv.out"
if [ $rc -ne 0 ]; then echo "FAIL: jalv exited with $rc"; exit 1; fi
grep -q '^Plugin: *https://ardex-plugins.example/corvex' "$work/jalv.out" || { echo "FAIL: not loaded"; exit 1; }
grep -qi 'failed\|error' "$work/jalv.out" && { echo "FAIL: jalv reported an error"; exit 1; }
grep -q 'channel = 0' "$work/jalv.out" || { echo "FAIL: the console change did not reach the plug-in"; exit 1; }
echo "PASS"
