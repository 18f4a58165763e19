#!/usr/bin/env bash
# Builds and runs every test: installs missing packages, then runs each stage
# in scripts/stages/ in order (Linux, sanitizers, Windows under wine, fuzzing,
# thread sanitizer) and prints one summary line at the end.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
scripts/setup.sh all || { echo "setup failed"; exit 1; }
rm -f "$RESULTS"
status=0
for stage in scripts/stages/*.sh; do
  if ! bash "$stage"; then
    echo "stage failed: $stage"
    status=1
  fi
done
log "summary"
passed=0; failed=0
while read -r name p f; do
  printf '  %-12s %4d passed, %d failed\n' "$name" "$p" "$f"
  passed=$((passed + p)); failed=$((failed + f))
done < "$RESULTS"
[ $status -ne 0 ] && [ $failed -eq 0 ] && failed=1
echo "$passed passed, $failed failed"
exit $status
