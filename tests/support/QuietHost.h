// The stand-in host the tests, benchmarks and fuzz targets hand the plug-in
// when they only need a host to exist: a VST 2.4 host (it answers the
// version query with 2400) that offers nothing else, and counts the calls it
// gets. Any thread. Tests that look at what the plug-in asks for use the
// recording FakeHost instead.
#pragma once

#include <atomic>

#include "shell/vst2.h"

// Host callbacks seen since start-up, from any thread.
inline std::atomic<long>& quietHostCalls() {
    static std::atomic<long> count{0};
    return count;
}

inline VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    quietHostCalls().fetch_add(1, std::memory_order_relaxed);
    return opcode == audioMasterVersion ? 2400 : 0;
}
