#!/usr/bin/env bash
# The whole-process speed of Corvex (its LV2 bundle) beside Guitarix's
# gxmetal_amp, both run by lv2file on the same 60 s 110 Hz sine at 44.1 kHz,
# 512-frame blocks, one core. Each run's CPU time (user + system of the whole
# lv2file process: start-up, file reading and writing, the plug-in) gives a
# real-time factor, 60 s / CPU seconds; the runs alternate between the
# plug-ins and the best of each is reported with the ratio.
#
#   bench/compare-peer.sh [runs]        default 5 runs of each
#
# Needs lv2file and guitarix-lv2 (scripts/setup.sh all) and the bundle
# (cmake --build build/default --target corvex_lv2_bundle).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
bundle=$ROOT/build/default/lv2/Corvex.lv2
corvex=https://ardex-plugins.example/corvex
peer='http://guitarix.sourceforge.net/plugins/gxmetal_amp#metal_amp'

command -v lv2file >/dev/null || { echo "lv2file missing: scripts/setup.sh all" >&2; exit 1; }
[ -f "$bundle/manifest.ttl" ] || { echo "no bundle at $bundle: build corvex_lv2_bundle" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LV2_PATH="$work/lv2:${LV2_PATH:-/usr/lib/lv2:/usr/local/lib/lv2}"
mkdir -p "$work/lv2" && cp -r "$bundle" "$work/lv2/"
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

best_corvex=999999 best_peer=999999
for r in $(seq "$runs"); do
  # Corvex has two inputs: the mono file feeds both (mono mode reads the first).
  c=$(cpu_seconds -c 1:in_l -c 1:in_r "$corvex")
  p=$(cpu_seconds "$peer")
  printf 'run %d: Corvex %6.1fx  gxmetal_amp %6.1fx\n' "$r" "$(awk -v s="$c" 'BEGIN{print 60/s}')" \
    "$(awk -v s="$p" 'BEGIN{print 60/s}')"
  best_corvex=$(awk -v a="$best_corvex" -v b="$c" 'BEGIN{print (b < a ? b : a)}')
  best_peer=$(awk -v a="$best_peer" -v b="$p" 'BEGIN{print (b < a ? b : a)}')
done
awk -v c="$best_corvex" -v p="$best_peer" 'BEGIN {
  printf "best: Corvex %.1fx, gxmetal_amp %.1fx real time (whole process); Corvex/peer %.2f\n", 60 / c, 60 / p, p / c }'
