// corvex-soak: renders a long stretch of audio offline through the plug-in,
// loaded from its file the way a host loads it, and checks what comes out.
//
// The programme: segments of noise (levels from -26 to -1 dBFS) and of
// digital silence alternate; every noise/silence pair runs in the next of
// the sixteen modes (channel 0/1, LowQ/HighQ, mono/stereo, boost off/on), and
// before every block the nine knobs move along slow sweeps of their own
// periods over their whole range. Blocks vary in size.
//
// The checks, each against a stated bound (see kBounds below):
//   - no NaN or infinite sample, ever;
//   - the output peak stays under the bound (the knobs never exceed 1.0);
//   - DC: the mean of the last second of every silence segment (the DC
//     blocker has had a second to settle) stays within the bound, and so
//     does its drift from the first such segment to any later one;
//   - the silence tails die away (no self-oscillation): their RMS stays
//     under the bound;
//   - the amp never goes dead: every noise segment has RMS above the bound.
//
//   corvex-soak [--seconds N] [--rate HZ] [--plugin PATH] [--segment S]
// Exit status 0 when every check holds.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loader/PluginLibrary.h"
#include "shell/vst2.h"

namespace {

struct Bounds {
    // |sample|, +12 dBFS. The output is three times the lowered amp signal
    // times Volume (<= 1 here); the valve curve holds the power stage within
    // +-0.415, but the DC blocker (impulse response L1 norm 2.4) and the
    // steep half-band decimators can add to that on the right signal, so
    // no tight analytic bound exists. An hour of the programme below peaks
    // at 3.17 (+10 dBFS); the bound leaves room for that and catches any
    // growth or instability.
    double peak = 4.0;
    double dcMean = 1e-3;          // |mean| of a settled silence second (-60 dBFS)
    double dcDrift = 1e-3;         // change of that mean over the run
    double silenceTailRms = 1e-3;  // RMS of a settled silence second (-60 dBFS)
    double liveRms = 1e-3;         // lowest RMS of a noise segment
};
const Bounds kBounds;

struct Options {
    double seconds = 3600.0;
    float rate = 44100.0f;
    double segment = 4.0;  // seconds per noise or silence segment
    std::string plugin = CORVEX_PLUGIN_PATH;
};

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        default:
            return 0;
    }
}

// Small, fast and the same on every machine.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 32);
    }
    float uniform() { return (next() >> 8) * (1.0f / 16777216.0f) * 2.0f - 1.0f; }  // -1 .. 1
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "corvex-soak: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--seconds")
            options.seconds = std::atof(value("--seconds"));
        else if (arg == "--rate")
            options.rate = static_cast<float>(std::atof(value("--rate")));
        else if (arg == "--segment")
            options.segment = std::atof(value("--segment"));
        else if (arg == "--plugin")
            options.plugin = value("--plugin");
        else {
            std::fprintf(stderr, "usage: corvex-soak [--seconds N] [--rate HZ] [--segment S] [--plugin PATH]\n");
            return false;
        }
    }
    if (!(options.seconds > 0) || !(options.rate >= 8000 && options.rate <= 384000) || !(options.segment >= 2.0)) {
        std::fprintf(stderr, "corvex-soak: need seconds > 0, 8000 <= rate <= 384000, segment >= 2\n");
        return false;
    }
    return true;
}

// Knob sweep: a triangle over 0..1 with its own period (seconds).
float sweep(double t, double period, double phase) {
    const double x = std::fmod(t / period + phase, 1.0);
    return static_cast<float>(x < 0.5 ? 2.0 * x : 2.0 - 2.0 * x);
}

struct Stats {
    long long samples = 0, nonFinite = 0;
    double peak = 0.0, peakAt = 0.0;
    double firstDc[2] = {NAN, NAN};
    double worstDc = 0.0, worstDrift = 0.0, worstTailRms = 0.0;
    double quietestLive = INFINITY, quietestLiveAt = 0.0;
    long long segments = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options))
        return 2;

    corvex::PluginLibrary library;
    std::string loadError;
    if (!library.open(options.plugin, loadError)) {
        std::fprintf(stderr, "corvex-soak: cannot load %s: %s\n", options.plugin.c_str(), loadError.c_str());
        return 2;
    }
    auto entry = library.symbol("VSTPluginMain");
    AEffect* effect = entry ? entry(hostCallback) : nullptr;
    if (!effect || effect->magic != kEffectMagic) {
        std::fprintf(stderr, "corvex-soak: %s gave no effect\n", options.plugin.c_str());
        return 2;
    }
    auto dispatch = [&](VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, op, index, value, ptr, opt);
    };
    const int maxBlock = 1024;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, options.rate);
    dispatch(effSetBlockSize, 0, maxBlock);
    dispatch(effMainsChanged, 0, 1);

    std::vector<float> inL(maxBlock), inR(maxBlock), outL(maxBlock), outR(maxBlock);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    const int blockSizes[] = {512, 64, 1024, 37, 256, 1, 700, 128};

    const long long total = static_cast<long long>(options.seconds * options.rate);
    const long long segmentFrames = static_cast<long long>(options.segment * options.rate);
    const long long settleFrames = segmentFrames - static_cast<long long>(options.rate);  // last second is measured
    Random random;
    Stats stats;
    const auto started = std::chrono::steady_clock::now();

    long long frame = 0;
    int sizeIndex = 0;
    // Per-segment accumulators: live RMS over the whole noise segment, mean
    // and RMS over the settled last second of a silence segment.
    double sum[2] = {0, 0}, sumSquares[2] = {0, 0};
    long long counted = 0;
    while (frame < total) {
        const long long segment = frame / segmentFrames;
        const long long inSegment = frame % segmentFrames;
        const bool noise = segment % 2 == 0;
        const int mode = static_cast<int>((segment / 2) % 16);
        if (inSegment == 0 && noise) {
            effect->setParameter(effect, 1, float(mode & 1));          // Channel
            effect->setParameter(effect, 11, float((mode >> 1) & 1));  // LowQ/HighQ
            effect->setParameter(effect, 10, float((mode >> 2) & 1));  // Mono/Stereo
            effect->setParameter(effect, 12, float((mode >> 3) & 1));  // TQZ Boost
        }
        // Knob sweeps, every block.
        const double t = double(frame) / options.rate;
        const int knobs[] = {0, 2, 3, 4, 5, 6, 7, 8, 9};
        const double periods[] = {37.0, 23.0, 41.0, 13.0, 17.0, 19.0, 29.0, 31.0, 11.0};
        for (int k = 0; k < 9; ++k) {
            float v = sweep(t, periods[k], 0.1 * k);
            if (knobs[k] == 9)
                v = 0.2f + 0.8f * v;  // Volume: never silent, so the amp stays audible
            effect->setParameter(effect, knobs[k], v);
        }

        int frames = blockSizes[sizeIndex++ % 8];
        frames = static_cast<int>(std::min<long long>(frames, segmentFrames - inSegment));
        frames = static_cast<int>(std::min<long long>(frames, total - frame));
        const float level = std::pow(10.0f, (-26.0f + 25.0f * float((segment / 2) % 7) / 6.0f) / 20.0f);
        for (int i = 0; i < frames; ++i) {
            inL[i] = noise ? level * random.uniform() : 0.0f;
            inR[i] = noise ? level * random.uniform() : 0.0f;
        }
        effect->processReplacing(effect, inputs, outputs, frames);

        if (inSegment == 0) {
            sum[0] = sum[1] = sumSquares[0] = sumSquares[1] = 0.0;
            counted = 0;
        }
        for (int i = 0; i < frames; ++i) {
            const float o[2] = {outL[i], outR[i]};
            for (int c = 0; c < 2; ++c) {
                if (!std::isfinite(o[c])) {
                    ++stats.nonFinite;
                    continue;
                }
                if (std::fabs(o[c]) > stats.peak) {
                    stats.peak = std::fabs(o[c]);
                    stats.peakAt = double(frame + i) / options.rate;
                }
                if (noise || inSegment + i >= settleFrames) {
                    sum[c] += o[c];
                    sumSquares[c] += double(o[c]) * o[c];
                }
            }
            if (noise || inSegment + i >= settleFrames)
                ++counted;
        }
        stats.samples += 2LL * frames;
        frame += frames;

        if (frame % segmentFrames == 0 || frame == total) {
            ++stats.segments;
            if (counted > 0) {
                for (int c = 0; c < 2; ++c) {
                    const double mean = sum[c] / counted;
                    const double rms = std::sqrt(sumSquares[c] / counted);
                    if (noise) {
                        if (rms < stats.quietestLive) {
                            stats.quietestLive = rms;
                            stats.quietestLiveAt = double(frame) / options.rate;
                        }
                    } else if (frame % segmentFrames == 0) {
                        if (std::isnan(stats.firstDc[c]))
                            stats.firstDc[c] = mean;
                        stats.worstDc = std::max(stats.worstDc, std::fabs(mean));
                        stats.worstDrift = std::max(stats.worstDrift, std::fabs(mean - stats.firstDc[c]));
                        stats.worstTailRms = std::max(stats.worstTailRms, rms);
                    }
                }
            }
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    dispatch(effMainsChanged, 0, 0);
    dispatch(effClose);
    library.close();

    const double audioSeconds = double(total) / options.rate;
    bool ok = true;
    auto line = [&](const char* what, double value, double bound, bool below, const char* extra = "") {
        const bool holds = below ? value <= bound : value >= bound;
        ok = ok && holds;
        std::printf("  %-34s %-12.6g %s %-10g %s%s\n", what, value, below ? "<=" : ">=", bound, holds ? "ok" : "FAILED",
                    extra);
    };
    std::printf(
        "corvex-soak: %.0f s of audio at %.0f Hz (%lld segments of %.1f s, 16 modes, knobs swept every "
        "block) in %.1f s, %.1fx real time\n",
        audioSeconds, double(options.rate), stats.segments, options.segment, wall, audioSeconds / wall);
    line("non-finite samples", double(stats.nonFinite), 0, true);
    char at[64];
    std::snprintf(at, sizeof at, "  (at %.2f s)", stats.peakAt);
    line("peak |output|", stats.peak, kBounds.peak, true, at);
    line("settled silence |DC mean|", stats.worstDc, kBounds.dcMean, true);
    line("settled silence DC drift", stats.worstDrift, kBounds.dcDrift, true);
    line("settled silence RMS", stats.worstTailRms, kBounds.silenceTailRms, true);
    std::snprintf(at, sizeof at, "  (segment ending %.1f s)", stats.quietestLiveAt);
    line("quietest noise segment RMS", stats.quietestLive, kBounds.liveRms, false, at);
    std::printf("corvex-soak: %s\n", ok ? "all checks hold" : "FAILED");
    return ok ? 0 : 1;
}
