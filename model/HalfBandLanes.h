// The half-band filters of both sides in float lanes, one oversampled frame
// at a time, as the fused core runs them between its triode steps. Lanes are
// (A, B) of side a, then (A, B) of side b (a and b may be the same side): the
// two all-pass paths of a filter side by side. A filter of N coefficients is
// N / 2 sections in series, each section one A and one B all-pass. Included
// by FusedCoreKernel.h inside the including file's target region; internal
// linkage so the vector widths never mix.
#pragma once

#include "model/FloatQuad.h"
#include "model/HalfBand.h"
#include "model/SignalChain.h"

namespace {

template <int N>
struct HalfBandLanes {
    static constexpr int sections = N / 2;
    FloatQuad g[N / 2];
    FloatQuad x[N / 2];
    FloatQuad y[N / 2];
};

template <int N>
__attribute__((always_inline)) inline void loadHalfBand(HalfBandLanes<N>& f, const HalfBandFilter<N>& a,
                                                        const HalfBandFilter<N>& b) {
    for (int s = 0; s < N / 2; ++s) {
        const int i = 2 * s;
        f.g[s] = makeQuad(a.coefficients[i], a.coefficients[i + 1], b.coefficients[i], b.coefficients[i + 1]);
        f.x[s] = makeQuad(a.inputHistory[i], a.inputHistory[i + 1], b.inputHistory[i], b.inputHistory[i + 1]);
        f.y[s] = makeQuad(a.outputHistory[i], a.outputHistory[i + 1], b.outputHistory[i], b.outputHistory[i + 1]);
    }
}

template <int N>
__attribute__((always_inline)) inline void storeHalfBand(const HalfBandLanes<N>& f, HalfBandFilter<N>& a,
                                                         HalfBandFilter<N>& b) {
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

// One quad through every section of the filter, in order.
template <int N>
__attribute__((always_inline)) inline FloatQuad runHalfBandLanes(HalfBandLanes<N>& f, FloatQuad v) {
    for (int s = 0; s < N / 2; ++s) {
        const FloatQuad w = (v - f.y[s]) * f.g[s] + f.x[s];
        f.x[s] = v;
        f.y[s] = w;
        v = w;
    }
    return v;
}

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

// Downsampler: two inputs in the form (x, x, x', x'); the later sample
// enters path A, the earlier one path B; the result (A + B) * 0.5 comes out
// in the same form (B + A is A + B exactly).
inline FloatQuad downInput(FloatQuad earlier, FloatQuad later) {
    return interleavePairs(later, earlier);
}
inline FloatQuad downOutput(FloatQuad w) {
    const FloatQuad half = makeQuad(0.5f, 0.5f, 0.5f, 0.5f);
    return (w + swapPairs(w)) * half;
}

// The up- and downsamplers of both sides at one oversampling factor (2, 4
// or 8); only the filters that factor uses are loaded and stored.
struct RateLanes {
    int oversampling;
    HalfBandLanes<12> up2, down2;
    HalfBandLanes<8> up4, down4;
    HalfBandLanes<4> up8, down8;

    __attribute__((always_inline)) void load(const AmpSide& a, const AmpSide& b, int factor) {
        oversampling = factor;
        loadHalfBand(up2, a.upsampler2x, b.upsampler2x);
        loadHalfBand(down2, a.downsampler2x, b.downsampler2x);
        if (factor >= 4) {
            loadHalfBand(up4, a.upsampler4x, b.upsampler4x);
            loadHalfBand(down4, a.downsampler4x, b.downsampler4x);
        }
        if (factor == 8) {
            loadHalfBand(up8, a.upsampler8x, b.upsampler8x);
            loadHalfBand(down8, a.downsampler8x, b.downsampler8x);
        }
    }

    __attribute__((always_inline)) void store(AmpSide& a, AmpSide& b) const {
        storeHalfBand(up2, a.upsampler2x, b.upsampler2x);
        storeHalfBand(down2, a.downsampler2x, b.downsampler2x);
        if (oversampling >= 4) {
            storeHalfBand(up4, a.upsampler4x, b.upsampler4x);
            storeHalfBand(down4, a.downsampler4x, b.downsampler4x);
        }
        if (oversampling == 8) {
            storeHalfBand(up8, a.upsampler8x, b.upsampler8x);
            storeHalfBand(down8, a.downsampler8x, b.downsampler8x);
        }
    }

    // Between the pieces below: the doubled host sample, the two quadrupled
    // samples and the lowered halves on their way down.
    FloatQuad doubled, q0, q1;
    FloatQuad halved[2], quartered;

    // Host sample h of both sides (conditioned) up to the oversampled rate:
    // raised samples [h * factor, (h + 1) * factor) of each side. Each
    // upsampler turns one quad (x, x, x', x') into (earlier, later, earlier',
    // later'). The work is cut into pieces 0 to factor - 2, run in order, one
    // per oversampled sample, so that no long chain of dependent additions
    // waits in the processor at once.
    __attribute__((always_inline)) inline void raisePiece(const float* inA, const float* inB, float* outA, float* outB,
                                                          int h, int piece) {
        switch (piece) {
            case 0:
                doubled = runHalfBandLanes(up2, twoSides(inA, inB, h)) * makeQuad(2.0f, 2.0f, 2.0f, 2.0f);
                if (oversampling == 2) {
                    scatterPair(doubled, outA, outB, 2 * h);
                }
                return;
            case 1:
                q0 = runHalfBandLanes(up4, evenLanesTwice(doubled));
                if (oversampling == 4) {
                    scatterPair(q0, outA, outB, 4 * h);
                }
                return;
            case 2:
                q1 = runHalfBandLanes(up4, oddLanesTwice(doubled));
                if (oversampling == 4) {
                    scatterPair(q1, outA, outB, 4 * h + 2);
                }
                return;
            case 3:
                scatterPair(runHalfBandLanes(up8, evenLanesTwice(q0)), outA, outB, 8 * h);
                return;
            case 4:
                scatterPair(runHalfBandLanes(up8, oddLanesTwice(q0)), outA, outB, 8 * h + 2);
                return;
            case 5:
                scatterPair(runHalfBandLanes(up8, evenLanesTwice(q1)), outA, outB, 8 * h + 4);
                return;
            case 6:
                scatterPair(runHalfBandLanes(up8, oddLanesTwice(q1)), outA, outB, 8 * h + 6);
                return;
            default:
                return;
        }
    }

    void raise(const float* inA, const float* inB, float* outA, float* outB, int h) {
        for (int piece = 0; piece < oversampling - 1; ++piece) {
            raisePiece(inA, inB, outA, outB, h, piece);
        }
    }

    // After amp core result p = h * factor + j of both sides is stored: the
    // part of lowering host sample h that it completes. Host sample h is
    // written when j = factor - 1.
    __attribute__((always_inline)) inline void lowerAfter(const float* inA, const float* inB, float* outA, float* outB,
                                                          int p, int j) {
        if ((j & 1) == 0) {
            return;
        }
        const int k = p >> 1;  // the pair p - 1, p
        const FloatQuad pair = downInput(twoSides(inA, inB, 2 * k), twoSides(inA, inB, 2 * k + 1));
        FloatQuad w;
        if (oversampling == 2) {
            w = runHalfBandLanes(down2, pair);
        } else if (oversampling == 4) {
            const FloatQuad q = downOutput(runHalfBandLanes(down4, pair));
            if (j == 1) {
                quartered = q;
                return;
            }
            w = runHalfBandLanes(down2, downInput(quartered, q));
        } else {
            const FloatQuad half = downOutput(runHalfBandLanes(down8, pair));
            if (j == 1 || j == 5) {
                halved[0] = half;
                return;
            }
            const FloatQuad q = downOutput(runHalfBandLanes(down4, downInput(halved[0], half)));
            if (j == 3) {
                quartered = q;
                return;
            }
            w = runHalfBandLanes(down2, downInput(quartered, q));
        }
        float lanes[4];
        storeQuad(downOutput(w), lanes);
        const int h = p / oversampling;
        outA[h] = lanes[0];
        outB[h] = lanes[2];
    }
};

}  // namespace
