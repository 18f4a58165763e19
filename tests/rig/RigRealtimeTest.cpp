// The rig's audio path under the allocation and lock probe while impulses
// load, states load and parameters change on another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "../reliability/AllocationProbe.h"
#include "RigTestSupport.h"
#include "rig/RigEngine.h"

namespace {

using corvex::RigEngine;

TEST(RigRealtime, ProcessNeitherAllocatesNorLocksWhileImpulsesLoad) {
    RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    rig.post(corvex::kGateThreshold, 0.4);
    rig.flush();
    const std::string a = rigtest::tempPath("rt-a.wav");
    const std::string b = rigtest::tempPath("rt-b.flac");
    ASSERT_TRUE(rigtest::writeAudio(a, {rigtest::testResponse(24000)}, 44100));
    ASSERT_TRUE(rigtest::writeAudio(b, {rigtest::testResponse(4000), rigtest::testResponse(4000, 3)}, 96000,
                                    SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
    const std::vector<unsigned char> state = [&] {
        RigEngine other;
        std::string error;
        other.loadImpulseFile(b, error);
        return other.saveState();
    }();

    std::atomic<bool> stop{false};
    std::atomic<int> loads{0};
    std::thread loader([&] {
        std::string error;
        for (int k = 0; !stop.load(); ++k) {
            if (k % 3 == 2)
                rig.loadState(state.data(), state.size());
            else
                rig.loadImpulseFile(k % 2 ? a : b, error);
            rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(k % RigEngine::kCabinetChoices));
            rig.post(corvex::kCabinetOn, 1.0);
            rig.postProgram(k % 10);
            rig.collect();
            loads.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto in = rigtest::guitar(64, 48000.0);
    std::vector<float> l(64), r(64);
    probe::Counts total;
    int blocks = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < until || loads.load() < 6) {
        probe::begin();
        rig.process(in.data(), in.data(), l.data(), r.data(), 64);
        rig.endBlock();
        const probe::Counts c = probe::end();
        total.allocations += c.allocations;
        total.frees += c.frees;
        total.locks += c.locks;
        ++blocks;
        if (blocks % 8 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop.store(true);
    loader.join();
    EXPECT_GT(loads.load(), 5);
    EXPECT_EQ(total.allocations, 0) << blocks << " blocks";
    EXPECT_EQ(total.frees, 0);
    if (probe::watchesLocks()) {
        EXPECT_EQ(total.locks, 0);
    }
}

}  // namespace
