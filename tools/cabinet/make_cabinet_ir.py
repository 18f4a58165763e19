#!/usr/bin/python3
"""Writes the bundled speaker-cabinet impulse response: a synthetic 4 x 12
closed-back cabinet, not a measurement of any real one.

What makes it sound like one:
  - a closed box: a resonance of the speakers in the sealed volume near 100 Hz,
    falling at 12 dB per octave below it;
  - a gentle scoop in the low mids (around 500 Hz) and a presence peak near
    2.5 kHz, where the cones start to break up, with a little ripple;
  - a steep roll-off above about 5 kHz (the cones cannot follow any higher);
  - minimum phase, as a close-miked speaker is nearly;
  - three early reflections in the first 5 ms (the baffle edges and the floor),
    each darker than the one before.

The response is 26.7 ms (1280 frames) at 48 kHz, normalised so that its loudest frequency
passes at 0 dB, and written as a 24-bit mono WAV.

    /usr/bin/python3 tools/cabinet/make_cabinet_ir.py  (needs numpy: python3-numpy) [resources/cabinet/corvex-4x12.wav]
"""
import sys
import wave

import numpy as np

RATE = 48000
LENGTH = 1280          # 26.7 ms: past it the response holds less than -58 dB of its energy
FFT = 1 << 16          # fine frequency grid for the minimum-phase step


def peak(f, f0, gain_db, q):
    """Magnitude (linear) of a peaking bell on the frequency grid f."""
    x = np.log2(np.maximum(f, 1.0) / f0) * q * 2.0
    return 10.0 ** (gain_db * np.exp(-x * x) / 20.0)


def magnitude(f):
    m = np.ones_like(f)
    # Sealed-box resonance: a second-order high-pass with a Q above 1.
    s = 1j * f / 100.0
    m *= np.abs(s * s / (s * s + s / 1.6 + 1.0))
    m *= peak(f, 500.0, -3.0, 1.0)          # low-mid scoop
    m *= peak(f, 2500.0, 5.0, 1.4)          # presence
    m *= peak(f, 1500.0, 1.5, 3.0)          # cone ripple
    m *= peak(f, 3400.0, -2.0, 3.0)
    m *= peak(f, 4200.0, 2.0, 4.0)
    # Eighth-order low-pass at 5 kHz: 48 dB per octave above it.
    m *= 1.0 / np.sqrt(1.0 + (f / 5000.0) ** 16)
    return np.maximum(m, 1e-6)


def minimum_phase(mag):
    """Impulse response with magnitude `mag` (full FFT grid) and minimum phase,
    by folding the real cepstrum."""
    cep = np.fft.ifft(np.log(mag)).real
    n = len(cep)
    fold = np.zeros(n)
    fold[0] = cep[0]
    fold[1:n // 2] = 2.0 * cep[1:n // 2]
    fold[n // 2] = cep[n // 2]
    return np.fft.ifft(np.exp(np.fft.fft(fold))).real


def darker(x, amount):
    """One-pole low-pass: each reflection comes back duller."""
    y = np.zeros_like(x)
    state = 0.0
    for i, v in enumerate(x):
        state += (1.0 - amount) * (v - state)
        y[i] = state
    return y


def build():
    f = np.fft.fftfreq(FFT, 1.0 / RATE)
    ir = minimum_phase(magnitude(np.abs(f)))[:LENGTH].copy()
    direct = ir.copy()
    for delay_ms, gain, dull in ((1.3, 0.35, 0.3), (2.9, -0.22, 0.5), (4.7, 0.12, 0.7)):
        d = int(round(delay_ms * RATE / 1000.0))
        ir[d:] += gain * darker(direct[:LENGTH - d], dull)
    # A short fade keeps the end free of a click (5 ms: a longer one would
    # thin the lowest notes' fundamentals).
    fade = int(0.005 * RATE)
    ir[-fade:] *= 0.5 * (1.0 + np.cos(np.linspace(0.0, np.pi, fade)))
    # No frequency comes out louder than it went in: the loudest point of the
    # response (the presence peak) is 0 dB, so the cabinet never adds clipping.
    ir /= np.max(np.abs(np.fft.rfft(ir, FFT)))
    return ir


def write_wav(path, ir):
    peak_value = np.max(np.abs(ir))
    if peak_value >= 1.0:
        ir = ir * (0.999 / peak_value)
        print("note: scaled to %.3f to fit 24-bit" % (0.999 / peak_value))
    samples = np.round(ir * 8388607.0).astype(np.int64)
    data = bytearray()
    for s in samples:
        data += int(s).to_bytes(3, "little", signed=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(3)
        w.setframerate(RATE)
        w.writeframes(bytes(data))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "resources/cabinet/corvex-4x12.wav"
    ir = build()
    write_wav(path, ir)
    spectrum = np.abs(np.fft.rfft(ir, FFT))
    freqs = np.fft.rfftfreq(FFT, 1.0 / RATE)
    for hz in (50, 100, 500, 1000, 2500, 5000, 8000, 12000):
        k = int(round(hz * FFT / RATE))
        print("%6d Hz  %6.1f dB" % (hz, 20 * np.log10(spectrum[k] + 1e-12)))
    del freqs
    print("wrote %s (%d frames, %.1f ms)" % (path, len(ir), 1000.0 * len(ir) / RATE))


if __name__ == "__main__":
    main()
