#!/usr/bin/env bash
# jalv, the LV2 host on JACK, runs Corvex Rig on a private dummy JACK server
# with a hostile control value and the user's cabinet chosen from its command
# line, lists the controls from its console, runs for two seconds and exits
# cleanly.
# Usage: jalv_rig_test.sh LV2_DIR WORKDIR   (exit 77 without jalv or jackd)
set -uo pipefail
lv2dir=$1 work=$2
for tool in jalv jackd; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work" || exit 1
# A fixed name: JACK takes back a name whose server has gone, where a new
# name each run would leave a slot of its registry taken after a crash.
server="corvex-rig-jalv"
jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackpid=$!
trap 'kill $jackpid 2>/dev/null; wait $jackpid 2>/dev/null' EXIT
sleep 1
export JACK_DEFAULT_SERVER=$server LV2_PATH=$lv2dir
uri=https://ardex-plugins.example/corvex-rig
(sleep 1; echo "gate_threshold = 0.5"; sleep 1; echo "controls"; sleep 0.5) |
  timeout 30 jalv -c master=1e30 -c cabinet_model=1.0 "$uri" >"$work/jalv.out" 2>&1
rc=$?
cat "$work/jalv.out"
if [ $rc -ne 0 ]; then echo "FAIL: jalv exited with $rc"; exit 1; fi
grep -q "^Plugin: *$uri" "$work/jalv.out" || { echo "FAIL: not loaded"; exit 1; }
grep -qi 'failed\|error' "$work/jalv.out" && { echo "FAIL: jalv reported an error"; exit 1; }
grep -q 'gate_threshold = 0.5' "$work/jalv.out" || { echo "FAIL: the console change did not reach the plug-in"; exit 1; }
echo "PASS"
