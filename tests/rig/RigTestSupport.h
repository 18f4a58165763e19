// Shared pieces of the rig's tests: a guitar-like test signal, WAV files
// written with libsndfile into a temporary folder, and a direct convolution.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rigtest {

// A decaying plucked tone with a little noise: what a DI gives.
inline std::vector<float> guitar(int frames, double rate, uint32_t seed = 1, float level = 0.3f) {
    std::vector<float> x((std::size_t)frames);
    uint32_t s = seed;
    for (int i = 0; i < frames; ++i) {
        s = s * 1664525u + 1013904223u;
        const double noise = ((double)(s >> 8) / (double)(1u << 24) - 0.5) * 0.01;
        const double t = i / rate;
        const double pluck = std::fmod(t, 0.5);
        x[(std::size_t)i] = (float)(level * std::exp(-pluck * 6.0) *
                                        (std::sin(2 * M_PI * 110.0 * t) + 0.4 * std::sin(2 * M_PI * 220.7 * t)) +
                                    noise);
    }
    return x;
}

inline std::string tempPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / "corvex-rig-tests";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Writes `channels` (one or two, same length) as a float WAV (or `format`).
inline bool writeAudio(const std::string& path, const std::vector<std::vector<float>>& channels, int rate,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = (int)channels.size();
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    const std::size_t n = channels[0].size();
    std::vector<float> inter(n * channels.size());
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t c = 0; c < channels.size(); ++c)
            inter[i * channels.size() + c] = channels[c][i];
    sf_writef_float(f, inter.data(), (sf_count_t)n);
    sf_close(f);
    return true;
}

// A cabinet-like test response: a decaying, coloured burst.
inline std::vector<float> testResponse(int frames, uint32_t seed = 7) {
    std::vector<float> h((std::size_t)frames);
    uint32_t s = seed;
    double lp = 0.0;
    for (int i = 0; i < frames; ++i) {
        s = s * 1664525u + 1013904223u;
        const double white = (double)(s >> 8) / (double)(1u << 24) - 0.5;
        lp += 0.3 * (white - lp);
        h[(std::size_t)i] = (float)(lp * std::exp(-6.0 * i / frames));
    }
    h[0] = 0.8f;
    return h;
}

// y = h * x in double precision, the first x.size() samples.
inline std::vector<double> convolve(const std::vector<float>& x, const std::vector<float>& h) {
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t k = 0; k < h.size(); ++k) {
        const double hk = h[k];
        if (hk == 0.0)
            continue;
        for (std::size_t i = k; i < x.size(); ++i)
            y[i] += hk * x[i - k];
    }
    return y;
}

}  // namespace rigtest
