"""Small helpers of the documentation pictures: 32-bit float WAV files,
rendering through the built plug-in with corvex-render, and spectra."""

import os
import struct
import subprocess

import numpy as np

RATE = 44100


def write_wav(path, samples, rate=RATE):
    """Mono 32-bit float WAV (format tag 3), as libsndfile reads it."""
    data = np.asarray(samples, dtype="<f4").tobytes()
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    fmt = b"fmt " + struct.pack("<IHHIIHH", 16, 3, 1, rate, rate * 4, 4, 32)
    with open(path, "wb") as f:
        f.write(header + fmt + b"data" + struct.pack("<I", len(data)) + data)


def read_wav(path):
    """The channels of a 32-bit float WAV as a (frames, channels) array."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise ValueError(f"{path} is not a WAV file")
    pos, channels, data = 12, 0, None
    while pos + 8 <= len(blob):
        tag, size = blob[pos:pos + 4], struct.unpack("<I", blob[pos + 4:pos + 8])[0]
        body = blob[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            channels = struct.unpack("<H", body[2:4])[0]
            bits = struct.unpack("<H", body[14:16])[0]
            if bits != 32:
                raise ValueError(f"{path}: {bits}-bit samples, expected 32-bit float")
        elif tag == b"data":
            data = body
        pos += 8 + size + (size & 1)
    if data is None or channels == 0:
        raise ValueError(f"{path}: no audio")
    return np.frombuffer(data, dtype="<f4").reshape(-1, channels)


class Renderer:
    """Runs signals through the plug-in with corvex-render, one call each."""

    def __init__(self, render_path, plugin_path, work_dir):
        self.render_path = render_path
        self.plugin_path = plugin_path
        self.work_dir = work_dir
        self.count = 0

    def render(self, signal, settings):
        """The left output for a mono input; `settings` maps parameter names
        to values 0..1 (everything else stays at the plug-in's default)."""
        self.count += 1
        source = os.path.join(self.work_dir, "in.wav")
        target = os.path.join(self.work_dir, "out.wav")
        write_wav(source, signal)
        args = [self.render_path, "-q", "--plugin", self.plugin_path, source, "-o", target]
        for name, value in settings.items():
            args += ["--set", f"{name}={value}"]
        subprocess.run(args, check=True)
        return read_wav(target)[:, 0].astype(np.float64)


def db(x, floor=1e-12):
    return 20.0 * np.log10(np.maximum(np.abs(x), floor))


def transfer_function(x, y, segment=8192):
    """H1 estimate of the path from x to y, averaged over Hann-windowed half
    overlapping segments: cross spectrum over input spectrum. Distortion
    products that are not correlated with the input average away."""
    window = np.hanning(segment)
    sxy = np.zeros(segment // 2 + 1, dtype=complex)
    sxx = np.zeros(segment // 2 + 1)
    for start in range(0, len(x) - segment + 1, segment // 2):
        fx = np.fft.rfft(window * x[start:start + segment])
        fy = np.fft.rfft(window * y[start:start + segment])
        sxy += np.conj(fx) * fy
        sxx += np.abs(fx) ** 2
    freqs = np.fft.rfftfreq(segment, 1.0 / RATE)
    return freqs, sxy / np.maximum(sxx, 1e-30)


def exact_spectrum(y):
    """Amplitude spectrum of a whole number of periods (no window): bin k of
    N samples is k * RATE / N Hz, a sine of amplitude A reads A."""
    return np.abs(np.fft.rfft(y)) * 2.0 / len(y)
