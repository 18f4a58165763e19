// The audio path allocates nothing, frees nothing, takes no lock and calls
// no host. Every block below runs under the probe of AllocationProbe.h, in
// every mode the amp has, at the rates that pick each oversampling factor,
// with block sizes from 1 to 8192, knobs moving between blocks and the
// recovery from a non-finite state included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "TestHost.h"

namespace {

using namespace reliability;

// The probe sees what it should: otherwise every test below passes vacuously.
TEST(RealtimeProbe, SeesAllocationsFreesAndLocks) {
    probe::begin();
    void* volatile p = std::malloc(16);
    std::free(p);
    int* volatile q = new int[4];
    delete[] q;
    {
        std::vector<float> v(100);
        v[0] = 1.0f;
    }
    probe::Counts c = probe::end();
    EXPECT_GE(c.allocations, 3);
    EXPECT_GE(c.frees, 3);

    if (probe::watchesLocks()) {
        static std::mutex m;
        probe::begin();
        m.lock();
        m.unlock();
        c = probe::end();
        EXPECT_EQ(c.locks, 1);
    }
}

TEST(RealtimeProbe, IgnoresOtherThreadsAndTimeOutsideTheProbe) {
    void* p = std::malloc(8);
    probe::begin();
    probe::Counts c = probe::end();
    std::free(p);
    EXPECT_EQ(c.allocations, 0);
    EXPECT_EQ(c.frees, 0);
}

struct Mode {
    float channel, quality, stereo, boost;
};

std::string describe(const Mode& m, float rate, int frames) {
    return "channel " + std::to_string(int(m.channel)) + (m.quality >= 0.5f ? " HighQ" : " LowQ") +
           (m.stereo >= 0.5f ? " stereo" : " mono") + (m.boost >= 0.5f ? " boost" : "") + " at " +
           std::to_string(int(rate)) + " Hz, " + std::to_string(frames) + " frames";
}

struct ProbedHost {
    Instance instance;
    long blocks = 0;

    // Processes one block under the probe; a failure names the mode.
    void processProbed(Block& block, const std::string& what) {
        const long hostCallsBefore = hostCallCount().load();
        probe::begin();
        block.runThrough(instance);
        const probe::Counts c = probe::end();
        const long hostCalls = hostCallCount().load() - hostCallsBefore;
        ++blocks;
        EXPECT_EQ(c.allocations, 0) << what;
        EXPECT_EQ(c.frees, 0) << what;
        EXPECT_EQ(c.locks, 0) << what;
        EXPECT_EQ(hostCalls, 0) << what;
        EXPECT_TRUE(block.outputFinite()) << what;
    }
};

TEST(RealtimeSafety, EveryModeRateAndBlockSize) {
    ProbedHost host;
    ASSERT_TRUE(host.instance.valid());
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> knob(0.0f, 1.0f);

    const float rates[] = {44100.0f, 96000.0f};  // 4x/8x and 2x/4x oversampling
    const int sizes[] = {1, 37, 512, 8192};
    for (float rate : rates) {
        host.instance.setSampleRate(rate);
        for (int mask = 0; mask < 16; ++mask) {
            const Mode mode{float(mask & 1), float((mask >> 1) & 1), float((mask >> 2) & 1), float((mask >> 3) & 1)};
            host.instance.set(kChannel, mode.channel);
            host.instance.set(kQuality, mode.quality);
            host.instance.set(kMonoStereo, mode.stereo);
            host.instance.set(kBoost, mode.boost);
            for (int frames : sizes) {
                Block block(frames);
                block.fillNoise(rng, 0.8f);
                // The first block after a mode change, then again with the
                // knobs moved (the tone stack refreshes inside the block).
                host.processProbed(block, describe(mode, rate, frames));
                for (Param p : {kInput, kDrive, kMixPls, kLow, kMid, kHigh, kContour, kPowerAmp, kVolume})
                    host.instance.set(p, knob(rng));
                host.processProbed(block, describe(mode, rate, frames) + ", knobs moved");
            }
        }
    }
    EXPECT_EQ(host.blocks, 2L * 16 * 4 * 2);
}

TEST(RealtimeSafety, FirstBlockOfAFreshInstance) {
    ProbedHost host;
    ASSERT_TRUE(host.instance.valid());
    Block block(256);
    std::mt19937 rng(3);
    block.fillNoise(rng, 0.5f);
    host.processProbed(block, "first block after construction");
}

TEST(RealtimeSafety, RecoveryFromNonFiniteStateAllocatesNothing) {
    ProbedHost host;
    ASSERT_TRUE(host.instance.valid());
    Block block(512);
    std::mt19937 rng(11);
    block.fillNoise(rng, 0.5f);
    const float hostile[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
    for (int stereo = 0; stereo < 2; ++stereo) {
        host.instance.set(kMonoStereo, float(stereo));
        for (int channel = 0; channel < 2; ++channel) {
            host.instance.set(kChannel, float(channel));
            for (Param p : {kInput, kDrive, kLow, kContour, kPowerAmp, kVolume}) {
                for (float value : hostile) {
                    host.instance.set(p, value);
                    host.processProbed(block, "parameter " + std::to_string(p) + " = " + std::to_string(value));
                    host.instance.set(p, 0.5f);
                    host.processProbed(block, "parameter " + std::to_string(p) + " back to 0.5");
                }
            }
        }
    }
    // Non-finite and huge input samples, then ordinary ones again.
    for (float value : hostile) {
        std::fill(block.inLeft.begin(), block.inLeft.end(), value);
        std::fill(block.inRight.begin(), block.inRight.end(), value);
        host.processProbed(block, "input " + std::to_string(value));
    }
}

}  // namespace
