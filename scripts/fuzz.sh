#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a while.
#   scripts/fuzz.sh [seconds per target] [target...]
# Targets: dispatcher chunk png state impulse vst3 (all by default); 300 s each unless told.
# The working corpus grows in build/fuzz/corpus/<target> from the seeds in
# fuzz/corpus/<target> (and, for png, the small real images of resources/); a
# failing input lands in build/fuzz/artifacts/ and is replayed with
#   build/fuzz/fuzz/fuzz_<target> <file>
# One line per target goes to build/fuzz/summary.txt:
#   <target> <status> <executions> <seconds> <corpus files> <coverage>
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"
seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(dispatcher chunk png state impulse vst3)

cmake --preset fuzz -G Ninja >/dev/null || exit 1
cmake --build --preset fuzz -j "$JOBS" || exit 1

out=build/fuzz
mkdir -p "$out/artifacts" "$out/logs"
: > "$out/summary.txt"

# The editor's real PNG images (selector byte 0) that are small enough to
# mutate quickly; the large film strips share their format with these, and
# large inputs would slow every execution tenfold.
seeds_extra=$out/seeds-resources
rm -rf "$seeds_extra" && mkdir -p "$seeds_extra"
for f in resources/*.png; do
  [ "$(stat -c %s "$f")" -le 16384 ] || continue
  { printf '\000'; cat "$f"; } > "$seeds_extra/$(basename "$f" .png)"
done

status=0
for t in "${targets[@]}"; do
  bin=$out/fuzz/fuzz_$t
  if [ ! -x "$bin" ]; then
    echo "fuzz: no target fuzz_$t"; echo "$t missing 0 0 0 0" >> "$out/summary.txt"; status=1; continue
  fi
  corpus=$out/corpus/$t
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "fuzz/corpus/$t" ] && dirs+=("fuzz/corpus/$t")
  [ "$t" = png ] && dirs+=("$seeds_extra")
  log "fuzz_$t for $seconds s"
  logfile=$out/logs/$t.log
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$bin" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$t-" "${dirs[@]}" > "$logfile" 2>&1
  rc=$?
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$logfile" | tail -1)
  took=$(sed -nE 's/^Done [0-9]+ runs in ([0-9]+) second.*/\1/p' "$logfile" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$logfile" | tail -1 | grep -oE '[0-9]+')
  files=$(find "$corpus" -type f | wc -l)
  if [ $rc -eq 0 ]; then
    result=ok
  else
    result=FAILED; status=1
    grep -E 'ERROR|fuzz check failed|SUMMARY|runtime error|#[0-9]+ 0x' "$logfile" | head -30
  fi
  printf '%-12s %-6s %10s executions in %4s s, corpus %5s files, coverage %s edges\n' \
    "fuzz_$t" "$result" "${runs:-0}" "${took:-?}" "$files" "${cov:-?}"
  echo "$t $result ${runs:-0} ${took:-0} $files ${cov:-0}" >> "$out/summary.txt"
done
exit $status
