// The rig cabinet's FFT convolver (every platform): equal
// to a direct convolution (delayed by nothing but the cycle), each channel
// with its own response; reset forgets the past; unusable shapes refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "RigTestSupport.h"
#include "cabinet/PartitionedConvolver.h"

namespace {

// Runs `x` (both channels' inputs) through `conv` cycle by cycle; returns
// both channels' outputs, aligned with their inputs.
std::vector<float> run(cabinet::PartitionedConvolver& conv, const std::vector<float>& x0,
                       const std::vector<float>& x1, int cycle, std::vector<float>& y1) {
    std::vector<float> y0(x0.size());
    y1.assign(x1.size(), 0.0f);
    for (std::size_t at = 0; at + (std::size_t)cycle <= x0.size(); at += (std::size_t)cycle) {
        std::memcpy(conv.inpdata(0), x0.data() + at, sizeof(float) * (std::size_t)cycle);
        std::memcpy(conv.inpdata(1), x1.data() + at, sizeof(float) * (std::size_t)cycle);
        conv.process();
        std::memcpy(y0.data() + at, conv.outdata(0), sizeof(float) * (std::size_t)cycle);
        std::memcpy(y1.data() + at, conv.outdata(1), sizeof(float) * (std::size_t)cycle);
    }
    return y0;
}

double worstError(const std::vector<float>& got, const std::vector<double>& want) {
    double peak = 0.0, worst = 0.0;
    for (double v : want)
        peak = std::max(peak, std::fabs(v));
    for (std::size_t i = 0; i < want.size(); ++i)
        worst = std::max(worst, std::fabs((double)got[i] - want[i]));
    return peak > 0.0 ? worst / peak : worst;
}

}  // namespace

TEST(PartitionedConvolver, EqualsDirectConvolutionPerChannel) {
    // Responses that are not a whole number of partitions, longer and
    // shorter than one, and different per channel.
    for (int cycle : {64, 1024}) {
        for (int taps : {37, 1024, 5000}) {
            SCOPED_TRACE("cycle " + std::to_string(cycle) + ", taps " + std::to_string(taps));
            const std::vector<float> h0 = rigtest::testResponse(taps, 3);
            const std::vector<float> h1 = rigtest::testResponse(taps, 11);
            const int frames = cycle * 24;
            const std::vector<float> x0 = rigtest::guitar(frames, 48000.0, 1);
            const std::vector<float> x1 = rigtest::guitar(frames, 48000.0, 2, 0.5f);
            cabinet::PartitionedConvolver conv;
            ASSERT_TRUE(conv.configure(h0.data(), h1.data(), taps, cycle));
            std::vector<float> y1;
            const std::vector<float> y0 = run(conv, x0, x1, cycle, y1);
            EXPECT_LT(worstError(y0, rigtest::convolve(x0, h0)), 1e-6);
            EXPECT_LT(worstError(y1, rigtest::convolve(x1, h1)), 1e-6);
        }
    }
}

TEST(PartitionedConvolver, ResetForgetsThePastAndBadShapesAreRefused) {
    const int cycle = 64, taps = 700;
    const std::vector<float> h = rigtest::testResponse(taps);
    const std::vector<float> x = rigtest::guitar(cycle * 20, 48000.0);
    cabinet::PartitionedConvolver used, fresh;
    ASSERT_TRUE(used.configure(h.data(), h.data(), taps, cycle));
    ASSERT_TRUE(fresh.configure(h.data(), h.data(), taps, cycle));
    std::vector<float> ignored;
    run(used, x, x, cycle, ignored);
    used.reset();
    std::vector<float> a1, b1;
    const std::vector<float> a0 = run(used, x, x, cycle, a1);
    const std::vector<float> b0 = run(fresh, x, x, cycle, b1);
    EXPECT_EQ(a0, b0);
    EXPECT_EQ(a1, b1);

    // Unusable shapes leave an idle convolver whose process() is harmless.
    cabinet::PartitionedConvolver bad;
    EXPECT_FALSE(bad.configure(nullptr, h.data(), taps, cycle));
    EXPECT_FALSE(bad.configure(h.data(), h.data(), 0, cycle));
    EXPECT_FALSE(bad.configure(h.data(), h.data(), -5, cycle));
    EXPECT_FALSE(bad.configure(h.data(), h.data(), taps, 100));   // not a power of two
    EXPECT_FALSE(bad.configure(h.data(), h.data(), taps, 8));     // too small
    EXPECT_FALSE(bad.configure(h.data(), h.data(), taps, 32768)); // too large
    bad.process();
    bad.reset();
    EXPECT_EQ(bad.inpdata(0), nullptr);
    // A refused configuration also drops a good one.
    EXPECT_FALSE(used.configure(h.data(), h.data(), taps, 3));
    EXPECT_EQ(used.inpdata(0), nullptr);
}
