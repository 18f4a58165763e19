#!/usr/bin/env python3
"""Synthesizes the bundled demo input: a dry guitar DI take of a short rock
riff (palm-muted chugs on the low E string and a few power chords), about
7.4 s, 44.1 kHz, 16-bit mono, peak at -6 dBFS.

Each string is a Karplus-Strong waveguide: a delay line one period long,
excited by a shaped noise burst and closed through a two-point loss filter
and a first-order allpass that tunes the fractional part of the period.
Palm-muted notes use a darker pick and a much lossier loop; a new stroke
damps the strings that are still ringing, as the fretting hand would.

Only the Python standard library is used and every "random" choice comes
from a fixed linear congruential generator, so the output is identical on
every run. Usage: make_demo_riff.py [OUTPUT.wav]
"""

import math
import os
import struct
import sys
import wave

RATE = 44100
TEMPO = 140.0                       # beats per minute
SIXTEENTH = 60.0 / TEMPO / 4.0      # seconds
BAR = 16                            # sixteenths per bar
TAIL = 0.6                          # seconds the last chord rings after the grid
PEAK_DB = -6.0

# Power chords as MIDI note numbers, lowest string first (standard tuning).
CHORDS = {
    "E":  [40],            # low E alone, for chugs
    "E5": [40, 47, 52],
    "G5": [43, 50, 55],
    "A5": [45, 52, 57],
    "C5": [48, 55, 60],
    "D5": [50, 57, 62],
}

# One bar per list: (start, length) in sixteenths, chord, palm-muted.
GALLOP_UP = [(0, 2, "E", True), (2, 1, "E", True), (3, 1, "E", True), (4, 2, "E", True),
             (6, 1, "E", True), (7, 1, "E", True), (8, 3, "G5", False), (11, 5, "A5", False)]
GALLOP_DOWN = [(0, 2, "E", True), (2, 1, "E", True), (3, 1, "E", True), (4, 2, "E", True),
               (6, 2, "E", True), (8, 3, "D5", False), (11, 3, "C5", False), (14, 1, "E", True),
               (15, 1, "E", True)]
ENDING = [(0, 2, "E", True), (2, 1, "E", True), (3, 1, "E", True), (4, 2, "G5", False),
          (6, 2, "A5", False), (8, 8, "E5", False)]
RIFF = [GALLOP_UP, GALLOP_DOWN, GALLOP_UP, ENDING]


class Lcg:
    """Numerical Recipes LCG: the same numbers on every platform."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 4294967296.0

    def signed(self):
        return 2.0 * self.next() - 1.0


def midi_to_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def pluck(freq, muted, velocity, ring, rng):
    """Samples of one plucked string: sounds for `ring` seconds, then is damped."""
    # Loop filter y = a*x + (1-a)*x[n-1]: darker (smaller a) when palm-muted.
    a = 0.32 if muted else 0.5
    t60 = 0.16 if muted else max(1.0, 3.0 - 0.006 * (freq - 80.0))
    period = RATE / freq - (1.0 - a)        # the filter's own delay at low frequencies
    n = int(period)
    frac = period - n
    if frac < 0.2:                          # keep the allpass away from its poor corner
        n -= 1
        frac += 1.0
    c = (1.0 - frac) / (1.0 + frac)
    gain = 10.0 ** (-3.0 / (freq * t60))
    release_gain = 10.0 ** (-3.0 / (freq * 0.035))

    # Excitation: a noise burst one period long, softened by a one-pole
    # lowpass (the pick), then combed at the plucking position.
    brightness = (0.25 if muted else 0.6) + 0.3 * velocity
    burst, state = [], 0.0
    for _ in range(n):
        state += brightness * (rng.signed() - state)
        burst.append(state)
    mean = sum(burst) / n
    burst = [b - mean for b in burst]
    tap = max(1, int(0.17 * n))
    line = [velocity * (burst[i] - (burst[i - tap] if i >= tap else 0.0)) for i in range(n)]

    ring_samples = int(ring * RATE)
    total = ring_samples + int(0.08 * RATE)
    out = [0.0] * total
    index, previous, ap_in, ap_out = 0, 0.0, 0.0, 0.0
    g = gain
    for i in range(total):
        if i == ring_samples:
            g = release_gain
        x = line[index]
        out[i] = x
        y = g * (a * x + (1.0 - a) * previous)
        previous = x
        z = c * y + ap_in - c * ap_out      # fractional-delay allpass
        ap_in, ap_out = y, z
        line[index] = z
        index += 1
        if index == n:
            index = 0
    return out


def render():
    rng = Lcg(20240611)
    grid = len(RIFF) * BAR * SIXTEENTH
    mix = [0.0] * (int((grid + TAIL) * RATE) + RATE // 5)

    events = []
    for bar, pattern in enumerate(RIFF):
        for start, length, chord, muted in pattern:
            events.append((bar * BAR + start, length, chord, muted))
    for k, (start, length, chord, muted) in enumerate(events):
        onset = start * SIXTEENTH + 0.004 * rng.signed()      # a human right hand
        beat_accent = 1.0 if start % 4 == 0 else 0.85
        velocity = beat_accent * (0.9 + 0.1 * rng.next()) * (1.7 if muted else 1.0)   # a muted pick is darker, not weaker
        nxt = events[k + 1][0] * SIXTEENTH if k + 1 < len(events) else grid + TAIL
        notes = CHORDS[chord]
        for s, note in enumerate(notes):
            strum = 0.007 * s                                  # downstroke, low string first
            ring = max(0.02, nxt - onset - strum - 0.01)
            samples = pluck(midi_to_hz(note), muted, velocity * (1.0 - 0.08 * s), ring, rng)
            first = int((onset + strum) * RATE)
            for i, v in enumerate(samples):
                if first + i < len(mix):
                    mix[first + i] += v

    # DC blocker, then a short fade at the very end.
    out, x1, y1 = [], 0.0, 0.0
    for x in mix:
        y = x - x1 + 0.9995 * y1
        x1, y1 = x, y
        out.append(y)
    fade = int(0.05 * RATE)
    for i in range(fade):
        out[len(out) - fade + i] *= 1.0 - (i + 1) / fade

    peak = max(abs(v) for v in out)
    scale = 10.0 ** (PEAK_DB / 20.0) * 32767.0 / peak
    return [int(round(v * scale)) for v in out]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "resources", "demo", "demo-riff.wav")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    samples = render()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))
    print("wrote %s: %.2f s, %d Hz, 16-bit mono, peak %.1f dBFS"
          % (os.path.normpath(path), len(samples) / RATE, RATE, PEAK_DB))


if __name__ == "__main__":
    main()
