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
Xvfb -displayfd 3 -screen 0 800x400x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.err")"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
timeout 90 "$check" "$plugin"
