// The fused amp core on two-lane vectors: the path every build has.
#include "model/FusedCoreKernel.h"

double runFusedCoreSse2(const FusedCoreJob& job) {
    return runFusedCoreOn<DoublePair>(job);
}
