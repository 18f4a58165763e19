// The signal chain computed a chunk of host samples at a time. Each element
// of the chain (half-band filters, triode stages, filters, curve) is a small
// state machine that only feeds forward, so running the elements staggered
// by a sample or two (element 1 on sample j while element 2 works on sample
// j - 1) computes what running the whole chain sample by sample computes,
// while the processor overlaps the independent recurrences. Where identical
// elements run on independent data (the left and right sides, the two
// parallel stages of preamp channel 0, the two all-pass paths of a half-band
// filter) they share vector lanes; the half-band filters of a cascade run
// their passes interleaved (HalfBandPasses.h, on the active lane path's
// registers). Between the raising and the lowering of
// the rate the whole amp core is one fused loop (FusedCore.h), whose
// arithmetic is regrouped for short recurrences: its results stay within a
// few rounding steps of the reference's. A chunk whose probe sees a
// non-finite value is rolled back and run again by the sample-by-sample
// reference, which handles the recovery.
#include "model/ChainBlock.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "model/ChunkInput.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"

namespace {

constexpr int maxChunkSamples = fusedCoreMaxSamples;
static_assert(chunkFramesAt(2) * 2 <= maxChunkSamples && chunkFramesAt(4) * 4 <= maxChunkSamples &&
                  chunkFramesAt(8) * 8 <= maxChunkSamples,
              "a chunk fits one fused-core job");

// Makes `table` hold offsets for `period`: kept if it already does, else
// marked not computed. False when the period cannot be kept (not finite).
bool primeSineTable(InjectedSineTable& table, double period) {
    if (!std::isfinite(period)) {
        return false;
    }
    if (!table.primed || table.period != period) {
        for (double& v : table.values) {
            v = std::numeric_limits<double>::quiet_NaN();
        }
        table.period = period;
        table.primed = true;
    }
    return true;
}

// What a chunk's fast path writes in a side: the half-band filters'
// histories and the stages' and filters' states. Kept at a chunk's start, so
// that a chunk whose amp core sees a non-finite value can start again from
// it; the rest of the side (designed coefficients, mostly) stays as it was.
struct SideRollback {
    HalfBandFilter12 upsampler2x, downsampler2x;
    HalfBandFilter8 upsampler4x, downsampler4x;
    HalfBandFilter4 upsampler8x, downsampler8x;
    TriodeRestPoint stages[6];
    double filters[7][4];  // x1, x2, y1, y2
    double toneStack[3];   // s0, s1, s2 (s3 stays 0)
};

TriodeStage AmpSide::*const rollbackStages[6] = {&AmpSide::triodeStage1, &AmpSide::triodeStage2,
                                                 &AmpSide::triodeStage3, &AmpSide::triodeStage4,
                                                 &AmpSide::triodeStage5, &AmpSide::triodeStage6};
Biquad AmpSide::*const rollbackFilters[7] = {&AmpSide::lowShelf1k, &AmpSide::lowpass10k,  &AmpSide::lowShelf150,
                                             &AmpSide::lowpass6kA, &AmpSide::lowShelf720, &AmpSide::lowpass6kB,
                                             &AmpSide::dcBlocker};

void keepLowering(const AmpSide& side, SideRollback& kept) {
    kept.downsampler2x = side.downsampler2x;
    kept.downsampler4x = side.downsampler4x;
    kept.downsampler8x = side.downsampler8x;
}

void keepSide(const AmpSide& side, SideRollback& kept) {
    kept.upsampler2x = side.upsampler2x;
    kept.upsampler4x = side.upsampler4x;
    kept.upsampler8x = side.upsampler8x;
    keepLowering(side, kept);
    for (int k = 0; k < 6; ++k) {
        kept.stages[k] = restPointOf(side.*rollbackStages[k]);
    }
    for (int k = 0; k < 7; ++k) {
        const Biquad& b = side.*rollbackFilters[k];
        kept.filters[k][0] = b.x1;
        kept.filters[k][1] = b.x2;
        kept.filters[k][2] = b.y1;
        kept.filters[k][3] = b.y2;
    }
    kept.toneStack[0] = side.toneStack.s0;
    kept.toneStack[1] = side.toneStack.s1;
    kept.toneStack[2] = side.toneStack.s2;
}

void restoreSide(AmpSide& side, const SideRollback& kept) {
    side.upsampler2x = kept.upsampler2x;
    side.upsampler4x = kept.upsampler4x;
    side.upsampler8x = kept.upsampler8x;
    side.downsampler2x = kept.downsampler2x;
    side.downsampler4x = kept.downsampler4x;
    side.downsampler8x = kept.downsampler8x;
    for (int k = 0; k < 6; ++k) {
        putAtRestPoint(side.*rollbackStages[k], kept.stages[k]);
    }
    for (int k = 0; k < 7; ++k) {
        Biquad& b = side.*rollbackFilters[k];
        b.x1 = kept.filters[k][0];
        b.x2 = kept.filters[k][1];
        b.y1 = kept.filters[k][2];
        b.y2 = kept.filters[k][3];
    }
    side.toneStack.s0 = kept.toneStack[0];
    side.toneStack.s1 = kept.toneStack[1];
    side.toneStack.s2 = kept.toneStack[2];
}

// Stereo with both sides in step: preamp channel 0 (whose two sides are
// designed alike; channel 1's differ), the same input samples and, bit for
// bit, the same records in everything channel 0 reads and writes. The right
// side would then compute exactly what the left computes, so the left runs
// alone and the right takes its records afterwards. That is the common case
// of a mono source (a guitar's one signal) on a stereo insert.
template <class T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool sidesInStep(const AmpSide& left, const AmpSide& right, const ChainSettings& settings, const float* inLeft,
                 const float* inRight, int frames) {
    if (settings.activeChannel != 0) {
        return false;
    }
    if (inLeft != inRight && std::memcmp(inLeft, inRight, sizeof(float) * (size_t)frames) != 0) {
        return false;
    }
    return sameBits(left.upsampler2x, right.upsampler2x) && sameBits(left.downsampler2x, right.downsampler2x) &&
           sameBits(left.upsampler4x, right.upsampler4x) && sameBits(left.downsampler4x, right.downsampler4x) &&
           sameBits(left.upsampler8x, right.upsampler8x) && sameBits(left.downsampler8x, right.downsampler8x) &&
           sameBits(left.triodeStage1, right.triodeStage1) && sameBits(left.triodeStage2, right.triodeStage2) &&
           sameBits(left.triodeStage3, right.triodeStage3) && sameBits(left.lowShelf1k, right.lowShelf1k) &&
           sameBits(left.lowpass10k, right.lowpass10k) && sameBits(left.dcBlocker, right.dcBlocker) &&
           sameBits(left.toneStack, right.toneStack);
}

// The right side takes what the left side's channel 0 run has changed (the
// rest of the right side, its channel 1 among it, stays its own).
void followLeft(AmpSide& right, const AmpSide& left) {
    right.upsampler2x = left.upsampler2x;
    right.downsampler2x = left.downsampler2x;
    right.upsampler4x = left.upsampler4x;
    right.downsampler4x = left.downsampler4x;
    right.upsampler8x = left.upsampler8x;
    right.downsampler8x = left.downsampler8x;
    right.triodeStage1 = left.triodeStage1;
    right.triodeStage2 = left.triodeStage2;
    right.triodeStage3 = left.triodeStage3;
    right.lowShelf1k = left.lowShelf1k;
    right.lowpass10k = left.lowpass10k;
    right.dcBlocker = left.dcBlocker;
    right.toneStack = left.toneStack;
}

void runChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                   const float* inRight, float* outLeft, float* outRight, int frames, InjectedSineTable* sines,
                   bool mayStep) {
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

    const int chunkFrames = chunkFramesAt(oversampling);
    float conditioned[2][chunkFramesMax];
    float raised[2][maxChunkSamples];
    float amp[2][maxChunkSamples];
    float lowered[2][chunkFramesMax];
    const ChunkBuffers leftBuffers = {conditioned[0], raised[0], amp[0], lowered[0]};
    // Whether the right side runs a chain of its own in this block. In
    // stereo with the sides in step the left runs alone (the chunk calls see
    // it as mono) until a chunk has to be rolled back.
    bool apart = stereo && !(mayStep && sidesInStep(left, right, settings, inLeft, inRight, frames));
    auto inStep = [&] { return stereo && !apart; };
    const ChunkBuffers ownRightBuffers = {conditioned[1], raised[1], amp[1], lowered[1]};
    auto otherSide = [&]() -> AmpSide& { return apart ? right : left; };
    auto otherBuffers = [&]() -> const ChunkBuffers& { return apart ? ownRightBuffers : leftBuffers; };

    if (sines != nullptr && !primeSineTable(*sines, settings.oversampledPeriod)) {
        sines = nullptr;
    }
    auto injectedOffset = [&](int samplesAfter) {
        if (sines == nullptr || samplesAfter >= InjectedSineTable::size) {
            return injectedSineOffset(settings.oversampledPeriod, samplesAfter);
        }
        double& kept = sines->values[samplesAfter];
        if (kept != kept) {
            kept = injectedSineOffset(settings.oversampledPeriod, samplesAfter);
        }
        return kept;
    };

    SideRollback savedLeft;
    SideRollback savedRight;
    // Host samples [begin, begin + count) with the injected sine.
    auto conditionSide = [&](const float* in, float* out, int begin, int count) {
        conditionChunkInput(in + begin, out, count, [&](int h) { return injectedOffset(frames - 1 - (begin + h)); });
    };
    auto condition = [&](int begin, int count) {
        conditionSide(inLeft, conditioned[0], begin, count);
        if (apart) {
            conditionSide(inRight, conditioned[1], begin, count);
        }
    };
    // The state a chunk goes back to if its amp core sees a non-finite value.
    auto save = [&]() {
        keepSide(left, savedLeft);
        if (apart) {
            keepSide(right, savedRight);
        }
    };
    bool raisedAhead = false;  // the chunk's raising ran beside the previous chunk's lowering
    for (int begin = 0; begin < frames; begin += chunkFrames) {
        const int count = frames - begin < chunkFrames ? frames - begin : chunkFrames;
        const int samples = count * oversampling;
        if (!raisedAhead) {
            condition(begin, count);
            save();
            raiseChunkRate(left, otherSide(), oversampling, leftBuffers, otherBuffers(), count);
        }
        raisedAhead = false;
        FusedCoreJob job;
        job.left = &left;
        job.right = &otherSide();
        job.sides = apart ? 2 : 1;
        job.settings = &settings;
        job.constants = &constants;
        job.inLeft = raised[0];
        job.inRight = raised[apart ? 1 : 0];
        job.outLeft = amp[0];
        job.outRight = amp[apart ? 1 : 0];
        job.samples = samples;
        const double probe = runFusedCore(job);

        if (!(probe == 0.0)) {
            // Something went non-finite: start the chunk again from the saved
            // state, one sample at a time, where faults are handled.
            restoreSide(left, savedLeft);
            if (apart) {
                restoreSide(right, savedRight);
            }
            if (inStep()) {
                // The right side catches up with the left at this chunk's
                // start; from here on each side runs its own chain (the
                // recovery may treat them differently: it rests the whole
                // side, channel 1 too).
                followLeft(right, left);
                apart = true;
            }
            processChainRange(left, right, settings, constants, inLeft, inRight, outLeft, outRight, begin,
                              begin + count, frames);
            continue;
        }

        const int next = begin + count;
        if ((oversampling == 2 || (oversampling == 4 && !apart)) && next < frames) {
            // This chunk's lowering and the next one's raising run side by
            // side. The next chunk's rollback state has this lowering done
            // and its own raising not.
            const int nextCount = frames - next < chunkFrames ? frames - next : chunkFrames;
            condition(next, nextCount);
            save();
            lowerThenRaiseChunkRate(left, otherSide(), oversampling, leftBuffers, otherBuffers(), count, leftBuffers,
                                    otherBuffers(), nextCount);
            keepLowering(left, savedLeft);
            if (apart) {
                keepLowering(right, savedRight);
            }
            raisedAhead = true;
        } else {
            lowerChunkRate(left, otherSide(), oversampling, leftBuffers, otherBuffers(), count);
        }
        scaleSideOutputs(lowered[0], outLeft + begin, count, settings.volume);
        if (apart) {
            scaleSideOutputs(lowered[1], outRight + begin, count, settings.volume);
        } else {
            for (int h = 0; h < count; ++h) {
                outRight[begin + h] = outLeft[begin + h];
            }
        }
    }
    if (inStep()) {
        followLeft(right, left);
    }
}

}  // namespace

void processChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                       const float* inRight, float* outLeft, float* outRight, int frames, InjectedSineTable* sines) {
    runChainBlock(left, right, settings, inLeft, inRight, outLeft, outRight, frames, sines, true);
}

void processChainBlockSidesApart(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                                 const float* inRight, float* outLeft, float* outRight, int frames,
                                 InjectedSineTable* sines) {
    runChainBlock(left, right, settings, inLeft, inRight, outLeft, outRight, frames, sines, false);
}
