#!/usr/bin/env bash
# Runs vst3-editor-check on a private Xvfb display (it drives the mouse with
# xdotool). Usage: xvfb_vst3_editor_test.sh CHECK WORKDIR
#                  xvfb_vst3_editor_test.sh CHECK WORKDIR --rig BUNDLE IMPULSE
# (the rig's view; its panel at 1x is left in WORKDIR/rig-vst3.ppm).
# Exit 77 (skipped) when Xvfb or xdotool are missing.
set -uo pipefail
check=$1 work=$2
shift 2
source "$(dirname "$0")/../support/xvfb_display.sh"
skip_without Xvfb xdotool
prepare_xvfb_run "$work"
start_private_xvfb "$work" 1600x800 || { echo "FAIL: Xvfb did not start: $xvfb_error"; exit 1; }
if [ "${1:-}" = --rig ]; then
  timeout 90 "$check" --rig "$2" "$3" "$work" "$work/rig-vst3.ppm"
else
  timeout 90 "$check"
fi
