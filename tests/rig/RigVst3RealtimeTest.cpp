// The rig's VST3 audio path allocates nothing, frees nothing and takes no
// lock: blocks with parameter changes (the gate, a channel switch, cabinet
// changes with their crossfade, a program, the bypass), a block without
// audio, while the main thread loads states carrying different impulses. The
// host's lists are made before the probe starts.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"
#include "tests/reliability/AllocationProbe.h"
#include "tests/vst3/Vst3TestHost.h"

using corvex::RigEngine;
using namespace vst3check;

TEST(RigVst3Realtime, ProcessNeitherAllocatesNorLocksWhileStatesLoad) {
    std::vector<std::vector<unsigned char>> states;
    for (int k = 0; k < 2; ++k) {
        const std::string path = rigtest::tempPath("vst3-rt-" + std::to_string(k) + ".wav");
        ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(6000 + 3000 * k, 11u + k)}, 44100));
        RigEngine engine;
        std::string error;
        ASSERT_TRUE(engine.loadImpulseFile(path, error)) << error;
        engine.post(corvex::kCabinetOn, 1.0);
        engine.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        engine.flush();
        states.push_back(engine.saveState());
        std::filesystem::remove(path);
    }
    Vst3Module module(CORVEX_RIG_VST3_BUNDLE);
    Vst3TestHost host;
    ASSERT_TRUE(host.create(module)) << host.error();
    const v3::ParamID bypass = RigEngine::kParameterCount, program = bypass + 1;
    std::vector<float> left(1024, 0.25f), right(1024, -0.25f);
    float* channels[2] = {left.data(), right.data()};
    ASSERT_TRUE(host.start(48000.0, 1024));
    host.process(channels, channels, 64);  // warm up once

    constexpr int kRounds = 40;
    std::vector<ParamChanges> blocks(8 * kRounds), sent(8 * kRounds);
    for (int r = 0; r < kRounds; ++r) {
        ParamChanges* b = &blocks[static_cast<size_t>(8 * r)];
        b[0].add(corvex::kGateThreshold, 0, 0.5);
        b[1].add(1, 17, 1 - r % 2);  // channel switch: values recalled, reported
        b[1].add(corvex::kCabinetModel, 18, RigEngine::valueOfCabinetModel(r % RigEngine::kCabinetChoices));
        b[2].add(corvex::kCabinetOn, 100, r % 3 ? 1.0 : 0.0);
        b[2].add(bypass, 0, 1.0);
        b[3].add(corvex::kCabinetTrim, 5, 0.3);
        b[4].add(program, 3, (r % 10) / 9.0);
        b[4].add(bypass, 1000, 0.0);
        b[5].add(corvex::kMaster, 1023, 0.6);
    }
    const int32_t sizes[] = {1, 1024, 333, 512, 1024, 1024, 0, 7};

    std::atomic<bool> done{false};
    std::thread loader([&] {
        // The main thread's side: states with impulses, again and again.
        for (int k = 0; !done.load(); ++k) {
            MemoryStream stream(states[static_cast<size_t>(k) % states.size()]);
            host.component->setState(&stream);
        }
    });
    probe::Counts total;
    for (size_t k = 0; k < blocks.size(); ++k) {
        probe::begin();
        host.process(channels, channels, sizes[k % 8], &blocks[k], &sent[k]);
        const probe::Counts c = probe::end();
        total.allocations += c.allocations;
        total.frees += c.frees;
        total.locks += c.locks;
    }
    done.store(true);
    loader.join();
    EXPECT_EQ(total.allocations, 0);
    EXPECT_EQ(total.frees, 0);
    if (probe::watchesLocks()) {
        EXPECT_EQ(total.locks, 0);
    }
    EXPECT_GE(sent[1].queues.size(), 1u) << "the recall was reported inside the probe";
    host.stop();
}
