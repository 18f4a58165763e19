// Lane access for one and two doubles (a side, or both sides), as the fused
// core uses them. Included by FusedCoreKernel.h, inside the including
// file's target region; internal linkage so the vector widths never mix.
#pragma once

#include "model/DoublePair.h"

#if defined(CORVEX_LANES_FMA)
#include <immintrin.h>
#endif

namespace {

template <class V>
struct Lanes;

template <>
struct Lanes<double> {
    static constexpr int count = 1;
    static double splat(double v) { return v; }
    static double load(const double* p) { return p[0]; }
    static double make(const double* v) { return v[0]; }
    static double lane(double v, int) { return v; }
    static void store(double v, double* p) { p[0] = v; }
};

template <>
struct Lanes<DoublePair> {
    static constexpr int count = 2;
    static DoublePair splat(double v) { return splatPair(v); }
    static double lane(DoublePair v, int k) { return k == 0 ? lane0(v) : lane1(v); }
#if defined(CORVEX_DOUBLE_PAIR_SSE2)
    static DoublePair load(const double* p) {
        return {_mm_loadu_pd(p)};
    }
    static DoublePair make(const double* v) {
        return {_mm_set_pd(v[1], v[0])};
    }
    static void store(DoublePair v, double* p) {
        _mm_storeu_pd(p, v.v);
    }
#else
    static DoublePair load(const double* p) {
        return makePair(p[0], p[1]);
    }
    static DoublePair make(const double* v) {
        return makePair(v[0], v[1]);
    }
    static void store(DoublePair v, double* p) {
        p[0] = lane0(v);
        p[1] = lane1(v);
    }
#endif
};

// a * b + c: one fused operation where the including file says its target
// region has FMA (CORVEX_LANES_FMA, set before the first inclusion: GCC's
// target pragmas do not define __FMA__ in C++), a rounded product and a
// rounded sum otherwise.
#if defined(CORVEX_LANES_FMA)
inline double mulAdd(double a, double b, double c) {
    return __builtin_fma(a, b, c);
}
inline DoublePair mulAdd(DoublePair a, DoublePair b, DoublePair c) {
    return {_mm_fmadd_pd(a.v, b.v, c.v)};
}
#else
inline double mulAdd(double a, double b, double c) {
    return a * b + c;
}
inline DoublePair mulAdd(DoublePair a, DoublePair b, DoublePair c) {
    return a * b + c;
}
#endif

// Side lanes: one value per side.
inline void loadSides(double& v, const double* p, int) {
    v = p[0];
}
inline void loadSides(DoublePair& v, const double* p, int stride) {
    v = makePair(p[0], p[stride]);
}
inline void storeSides(double v, double* p, int) {
    p[0] = v;
}
inline void storeSides(DoublePair v, double* p, int stride) {
    p[0] = lane0(v);
    p[stride] = lane1(v);
}
inline double sumSides(double v) {
    return v;
}
inline double sumSides(DoublePair v) {
    return lane0(v) + lane1(v);
}

}  // namespace
