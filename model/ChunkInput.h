// A chunk's host samples as the fast chain takes them: each with the
// injected sine added, as the reference adds it one sample at a time
// (SignalChain.h). Above 2^-8 a float is its own nearest float after adding
// an offset of at most 1e-10 (less than half its spacing), so such samples
// are copied as they are, in loops the compiler runs in vectors; only a
// group of samples holding a quieter one (a signal's few samples around a
// zero crossing) is gone through sample by sample.
#pragma once

#include <cmath>

#include "model/SignalChain.h"

constexpr float injectionBelowSpacing = 0.00390625f;  // 2^-8

// out[h] = injectedSample(in[h], offsetAt(h)) for h in [0, count), where
// offsetAt is asked only for the samples below the spacing. in and out must
// not overlap.
template <class OffsetAt>
void conditionChunkInput(const float* __restrict in, float* __restrict out, int count, OffsetAt&& offsetAt) {
    constexpr int group = 16;
    for (int first = 0; first < count; first += group) {
        const int end = count - first < group ? count : first + group;
        int below = 0;
        for (int h = first; h < end; ++h) {
            const float x = in[h];
            out[h] = x;
            below |= std::fabs(x) >= injectionBelowSpacing ? 0 : 1;
        }
        if (below == 0) {
            continue;
        }
        for (int h = first; h < end; ++h) {
            const float x = in[h];
            if (!(std::fabs(x) >= injectionBelowSpacing)) {
                out[h] = injectedSample(x, offsetAt(h));
            }
        }
    }
}
