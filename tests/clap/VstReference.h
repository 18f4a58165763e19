// The VST 2.4 build (Corvex.so / Corvex.dll) driven as a plain VST 2.4 host
// would, to compare the CLAP build with: a parameter change at sample t of a
// block is a setParameter between two processReplacing calls that end and
// start at t.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "shell/vst2.h"
#include "tests/support/LoadedPlugin.h"

namespace clapcheck {

inline VstIntPtr VSTCALLBACK vstReferenceHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// One parameter change at a sample of a block.
struct TimedChange {
    uint32_t time;
    uint32_t param;
    float value;
};

class VstReference {
public:
    VstReference(const LoadedPlugin& library, float rate, int maxFrames) {
        const EntryPoint entry = library.entry();
        record = entry ? entry(vstReferenceHost) : nullptr;
        if (!record)
            return;
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        dispatch(effSetBlockSize, 0, maxFrames);
        dispatch(effMainsChanged, 0, 1);
        dispatch(effStartProcess);
    }
    ~VstReference() {
        if (!record)
            return;
        dispatch(effStopProcess);
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    VstReference(const VstReference&) = delete;
    VstReference& operator=(const VstReference&) = delete;

    AEffect* effect() const { return record; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const {
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    std::string text(VstInt32 opcode, VstInt32 index) const {
        char buffer[256] = {};
        dispatch(opcode, index, 0, buffer);
        return buffer;
    }

    // One block of `frames` from separate input and output buffers, the
    // changes (in time order) applied where they fall.
    void block(float* const* in, float* const* out, int frames, const std::vector<TimedChange>& changes) const {
        int done = 0;
        for (const TimedChange& change : changes) {
            const int at = static_cast<int>(change.time) < frames ? static_cast<int>(change.time) : frames;
            if (at > done)
                span(in, out, done, at);
            done = at > done ? at : done;
            record->setParameter(record, static_cast<VstInt32>(change.param), change.value);
        }
        span(in, out, done, frames);
    }

private:
    void span(float* const* in, float* const* out, int start, int end) const {
        float* inputs[2] = {in[0] + start, in[1] + start};
        float* outputs[2] = {out[0] + start, out[1] + start};
        record->processReplacing(record, inputs, outputs, end - start);
    }

    AEffect* record = nullptr;
};

}  // namespace clapcheck
