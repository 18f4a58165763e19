// The fused amp core for processors with AVX-512F. The headers come first
// so that their inline functions keep the build's target; only the core
// below is compiled for AVX-512 (without FMA: every multiply and add stays a
// separately rounded operation).
#include <cmath>
#include <immintrin.h>

#include "model/DoublePair.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

#if CORVEX_WIDE_LANES

#pragma GCC push_options
#pragma GCC target("avx512f,no-fma")

#include "model/FusedCoreKernel.h"
namespace {
#include "model/WideLanes.h"
}  // namespace

// Four-lane groups here too: one side's three stages fit one, and the two
// sides' six stages run faster as two groups than as one eight-lane vector,
// whose division and square root take longer (16 % in stereo on a Xeon) and
// so lengthen the step every sample waits for.
double runFusedCoreAvx512(const FusedCoreJob& job) {
    return runFusedCoreOn<DoubleQuad>(job);
}

#pragma GCC pop_options
#endif
