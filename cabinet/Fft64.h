// A 64-point complex discrete Fourier transform for the cabinet convolver's
// short cycles, on processors with AVX-512: the whole transform held in
// eight registers (real and imaginary parts apart, sixteen points each),
// three radix-4 passes with fused multiply-adds. Unnormalised, the same
// conventions as the library transforms it stands in for: forward
// X[k] = sum z[j] e^(-2 pi i jk/64), inverse with e^(+2 pi i jk/64); input
// and output interleaved (real, imaginary), in natural order.
//
// Threads: fft64Tables() any thread (no allocation); fft64() allocates,
// locks and logs nothing (the audio thread's).
#pragma once

#include <cstddef>

namespace cabinet {

// Floats the tables take (twiddle factors of the first two passes).
constexpr std::size_t kFft64TableFloats = 192;

// True when this processor runs fft64() (AVX-512F and FMA).
bool fft64Available();
// Fills `tables` (kFft64TableFloats floats, 64-byte aligned).
void fft64Tables(float* tables);
// `in` and `out` 128 floats each (they may not overlap), 64-byte aligned or not.
void fft64(const float* in, float* out, const float* tables, bool inverse);

}  // namespace cabinet
