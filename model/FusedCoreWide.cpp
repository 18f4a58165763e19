// The fused amp core on four-lane vectors, compiled twice: for processors
// with AVX2 and FMA, and for those with AVX-512F (and FMA). The headers come
// first so that their inline functions keep the build's target; only the
// cores below are compiled for the wider targets, each copy of the kernel in
// a namespace of its own.
//
// Both use four-lane groups: one side's three stages fit one, and the two
// sides' six stages run faster as two groups than as one eight-lane vector,
// whose division and square root take longer and so lengthen the step every
// sample waits for.
#include <cmath>
#include <immintrin.h>

#include "model/DoublePair.h"
#include "model/FloatQuad.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

#if CORVEX_WIDE_LANES

#pragma GCC push_options
#pragma GCC target("avx2,fma")

#define CORVEX_LANES_FMA 1
#define CORVEX_KERNEL_NAMESPACE avx2Core
#include "model/FusedCoreKernel.h"
namespace {
#include "model/WideLanes.h"
}  // namespace

double runFusedCoreAvx2(const FusedCoreJob& job) {
    return avx2Core::runFusedCoreOn<DoubleQuad>(job);
}

double runTriodeChainAvx2(TriodeStage& stage, const double* drive, int steps, double rate) {
    return avx2Core::runTriodeChainOn<DoubleQuad>(stage, drive, steps, rate);
}

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

void lowerThenRaiseAvx2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    avx2Passes::lowerThenRaise(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
}

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,fma")

#define CORVEX_KERNEL_NAMESPACE avx512Core
#include "model/FusedCoreKernel.h"

double runFusedCoreAvx512(const FusedCoreJob& job) {
    return avx512Core::runFusedCoreOn<DoubleQuad>(job);
}

double runTriodeChainAvx512(TriodeStage& stage, const double* drive, int steps, double rate) {
    return avx512Core::runTriodeChainOn<DoubleQuad>(stage, drive, steps, rate);
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

void lowerThenRaiseAvx512(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    avx512Passes::lowerThenRaise(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
}

#pragma GCC pop_options
#endif
