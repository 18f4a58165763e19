#!/usr/bin/env python3
"""Draws the pictures of the amp's sound in docs/ by measuring the built
plug-in through corvex-render, the same way any host renders audio:

  tone-stack.png   small-signal frequency response for Low, Mid, High, Contour
  level-curves.png output level against input level for several Drive settings
  harmonics.png    harmonic spectrum of a 110 Hz sine on each channel
  aliasing.png     spectrograms of a 20 Hz-20 kHz sweep, LowQ against HighQ

Every signal is synthesised here (a fixed noise seed), so the pictures and
the figures printed with them are the same on every run. Usage (normally
through make-pictures.sh):
  make_pictures.py --render PATH --plugin PATH [--out DIR]
"""

import argparse
import os
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from corvex_audio import RATE, Renderer, db, exact_spectrum, transfer_function  # noqa: E402

KNOBS = ("Low", "Mid", "High", "Contour")
PNG_META = {"Software": None}


def save(fig, out_dir, name):
    path = os.path.join(out_dir, name)
    fig.savefig(path, dpi=100, metadata=PNG_META)
    plt.close(fig)
    print(f"  wrote {path} ({os.path.getsize(path) // 1024} KB)")
    return path


def tone_stack(r, out_dir):
    """White noise at -40 dBFS RMS through channel 0 at Drive 0: the valves
    stay close to their operating points, so the amp is all but linear and
    the cross spectrum over the input spectrum (H1) is its frequency
    response, tone stack and the fixed preamp filters together. The first
    half second (the stages settling) is left out."""
    noise = np.random.default_rng(20240611).standard_normal(5 * RATE)
    x = noise * (10 ** (-40 / 20) / np.sqrt(np.mean(noise ** 2)))
    base = {"Channel": 0, "Drive": 0.0, "Input": 0.5, "Mix PLS": 0.5}
    skip = RATE // 2

    def response(extra):
        y = r.render(x, {**base, **extra})
        return transfer_function(x[skip:], y[skip:])

    freqs, noon = response({})
    ref = np.max(np.abs(noon[(freqs > 40) & (freqs < 20000)]))
    band = (freqs >= 30) & (freqs <= 20000)
    probes = {"Low": 100.0, "Mid": 600.0, "High": 5000.0, "Contour": 600.0}
    fig, axes = plt.subplots(2, 2, figsize=(10, 6.4), sharex=True, sharey=True)
    print("Tone stack (channel 0, Drive 0, white noise at -40 dBFS RMS):")
    for ax, knob in zip(axes.flat, KNOBS):
        at = {}
        for value in (0.0, 0.25, 0.5, 0.75, 1.0):
            h = noon if value == 0.5 else response({knob: value})[1]
            level = db(h / ref)
            ax.semilogx(freqs[band], level[band], label=f"{knob} {value:g}",
                        color=plt.cm.viridis(value * 0.9), lw=2.2 if value == 0.5 else 1.4)
            at[value] = np.interp(probes[knob], freqs, level)
        print(f"  {knob:8s} 0 -> 1 moves {probes[knob]:5.0f} Hz from {at[0.0]:6.1f} to {at[1.0]:6.1f} dB")
        ax.set_title(f"{knob} (the other knobs at 0.5)")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=8, loc="lower center", ncol=3)
    for ax in axes[1]:
        ax.set_xlabel("frequency (Hz)")
    for ax in axes[:, 0]:
        ax.set_ylabel("dB (all knobs at 0.5 peaks at 0)")
    axes[0, 0].set_ylim(-40, 10)
    axes[0, 0].set_xlim(30, 20000)
    fig.suptitle("Tone controls: small-signal response of the amp, channel 0, Drive 0")
    fig.tight_layout()
    return save(fig, out_dir, "tone-stack.png")


def level_curves(r, out_dir):
    """A 220 Hz sine rising in 2 dB steps from -60 to 0 dBFS peak, each step
    0.3 s; the output's RMS over the second half of each step."""
    steps = np.arange(-60, 1, 2)
    step_len = int(0.3 * RATE)
    n = np.arange(len(steps) * step_len)
    envelope = np.repeat(10 ** (steps / 20.0), step_len)
    x = envelope * np.sin(2 * np.pi * 220.0 * n / RATE)
    drives = (0.0, 0.25, 0.5, 0.75, 1.0)

    def curve(settings):
        y = r.render(x, settings)
        rms = [np.sqrt(np.mean(y[i * step_len + step_len // 2:(i + 1) * step_len] ** 2)) for i in range(len(steps))]
        return db(np.array(rms))

    fig, axes = plt.subplots(1, 2, figsize=(10, 4.6), sharey=True)
    print("Level curves (220 Hz sine, Volume 0.5, tone at 0.5): output RMS at -40 / -20 / 0 dBFS input")
    for ax, channel in zip(axes, (0, 1)):
        for d in drives:
            out = curve({"Channel": channel, "Drive": d})
            ax.plot(steps, out, color=plt.cm.plasma(d * 0.85), label=f"Drive {d:g}")
            picks = [out[list(steps).index(v)] for v in (-40, -20, 0)]
            print(f"  channel {channel}, Drive {d:4.2f}: " + " / ".join(f"{p:6.1f}" for p in picks) + " dBFS")
        if channel == 1:
            out = curve({"Channel": 1, "Drive": 0.5, "TQZ Boost": 1})
            ax.plot(steps, out, "k--", label="Drive 0.5, TQZ Boost")
        ax.plot(steps, steps - 3.0, ":", color="grey", label="unity (sine RMS)")
        ax.set_title(f"Channel {channel}")
        ax.set_xlabel("input sine peak (dBFS)")
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize=8)
    axes[0].set_ylabel("output RMS (dBFS)")
    axes[0].set_ylim(-70, 5)
    fig.suptitle("Input to output level, Volume 0.5")
    fig.tight_layout()
    return save(fig, out_dir, "level-curves.png")


def harmonics(r, out_dir):
    """A sine of RATE/400 Hz (110.25 Hz: 400 samples a period) at -12 dBFS
    peak, knobs at their defaults; the last 40 periods analysed without a
    window, so harmonic h falls exactly on bin 40 h."""
    period, periods = 400, 40
    x = 10 ** (-12 / 20) * np.sin(2 * np.pi * (np.arange(2 * RATE) % period) / period)
    fig, axes = plt.subplots(2, 1, figsize=(10, 6.4), sharex=True, sharey=True)
    print("Harmonics (110 Hz sine at -12 dBFS peak, knobs at their defaults):")
    for ax, channel in zip(axes, (0, 1)):
        y = r.render(x, {"Channel": channel})[-period * periods:]
        spectrum = exact_spectrum(y)
        freqs = np.arange(len(spectrum)) * RATE / len(y)
        fundamental = spectrum[periods]
        rel = db(spectrum / fundamental)
        shown = freqs <= 4000
        ax.plot(freqs[shown], rel[shown], color="0.6", lw=0.8)
        h = np.arange(1, 37)
        ax.stem(h * RATE / period, rel[h * periods], bottom=-100, basefmt=" ", linefmt="C3-", markerfmt="C3o")
        thd = np.sqrt(np.sum(spectrum[h[1:10] * periods] ** 2)) / fundamental
        even = np.sqrt(np.sum(spectrum[h[1:10:2] * periods] ** 2)) / fundamental
        odd = np.sqrt(np.sum(spectrum[h[2:10:2] * periods] ** 2)) / fundamental
        print(f"  channel {channel}: THD (2-10) {100 * thd:5.1f} %, even {db(even):6.1f} dB, odd {db(odd):6.1f} dB, "
              f"H2 {rel[2 * periods]:6.1f}, H3 {rel[3 * periods]:6.1f} dB")
        ax.set_title(f"Channel {channel}: THD {100 * thd:.1f} % (harmonics 2-10)")
        ax.set_ylabel("dB re fundamental")
        ax.grid(True, alpha=0.3)
    axes[0].set_ylim(-100, 5)
    axes[1].set_xlabel("frequency (Hz)")
    fig.suptitle("Harmonic spectrum of a 110 Hz sine at -12 dBFS peak")
    fig.tight_layout()
    return save(fig, out_dir, "harmonics.png")


def strongest_alias(r, settings):
    """A 3517 Hz sine (a whole number of cycles a second) at -12 dBFS: in
    the last second, the strongest component that is neither a harmonic
    below half the rate nor below 20 Hz, in dB re the fundamental."""
    f0 = 3517
    n = np.arange(2 * RATE)
    y = r.render(10 ** (-12 / 20) * np.sin(2 * np.pi * f0 * n / RATE), settings)[-RATE:]
    spectrum = exact_spectrum(y)
    mask = np.ones(len(spectrum), dtype=bool)
    mask[:20] = False
    mask[np.arange(f0, RATE // 2 + 1, f0)] = False
    return db(spectrum[mask].max() / spectrum[f0])


def aliasing(r, out_dir):
    """An exponential sweep from 20 Hz to 20 kHz in 8 s at -12 dBFS peak
    through channel 1 at Drive 0.5. The harmonics rise with the sweep; the
    part of them above the oversampled band that the half-band filters let
    through folds back and shows as lines that fall while the sweep rises.
    Blackman-windowed frames of 2048 samples, one every 2048."""
    seconds, f1, f2 = 8.0, 20.0, 20000.0
    t = np.arange(int(seconds * RATE)) / RATE
    k = np.log(f2 / f1)
    x = 10 ** (-12 / 20) * np.sin(2 * np.pi * f1 * seconds / k * (np.exp(t * k / seconds) - 1))
    drive = {"Channel": 1, "Drive": 0.5}
    fig, axes = plt.subplots(1, 2, figsize=(10, 4.4), sharey=True)
    print("Aliasing (channel 1, Drive 0.5): strongest alias of a 3517 Hz sine at -12 dBFS peak")
    for ax, quality in zip(axes, (0, 1)):
        settings = {**drive, "LowQ/HighQ": quality}
        y = r.render(x, settings)
        segment = 2048
        window = np.blackman(segment)
        frames = np.array([np.abs(np.fft.rfft(window * y[s:s + segment]))[:segment // 2]
                           for s in range(0, len(y) - segment + 1, segment)]).T
        frames = frames.reshape(segment // 8, 4, -1).max(axis=1)  # 256 rows: enough for the eye
        level = db(frames / frames.max())
        ax.imshow(level, origin="lower", aspect="auto", cmap="magma", vmin=-120, vmax=0,
                  extent=(0, len(y) / RATE, 0, RATE / 2000), interpolation="nearest")
        alias = strongest_alias(r, settings)
        name, factor = ("HighQ", 8) if quality else ("LowQ", 4)
        print(f"  {name} ({factor}x oversampling at 44.1 kHz): {alias:6.1f} dB re the fundamental")
        ax.set_title(f"{name} ({factor}x): 3517 Hz sine's worst alias {alias:.0f} dB", fontsize=11)
        ax.set_xlabel("time (s)")
    axes[0].set_ylabel("frequency (kHz)")
    fig.suptitle("20 Hz - 20 kHz sweep at -12 dBFS peak, channel 1, Drive 0.5 (colour: 0 to -120 dB)")
    fig.tight_layout()
    return save(fig, out_dir, "aliasing.png")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--render", required=True, help="corvex-render")
    parser.add_argument("--plugin", required=True, help="the plug-in library")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "..", "docs"))
    args = parser.parse_args()
    out_dir = os.path.abspath(args.out)
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="corvex-docs-") as work:
        r = Renderer(args.render, args.plugin, work)
        for draw in (tone_stack, level_curves, harmonics, aliasing):
            draw(r, out_dir)
        print(f"{r.count} renders through {args.plugin}")


if __name__ == "__main__":
    main()
