// The rig's threads as a host runs them: the audio thread processing while
// a worker loads impulses and states and another thread moves parameters
// and programs. Checked for sane output here, and for data races in the
// ThreadSanitizer build (rig_tests runs there too).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"

namespace {

using corvex::RigEngine;

TEST(RigThreads, AudioRunsWhileImpulsesStatesAndValuesChangeElsewhere) {
    RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    const std::string a = rigtest::tempPath("thread-a.wav");
    ASSERT_TRUE(rigtest::writeAudio(a, {rigtest::testResponse(3000)}, 44100));
    const std::vector<unsigned char> state = [&] {
        RigEngine other;
        std::string error;
        other.loadImpulseFile(a, error);
        other.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        other.flush();
        return other.saveState();
    }();
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::string error;
        for (int k = 0; !stop.load(); ++k) {
            if (k % 2)
                rig.loadImpulseFile(a, error);
            else
                rig.loadState(state.data(), state.size());
            rig.collect();
            rig.saveState();
            rig.impulseName();
        }
    });
    std::thread knobs([&] {
        for (int k = 0; !stop.load(); ++k) {
            rig.post(k % RigEngine::kParameterCount, (k % 7) / 6.0);
            if (k % 50 == 0)
                rig.postProgram(k % 10);
            rig.value(k % RigEngine::kParameterCount);
            rig.takeInputPeak();
            rig.takeOutputPeak();
            rig.gateClosed();
            std::this_thread::yield();
        }
    });
    const auto in = rigtest::guitar(128, 48000.0);
    std::vector<float> l(128), r(128);
    bool finite = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
        rig.process(in.data(), in.data(), l.data(), r.data(), 128);
        rig.endBlock();
        for (int i = 0; i < 128; ++i)
            finite = finite && std::isfinite(l[(size_t)i]) && std::isfinite(r[(size_t)i]);
    }
    stop.store(true);
    worker.join();
    knobs.join();
    EXPECT_TRUE(finite);
}

}  // namespace
