// The CLAP audio path allocates nothing, frees nothing and takes no lock:
// process with parameter events (a channel switch that sends the recalled
// values back, a quality switch that copies a prepared design in), with the editor's
// news waiting in the queue, and flush while active, all under the
// allocation probe of tests/reliability. The host side's lists are made
// before the probe starts and do not grow inside it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ClapTestHost.h"
#include "tests/reliability/AllocationProbe.h"

using namespace clapcheck;

TEST(ClapRealtime, ProcessAndFlushNeitherAllocateNorLock) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    std::vector<float> left(2048, 0.25f), right(2048, -0.25f);
    float* channels[2] = {left.data(), right.data()};

    for (double rate : {44100.0, 96000.0}) {
        ASSERT_TRUE(host.activate(rate, 2048));
        // Warm up once: the first block may touch what the host set up.
        OutputEvents warm;
        warm.events.reserve(64);
        host.process(channels, channels, 64, InputEvents(), warm);

        std::vector<InputEvents> blocks(6);
        blocks[0].add(0, 2, 0.9);
        blocks[1].add(17, 1, 1.0);   // channel 1: eight values recalled, reported
        blocks[1].add(18, 11, 1.0);  // HighQ: the amp is redesigned
        blocks[2].add(100, 10, 1.0);
        blocks[3].add(5, 1, 0.0);
        blocks[3].add(900, 11, 0.0);
        blocks[4].add(2047, 9, 0.1);
        std::vector<OutputEvents> sent(blocks.size());
        for (OutputEvents& s : sent)
            s.events.reserve(256);  // the host's lists do not grow inside the probe
        const uint32_t sizes[] = {1, 2048, 333, 1024, 2048, 7};

        probe::begin();
        for (size_t b = 0; b < blocks.size(); ++b)
            host.process(channels, channels, sizes[b], blocks[b], sent[b]);
        host.flush(blocks[0], sent[0]);
        const probe::Counts counts = probe::end();
        EXPECT_EQ(counts.allocations, 0) << rate << " Hz";
        EXPECT_EQ(counts.frees, 0) << rate << " Hz";
        if (probe::watchesLocks()) {
            EXPECT_EQ(counts.locks, 0) << rate << " Hz";
        }
        EXPECT_GE(sent[1].events.size(), 1u) << "the recall was reported inside the probe";
        double drive = 0.0;
        params->get_value(host.plugin(), 2, &drive);
        EXPECT_EQ(drive, 0.9f);
        host.deactivate();
    }
}

// A quality switch during playback: the designs for both positions are made
// when the rate is set, so the audio thread only copies one in. No design
// step, allocation or lock inside process, and the sound goes on: no run of
// silence as long as a block, where the amp used to stop for a redesign.
TEST(ClapRealtime, AQualitySwitchDuringPlaybackDesignsNothingOnTheAudioThread) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    const long designsBefore = probe::designsAnywhere();
    ASSERT_TRUE(host.activate(48000.0, 512));
    EXPECT_GT(probe::designsAnywhere(), designsBefore) << "activate designs, on the main thread";

    constexpr uint32_t kBlock = 256;
    constexpr int kBlocks = 64;
    std::vector<float> in(kBlock), outLeft(kBlock), outRight(kBlock);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    std::vector<InputEvents> events(kBlocks);
    for (int b = 0; b < kBlocks; ++b)
        events[b].add(static_cast<uint32_t>((b * 37) % kBlock), 11, b % 2 ? 1.0 : 0.0);
    std::vector<OutputEvents> sent(kBlocks);
    for (OutputEvents& s : sent)
        s.events.reserve(64);
    std::vector<float> played;
    played.reserve(kBlock * kBlocks);

    long phase = 0;
    probe::Counts total;
    for (int b = 0; b < kBlocks; ++b) {
        for (uint32_t i = 0; i < kBlock; ++i, ++phase)
            in[i] = 0.3f * static_cast<float>(std::sin(6.283185307179586 * 220.0 * phase / 48000.0));
        probe::begin();
        host.process(inputs, outputs, kBlock, events[b], sent[b]);
        const probe::Counts counts = probe::end();
        total.allocations += counts.allocations;
        total.locks += counts.locks;
        total.designs += counts.designs;
        total.designNanoseconds += counts.designNanoseconds;
        played.insert(played.end(), outLeft.begin(), outLeft.end());
    }
    EXPECT_EQ(total.designs, 0) << total.designNanoseconds << " ns of design on the audio thread";
    EXPECT_EQ(total.allocations, 0);
    if (probe::watchesLocks()) {
        EXPECT_EQ(total.locks, 0);
    }
    // After the first block (the amp settling), never a block's worth of
    // exact silence.
    size_t run = 0, longest = 0;
    for (size_t i = kBlock; i < played.size(); ++i) {
        run = played[i] == 0.0f ? run + 1 : 0;
        longest = run > longest ? run : longest;
    }
    EXPECT_LT(longest, kBlock);
    host.deactivate();
}
