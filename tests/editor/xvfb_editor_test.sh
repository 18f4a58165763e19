#!/usr/bin/env bash
# The editor on a real X server: starts Xvfb on a free display, opens the
# editor in corvex-editor-host, drags the Contour knob, clicks the boost lamp
# and turns the wheel over the Mid knob with xdotool, then checks what the
# host printed and that the pixels under the knob changed while the rest of
# the panel did not.
# Usage: xvfb_editor_test.sh HOST PLUGIN WORKDIR [EDITOR_TESTS]
# With EDITOR_TESTS, also runs its EditorPlugin cases on the same display.
# Exit 77 (skipped) when Xvfb, xdotool or ImageMagick are missing.
set -uo pipefail
host=$1 plugin=$2 work=$3 unit=${4:-}

source "$(dirname "$0")/../support/xvfb_display.sh"
skip_without Xvfb xdotool import convert
prepare_xvfb_run "$work"
start_private_xvfb "$work" || fail "Xvfb did not start: $xvfb_error"

"$host" --plugin "$plugin" --seconds 60 >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
for _ in $(seq 200); do grep -q '^editor-open' "$work/host.out" 2>/dev/null && break; sleep 0.05; done
grep -q '^editor-open [0-9]* 660 248$' "$work/host.out" || fail "the editor did not open at 660 x 248"
sleep 1  # first paint

import -window root "$work/before.png" || fail "no screenshot"
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:; }
read -r r g b <<<"$(pixel "$work/before.png" 330 100)"
[ "$r" -gt 100 ] && [ "$r" -gt $((g + 40)) ] || fail "the panel is not on the screen (pixel 330,100 is $r $g $b)"

# Contour knob (300..345 x 176..221): 50 pixels up in 5 steps.
xdotool mousemove 322 198 mousedown 1
for k in 1 2 3 4 5; do sleep 0.1; xdotool mousemove 322 $((198 - 10 * k)); done
sleep 0.1; xdotool mouseup 1
sleep 0.3
# Boost lamp (158..166 x 200..208).
xdotool mousemove 162 204 click 1
sleep 0.3
# Mid knob (400..445 x 176..221): one wheel notch up, one down.
xdotool mousemove 422 198 click 4
sleep 0.3
xdotool click 5
sleep 0.8  # redrawn at the host's next idle calls

import -window root "$work/after.png" || fail "no second screenshot"
kill -TERM "$host_pid"; wait "$host_pid"; rc=$?; host_pid=""
[ "$rc" -eq 0 ] || fail "the host exited with $rc after SIGTERM"
grep -q '^editor-closed$' "$work/host.out" || fail "the editor was not closed cleanly"

# What the host heard: the drag as one gesture with rising values, the
# click as begin, one automation to 1, end.
out=$(grep -v '^editor-' "$work/host.out")
drag=$(sed -n '/^begin-edit 7$/,/^end-edit 7$/p' <<<"$out")
[ -n "$drag" ] || fail "no begin-edit 7 ... end-edit 7 for the knob drag"
values=$(awk '$1 == "automate" && $2 == 7 { print $3 }' <<<"$drag")
count=$(wc -l <<<"$values")
[ "$count" -ge 3 ] || fail "only $count automations during the drag"
awk 'NR > 1 && $1 < prev - 1e-6 { bad = 1 } { prev = $1 } END { exit bad }' <<<"$values" \
  || fail "the drag's values do not rise: $(echo $values)"
first=$(head -n1 <<<"$values") last=$(tail -n1 <<<"$values")
awk -v a="$first" -v b="$last" 'BEGIN { d = b - a; exit !(d > 0.2 && d < 0.3) }' \
  || fail "50 pixels up should add 0.25, got $first -> $last"
click=$(sed -n '/^begin-edit 12$/,/^end-edit 12$/p' <<<"$out")
[ "$click" = "$(printf 'begin-edit 12\nautomate 12 1.000000\nend-edit 12')" ] || fail "the lamp click sent: $click"
wheel=$(awk '$2 == 5' <<<"$out" | tr '\n' ' ')
read -r up down <<<"$(awk '$1 == "automate" && $2 == 5 { printf "%s ", $3 }' <<<"$out")"
[ -n "$up" ] && [ -n "$down" ] || fail "the wheel sent: $wheel"
[ "$wheel" = "begin-edit 5 automate 5 $up end-edit 5 begin-edit 5 automate 5 $down end-edit 5 " ] \
  || fail "each wheel notch should be one bracketed automation: $wheel"
awk -v u="$up" -v d="$down" 'BEGIN { x = u - d; exit !(x > 0.099 && x < 0.101) }' \
  || fail "a notch up then down should go up and back by 0.1: $up then $down"
others=$(grep -v -e ' 7$' -e ' 12$' -e ' 5$' -e '^automate 7 ' -e '^automate 12 ' -e '^automate 5 ' <<<"$out")
[ -z "$others" ] || fail "unexpected host traffic: $others"

# Pixels: the knob and the lamp changed, the logo did not.
crop() { convert "$1" -crop "$2" +repage rgb:- | md5sum; }
[ "$(crop "$work/before.png" 45x45+300+176)" != "$(crop "$work/after.png" 45x45+300+176)" ] \
  || fail "the pixels under the dragged knob did not change"
[ "$(crop "$work/before.png" 8x8+158+200)" != "$(crop "$work/after.png" 8x8+158+200)" ] \
  || fail "the lamp did not light"
[ "$(crop "$work/before.png" 200x60+30+40)" = "$(crop "$work/after.png" 200x60+30+40)" ] \
  || fail "the logo area changed"

# The host's window destroyed under the open editor: the host notices, closes
# the editor (whose window went with its parent) and ends cleanly.
"$host" --plugin "$plugin" --seconds 60 >"$work/host2.out" 2>"$work/host2.err" &
host_pid=$!
for _ in $(seq 200); do grep -q '^editor-open' "$work/host2.out" 2>/dev/null && break; sleep 0.05; done
window=$(awk '/^editor-open/ { print $2 }' "$work/host2.out")
[ -n "$window" ] || fail "the second editor did not open"
sleep 0.5
xdotool windowclose "$window"
for _ in $(seq 100); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.05; done
wait "$host_pid"; rc=$?; host_pid=""
[ "$rc" -eq 0 ] || { cat "$work/host2.err"; fail "the host exited with $rc after its window was destroyed"; }
grep -q '^editor-closed$' "$work/host2.out" || fail "no clean close after the window was destroyed"

if [ -n "$unit" ]; then
  "$unit" --gtest_filter='EditorPlugin.*' >"$work/unit.out" 2>&1 || { cat "$work/unit.out"; fail "EditorPlugin cases failed on the X display"; }
fi

echo "PASS: $count automations for the drag ($first -> $last), lamp lit, knob redrawn"
