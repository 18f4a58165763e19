// The wide loops' body compiled for each target, in a namespace of its own
// (see cabinet/WideLoopsBody.h). The headers come first, so that their inline
// functions keep the build's target.
#include "cabinet/WideLoops.h"

#if CORVEX_CABINET_WIDE_LOOPS
#include <immintrin.h>

namespace cabinet {

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#define CORVEX_LANE_BITS 256
namespace avx2Loops {
#include "cabinet/WideLoopsBody.h"
}  // namespace avx2Loops
#undef CORVEX_LANE_BITS
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,fma")
#define CORVEX_LANE_BITS 512
namespace avx512Loops {
#include "cabinet/WideLoopsBody.h"
}  // namespace avx512Loops
#undef CORVEX_LANE_BITS
#pragma GCC pop_options

void spectrumSumAvx2(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                     float* yr, float* yi) {
    avx2Loops::spectrumSum(h, x, parts, count, half, yr, yi);
}

void spectrumSumAvx512(const float* const* h, const float* const* x, int parts, std::size_t count, std::size_t half,
                       float* yr, float* yi) {
    avx512Loops::spectrumSum(h, x, parts, count, half, yr, yi);
}

void directTapsAvx2(const float* h, int taps, const float* x, float* y, int n) {
    avx2Loops::directTaps(h, taps, x, y, n);
}

void directTapsAvx512(const float* h, int taps, const float* x, float* y, int n) {
    avx512Loops::directTaps(h, taps, x, y, n);
}

}  // namespace cabinet

#endif
