// The signal chain computed a chunk of host samples at a time. Each element
// of the chain (half-band filters, triode stages, filters, curve) is a small
// state machine that only feeds forward, so running the elements staggered
// by a sample or two (element 1 on sample j while element 2 works on sample
// j - 1) gives the same numbers as running the whole chain sample by sample,
// while the processor overlaps the independent recurrences. Where identical
// elements run on independent data (the left and right sides, the two
// parallel stages of preamp channel 0, the two all-pass paths of a half-band
// filter) they share vector lanes. A chunk whose probe sees a non-finite
// value is rolled back and run again by the sample-by-sample reference,
// which handles the recovery.
#include <cmath>
#include <cstring>

#include "model/DoublePair.h"
#include "model/FloatQuad.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

namespace {

constexpr int chunkFrames = 32;
constexpr int maxChunkSamples = chunkFrames * 8;

// ---------------------------------------------------------------------------
// Lane plumbing: V is double (one lane) or DoublePair (two lanes).

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

template <class F>
inline double mapLanes(double x, F f) {
    return f(x);
}
template <class F>
inline DoublePair mapLanes(DoublePair x, F f) {
    return makePair(f(lane0(x)), f(lane1(x)));
}

// ---------------------------------------------------------------------------
// Triode stages and biquads held in locals for a chunk (with one lane, the
// two records passed are the same).

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

// runTriodeStage lane by lane: the same operations in the same order, the
// branches turned into per-lane selections that pick the same values.
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
    // vp > vs + vk ? vs + vk : vp
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

// ---------------------------------------------------------------------------
// Power section: limiter, tone stack, power drive, curve, DC blocker.

template <class V>
struct PowerLanes {
    V b0, b1, b2, b3, a1, a2, a3;  // tone stack coefficients
    V s0, s1, s2, s3;              // tone stack state
    BiquadLanes<V> dcBlocker;
    V drive;  // kC and kP
    V powerDrive;
    V probe;  // 0 while every tone stack output is finite
};

template <class V>
PowerLanes<V> loadPower(const AmpSide& a, const AmpSide& b, const ChainConstants& constants) {
    PowerLanes<V> p;
    const ToneStack& ta = a.toneStack;
    const ToneStack& tb = b.toneStack;
    loadLanes(p.b0, ta.B0n, tb.B0n);
    loadLanes(p.b1, ta.B1n, tb.B1n);
    loadLanes(p.b2, ta.B2n, tb.B2n);
    loadLanes(p.b3, ta.B3n, tb.B3n);
    loadLanes(p.a1, ta.A1n, tb.A1n);
    loadLanes(p.a2, ta.A2n, tb.A2n);
    loadLanes(p.a3, ta.A3n, tb.A3n);
    loadLanes(p.s0, ta.s0, tb.s0);
    loadLanes(p.s1, ta.s1, tb.s1);
    loadLanes(p.s2, ta.s2, tb.s2);
    loadLanes(p.s3, ta.s3, tb.s3);
    p.dcBlocker = loadBiquad<V>(a.dcBlocker, b.dcBlocker);
    p.drive = splat<V>(constants.contourDrive);
    p.powerDrive = splat<V>(constants.powerDrive);
    p.probe = splat<V>(0.0);
    return p;
}

template <class V>
void storePower(const PowerLanes<V>& p, AmpSide& a, AmpSide& b) {
    storeLanes(p.s0, a.toneStack.s0, b.toneStack.s0);
    storeLanes(p.s1, a.toneStack.s1, b.toneStack.s1);
    storeLanes(p.s2, a.toneStack.s2, b.toneStack.s2);
    storeBiquad(p.dcBlocker, a.dcBlocker, b.dcBlocker);
}

// Tone stack and power drive for one (limited) sample; the probe collects
// the tone stack output.
template <class V>
inline V stepToneAndDrive(PowerLanes<V>& p, V a) {
    const V y = p.b0 * a + p.s0;
    p.s0 = p.b1 * a + p.s1 - p.a1 * y;
    p.s1 = p.b2 * a + p.s2 - p.a2 * y;
    p.s2 = p.b3 * a + p.s3 - p.a3 * y;
    p.probe = p.probe + y * splat<V>(0.0);
    return y * p.drive * p.powerDrive;
}

inline void storeResult(double value, float* outA, float*, int j) { outA[j] = (float)value; }
inline void storeResult(DoublePair value, float* outA, float* outB, int j) {
    outA[j] = (float)lane0(value);
    outB[j] = (float)lane1(value);
}

// ---------------------------------------------------------------------------
// Staggered loops. Element k works on sample j - k, so the elements of one
// iteration are independent; each element still sees its samples in order.

template <class T, class A, class B>
inline void staggerTwo(int count, A first, B second) {
    T m{};
    for (int j = 0; j < count + 1; ++j) {
        T mNext = m;
        if (j < count) {
            mNext = first(j);
        }
        if (j >= 1) {
            second(m, j - 1);
        }
        m = mNext;
    }
}

template <class T, class A, class B, class C>
inline void staggerThree(int count, A first, B second, C third) {
    T m{}, p{};
    for (int j = 0; j < count + 2; ++j) {
        T mNext = m, pNext = p;
        if (j < count) {
            mNext = first(j);
        }
        if (j >= 1 && j <= count) {
            pNext = second(m);
        }
        if (j >= 2) {
            third(p, j - 2);
        }
        m = mNext;
        p = pNext;
    }
}

// Preamp channel 0 of one side: stages 1 and 2 share the input, so they
// share the two lanes.
void preampChannel0Mono(AmpSide& side, const ChainSettings& settings, const float* in, double* out, int count) {
    TriodeLanes<DoublePair> parallel = loadTriode<DoublePair>(side.triodeStage1, side.triodeStage2);
    TriodeLanes<DoublePair> third = loadTriode<DoublePair>(side.triodeStage3, side.triodeStage3);
    BiquadLanes<double> shelf = loadBiquad<double>(side.lowShelf1k, side.lowShelf1k);
    BiquadLanes<double> lowpass = loadBiquad<double>(side.lowpass10k, side.lowpass10k);
    const double input = settings.input;
    const double keep = mixPlainGain(settings.mix);
    const double blend = mixShelvedGain(settings.mix);
    const double driveGain = settings.driveGain;
    const DoublePair ratePair = splatPair(settings.oversampledRate);

    staggerTwo<double>(
        count,
        [&](int j) {
            const double a = (double)in[j] * input;
            const DoublePair b = stepTriode(parallel, splatPair(a), ratePair);
            const double b2 = stepBiquad(shelf, lane1(b));
            return stepBiquad(lowpass, (keep * lane0(b) + blend * b2) * driveGain);
        },
        [&](double m, int j) { out[j] = lane0(stepTriode(third, splatPair(m), ratePair)); });

    storeTriode(parallel, side.triodeStage1, side.triodeStage2);
    storeTriode(third, side.triodeStage3, side.triodeStage3);
    storeBiquad(shelf, side.lowShelf1k, side.lowShelf1k);
    storeBiquad(lowpass, side.lowpass10k, side.lowpass10k);
}

// Preamp channel 0 of both sides, left in lane 0.
void preampChannel0Stereo(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                          const float* inRight, double* outLeft, double* outRight, int count) {
    using V = DoublePair;
    TriodeLanes<V> first = loadTriode<V>(left.triodeStage1, right.triodeStage1);
    TriodeLanes<V> second = loadTriode<V>(left.triodeStage2, right.triodeStage2);
    TriodeLanes<V> third = loadTriode<V>(left.triodeStage3, right.triodeStage3);
    BiquadLanes<V> shelf = loadBiquad<V>(left.lowShelf1k, right.lowShelf1k);
    BiquadLanes<V> lowpass = loadBiquad<V>(left.lowpass10k, right.lowpass10k);
    const V input = splatPair(settings.input);
    const V keep = splatPair(mixPlainGain(settings.mix));
    const V blend = splatPair(mixShelvedGain(settings.mix));
    const V driveGain = splatPair(settings.driveGain);
    const V rate = splatPair(settings.oversampledRate);

    staggerTwo<V>(
        count,
        [&](int j) {
            const V a = makePair((double)inLeft[j], (double)inRight[j]) * input;
            const V b1 = stepTriode(first, a, rate);
            const V b2 = stepBiquad(shelf, stepTriode(second, a, rate));
            return stepBiquad(lowpass, (keep * b1 + blend * b2) * driveGain);
        },
        [&](V m, int j) { storeLanes(stepTriode(third, m, rate), outLeft[j], outRight[j]); });

    storeTriode(first, left.triodeStage1, right.triodeStage1);
    storeTriode(second, left.triodeStage2, right.triodeStage2);
    storeTriode(third, left.triodeStage3, right.triodeStage3);
    storeBiquad(shelf, left.lowShelf1k, right.lowShelf1k);
    storeBiquad(lowpass, left.lowpass10k, right.lowpass10k);
}

// Preamp channel 1: three stages in cascade. `extraGain` is the drive gain
// the left side applies a second time (1 for the right side: v * 1 is v).
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
    const V three = splat<V>(3.0);
    const V driveGain = splat<V>(settings.driveGain);
    const V rate = splat<V>(settings.oversampledRate);
    const V outputGain = splat<V>(0.52);
    const V offset = splat<V>(boostOffset(settings.boost));
    const bool boosted = settings.boost != 0;

    staggerThree<V>(
        count,
        [&](int j) {
            V x;
            loadLanes(x, (double)inA[j], (double)inB[j]);
            V v = stepTriode(fourth, two * (x * input), rate);
            v = boosted ? v * three * driveGain : v * driveGain;
            v = v * extraGain;
            return stepBiquad(lowpassA, stepBiquad(shelf150, v));
        },
        [&](V v) { return stepBiquad(lowpassB, stepBiquad(shelf720, stepTriode(fifth, v, rate))); },
        [&](V v, int j) { storeLanes(outputGain * stepTriode(sixth, v, rate) - offset, outA[j], outB[j]); });

    storeTriode(fourth, a.triodeStage4, b.triodeStage4);
    storeTriode(fifth, a.triodeStage5, b.triodeStage5);
    storeTriode(sixth, a.triodeStage6, b.triodeStage6);
    storeBiquad(shelf150, a.lowShelf150, b.lowShelf150);
    storeBiquad(lowpassA, a.lowpass6kA, b.lowpass6kA);
    storeBiquad(shelf720, a.lowShelf720, b.lowShelf720);
    storeBiquad(lowpassB, a.lowpass6kB, b.lowpass6kB);
}

inline double probeSum(double probe) { return probe; }
inline double probeSum(DoublePair probe) { return lane0(probe) + lane1(probe); }

// The soft limiter over a run of preamp outputs, in place. It has no state,
// so it runs as a pass of its own, which keeps the library call out of the
// loops that carry state in registers. Returns the probe of the preamp
// outputs: 0 while all are finite, NaN otherwise.
double limitPreamp(double* values, int count) {
    double probe = 0.0;
    for (int j = 0; j < count; ++j) {
        const double a = values[j];
        probe = probe + a * 0.0;
        if (a > 0.0) {
            values[j] = softLimit(a);
        }
    }
    return probe;
}

// Tone stack, power drive, curve and DC blocker over a run of limited preamp
// outputs; returns the probe of the tone stack outputs.
template <class V>
double powerSection(AmpSide& a, AmpSide& b, const ChainConstants& constants, const double* inA, const double* inB,
                    float* outA, float* outB, int count) {
    PowerLanes<V> power = loadPower<V>(a, b, constants);
    staggerThree<V>(
        count,
        [&](int j) {
            V x;
            loadLanes(x, inA[j], inB[j]);
            return stepToneAndDrive(power, x);
        },
        [&](V x) { return mapLanes(x, lookupPowerAmpCurve); },
        [&](V x, int j) { storeResult(stepBiquad(power.dcBlocker, x), outA, outB, j); });
    storePower(power, a, b);
    return probeSum(power.probe);
}

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
// section still sees its samples in order.
template <int N, class In, class Out>
inline void runSections(HalfBandLanes<N>& f, int count, In input, Out output) {
    constexpr int S = N / 2;
    FloatQuad pending[S] = {};
    for (int t = 0; t < count + S - 1; ++t) {
        for (int s = S - 1; s >= 0; --s) {
            const int i = t - s;
            if (i < 0 || i >= count) {
                continue;
            }
            const FloatQuad w = stepSection(f, s, s == 0 ? input(i) : pending[s]);
            if (s == S - 1) {
                output(i, w);
            } else {
                pending[s + 1] = w;
            }
        }
    }
}

struct SideBuffers {
    const float* conditioned;
    float* raised;
    float* amp;
    float* lowered;
};

inline FloatQuad twoSides(const float* a, const float* b, int i) { return makeQuad(a[i], a[i], b[i], b[i]); }

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
void raiseRate(AmpSide& a, AmpSide& b, int oversampling, const SideBuffers& bufA, const SideBuffers& bufB,
               int count) {
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
inline FloatQuad downInput(FloatQuad earlier, FloatQuad later) { return interleavePairs(later, earlier); }
inline FloatQuad downOutput(FloatQuad w) {
    const FloatQuad half = makeQuad(0.5f, 0.5f, 0.5f, 0.5f);
    return (w + swapPairs(w)) * half;
}

// Oversampled amp outputs back down to the host rate, both sides.
void lowerRate(AmpSide& a, AmpSide& b, int oversampling, const SideBuffers& bufA, const SideBuffers& bufB,
               int count) {
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
                down4, 2 * count, [&](int k) { return downInput(halved[2 * k], halved[2 * k + 1]); },
                toQuartered);
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
    double preamp[2][maxChunkSamples];
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
        if (settings.activeChannel == 0) {
            if (stereo) {
                preampChannel0Stereo(left, right, settings, raised[0], raised[1], preamp[0], preamp[1], samples);
            } else {
                preampChannel0Mono(left, settings, raised[0], preamp[0], samples);
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
        double probe = limitPreamp(preamp[0], samples);
        if (stereo) {
            probe = probe + limitPreamp(preamp[1], samples);
            probe = probe + powerSection<DoublePair>(left, right, constants, preamp[0], preamp[1], amp[0], amp[1],
                                                     samples);
        } else {
            probe = probe + powerSection<double>(left, left, constants, preamp[0], preamp[0], amp[0], amp[0],
                                                 samples);
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

        lowerRate(left, other, oversampling, leftBuffers, rightBuffers, count);
        for (int h = 0; h < count; ++h) {
            const float l = scaleSideOutput(lowered[0][h], settings.volume);
            const float r = stereo ? scaleSideOutput(lowered[1][h], settings.volume) : l;
            outLeft[begin + h] = l;
            outRight[begin + h] = r;
        }
    }
}
