// Four floats processed side by side: SSE lanes where the compiler targets
// them, four plain floats otherwise. Lane-wise IEEE single precision, so a
// lane computes bit for bit what scalar float code computes.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define CORVEX_FLOAT_QUAD_SSE 1
#endif

#if defined(CORVEX_FLOAT_QUAD_SSE)

struct FloatQuad {
    __m128 v;
};

inline FloatQuad makeQuad(float l0, float l1, float l2, float l3) {
    return {_mm_setr_ps(l0, l1, l2, l3)};
}
inline FloatQuad operator+(FloatQuad a, FloatQuad b) {
    return {_mm_add_ps(a.v, b.v)};
}
inline FloatQuad operator-(FloatQuad a, FloatQuad b) {
    return {_mm_sub_ps(a.v, b.v)};
}
inline FloatQuad operator*(FloatQuad a, FloatQuad b) {
    return {_mm_mul_ps(a.v, b.v)};
}
// (l0, l0, l2, l2) and (l1, l1, l3, l3).
inline FloatQuad evenLanesTwice(FloatQuad a) {
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(2, 2, 0, 0))};
}
inline FloatQuad oddLanesTwice(FloatQuad a) {
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(3, 3, 1, 1))};
}
// (l1, l0, l3, l2).
inline FloatQuad swapPairs(FloatQuad a) {
    return {_mm_shuffle_ps(a.v, a.v, _MM_SHUFFLE(2, 3, 0, 1))};
}
inline void storeQuad(FloatQuad a, float* out) {
    _mm_storeu_ps(out, a.v);
}
// (even0, odd1, even2, odd3).
inline FloatQuad interleavePairs(FloatQuad even, FloatQuad odd) {
    const __m128 evenMask = _mm_castsi128_ps(_mm_setr_epi32(-1, 0, -1, 0));
    return {_mm_or_ps(_mm_and_ps(evenMask, even.v), _mm_andnot_ps(evenMask, odd.v))};
}

// (a2, a3, b0, b1).
inline FloatQuad upperThenLower(FloatQuad a, FloatQuad b) {
    return {_mm_shuffle_ps(a.v, b.v, _MM_SHUFFLE(1, 0, 3, 2))};
}
inline FloatQuad splatQuad(float x) {
    return {_mm_set1_ps(x)};
}
// Lanes 0 and 1 from `a` if `lower`, else from `b`; lanes 2 and 3 likewise
// by `upper`.
inline FloatQuad chooseHalves(bool lower, bool upper, FloatQuad a, FloatQuad b) {
    const __m128 mask = _mm_castsi128_ps(_mm_setr_epi32(-(int)lower, -(int)lower, -(int)upper, -(int)upper));
    return {_mm_or_ps(_mm_and_ps(mask, a.v), _mm_andnot_ps(mask, b.v))};
}
// Lanes 2 and 3 to out[0] and out[1].
inline void storeUpperPair(FloatQuad a, float* out) {
    _mm_storeh_pi(reinterpret_cast<__m64*>(out), a.v);
}
inline float upperLane0(FloatQuad a) {
    return _mm_cvtss_f32(_mm_movehl_ps(a.v, a.v));
}

#else

struct FloatQuad {
    float l[4];
};

inline FloatQuad makeQuad(float l0, float l1, float l2, float l3) {
    return {{l0, l1, l2, l3}};
}
inline FloatQuad operator+(FloatQuad a, FloatQuad b) {
    return {{a.l[0] + b.l[0], a.l[1] + b.l[1], a.l[2] + b.l[2], a.l[3] + b.l[3]}};
}
inline FloatQuad operator-(FloatQuad a, FloatQuad b) {
    return {{a.l[0] - b.l[0], a.l[1] - b.l[1], a.l[2] - b.l[2], a.l[3] - b.l[3]}};
}
inline FloatQuad operator*(FloatQuad a, FloatQuad b) {
    return {{a.l[0] * b.l[0], a.l[1] * b.l[1], a.l[2] * b.l[2], a.l[3] * b.l[3]}};
}
inline FloatQuad evenLanesTwice(FloatQuad a) {
    return {{a.l[0], a.l[0], a.l[2], a.l[2]}};
}
inline FloatQuad oddLanesTwice(FloatQuad a) {
    return {{a.l[1], a.l[1], a.l[3], a.l[3]}};
}
inline FloatQuad swapPairs(FloatQuad a) {
    return {{a.l[1], a.l[0], a.l[3], a.l[2]}};
}
inline void storeQuad(FloatQuad a, float* out) {
    for (int i = 0; i < 4; ++i) {
        out[i] = a.l[i];
    }
}
inline FloatQuad interleavePairs(FloatQuad even, FloatQuad odd) {
    return {{even.l[0], odd.l[1], even.l[2], odd.l[3]}};
}

inline FloatQuad upperThenLower(FloatQuad a, FloatQuad b) {
    return {{a.l[2], a.l[3], b.l[0], b.l[1]}};
}
inline FloatQuad splatQuad(float x) {
    return {{x, x, x, x}};
}
inline FloatQuad chooseHalves(bool lower, bool upper, FloatQuad a, FloatQuad b) {
    return {{lower ? a.l[0] : b.l[0], lower ? a.l[1] : b.l[1], upper ? a.l[2] : b.l[2], upper ? a.l[3] : b.l[3]}};
}
inline void storeUpperPair(FloatQuad a, float* out) {
    out[0] = a.l[2];
    out[1] = a.l[3];
}
inline float upperLane0(FloatQuad a) {
    return a.l[2];
}

#endif
