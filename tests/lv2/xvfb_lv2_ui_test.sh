#!/usr/bin/env bash
# The LV2 UI on a real X server through suil, with the plug-in running in
# the same host: starts Xvfb; the session's history sets Drive 0.25 on
# channel 1, switches to channel 2 and sets Drive 0.9 there, all before the
# UI opens, so the UI has never seen channel 1's Drive. With xdotool it then
# drags the Contour knob and clicks the Channel switch, and last the host
# itself switches back to channel 2. Checks that opening writes nothing,
# that the drag is one touch gesture of rising writes, and that each
# Channel change writes the values the amp recalled to the host's ports.
# Last, the UI at the host's ui:scaleFactor 2: its window is 1320 x 496, it
# asks the host for that size, reports the scale through its options
# interface, and 100 screen pixels up move Contour as far as 50 do at 1x.
# Usage: xvfb_lv2_ui_test.sh HOST BUNDLE WORKDIR
# Exit 77 (skipped) when Xvfb or xdotool are missing.
set -uo pipefail
host=$1 bundle=$2 work=$3

source "$(dirname "$0")/../support/xvfb_display.sh"
skip_without Xvfb xdotool
prepare_xvfb_run "$work"
start_private_xvfb "$work" 1600x700 || fail "Xvfb did not start: $xvfb_error"

# History before the UI: Drive 0.25, Channel 2, Drive 0.9. After "--":
# what SIGUSR1 sends.
"$host" "$bundle" 60 2=0.25 1=1 2=0.9 -- 1=1 >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
for _ in $(seq 200); do grep -q '^ui-open' "$work/host.out" 2>/dev/null && break; sleep 0.05; done
grep -q '^ui-open [0-9]* 660 248$' "$work/host.out" || fail "the UI did not open at 660 x 248"
sleep 0.5
[ "$(grep -c -v '^ui-' "$work/host.out")" -eq 0 ] || fail "opening the UI wrote to the host"

# Contour knob (300..345 x 176..221): 50 pixels up in 5 steps.
xdotool mousemove 322 198 mousedown 1
for k in 1 2 3 4 5; do sleep 0.1; xdotool mousemove 322 $((198 - 10 * k)); done
sleep 0.1; xdotool mouseup 1
sleep 0.4
drag=$(sed -n '/^touch 7 1$/,/^touch 7 0$/p' "$work/host.out")
[ -n "$drag" ] || fail "no touch 7 1 ... touch 7 0 around the drag"
values=$(awk '$1 == "write" && $2 == 7 { print $3 }' <<<"$drag")
[ "$(wc -l <<<"$values")" -ge 3 ] || fail "too few writes during the drag"
awk 'NR > 1 && $1 < prev - 1e-6 { bad = 1 } { prev = $1 } END { exit bad }' <<<"$values" || fail "the drag's writes do not rise"
last=$(tail -n1 <<<"$values")
awk -v v="$last" 'BEGIN { exit !(v > 0.7 && v < 0.8) }' || fail "50 pixels up from 0.5 should end near 0.75, got $last"
[ -z "$(grep -v -e '^ui-' -e ' 7 ' -e ' 7$' "$work/host.out")" ] || fail "the drag wrote other ports"

# The Channel switch (100..150 x 192..218): the UI writes the Channel port,
# the amp recalls channel 1 and the UI writes what changed: the Drive 0.25
# it had never seen and the untouched Contour 0.5.
mark=$(wc -l <"$work/host.out")
xdotool mousemove 125 205 click 1
sleep 0.4
click=$(tail -n +$((mark + 1)) "$work/host.out")
expected=$(printf 'touch 1 1\nwrite 1 0.000000\ntouch 1 0\nwrite 2 0.250000\nwrite 7 0.500000')
[ "$click" = "$expected" ] || fail "the Channel click wrote: $click"

# The host switches back to channel 2: the UI writes that channel's values,
# Drive 0.9 and the dragged Contour.
mark=$(wc -l <"$work/host.out")
kill -USR1 "$host_pid"
sleep 0.4
recall=$(tail -n +$((mark + 1)) "$work/host.out")
[ "$recall" = "$(printf 'write 2 0.900000\nwrite 7 %s' "$last")" ] || fail "the host's Channel change gave: $recall"

kill -TERM "$host_pid"; wait "$host_pid"; rc=$?; host_pid=""
[ "$rc" -eq 0 ] || fail "the host exited with $rc"
grep -q '^ui-closed$' "$work/host.out" || fail "the UI was not closed cleanly"

# The host's scale option.
"$host" "$bundle" 60 --scale=2 >"$work/scaled.out" 2>"$work/scaled.err" &
host_pid=$!
for _ in $(seq 200); do grep -q '^ui-open' "$work/scaled.out" 2>/dev/null && break; sleep 0.05; done
grep -q '^ui-open [0-9]* 1320 496$' "$work/scaled.out" || fail "the UI did not open at 1320 x 496: $(cat "$work/scaled.out")"
grep -q '^ui-resize 1320 496$' "$work/scaled.out" || fail "the UI did not ask for 1320 x 496"
grep -q '^ui-scale 2$' "$work/scaled.out" || fail "the options interface does not report scale 2"
sleep 0.5
# Contour at twice the coordinates: 100 pixels up in 5 steps.
xdotool mousemove 644 396 mousedown 1
for k in 1 2 3 4 5; do sleep 0.1; xdotool mousemove 644 $((396 - 20 * k)); done
sleep 0.1; xdotool mouseup 1
sleep 0.4
scaledLast=$(awk '$1 == "write" && $2 == 7 { v = $3 } END { print v }' "$work/scaled.out")
awk -v v="$scaledLast" 'BEGIN { exit !(v > 0.7 && v < 0.8) }' \
  || fail "100 pixels up at scale 2 from 0.5 should end near 0.75, got '$scaledLast'"
kill -TERM "$host_pid"; wait "$host_pid"; rc=$?; host_pid=""
[ "$rc" -eq 0 ] || fail "the scaled host exited with $rc"
echo "PASS: drag to $last as one gesture, both Channel changes wrote the recalled values; at scale 2: 1320 x 496, drag to $scaledLast"
