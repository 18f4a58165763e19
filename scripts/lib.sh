# Shared helpers for the build and test scripts. Source it; do not run it.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
RESULTS=${CORVEX_RESULTS:-$ROOT/build/results.txt}

log() { printf '\n== %s\n' "$*"; }

# configure_build <preset> [extra cmake args...]
configure_build() {
  local preset=$1; shift
  cmake --preset "$preset" -G Ninja "$@" >/dev/null
  cmake --build --preset "$preset" -j "$JOBS"
}

# record <stage> <passed> <failed>: one line per stage for the final summary.
record() { mkdir -p "$(dirname "$RESULTS")"; echo "$1 $2 $3" >> "$RESULTS"; }

# run_ctest <stage> <build dir> [ctest args...]: runs CTest, records its counts.
run_ctest() {
  local stage=$1 dir=$2; shift 2
  local out rc=0
  out=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" "$@" 2>&1 | tee "$out" || true
  local line total failed
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1 || true)
  if [ -z "$line" ]; then
    total=0; failed=1
  else
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  fi
  rm -f "$out"
  record "$stage" $((total - failed)) "$failed"
  [ "$failed" -eq 0 ] || rc=1
  return $rc
}
