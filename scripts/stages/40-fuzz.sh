#!/usr/bin/env bash
# Smoke fuzzing: each libFuzzer target for CORVEX_FUZZ_SECONDS (default 30)
# from the committed seeds. Longer runs: scripts/fuzz.sh <seconds>.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ROOT"
log "fuzzing (smoke run)"
seconds=${CORVEX_FUZZ_SECONDS:-30}
# A fresh corpus each time, so that the smoke run is the same everywhere.
rm -rf build/fuzz/corpus
scripts/fuzz.sh "$seconds"
rc=$?
passed=0; failed=0
if [ -f build/fuzz/summary.txt ]; then
  while read -r target result rest; do
    if [ "$result" = ok ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  done < build/fuzz/summary.txt
fi
[ $rc -ne 0 ] && [ $failed -eq 0 ] && failed=1
record fuzz "$passed" "$failed"
[ $rc -eq 0 ]
