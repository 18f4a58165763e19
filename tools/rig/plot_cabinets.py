#!/usr/bin/python3
"""Draws the frequency responses of the rig's bundled cabinets into
docs/rig-cabinets.png from the WAVs corvex-rig-cabinets writes.

    build/default/tools/rig/corvex-rig-cabinets /tmp/cabs
    /usr/bin/python3 tools/rig/plot_cabinets.py /tmp/cabs docs/rig-cabinets.png
(needs python3-numpy and python3-matplotlib)
"""
import glob
import os
import sys
import wave

import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np


def read_wav(path):
    # 32-bit integer mono WAV, as corvex-rig-cabinets writes it.
    with wave.open(path, "rb") as w:
        rate = w.getframerate()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i4") / 2147483648.0
    return rate, data


def main():
    folder, out = sys.argv[1], sys.argv[2]
    fig, ax = plt.subplots(figsize=(9, 4.5), dpi=100)
    for path in sorted(glob.glob(os.path.join(folder, "*.wav"))):
        name = os.path.basename(path)[2:-4]
        rate, ir = read_wav(path)
        n = 1 << 16
        spectrum = np.abs(np.fft.rfft(ir, n))
        freqs = np.fft.rfftfreq(n, 1.0 / rate)
        keep = freqs >= 20
        ax.semilogx(freqs[keep], 20 * np.log10(spectrum[keep] + 1e-9), label=name)
    ax.set_xlim(20, 20000)
    ax.set_ylim(-60, 5)
    ax.set_xlabel("Frequency (Hz)")
    ax.set_ylabel("Level (dB)")
    ax.set_title("Corvex Rig: the bundled cabinets")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(loc="lower left")
    fig.tight_layout()
    fig.savefig(out)
    print("wrote", out)


if __name__ == "__main__":
    main()
