// run() in the real-time class: with the allocator and the lock entry points
// interposed in this program, a run that applies every kind of port change
// (a Channel switch with its recall, the quality switch (a prepared design
// copied in), knobs, the mono/stereo switch) and processes audio allocates,
// frees, locks and designs nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/lv2/Lv2TestHost.h"
#include "tests/reliability/AllocationProbe.h"

namespace {

TEST(Lv2Realtime, RunAllocatesAndLocksNothing) {
    Lv2World world(CORVEX_LV2_PATH);
    ASSERT_NE(world.plugin, nullptr);
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    std::vector<float> left(512), right(512);
    for (int i = 0; i < 512; ++i) {
        left[i] = 0.5f * std::sin(0.02f * i);
        right[i] = -left[i];
    }
    amp.run(left.data(), right.data(), 512);  // first-use work outside the probe

    const float changes[][3] = {{1, 1.0f, 0}, {11, 1.0f, 0}, {2, 0.8f, 0}, {10, 1.0f, 0},
                                {1, 0.0f, 0}, {11, 0.0f, 0}, {9, 0.2f, 0}, {12, 1.0f, 0}};
    probe::begin();
    for (const auto& change : changes) {
        amp.controls[static_cast<int>(change[0])] = change[1];
        lilv_instance_run(amp.instance, 512);
    }
    const probe::Counts counts = probe::end();
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.designs, 0) << "run() designed filters (" << counts.designNanoseconds << " ns)";
    EXPECT_GT(probe::designsAnywhere(), 0) << "the design probe sees nothing";
    EXPECT_EQ(counts.frees, 0);
    if (probe::watchesLocks()) {
        EXPECT_EQ(counts.locks, 0);
    }
}

}  // namespace
