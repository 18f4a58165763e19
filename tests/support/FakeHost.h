// A stand-in host for tests: records every callback the plug-in makes and
// answers from a per-opcode table (the version query answers 2400 unless a
// test says otherwise). One FakeHost is active at a time; constructing one
// makes it the active host until it is destroyed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "shell/vst2.h"

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

class FakeHost {
public:
    FakeHost() : previous(active) {
        answers[audioMasterVersion] = 2400;
        active = this;
    }
    ~FakeHost() { active = previous; }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                          float opt) {
        FakeHost* host = active;
        if (!host)
            return 0;
        host->calls.push_back(HostCall{effect, opcode, index, value, ptr, opt});
        auto answer = host->answers.find(opcode);
        return answer == host->answers.end() ? 0 : answer->second;
    }

    // Calls with a given opcode, in order.
    std::vector<HostCall> callsWith(VstInt32 opcode) const {
        std::vector<HostCall> found;
        for (const HostCall& call : calls)
            if (call.opcode == opcode)
                found.push_back(call);
        return found;
    }

    std::vector<HostCall> calls;
    std::map<VstInt32, VstIntPtr> answers;

private:
    FakeHost* previous;
    inline static FakeHost* active = nullptr;
};
