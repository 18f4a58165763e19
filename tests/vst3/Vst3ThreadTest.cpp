// The threads a VST3 host runs at once: its main thread loading states,
// reading the controller's values and saving, while its audio thread runs
// blocks with Channel switches and knob changes. Run under ThreadSanitizer
// by the thread stage (label "threads"); in every build it checks that the
// instance ends consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Vst3TestHost.h"

using namespace vst3check;
using namespace v3;

namespace {

void dialIn(Vst3TestHost& host) {
    ParamChanges in;
    in.add(14, 0, 4.0 / 9.0);
    host.flush(in);
    in.clear();
    in.add(2, 0, 0.83);
    in.add(9, 0, 0.41);
    in.add(1, 1, 1.0);
    host.flush(in);
}

}  // namespace

// A host's main thread loading states, reading values and saving while its
// audio thread runs blocks with Channel switches (the sequence the format
// allows): under ThreadSanitizer no race; afterwards a valid state and the
// controller showing what the amp holds.
TEST(Vst3Threads, StatesLoadOnTheMainThreadWhileAudioSwitchesChannels) {
    Vst3TestHost donor;
    ASSERT_TRUE(donor.create());
    dialIn(donor);
    const std::vector<unsigned char> saved = donor.saveState();

    Vst3TestHost host;
    ASSERT_TRUE(host.create());
    ASSERT_TRUE(host.start(48000.0, 256));
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(256, 0.1f), r(256, -0.1f);
        float* io[2] = {l.data(), r.data()};
        ParamChanges in, out;
        for (int b = 0; !stop.load(); ++b) {
            in.clear();
            out.clear();
            in.add(1, b % 256, (b & 1) ? 1.0 : 0.0);
            in.add(2, 255 - b % 256, (b % 10) / 10.0);
            host.process(io, io, 256, &in, &out);
        }
    });
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(host.loadState(saved), kResultOk);
        for (ParamID id = 0; id < 15; ++id)
            host.controller->getParamNormalized(id);
        EXPECT_EQ(host.saveState().size(), saved.size());
    }
    stop.store(true);
    audio.join();
    std::vector<float> l(256, 0.1f), r(256, -0.1f);
    float* io[2] = {l.data(), r.data()};
    ParamChanges last;
    last.add(1, 0, 0.0);  // the channel's values recalled and shown once more
    host.process(io, io, 256, &last);
    const std::vector<unsigned char> after = host.saveState();
    Vst3TestHost check;
    ASSERT_TRUE(check.create());
    EXPECT_EQ(check.loadState(after), kResultOk);
    for (ParamID id = 0; id < 13; ++id)
        EXPECT_EQ(check.controller->getParamNormalized(id), host.controller->getParamNormalized(id)) << id;
}
