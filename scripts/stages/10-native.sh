#!/usr/bin/env bash
# The whole suite on the optimised Linux build.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ROOT"
log "native build and tests"
configure_build default
run_ctest native build/default
