// The signal chain computed a chunk of host samples at a time. Each element
// of the chain (half-band filters, triode stages, filters, curve) is a
// little state machine that only feeds forward, so running one element over
// many samples before the next gives the same numbers as running the whole
// chain sample by sample, while letting independent recurrences overlap.
// Where two identical elements run on independent data (the left and right
// sides, or the two parallel stages of preamp channel 0) they share vector
// lanes. A chunk whose probe sees a non-finite value is rolled back and run
// again by the sample-by-sample reference, which handles the recovery.
#include <cmath>
#include <cstring>

#include "model/DoublePair.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

namespace {

constexpr int chunkFrames = 32;
constexpr int maxChunkSamples = chunkFrames * 8;

template <class V>
inline V splat(double value);
template <>
inline double splat<double>(double value) {
    return value;
}
template <>
inline DoublePair splat<DoublePair>(double value) {
    return splatPair(value);
}

inline void loadLanes(double& lanes, double a, double) { lanes = a; }
inline void loadLanes(DoublePair& lanes, double a, double b) { lanes = makePair(a, b); }
inline void storeLanes(double lanes, double& a, double&) { a = lanes; }
inline void storeLanes(DoublePair lanes, double& a, double& b) {
    a = lane0(lanes);
    b = lane1(lanes);
}

// A triode stage (or two, one per lane) held in locals for a chunk.
template <class V>
struct TriodeLanes {
    V supplyVoltage;
    V cathodeCapacitance;
    V fourGridConduction;
    V twoGridConduction;
    V inverseTwiceGridConduction;
    V inverseGridResistance;
    V inversePlateResistance;
    V cathodeCoefficient;
    V couplingCoefficient;
    V c[13];
    V plateCurrent;
    V gridCurrent;
    V gridVoltage;
    V cathodeVoltage;
    V plateVoltage;
    V outputVoltage;
};

// With a single lane `a` and `b` are the same stage.
template <class V>
TriodeLanes<V> loadTriode(const TriodeStage& a, const TriodeStage& b) {
    TriodeLanes<V> s;
    loadLanes(s.supplyVoltage, a.supplyVoltage, b.supplyVoltage);
    loadLanes(s.cathodeCapacitance, a.cathodeCapacitance, b.cathodeCapacitance);
    // 4 h and 2 h are exact, so they may be formed once.
    loadLanes(s.fourGridConduction, 4.0 * a.gridConduction, 4.0 * b.gridConduction);
    loadLanes(s.twoGridConduction, 2.0 * a.gridConduction, 2.0 * b.gridConduction);
    loadLanes(s.inverseTwiceGridConduction, a.inverseTwiceGridConduction, b.inverseTwiceGridConduction);
    loadLanes(s.inverseGridResistance, a.inverseGridResistance, b.inverseGridResistance);
    loadLanes(s.inversePlateResistance, a.inversePlateResistance, b.inversePlateResistance);
    loadLanes(s.cathodeCoefficient, a.cathodeCoefficient, b.cathodeCoefficient);
    loadLanes(s.couplingCoefficient, a.couplingCoefficient, b.couplingCoefficient);
    for (int i = 0; i < 13; ++i) {
        loadLanes(s.c[i], a.transferCoefficients.c[i], b.transferCoefficients.c[i]);
    }
    loadLanes(s.plateCurrent, a.plateCurrent, b.plateCurrent);
    loadLanes(s.gridCurrent, a.gridCurrent, b.gridCurrent);
    loadLanes(s.gridVoltage, a.gridVoltage, b.gridVoltage);
    loadLanes(s.cathodeVoltage, a.cathodeVoltage, b.cathodeVoltage);
    loadLanes(s.plateVoltage, a.plateVoltage, b.plateVoltage);
    loadLanes(s.outputVoltage, a.outputVoltage, b.outputVoltage);
    return s;
}

template <class V>
void storeTriode(const TriodeLanes<V>& s, TriodeStage& a, TriodeStage& b) {
    storeLanes(s.plateCurrent, a.plateCurrent, b.plateCurrent);
    storeLanes(s.gridCurrent, a.gridCurrent, b.gridCurrent);
    storeLanes(s.gridVoltage, a.gridVoltage, b.gridVoltage);
    storeLanes(s.cathodeVoltage, a.cathodeVoltage, b.cathodeVoltage);
    storeLanes(s.plateVoltage, a.plateVoltage, b.plateVoltage);
    storeLanes(s.outputVoltage, a.outputVoltage, b.outputVoltage);
}

// runTriodeStage, lane by lane, with the same operations in the same order.
template <class V>
inline V stepTriode(TriodeLanes<V>& s, V x, V rate) {
    const V zero = splat<V>(0.0);
    const V one = splat<V>(1.0);
    const V vk = s.cathodeVoltage;
    const V drive = x - vk;
    V vg = x;
    if (lanesBelow(drive, zero) != (1 << laneCount<V>()) - 1) {
        const V conducting = (sqrtLanes(one - s.fourGridConduction * vk + s.fourGridConduction * x) +
                              s.twoGridConduction * vk - one) *
                             s.inverseTwiceGridConduction;
        vg = selectBelow(drive, zero, x, conducting);
    }
    s.gridVoltage = vg;
    const V ig = (x - vg) * s.inverseGridResistance;
    s.gridCurrent = ig;

    const V vpOld = s.plateVoltage;
    const V v = vg - vk;
    const V* c = s.c;
    const V numerator = c[0] + v * (c[2] + v * (c[4] + v * (c[6] + v * (c[8] + v * (c[10] + v * c[12])))));
    const V denominator = one + v * (c[1] + v * (c[3] + v * (c[5] + v * (c[7] + v * (c[9] + v * c[11])))));
    V vpk = numerator / denominator;
    const V cutoff = splat<V>(triodeCutoffVoltage);
    if (lanesBelow(v, cutoff) != 0) {
        vpk = selectBelow(v, cutoff, s.supplyVoltage, vpk);
    }
    const V vp = minLanes(s.supplyVoltage + vk, vpk + vk);
    s.plateVoltage = vp;
    const V ip = (s.supplyVoltage - vp) * s.inversePlateResistance;
    s.plateCurrent = ip;
    const V y = s.couplingCoefficient * (s.outputVoltage + vp - vpOld);
    s.outputVoltage = y;
    s.cathodeVoltage = floorAtZero(s.cathodeCoefficient * (ip + ig + s.cathodeCapacitance * vk * rate));
    return y;
}

template <class V>
struct BiquadLanes {
    V inverseA0, a1, a2, b0, b1, b2, x1, x2, y1, y2;
};

template <class V>
BiquadLanes<V> loadBiquad(const Biquad& a, const Biquad& b) {
    BiquadLanes<V> q;
    loadLanes(q.inverseA0, a.inverseA0, b.inverseA0);
    loadLanes(q.a1, a.a1, b.a1);
    loadLanes(q.a2, a.a2, b.a2);
    loadLanes(q.b0, a.b0, b.b0);
    loadLanes(q.b1, a.b1, b.b1);
    loadLanes(q.b2, a.b2, b.b2);
    loadLanes(q.x1, a.x1, b.x1);
    loadLanes(q.x2, a.x2, b.x2);
    loadLanes(q.y1, a.y1, b.y1);
    loadLanes(q.y2, a.y2, b.y2);
    return q;
}

template <class V>
void storeBiquad(const BiquadLanes<V>& q, Biquad& a, Biquad& b) {
    storeLanes(q.x1, a.x1, b.x1);
    storeLanes(q.x2, a.x2, b.x2);
    storeLanes(q.y1, a.y1, b.y1);
    storeLanes(q.y2, a.y2, b.y2);
}

template <class V>
inline V stepBiquad(BiquadLanes<V>& q, V x) {
    const V y = q.inverseA0 * (q.b0 * x + q.b1 * q.x1 + q.b2 * q.x2 - q.a1 * q.y1 - q.a2 * q.y2);
    q.x2 = q.x1;
    q.x1 = x;
    q.y2 = q.y1;
    q.y1 = y;
    return y;
}

inline double laneValue(const float* buffer, int j) { return (double)buffer[j]; }

// Preamp channel 0 of one side: stages 1 and 2 share the input, so they share
// the two lanes.
void preampChannel0(AmpSide& side, const ChainSettings& settings, const float* in, double* out, int count) {
    TriodeLanes<DoublePair> parallel = loadTriode<DoublePair>(side.triodeStage1, side.triodeStage2);
    TriodeLanes<double> third = loadTriode<double>(side.triodeStage3, side.triodeStage3);
    BiquadLanes<double> shelf = loadBiquad<double>(side.lowShelf1k, side.lowShelf1k);
    BiquadLanes<double> lowpass = loadBiquad<double>(side.lowpass10k, side.lowpass10k);
    const double input = settings.input;
    const double keep = 1.0 - settings.mix;
    const double blend = 2.5 * settings.mix;
    const double driveGain = settings.driveGain;
    const DoublePair ratePair = splatPair(settings.oversampledRate);
    const double rate = settings.oversampledRate;
    for (int j = 0; j < count; ++j) {
        const double a = laneValue(in, j) * input;
        const DoublePair b = stepTriode(parallel, splatPair(a), ratePair);
        const double b1 = lane0(b);
        const double b2 = stepBiquad(shelf, lane1(b));
        double m = (keep * b1 + blend * b2) * driveGain;
        m = stepBiquad(lowpass, m);
        out[j] = stepTriode(third, m, rate);
    }
    storeTriode(parallel, side.triodeStage1, side.triodeStage2);
    storeTriode(third, side.triodeStage3, side.triodeStage3);
    storeBiquad(shelf, side.lowShelf1k, side.lowShelf1k);
    storeBiquad(lowpass, side.lowpass10k, side.lowpass10k);
}

// Preamp channel 0 of both sides, left in lane 0 and right in lane 1.
void preampChannel0Stereo(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                          const float* inRight, double* outLeft, double* outRight, int count) {
    using V = DoublePair;
    TriodeLanes<V> first = loadTriode<V>(left.triodeStage1, right.triodeStage1);
    TriodeLanes<V> second = loadTriode<V>(left.triodeStage2, right.triodeStage2);
    TriodeLanes<V> third = loadTriode<V>(left.triodeStage3, right.triodeStage3);
    BiquadLanes<V> shelf = loadBiquad<V>(left.lowShelf1k, right.lowShelf1k);
    BiquadLanes<V> lowpass = loadBiquad<V>(left.lowpass10k, right.lowpass10k);
    const V input = splatPair(settings.input);
    const V keep = splatPair(1.0 - settings.mix);
    const V blend = splatPair(2.5 * settings.mix);
    const V driveGain = splatPair(settings.driveGain);
    const V rate = splatPair(settings.oversampledRate);
    for (int j = 0; j < count; ++j) {
        const V a = makePair(laneValue(inLeft, j), laneValue(inRight, j)) * input;
        const V b1 = stepTriode(first, a, rate);
        const V b2 = stepBiquad(shelf, stepTriode(second, a, rate));
        V m = (keep * b1 + blend * b2) * driveGain;
        m = stepBiquad(lowpass, m);
        const V y = stepTriode(third, m, rate);
        storeLanes(y, outLeft[j], outRight[j]);
    }
    storeTriode(first, left.triodeStage1, right.triodeStage1);
    storeTriode(second, left.triodeStage2, right.triodeStage2);
    storeTriode(third, left.triodeStage3, right.triodeStage3);
    storeBiquad(shelf, left.lowShelf1k, right.lowShelf1k);
    storeBiquad(lowpass, left.lowpass10k, right.lowpass10k);
}

// Preamp channel 1: three stages in cascade. `extraGain` is the drive gain
// the left side applies a second time (1 for the right side; v * 1 is v).
template <class V>
void preampChannel1(AmpSide& a, AmpSide& b, const ChainSettings& settings, V extraGain, const float* inA,
                    const float* inB, double* outA, double* outB, int count) {
    TriodeLanes<V> fourth = loadTriode<V>(a.triodeStage4, b.triodeStage4);
    TriodeLanes<V> fifth = loadTriode<V>(a.triodeStage5, b.triodeStage5);
    TriodeLanes<V> sixth = loadTriode<V>(a.triodeStage6, b.triodeStage6);
    BiquadLanes<V> shelf150 = loadBiquad<V>(a.lowShelf150, b.lowShelf150);
    BiquadLanes<V> lowpassA = loadBiquad<V>(a.lowpass6kA, b.lowpass6kA);
    BiquadLanes<V> shelf720 = loadBiquad<V>(a.lowShelf720, b.lowShelf720);
    BiquadLanes<V> lowpassB = loadBiquad<V>(a.lowpass6kB, b.lowpass6kB);
    const V input = splat<V>(settings.input);
    const V two = splat<V>(2.0);
    const V driveGain = splat<V>(settings.driveGain);
    const V boostGain = splat<V>(settings.boost == 0 ? 1.0 : 3.0);
    const V rate = splat<V>(settings.oversampledRate);
    const V outputGain = splat<V>(0.52);
    const V offset = splat<V>(0.1 * settings.boost);
    const bool boosted = settings.boost != 0;
    for (int j = 0; j < count; ++j) {
        V x;
        loadLanes(x, laneValue(inA, j), laneValue(inB, j));
        V v = stepTriode(fourth, two * (x * input), rate);
        if (boosted) {
            v = v * boostGain * driveGain;
        } else {
            v = v * driveGain;
        }
        v = v * extraGain;
        v = stepBiquad(lowpassA, stepBiquad(shelf150, v));
        v = stepTriode(fifth, v, rate);
        v = stepBiquad(lowpassB, stepBiquad(shelf720, v));
        v = stepTriode(sixth, v, rate);
        storeLanes(outputGain * v - offset, outA[j], outB[j]);
    }
    storeTriode(fourth, a.triodeStage4, b.triodeStage4);
    storeTriode(fifth, a.triodeStage5, b.triodeStage5);
    storeTriode(sixth, a.triodeStage6, b.triodeStage6);
    storeBiquad(shelf150, a.lowShelf150, b.lowShelf150);
    storeBiquad(lowpassA, a.lowpass6kA, b.lowpass6kA);
    storeBiquad(shelf720, a.lowShelf720, b.lowShelf720);
    storeBiquad(lowpassB, a.lowpass6kB, b.lowpass6kB);
}

// Limiter, tone stack, power drive, curve and DC blocker over a run of
// preamp outputs. Returns the probe: 0 while every preamp and tone stack
// output was finite, NaN otherwise.
double powerSection(AmpSide& side, const ChainConstants& constants, const double* in, float* out, int count) {
    ToneStack& ts = side.toneStack;
    const double b0 = ts.B0n, b1 = ts.B1n, b2 = ts.B2n, b3 = ts.B3n;
    const double a1 = ts.A1n, a2 = ts.A2n, a3 = ts.A3n;
    const double s3 = ts.s3;
    double s0 = ts.s0, s1 = ts.s1, s2 = ts.s2;
    BiquadLanes<double> dc = loadBiquad<double>(side.dcBlocker, side.dcBlocker);
    const double contourDrive = constants.contourDrive;
    const double powerDrive = constants.powerDrive;
    double probe = 0.0;
    for (int j = 0; j < count; ++j) {
        double a = in[j];
        const double preampOut = a;
        if (a > 0.0) {
            a = 40.0 * (1.0 - std::exp(-0.025 * a));
        }
        const double y = b0 * a + s0;
        s0 = b1 * a + s1 - a1 * y;
        s1 = b2 * a + s2 - a2 * y;
        s2 = b3 * a + s3 - a3 * y;
        probe = probe + (preampOut * 0.0 + y * 0.0);
        a = y * contourDrive * powerDrive;
        a = lookupPowerAmpCurve(a);
        out[j] = (float)stepBiquad(dc, a);
    }
    ts.s0 = s0;
    ts.s1 = s1;
    ts.s2 = s2;
    storeBiquad(dc, side.dcBlocker, side.dcBlocker);
    return probe;
}

// Conditioned host samples up to the oversampled rate.
void raiseRate(AmpSide& side, int oversampling, const float* in, float* out, int count) {
    for (int h = 0; h < count; ++h) {
        float p[2];
        upsampleHalfBand(side.upsampler2x, in[h], p[0], p[1]);
        p[0] = p[0] * 2.0f;
        p[1] = p[1] * 2.0f;
        if (oversampling == 2) {
            out[0] = p[0];
            out[1] = p[1];
        } else {
            for (int j = 0; j < 2; ++j) {
                float r[2];
                upsampleHalfBand(side.upsampler4x, p[j], r[0], r[1]);
                if (oversampling == 4) {
                    out[2 * j] = r[0];
                    out[2 * j + 1] = r[1];
                } else {
                    for (int k = 0; k < 2; ++k) {
                        upsampleHalfBand(side.upsampler8x, r[k], out[4 * j + 2 * k], out[4 * j + 2 * k + 1]);
                    }
                }
            }
        }
        out += oversampling;
    }
}

// Oversampled amp outputs back down to the host rate.
void lowerRate(AmpSide& side, int oversampling, const float* in, float* out, int count) {
    for (int h = 0; h < count; ++h) {
        float lowered[2];
        if (oversampling == 2) {
            lowered[0] = in[0];
            lowered[1] = in[1];
        } else {
            for (int j = 0; j < 2; ++j) {
                const float* q = in + 4 * j;
                if (oversampling == 4) {
                    lowered[j] = downsampleHalfBand(side.downsampler4x, in[2 * j], in[2 * j + 1]);
                } else {
                    const float m0 = downsampleHalfBand(side.downsampler8x, q[0], q[1]);
                    const float m1 = downsampleHalfBand(side.downsampler8x, q[2], q[3]);
                    lowered[j] = downsampleHalfBand(side.downsampler4x, m0, m1);
                }
            }
        }
        out[h] = downsampleHalfBand(side.downsampler2x, lowered[0], lowered[1]);
        in += oversampling;
    }
}

inline float scaleOutput(float lowered, double volume) {
    const float out = (float)((double)lowered * 3.0 * volume);
    return std::isfinite(out) ? out : 0.0f;
}

}  // namespace

void processChainBlock(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                       const float* inRight, float* outLeft, float* outRight, int frames) {
    if (frames <= 0) {
        return;
    }
    const int oversampling = settings.oversampling;
    if (oversampling != 2 && oversampling != 4 && oversampling != 8) {
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
    double preamp[2][maxChunkSamples];
    float amp[2][maxChunkSamples];
    float lowered[2][chunkFrames];

    for (int begin = 0; begin < frames; begin += chunkFrames) {
        const int count = frames - begin < chunkFrames ? frames - begin : chunkFrames;
        const int samples = count * oversampling;
        for (int h = 0; h < count; ++h) {
            const double injected = injectedSineOffset(settings.oversampledPeriod, frames - 1 - (begin + h));
            conditioned[0][h] = injectedSample(inLeft[begin + h], injected);
            if (stereo) {
                conditioned[1][h] = injectedSample(inRight[begin + h], injected);
            }
        }

        AmpSide savedLeft;
        AmpSide savedRight;
        std::memcpy(&savedLeft, &left, sizeof left);
        if (stereo) {
            std::memcpy(&savedRight, &right, sizeof right);
        }

        raiseRate(left, oversampling, conditioned[0], raised[0], count);
        if (stereo) {
            raiseRate(right, oversampling, conditioned[1], raised[1], count);
        }
        if (settings.activeChannel == 0) {
            if (stereo) {
                preampChannel0Stereo(left, right, settings, raised[0], raised[1], preamp[0], preamp[1], samples);
            } else {
                preampChannel0(left, settings, raised[0], preamp[0], samples);
            }
        } else {
            if (stereo) {
                preampChannel1<DoublePair>(left, right, settings, makePair(settings.driveGain, 1.0), raised[0],
                                           raised[1], preamp[0], preamp[1], samples);
            } else {
                preampChannel1<double>(left, left, settings, settings.driveGain, raised[0], raised[0], preamp[0],
                                       preamp[0], samples);
            }
        }
        double probe = powerSection(left, constants, preamp[0], amp[0], samples);
        if (stereo) {
            probe = probe + powerSection(right, constants, preamp[1], amp[1], samples);
        }

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

        lowerRate(left, oversampling, amp[0], lowered[0], count);
        if (stereo) {
            lowerRate(right, oversampling, amp[1], lowered[1], count);
        }
        for (int h = 0; h < count; ++h) {
            const float l = scaleOutput(lowered[0][h], settings.volume);
            if (stereo) {
                const float r = scaleOutput(lowered[1][h], settings.volume);
                outLeft[begin + h] = l;
                outRight[begin + h] = r;
            } else {
                outLeft[begin + h] = l;
                outRight[begin + h] = l;
            }
        }
    }
}
