#!/usr/bin/env bash
# The whole-process speed of Corvex (its LV2 bundle) beside Guitarix's
# gxmetal_amp, both run by lv2file on the same 60 s 110 Hz sine at 44.1 kHz,
# 512-frame blocks, one core. Each run's CPU time (user + system of the whole
# lv2file process: start-up, file reading and writing, the plug-in) gives a
# real-time factor, 60 s / CPU seconds; the runs alternate between the
# plug-ins and the best of each is reported with the ratio.
#
#   bench/compare-peer.sh [runs] [other Corvex.lv2]
#
# runs: default 5 of each. A second bundle (say, a build of an earlier
# commit) is timed in the same alternation, as "Corvex (other)".
#
# Needs lv2file and guitarix-lv2 (scripts/setup.sh all) and the bundle
# (cmake --build build/default --target corvex_lv2_bundle).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
other=${2:-}
bundle=$ROOT/build/default/lv2/Corvex.lv2
corvex=https://ardex-plugins.example/corvex
peer='http://guitarix.sourceforge.net/plugins/gxmetal_amp#metal_amp'

command -v lv2file >/dev/null || { echo "lv2file missing: scripts/setup.sh all" >&2; exit 1; }
[ -f "$bundle/manifest.ttl" ] || { echo "no bundle at $bundle: build corvex_lv2_bundle" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
system_lv2=${LV2_PATH:-/usr/lib/lv2:/usr/local/lib/lv2}
export LV2_PATH="$work/this:$system_lv2"
mkdir -p "$work/this" "$work/other" && cp -r "$bundle" "$work/this/"
if [ -n "$other" ]; then
  [ -f "$other/manifest.ttl" ] || { echo "no bundle at $other" >&2; exit 1; }
  cp -r "$other" "$work/other/Corvex.lv2"
fi
plugins=$(lv2file -l 2>/dev/null || true)
grep -qF "$peer" <<<"$plugins" || { echo "gxmetal_amp missing: scripts/setup.sh all (guitarix-lv2)" >&2; exit 1; }

python3 - "$work/sine.wav" <<'PY'
import math, struct, sys, wave
rate, seconds = 44100, 60
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate)
    w.writeframes(b"".join(struct.pack("<h", int(16383 * math.sin(2 * math.pi * 110 * i / rate)))
                           for i in range(rate * seconds)))
PY

# cpu_seconds <plug-in args...>: user + system seconds of one lv2file run.
cpu_seconds() {
  local out=$work/out.wav t
  rm -f "$out"
  if ! t=$( { TIMEFORMAT='%U %S'; time taskset -c 0 lv2file -b 512 --ignore-clipping -i "$work/sine.wav" \
               -o "$out" "$@" >"$work/log" 2>&1; } 2>&1 ) || [ ! -s "$out" ]; then
    echo "lv2file failed for $*:" >&2
    cat "$work/log" >&2
    exit 1
  fi
  awk -v t="$t" 'BEGIN { split(t, a, " "); print a[1] + a[2] }'
}

ratio() { awk -v s="$1" 'BEGIN { printf "%.1f", 60 / s }'; }
lower() { awk -v a="$1" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }
best_corvex=999999 best_peer=999999 best_other=999999
for r in $(seq "$runs"); do
  # Corvex has two inputs: the mono file feeds both (mono mode reads the first).
  c=$(cpu_seconds -c 1:in_l -c 1:in_r "$corvex")
  p=$(cpu_seconds "$peer")
  line="run $r: Corvex $(ratio "$c")x  gxmetal_amp $(ratio "$p")x"
  best_corvex=$(lower "$best_corvex" "$c")
  best_peer=$(lower "$best_peer" "$p")
  if [ -n "$other" ]; then
    o=$(LV2_PATH="$work/other:$system_lv2" cpu_seconds -c 1:in_l -c 1:in_r "$corvex")
    line="$line  Corvex (other) $(ratio "$o")x"
    best_other=$(lower "$best_other" "$o")
  fi
  echo "$line"
done
echo "best: Corvex $(ratio "$best_corvex")x, gxmetal_amp $(ratio "$best_peer")x real time (whole process);" \
  "Corvex/peer $(awk -v c="$best_corvex" -v p="$best_peer" 'BEGIN { printf "%.2f", p / c }')"
if [ -n "$other" ]; then
  echo "      Corvex (other) $(ratio "$best_other")x; Corvex/other" \
    "$(awk -v c="$best_corvex" -v o="$best_other" 'BEGIN { printf "%.2f", o / c }')"
fi
