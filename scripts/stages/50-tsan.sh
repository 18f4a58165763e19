#!/usr/bin/env bash
# ThreadSanitizer: the threaded reliability tests (audio against automation,
# program changes, chunk loads and the quality switch; two instances on two
# threads). CORVEX_STRESS_SECONDS sets the stress duration (default 5 here).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ROOT"
log "thread sanitizer build and threaded tests"
configure_build tsan
# halt_on_error: a reported race fails the test that ran into it.
CORVEX_STRESS_SECONDS=${CORVEX_STRESS_SECONDS:-5} \
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 history_size=4" \
  run_ctest tsan build/tsan -L threads
