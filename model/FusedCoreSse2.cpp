// The fused amp core on two-lane vectors: the path every build has (no
// fused multiply-add here, as the 32-bit build's processors may lack it).
#include "model/FusedCoreKernel.h"

double runFusedCoreSse2(const FusedCoreJob& job) {
    return fusedCore::runFusedCoreOn<DoublePair>(job);
}

double runTriodeChainSse2(TriodeStage& stage, const double* drive, int steps, double rate) {
    return fusedCore::runTriodeChainOn<DoublePair>(stage, drive, steps, rate);
}
