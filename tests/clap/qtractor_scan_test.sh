#!/usr/bin/env bash
# A real host's view: Qtractor's plug-in scanner loads the .clap through
# clap_entry and prints one line per plug-in,
#   CLAP|name|audio in:out|midi in:out|params in:out|flags|path|index|id
# Corvex must be there with 2:2 audio, 13 parameters and a GUI.
# Usage: qtractor_scan_test.sh PLUGIN.clap   (exit 77: Qtractor not installed)
set -uo pipefail
plugin=$1
scan=${QTRACTOR_PLUGIN_SCAN:-/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan}
if [ ! -x "$scan" ]; then
  echo "SKIPPED: $scan not found (Debian package qtractor)"
  exit 77
fi
out=$(echo "CLAP:$plugin" | QT_QPA_PLATFORM=offscreen timeout 60 "$scan" 2>&1)
rc=$?
echo "$out"
[ "$rc" -eq 0 ] || { echo "FAIL: the scanner exited with $rc"; exit 1; }
line=$(grep '^CLAP|' <<<"$out" | head -n1)
[ -n "$line" ] || { echo "FAIL: no CLAP line"; exit 1; }
IFS='|' read -r kind name audio midi params flags path _ <<<"$line"
fail=0
[[ $name == *Corvex* ]] || { echo "FAIL: name '$name'"; fail=1; }
[ "$audio" = "2:2" ] || { echo "FAIL: audio '$audio', wanted 2:2"; fail=1; }
[ "${params%%:*}" = "13" ] || { echo "FAIL: parameters '$params', wanted 13"; fail=1; }
[[ ",$flags," == *,GUI,* ]] || { echo "FAIL: no GUI among '$flags'"; fail=1; }
[ "$path" = "$plugin" ] || { echo "FAIL: path '$path'"; fail=1; }
[ "$(grep -c '^CLAP|' <<<"$out")" -eq 1 ] || { echo "FAIL: more than one plug-in listed"; fail=1; }
[ "$fail" -eq 0 ] && echo "PASS: $name, audio $audio, $params parameters, $flags"
exit $fail
