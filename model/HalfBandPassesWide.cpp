// The half-band passes of a chunk on the wide paths (HalfBandPasses.h),
// compiled for processors with AVX2 and for those with AVX-512VL, whose 32
// registers hold a cascade's filters. A file of their own, built with a
// larger limit for keeping a record's fields in registers
// (model/CMakeLists.txt): the filters' states are copied into locals for
// the passes in which every section is busy, and only there does the
// compiler keep them in registers instead of reloading them after every
// output store.
#include <immintrin.h>
#include <tuple>
#include <type_traits>
#include <utility>

#include "model/FloatQuad.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"

#if CORVEX_WIDE_LANES

#pragma GCC push_options
#pragma GCC target("avx2,fma")

namespace {
namespace avx2Passes {
#include "model/HalfBandPasses.h"
}  // namespace avx2Passes
}  // namespace

void raiseRateAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count) {
    avx2Passes::raiseRate(a, b, oversampling, bufA, bufB, count);
}

void lowerRateAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count) {
    avx2Passes::lowerRate(a, b, oversampling, bufA, bufB, count);
}

void lowerThenRaiseAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB,
                        int count, const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    avx2Passes::lowerThenRaise(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
}

#pragma GCC pop_options

// The half-band passes with AVX-512VL's 32 registers, which hold a filter's
// state without spilling it.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512vl,fma")

namespace {
namespace avx512Passes {
#include "model/HalfBandPasses.h"
}  // namespace avx512Passes
}  // namespace

void raiseRateAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                     int count) {
    avx512Passes::raiseRate(a, b, oversampling, bufA, bufB, count);
}

void lowerRateAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                     int count) {
    avx512Passes::lowerRate(a, b, oversampling, bufA, bufB, count);
}

void lowerThenRaiseAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB,
                          int count, const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    avx512Passes::lowerThenRaise(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
}

#pragma GCC pop_options

#endif
