// Two doubles processed side by side: SSE2 lanes where the compiler targets
// them, two plain doubles otherwise. Every operation is the lane-wise IEEE
// operation, so a lane computes bit for bit what scalar code computes.
#pragma once

#include <cmath>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define CORVEX_DOUBLE_PAIR_SSE2 1
#endif

#if defined(CORVEX_DOUBLE_PAIR_SSE2)

struct DoublePair {
    __m128d v;
};

inline DoublePair makePair(double lane0, double lane1) {
    return {_mm_set_pd(lane1, lane0)};
}
inline DoublePair splatPair(double value) {
    return {_mm_set1_pd(value)};
}
inline double lane0(DoublePair p) {
    return _mm_cvtsd_f64(p.v);
}
inline double lane1(DoublePair p) {
    return _mm_cvtsd_f64(_mm_unpackhi_pd(p.v, p.v));
}
inline DoublePair operator+(DoublePair a, DoublePair b) {
    return {_mm_add_pd(a.v, b.v)};
}
inline DoublePair operator-(DoublePair a, DoublePair b) {
    return {_mm_sub_pd(a.v, b.v)};
}
inline DoublePair operator*(DoublePair a, DoublePair b) {
    return {_mm_mul_pd(a.v, b.v)};
}
inline DoublePair operator/(DoublePair a, DoublePair b) {
    return {_mm_div_pd(a.v, b.v)};
}
inline DoublePair sqrtLanes(DoublePair a) {
    return {_mm_sqrt_pd(a.v)};
}
// Bit 0 for lane 0, bit 1 for lane 1: where a < b.
inline int lanesBelow(DoublePair a, DoublePair b) {
    return _mm_movemask_pd(_mm_cmplt_pd(a.v, b.v));
}
// a < b ? ifBelow : otherwise, per lane.
inline DoublePair selectBelow(DoublePair a, DoublePair b, DoublePair ifBelow, DoublePair otherwise) {
    const __m128d mask = _mm_cmplt_pd(a.v, b.v);
    return {_mm_or_pd(_mm_and_pd(mask, ifBelow.v), _mm_andnot_pd(mask, otherwise.v))};
}
// a < b ? a : b, per lane (NaN in either gives b).
inline DoublePair minLanes(DoublePair a, DoublePair b) {
    return {_mm_min_pd(a.v, b.v)};
}
// x <= 0 ? 0 : x, per lane, as maxpd(0, x): NaN stays NaN (and -0 gives
// -0, which counts as 0 everywhere after).
inline DoublePair floorAtZero(DoublePair x) {
    return {_mm_max_pd(_mm_setzero_pd(), x.v)};
}
// a > b ? a : b, per lane (NaN in either gives b).
inline DoublePair maxLanes(DoublePair a, DoublePair b) {
    return {_mm_max_pd(a.v, b.v)};
}

#else

struct DoublePair {
    double a;
    double b;
};

inline DoublePair makePair(double l0, double l1) {
    return {l0, l1};
}
inline DoublePair splatPair(double value) {
    return {value, value};
}
inline double lane0(DoublePair p) {
    return p.a;
}
inline double lane1(DoublePair p) {
    return p.b;
}
inline DoublePair operator+(DoublePair x, DoublePair y) {
    return {x.a + y.a, x.b + y.b};
}
inline DoublePair operator-(DoublePair x, DoublePair y) {
    return {x.a - y.a, x.b - y.b};
}
inline DoublePair operator*(DoublePair x, DoublePair y) {
    return {x.a * y.a, x.b * y.b};
}
inline DoublePair operator/(DoublePair x, DoublePair y) {
    return {x.a / y.a, x.b / y.b};
}
inline DoublePair sqrtLanes(DoublePair x) {
    return {std::sqrt(x.a), std::sqrt(x.b)};
}
inline int lanesBelow(DoublePair x, DoublePair y) {
    return (x.a < y.a ? 1 : 0) | (x.b < y.b ? 2 : 0);
}
inline DoublePair selectBelow(DoublePair x, DoublePair y, DoublePair ifBelow, DoublePair otherwise) {
    return {x.a < y.a ? ifBelow.a : otherwise.a, x.b < y.b ? ifBelow.b : otherwise.b};
}
inline DoublePair minLanes(DoublePair x, DoublePair y) {
    return {x.a < y.a ? x.a : y.a, x.b < y.b ? x.b : y.b};
}
inline DoublePair floorAtZero(DoublePair x) {
    return {x.a <= 0.0 ? 0.0 : x.a, x.b <= 0.0 ? 0.0 : x.b};
}
inline DoublePair maxLanes(DoublePair x, DoublePair y) {
    return {x.a > y.a ? x.a : y.a, x.b > y.b ? x.b : y.b};
}

#endif

// The same helpers on a single double, so lane-generic code also runs on one
// side.
inline double sqrtLanes(double a) {
    return std::sqrt(a);
}
inline int lanesBelow(double a, double b) {
    return a < b ? 1 : 0;
}
inline double selectBelow(double a, double b, double ifBelow, double otherwise) {
    return a < b ? ifBelow : otherwise;
}
inline double minLanes(double a, double b) {
    return a < b ? a : b;
}
inline double floorAtZero(double x) {
    return x <= 0.0 ? 0.0 : x;
}
inline double maxLanes(double a, double b) {
    return a > b ? a : b;
}

template <class V>
constexpr int laneCount() {
    return 1;
}
template <>
constexpr int laneCount<DoublePair>() {
    return 2;
}
