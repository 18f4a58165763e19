// The fused amp core on eight-lane vectors, for processors with AVX-512F. The
// headers come first so that their inline functions keep the build's
// target; only the core below is compiled for AVX-512 (without FMA: every
// multiply and add stays a separately rounded operation).
#include <cmath>
#include <immintrin.h>

#include "model/DoublePair.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

#if CORVEX_WIDE_LANES

#pragma GCC push_options
#pragma GCC target("avx512f,no-fma")
// GCC 12 takes the deliberately undefined pass-through of its own sqrt and
// min intrinsics for an uninitialised value.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define CORVEX_WITH_DOUBLE_OCT 1
#include "model/FusedCoreKernel.h"
namespace {
#include "model/WideLanes.h"
}  // namespace

// One side's three stages fit four lanes; half-empty eight-lane operations
// would only cost more.
double runFusedCoreAvx512(const FusedCoreJob& job) {
    return job.sides == 1 ? runSides<DoubleQuad, double>(job) : runSides<DoubleOct, DoublePair>(job);
}

#pragma GCC pop_options
#endif
