// The VST3 audio path allocates nothing, frees nothing and takes no lock:
// process with parameter changes (a channel switch whose recalled values
// go back to the host, a quality switch, a program change, the bypass
// fading), a zero-frame flush and silence flags, under the allocation probe
// of tests/reliability. The host's lists are made before the probe starts
// and do not grow inside it.
#include <gtest/gtest.h>

#include <vector>

#include "Vst3TestHost.h"
#include "tests/reliability/AllocationProbe.h"

using namespace vst3check;

TEST(Vst3Realtime, ProcessNeitherAllocatesNorLocks) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    std::vector<float> left(2048, 0.25f), right(2048, -0.25f);
    float* channels[2] = {left.data(), right.data()};

    for (double rate : {44100.0, 96000.0}) {
        ASSERT_TRUE(host.start(rate, 2048));
        host.process(channels, channels, 64);  // warm up once

        std::vector<ParamChanges> blocks(8);
        blocks[0].add(2, 0, 0.9);
        blocks[1].add(1, 17, 1.0);   // channel 1: eight values recalled, reported
        blocks[1].add(11, 18, 1.0);  // HighQ
        blocks[2].add(10, 100, 1.0);
        blocks[2].add(13, 0, 1.0);   // bypass: the crossfade
        blocks[3].add(1, 5, 0.0);
        blocks[3].add(11, 900, 0.0);
        blocks[4].add(14, 3, (rate < 50000.0 ? 2.0 : 5.0) / 9.0);  // another program each round
        blocks[4].add(13, 1000, 0.0);
        blocks[5].add(9, 2047, 0.1);
        std::vector<ParamChanges> sent(blocks.size());
        const int32_t sizes[] = {1, 2048, 333, 1024, 2048, 2048, 0, 7};
        uint64_t silence = 0;

        probe::begin();
        for (size_t b = 0; b < blocks.size(); ++b)
            host.process(channels, channels, sizes[b], &blocks[b], &sent[b], b == 7 ? 3 : 0, &silence);
        host.flush(blocks[0], &sent[0]);
        const probe::Counts counts = probe::end();
        EXPECT_EQ(counts.allocations, 0) << rate << " Hz";
        EXPECT_EQ(counts.frees, 0) << rate << " Hz";
        if (probe::watchesLocks()) {
            EXPECT_EQ(counts.locks, 0) << rate << " Hz";
        }
        EXPECT_GE(sent[1].queues.size(), 1u) << "the recall was reported inside the probe";
        EXPECT_GE(sent[4].queues.size(), 1u) << "the program's values were reported inside the probe";
        host.stop();
    }
}
