#!/usr/bin/env bash
# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ROOT"
log "address + undefined sanitizer build and tests"
configure_build asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest asan build/asan
