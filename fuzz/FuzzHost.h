// What the fuzz targets share: the host callback, the record's slots as a
// host calls them, and a trap that stops the run with a message (libFuzzer
// keeps the input that got there).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/PluginEntry.h"
#include "shell/vst2.h"
#include "tests/support/QuietHost.h"

namespace fuzzhost {

// A VST 2.4 host that offers nothing beyond its version.
constexpr audioMasterCallback callback = &quietHost;

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition)
        fail(what);
}

inline uint32_t bitsOf(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

inline float floatFromBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline void process(AEffect* e, float* inLeft, float* inRight, float* outLeft, float* outRight, VstInt32 frames) {
    float* inputs[2] = {inLeft, inRight};
    float* outputs[2] = {outLeft, outRight};
    e->processReplacing(e, inputs, outputs, frames);
}

}  // namespace fuzzhost
