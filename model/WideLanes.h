// Four doubles side by side (AVX2 registers; the AVX-512 path uses them
// too), with the operations the fused core uses, each the lane-wise IEEE
// operation; mulAdd is one fused multiply-add, so the including region
// must target FMA.
// Only included by the files that compile for those targets, inside their
// target region.
#pragma once

#include <immintrin.h>

#include "model/DoublePair.h"

struct DoubleQuad {
    __m256d v;
};

inline DoubleQuad operator+(DoubleQuad a, DoubleQuad b) {
    return {_mm256_add_pd(a.v, b.v)};
}
inline DoubleQuad operator-(DoubleQuad a, DoubleQuad b) {
    return {_mm256_sub_pd(a.v, b.v)};
}
inline DoubleQuad operator*(DoubleQuad a, DoubleQuad b) {
    return {_mm256_mul_pd(a.v, b.v)};
}
inline DoubleQuad operator/(DoubleQuad a, DoubleQuad b) {
    return {_mm256_div_pd(a.v, b.v)};
}
inline DoubleQuad mulAdd(DoubleQuad a, DoubleQuad b, DoubleQuad c) {
    return {_mm256_fmadd_pd(a.v, b.v, c.v)};
}
inline DoubleQuad sqrtLanes(DoubleQuad a) {
    return {_mm256_sqrt_pd(a.v)};
}
inline int lanesBelow(DoubleQuad a, DoubleQuad b) {
    return _mm256_movemask_pd(_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ));
}
inline DoubleQuad selectBelow(DoubleQuad a, DoubleQuad b, DoubleQuad ifBelow, DoubleQuad otherwise) {
    return {_mm256_blendv_pd(otherwise.v, ifBelow.v, _mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ))};
}
// a < b ? a : b, as minpd.
inline DoubleQuad minLanes(DoubleQuad a, DoubleQuad b) {
    return {_mm256_min_pd(a.v, b.v)};
}
// x <= 0 ? 0 : x as maxpd(0, x), which gives x when it is NaN (and -0 for
// -0, which counts as 0 everywhere after).
inline DoubleQuad floorAtZero(DoubleQuad x) {
    return {_mm256_max_pd(_mm256_setzero_pd(), x.v)};
}
// a > b ? a : b, as maxpd.
inline DoubleQuad maxLanes(DoubleQuad a, DoubleQuad b) {
    return {_mm256_max_pd(a.v, b.v)};
}

template <>
struct Lanes<DoubleQuad> {
    static constexpr int count = 4;
    static DoubleQuad splat(double v) { return {_mm256_set1_pd(v)}; }
    static DoubleQuad load(const double* p) { return {_mm256_loadu_pd(p)}; }
    static DoubleQuad make(const double* v) { return {_mm256_set_pd(v[3], v[2], v[1], v[0])}; }
    static double lane(DoubleQuad v, int k) {
        const __m128d half = k < 2 ? _mm256_castpd256_pd128(v.v) : _mm256_extractf128_pd(v.v, 1);
        return _mm_cvtsd_f64(k % 2 == 0 ? half : _mm_unpackhi_pd(half, half));
    }
    static void store(DoubleQuad v, double* p) { _mm256_storeu_pd(p, v.v); }
    // Two pairs as the low and the high half, and a half as a pair.
    static DoubleQuad joinPairs(DoublePair low, DoublePair high) {
        return {_mm256_insertf128_pd(_mm256_castpd128_pd256(low.v), high.v, 1)};
    }
    static DoublePair pairAt(DoubleQuad v, int half) {
        return {half == 0 ? _mm256_castpd256_pd128(v.v) : _mm256_extractf128_pd(v.v, 1)};
    }
};
