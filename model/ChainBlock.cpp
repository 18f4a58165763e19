// The signal chain computed a chunk of host samples at a time. Each element
// of the chain (half-band filters, triode stages, filters, curve) is a small
// state machine that only feeds forward, so running the elements staggered
// by a sample or two (element 1 on sample j while element 2 works on sample
// j - 1) computes what running the whole chain sample by sample computes,
// while the processor overlaps the independent recurrences. Where identical
// elements run on independent data (the left and right sides, the two
// parallel stages of preamp channel 0, the two all-pass paths of a half-band
// filter) they share vector lanes. Between the raising and the lowering of
// the rate the whole amp core is one fused loop (FusedCore.h), whose
// arithmetic is regrouped for short recurrences: its results stay within a
// few rounding steps of the reference's. A chunk whose probe sees a
// non-finite value is rolled back and run again by the sample-by-sample
// reference, which handles the recovery.
#include "model/ChainBlock.h"

#include <cmath>
#include <cstring>

#include "model/FloatQuad.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"

namespace {

constexpr int chunkFrames = 64;
constexpr int maxChunkSamples = chunkFrames * 8;
static_assert(maxChunkSamples <= fusedCoreMaxSamples, "a chunk fits one fused-core job");

// ---------------------------------------------------------------------------
// Half-band filters with the two all-pass paths in neighbouring lanes:
// lanes (A, B) of side a, then (A, B) of side b. A filter of N coefficients
// is N / 2 sections in series, each section one A and one B all-pass.

template <int N>
struct HalfBandLanes {
    static constexpr int sections = N / 2;
    FloatQuad g[N / 2];
    FloatQuad x[N / 2];
    FloatQuad y[N / 2];
};

template <int N>
HalfBandLanes<N> loadHalfBand(const HalfBandFilter<N>& a, const HalfBandFilter<N>& b) {
    HalfBandLanes<N> f;
    for (int s = 0; s < N / 2; ++s) {
        const int i = 2 * s;
        f.g[s] = makeQuad(a.coefficients[i], a.coefficients[i + 1], b.coefficients[i], b.coefficients[i + 1]);
        f.x[s] = makeQuad(a.inputHistory[i], a.inputHistory[i + 1], b.inputHistory[i], b.inputHistory[i + 1]);
        f.y[s] = makeQuad(a.outputHistory[i], a.outputHistory[i + 1], b.outputHistory[i], b.outputHistory[i + 1]);
    }
    return f;
}

template <int N>
void storeHalfBand(const HalfBandLanes<N>& f, HalfBandFilter<N>& a, HalfBandFilter<N>& b) {
    for (int s = 0; s < N / 2; ++s) {
        const int i = 2 * s;
        float x[4];
        float y[4];
        storeQuad(f.x[s], x);
        storeQuad(f.y[s], y);
        b.inputHistory[i] = x[2];
        b.inputHistory[i + 1] = x[3];
        b.outputHistory[i] = y[2];
        b.outputHistory[i + 1] = y[3];
        a.inputHistory[i] = x[0];
        a.inputHistory[i + 1] = x[1];
        a.outputHistory[i] = y[0];
        a.outputHistory[i + 1] = y[1];
    }
}

template <int N>
inline FloatQuad stepSection(HalfBandLanes<N>& f, int s, FloatQuad v) {
    const FloatQuad w = (v - f.y[s]) * f.g[s] + f.x[s];
    f.x[s] = v;
    f.y[s] = w;
    return w;
}

// Runs `count` quads through the filter's sections. Section s works on
// sample t - s in pass t, so the sections of one pass are independent; each
// section still sees its samples in order. Only the first and last S - 1
// passes have sections without a sample; the passes between run every
// section, unrolled, with the state in registers.
template <int N, class In, class Out>
inline void runSections(HalfBandLanes<N>& f, int count, In input, Out output) {
    constexpr int S = N / 2;
    FloatQuad pending[S] = {};
    auto section = [&](int s, int i) {
        const FloatQuad w = stepSection(f, s, s == 0 ? input(i) : pending[s]);
        if (s == S - 1) {
            output(i, w);
        } else {
            pending[s + 1] = w;
        }
    };
    auto partialPass = [&](int t) {
        for (int s = S - 1; s >= 0; --s) {
            if (t - s >= 0 && t - s < count) {
                section(s, t - s);
            }
        }
    };
    int t = 0;
    for (; t < S - 1 && t < count + S - 1; ++t) {
        partialPass(t);
    }
    for (; t < count; ++t) {
#pragma GCC unroll 8
        for (int s = S - 1; s >= 0; --s) {
            section(s, t - s);
        }
    }
    for (; t < count + S - 1; ++t) {
        partialPass(t);
    }
}

struct SideBuffers {
    const float* conditioned;
    float* raised;
    float* amp;
    float* lowered;
};

inline FloatQuad twoSides(const float* a, const float* b, int i) {
    return makeQuad(a[i], a[i], b[i], b[i]);
}

inline void scatterPair(FloatQuad q, float* a, float* b, int i) {
    float lanes[4];
    storeQuad(q, lanes);
    a[i] = lanes[0];
    a[i + 1] = lanes[1];
    b[i] = lanes[2];
    b[i + 1] = lanes[3];
}

// Conditioned host samples up to the oversampled rate, both sides (a and b
// may be the same side). Each upsampler turns one quad (x, x, x', x') into
// (earlier, later, earlier', later').
void raiseRate(AmpSide& a, AmpSide& b, int oversampling, const SideBuffers& bufA, const SideBuffers& bufB, int count) {
    FloatQuad doubled[chunkFrames];
    FloatQuad quadrupled[2 * chunkFrames];
    const FloatQuad two = makeQuad(2.0f, 2.0f, 2.0f, 2.0f);

    HalfBandLanes<12> up2 = loadHalfBand(a.upsampler2x, b.upsampler2x);
    runSections(
        up2, count, [&](int i) { return twoSides(bufA.conditioned, bufB.conditioned, i); },
        [&](int i, FloatQuad w) { doubled[i] = w * two; });
    storeHalfBand(up2, a.upsampler2x, b.upsampler2x);
    if (oversampling == 2) {
        for (int i = 0; i < count; ++i) {
            scatterPair(doubled[i], bufA.raised, bufB.raised, 2 * i);
        }
        return;
    }

    HalfBandLanes<8> up4 = loadHalfBand(a.upsampler4x, b.upsampler4x);
    auto fromDoubled = [&](int k) {
        return k % 2 == 0 ? evenLanesTwice(doubled[k / 2]) : oddLanesTwice(doubled[k / 2]);
    };
    if (oversampling == 4) {
        runSections(up4, 2 * count, fromDoubled,
                    [&](int k, FloatQuad w) { scatterPair(w, bufA.raised, bufB.raised, 2 * k); });
        storeHalfBand(up4, a.upsampler4x, b.upsampler4x);
        return;
    }
    runSections(up4, 2 * count, fromDoubled, [&](int k, FloatQuad w) { quadrupled[k] = w; });
    storeHalfBand(up4, a.upsampler4x, b.upsampler4x);

    HalfBandLanes<4> up8 = loadHalfBand(a.upsampler8x, b.upsampler8x);
    runSections(
        up8, 4 * count,
        [&](int k) { return k % 2 == 0 ? evenLanesTwice(quadrupled[k / 2]) : oddLanesTwice(quadrupled[k / 2]); },
        [&](int k, FloatQuad w) { scatterPair(w, bufA.raised, bufB.raised, 2 * k); });
    storeHalfBand(up8, a.upsampler8x, b.upsampler8x);
}

// Downsampler: two inputs in the form (x, x, x', x'); the later sample
// enters path A, the earlier one path B; the result (A + B) * 0.5 comes out
// in the same form.
inline FloatQuad downInput(FloatQuad earlier, FloatQuad later) {
    return interleavePairs(later, earlier);
}
inline FloatQuad downOutput(FloatQuad w) {
    const FloatQuad half = makeQuad(0.5f, 0.5f, 0.5f, 0.5f);
    return (w + swapPairs(w)) * half;
}

// Oversampled amp outputs back down to the host rate, both sides.
void lowerRate(AmpSide& a, AmpSide& b, int oversampling, const SideBuffers& bufA, const SideBuffers& bufB, int count) {
    FloatQuad halved[4 * chunkFrames];
    FloatQuad quartered[2 * chunkFrames];
    const float* inA = bufA.amp;
    const float* inB = bufB.amp;
    auto fromAmp = [&](int k) { return downInput(twoSides(inA, inB, 2 * k), twoSides(inA, inB, 2 * k + 1)); };

    if (oversampling == 8) {
        HalfBandLanes<4> down8 = loadHalfBand(a.downsampler8x, b.downsampler8x);
        runSections(down8, 4 * count, fromAmp, [&](int k, FloatQuad w) { halved[k] = downOutput(w); });
        storeHalfBand(down8, a.downsampler8x, b.downsampler8x);
    }
    if (oversampling >= 4) {
        HalfBandLanes<8> down4 = loadHalfBand(a.downsampler4x, b.downsampler4x);
        auto toQuartered = [&](int k, FloatQuad w) { quartered[k] = downOutput(w); };
        if (oversampling == 8) {
            runSections(
                down4, 2 * count, [&](int k) { return downInput(halved[2 * k], halved[2 * k + 1]); }, toQuartered);
        } else {
            runSections(down4, 2 * count, fromAmp, toQuartered);
        }
        storeHalfBand(down4, a.downsampler4x, b.downsampler4x);
    }

    HalfBandLanes<12> down2 = loadHalfBand(a.downsampler2x, b.downsampler2x);
    auto toLowered = [&](int h, FloatQuad w) {
        float lanes[4];
        storeQuad(downOutput(w), lanes);
        bufA.lowered[h] = lanes[0];
        bufB.lowered[h] = lanes[2];
    };
    if (oversampling == 2) {
        runSections(down2, count, fromAmp, toLowered);
    } else {
        runSections(
            down2, count, [&](int h) { return downInput(quartered[2 * h], quartered[2 * h + 1]); }, toLowered);
    }
    storeHalfBand(down2, a.downsampler2x, b.downsampler2x);
}

// Above this magnitude a float input is its own nearest float after adding
// the injected sine (|offset| <= 1e-10 is less than half its spacing), so
// the sine need not be computed.
constexpr float injectionBelowSpacing = 0.00390625f;  // 2^-8

}  // namespace

void processChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                       const float* inRight, float* outLeft, float* outRight, int frames) {
    if (frames <= 0) {
        return;
    }
    const int oversampling = settings.oversampling;
    if (oversampling != 2 && oversampling != 4 && oversampling != 8) {
        // Not designed: silence rather than whatever the buffers held.
        for (int i = 0; i < frames; ++i) {
            outLeft[i] = 0.0f;
            outRight[i] = 0.0f;
        }
        return;
    }
    const ChainConstants constants = computeChainConstants(settings);
    const bool stereo = settings.stereo != 0;
    // The knob values hold for the whole block, so a tone stack refreshes, if
    // at all, before its first sample.
    refreshToneStack(left.toneStack, settings.low, settings.mid, settings.high, settings.contour);
    if (stereo) {
        refreshToneStack(right.toneStack, settings.low, settings.mid, settings.high, settings.contour);
    }

    float conditioned[2][chunkFrames];
    float raised[2][maxChunkSamples];
    float amp[2][maxChunkSamples];
    float lowered[2][chunkFrames];
    const SideBuffers leftBuffers = {conditioned[0], raised[0], amp[0], lowered[0]};
    const SideBuffers rightBuffers = stereo ? SideBuffers{conditioned[1], raised[1], amp[1], lowered[1]} : leftBuffers;
    AmpSide& other = stereo ? right : left;

    AmpSide savedLeft;
    AmpSide savedRight;
    for (int begin = 0; begin < frames; begin += chunkFrames) {
        const int count = frames - begin < chunkFrames ? frames - begin : chunkFrames;
        const int samples = count * oversampling;
        for (int h = 0; h < count; ++h) {
            const int i = begin + h;
            const float l = inLeft[i];
            const float r = stereo ? inRight[i] : l;
            if (std::fabs(l) >= injectionBelowSpacing && std::fabs(r) >= injectionBelowSpacing) {
                conditioned[0][h] = l;
                conditioned[1][h] = r;
            } else {
                const double injected = injectedSineOffset(settings.oversampledPeriod, frames - 1 - i);
                conditioned[0][h] = injectedSample(l, injected);
                conditioned[1][h] = injectedSample(r, injected);
            }
        }

        std::memcpy(&savedLeft, &left, sizeof left);
        if (stereo) {
            std::memcpy(&savedRight, &right, sizeof right);
        }

        raiseRate(left, other, oversampling, leftBuffers, rightBuffers, count);
        FusedCoreJob job;
        job.left = &left;
        job.right = &other;
        job.sides = stereo ? 2 : 1;
        job.settings = &settings;
        job.constants = &constants;
        job.inLeft = raised[0];
        job.inRight = raised[stereo ? 1 : 0];
        job.outLeft = amp[0];
        job.outRight = amp[stereo ? 1 : 0];
        job.samples = samples;
        const double probe = runFusedCore(job);

        if (!(probe == 0.0)) {
            // Something went non-finite: start the chunk again from the saved
            // state, one sample at a time, where faults are handled.
            std::memcpy(&left, &savedLeft, sizeof left);
            if (stereo) {
                std::memcpy(&right, &savedRight, sizeof right);
            }
            processChainRange(left, right, settings, constants, inLeft, inRight, outLeft, outRight, begin,
                              begin + count, frames);
            continue;
        }

        lowerRate(left, other, oversampling, leftBuffers, rightBuffers, count);
        for (int h = 0; h < count; ++h) {
            const float l = scaleSideOutput(lowered[0][h], settings.volume);
            const float r = stereo ? scaleSideOutput(lowered[1][h], settings.volume) : l;
            outLeft[begin + h] = l;
            outRight[begin + h] = r;
        }
    }
}
