// Corvex with its protected state readable by tests, and a count of live
// instances so that tests can see the host's close delete one.
#pragma once

#include "model/Corvex.h"
#include "plugin/FrontPanel.h"

class CorvexProbe : public Corvex {
public:
    explicit CorvexProbe(audioMasterCallback audioMaster) : Corvex(audioMaster, &makeFrontPanel) { ++alive; }
    ~CorvexProbe() override { --alive; }

    using Corvex::activeChannel;
    using Corvex::amp;
    using Corvex::boost;
    using Corvex::channelSettings;
    using Corvex::driveGain;
    using Corvex::highQuality;
    using Corvex::programs;
    using Corvex::stereo;

    // The record exactly as the host would use it.
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        AEffect* record = getAeffect();
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }

    inline static int alive = 0;
};
