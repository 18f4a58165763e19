// The wide loops, for vectors of CORVEX_LANE_BITS bits (256 or 512); included
// by cabinet/WideLoops.cpp inside a namespace and a target of its own, once
// per width (so no include guard). Both widths do the same arithmetic on
// every bin and every output, lane by lane.
#define CORVEX_PASTE_(a, b, c) a##b##c
#define CORVEX_PASTE(a, b, c) CORVEX_PASTE_(a, b, c)
#define CORVEX_MM(op) CORVEX_PASTE(_mm, CORVEX_LANE_BITS, _##op)

using Lane = CORVEX_PASTE(__m, CORVEX_LANE_BITS, );
constexpr int kWidth = CORVEX_LANE_BITS / 32;
// The helpers inline into the two loops (spectrumSum, directTaps).
#define CORVEX_FLAT __attribute__((always_inline)) inline

CORVEX_FLAT Lane load(const float* p) {
    return CORVEX_MM(loadu_ps)(p);
}
CORVEX_FLAT void store(float* p, Lane v) {
    CORVEX_MM(storeu_ps)(p, v);
}
CORVEX_FLAT Lane broadcast(float v) {
    return CORVEX_MM(set1_ps)(v);
}
CORVEX_FLAT Lane zero() {
    return CORVEX_MM(setzero_ps)();
}
CORVEX_FLAT Lane add(Lane a, Lane b) {
    return CORVEX_MM(add_ps)(a, b);
}
CORVEX_FLAT Lane mul(Lane a, Lane b) {
    return CORVEX_MM(mul_ps)(a, b);
}
CORVEX_FLAT Lane fmadd(Lane a, Lane b, Lane c) {
    return CORVEX_MM(fmadd_ps)(a, b, c);
}
CORVEX_FLAT Lane fnmadd(Lane a, Lane b, Lane c) {
    return CORVEX_MM(fnmadd_ps)(a, b, c);
}

// The spectrum sum with fused multiply-adds, each bin's real and imaginary
// parts in two sums apiece (hr*xr and -hi*xi; hr*xi and hi*xr), added at the
// end: twice the independent chains, so the sum runs at the loads' pace.
// `bins` lanes of bins at a time (two vectors, or one for the last ones); a
// bin gets the same arithmetic in either, so the samples do not depend on how
// the bins are cut into shares.
template <int vectors>
CORVEX_FLAT void spectrumSumBins(const float* const* h, const float* const* x, int parts, std::size_t k, std::size_t half,
                            float* yr, float* yi) {
    Lane ar[vectors], br[vectors], ai[vectors], bi[vectors];
    for (int v = 0; v < vectors; ++v)
        ar[v] = br[v] = ai[v] = bi[v] = zero();
    for (int p = 0; p < parts; ++p) {
        const float* hp = h[p] + k;
        const float* xp = x[p] + k;
        Lane hr[vectors], hi[vectors], xr[vectors], xi[vectors];
        for (int v = 0; v < vectors; ++v) {
            hr[v] = load(hp + v * kWidth), hi[v] = load(hp + half + v * kWidth);
            xr[v] = load(xp + v * kWidth), xi[v] = load(xp + half + v * kWidth);
        }
        for (int v = 0; v < vectors; ++v) {
            ar[v] = fmadd(hr[v], xr[v], ar[v]);
            br[v] = fnmadd(hi[v], xi[v], br[v]);
            ai[v] = fmadd(hr[v], xi[v], ai[v]);
            bi[v] = fmadd(hi[v], xr[v], bi[v]);
        }
    }
    for (int v = 0; v < vectors; ++v) {
        store(yr + k + v * kWidth, add(ar[v], br[v]));
        store(yi + k + v * kWidth, add(ai[v], bi[v]));
    }
}

inline void spectrumSum(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                        float* yr, float* yi) {
    std::size_t k = 0;
    for (; k + 2 * kWidth <= count; k += 2 * kWidth)
        spectrumSumBins<2>(h, x, parts, k, half, yr, yi);
    for (; k < count; k += kWidth)
        spectrumSumBins<1>(h, x, parts, k, half, yr, yi);
}

// The direct taps with fused multiply-adds, each output in two sums (the
// first half of the taps, from h[0] * x[i] on, and the second half) added at
// the end: twice the independent chains, so the loop runs at the loads' pace.
// Every output gets that arithmetic, in four vectors, one or one at a time, so
// the samples do not depend on the block size.
template <int vectors>
CORVEX_FLAT void directTapsAt(const float* h, int taps, const float* x, float* y, int i) {
    const int mid = (taps + 1) / 2;
    const float* xi = x + i;
    Lane a[vectors], b[vectors];
    for (int v = 0; v < vectors; ++v) {
        a[v] = mul(broadcast(h[0]), load(xi + v * kWidth));
        b[v] = zero();
    }
    int j = 0;
    for (; 1 + j < mid; ++j) {
        const Lane hk = broadcast(h[1 + j]), hn = broadcast(h[mid + j]);
        for (int v = 0; v < vectors; ++v) {
            a[v] = fmadd(hk, load(xi - 1 - j + v * kWidth), a[v]);
            b[v] = fmadd(hn, load(xi - mid - j + v * kWidth), b[v]);
        }
    }
    for (; mid + j < taps; ++j) {
        const Lane hn = broadcast(h[mid + j]);
        for (int v = 0; v < vectors; ++v)
            b[v] = fmadd(hn, load(xi - mid - j + v * kWidth), b[v]);
    }
    for (int v = 0; v < vectors; ++v)
        store(y + i + v * kWidth, add(a[v], b[v]));
}

inline void directTaps(const float* h, int taps, const float* x, float* y, int n) {
    int i = 0;
    for (; i + 4 * kWidth <= n; i += 4 * kWidth)
        directTapsAt<4>(h, taps, x, y, i);
    for (; i + kWidth <= n; i += kWidth)
        directTapsAt<1>(h, taps, x, y, i);
    const int mid = (taps + 1) / 2;
    for (; i < n; ++i) {
        float early = h[0] * x[i], late = 0.0f;
        for (int j = 0; mid + j < taps; ++j) {
            if (1 + j < mid)
                early = __builtin_fmaf(h[1 + j], x[i - 1 - j], early);
            late = __builtin_fmaf(h[mid + j], x[i - mid - j], late);
        }
        y[i] = early + late;
    }
}

#undef CORVEX_FLAT
#undef CORVEX_MM
#undef CORVEX_PASTE
#undef CORVEX_PASTE_
