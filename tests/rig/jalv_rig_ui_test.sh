#!/usr/bin/env bash
# jalv.gtk3 shows Corvex Rig's own panel (CorvexRigUi.so) on a private Xvfb
# with a private dummy JACK server: the screenshot holds the rig strip (its
# background colour over most of 660 x 110 pixels) and its lettering.
# Usage: jalv_rig_ui_test.sh LV2_DIR WORKDIR   (exit 77 without the tools)
set -uo pipefail
lv2dir=$1 work=$2
source "$(dirname "$0")/../support/xvfb_display.sh"
skip_without Xvfb jackd jalv.gtk3 import convert
prepare_xvfb_run "$work"
start_private_xvfb "$work" || fail "Xvfb did not start: $xvfb_error"
# A fixed name: JACK takes back a name whose server has gone, where a new
# name each run would leave a slot of its registry taken after a crash.
server="corvex-rig-jalv-ui"
jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackpid=$!
trap 'kill $jackpid 2>/dev/null; wait $jackpid 2>/dev/null; stop_xvfb_run' EXIT
sleep 1
export JACK_DEFAULT_SERVER=$server LV2_PATH=$lv2dir
timeout 15 jalv.gtk3 https://ardex-plugins.example/corvex-rig >"$work/host.out" 2>"$work/host.err" &
host_pid=$!
for _ in $(seq 100); do cat "$work/host.out" "$work/host.err" 2>/dev/null | grep -q '^UI:.*corvex-rig#ui' && break; sleep 0.1; done
cat "$work/host.out" "$work/host.err" | grep -q '^UI:.*corvex-rig#ui' || fail "jalv did not pick the rig's UI"
sleep 3
import -window root "$work/shot.png" || fail "no screenshot"
strip=$(convert "$work/shot.png" -fill black +opaque "rgb(38,33,31)" -fill white -opaque "rgb(38,33,31)" \
  -format "%[fx:int(mean*w*h)]" info:)
echo "strip-coloured pixels: $strip"
[ "$strip" -gt 40000 ] || fail "the rig strip is not on the screen"
# Cream lettering inside the strip: the rows under the head's panel (jalv
# puts the panel under its menu bar, 20 to 40 pixels down).
cream=$(convert "$work/shot.png" -crop 660x60+0+290 +repage -fuzz 4% -fill black +opaque "rgb(242,230,200)" -fill white -opaque "rgb(242,230,200)" \
  -format "%[fx:int(mean*w*h)]" info:)
echo "lettering pixels: $cream"
[ "$cream" -gt 200 ] || fail "no lettering in the strip"
echo "PASS"
