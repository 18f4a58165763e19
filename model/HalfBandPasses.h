// Part of the chain's chunk processing (ChainBlock.cpp): the half-band
// filters that raise a chunk to the oversampled rate and lower the amp
// core's output back, both sides in the lanes of a FloatQuad. Included once
// per target, inside that target's namespace (FusedCoreSse2.cpp,
// FusedCoreWide.cpp), after FloatQuad.h, so that the wider targets compile
// the same float operations with their wider register files (no
// multiply-add is fused: the build forbids contraction). No include guard.

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

// Runs `count` quads through the filter's sections, a pass at a time.
// Section s works on sample t - s in pass t, so the sections of one pass
// are independent; each section still sees its samples in order. Only the
// first and last S - 1 passes have sections without a sample; the passes
// between run every section, unrolled.
template <int N, class In, class Out>
struct SectionPasses {
    static constexpr int S = N / 2;
    HalfBandLanes<N>& f;
    int count;
    In input;
    Out output;

    SectionPasses(HalfBandLanes<N>& filter, int quads, In in, Out out)
        : f(filter), count(quads), input(in), output(out) {}

    int passes() const { return count + S - 1; }
    // The passes in which every section has a sample.
    int fullBegin() const { return S - 1; }
    int fullEnd() const { return count; }

    // The filter copied where the compiler can keep it in registers (the
    // output stores could otherwise alias the record).
    using Local = HalfBandLanes<N>;
    Local local() const { return f; }
    void keep(const Local& l) { f = l; }

    // Section s's input is the output its predecessor gave in the pass
    // before, still in the predecessor's output history: the sections run
    // last to first.
    __attribute__((always_inline)) void section(HalfBandLanes<N>& lanes, int s, int i) {
        const FloatQuad w = stepSection(lanes, s, s == 0 ? input(i) : lanes.y[s - 1]);
        if (s == S - 1) {
            output(i, w);
        }
    }

    // A pass in which every section has a sample, on the record or its copy.
    __attribute__((always_inline)) void everySection(HalfBandLanes<N>& lanes, int t) {
#pragma GCC unroll 8
        for (int s = S - 1; s >= 0; --s) {
            section(lanes, s, t - s);
        }
    }

    __attribute__((always_inline)) void fullPass(int t, Local& l) {
        everySection(l, t);
    }

    __attribute__((always_inline)) void pass(int t) {
        if (t >= S - 1 && t < count) {
            everySection(f, t);
            return;
        }
        for (int s = S - 1; s >= 0; --s) {
            if (t - s >= 0 && t - s < count) {
                section(f, s, t - s);
            }
        }
    }
};

template <int N, class In, class Out>
SectionPasses<N, In, Out> sectionPasses(HalfBandLanes<N>& f, int count, In input, Out output) {
    return SectionPasses<N, In, Out>(f, count, input, output);
}

// Runs the passes of filters in a cascade interleaved, so that their
// recurrences (each pass waits on the one before) overlap instead of
// following one another. Per host sample h, filter i runs rate[i] passes,
// lag[i] host samples behind; the lags leave every pass's input made by an
// earlier pass. Each filter still runs its own passes in order, so the
// samples are those of running the filters one after another. The host
// samples in which every pass of every filter has all its sections busy run
// in a loop of their own, without the edge tests, so that the filters'
// states stay in registers from pass to pass.
template <class F>
struct Track {
    F& filter;
    int rate;
    int lag;
};
template <class F>
Track<F> track(F& filter, int rate = 1, int lag = 0) {
    return Track<F>{filter, rate, lag};
}

template <class F>
__attribute__((always_inline)) inline void runTrack(const Track<F>& k, int h) {
    for (int q = 0; q < k.rate; ++q) {
        const int t = k.rate * (h - k.lag) + q;
        if (t >= 0 && t < k.filter.passes()) {
            k.filter.pass(t);
        }
    }
}
template <class F>
__attribute__((always_inline)) inline void runFullTrack(const Track<F>& k, typename F::Local& local, int h) {
    for (int q = 0; q < k.rate; ++q) {
        k.filter.fullPass(k.rate * (h - k.lag) + q, local);
    }
}

template <class... F, std::size_t... I>
void runTracksOn(std::index_sequence<I...>, const Track<F>&... k) {
    int hosts = 0;
    int from = 0;
    int to = 1 << 30;
    auto bound = [&](auto& one) {
        const int needs = (one.filter.passes() + one.rate - 1) / one.rate + one.lag;
        hosts = needs > hosts ? needs : hosts;
        const int first = one.lag + (one.filter.fullBegin() + one.rate - 1) / one.rate;
        const int last = one.lag + one.filter.fullEnd() / one.rate;
        from = first > from ? first : from;
        to = last < to ? last : to;
    };
    (bound(k), ...);
    from = from < hosts ? from : hosts;
    to = to < from ? from : to;
    int h = 0;
    for (; h < from; ++h) {
        (runTrack(k, h), ...);
    }
    if (h < to) {
        std::tuple<typename F::Local...> locals(k.filter.local()...);
        for (; h < to; ++h) {
            (runFullTrack(k, std::get<I>(locals), h), ...);
        }
        (k.filter.keep(std::get<I>(locals)), ...);
    }
    for (; h < hosts; ++h) {
        (runTrack(k, h), ...);
    }
}
template <class... F>
void runTracks(const Track<F>&... k) {
    runTracksOn(std::index_sequence_for<F...>{}, k...);
}

template <class A>
void runCascade(A& a) {
    runTracks(track(a));
}
template <class A, class B>
void runCascade(A& a, int rateA, B& b, int rateB, int lagB) {
    runTracks(track(a, rateA), track(b, rateB, lagB));
}
// Three filters (at 8x) hold more state than the registers: their passes
// run with the edge tests throughout (a loop of their own was slower).
template <class A, class B, class C>
void runCascade(A& a, int rateA, B& b, int rateB, int lagB, C& c, int rateC, int lagC) {
    const Track<A> ka = track(a, rateA);
    const Track<B> kb = track(b, rateB, lagB);
    const Track<C> kc = track(c, rateC, lagC);
    const int hosts = (c.passes() + rateC - 1) / rateC + lagC;
    for (int h = 0; h < hosts; ++h) {
        runTrack(ka, h);
        runTrack(kb, h);
        runTrack(kc, h);
    }
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

// ---------------------------------------------------------------------------
// Mono: one side's filter with two sections to a quad, lanes (A, B) of
// section j and (A, B) of section j + Q in quad j, Q = N / 4 quads. As
// above, section s works on sample t - s in pass t; a section's input is
// the output its predecessor gave in the pass before, which is still in the
// predecessor's output history. Sections j and j + Q of quad j take theirs
// from sections j - 1 and j + Q - 1, quad j - 1 as it stands, so a pass
// moves no lane across a quad (which would lengthen each quad's
// recurrence) but in quad 0, whose sections take the input and section
// Q - 1's output.

template <int N>
struct MonoHalfBandLanes {
    static constexpr int quads = N / 4;
    FloatQuad g[N / 4];
    FloatQuad x[N / 4];
    FloatQuad y[N / 4];
};

template <int N>
MonoHalfBandLanes<N> loadMonoHalfBand(const HalfBandFilter<N>& a) {
    static_assert(N % 4 == 0, "two sections to a quad");
    MonoHalfBandLanes<N> f;
    auto quad = [](const float* v, int j) {
        const int i = 2 * j;
        const int k = 2 * (j + N / 4);
        return makeQuad(v[i], v[i + 1], v[k], v[k + 1]);
    };
    for (int j = 0; j < N / 4; ++j) {
        f.g[j] = quad(a.coefficients, j);
        f.x[j] = quad(a.inputHistory, j);
        f.y[j] = quad(a.outputHistory, j);
    }
    return f;
}

template <int N>
void storeMonoHalfBand(const MonoHalfBandLanes<N>& f, HalfBandFilter<N>& a) {
    auto unquad = [](FloatQuad q, float* v, int j) {
        float lanes[4];
        storeQuad(q, lanes);
        const int i = 2 * j;
        const int k = 2 * (j + N / 4);
        v[i] = lanes[0];
        v[i + 1] = lanes[1];
        v[k] = lanes[2];
        v[k + 1] = lanes[3];
    };
    for (int j = 0; j < N / 4; ++j) {
        unquad(f.x[j], a.inputHistory, j);
        unquad(f.y[j], a.outputHistory, j);
    }
}

// input(i) gives sample i's (A, B) inputs in lanes 2 and 3; output(i, w)
// gets the last section's (A, B) outputs for sample i in lanes 2 and 3.
template <int N, class In, class Out>
struct MonoSectionPasses {
    static constexpr int S = N / 2;
    static constexpr int Q = N / 4;
    MonoHalfBandLanes<N>& f;
    int count;
    In input;
    Out output;

    MonoSectionPasses(MonoHalfBandLanes<N>& filter, int samples, In in, Out out)
        : f(filter), count(samples), input(in), output(out) {}

    int passes() const { return count + S - 1; }
    int fullBegin() const { return S - 1; }
    int fullEnd() const { return count; }

    // The filter copied where the compiler can keep it in registers: the
    // output stores could otherwise alias the record, whose histories would
    // then go to memory and back in every pass.
    using Local = MonoHalfBandLanes<N>;
    Local local() const { return f; }
    void keep(const Local& l) { f = l; }

    __attribute__((always_inline)) void fullPass(int t, Local& l) { step<true>(l, t); }
    __attribute__((always_inline)) void pass(int t) { step<false>(f, t); }

    // `h` is the record itself or its Local copy.
    template <bool Full, class Histories>
    __attribute__((always_inline)) void step(Histories& h, int t) {
        const bool full = Full || (t >= S - 1 && t < count);
        const FloatQuad wrap = h.y[Q - 1];  // section Q - 1's output, before this pass
#pragma GCC unroll 4
        for (int j = Q - 1; j >= 0; --j) {
            const FloatQuad v = j > 0 ? h.y[j - 1] : upperThenLower(Full || t < count ? input(t) : h.y[0], wrap);
            const FloatQuad w = (v - h.y[j]) * h.g[j] + h.x[j];
            const bool upper = full || (t - j - Q >= 0 && t - j - Q < count);
            if (full) {
                h.x[j] = v;
                h.y[j] = w;
            } else {
                const bool lower = t - j >= 0 && t - j < count;
                h.x[j] = chooseHalves(lower, upper, v, h.x[j]);
                h.y[j] = chooseHalves(lower, upper, w, h.y[j]);
            }
            if (j == Q - 1 && upper) {
                output(t - (S - 1), w);
            }
        }
    }
};

template <int N, class In, class Out>
MonoSectionPasses<N, In, Out> monoSectionPasses(MonoHalfBandLanes<N>& f, int count, In input, Out output) {
    return MonoSectionPasses<N, In, Out>(f, count, input, output);
}

void raiseRateMono(AmpSide& a, int oversampling, const ChunkBuffers& buf, int count) {
    float doubled[fusedCoreMaxSamples / 2];  // 2 count, at 4x or 8x
    float quadrupled[fusedCoreMaxSamples / 2];  // 4 count, at 8x
    const FloatQuad two = splatQuad(2.0f);
    MonoHalfBandLanes<12> up2 = loadMonoHalfBand(a.upsampler2x);
    auto fromConditioned = [&](int i) { return splatQuad(buf.conditioned[i]); };
    auto toRaised = [&](int k, FloatQuad w) { storeUpperPair(w, buf.raised + 2 * k); };
    if (oversampling == 2) {
        auto only = monoSectionPasses(up2, count, fromConditioned, [&](int i, FloatQuad w) { toRaised(i, w * two); });
        runCascade(only);
        storeMonoHalfBand(up2, a.upsampler2x);
        return;
    }
    auto first = monoSectionPasses(up2, count, fromConditioned,
                                   [&](int i, FloatQuad w) { storeUpperPair(w * two, doubled + 2 * i); });
    MonoHalfBandLanes<8> up4 = loadMonoHalfBand(a.upsampler4x);
    auto fromDoubled = [&](int k) { return splatQuad(doubled[k]); };
    if (oversampling == 4) {
        auto second = monoSectionPasses(up4, 2 * count, fromDoubled, toRaised);
        runCascade(first, 1, second, 2, 6);
    } else {
        auto second = monoSectionPasses(up4, 2 * count, fromDoubled,
                                        [&](int k, FloatQuad w) { storeUpperPair(w, quadrupled + 2 * k); });
        MonoHalfBandLanes<4> up8 = loadMonoHalfBand(a.upsampler8x);
        auto third = monoSectionPasses(
            up8, 4 * count, [&](int m) { return splatQuad(quadrupled[m]); }, toRaised);
        runCascade(first, 1, second, 2, 6, third, 4, 8);
        storeMonoHalfBand(up8, a.upsampler8x);
    }
    storeMonoHalfBand(up2, a.upsampler2x);
    storeMonoHalfBand(up4, a.upsampler4x);
}

void lowerRateMono(AmpSide& a, int oversampling, const ChunkBuffers& buf, int count) {
    float halved[fusedCoreMaxSamples / 2];  // 4 count, at 8x
    float quartered[fusedCoreMaxSamples / 2];  // 2 count, at 4x or 8x
    const FloatQuad half = splatQuad(0.5f);
    // The later sample enters path A, the earlier one path B.
    auto pairFrom = [](const float* p, int k) { return makeQuad(0.0f, 0.0f, p[2 * k + 1], p[2 * k]); };
    auto lowered = [&](FloatQuad w) { return upperLane0((w + swapPairs(w)) * half); };
    auto fromAmp = [&](int k) { return pairFrom(buf.amp, k); };
    auto toQuartered = [&](int k, FloatQuad w) { quartered[k] = lowered(w); };
    auto toLowered = [&](int h, FloatQuad w) { buf.lowered[h] = lowered(w); };
    auto fromQuartered = [&](int h) { return pairFrom(quartered, h); };

    MonoHalfBandLanes<12> down2 = loadMonoHalfBand(a.downsampler2x);
    if (oversampling == 2) {
        auto only = monoSectionPasses(down2, count, fromAmp, toLowered);
        runCascade(only);
    } else if (oversampling == 4) {
        MonoHalfBandLanes<8> down4 = loadMonoHalfBand(a.downsampler4x);
        auto first = monoSectionPasses(down4, 2 * count, fromAmp, toQuartered);
        auto last = monoSectionPasses(down2, count, fromQuartered, toLowered);
        runCascade(first, 2, last, 1, 2);
        storeMonoHalfBand(down4, a.downsampler4x);
    } else {
        MonoHalfBandLanes<4> down8 = loadMonoHalfBand(a.downsampler8x);
        MonoHalfBandLanes<8> down4 = loadMonoHalfBand(a.downsampler4x);
        auto first = monoSectionPasses(down8, 4 * count, fromAmp, [&](int k, FloatQuad w) { halved[k] = lowered(w); });
        auto middle = monoSectionPasses(
            down4, 2 * count, [&](int k) { return pairFrom(halved, k); }, toQuartered);
        auto last = monoSectionPasses(down2, count, fromQuartered, toLowered);
        runCascade(first, 4, middle, 2, 2, last, 1, 4);
        storeMonoHalfBand(down8, a.downsampler8x);
        storeMonoHalfBand(down4, a.downsampler4x);
    }
    storeMonoHalfBand(down2, a.downsampler2x);
}

// Conditioned host samples up to the oversampled rate, both sides (a and b
// may be the same side). Each upsampler turns one quad (x, x, x', x') into
// (earlier, later, earlier', later').
void raiseRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
               int count) {
    if (&a == &b) {
        raiseRateMono(a, oversampling, bufA, count);
        return;
    }
    FloatQuad doubled[fusedCoreMaxSamples / 4];  // count, at 4x or 8x
    FloatQuad quadrupled[fusedCoreMaxSamples / 4];  // 2 count, at 8x
    const FloatQuad two = makeQuad(2.0f, 2.0f, 2.0f, 2.0f);

    HalfBandLanes<12> up2 = loadHalfBand(a.upsampler2x, b.upsampler2x);
    auto fromConditioned = [&](int i) { return twoSides(bufA.conditioned, bufB.conditioned, i); };
    if (oversampling == 2) {
        auto toRaised = [&](int i, FloatQuad w) { scatterPair(w * two, bufA.raised, bufB.raised, 2 * i); };
        auto only = sectionPasses(up2, count, fromConditioned, toRaised);
        runCascade(only);
        storeHalfBand(up2, a.upsampler2x, b.upsampler2x);
        return;
    }
    auto first = sectionPasses(up2, count, fromConditioned, [&](int i, FloatQuad w) { doubled[i] = w * two; });

    // The second filter's pass k reads doubled[k / 2], which the first's
    // pass k / 2 + 5 writes: 6 host samples behind. The third's pass m reads
    // quadrupled[m / 2], written by the second's pass m / 2 + 3: 2 more.
    HalfBandLanes<8> up4 = loadHalfBand(a.upsampler4x, b.upsampler4x);
    auto fromDoubled = [&](int k) {
        return k % 2 == 0 ? evenLanesTwice(doubled[k / 2]) : oddLanesTwice(doubled[k / 2]);
    };
    if (oversampling == 4) {
        auto second = sectionPasses(up4, 2 * count, fromDoubled,
                                    [&](int k, FloatQuad w) { scatterPair(w, bufA.raised, bufB.raised, 2 * k); });
        runCascade(first, 1, second, 2, 6);
        storeHalfBand(up2, a.upsampler2x, b.upsampler2x);
        storeHalfBand(up4, a.upsampler4x, b.upsampler4x);
        return;
    }
    auto second = sectionPasses(up4, 2 * count, fromDoubled, [&](int k, FloatQuad w) { quadrupled[k] = w; });
    HalfBandLanes<4> up8 = loadHalfBand(a.upsampler8x, b.upsampler8x);
    auto third = sectionPasses(
        up8, 4 * count,
        [&](int k) { return k % 2 == 0 ? evenLanesTwice(quadrupled[k / 2]) : oddLanesTwice(quadrupled[k / 2]); },
        [&](int k, FloatQuad w) { scatterPair(w, bufA.raised, bufB.raised, 2 * k); });
    runCascade(first, 1, second, 2, 6, third, 4, 8);
    storeHalfBand(up2, a.upsampler2x, b.upsampler2x);
    storeHalfBand(up4, a.upsampler4x, b.upsampler4x);
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
void lowerRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
               int count) {
    if (&a == &b) {
        lowerRateMono(a, oversampling, bufA, count);
        return;
    }
    FloatQuad halved[fusedCoreMaxSamples / 2];  // 4 count, at 8x
    FloatQuad quartered[fusedCoreMaxSamples / 2];  // 2 count, at 4x or 8x
    const float* inA = bufA.amp;
    const float* inB = bufB.amp;
    auto fromAmp = [&](int k) { return downInput(twoSides(inA, inB, 2 * k), twoSides(inA, inB, 2 * k + 1)); };
    auto toQuartered = [&](int k, FloatQuad w) { quartered[k] = downOutput(w); };
    auto toLowered = [&](int h, FloatQuad w) {
        float lanes[4];
        storeQuad(downOutput(w), lanes);
        bufA.lowered[h] = lanes[0];
        bufB.lowered[h] = lanes[2];
    };
    auto fromQuartered = [&](int h) { return downInput(quartered[2 * h], quartered[2 * h + 1]); };

    HalfBandLanes<12> down2 = loadHalfBand(a.downsampler2x, b.downsampler2x);
    if (oversampling == 2) {
        auto only = sectionPasses(down2, count, fromAmp, toLowered);
        runCascade(only);
    } else if (oversampling == 4) {
        // The last filter's pass h reads quartered[2 h + 1], which the first
        // one's pass 2 h + 4 writes: 2 host samples behind.
        HalfBandLanes<8> down4 = loadHalfBand(a.downsampler4x, b.downsampler4x);
        auto first = sectionPasses(down4, 2 * count, fromAmp, toQuartered);
        auto last = sectionPasses(down2, count, fromQuartered, toLowered);
        runCascade(first, 2, last, 1, 2);
        storeHalfBand(down4, a.downsampler4x, b.downsampler4x);
    } else {
        // The middle filter's pass j reads halved[2 j + 1], written by the
        // first one's pass 2 j + 2: 1 host sample behind (2 taken); the last
        // one 2 behind the middle one, as above.
        HalfBandLanes<4> down8 = loadHalfBand(a.downsampler8x, b.downsampler8x);
        HalfBandLanes<8> down4 = loadHalfBand(a.downsampler4x, b.downsampler4x);
        auto first = sectionPasses(down8, 4 * count, fromAmp, [&](int k, FloatQuad w) { halved[k] = downOutput(w); });
        auto middle = sectionPasses(
            down4, 2 * count, [&](int k) { return downInput(halved[2 * k], halved[2 * k + 1]); }, toQuartered);
        auto last = sectionPasses(down2, count, fromQuartered, toLowered);
        runCascade(first, 4, middle, 2, 2, last, 1, 4);
        storeHalfBand(down8, a.downsampler8x, b.downsampler8x);
        storeHalfBand(down4, a.downsampler4x, b.downsampler4x);
    }
    storeHalfBand(down2, a.downsampler2x, b.downsampler2x);
}

// Runs two cascades of two filters each side by side, host sample by host
// sample, each as runCascade would (rates and lags as there).
template <class A, class B, class C, class D>
void runCascadesSideBySide(A& a, int rateA, B& b, int rateB, int lagB, C& c, int rateC, D& d, int rateD, int lagD) {
    runTracks(track(a, rateA), track(c, rateC), track(b, rateB, lagB), track(d, rateD, lagD));
}

// Runs two independent filters' passes interleaved, each in its own order.
template <class A, class B>
void runSideBySide(A& a, B& b) {
    runTracks(track(a), track(b));
}

// One chunk's lowering (`low`, `lowCount` host samples) and the next
// chunk's raising (`up`, `upCount`) use different filters, so they can run
// side by side: at 2x each direction is a single filter whose passes form
// one chain with nothing to overlap it, at 4x a cascade of two. The same
// samples as lowerRate and then raiseRate. At 4x in mono only, and never at
// 8x: more filters' states than the registers hold.
void lowerThenRaise(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB,
                    int lowCount, const ChunkBuffers& upA, const ChunkBuffers& upB, int upCount) {
    if (oversampling != 2 && (oversampling != 4 || &a != &b)) {
        lowerRate(a, b, oversampling, lowA, lowB, lowCount);
        raiseRate(a, b, oversampling, upA, upB, upCount);
        return;
    }
    if (&a == &b) {
        const FloatQuad half = splatQuad(0.5f);
        const FloatQuad two = splatQuad(2.0f);
        auto pairFrom = [](const float* p, int k) { return makeQuad(0.0f, 0.0f, p[2 * k + 1], p[2 * k]); };
        auto lowered = [&](FloatQuad w) { return upperLane0((w + swapPairs(w)) * half); };
        auto fromAmp = [&](int k) { return pairFrom(lowA.amp, k); };
        auto toLowered = [&](int h, FloatQuad w) { lowA.lowered[h] = lowered(w); };
        auto fromConditioned = [&](int i) { return splatQuad(upA.conditioned[i]); };
        auto toRaised = [&](int k, FloatQuad w) { storeUpperPair(w, upA.raised + 2 * k); };
        MonoHalfBandLanes<12> down2 = loadMonoHalfBand(a.downsampler2x);
        MonoHalfBandLanes<12> up2 = loadMonoHalfBand(a.upsampler2x);
        if (oversampling == 2) {
            auto lowering = monoSectionPasses(down2, lowCount, fromAmp, toLowered);
            auto raising = monoSectionPasses(up2, upCount, fromConditioned,
                                             [&](int i, FloatQuad w) { toRaised(i, w * two); });
            runSideBySide(lowering, raising);
        } else {
            float quartered[fusedCoreMaxSamples / 2];
            float doubled[fusedCoreMaxSamples / 2];
            MonoHalfBandLanes<8> down4 = loadMonoHalfBand(a.downsampler4x);
            MonoHalfBandLanes<8> up4 = loadMonoHalfBand(a.upsampler4x);
            auto lowFirst = monoSectionPasses(down4, 2 * lowCount, fromAmp,
                                              [&](int k, FloatQuad w) { quartered[k] = lowered(w); });
            auto lowLast = monoSectionPasses(
                down2, lowCount, [&](int h) { return pairFrom(quartered, h); }, toLowered);
            auto upFirst = monoSectionPasses(up2, upCount, fromConditioned,
                                             [&](int i, FloatQuad w) { storeUpperPair(w * two, doubled + 2 * i); });
            auto upLast = monoSectionPasses(
                up4, 2 * upCount, [&](int k) { return splatQuad(doubled[k]); }, toRaised);
            runCascadesSideBySide(lowFirst, 2, lowLast, 1, 2, upFirst, 1, upLast, 2, 6);
            storeMonoHalfBand(down4, a.downsampler4x);
            storeMonoHalfBand(up4, a.upsampler4x);
        }
        storeMonoHalfBand(down2, a.downsampler2x);
        storeMonoHalfBand(up2, a.upsampler2x);
        return;
    }
    const FloatQuad two = makeQuad(2.0f, 2.0f, 2.0f, 2.0f);
    HalfBandLanes<12> down = loadHalfBand(a.downsampler2x, b.downsampler2x);
    HalfBandLanes<12> up = loadHalfBand(a.upsampler2x, b.upsampler2x);
    auto lowering = sectionPasses(
        down, lowCount,
        [&](int k) {
            return downInput(twoSides(lowA.amp, lowB.amp, 2 * k), twoSides(lowA.amp, lowB.amp, 2 * k + 1));
        },
        [&](int h, FloatQuad w) {
            float lanes[4];
            storeQuad(downOutput(w), lanes);
            lowA.lowered[h] = lanes[0];
            lowB.lowered[h] = lanes[2];
        });
    auto raising = sectionPasses(
        up, upCount, [&](int i) { return twoSides(upA.conditioned, upB.conditioned, i); },
        [&](int i, FloatQuad w) { scatterPair(w * two, upA.raised, upB.raised, 2 * i); });
    runSideBySide(lowering, raising);
    storeHalfBand(down, a.downsampler2x, b.downsampler2x);
    storeHalfBand(up, a.upsampler2x, b.upsampler2x);
}
