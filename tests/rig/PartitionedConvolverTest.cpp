// The rig cabinet's FFT convolver (every platform): equal
// to a direct convolution (delayed by nothing but the cycle), each channel
// with its own response; reset forgets the past; unusable shapes refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "RigTestSupport.h"
#include "cabinet/Fft64.h"
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

// The 64-point transform of the short cycles (where the processor runs it)
// against the transform's definition worked in double precision, forward and
// inverse: on noise, unit impulses at a few positions and a full-scale tone,
// written over an output buffer that holds stale values.
TEST(Fft64, MatchesTheDefinitionBothWays) {
    if (!cabinet::fft64Available())
        GTEST_SKIP() << "no AVX-512 here";
    alignas(64) float tables[cabinet::kFft64TableFloats];
    cabinet::fft64Tables(tables);
    const double pi = 3.14159265358979323846;
    std::vector<std::vector<float>> inputs;
    uint32_t seed = 7;
    for (int n = 0; n < 4; ++n) {
        std::vector<float> z(128);
        for (float& v : z) {
            seed = seed * 1664525u + 1013904223u;
            v = (float)((double)(seed >> 8) / 16777216.0 - 0.5);
        }
        inputs.push_back(z);
    }
    for (int at : {0, 1, 17, 63}) {
        std::vector<float> z(128, 0.0f);
        z[(std::size_t)(2 * at + (at & 1))] = 1.0f;
        inputs.push_back(z);
    }
    {
        std::vector<float> z(128);
        for (int j = 0; j < 64; ++j) {
            z[(std::size_t)(2 * j)] = (float)std::cos(2 * pi * 5 * j / 64.0);
            z[(std::size_t)(2 * j + 1)] = (float)std::sin(2 * pi * 5 * j / 64.0);
        }
        inputs.push_back(z);
    }
    for (bool inverse : {false, true})
        for (const auto& z : inputs) {
            std::vector<float> out(128, 1234.5f);
            cabinet::fft64(z.data(), out.data(), tables, inverse);
            double peak = 0.0, worst = 0.0;
            for (int k = 0; k < 64; ++k) {
                double re = 0.0, im = 0.0;
                for (int j = 0; j < 64; ++j) {
                    const double angle = (inverse ? 2.0 : -2.0) * pi * (double)((j * k) % 64) / 64.0;
                    const double c = std::cos(angle), s = std::sin(angle);
                    re += z[(std::size_t)(2 * j)] * c - z[(std::size_t)(2 * j + 1)] * s;
                    im += z[(std::size_t)(2 * j)] * s + z[(std::size_t)(2 * j + 1)] * c;
                }
                peak = std::max(peak, std::hypot(re, im));
                worst = std::max(worst, std::hypot(out[(std::size_t)(2 * k)] - re, out[(std::size_t)(2 * k + 1)] - im));
            }
            EXPECT_LT(worst, 1e-6 * peak) << (inverse ? "inverse" : "forward");
        }
}

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
