#include "model/ChainDispatch.h"

#include "model/FusedCore.h"

namespace {

bool processorRuns(ChainLanes lanes) {
#if CORVEX_WIDE_LANES
    __builtin_cpu_init();
    switch (lanes) {
        case ChainLanes::sse2:
            return true;
        case ChainLanes::avx2:
            return __builtin_cpu_supports("avx2");
        case ChainLanes::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    }
    return false;
#else
    return lanes == ChainLanes::sse2;
#endif
}

ChainLanes widestLanes() {
    if (processorRuns(ChainLanes::avx512)) {
        return ChainLanes::avx512;
    }
    if (processorRuns(ChainLanes::avx2)) {
        return ChainLanes::avx2;
    }
    return ChainLanes::sse2;
}

// Chosen while the library loads, so the audio thread never meets a guard.
ChainLanes activeLanes = widestLanes();

}  // namespace

const char* chainLanesName(ChainLanes lanes) {
    switch (lanes) {
        case ChainLanes::sse2:
            return "SSE2";
        case ChainLanes::avx2:
            return "AVX2";
        case ChainLanes::avx512:
            return "AVX-512";
    }
    return "?";
}

bool chainLanesSupported(ChainLanes lanes) {
    return processorRuns(lanes);
}

ChainLanes activeChainLanes() {
    return activeLanes;
}

bool selectChainLanes(ChainLanes lanes) {
    if (!processorRuns(lanes)) {
        return false;
    }
    activeLanes = lanes;
    return true;
}

double runFusedCore(const FusedCoreJob& job) {
    switch (activeLanes) {
#if CORVEX_WIDE_LANES
        case ChainLanes::avx512:
            return runFusedCoreAvx512(job);
        case ChainLanes::avx2:
            return runFusedCoreAvx2(job);
#endif
        default:
            return runFusedCoreSse2(job);
    }
}

double runFusedTriodeChain(TriodeStage& stage, const double* drive, int steps, double rate) {
    switch (activeLanes) {
#if CORVEX_WIDE_LANES
        case ChainLanes::avx512:
            return runTriodeChainAvx512(stage, drive, steps, rate);
        case ChainLanes::avx2:
            return runTriodeChainAvx2(stage, drive, steps, rate);
#endif
        default:
            return runTriodeChainSse2(stage, drive, steps, rate);
    }
}

void raiseChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                    int count) {
    switch (activeLanes) {
#if CORVEX_WIDE_LANES
        case ChainLanes::avx512:
            return raiseRateAvx512(a, b, oversampling, bufA, bufB, count);
        case ChainLanes::avx2:
            return raiseRateAvx2(a, b, oversampling, bufA, bufB, count);
#endif
        default:
            return raiseRateSse2(a, b, oversampling, bufA, bufB, count);
    }
}

void lowerChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& bufA, const ChunkBuffers& bufB,
                    int count) {
    switch (activeLanes) {
#if CORVEX_WIDE_LANES
        case ChainLanes::avx512:
            return lowerRateAvx512(a, b, oversampling, bufA, bufB, count);
        case ChainLanes::avx2:
            return lowerRateAvx2(a, b, oversampling, bufA, bufB, count);
#endif
        default:
            return lowerRateSse2(a, b, oversampling, bufA, bufB, count);
    }
}

void lowerThenRaiseChunkRate(AmpSide& a, AmpSide& b, int oversampling, const ChunkBuffers& lowA, const ChunkBuffers& lowB, int count,
                               const ChunkBuffers& upA, const ChunkBuffers& upB, int nextCount) {
    switch (activeLanes) {
#if CORVEX_WIDE_LANES
        case ChainLanes::avx512:
            return lowerThenRaiseAvx512(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
        case ChainLanes::avx2:
            return lowerThenRaiseAvx2(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
#endif
        default:
            return lowerThenRaiseSse2(a, b, oversampling, lowA, lowB, count, upA, upB, nextCount);
    }
}
