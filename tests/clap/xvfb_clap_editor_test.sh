#!/usr/bin/env bash
# Runs clap-editor-check on a private Xvfb display (it drives the mouse with
# xdotool). Usage: xvfb_clap_editor_test.sh CHECK PLUGIN.clap WORKDIR
# Exit 77 (skipped) when Xvfb or xdotool are missing.
set -uo pipefail
check=$1 plugin=$2 work=$3
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/setup.sh installs xvfb and xdotool)"
    exit 77
  fi
done
rm -rf "$work" && mkdir -p "$work" || exit 1
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; }
trap cleanup EXIT
source "$(dirname "$0")/../support/xvfb_display.sh"
start_private_xvfb "$work" || { echo "FAIL: Xvfb did not start: $xvfb_error"; exit 1; }
timeout 90 "$check" "$plugin"
