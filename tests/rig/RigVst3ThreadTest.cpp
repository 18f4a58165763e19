// The host's main and audio threads at once on one rig VST3 instance: the
// main thread loads states carrying impulses, saves states and reads and
// sets the controller's values while the audio thread processes blocks with
// parameter changes (the thread-sanitizer stage runs it). What is saved at
// the end is a state a fresh instance takes, with the last one loaded.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"
#include "tests/vst3/Vst3TestHost.h"

using corvex::RigEngine;
using namespace vst3check;

TEST(RigVst3Threads, StatesLoadWhileAudioRuns) {
    std::vector<std::vector<unsigned char>> states;
    for (int k = 0; k < 3; ++k) {
        const std::string path = rigtest::tempPath("vst3-thread-" + std::to_string(k) + ".wav");
        ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(2000 + 1500 * k, 21u + k)}, 44100));
        RigEngine engine;
        std::string error;
        ASSERT_TRUE(engine.loadImpulseFile(path, error)) << error;
        engine.post(corvex::kCabinetOn, 1.0);
        engine.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        engine.post(2, 0.1 + 0.3 * k);
        engine.flush();
        states.push_back(engine.saveState());
        std::filesystem::remove(path);
    }
    Vst3Module module(CORVEX_RIG_VST3_BUNDLE);
    Vst3TestHost host;
    ASSERT_TRUE(host.create(module)) << host.error();
    ASSERT_TRUE(host.start(48000.0, 256));

    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> l(256, 0.2f), r(256, -0.2f);
        float* io[2] = {l.data(), r.data()};
        for (int b = 0; !done.load() || b < 50; ++b) {
            ParamChanges changes, sent;
            changes.add(corvex::kCabinetModel, b % 256, RigEngine::valueOfCabinetModel(b % RigEngine::kCabinetChoices));
            changes.add(1, (b * 7) % 256, b % 2);
            host.process(io, io, 256, &changes, &sent);
        }
    });
    std::vector<unsigned char> saved;
    for (int k = 0; k < 30; ++k) {
        MemoryStream stream(states[static_cast<size_t>(k) % states.size()]);
        EXPECT_EQ(host.component->setState(&stream), v3::kResultOk);
        host.controller->setParamNormalized(corvex::kMaster, 0.5);
        (void)host.controller->getParamNormalized(2);
        saved = host.saveState();
        EXPECT_FALSE(saved.empty());
    }
    done.store(true);
    audio.join();
    host.stop();
    Vst3TestHost fresh;
    ASSERT_TRUE(fresh.create(module));
    EXPECT_EQ(fresh.loadState(host.saveState()), v3::kResultOk);
    EXPECT_EQ(fresh.loadState(saved), v3::kResultOk);
}
