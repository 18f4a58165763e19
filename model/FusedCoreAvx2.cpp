// The fused amp core on four-lane vectors, for processors with AVX2. The
// headers come first so that their inline functions keep the build's
// target; only the core below is compiled for AVX2 (without FMA: every
// multiply and add stays a separately rounded operation).
#include <cmath>
#include <immintrin.h>

#include "model/DoublePair.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"
#include "model/ValveCurve.h"

#if CORVEX_WIDE_LANES

#pragma GCC push_options
#pragma GCC target("avx2,no-fma")

#include "model/FusedCoreKernel.h"
namespace {
#include "model/WideLanes.h"
}  // namespace

double runFusedCoreAvx2(const FusedCoreJob& job) {
    return runFusedCoreOn<DoubleQuad>(job);
}

#pragma GCC pop_options
#endif
