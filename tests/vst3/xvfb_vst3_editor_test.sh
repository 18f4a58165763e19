#!/usr/bin/env bash
# Runs vst3-editor-check on a private Xvfb display (it drives the mouse with
# xdotool). Usage: xvfb_vst3_editor_test.sh CHECK WORKDIR
# Exit 77 (skipped) when Xvfb or xdotool are missing.
set -uo pipefail
check=$1 work=$2
source "$(dirname "$0")/../support/xvfb_display.sh"
skip_without Xvfb xdotool
prepare_xvfb_run "$work"
start_private_xvfb "$work" || { echo "FAIL: Xvfb did not start: $xvfb_error"; exit 1; }
timeout 90 "$check"
