// One side computed for two: with a mono response and the same samples on
// both inputs the zero-latency convolver computes the left side only. Its
// output must stay what the two-sided computation gives, bit for bit, at
// every switch between the same and different inputs, at any block size;
// and the partitioned convolver's left-to-right copy must leave the right
// side exactly where feeding it the left's inputs would have.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "RigTestSupport.h"
#include "cabinet/PartitionedConvolver.h"
#include "cabinet/ZeroLatencyConvolver.h"

namespace {

// Block sizes that cross every chunk and cycle boundary.
const int kSizes[] = {64, 1, 700, 128, 33, 512, 64, 257, 3, 1024};

struct Stereo {
    std::vector<float> l, r;
};

// A signal whose sides are the same in some stretches and differ in others:
// the same for `same` frames, then different for `apart` frames, and so on.
Stereo alternating(int frames, int same, int apart) {
    Stereo s;
    s.l = rigtest::guitar(frames, 48000.0, 4);
    s.r = s.l;
    const std::vector<float> other = rigtest::guitar(frames, 48000.0, 8, 0.2f);
    for (int at = same; at < frames; at += same + apart)
        for (int i = at; i < std::min(frames, at + apart); ++i)
            s.r[(std::size_t)i] = other[(std::size_t)i];
    return s;
}

// Runs `in` through `conv` in blocks of changing sizes; counts the blocks
// that ended with one side shared.
Stereo render(cabinet::ZeroLatencyConvolver& conv, const Stereo& in, int* sharedBlocks = nullptr) {
    Stereo out{std::vector<float>(in.l.size()), std::vector<float>(in.r.size())};
    std::size_t at = 0;
    for (int k = 0; at < in.l.size(); ++k) {
        const std::size_t n = std::min<std::size_t>((std::size_t)kSizes[k % 10], in.l.size() - at);
        conv.process(in.l.data() + at, in.r.data() + at, out.l.data() + at, out.r.data() + at, (int)n);
        if (sharedBlocks && conv.sharingOneSide())
            ++*sharedBlocks;
        at += n;
    }
    return out;
}

// The two-sided computation of one side: that side's input beside a
// companion that differs from it in every sample, so the convolver never
// shares (each side's arithmetic depends on its own input only).
std::vector<float> oneSideUnshared(const cabinet::ImpulseResponse& ir, const std::vector<float>& x, bool right) {
    cabinet::ZeroLatencyConvolver conv;
    std::string error;
    EXPECT_TRUE(conv.configure(ir, error)) << error;
    Stereo in;
    std::vector<float> companion(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        companion[i] = x[i] + 0.5f;
    in.l = right ? companion : x;
    in.r = right ? x : companion;
    const Stereo out = render(conv, in);
    EXPECT_FALSE(conv.sharingOneSide());
    return right ? out.r : out.l;
}

cabinet::ImpulseResponse monoResponse(int taps) {
    cabinet::ImpulseResponse ir;
    ir.rate = 48000.0;
    ir.channels = {rigtest::testResponse(taps, 5)};
    return ir;
}

}  // namespace

TEST(ConvolverSharing, MonoResponseSameInputsSharesAndSwitchesExactly) {
    // Responses inside the short cycles, across the long cycle's start and
    // into it; stretches shorter and longer than what the convolver remembers.
    struct Case {
        int taps, same, apart;
    };
    for (const Case c : {Case{40, 3000, 700}, Case{1920, 9000, 5}, Case{1920, 2500, 2500}, Case{5000, 12000, 64},
                         Case{24000, 40000, 3000}}) {
        SCOPED_TRACE("taps " + std::to_string(c.taps) + ", same " + std::to_string(c.same) + ", apart " +
                     std::to_string(c.apart));
        const cabinet::ImpulseResponse ir = monoResponse(c.taps);
        const Stereo in = alternating(c.same * 3 + c.apart * 3, c.same, c.apart);
        cabinet::ZeroLatencyConvolver conv;
        std::string error;
        ASSERT_TRUE(conv.configure(ir, error)) << error;
        int shared = 0;
        const Stereo out = render(conv, in, &shared);
        EXPECT_GT(shared, 0);  // the shared path ran...
        EXPECT_EQ(out.l, oneSideUnshared(ir, in.l, false));  // ...and changed no sample
        EXPECT_EQ(out.r, oneSideUnshared(ir, in.r, true));
        // And within the direct convolution's tolerance, as the two-sided path is.
        double peak = 0.0, worst = 0.0;
        const std::vector<double> want = rigtest::convolve(in.r, ir.channels[0]);
        for (std::size_t i = 0; i < want.size(); ++i) {
            peak = std::max(peak, std::fabs(want[i]));
            worst = std::max(worst, std::fabs((double)out.r[i] - want[i]));
        }
        EXPECT_LT(worst / peak, 1e-6);
    }
}

TEST(ConvolverSharing, StartsSharedAfterClearAndNeverWithTwoResponses) {
    cabinet::ImpulseResponse mono = monoResponse(3000);
    cabinet::ZeroLatencyConvolver conv;
    std::string error;
    ASSERT_TRUE(conv.configure(mono, error)) << error;
    EXPECT_TRUE(conv.sharingOneSide());  // silence on both sides: the same past
    const Stereo differing = alternating(4000, 0, 4000);
    render(conv, differing);
    EXPECT_FALSE(conv.sharingOneSide());
    conv.clear();
    EXPECT_TRUE(conv.sharingOneSide());
    // The same inputs right after different ones: shared only once the
    // different past has left every part of the convolver.
    render(conv, differing);
    Stereo same = alternating(256, 256, 0);
    render(conv, same);
    EXPECT_FALSE(conv.sharingOneSide());

    // A stereo response with two different sides never shares; one whose
    // sides are the same bits does.
    cabinet::ImpulseResponse two = mono;
    two.channels.push_back(rigtest::testResponse(3000, 6));
    ASSERT_TRUE(conv.configure(two, error)) << error;
    EXPECT_FALSE(conv.sharingOneSide());
    const Stereo equal = alternating(8000, 8000, 0);
    const Stereo out = render(conv, equal);
    EXPECT_FALSE(conv.sharingOneSide());
    EXPECT_NE(out.l, out.r);
    two.channels[1] = two.channels[0];
    ASSERT_TRUE(conv.configure(two, error)) << error;
    EXPECT_TRUE(conv.sharingOneSide());
}

TEST(PartitionedConvolver, LeftOnlyCyclesThenCopyEqualTwoSidedCycles) {
    const int cycle = 64, taps = 1000;
    const std::vector<float> h = rigtest::testResponse(taps);
    const std::vector<float> x = rigtest::guitar(cycle * 40, 48000.0, 2);
    const std::vector<float> y = rigtest::guitar(cycle * 40, 48000.0, 3);
    cabinet::PartitionedConvolver shared, both;
    ASSERT_TRUE(shared.configure(h.data(), h.data(), taps, cycle));
    ASSERT_TRUE(both.configure(h.data(), h.data(), taps, cycle));
    // 20 cycles of the same input: left only on one, both sides on the other.
    for (int k = 0; k < 20; ++k) {
        for (int c = 0; c < 2; ++c) {
            std::memcpy(shared.inpdata(c), x.data() + k * cycle, sizeof(float) * cycle);
            std::memcpy(both.inpdata(c), x.data() + k * cycle, sizeof(float) * cycle);
        }
        shared.process(1);
        both.process();
        ASSERT_EQ(0, std::memcmp(shared.outdata(0), both.outdata(0), sizeof(float) * cycle)) << k;
    }
    shared.copyLeftToRight();
    // Then different inputs per side: the same bits from both.
    for (int k = 20; k < 40; ++k) {
        for (auto* conv : {&shared, &both}) {
            std::memcpy(conv->inpdata(0), x.data() + k * cycle, sizeof(float) * cycle);
            std::memcpy(conv->inpdata(1), y.data() + k * cycle, sizeof(float) * cycle);
            conv->process();
        }
        ASSERT_EQ(0, std::memcmp(shared.outdata(0), both.outdata(0), sizeof(float) * cycle)) << k;
        ASSERT_EQ(0, std::memcmp(shared.outdata(1), both.outdata(1), sizeof(float) * cycle)) << k;
    }
}

TEST(ConvolverSharing, SameSamplesAtEveryBlockSize) {
    // The long cycle's work is spread over the blocks that fill it: how the
    // blocks fall must not change a sample (formats and hosts differ in
    // block sizes; a render must not).
    for (int taps : {1920, 5000, 24000}) {
        SCOPED_TRACE("taps " + std::to_string(taps));
        cabinet::ImpulseResponse ir;
        ir.rate = 48000.0;
        ir.channels = {rigtest::testResponse(taps, 5), rigtest::testResponse(taps, 6)};
        const Stereo in = alternating(20000, 20000, 0);
        cabinet::ZeroLatencyConvolver varied, whole;
        std::string error;
        ASSERT_TRUE(varied.configure(ir, error)) << error;
        ASSERT_TRUE(whole.configure(ir, error)) << error;
        const Stereo a = render(varied, in);
        Stereo b{std::vector<float>(in.l.size()), std::vector<float>(in.r.size())};
        for (std::size_t at = 0; at < in.l.size(); at += 64) {
            const int n = (int)std::min<std::size_t>(64, in.l.size() - at);
            whole.process(in.l.data() + at, in.r.data() + at, b.l.data() + at, b.r.data() + at, n);
        }
        EXPECT_EQ(a.l, b.l);
        EXPECT_EQ(a.r, b.r);
    }
}
