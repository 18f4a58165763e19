# Shared helpers for the build and test scripts. Source it; do not run it.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
RESULTS=${CORVEX_RESULTS:-$ROOT/build/results.txt}

log() { printf '\n== %s\n' "$*"; }

# free_space [dir]: the space left where dir (default build/) lives, in MiB.
free_space() {
  local dir=${1:-$ROOT/build}
  [ -d "$dir" ] || dir=$ROOT
  df -Pm "$dir" 2>/dev/null | awk 'NR == 2 { print $4 }'
}

# stage_trees <stage>: the build trees that only that stage uses, which
# prune_stage removes once it is over. The native build stays: the Windows
# stage compares with it and copies its plug-ins to dist/. The fuzzers keep
# their logs, summary and any failing input.
stage_trees() {
  case $1 in
    asan) echo build/asan ;;
    windows) echo build/mingw-x64 build/mingw-i686 build/wineprefix-x64 build/wineprefix-x64.lock \
                  build/installer-test build/deps ;;
    fuzz) [ -d "$ROOT/build/fuzz" ] &&
            (cd "$ROOT" && find build/fuzz -mindepth 1 -maxdepth 1 \
               ! -name artifacts ! -name logs ! -name summary.txt) ;;
    tsan) echo build/tsan ;;
  esac
}

# prune_stage <stage>: removes the stage's own build trees (its results are
# in $RESULTS and the log already), so that a whole run needs room for its
# largest stage rather than for all of them together.
prune_stage() {
  local tree
  for tree in $(stage_trees "$1"); do
    rm -rf --one-file-system "${ROOT:?}/$tree"
  done
}

# configure_build <preset> [extra cmake args...]
configure_build() {
  local preset=$1; shift
  cmake --preset "$preset" -G Ninja "$@" >/dev/null
  cmake --build --preset "$preset" -j "$JOBS"
}

# record <stage> <passed> <failed> [skipped]: one line per stage for the
# final summary.
record() { mkdir -p "$(dirname "$RESULTS")"; echo "$1 $2 $3 ${4:-0}" >> "$RESULTS"; }

# gtest_skips <ctest output> <build dir>: the GoogleTest cases that were
# skipped (GTEST_SKIP) inside programs CTest counts as passed, one
# "program case" a line, from CTest's log of every test's output.
gtest_skips() {
  local out=$1 log=$2/Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  local passed
  passed=$(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+ +Passed .*/\1/p' "$out" | tr '\n' ' ')
  tr -d '\r' <"$log" | awk -v passed=" $passed " '
    /^[0-9]+\/[0-9]+ Test: / { name = $3 }
    /^\[  SKIPPED \] [^ ]+ \([0-9]+ ms\)$/ { if (index(passed, " " name " ")) print name, $4 }'
}

# run_ctest <stage> <build dir> [ctest args...]: runs CTest and records its
# counts. Skipped are the tests CTest skipped (exit code 77 where a test has
# SKIP_RETURN_CODE, or disabled) and the GoogleTest cases skipped inside
# passing programs; both are listed.
run_ctest() {
  local stage=$1 dir=$2; shift 2
  local out
  out=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" "$@" 2>&1 | tee "$out" || true
  local line total=1 failed=1 skipped=0 cases
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1 || true)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled)\)$' "$out" || true)
  else
    echo "$stage: CTest ran no tests to the end"
  fi
  cases=$(gtest_skips "$out" "$dir")
  if [ -n "$cases" ]; then
    echo "GoogleTest cases skipped inside passing programs:"
    sed 's/^/  /' <<<"$cases"
  fi
  rm -f "$out"
  record "$stage" $((total - failed - skipped)) "$failed" $((skipped + $(grep -c . <<<"$cases" || true)))
  [ "$failed" -eq 0 ]
}
