#!/usr/bin/env bash
# A real host's view of Corvex Rig: Qtractor's plug-in scanner loads the CLAP
# and the VST 2.4 library and prints one line per plug-in,
#   KIND|name|audio in:out|midi in:out|params in:out|flags|path|index|id
# Each must be "Corvex Rig" with 2:2 audio and 19 parameters; the VST's id is
# 'CVRG'. Usage: qtractor_rig_scan_test.sh CorvexRig.clap CorvexRig.so
# (exit 77: Qtractor not installed)
set -uo pipefail
scan=${QTRACTOR_PLUGIN_SCAN:-/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan}
if [ ! -x "$scan" ]; then
  echo "SKIPPED: $scan not found (Debian package qtractor)"
  exit 77
fi
fail=0
check() {
  local kind=$1 plugin=$2 out line name audio midi params flags path index id
  out=$(echo "$kind:$plugin" | QT_QPA_PLATFORM=offscreen timeout 60 "$scan" 2>&1)
  echo "$out"
  line=$(grep "^$kind|" <<<"$out" | head -n1)
  [ -n "$line" ] || { echo "FAIL: no $kind line"; fail=1; return; }
  IFS='|' read -r _ name audio midi params flags path index id <<<"$line"
  [ "$name" = "Corvex Rig" ] || { echo "FAIL: $kind name '$name'"; fail=1; }
  [ "$audio" = "2:2" ] || { echo "FAIL: $kind audio '$audio'"; fail=1; }
  [ "${params%%:*}" = "19" ] || { echo "FAIL: $kind parameters '$params'"; fail=1; }
  [ "$path" = "$plugin" ] || { echo "FAIL: $kind path '$path'"; fail=1; }
  if [ "$kind" = VST ] && [ "$id" != "0x43565247" ]; then
    echo "FAIL: VST id '$id', wanted 0x43565247 (CVRG)"; fail=1
  fi
}
check CLAP "$1"
check VST "$2"
[ "$fail" -eq 0 ] && echo "PASS: Corvex Rig as CLAP and VST 2.4"
exit $fail
