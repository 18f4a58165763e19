// The fused amp core on four-lane vectors, compiled twice: for processors
// with AVX2 and FMA, and for those with AVX-512F and VL (and FMA). The headers come
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

#pragma GCC pop_options

#pragma GCC push_options
// VL lets the compiler copy values between the upper sixteen registers with
// plain moves, which the processor does by renaming, instead of merging
// moves that take an execution port: 1 to 5 % faster.
#pragma GCC target("avx512f,avx512vl,fma")

#define CORVEX_KERNEL_NAMESPACE avx512Core
#include "model/FusedCoreKernel.h"

double runFusedCoreAvx512(const FusedCoreJob& job) {
    return avx512Core::runFusedCoreOn<DoubleQuad>(job);
}

double runTriodeChainAvx512(TriodeStage& stage, const double* drive, int steps, double rate) {
    return avx512Core::runTriodeChainOn<DoubleQuad>(stage, drive, steps, rate);
}

#pragma GCC pop_options

#endif
