#!/usr/bin/env bash
# The rig's panel on a private Xvfb: a file dropped through XDND loads the
# impulse, the meters move (corvex-rig-panel-xdnd does the work and prints
# ok/FAIL lines). Usage: rig_xvfb_test.sh PROGRAM WORKDIR [SCREENSHOT.png]
# Exit 77 (skipped) without Xvfb.
set -uo pipefail
program=$1 work=$2 shot=${3:-}
source "$(dirname "$0")/../../support/xvfb_display.sh"
skip_without Xvfb
prepare_xvfb_run "$work"
start_private_xvfb "$work" || fail "Xvfb did not start: $xvfb_error"
"$program" "$work/rig.ppm" >"$work/host.out" 2>"$work/host.err"
status=$?
cat "$work/host.out"
[ $status -eq 0 ] || fail "the drop or the meters failed"
if [ -n "$shot" ] && command -v convert >/dev/null; then
  convert "$work/rig.ppm" "$shot" || fail "no screenshot"
fi
echo "rig panel on X11: PASSED"
