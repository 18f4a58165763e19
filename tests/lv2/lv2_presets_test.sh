#!/bin/sh
# The factory programs as LV2 presets, through Debian's LV2 tools: lv2info
# lists one preset per program of the factory bank, and lv2file rendering
# with each preset gives exactly the samples corvex-render gives with the
# matching .fxp loaded (both on one float input, at the same block size).
# Usage: lv2_presets_test.sh LV2_DIR CORVEX_RENDER PRESETS_DIR WORK_DIR
set -eu
lv2dir=$(cd "$1" && pwd) render=$2 presets=$3 work=$4
uri=https://ardex-plugins.example/corvex
command -v lv2file >/dev/null && command -v lv2info >/dev/null || { echo "lv2file/lv2info missing: skipped"; exit 77; }
export LV2_PATH=$lv2dir
rm -rf "$work" && mkdir -p "$work"

# A short stereo float input: a plucked-like tone with a quiet passage.
python3 - "$work/in.wav" <<'PY'
import math, struct, sys
rate, n = 48000, 93 * 512  # whole blocks: lv2file feeds a short last block its own way
data = []
for i in range(n):
    env = math.exp(-3.0 * (i % 12000) / 12000.0)
    x = 0.6 * env * (math.sin(2 * math.pi * 82.41 * i / rate) + 0.3 * math.sin(2 * math.pi * 329.6 * i / rate))
    data += [x, 0.7 * x]
body = struct.pack('<%df' % len(data), *data)
fmt = struct.pack('<HHIIHH', 3, 2, rate, rate * 8, 8, 32)
open(sys.argv[1], 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(body)) + b'WAVE' + b'fmt ' +
                              struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', len(body)) + body)
PY

listed=$(lv2info "$uri" | sed -n '/^\tPresets:/,/^$/p' | sed -n 's/^\t *\(.*[^ ]\) *$/\1/p' | grep -v '^Presets:' | sort)
expected=$("$render" --list-programs "$presets/Corvex-factory.fxb" | cut -d' ' -f2- | sort)
if [ "$listed" != "$expected" ]; then
  echo "lv2info lists:"; echo "$listed"; echo "the factory bank holds:"; echo "$expected"; exit 1
fi
echo "lv2info lists the $(echo "$listed" | wc -l) factory programs"

# samples_equal A B: the same sample data (the headers may differ).
samples_equal() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
def samples(path):
    b = open(path, 'rb').read()
    pos = 12
    while pos + 8 <= len(b):
        cid, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
        if cid == b'fmt ':
            fmt = struct.unpack('<HH', b[pos + 8:pos + 12])
        if cid == b'data':
            return fmt, b[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    sys.exit(path + ": no data chunk")
(fa, a), (fb, b) = samples(sys.argv[1]), samples(sys.argv[2])
if fa != fb or a != b:
    n = min(len(a), len(b)) // 4
    va, vb = struct.unpack('<%df' % n, a[:4 * n]), struct.unpack('<%df' % n, b[:4 * n])
    worst = max((abs(x - y) for x, y in zip(va, vb)), default=0.0)
    sys.exit("formats %s / %s, %d / %d bytes, largest difference %g" % (fa, fb, len(a), len(b), worst))
PY
}

status=0
for fxp in "$presets"/[0-9]*.fxp; do
  # The loaded program's name, as the plug-in lists it (program 0, current).
  name=$("$render" --list --load-fxp "$fxp" | awk '/^Programs/ { p = 1; next }
    p && $1 == "0" { sub(/^ *0  /, ""); sub(/ *\*$/, ""); print; exit }')
  "$render" -q --block 512 --load-fxp "$fxp" "$work/in.wav" -o "$work/vst.wav"
  lv2file -b 512 -P "$name" -i "$work/in.wav" -o "$work/lv2.wav" "$uri" >"$work/lv2file.log" 2>&1 ||
    { echo "lv2file -P \"$name\" failed:"; cat "$work/lv2file.log"; status=1; continue; }
  if why=$(samples_equal "$work/lv2.wav" "$work/vst.wav" 2>&1); then
    echo "same samples: lv2file -P \"$name\" and $(basename "$fxp")"
  else
    echo "DIFFERENT: lv2file -P \"$name\" and $(basename "$fxp"): $why"; status=1
  fi
done
exit $status
