#include "cabinet/PartitionedConvolver.h"

#include "cabinet/Fft64.h"
#include "cabinet/WideLoops.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define CORVEX_CABINET_SSE2 1
#endif

namespace cabinet {

namespace {

// FFTW's planner is not reentrant: every plan is made and destroyed under this lock.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

float* allocate(size_t count) {
    auto* p = static_cast<float*>(fftwf_malloc(sizeof(float) * count));
    if (p != nullptr)
        std::memset(p, 0, sizeof(float) * count);
    return p;
}

// The spectrum sums. Every bin starts from zero and adds its partitions in
// order, p = 0 first. The plain and SSE2 paths add each partition as
// (hr*xr - hi*xi) and (hr*xi + hi*xr) (no fused multiply-adds); the wider
// ones (cabinet/WideLoops.h) fuse. Each path keeps a block of bins in
// registers across all partitions, and a given path computes a bin the same
// way wherever it falls.

#if !CORVEX_CABINET_SSE2
void spectrumSumPlain(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                      float* yr, float* yi) {
    for (std::size_t k = 0; k < count; ++k) {
        float ar = 0.0f, ai = 0.0f;
        for (int p = 0; p < parts; ++p) {
            const float hr = h[p][k], hi = h[p][half + k];
            const float xr = x[p][k], xi = x[p][half + k];
            ar += hr * xr - hi * xi;
            ai += hr * xi + hi * xr;
        }
        yr[k] = ar;
        yi[k] = ai;
    }
}
#endif

#if CORVEX_CABINET_SSE2
void spectrumSumSse2(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                     float* yr, float* yi) {
    for (std::size_t k = 0; k < count; k += 8) {
        __m128 ar0 = _mm_setzero_ps(), ai0 = _mm_setzero_ps(), ar1 = _mm_setzero_ps(), ai1 = _mm_setzero_ps();
        for (int p = 0; p < parts; ++p) {
            const float* hp = h[p] + k;
            const float* xp = x[p] + k;
            const __m128 hr0 = _mm_load_ps(hp), hi0 = _mm_load_ps(hp + half);
            const __m128 xr0 = _mm_load_ps(xp), xi0 = _mm_load_ps(xp + half);
            const __m128 hr1 = _mm_load_ps(hp + 4), hi1 = _mm_load_ps(hp + half + 4);
            const __m128 xr1 = _mm_load_ps(xp + 4), xi1 = _mm_load_ps(xp + half + 4);
            ar0 = _mm_add_ps(ar0, _mm_sub_ps(_mm_mul_ps(hr0, xr0), _mm_mul_ps(hi0, xi0)));
            ai0 = _mm_add_ps(ai0, _mm_add_ps(_mm_mul_ps(hr0, xi0), _mm_mul_ps(hi0, xr0)));
            ar1 = _mm_add_ps(ar1, _mm_sub_ps(_mm_mul_ps(hr1, xr1), _mm_mul_ps(hi1, xi1)));
            ai1 = _mm_add_ps(ai1, _mm_add_ps(_mm_mul_ps(hr1, xi1), _mm_mul_ps(hi1, xr1)));
        }
        _mm_store_ps(yr + k, ar0);
        _mm_store_ps(yi + k, ai0);
        _mm_store_ps(yr + k + 4, ar1);
        _mm_store_ps(yi + k + 4, ai1);
    }
}
#endif

#if defined(CORVEX_CABINET_WIDE_LOOPS)
// The twiddle loops (see split() and join()) sixteen bins at a time: the
// same arithmetic as the scalar loops, operation for operation and without
// fused multiply-adds, so every path gives the same bits. Each answers the
// first bin it left undone.
__attribute__((target("avx512f"))) size_t splitBinsAvx512(const float* packed, const float* cosine,
                                                          const float* sine, float* spectrum, size_t half,
                                                          size_t n) {
    // a, b: Z[k..k+15] taken apart; c, d: Z[n-k-15..n-k] taken apart and reversed.
    const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i odd = _mm512_set_epi32(31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
    const __m512i evenBack = _mm512_set_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i oddBack = _mm512_set_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    const __m512 halfOf = _mm512_set1_ps(0.5f);
    size_t k = 1;
    for (; k + 16 <= n; k += 16) {
        const __m512 z0 = _mm512_loadu_ps(packed + 2 * k), z1 = _mm512_loadu_ps(packed + 2 * k + 16);
        const __m512 w0 = _mm512_loadu_ps(packed + 2 * (n - k - 15)), w1 = _mm512_loadu_ps(packed + 2 * (n - k - 15) + 16);
        const __m512 a = _mm512_permutex2var_ps(z0, even, z1), b = _mm512_permutex2var_ps(z0, odd, z1);
        const __m512 c = _mm512_permutex2var_ps(w0, evenBack, w1), d = _mm512_permutex2var_ps(w0, oddBack, w1);
        const __m512 er = _mm512_mul_ps(halfOf, _mm512_add_ps(a, c)), ei = _mm512_mul_ps(halfOf, _mm512_sub_ps(b, d));
        const __m512 orr = _mm512_mul_ps(halfOf, _mm512_add_ps(b, d)), oi = _mm512_mul_ps(halfOf, _mm512_sub_ps(c, a));
        const __m512 co = _mm512_loadu_ps(cosine + k), si = _mm512_loadu_ps(sine + k);
        _mm512_storeu_ps(spectrum + k, _mm512_add_ps(er, _mm512_add_ps(_mm512_mul_ps(co, orr), _mm512_mul_ps(si, oi))));
        _mm512_storeu_ps(spectrum + half + k,
                         _mm512_add_ps(ei, _mm512_sub_ps(_mm512_mul_ps(co, oi), _mm512_mul_ps(si, orr))));
    }
    return k;
}

__attribute__((target("avx512f"))) size_t joinBinsAvx512(const float* re, const float* im, const float* cosine,
                                                         const float* sine, float* packed, size_t n) {
    // X[n-k-15..n-k] read reversed; Z put back interleaved.
    const __m512i back = _mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i low = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
    const __m512i high = _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
    size_t k = 1;
    for (; k + 16 <= n; k += 16) {
        const __m512 rk = _mm512_loadu_ps(re + k), ik = _mm512_loadu_ps(im + k);
        const __m512 rm = _mm512_loadu_ps(re + n - k - 15), im15 = _mm512_loadu_ps(im + n - k - 15);
        const __m512 rn = _mm512_permutex2var_ps(rm, back, rm), in = _mm512_permutex2var_ps(im15, back, im15);
        const __m512 er = _mm512_add_ps(rk, rn), ei = _mm512_sub_ps(ik, in);
        const __m512 dr = _mm512_sub_ps(rk, rn), di = _mm512_add_ps(ik, in);
        const __m512 co = _mm512_loadu_ps(cosine + k), si = _mm512_loadu_ps(sine + k);
        const __m512 orr = _mm512_sub_ps(_mm512_mul_ps(dr, co), _mm512_mul_ps(di, si));
        const __m512 oi = _mm512_add_ps(_mm512_mul_ps(dr, si), _mm512_mul_ps(di, co));
        const __m512 zr = _mm512_sub_ps(er, oi), zi = _mm512_add_ps(ei, orr);
        _mm512_storeu_ps(packed + 2 * k, _mm512_permutex2var_ps(zr, low, zi));
        _mm512_storeu_ps(packed + 2 * k + 16, _mm512_permutex2var_ps(zr, high, zi));
    }
    return k;
}
#endif

PartitionedConvolver::SpectrumSum widestSpectrumSum() {
#if defined(CORVEX_CABINET_WIDE_LOOPS)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma"))
        return spectrumSumAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return spectrumSumAvx2;
#endif
#if CORVEX_CABINET_SSE2
    return spectrumSumSse2;
#else
    return spectrumSumPlain;
#endif
}

}  // namespace

PartitionedConvolver::PartitionedConvolver() = default;

PartitionedConvolver::~PartitionedConvolver() {
    release();
}

void PartitionedConvolver::release() {
    {
        std::lock_guard<std::mutex> guard(plannerLock());
        if (forward != nullptr)
            fftwf_destroy_plan(static_cast<fftwf_plan>(forward));
        if (inverse != nullptr)
            fftwf_destroy_plan(static_cast<fftwf_plan>(inverse));
    }
    forward = inverse = nullptr;
    for (float** p : {&sum, &packed, &twiddle, &fftTables, &older[0], &older[1], &frame[0], &frame[1], &result[0], &result[1], &responseSpectra[0], &responseSpectra[1],
                      &inputSpectra[0], &inputSpectra[1]}) {
        fftwf_free(*p);
        *p = nullptr;
    }
    responseAt.clear();
    inputAt.clear();
    quantum = partitions = slot = 0;
    half = 0;
}

bool PartitionedConvolver::configure(const float* left, const float* right, long taps, int cycle) {
    release();
    if (left == nullptr || right == nullptr || taps <= 0 || cycle < 16 || cycle > 16384 || (cycle & (cycle - 1)) != 0)
        return false;
    const long parts = (taps + cycle - 1) / cycle;
    if (parts > (1L << 20))
        return false;
    const size_t n = (size_t)cycle;
    // n + 1 bins, held in n: the first and last bins of a real signal's
    // spectrum are real, so the last one's value takes the first one's
    // imaginary place. n is a multiple of 16: every spectrum, and its
    // imaginary half, keeps the arrays' alignment; 16 floats more between
    // them, so the many spectra a sum reads do not all fall on the same
    // cache sets (a power-of-two stride would).
    const size_t h = n + 16;
    const size_t line = (size_t)parts * 2 * h;
    sum = allocate(2 * h);
    packed = allocate(2 * n);
    twiddle = allocate(2 * n);
    older[0] = allocate(2 * h);
    older[1] = allocate(2 * h);
    bool ok = sum && packed && twiddle && older[0] && older[1];
    // 64-point cycles on a processor with AVX-512: our own transform, held
    // in registers. Alone in a loop FFTW's is faster, but in the rig, where
    // the amp's code and data push the transform's out of the caches between
    // blocks, ours (a kilobyte of code, 0.75 KB of tables) costs less.
    if (ok && cycle == 64 && fft64Available()) {
        fftTables = allocate(kFft64TableFloats);
        ok = fftTables != nullptr;
        if (ok)
            fft64Tables(fftTables);
    }
    for (int c = 0; c < 2 && ok; ++c) {
        frame[c] = allocate(2 * n);
        result[c] = allocate(2 * n);
        responseSpectra[c] = allocate(line);
        inputSpectra[c] = allocate(line);
        ok = frame[c] && result[c] && responseSpectra[c] && inputSpectra[c];
    }
    if (ok) {
        responseAt.assign((size_t)parts, nullptr);
        inputAt.assign((size_t)parts, nullptr);
        std::lock_guard<std::mutex> guard(plannerLock());
        // Estimated plans: the same algorithm on every run, so the same
        // samples. The real transforms of 2 * quantum points run as complex
        // ones of quantum points (even samples as real parts, odd ones as
        // imaginary), taken apart and put together here: FFTW's complex
        // transforms are several times faster than its real ones at these
        // sizes.
        auto* z = reinterpret_cast<fftwf_complex*>(packed);
        auto* time = reinterpret_cast<fftwf_complex*>(result[0]);
        forward = fftwf_plan_dft_1d(cycle, time, z, FFTW_FORWARD, FFTW_ESTIMATE);
        inverse = fftwf_plan_dft_1d(cycle, z, time, FFTW_BACKWARD, FFTW_ESTIMATE);
        ok = forward != nullptr && inverse != nullptr;
    }
    if (!ok) {
        release();
        return false;
    }
    quantum = cycle;
    partitions = (int)parts;
    // e^(-i pi k / quantum), k = 0..quantum-1: cosines, then sines.
    for (size_t k = 0; k < n; ++k) {
        const double angle = 3.14159265358979323846 * (double)k / (double)n;
        twiddle[k] = (float)std::cos(angle);
        twiddle[n + k] = (float)std::sin(angle);
    }
    half = h;
    spectrumSum = widestSpectrumSum();
    wideTwiddles = fft64Available();  // the processors our transform runs on: AVX-512F
    // Each partition's spectrum, zero-padded to twice the cycle, scaled so
    // the unnormalised inverse transform comes back at unity gain.
    const float scale = 1.0f / (float)(2 * n);
    float* time = result[0];
    for (int c = 0; c < 2; ++c) {
        const float* taken = c == 0 ? left : right;
        for (long p = 0; p < parts; ++p) {
            std::fill(time, time + 2 * n, 0.0f);
            const long from = p * cycle;
            const long count = std::min<long>(cycle, taps - from);
            for (long k = 0; k < count; ++k)
                time[k] = taken[from + k] * scale;
            transform(time, packed, false);
            split(responseSpectra[c] + (size_t)p * 2 * h);
        }
    }
    reset();
    return true;
}

void PartitionedConvolver::transform(const float* in, float* out, bool backward) const {
    if (fftTables != nullptr) {
        fft64(in, out, fftTables, backward);
        return;
    }
    // FFTW's new-array execution: the arrays keep the planned ones' alignment.
    fftwf_execute_dft(static_cast<fftwf_plan>(backward ? inverse : forward),
                      reinterpret_cast<fftwf_complex*>(const_cast<float*>(in)), reinterpret_cast<fftwf_complex*>(out));
}

void PartitionedConvolver::split(float* spectrum) const {
    // `packed` holds Z, the complex transform of z[j] = x[2j] + i x[2j+1];
    // the real signal's bins are X[k] = E[k] + W^k O[k], W = e^(-i pi / n),
    // with E[k] = (Z[k] + conj Z[n-k]) / 2 and O[k] = (Z[k] - conj Z[n-k]) / 2i.
    // Stored split: real parts, then imaginary ones; X[n] (real) in X[0]'s
    // (zero) imaginary place.
    const size_t n = (size_t)quantum;
    const float* cosine = twiddle;
    const float* sine = twiddle + n;
    spectrum[0] = packed[0] + packed[1];
    spectrum[half] = packed[0] - packed[1];
    size_t k = 1;
#if defined(CORVEX_CABINET_WIDE_LOOPS)
    if (wideTwiddles)
        k = splitBinsAvx512(packed, cosine, sine, spectrum, half, n);
#endif
#if CORVEX_CABINET_SSE2
    // Four bins at a time, the same arithmetic as the loop below (so the
    // same bits): Z[k..k+3] taken apart into real and imaginary lanes, and
    // Z[n-k-3..n-k] likewise, reversed.
    const __m128 halfOf = _mm_set1_ps(0.5f);
    for (; k + 4 <= n; k += 4) {
        const __m128 z0 = _mm_loadu_ps(packed + 2 * k), z1 = _mm_loadu_ps(packed + 2 * k + 4);
        const __m128 w0 = _mm_loadu_ps(packed + 2 * (n - k - 3)), w1 = _mm_loadu_ps(packed + 2 * (n - k - 3) + 4);
        const __m128 a = _mm_shuffle_ps(z0, z1, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 b = _mm_shuffle_ps(z0, z1, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 c = _mm_shuffle_ps(w1, w0, _MM_SHUFFLE(0, 2, 0, 2));
        const __m128 d = _mm_shuffle_ps(w1, w0, _MM_SHUFFLE(1, 3, 1, 3));
        const __m128 er = _mm_mul_ps(halfOf, _mm_add_ps(a, c)), ei = _mm_mul_ps(halfOf, _mm_sub_ps(b, d));
        const __m128 orr = _mm_mul_ps(halfOf, _mm_add_ps(b, d)), oi = _mm_mul_ps(halfOf, _mm_sub_ps(c, a));
        const __m128 co = _mm_loadu_ps(cosine + k), si = _mm_loadu_ps(sine + k);
        _mm_storeu_ps(spectrum + k, _mm_add_ps(er, _mm_add_ps(_mm_mul_ps(co, orr), _mm_mul_ps(si, oi))));
        _mm_storeu_ps(spectrum + half + k, _mm_add_ps(ei, _mm_sub_ps(_mm_mul_ps(co, oi), _mm_mul_ps(si, orr))));
    }
#endif
    for (; k < n; ++k) {
        const float a = packed[2 * k], b = packed[2 * k + 1];
        const float c = packed[2 * (n - k)], d = packed[2 * (n - k) + 1];
        const float er = 0.5f * (a + c), ei = 0.5f * (b - d);
        const float orr = 0.5f * (b + d), oi = 0.5f * (c - a);
        spectrum[k] = er + (cosine[k] * orr + sine[k] * oi);
        spectrum[half + k] = ei + (cosine[k] * oi - sine[k] * orr);
    }
}

void PartitionedConvolver::join(int c) {
    // The summed spectrum back to Z for the inverse complex transform:
    // Z[k] = E[k] + i O[k], E[k] = X[k] + conj X[n-k],
    // O[k] = (X[k] - conj X[n-k]) conj(W^k) (twice the forward's halves, so
    // the result carries the same 2 * quantum gain a real inverse would).
    // The first and last bins, real, summed apart: the multiply-add took
    // them as one complex bin.
    const size_t n = (size_t)quantum;
    // The older partitions first, then the newest, as every other bin;
    // in two sums each (odd and even partitions), added at the end.
    const size_t stride = 2 * half;
    float firstOdd = 0.0f, lastOdd = 0.0f, firstEven = 0.0f, lastEven = 0.0f;
    const float* h = responseSpectra[c] + stride;
    const float* x = inputSpectra[c] + (size_t)(slot == 0 ? partitions - 1 : slot - 1) * stride;
    const float* const line = inputSpectra[c];
    const float* const lineLast = line + (size_t)(partitions - 1) * stride;
    int p = 1;
    for (; p + 1 < partitions; p += 2) {
        firstOdd += h[0] * x[0];
        lastOdd += h[half] * x[half];
        x = x == line ? lineLast : x - stride;
        h += stride;
        firstEven += h[0] * x[0];
        lastEven += h[half] * x[half];
        x = x == line ? lineLast : x - stride;
        h += stride;
    }
    if (p < partitions) {
        firstOdd += h[0] * x[0];
        lastOdd += h[half] * x[half];
    }
    h = responseSpectra[c];
    x = inputSpectra[c] + (size_t)slot * stride;
    firstEven += h[0] * x[0];
    lastEven += h[half] * x[half];
    const float firstSum = firstOdd + firstEven, lastSum = lastOdd + lastEven;
    packed[0] = firstSum + lastSum;
    packed[1] = firstSum - lastSum;
    const float* cosine = twiddle;
    const float* sine = twiddle + n;
    const float* re = sum;
    const float* im = sum + half;
    size_t k = 1;
#if defined(CORVEX_CABINET_WIDE_LOOPS)
    if (wideTwiddles)
        k = joinBinsAvx512(re, im, cosine, sine, packed, n);
#endif
#if CORVEX_CABINET_SSE2
    // Four bins at a time, the same arithmetic as the loop below (so the
    // same bits): X[n-k-3..n-k] read reversed, Z put back interleaved.
    for (; k + 4 <= n; k += 4) {
        const __m128 rk = _mm_loadu_ps(re + k), ik = _mm_loadu_ps(im + k);
        const __m128 rm = _mm_loadu_ps(re + n - k - 3), im3 = _mm_loadu_ps(im + n - k - 3);
        const __m128 rn = _mm_shuffle_ps(rm, rm, _MM_SHUFFLE(0, 1, 2, 3));
        const __m128 in = _mm_shuffle_ps(im3, im3, _MM_SHUFFLE(0, 1, 2, 3));
        const __m128 er = _mm_add_ps(rk, rn), ei = _mm_sub_ps(ik, in);
        const __m128 dr = _mm_sub_ps(rk, rn), di = _mm_add_ps(ik, in);
        const __m128 co = _mm_loadu_ps(cosine + k), si = _mm_loadu_ps(sine + k);
        const __m128 orr = _mm_sub_ps(_mm_mul_ps(dr, co), _mm_mul_ps(di, si));
        const __m128 oi = _mm_add_ps(_mm_mul_ps(dr, si), _mm_mul_ps(di, co));
        const __m128 zr = _mm_sub_ps(er, oi), zi = _mm_add_ps(ei, orr);
        _mm_storeu_ps(packed + 2 * k, _mm_unpacklo_ps(zr, zi));
        _mm_storeu_ps(packed + 2 * k + 4, _mm_unpackhi_ps(zr, zi));
    }
#endif
    for (; k < n; ++k) {
        const float er = re[k] + re[n - k], ei = im[k] - im[n - k];
        const float dr = re[k] - re[n - k], di = im[k] + im[n - k];
        const float orr = dr * cosine[k] - di * sine[k], oi = dr * sine[k] + di * cosine[k];
        packed[2 * k] = er - oi;
        packed[2 * k + 1] = ei + orr;
    }
}

void PartitionedConvolver::reset() {
    if (quantum == 0)
        return;
    const size_t n = (size_t)quantum;
    const size_t line = (size_t)partitions * 2 * half;
    for (int c = 0; c < 2; ++c) {
        std::fill(frame[c], frame[c] + 2 * n, 0.0f);
        std::fill(result[c], result[c] + 2 * n, 0.0f);
        std::fill(inputSpectra[c], inputSpectra[c] + line, 0.0f);
    }
    slot = 0;
    olderDone = 0;
}

void PartitionedConvolver::copyLeftToRight() {
    if (quantum == 0)
        return;
    const size_t n = (size_t)quantum;
    std::memcpy(frame[1], frame[0], sizeof(float) * 2 * n);
    std::memcpy(result[1], result[0], sizeof(float) * 2 * n);
    std::memcpy(inputSpectra[1], inputSpectra[0], sizeof(float) * (size_t)partitions * 2 * half);
    std::memcpy(older[1], older[0], sizeof(float) * 2 * half);
}

void PartitionedConvolver::pointTo(int c, size_t offset) {
    const size_t stride = 2 * half;
    // Partition p's input is the one `p` cycles back from `slot` (where the
    // next cycle's newest spectrum goes), around the line.
    const float* x = inputSpectra[c] + (size_t)(slot == 0 ? partitions - 1 : slot - 1) * stride + offset;
    const float* const first = inputSpectra[c] + offset;
    const float* const last = first + (size_t)(partitions - 1) * stride;
    const float* h = responseSpectra[c] + stride + offset;
    for (int p = 1; p < partitions; ++p, h += stride) {
        responseAt[(size_t)p] = h;
        inputAt[(size_t)p] = x;
        x = x == first ? last : x - stride;
    }
}

void PartitionedConvolver::sumOlder(int c, size_t from, size_t to) {
    if (partitions < 2 || to <= from)
        return;
    pointTo(c, from);
    spectrumSum(responseAt.data() + 1, inputAt.data() + 1, partitions - 1, to - from, half, older[c] + from,
                older[c] + half + from);
}

void PartitionedConvolver::advance(int filled, int channels) {
    if (quantum == 0)
        return;
    channels = std::clamp(channels, 1, 2);
    // The share of the bins that the cycle's share filled, in steps of 16.
    const size_t target = (size_t)std::clamp(filled, 0, quantum) / 16 * 16;
    if (target <= olderDone)
        return;
    for (int c = 0; c < channels; ++c)
        sumOlder(c, olderDone, target);
    olderDone = target;
}

void PartitionedConvolver::process(int channels) {
    if (quantum == 0)
        return;
    channels = std::clamp(channels, 1, 2);
    const size_t n = (size_t)quantum;
    const size_t stride = 2 * half;
    for (int c = 0; c < channels; ++c) {
        // The older partitions' sum, what advance() has not done yet.
        sumOlder(c, olderDone, n);
        // Overlap-save: the previous cycle's input, then this one's.
        transform(frame[c], packed, false);
        float* newest = inputSpectra[c] + (size_t)slot * stride;
        split(newest);
        std::memcpy(frame[c], frame[c] + n, sizeof(float) * n);
        // Then the newest partition's product on top of it.
        const float* h = responseSpectra[c];
        const float* x = newest;
        const float* pr = older[c];
        const float* pi = older[c] + half;
        size_t k = 0;
#if CORVEX_CABINET_SSE2
        for (; k + 4 <= n; k += 4) {  // the loop below, four bins at a time (the same bits)
            const __m128 hr = _mm_loadu_ps(h + k), hi = _mm_loadu_ps(h + half + k);
            const __m128 xr = _mm_loadu_ps(x + k), xi = _mm_loadu_ps(x + half + k);
            _mm_storeu_ps(sum + k, _mm_add_ps(_mm_loadu_ps(pr + k), _mm_sub_ps(_mm_mul_ps(hr, xr), _mm_mul_ps(hi, xi))));
            _mm_storeu_ps(sum + half + k,
                          _mm_add_ps(_mm_loadu_ps(pi + k), _mm_add_ps(_mm_mul_ps(hr, xi), _mm_mul_ps(hi, xr))));
        }
#endif
        for (; k < n; ++k) {
            const float hr = h[k], hi = h[half + k];
            const float xr = x[k], xi = x[half + k];
            sum[k] = pr[k] + (hr * xr - hi * xi);
            sum[half + k] = pi[k] + (hr * xi + hi * xr);
        }
        join(c);
        transform(packed, result[c], true);
    }
    olderDone = 0;
    slot = slot + 1 == partitions ? 0 : slot + 1;
}

}  // namespace cabinet
