// Stereo with the same signal on both inputs: the chain runs the left side
// alone while both sides' records agree, and must give, bit for bit, the
// samples and records that running both sides gives, through faults, a
// signal that comes apart, channel changes and in-place buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/ChainDispatch.h"
#include "tests/model/ChainTestSupport.h"

namespace {

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

bool sameSide(const AmpSide& a, const AmpSide& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Signal {
    std::vector<float> left, right;
};

// A decaying 110 Hz pluck on the left; the right the same or a different
// line.
Signal makeSignal(int frames, long offset, bool same, float level) {
    Signal s{std::vector<float>(frames), std::vector<float>(frames)};
    for (int i = 0; i < frames; ++i) {
        const double t = (double)(offset + i) / 44100.0;
        s.left[i] = (float)(level * std::exp(-3.0 * std::fmod(t, 0.5)) * std::sin(2 * M_PI * 110.0 * t));
        s.right[i] = same ? s.left[i] : (float)(0.4 * std::sin(2 * M_PI * 164.8 * t));
    }
    return s;
}

struct Round {
    int frames;
    bool same;     // both inputs carry the same samples
    int channel;
    bool fault;    // a NaN two thirds into both inputs (past the first chunk)
    bool inPlace;  // outputs written over the inputs
};

class SidesInStep : public ::testing::TestWithParam<ChainLanes> {
protected:
    void SetUp() override {
        if (!chainLanesSupported(GetParam())) {
            GTEST_SKIP() << chainLanesName(GetParam()) << " not available here";
        }
        ASSERT_TRUE(selectChainLanes(GetParam()));
    }
    void TearDown() override { selectChainLanes(widest); }
    const ChainLanes widest = activeChainLanes();
};

std::string lanesName(const ::testing::TestParamInfo<ChainLanes>& info) {
    static const char* const names[] = {"sse2", "avx2", "avx512"};
    return names[(int)info.param];
}

}  // namespace

TEST_P(SidesInStep, GiveWhatBothSidesGiveBitForBit) {
    const Round rounds[] = {
        {512, true, 0, false, false},  {1, true, 0, false, true},    {100, true, 0, false, false},
        {257, true, 0, false, true},   {64, true, 0, true, false},   {33, true, 0, false, false},
        {512, true, 0, true, true},    {300, true, 0, false, false}, {128, false, 0, false, false},
        {200, true, 1, false, false},  {512, true, 0, false, true},  {64, true, 1, false, true},
        {7, true, 0, false, false},
    };
    // 96 kHz LowQ runs at 2x, 44.1 kHz LowQ at 4x, HighQ at 8x.
    for (const float rate : {44100.0f, 96000.0f}) {
        for (const int highQuality : {0, 1}) {
            static TestChain stepping, apart;
            setUpTestChain(stepping, rate, highQuality);
            stepping.settings.stereo = 1;
            copyChain(apart, stepping);
            long offset = 0;
            int index = 0;
            for (const Round& r : rounds) {
                SCOPED_TRACE(std::to_string(rate) + (highQuality ? " HighQ" : " LowQ") + ", round " +
                             std::to_string(index++));
                Signal s = makeSignal(r.frames, offset, r.same, 0.6f);
                offset += r.frames;
                if (r.fault) {
                    s.left[r.frames * 2 / 3] = std::numeric_limits<float>::quiet_NaN();
                    s.right[r.frames * 2 / 3] = s.left[r.frames * 2 / 3];
                }
                stepping.settings.activeChannel = apart.settings.activeChannel = r.channel;

                std::vector<float> wantL(r.frames), wantR(r.frames);
                processChainBlockSidesApart(apart.left, apart.right, apart.settings, s.left.data(), s.right.data(),
                                            wantL.data(), wantR.data(), r.frames);
                std::vector<float> gotL(r.frames, 9.0f), gotR(r.frames, 9.0f);
                if (r.inPlace) {
                    gotL = s.left;
                    gotR = s.right;
                    processChainBlock(stepping.left, stepping.right, stepping.settings, gotL.data(), gotR.data(),
                                      gotL.data(), gotR.data(), r.frames);
                } else {
                    processChainBlock(stepping.left, stepping.right, stepping.settings, s.left.data(),
                                      s.right.data(), gotL.data(), gotR.data(), r.frames);
                }
                ASSERT_TRUE(sameBits(gotL, wantL));
                ASSERT_TRUE(sameBits(gotR, wantR));
                ASSERT_TRUE(sameSide(stepping.left, apart.left));
                ASSERT_TRUE(sameSide(stepping.right, apart.right));
            }
        }
    }
}

// One buffer given for both inputs, as some hosts pass a mono track's
// signal to a stereo insert.
TEST_P(SidesInStep, OneBufferForBothInputs) {
    static TestChain stepping, apart;
    setUpTestChain(stepping, 48000.0f);
    stepping.settings.stereo = 1;
    copyChain(apart, stepping);
    for (int block = 0; block < 4; ++block) {
        const Signal s = makeSignal(480, block * 480L, true, 0.8f);
        std::vector<float> gotL(480), gotR(480), wantL(480), wantR(480);
        processChainBlock(stepping.left, stepping.right, stepping.settings, s.left.data(), s.left.data(),
                          gotL.data(), gotR.data(), 480);
        processChainBlockSidesApart(apart.left, apart.right, apart.settings, s.left.data(), s.right.data(),
                                    wantL.data(), wantR.data(), 480);
        ASSERT_TRUE(sameBits(gotL, wantL)) << block;
        ASSERT_TRUE(sameBits(gotR, wantR)) << block;
        ASSERT_TRUE(sameSide(stepping.right, apart.right)) << block;
    }
}

INSTANTIATE_TEST_SUITE_P(Lanes, SidesInStep,
                         ::testing::Values(ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512), lanesName);
