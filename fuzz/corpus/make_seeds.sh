#!/usr/bin/env bash
# Regenerates the committed seed inputs of fuzz_png, fuzz_chunk and fuzz_preset (needs
# ImageMagick and python3). The small real images from resources/ are added
# to the working corpus by scripts/fuzz.sh on every run, so they are not
# copied here.
#
# The dispatcher seeds (dispatcher/) are not written by hand: they are a
# five-minute run's corpus reduced to the inputs that each reach an edge no
# other reaches, by
#   build/fuzz/fuzz/fuzz_dispatcher -merge=1 -use_counters=0 -use_cmp=0 \
#       fuzz/corpus/dispatcher build/fuzz/corpus/dispatcher
# (into an emptied fuzz/corpus/dispatcher).
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p png chunk preset
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# PNG: one small image per colour type and depth the loader transforms,
# interlaced and with transparency chunks; each behind selector byte 0.
m() { convert -size 7x5 "$@"; }
m8() { convert -size 7x5 -depth 8 "$@"; }
m8 gradient:red-blue -define png:color-type=3 "$tmp/palette.png"
m8 gradient:red-blue -transparent red "PNG8:$tmp/palette_trns.png"
m gradient: -colorspace gray -depth 1 -define png:color-type=0 -define png:bit-depth=1 "$tmp/grey1.png"
m gradient: -colorspace gray -depth 2 -define png:color-type=0 -define png:bit-depth=2 "$tmp/grey2.png"
m gradient: -colorspace gray -depth 4 -define png:color-type=0 -define png:bit-depth=4 "$tmp/grey4.png"
m8 gradient: -colorspace gray -define png:color-type=0 -define png:bit-depth=8 "$tmp/grey8.png"
m gradient: -colorspace gray -depth 16 -define png:color-type=0 -define png:bit-depth=16 "$tmp/grey16.png"
m8 gradient: -colorspace gray -alpha set -channel A -evaluate set 50% +channel -define png:color-type=4 "$tmp/grey_alpha.png"
m8 gradient:yellow-navy -define png:color-type=2 "$tmp/rgb8.png"
m gradient:yellow-navy -depth 16 -define png:color-type=2 -define png:bit-depth=16 "$tmp/rgb16.png"
m gradient:yellow-navy -alpha set -channel A -evaluate set 30% +channel -depth 16 -define png:color-type=6 \
  -define png:bit-depth=16 "$tmp/rgba16.png"
m8 gradient:yellow-navy -alpha set -channel A -evaluate set 70% +channel -define png:color-type=6 "$tmp/rgba8.png"
m8 gradient:yellow-navy -interlace PNG -define png:color-type=6 "$tmp/rgba_interlaced.png"
m8 gradient:yellow-navy -transparent yellow -define png:color-type=2 -define png:include-chunk=tRNS "$tmp/rgb_trns.png"
for f in "$tmp"/*.png; do
  { printf '\000'; cat "$f"; } > "png/$(basename "$f" .png)"
done

python3 - <<'PY'
import struct
# A packed DIB (no file header), as the bitmap resources are: 24-bit
# bottom-up and 32-bit top-down, 5 x 3 pixels; behind selector byte 1.
def dib(w, h, bits, top_down):
    stride = ((w * bits + 31) // 32) * 4
    head = struct.pack('<IiiHHIIiiII', 40, w, -h if top_down else h, 1, bits, 0, stride * h, 2835, 2835, 0, 0)
    pixels = bytes((x * 40 + y * 7) & 255 for y in range(h) for x in range(stride))
    return head + pixels
open('png/dib24', 'wb').write(b'\x01' + dib(5, 3, 24, False))
open('png/dib32_topdown', 'wb').write(b'\x03' + dib(5, 3, 32, True))

# Chunks: [flags][program][frames][bytes]. flags bit 0: program chunk,
# bit 1: pad or cut to the right size, bit 4: start on channel 1.
def program(name, floats, ch0, ch1):
    # floats: input, channel, drive, mix, low, mid, high, contour, volume,
    # mono/stereo, quality, power amp, boost
    return (name.encode().ljust(24, b'\0')[:24] + struct.pack('<13f', *floats) + b'\0' * 4 +
            struct.pack('<8d', *ch0) + struct.pack('<8d', *ch1))
init = program('Init', [0.5, 0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0, 0, 0.5, 0], [0.5] * 8, [0.5] * 8)
assert len(init) == 208
varied = [program('Crunch %d' % i, [0.3, i % 2, 0.7, 0.2, 0.1, 0.9, 0.4, 0.6, 0.8, (i // 2) % 2, (i // 4) % 2, 0.5, i % 3 == 0],
                  [0.1 * (j + 1) for j in range(8)], [1.0 - 0.1 * j for j in range(8)]) for i in range(10)]
hostile = program('X' * 24, [float('nan'), 1e30, float('inf'), -1.0, 2.5, -0.0, 1e-40, 0.5, 1e38, 0.7, 0.9, -1e30, float('nan')],
                  [float('nan'), 1e300, -1e300, float('inf'), 5e-324, -0.0, 2.0, -3.0],
                  [1e30, float('-inf'), 0.5, 0.5, 0.5, 0.5, 0.5, float('nan')])
open('chunk/bank_init', 'wb').write(bytes([0, 0, 64]) + init * 10)
open('chunk/bank_varied', 'wb').write(bytes([16, 3, 200]) + b''.join(varied))
open('chunk/program_varied', 'wb').write(bytes([1, 5, 17]) + varied[5])
open('chunk/program_hostile', 'wb').write(bytes([1, 9, 255]) + hostile)
open('chunk/bank_hostile', 'wb').write(bytes([32, 0, 128]) + hostile * 10)
open('chunk/program_short', 'wb').write(bytes([5, 2, 8]) + varied[2][:100])
PY

# Preset files as the render host reads them: the factory bank and one of its
# programs (chunks), parameter-list programs and banks, a version 1 bank, a
# bank with a NaN in the channel its program does not play, and names with
# control characters.
cp ../../resources/presets/Corvex-factory.fxb preset/factory_bank
cp ../../resources/presets/03-Crunch-Rhythm.fxp preset/factory_program
python3 - <<'PY'
import struct
def header(kind, version, count, body):
    return b'CcnK' + struct.pack('>I', len(body) + 16 + 4) + kind + struct.pack('>iii', version, 0x46414B45, 3) + struct.pack('>i', count) + body
def name(text):
    return text.ljust(28, b'\0')[:28]
def fxck(text, values):
    body = b'FxCk' + struct.pack('>iiii', 1, 0x46414B45, 3, len(values)) + name(text) + struct.pack('>%df' % len(values), *values)
    return b'CcnK' + struct.pack('>I', len(body)) + body
def fxbk(version, current, programs):
    body = b'FxBk' + struct.pack('>iiii', version, 0x46414B45, 3, len(programs)) + struct.pack('>i', current) + b'\0' * 124 + b''.join(programs)
    return b'CcnK' + struct.pack('>I', len(body)) + body
open('preset/params_program', 'wb').write(fxck(b'Warm\nRoom', [0.5, 1.0, 0.0]))
open('preset/params_bank', 'wb').write(fxbk(2, 1, [fxck(b'One', [0.5, 0.5, 0.5]), fxck(b'\x1b[2JTwo', [1e30, float('nan'), -1.0])]))
open('preset/params_bank_v1', 'wb').write(fxbk(1, 0, [fxck(b'A' * 28, [0.25])]))
factory = bytearray(open('preset/factory_bank', 'rb').read())
factory[160 + 80 + 64 + 48:160 + 80 + 64 + 56] = struct.pack('<d', float('nan'))
open('preset/factory_bank_nan', 'wb').write(bytes(factory))
PY
