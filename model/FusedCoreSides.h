// Part of the fused amp core (FusedCoreKernel.h, which includes it inside
// its namespace, once per target): the filters between the triode stages
// and the power section (tone stack, power drive, valve curve, DC blocker)
// on side lanes S, double in mono and DoublePair in stereo (channel 0's two
// filters in the four lanes of a group V there). No include guard, like the
// kernel.

// The feedback coefficients are held negated (exactly), so that each term
// is one multiply-add. The new input joins last: the terms of the history
// are summed while the stage before is still working, so a sample passes
// through a filter in one multiply-add and a multiplication (the loop holds
// several samples in flight only as far as such chains let it retire).
template <class S>
struct BiquadSides {
    S negA1, negA2, b0, b1, b2, x1, x2, y1, y2;  // coefficients over a0
};

// The coefficients are divided by a0 when loaded (multiplied by its
// inverse), so a sample needs no final scaling: each product moves by a
// rounding step of a double at most.
template <class S>
BiquadSides<S> loadBiquadSides(Biquad AmpSide::*member, AmpSide* const* sides) {
    const Biquad& a = sides[0]->*member;
    const Biquad& b = sides[1]->*member;
    BiquadSides<S> q;
    const double v[9][2] = {{-a.a1 * a.inverseA0, -b.a1 * b.inverseA0},
                            {-a.a2 * a.inverseA0, -b.a2 * b.inverseA0},
                            {a.b0 * a.inverseA0, b.b0 * b.inverseA0},
                            {a.b1 * a.inverseA0, b.b1 * b.inverseA0},
                            {a.b2 * a.inverseA0, b.b2 * b.inverseA0},
                            {a.x1, b.x1},
                            {a.x2, b.x2},
                            {a.y1, b.y1},
                            {a.y2, b.y2}};
    S* fields[9] = {&q.negA1, &q.negA2, &q.b0, &q.b1, &q.b2, &q.x1, &q.x2, &q.y1, &q.y2};
    for (int i = 0; i < 9; ++i) {
        loadSides(*fields[i], v[i], 1);
    }
    return q;
}

template <class S>
__attribute__((noinline)) void storeBiquadSides(const BiquadSides<S>& q, Biquad AmpSide::*member, AmpSide* const* sides, int count) {
    double v[4][2] = {};
    storeSides(q.x1, v[0], 1);
    storeSides(q.x2, v[1], 1);
    storeSides(q.y1, v[2], 1);
    storeSides(q.y2, v[3], 1);
    for (int i = 0; i < count; ++i) {
        Biquad& b = sides[i]->*member;
        b.x1 = v[0][i];
        b.x2 = v[1][i];
        b.y1 = v[2][i];
        b.y2 = v[3][i];
    }
}

template <class S>
__attribute__((always_inline)) inline S stepBiquad(BiquadSides<S>& q, S x) {
    const S y = mulAdd(q.b0, x, mulAdd(q.negA1, q.y1, mulAdd(q.negA2, q.y2, mulAdd(q.b2, q.x2, q.b1 * q.x1))));
    q.x2 = q.x1;
    q.x1 = x;
    q.y2 = q.y1;
    q.y1 = y;
    return y;
}

template <class V, class S>
struct ChainPairLanes {
    using type = void;
};
template <class V>
struct ChainPairLanes<V, double> {
    using type = DoublePair;
    static DoublePair join(double a, double b) { return makePair(a, b); }
    static double half(DoublePair p, int k) { return k == 0 ? lane0(p) : lane1(p); }
};
template <class V>
struct ChainPairLanes<V, DoublePair> {
    using type = typename std::conditional<Lanes<V>::count == 4, V, void>::type;
    static V join(DoublePair a, DoublePair b) { return Lanes<V>::joinPairs(a, b); }
    static DoublePair half(V p, int k) { return Lanes<V>::pairAt(p, k); }
};

// Two filters' records side by side in the lanes of Pair::type, and back.
template <class Pair, class S>
BiquadSides<typename Pair::type> joinBiquads(const BiquadSides<S>& a, const BiquadSides<S>& b) {
    BiquadSides<typename Pair::type> q;
    q.negA1 = Pair::join(a.negA1, b.negA1);
    q.negA2 = Pair::join(a.negA2, b.negA2);
    q.b0 = Pair::join(a.b0, b.b0);
    q.b1 = Pair::join(a.b1, b.b1);
    q.b2 = Pair::join(a.b2, b.b2);
    q.x1 = Pair::join(a.x1, b.x1);
    q.x2 = Pair::join(a.x2, b.x2);
    q.y1 = Pair::join(a.y1, b.y1);
    q.y2 = Pair::join(a.y2, b.y2);
    return q;
}
template <class Pair, class S>
void storeJoinedBiquads(const BiquadSides<typename Pair::type>& q, Biquad AmpSide::*a, Biquad AmpSide::*b,
                        AmpSide* const* sides, int count) {
    BiquadSides<S> qa, qb;
    qa.x1 = Pair::half(q.x1, 0);
    qa.x2 = Pair::half(q.x2, 0);
    qa.y1 = Pair::half(q.y1, 0);
    qa.y2 = Pair::half(q.y2, 0);
    qb.x1 = Pair::half(q.x1, 1);
    qb.x2 = Pair::half(q.x2, 1);
    qb.y1 = Pair::half(q.y1, 1);
    qb.y2 = Pair::half(q.y2, 1);
    storeBiquadSides(qa, a, sides, count);
    storeBiquadSides(qb, b, sides, count);
}

// A step of two filters side by side in which the first half of the lanes
// advances where `a` and the second half where `b`; the others keep their
// state (as stepTriodeMasked does for the stages).
template <class P>
__attribute__((always_inline)) inline P stepBiquadSome(BiquadSides<P>& q, P x, bool a, bool b) {
    if (a && b) {
        return stepBiquad(q, x);
    }
    const BiquadSides<P> old = q;
    const P y = stepBiquad(q, x);
    constexpr int count = Lanes<P>::count;
    double active[count];
    for (int i = 0; i < count; ++i) {
        active[i] = (i < count / 2 ? a : b) ? 1.0 : 0.0;
    }
    const P on = Lanes<P>::make(active);
    q.x1 = whereActive(on, q.x1, old.x1);
    q.x2 = whereActive(on, q.x2, old.x2);
    q.y1 = whereActive(on, q.y1, old.y1);
    q.y2 = whereActive(on, q.y2, old.y2);
    return y;
}

// Channel 0's filters between the stages: stage 2's output through the 1 kHz
// shelf, blended with stage 1's, through the 10 kHz low-pass into stage 3.
// `third` is stage 3's input in iteration t (the blend's filtered value of
// sample t - 2); `advance` runs the filters after the stages' step.
template <class V, class S,
          bool packed = Lanes<S>::count == 2 && !std::is_void<typename ChainPairLanes<V, S>::type>::value>
struct Channel0Filters {
    BiquadSides<S> shelf, lowpass;
    S m1 = Lanes<S>::splat(0.0), m2 = Lanes<S>::splat(0.0);  // samples t - 1 and t - 2

    Channel0Filters(AmpSide* const* sides)
        : shelf(loadBiquadSides<S>(&AmpSide::lowShelf1k, sides)),
          lowpass(loadBiquadSides<S>(&AmpSide::lowpass10k, sides)) {}
    S third() const { return m2; }
    template <class Bank>
    __attribute__((always_inline)) void advance(const Bank& bank, bool early, bool, S blend, S keep) {
        m2 = m1;
        if (early) {
            m1 = stepBiquad(lowpass, mulAdd(blend, stepBiquad(shelf, bank.output(1)), keep * bank.output(0)));
        }
    }
    void store(AmpSide* const* sides, int count) const {
        storeBiquadSides(shelf, &AmpSide::lowShelf1k, sides, count);
        storeBiquadSides(lowpass, &AmpSide::lowpass10k, sides, count);
    }
};

// Both sides on four-lane groups: the two filters share a vector (shelf L R
// | low-pass L R), the low-pass one sample behind, so a sample crosses both
// in one step of four lanes instead of two of two. Each lane does what the
// filter above does, so the samples are the same bit for bit. Not in mono:
// there the low-pass of sample t would wait for stage 2's output of sample
// t + 1, which stage 3's step of sample t + 2 then waits for (20 % slower
// with a sine).
template <class V, class S>
struct Channel0Filters<V, S, true> {
    using Pair = ChainPairLanes<V, S>;
    using P = typename Pair::type;
    BiquadSides<P> both;
    S shelved = Lanes<S>::splat(0.0), plain = Lanes<S>::splat(0.0);  // sample t - 1's shelf and stage 1 outputs
    S filtered = Lanes<S>::splat(0.0);                                // sample t - 2's low-pass output

    Channel0Filters(AmpSide* const* sides)
        : both(joinBiquads<Pair>(loadBiquadSides<S>(&AmpSide::lowShelf1k, sides),
                                 loadBiquadSides<S>(&AmpSide::lowpass10k, sides))) {}
    S third() const { return filtered; }
    // `early`: sample t reaches the shelf; `late`: sample t - 1 reaches the
    // low-pass.
    template <class Bank>
    __attribute__((always_inline)) void advance(const Bank& bank, bool early, bool late, S blend, S keep) {
        const P out =
            stepBiquadSome(both, Pair::join(bank.output(1), mulAdd(blend, shelved, keep * plain)), early, late);
        shelved = Pair::half(out, 0);
        plain = bank.output(0);
        filtered = Pair::half(out, 1);
    }
    void store(AmpSide* const* sides, int count) const {
        storeJoinedBiquads<Pair, S>(both, &AmpSide::lowShelf1k, &AmpSide::lowpass10k, sides, count);
    }
};

// Channel 1's two filter chains (stage 4's output through the 150 Hz shelf
// and the first 6 kHz low-pass into stage 5, stage 5's through the 720 Hz
// shelf and the second low-pass into stage 6) side by side in lanes P: a
// DoublePair in mono, the four lanes of a group V in stereo (chain A's L R |
// chain B's L R). Each lane does what its filter alone does, so the samples
// are the same bit for bit; a chain without a sample keeps its state.
template <class V, class S, class P = typename ChainPairLanes<V, S>::type>
struct Channel1Filters {
    using Pair = ChainPairLanes<V, S>;
    BiquadSides<P> shelves, lowpasses;

    Channel1Filters(AmpSide* const* sides)
        : shelves(joinBiquads<Pair>(loadBiquadSides<S>(&AmpSide::lowShelf150, sides),
                                    loadBiquadSides<S>(&AmpSide::lowShelf720, sides))),
          lowpasses(joinBiquads<Pair>(loadBiquadSides<S>(&AmpSide::lowpass6kA, sides),
                                      loadBiquadSides<S>(&AmpSide::lowpass6kB, sides))) {}
    // Chain A takes `a` where `first`, chain B takes `b` where `second`;
    // their outputs go to `toFifth` and `toSixth`.
    __attribute__((always_inline)) void step(S a, S b, bool first, bool second, S& toFifth, S& toSixth) {
        const P out = stepBiquadSome(lowpasses, stepBiquadSome(shelves, Pair::join(a, b), first, second), first,
                                     second);
        if (first) {
            toFifth = Pair::half(out, 0);
        }
        if (second) {
            toSixth = Pair::half(out, 1);
        }
    }
    void store(AmpSide* const* sides, int count) const {
        storeJoinedBiquads<Pair, S>(shelves, &AmpSide::lowShelf150, &AmpSide::lowShelf720, sides, count);
        storeJoinedBiquads<Pair, S>(lowpasses, &AmpSide::lowpass6kA, &AmpSide::lowpass6kB, sides, count);
    }
};

// Without lanes for both chains (stereo on two-lane groups): one filter at
// a time.
template <class V, class S>
struct Channel1Filters<V, S, void> {
    BiquadSides<S> shelf150, lowpassA, shelf720, lowpassB;

    Channel1Filters(AmpSide* const* sides)
        : shelf150(loadBiquadSides<S>(&AmpSide::lowShelf150, sides)),
          lowpassA(loadBiquadSides<S>(&AmpSide::lowpass6kA, sides)),
          shelf720(loadBiquadSides<S>(&AmpSide::lowShelf720, sides)),
          lowpassB(loadBiquadSides<S>(&AmpSide::lowpass6kB, sides)) {}
    __attribute__((always_inline)) void step(S a, S b, bool first, bool second, S& toFifth, S& toSixth) {
        if (first) {
            toFifth = stepBiquad(lowpassA, stepBiquad(shelf150, a));
        }
        if (second) {
            toSixth = stepBiquad(lowpassB, stepBiquad(shelf720, b));
        }
    }
    void store(AmpSide* const* sides, int count) const {
        storeBiquadSides(shelf150, &AmpSide::lowShelf150, sides, count);
        storeBiquadSides(lowpassA, &AmpSide::lowpass6kA, sides, count);
        storeBiquadSides(shelf720, &AmpSide::lowShelf720, sides, count);
        storeBiquadSides(lowpassB, &AmpSide::lowpass6kB, sides, count);
    }
};

template <class S>
struct PowerSides {
    S b0, b1, b2, b3, negA1, negA2, negA3;  // tone stack coefficients
    S s0, s1, s2, s3;              // tone stack state
    BiquadSides<S> dcBlocker;
    S drive;  // kC kP
};

// 0 while every tone stack output of the job was finite, NaN otherwise: a
// non-finite output makes s0 infinite or NaN (its product with any
// coefficient, zero included, is not finite), s0 feeds every later output
// and through it itself, and a sum or product with a non-finite value stays
// non-finite, so the state at the job's end tells.
template <class S>
double toneStackProbe(const PowerSides<S>& p) {
    const S zero = Lanes<S>::splat(0.0);
    return sumSides(p.s0 * zero);
}

template <class S>
void loadPowerSides(PowerSides<S>& p, AmpSide* const* sides, const ChainConstants& constants) {
    const ToneStack& a = sides[0]->toneStack;
    const ToneStack& b = sides[1]->toneStack;
    const double v[11][2] = {{a.B0n, b.B0n}, {a.B1n, b.B1n}, {a.B2n, b.B2n}, {a.B3n, b.B3n},
                             {-a.A1n, -b.A1n}, {-a.A2n, -b.A2n}, {-a.A3n, -b.A3n}, {a.s0, b.s0},
                             {a.s1, b.s1},   {a.s2, b.s2},   {a.s3, b.s3}};
    S* fields[11] = {&p.b0, &p.b1, &p.b2, &p.b3, &p.negA1, &p.negA2, &p.negA3, &p.s0, &p.s1, &p.s2, &p.s3};
    for (int i = 0; i < 11; ++i) {
        loadSides(*fields[i], v[i], 1);
    }
    p.dcBlocker = loadBiquadSides<S>(&AmpSide::dcBlocker, sides);
    p.drive = Lanes<S>::splat(constants.contourDrive * constants.powerDrive);
}

template <class S>
void storePowerSides(const PowerSides<S>& p, AmpSide* const* sides, int count) {
    double v[3][2] = {};
    storeSides(p.s0, v[0], 1);
    storeSides(p.s1, v[1], 1);
    storeSides(p.s2, v[2], 1);
    for (int i = 0; i < count; ++i) {
        sides[i]->toneStack.s0 = v[0][i];
        sides[i]->toneStack.s1 = v[1][i];
        sides[i]->toneStack.s2 = v[2][i];
    }
    storeBiquadSides(p.dcBlocker, &AmpSide::dcBlocker, sides, count);
}

// The valve curve on each side: while the values lie inside the table, as
// they nearly always do, its piece's cubic (powerCurveCubics), in lanes for
// both sides; the spacing's division is a multiplication by 10.
template <class S>
__attribute__((always_inline)) inline S curveCubic(S x, S xi, S c0, S c1, S c2, S c3) {
    const S t = (x - xi) * Lanes<S>::splat(10.0);
    return mulAdd(t, mulAdd(t, mulAdd(c3, t, c2), c1), c0);
}
__attribute__((always_inline)) inline double powerCurveSides(double x) {
    if (!insidePowerAmpCurve(x)) {
        return lookupPowerAmpCurve(x);
    }
    const PowerCurveCubic& c = powerCurveCubics[powerAmpCurveIndex(x)];
    return curveCubic(x, c.x, c.c0, c.c1, c.c2, c.c3);
}
#if defined(CORVEX_DOUBLE_PAIR_SSE2)
// Both sides' test and index in lanes (the same operations, so the same
// index), and each piece's values taken two at a time and paired by
// unpacking.
__attribute__((always_inline)) inline DoublePair powerCurveSides(DoublePair x) {
    const __m128d inside =
        _mm_and_pd(_mm_cmpgt_pd(x.v, _mm_set1_pd(-180.0)), _mm_cmplt_pd(x.v, _mm_set1_pd(180.0)));
    if (_mm_movemask_pd(inside) != 3) {
        return makePair(lookupPowerAmpCurve(lane0(x)), lookupPowerAmpCurve(lane1(x)));
    }
    const __m128i index = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(x.v, _mm_set1_pd(10.0)), _mm_set1_pd(1999.0)));
    const PowerCurveCubic& a = powerCurveCubics[_mm_cvtsi128_si32(index)];
    const PowerCurveCubic& b = powerCurveCubics[_mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1))];
    const __m128d a01 = _mm_load_pd(&a.x);
    const __m128d b01 = _mm_load_pd(&b.x);
    const __m128d a23 = _mm_load_pd(&a.c1);
    const __m128d b23 = _mm_load_pd(&b.c1);
    return curveCubic(x, DoublePair{_mm_unpacklo_pd(a01, b01)}, DoublePair{_mm_unpackhi_pd(a01, b01)},
                      DoublePair{_mm_unpacklo_pd(a23, b23)}, DoublePair{_mm_unpackhi_pd(a23, b23)},
                      DoublePair{_mm_loadh_pd(_mm_load_sd(&a.c3), &b.c3)});
}
#else
__attribute__((always_inline)) inline DoublePair powerCurveSides(DoublePair x) {
    const double x0 = lane0(x);
    const double x1 = lane1(x);
    if (!(insidePowerAmpCurve(x0) && insidePowerAmpCurve(x1))) {
        return makePair(lookupPowerAmpCurve(x0), lookupPowerAmpCurve(x1));
    }
    const PowerCurveCubic& a = powerCurveCubics[powerAmpCurveIndex(x0)];
    const PowerCurveCubic& b = powerCurveCubics[powerAmpCurveIndex(x1)];
    return curveCubic(x, makePair(a.x, b.x), makePair(a.c0, b.c0), makePair(a.c1, b.c1), makePair(a.c2, b.c2),
                      makePair(a.c3, b.c3));
}
#endif

// Tone stack, power drive, curve and DC blocker for one limited preamp
// output per side.
template <class S>
__attribute__((always_inline)) inline S stepPower(PowerSides<S>& p, S a) {
    const S y = mulAdd(p.b0, a, p.s0);
    p.s0 = mulAdd(p.negA1, y, mulAdd(p.b1, a, p.s1));
    p.s1 = mulAdd(p.negA2, y, mulAdd(p.b2, a, p.s2));
    p.s2 = mulAdd(p.negA3, y, mulAdd(p.b3, a, p.s3));
    const S driven = y * p.drive;
    return stepBiquad(p.dcBlocker, powerCurveSides(driven));
}

// The same for the chunk's edge iterations: out of line in mono, where
// inlined it only makes the loop's function bigger (which way the compiler
// goes by itself changes with what else the file holds), inline in stereo,
// where the call would put both sides' state in memory.
template <class S>
inline S stepPowerAtEdge(PowerSides<S>& p, S a) {
    return stepPower(p, a);
}
__attribute__((noinline)) inline double stepPowerAtEdge(PowerSides<double>& p, double a) {
    return stepPower(p, a);
}
