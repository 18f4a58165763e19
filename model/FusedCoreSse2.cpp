// The fused amp core on two-lane vectors: the path every build has (no
// fused multiply-add here, as the 32-bit build's processors may lack it).
#include <tuple>
#include <utility>

#include "model/FloatQuad.h"
#include "model/FusedCoreKernel.h"

namespace {
namespace sse2Passes {
#include "model/HalfBandPasses.h"
}  // namespace sse2Passes
}  // namespace

void raiseRateSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count) {
    sse2Passes::raiseRate(a, b, oversampling, bufA, bufB, count);
}

void lowerRateSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                   int count) {
    sse2Passes::lowerRate(a, b, oversampling, bufA, bufB, count);
}

void lowerThenRaiseSse2(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                    const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    sse2Passes::lowerThenRaise(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
}

double runFusedCoreSse2(const FusedCoreJob& job) {
    return fusedCore::runFusedCoreOn<DoublePair>(job);
}

double runTriodeChainSse2(TriodeStage& stage, const double* drive, int steps, double rate) {
    return fusedCore::runTriodeChainOn<DoublePair>(stage, drive, steps, rate);
}
