#!/usr/bin/env bash
# Builds and runs every test: installs missing packages, then runs each stage
# in scripts/stages/ in order (Linux, sanitizers, Windows under wine, fuzzing,
# thread sanitizer) and prints one summary line at the end:
#   N passed, N failed, N skipped
# A stage that stops before its end counts as failed even where it recorded
# nothing. Exit status 1 when anything failed.
# CORVEX_STAGES="native asan" runs only the stages of those names.
# CORVEX_PRUNE=1 (.ci/run sets it) removes each stage's own build trees once
# the stage is over: build/ then stays under about 3.8 GB instead of growing
# to 6.2 GB. Each stage's line says how much space is left.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
scripts/setup.sh all || { echo "setup failed"; echo "0 passed, 1 failed, 0 skipped"; exit 1; }
rm -f "$RESULTS"
free=$(free_space)
echo "free space for the builds: ${free:-?} MiB"
if [ "${free:-0}" -lt 4500 ]; then
  echo "warning: a whole run needs about 4.5 GB free here (more without CORVEX_PRUNE=1);" \
       "a build may stop with \"No space left on device\""
fi
mkdir -p "$(dirname "$RESULTS")"
: > "$RESULTS"
status=0
for stage in scripts/stages/*.sh; do
  name=$(basename "$stage" .sh)
  name=${name#[0-9]*-}
  if [ -n "${CORVEX_STAGES:-}" ] && [[ " $CORVEX_STAGES " != *" $name "* ]]; then
    continue
  fi
  before=$(wc -l <"$RESULTS")
  t0=$SECONDS
  rc=0
  bash "$stage" || rc=$?
  [ "${CORVEX_PRUNE:-0}" = 1 ] && prune_stage "$name"
  echo "stage $name: $((SECONDS - t0)) s, exit status $rc, $(free_space) MiB free"
  [ $rc -eq 0 ] && continue
  status=1
  # Stopped early (set -e, a build error, a signal) without recording a
  # failure: the stage itself is the failure.
  if ! tail -n +$((before + 1)) "$RESULTS" | awk '$3 > 0 { found = 1 } END { exit !found }'; then
    record "$name(stopped)" 0 1 0
  fi
done
log "summary"
passed=0; failed=0; skipped=0
while read -r name p f s; do
  printf '  %-18s %4d passed, %d failed, %d skipped\n' "$name" "$p" "$f" "${s:-0}"
  passed=$((passed + p)); failed=$((failed + f)); skipped=$((skipped + ${s:-0}))
done < "$RESULTS"
[ $status -ne 0 ] && [ $failed -eq 0 ] && failed=1
echo "$passed passed, $failed failed, $skipped skipped"
exit $status
