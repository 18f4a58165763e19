// The fused amp core over a lane type V (DoublePair, or the wider types of
// WideLanes.h). Included by one file per vector width, after every header
// it needs, inside that file's target region; everything here has internal
// linkage so the widths never mix.
//
// Lanes hold triode stages: slot sides k + s is stage k of the channel on
// side s (k = 0 the first stage, 1 the second, 2 the third); lanes past the
// last slot repeat the last stage and are never stored. Stage k of channel 0 works on sample
// t - {0, 0, 2}[k] in iteration t, of channel 1 on t - {0, 2, 4}[k]; the
// filters between the stages and the power section run per side on S lanes
// (double in mono, DoublePair in stereo).
//
// No include guard: the wide paths' file includes it once per target, with
// CORVEX_KERNEL_NAMESPACE naming each copy.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "model/DoublePair.h"
#include "model/FusedCore.h"
#include "model/NarrowLanes.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

#ifndef CORVEX_KERNEL_NAMESPACE
#define CORVEX_KERNEL_NAMESPACE fusedCore
#endif

namespace {
namespace CORVEX_KERNEL_NAMESPACE {

// ---------------------------------------------------------------------------
// Triode stages in lanes.

template <class V>
struct TriodeLanes {
    V supplyVoltage, fourGridConduction, negativeFourGridConduction;
    V inverseTwiceGridConduction, negativeInverseTwiceGridConduction;
    V inverseGridResistance, inversePlateResistance, couplingCoefficient;
    V negativeCathodePlateGain;  // -k / Rp
    // The new cathode voltage k (ip + ig + Ck rate vk), ip = (vs - vk -
    // clipped) / Rp, as supplyGain + cathodeGain vk + gridGain (drive - v)
    // - k / Rp clipped: three multiply-adds, the last waiting for the plate.
    V supplyGain, cathodeGain, gridGain;  // k vs / Rp, k Ck rate - k / Rp, k / Rg
    V c[13];
    V cathodeVoltage, plateVoltage, outputVoltage;
    // The last step's input and the cathode voltage it started from: the
    // grid voltage, grid current and plate current are worked out from them
    // only when the state is stored (the step itself needs none of them),
    // so the loop carries two values instead of three and skips their
    // arithmetic. Every lane steps at least once between load and store (a
    // job has at least one sample for each stage).
    V lastInput, lastCathode;
};

constexpr int maxSlots = 4;  // the widest lane type's lanes

template <class V, class Get>
inline V gatherLanes(TriodeStage* const* stages, int first, Get get) {
    static_assert(Lanes<V>::count <= maxSlots, "a vector's lanes fit the buffer");
    double lanes[maxSlots];
    for (int i = 0; i < Lanes<V>::count; ++i) {
        lanes[i] = get(*stages[first + i]);
    }
    return Lanes<V>::load(lanes);
}

template <class V>
__attribute__((always_inline)) inline void loadTriodeLanes(TriodeLanes<V>& s, TriodeStage* const* st, int f,
                                                           double rate) {
    s.supplyVoltage = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.supplyVoltage; });
    const V cathodeCapacitance = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.cathodeCapacitance; });
    // 4 h is exact, so it may be formed once.
    s.fourGridConduction = gatherLanes<V>(st, f, [](const TriodeStage& t) { return 4.0 * t.gridConduction; });
    s.negativeFourGridConduction = Lanes<V>::splat(0.0) - s.fourGridConduction;
    s.inverseTwiceGridConduction =
        gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.inverseTwiceGridConduction; });
    s.negativeInverseTwiceGridConduction = Lanes<V>::splat(0.0) - s.inverseTwiceGridConduction;
    s.inverseGridResistance = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.inverseGridResistance; });
    s.inversePlateResistance = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.inversePlateResistance; });
    const V cathodeCoefficient = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.cathodeCoefficient; });
    s.couplingCoefficient = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.couplingCoefficient; });
    const V cathodePlateGain =
        gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.cathodeCoefficient * t.inversePlateResistance; });
    s.negativeCathodePlateGain = Lanes<V>::splat(0.0) - cathodePlateGain;
    s.supplyGain = cathodePlateGain * s.supplyVoltage;
    s.cathodeGain = cathodeCoefficient * cathodeCapacitance * Lanes<V>::splat(rate) - cathodePlateGain;
    s.gridGain = cathodeCoefficient * s.inverseGridResistance;
    for (int i = 0; i < 13; ++i) {
        s.c[i] = gatherLanes<V>(st, f, [i](const TriodeStage& t) { return t.transferCoefficients.c[i]; });
    }
    s.cathodeVoltage = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.cathodeVoltage; });
    s.plateVoltage = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.plateVoltage; });
    s.outputVoltage = gatherLanes<V>(st, f, [](const TriodeStage& t) { return t.outputVoltage; });
    s.lastInput = s.cathodeVoltage;
    s.lastCathode = s.cathodeVoltage;
}

// The grid to cathode voltage for a grid drive x - Vk: the drive itself
// while it is negative, else x - vg = h (vg - vk)^2 solved for vg - vk.
// The root's argument 1 + 4 h (x - vk) is formed as (1 + 4 h x) - 4 h vk,
// and (root - 1) / 2h as one multiply-add, so that the cathode voltage of
// the step before waits for two operations besides the root, not four.
template <class V>
inline V gridToCathode(const TriodeLanes<V>& s, V x, V vk, V drive) {
    const V zero = Lanes<V>::splat(0.0);
    const V one = Lanes<V>::splat(1.0);
    V v = drive;
    if (lanesBelow(drive, zero) != (1 << Lanes<V>::count) - 1) {
        const V root = sqrtLanes(mulAdd(s.negativeFourGridConduction, vk, mulAdd(s.fourGridConduction, x, one)));
        const V conducting = mulAdd(root, s.inverseTwiceGridConduction, s.negativeInverseTwiceGridConduction);
        v = selectBelow(drive, zero, drive, conducting);
    }
    return v;
}

// Stores the state of the lanes that hold slots (the repeated lanes are
// left out).
template <class V>
__attribute__((always_inline)) inline void storeTriodeLanes(const TriodeLanes<V>& s, TriodeStage* const* st, int first,
                                                            int slots) {
    // The last step's grid and plate, as the step computes them.
    const V drive = s.lastInput - s.lastCathode;
    const V v = gridToCathode(s, s.lastInput, s.lastCathode, drive);
    double lanes[6][maxSlots];
    Lanes<V>::store((s.supplyVoltage - s.plateVoltage) * s.inversePlateResistance, lanes[0]);
    Lanes<V>::store((drive - v) * s.inverseGridResistance, lanes[1]);
    Lanes<V>::store(v + s.lastCathode, lanes[2]);
    Lanes<V>::store(s.cathodeVoltage, lanes[3]);
    Lanes<V>::store(s.plateVoltage, lanes[4]);
    Lanes<V>::store(s.outputVoltage, lanes[5]);
    for (int i = 0; i < Lanes<V>::count && first + i < slots; ++i) {
        TriodeStage& t = *st[first + i];
        t.plateCurrent = lanes[0][i];
        t.gridCurrent = lanes[1][i];
        t.gridVoltage = lanes[2][i];
        t.cathodeVoltage = lanes[3][i];
        t.plateVoltage = lanes[4][i];
        t.outputVoltage = lanes[5][i];
    }
}

// runTriodeStage lane by lane, its branches turned into per-lane
// selections. The expressions are regrouped for a short recurrence (the
// cathode voltage of one step feeds the next): both polynomials by Estrin's
// scheme (depth three instead of six), the grid's root argument and the
// cathode's sum with the terms known early formed off the path, and
// multiply-adds fused where the target has them. Each regrouping moves a
// result by a few rounding steps of a double at most.
//
// With `record` false the step leaves lastInput and lastCathode alone: the
// steady batches step that way, since every lane's last step of a job lies
// in an edge iteration after them, and the loop then carries two values
// fewer per group.
template <bool record = true, class V>
inline V stepTriode(TriodeLanes<V>& s, V x) {
    const V one = Lanes<V>::splat(1.0);
    const V vk = s.cathodeVoltage;
    const V drive = x - vk;
    const V v = gridToCathode(s, x, vk, drive);
    if (record) {
        s.lastInput = x;
        s.lastCathode = vk;
    }
    // Everything of the new cathode voltage but the plate's term.
    const V early = mulAdd(s.cathodeGain, vk, mulAdd(s.gridGain, drive - v, s.supplyGain));

    const V* c = s.c;
    const V v2 = v * v;
    const V v4 = v2 * v2;
    const V numerator = mulAdd(v4, mulAdd(v2, c[12], mulAdd(c[10], v, c[8])),
                               mulAdd(v2, mulAdd(c[6], v, c[4]), mulAdd(c[2], v, c[0])));
    const V denominator = mulAdd(v4, mulAdd(v2, c[11], mulAdd(c[9], v, c[7])),
                                 mulAdd(v2, mulAdd(c[5], v, c[3]), mulAdd(c[1], v, one)));
    V vpk = numerator / denominator;
    const V cutoff = Lanes<V>::splat(triodeCutoffVoltage);
    if (lanesBelow(v, cutoff) != 0) {
        vpk = selectBelow(v, cutoff, s.supplyVoltage, vpk);
    }
    // vp > vs + vk ? vs + vk : vp (a NaN plate voltage stays NaN)
    const V clipped = minLanes(s.supplyVoltage, vpk);
    const V vp = clipped + vk;
    const V vpOld = s.plateVoltage;
    s.plateVoltage = vp;
    // The coupling capacitor's sum with the terms known early formed first.
    const V y = s.couplingCoefficient * ((s.outputVoltage - vpOld) + vp);
    s.outputVoltage = y;
    // early - k/Rp min(vs, vpk), floored at zero: as k/Rp > 0 and rounding
    // keeps order, the larger of early - k/Rp vpk and the floored early -
    // k/Rp vs, which is known before the division ends (a NaN plate voltage
    // still gives NaN).
    const V clippedFloor = floorAtZero(mulAdd(s.negativeCathodePlateGain, s.supplyVoltage, early));
    s.cathodeVoltage = maxLanes(clippedFloor, mulAdd(s.negativeCathodePlateGain, vpk, early));
    return y;
}

// `now` in the lanes whose `active` is 1, `before` in the others: how an
// edge step keeps the state of the lanes that have no sample.
template <class V>
inline V whereActive(V active, V now, V before) {
    return selectBelow(active, Lanes<V>::splat(0.5), before, now);
}

// A step in which only the lanes whose `active` is 1 advance; the others
// keep their state (their result is not used).
template <class V>
inline V stepTriodeMasked(TriodeLanes<V>& s, V x, V active) {
    const TriodeLanes<V> old = s;
    const V y = stepTriode(s, x);
    s.lastInput = whereActive(active, s.lastInput, old.lastInput);
    s.lastCathode = whereActive(active, s.lastCathode, old.lastCathode);
    s.cathodeVoltage = whereActive(active, s.cathodeVoltage, old.cathodeVoltage);
    s.plateVoltage = whereActive(active, s.plateVoltage, old.plateVoltage);
    s.outputVoltage = whereActive(active, s.outputVoltage, old.outputVoltage);
    return y;
}

#include "model/FusedCoreSides.h"

#include "model/SoftLimitLanes.h"

// The loops below hand their preamp outputs to the soft limiter a batch at a
// time, which it runs in the target's lanes, and the power section runs a
// batch behind. Sixteen samples (two AVX-512 vectors of the limiter) pay
// more than eight, and 32 no more than 16.
constexpr int limiterBatch = 16;

// A batch in which every stage and the power section have their samples,
// two iterations per turn of the loop: that spares the copies that move
// each filter's history along (2 to 4 % faster in mono and in stereo).
template <class Sample>
__attribute__((always_inline)) inline void steadyBatch(int base, Sample& sample) {
    for (int t = base; t < base + limiterBatch; t += 2) {
        sample(t, std::true_type{});
        sample(t + 1, std::true_type{});
    }
}

// Runs a job of n samples whose last stage works `lag` samples behind the
// first: the first `lag` iterations alone, then batches, each followed by
// `limit` on the preamp outputs it completed. Batches start at `lag`, so
// the second batch already has every stage and the power section busy; the
// steady batches end before the job's last sample, so every stage's last
// step falls in an edge iteration.
template <class Sample, class Limit>
__attribute__((always_inline)) inline void runBatches(int n, int lag, Sample& sample, Limit& limit) {
    for (int t = 0; t < lag; ++t) {
        sample(t, std::false_type{});
    }
    for (int base = lag; base < n + lag + limiterBatch; base += limiterBatch) {
        if (base >= lag + limiterBatch && base + limiterBatch < n) {
            steadyBatch(base, sample);
        } else {
            for (int t = base; t < base + limiterBatch; ++t) {
                sample(t, std::false_type{});
            }
        }
        const int end = base - lag + limiterBatch < n ? base - lag + limiterBatch : n;
        limit(base - lag, end);
    }
}

// The preamp outputs waiting for the limiter and the power section, side by
// side in stereo (L R L R ...), so a sample's pair goes in and out in one
// operation and the limiter runs over one stretch of values.
struct PreampBuffer {
    double v[2 * (fusedCoreMaxSamples + limiterBatch)];
};

template <class S>
inline void storePreamp(S v, PreampBuffer& b, int j) {
    Lanes<S>::store(v, b.v + Lanes<S>::count * j);
}
template <class S>
inline void loadPreamp(S& v, const PreampBuffer& b, int j) {
    v = Lanes<S>::load(b.v + Lanes<S>::count * j);
}

// Limits the preamp outputs [begin, end) of each side in place; returns 0
// if they were all finite, NaN otherwise. The test is on the bits (an
// exponent of all ones), in integer lanes whose order does not matter.
inline double limitPreamp(PreampBuffer& b, int sides, int begin, int end) {
    if (end <= begin) {
        return 0.0;
    }
    constexpr std::uint64_t exponent = 0x7ff0000000000000u;
    std::uint64_t seen = 0;
    double* v = b.v + sides * begin;
    const int count = sides * (end - begin);
    for (int j = 0; j < count; ++j) {
        std::uint64_t bits;
        std::memcpy(&bits, v + j, sizeof bits);
        seen |= (bits & exponent) == exponent ? 1u : 0u;
    }
    softLimitBatch(v, count);
    return seen != 0 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
}

inline void storeAmp(double v, float* a, float*, int j) {
    a[j] = (float)v;
}
inline void storeAmp(DoublePair v, float* a, float* b, int j) {
#if defined(CORVEX_DOUBLE_PAIR_SSE2)
    const __m128 f = _mm_cvtpd_ps(v.v);
    _mm_store_ss(a + j, f);
    _mm_store_ss(b + j, _mm_shuffle_ps(f, f, 1));
#else
    a[j] = (float)lane0(v);
    b[j] = (float)lane1(v);
#endif
}
inline void loadRaised(double& v, const float* a, const float*, int j) {
    v = (double)a[j];
}
inline void loadRaised(DoublePair& v, const float* a, const float* b, int j) {
    v = makePair((double)a[j], (double)b[j]);
}

// ---------------------------------------------------------------------------
// The loops.

#include "model/FusedCoreBank.h"

// Preamp channel 0: stages 1 and 2 on sample t, stage 3 on sample t - 2.
template <class V, class S>
double runChannel0(const FusedCoreJob& job) {
    AmpSide* sides[2] = {job.left, job.right};
    const int sideCount = job.sides;
    const ChainSettings& settings = *job.settings;
    const StageRecords<V, S> records(sides, &AmpSide::triodeStage1, &AmpSide::triodeStage2, &AmpSide::triodeStage3);
    StageBank<V, S> bank;
    records.load(bank, settings.oversampledRate);
    Channel0Filters<V, S> filters(sides);
    PowerSides<S> power;
    loadPowerSides(power, sides, *job.constants);
    const S input = Lanes<S>::splat(settings.input);
    // The blend's gains carry the drive gain, so the shelved branch joins
    // in one multiply-add.
    const S keep = Lanes<S>::splat(mixPlainGain(settings.mix) * settings.driveGain);
    const S blend = Lanes<S>::splat(mixShelvedGain(settings.mix) * settings.driveGain);
    const S zero = Lanes<S>::splat(0.0);

    const int n = job.samples;
    const int total = n + 2;
    PreampBuffer preamp;
    double probe = 0.0;
    // One iteration; `steady` (std::true_type) where every stage has its
    // sample and the power section too, so the tests fold away.
    auto sample = [&](int t, auto steady) __attribute__((always_inline)) {
        if (steady || t < total) {
            const bool early = steady || t < n;
            S a = zero;
            if (early) {
                loadRaised(a, job.inLeft, job.inRight, t);
                a = a * input;
            }
            if (steady || (early && t >= 2)) {
                bank.step(a, a, filters.third(), steady);
            } else {
                bank.stepSome(a, a, filters.third(), early, early, t >= 2);
            }
            filters.advance(bank, early, steady || (t >= 1 && t <= n), blend, keep);
            if (steady || t >= 2) {
                storePreamp(bank.output(2), preamp, t - 2);
            }
        }
        const int p = t - 2 - limiterBatch;
        if (steady || (p >= 0 && p < n)) {
            S limited;
            loadPreamp(limited, preamp, p);
            const S amp = steady ? stepPower(power, limited) : stepPowerAtEdge(power, limited);
            storeAmp(amp, job.outLeft, job.outRight, p);
        }
    };
    auto limit = [&](int begin, int end) __attribute__((always_inline)) {
        probe = probe + limitPreamp(preamp, sideCount, begin, end);
    };
    runBatches(n, 2, sample, limit);

    records.store(bank);
    filters.store(sides, sideCount);
    storePowerSides(power, sides, sideCount);
    return probe + toneStackProbe(power);
}

// Preamp channel 1: stage 4 on sample t, stage 5 on t - 2, stage 6 on t - 4.
// `extraGain` is the drive gain the left side applies a second time (1 on
// the right side: v * 1 is v).
template <class V, class S>
double runChannel1(const FusedCoreJob& job, S extraGain) {
    AmpSide* sides[2] = {job.left, job.right};
    const int sideCount = job.sides;
    const ChainSettings& settings = *job.settings;
    const StageRecords<V, S> records(sides, &AmpSide::triodeStage4, &AmpSide::triodeStage5, &AmpSide::triodeStage6);
    StageBank<V, S> bank;
    records.load(bank, settings.oversampledRate);
    Channel1Filters<V, S> filters(sides);
    PowerSides<S> power;
    loadPowerSides(power, sides, *job.constants);
    const S input = Lanes<S>::splat(settings.input);
    const S two = Lanes<S>::splat(2.0);
    const S three = Lanes<S>::splat(3.0);
    const S driveGain = Lanes<S>::splat(settings.driveGain);
    const S outputGain = Lanes<S>::splat(0.52);
    const S offset = Lanes<S>::splat(boostOffset(settings.boost));
    const S zero = Lanes<S>::splat(0.0);
    const bool boosted = settings.boost != 0;

    const int n = job.samples;
    const int total = n + 4;
    PreampBuffer preamp;
    double probe = 0.0;
    S u1 = zero, u2 = zero;  // into stage 5, one and two samples back
    S w1 = zero, w2 = zero;  // into stage 6
    auto sample = [&](int t, auto steady) __attribute__((always_inline)) {
        if (steady || t < total) {
            const bool first = steady || t < n;
            const bool second = steady || (t >= 2 && t < n + 2);
            const bool third = steady || t >= 4;
            S a = zero;
            if (first) {
                loadRaised(a, job.inLeft, job.inRight, t);
                a = two * (a * input);
            }
            if (steady || (first && third)) {
                bank.step(a, u2, w2, steady);
            } else {
                bank.stepSome(a, u2, w2, first, second, third);
            }
            u2 = u1;
            w2 = w1;
            if (first || second) {
                S v = bank.output(0);
                v = boosted ? v * three * driveGain : v * driveGain;
                filters.step(v * extraGain, bank.output(1), first, second, u1, w1);
            }
            if (third) {
                storePreamp(outputGain * bank.output(2) - offset, preamp, t - 4);
            }
        }
        const int p = t - 4 - limiterBatch;
        if (steady || (p >= 0 && p < n)) {
            S limited;
            loadPreamp(limited, preamp, p);
            const S amp = steady ? stepPower(power, limited) : stepPowerAtEdge(power, limited);
            storeAmp(amp, job.outLeft, job.outRight, p);
        }
    };
    auto limit = [&](int begin, int end) __attribute__((always_inline)) {
        probe = probe + limitPreamp(preamp, sideCount, begin, end);
    };
    runBatches(n, 4, sample, limit);

    records.store(bank);
    filters.store(sides, sideCount);
    storePowerSides(power, sides, sideCount);
    return probe + toneStackProbe(power);
}

inline void makeExtraGain(double& g, double driveGain) {
    g = driveGain;
}
inline void makeExtraGain(DoublePair& g, double driveGain) {
    g = makePair(driveGain, 1.0);
}

template <class V, class S>
double runSides(const FusedCoreJob& job) {
    if (job.settings->activeChannel == 0) {
        return runChannel0<V, S>(job);
    }
    S extraGain;
    makeExtraGain(extraGain, job.settings->driveGain);
    return runChannel1<V, S>(job, extraGain);
}

// One stage in every lane, stepped as a dependent chain: the step every
// loop above waits on, timed by the benchmark.
template <class V>
double runTriodeChainOn(TriodeStage& stage, const double* drive, int steps, double rate) {
    TriodeStage* const st[maxSlots] = {&stage, &stage, &stage, &stage};
    TriodeLanes<V> lanes;
    loadTriodeLanes(lanes, st, 0, rate);
    V y = Lanes<V>::splat(0.0);
    for (int i = 0; i < steps; ++i) {
        y = stepTriode(lanes, Lanes<V>::splat(drive[i]));
    }
    storeTriodeLanes(lanes, st, 0, 1);
    return Lanes<V>::lane(y, 0);
}

template <class V>
double runFusedCoreOn(const FusedCoreJob& job) {
    if (job.samples <= 0) {
        return 0.0;  // nothing to step (and the stages' stored state needs a step)
    }
    if (job.sides == 1) {
        return runSides<V, double>(job);
    }
    return runSides<V, DoublePair>(job);
}

}  // namespace CORVEX_KERNEL_NAMESPACE
}  // namespace

#undef CORVEX_KERNEL_NAMESPACE
