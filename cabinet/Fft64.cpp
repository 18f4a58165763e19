#include "cabinet/Fft64.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#define CORVEX_FFT64 1
#endif

namespace cabinet {

// Point j = 16a + b sits in lane b of register a. The first pass is a
// radix-4 step across the registers (a) for each lane, then the twiddles
// W64^(bd) of its four outputs d: four 16-point transforms remain, one per
// register. Their blocks of four lanes are transposed across the registers,
// so the second pass is again a step across registers (over b's upper two
// bits, with twiddles W16^(fg) for f, b's lower two bits); the lanes within
// each block are transposed in turn for the third pass (over f). Register p,
// lane 4d + g then holds X[16p + 4g + d].

void fft64Tables(float* tables) {
    const double pi = 3.14159265358979323846;
    for (int t = 1; t < 4; ++t)
        for (int lane = 0; lane < 16; ++lane) {
            // Pass 1: output d = t, lane b: W64^(b t).
            const double first = -2.0 * pi * lane * t / 64.0;
            tables[(t - 1) * 32 + lane] = (float)std::cos(first);
            tables[(t - 1) * 32 + 16 + lane] = (float)std::sin(first);
            // Pass 2: output g = t, lane 4d + f: W16^(f t).
            const double second = -2.0 * pi * (lane % 4) * t / 16.0;
            tables[96 + (t - 1) * 32 + lane] = (float)std::cos(second);
            tables[96 + (t - 1) * 32 + 16 + lane] = (float)std::sin(second);
        }
}

#if CORVEX_FFT64

bool fft64Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
}

namespace {

// x0..x3 -> y0..y3, y_d = sum x_a (-i)^(ad).
__attribute__((target("avx512f"))) inline void radix4(__m512* re, __m512* im) {
    const __m512 r0 = _mm512_add_ps(re[0], re[2]), i0 = _mm512_add_ps(im[0], im[2]);
    const __m512 r1 = _mm512_sub_ps(re[0], re[2]), i1 = _mm512_sub_ps(im[0], im[2]);
    const __m512 r2 = _mm512_add_ps(re[1], re[3]), i2 = _mm512_add_ps(im[1], im[3]);
    const __m512 r3 = _mm512_sub_ps(re[1], re[3]), i3 = _mm512_sub_ps(im[1], im[3]);
    re[0] = _mm512_add_ps(r0, r2), im[0] = _mm512_add_ps(i0, i2);
    re[2] = _mm512_sub_ps(r0, r2), im[2] = _mm512_sub_ps(i0, i2);
    re[1] = _mm512_add_ps(r1, i3), im[1] = _mm512_sub_ps(i1, r3);  // t1 - i t3
    re[3] = _mm512_sub_ps(r1, i3), im[3] = _mm512_add_ps(i1, r3);  // t1 + i t3
}

// Registers 1..3 times their twiddles (cosines, then sines, 32 floats each).
__attribute__((target("avx512f,fma"))) inline void twiddle(__m512* re, __m512* im, const float* w) {
    for (int t = 1; t < 4; ++t) {
        const __m512 c = _mm512_loadu_ps(w + (t - 1) * 32), s = _mm512_loadu_ps(w + (t - 1) * 32 + 16);
        const __m512 r = re[t], i = im[t];
        re[t] = _mm512_fmsub_ps(r, c, _mm512_mul_ps(i, s));
        im[t] = _mm512_fmadd_ps(r, s, _mm512_mul_ps(i, c));
    }
}

// Block e of register d goes to block d of register e.
__attribute__((target("avx512f"))) inline void transposeBlocks(__m512* v) {
    const __m512 t0 = _mm512_maskz_shuffle_f32x4(0xffff, v[0], v[1], _MM_SHUFFLE(1, 0, 1, 0));
    const __m512 t1 = _mm512_maskz_shuffle_f32x4(0xffff, v[0], v[1], _MM_SHUFFLE(3, 2, 3, 2));
    const __m512 t2 = _mm512_maskz_shuffle_f32x4(0xffff, v[2], v[3], _MM_SHUFFLE(1, 0, 1, 0));
    const __m512 t3 = _mm512_maskz_shuffle_f32x4(0xffff, v[2], v[3], _MM_SHUFFLE(3, 2, 3, 2));
    v[0] = _mm512_maskz_shuffle_f32x4(0xffff, t0, t2, _MM_SHUFFLE(2, 0, 2, 0));
    v[1] = _mm512_maskz_shuffle_f32x4(0xffff, t0, t2, _MM_SHUFFLE(3, 1, 3, 1));
    v[2] = _mm512_maskz_shuffle_f32x4(0xffff, t1, t3, _MM_SHUFFLE(2, 0, 2, 0));
    v[3] = _mm512_maskz_shuffle_f32x4(0xffff, t1, t3, _MM_SHUFFLE(3, 1, 3, 1));
}

// Within every block of four lanes: lane f of register g goes to lane g of register f.
__attribute__((target("avx512f"))) inline void transposeLanes(__m512* v) {
    const __m512 t0 = _mm512_maskz_unpacklo_ps(0xffff, v[0], v[1]), t1 = _mm512_maskz_unpacklo_ps(0xffff, v[2], v[3]);
    const __m512 t2 = _mm512_maskz_unpackhi_ps(0xffff, v[0], v[1]), t3 = _mm512_maskz_unpackhi_ps(0xffff, v[2], v[3]);
    v[0] = _mm512_shuffle_ps(t0, t1, _MM_SHUFFLE(1, 0, 1, 0));
    v[1] = _mm512_shuffle_ps(t0, t1, _MM_SHUFFLE(3, 2, 3, 2));
    v[2] = _mm512_shuffle_ps(t2, t3, _MM_SHUFFLE(1, 0, 1, 0));
    v[3] = _mm512_shuffle_ps(t2, t3, _MM_SHUFFLE(3, 2, 3, 2));
}

__attribute__((target("avx512f"))) inline __m512 negated(__m512 v) {
    return _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(v), _mm512_set1_epi32((int)0x80000000u)));
}

}  // namespace

__attribute__((target("avx512f,fma"))) void fft64(const float* in, float* out, const float* tables, bool inverse) {
    const __m512i even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i odd = _mm512_set_epi32(31, 29, 27, 25, 23, 21, 19, 17, 15, 13, 11, 9, 7, 5, 3, 1);
    __m512 re[4], im[4];
    for (int a = 0; a < 4; ++a) {
        const __m512 z0 = _mm512_loadu_ps(in + 32 * a), z1 = _mm512_loadu_ps(in + 32 * a + 16);
        re[a] = _mm512_permutex2var_ps(z0, even, z1);
        im[a] = _mm512_permutex2var_ps(z0, odd, z1);
        if (inverse)  // the inverse as the conjugate of the forward transform of the conjugate
            im[a] = negated(im[a]);
    }
    radix4(re, im);
    twiddle(re, im, tables);
    transposeBlocks(re);
    transposeBlocks(im);
    radix4(re, im);
    twiddle(re, im, tables + 96);
    transposeLanes(re);
    transposeLanes(im);
    radix4(re, im);
    // Register p, lane 4d + g holds X[16p + 4g + d]: each register's
    // sixteen points back in order, real and imaginary parts interleaved.
    const __m512i low = _mm512_set_epi32(29, 13, 25, 9, 21, 5, 17, 1, 28, 12, 24, 8, 20, 4, 16, 0);
    const __m512i high = _mm512_set_epi32(31, 15, 27, 11, 23, 7, 19, 3, 30, 14, 26, 10, 22, 6, 18, 2);
    for (int p = 0; p < 4; ++p) {
        const __m512 i = inverse ? negated(im[p]) : im[p];
        _mm512_storeu_ps(out + 32 * p, _mm512_permutex2var_ps(re[p], low, i));
        _mm512_storeu_ps(out + 32 * p + 16, _mm512_permutex2var_ps(re[p], high, i));
    }
}

#else

bool fft64Available() {
    return false;
}

void fft64(const float*, float*, const float*, bool) {}

#endif

}  // namespace cabinet
