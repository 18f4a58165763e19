// The cabinet convolver's wide loops, compiled once for AVX2 (with FMA) and
// once for AVX-512F (with FMA) from one body (cabinet/WideLoopsBody.h), on
// x86-64 GCC builds: the spectrum sum of the partitioned convolver and the
// direct taps of the zero-latency one. The callers choose a path once, where
// the processor has it, never on the audio thread; the loops themselves
// allocate, lock and log nothing.
#pragma once

#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define CORVEX_CABINET_WIDE_LOOPS 1

namespace cabinet {

// yr[k] = sum over p of (hr*xr - hi*xi), yi[k] = sum of (hr*xi + hi*xr), for
// k < count (a multiple of 16): response p at h[p], its input at x[p], each
// spectrum's imaginary parts `half` floats after its real ones.
void spectrumSumAvx2(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                     float* yr, float* yi);
void spectrumSumAvx512(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                       float* yr, float* yi);

// y[i] = sum over k < taps of h[k] * x[i - k], i < n.
void directTapsAvx2(const float* h, int taps, const float* x, float* y, int n);
void directTapsAvx512(const float* h, int taps, const float* x, float* y, int n);

}  // namespace cabinet

#endif
