// The signal chain on its own: the chunked fast path against the
// sample-by-sample reference, routing, gains, and recovery from non-finite
// values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "model/ChainDispatch.h"
#include "model/ChunkInput.h"
#include "model/FusedCore.h"
#include "tests/model/ChainTestSupport.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

bool sameState(const AmpSide& a, const AmpSide& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// How far a fast chain's running state has moved from the reference's:
// the largest difference over every state value (half-band histories, the
// triode stages' voltages and currents, filter and tone stack histories),
// each relative to the value's own size where that exceeds 1.
struct StateDeviation {
    double worst = 0.0;
    const char* where = "";

    void note(double reference, double fast, const char* name) {
        const double scale = std::fabs(reference) > 1.0 ? std::fabs(reference) : 1.0;
        const double d = std::fabs(reference - fast) / scale;
        const bool bothNaN = std::isnan(reference) && std::isnan(fast);
        if (!bothNaN && !(d <= worst)) {
            worst = std::isnan(d) ? INFINITY : d;
            where = name;
        }
    }
    template <int N>
    void noteHalfBand(const HalfBandFilter<N>& r, const HalfBandFilter<N>& f, const char* name) {
        for (int i = 0; i < N; ++i) {
            note(r.inputHistory[i], f.inputHistory[i], name);
            note(r.outputHistory[i], f.outputHistory[i], name);
        }
    }
    void noteStage(const TriodeStage& r, const TriodeStage& f, const char* name) {
        note(r.plateCurrent, f.plateCurrent, name);
        note(r.gridCurrent, f.gridCurrent, name);
        note(r.gridVoltage, f.gridVoltage, name);
        note(r.cathodeVoltage, f.cathodeVoltage, name);
        note(r.plateVoltage, f.plateVoltage, name);
        note(r.outputVoltage, f.outputVoltage, name);
    }
    void noteBiquad(const Biquad& r, const Biquad& f, const char* name) {
        note(r.x1, f.x1, name);
        note(r.x2, f.x2, name);
        note(r.y1, f.y1, name);
        note(r.y2, f.y2, name);
    }
    void noteSide(const AmpSide& r, const AmpSide& f) {
        noteHalfBand(r.upsampler2x, f.upsampler2x, "upsampler2x");
        noteHalfBand(r.downsampler2x, f.downsampler2x, "downsampler2x");
        noteHalfBand(r.upsampler4x, f.upsampler4x, "upsampler4x");
        noteHalfBand(r.downsampler4x, f.downsampler4x, "downsampler4x");
        noteHalfBand(r.upsampler8x, f.upsampler8x, "upsampler8x");
        noteHalfBand(r.downsampler8x, f.downsampler8x, "downsampler8x");
        noteStage(r.triodeStage1, f.triodeStage1, "triodeStage1");
        noteStage(r.triodeStage2, f.triodeStage2, "triodeStage2");
        noteStage(r.triodeStage3, f.triodeStage3, "triodeStage3");
        noteStage(r.triodeStage4, f.triodeStage4, "triodeStage4");
        noteStage(r.triodeStage5, f.triodeStage5, "triodeStage5");
        noteStage(r.triodeStage6, f.triodeStage6, "triodeStage6");
        noteBiquad(r.lowShelf1k, f.lowShelf1k, "lowShelf1k");
        noteBiquad(r.lowpass10k, f.lowpass10k, "lowpass10k");
        noteBiquad(r.lowShelf150, f.lowShelf150, "lowShelf150");
        noteBiquad(r.lowpass6kA, f.lowpass6kA, "lowpass6kA");
        noteBiquad(r.lowShelf720, f.lowShelf720, "lowShelf720");
        noteBiquad(r.lowpass6kB, f.lowpass6kB, "lowpass6kB");
        noteBiquad(r.dcBlocker, f.dcBlocker, "dcBlocker");
        note(r.toneStack.s0, f.toneStack.s0, "toneStack");
        note(r.toneStack.s1, f.toneStack.s1, "toneStack");
        note(r.toneStack.s2, f.toneStack.s2, "toneStack");
        note(r.toneStack.s3, f.toneStack.s3, "toneStack");
    }
};

// The largest output difference between two renders of a block.
double outputDeviation(const std::vector<float>& reference, const std::vector<float>& fast) {
    double worst = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double d = std::fabs((double)reference[i] - (double)fast[i]);
        if (!(d <= worst)) {
            worst = std::isnan(d) ? INFINITY : d;
        }
    }
    return worst;
}

struct Block {
    std::vector<float> inL, inR, outL, outR;
    explicit Block(int n) : inL(n), inR(n), outL(n, 99.0f), outR(n, 99.0f) {}
    int size() const { return (int)inL.size(); }
};

void fillMusic(Block& b, int offset, float level = 0.6f) {
    for (int i = 0; i < b.size(); ++i) {
        const double t = (offset + i) / 44100.0;
        b.inL[i] = (float)(level * std::exp(-2.0 * std::fmod(t, 0.7)) * std::sin(2 * M_PI * 110.0 * t));
        b.inR[i] = (float)(level * 0.7 * std::sin(2 * M_PI * 196.0 * t + std::sin(7.0 * t)));
    }
}

void processReference(TestChain& c, Block& b) {
    processChainBlockReference(c.left, c.right, c.settings, b.inL.data(), b.inR.data(), b.outL.data(), b.outR.data(),
                               b.size());
}

void processFast(TestChain& c, Block& b) {
    processChainBlock(c.left, c.right, c.settings, b.inL.data(), b.inR.data(), b.outL.data(), b.outR.data(), b.size());
}

// Runs the same blocks through two copies of a chain, one by the reference
// and one by the fast path on each lane path the processor runs. The fast
// path may regroup the arithmetic, so it must stay within two float steps
// at full scale of the reference's output, sample by sample, and its state
// close to the reference's; the largest deviations are printed per case.
// The states usually agree to 1e-7 of their size (the half-band histories
// to a float step). A stage driven hard (channel 1 with the boost, HighQ)
// magnifies differences in its last bits for a while: there the fifth
// stage's plate voltage and the filters after it moved by up to 5e-4 V,
// 6e-5 of a history's size, and settled back; the output stayed within
// 2e-7.
constexpr double kOutputTolerance = 5e-7;
constexpr double kStateTolerance = 1e-4;
class FastPathMatchesReference : public ::testing::TestWithParam<std::tuple<float, int, ChainLanes>> {
protected:
    void SetUp() override {
        if (!chainLanesSupported(std::get<2>(GetParam()))) {
            GTEST_SKIP() << chainLanesName(std::get<2>(GetParam())) << " not available here";
        }
        ASSERT_TRUE(selectChainLanes(std::get<2>(GetParam())));
    }
    void TearDown() override { selectChainLanes(widest); }
    const ChainLanes widest = activeChainLanes();
};

std::string caseName(const ::testing::TestParamInfo<FastPathMatchesReference::ParamType>& info) {
    static const char* const lanes[] = {"sse2", "avx2", "avx512"};
    return std::to_string((int)std::get<0>(info.param)) + (std::get<1>(info.param) ? "HighQ" : "LowQ") + "_" +
           lanes[(int)std::get<2>(info.param)];
}

}  // namespace

TEST_P(FastPathMatchesReference, WithinTwoFloatStepsThroughSettingChangesAndFaults) {
    const float rate = std::get<0>(GetParam());
    const int highQuality = std::get<1>(GetParam());
    static TestChain reference, fast;
    setUpTestChain(reference, rate, highQuality);
    std::mt19937 random(1234);
    const int sizes[] = {1, 5, 31, 32, 33, 100, 512, 64, 7, 257};
    int offset = 0;
    double worstOutput = 0.0;
    StateDeviation worstState;
    for (int round = 0; round < 40; ++round) {
        ChainSettings& s = reference.settings;
        // Every few blocks another setting, as a host or user would change it.
        s.stereo = (round / 3) % 2;
        s.activeChannel = (round / 5) % 2;
        s.boost = (round / 7) % 2;
        s.mix = (round % 4) * 0.33;
        s.input = 0.2 + 0.2 * (round % 4);
        s.driveGain = driveTaper((round % 6) / 5.0);
        s.low = 0.1 * (round % 9);
        s.contour = round % 10 == 9 ? 0.0 : 0.45;
        if (round == 0)
            copyChain(fast, reference);
        fast.settings = s;

        Block a(sizes[round % 10]);
        fillMusic(a, offset, round % 8 == 3 ? 40.0f : 0.6f);
        offset += a.size();
        if (round == 11)
            a.inL[a.size() / 2] = kNaN;
        if (round == 13)
            a.inR[0] = kInf;
        if (round == 17)
            a.inL[a.size() - 1] = -kInf;
        if (round == 19)
            a.inR[a.size() / 3] = 3.0e38f;
        if (round == 23)
            a.inL[0] = -3.4e38f;
        Block b = a;
        processReference(reference, a);
        processFast(fast, b);
        const double outL = outputDeviation(a.outL, b.outL);
        const double outR = outputDeviation(a.outR, b.outR);
        worstOutput = std::max(worstOutput, std::max(outL, outR));
        StateDeviation state;
        state.noteSide(reference.left, fast.left);
        state.noteSide(reference.right, fast.right);
        if (state.worst > worstState.worst) {
            worstState = state;
        }
        ASSERT_LE(outL, kOutputTolerance) << "left output, round " << round;
        ASSERT_LE(outR, kOutputTolerance) << "right output, round " << round;
        ASSERT_LE(state.worst, kStateTolerance) << state.where << ", round " << round;
        for (int i = 0; i < a.size(); ++i) {
            ASSERT_TRUE(std::isfinite(a.outL[i]) && std::isfinite(a.outR[i])) << round << " " << i;
        }
    }
    std::printf("[ deviation] %s: output %.3g, state %.3g (%s)\n", chainLanesName(std::get<2>(GetParam())),
                worstOutput, worstState.worst, worstState.where);
    RecordProperty("outputDeviation", std::to_string(worstOutput));
    RecordProperty("stateDeviation", std::to_string(worstState.worst));
}

INSTANTIATE_TEST_SUITE_P(RatesAndLanes, FastPathMatchesReference,
                         ::testing::Combine(::testing::Values(44100.0f, 96000.0f), ::testing::Values(0, 1),
                                            ::testing::Values(ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512)),
                         caseName);

TEST(SignalChain, ZeroOrNegativeFramesTouchNothing) {
    static TestChain chain, before;
    setUpTestChain(chain, 44100.0f);
    chain.settings.stereo = 1;
    copyChain(before, chain);
    Block b(8);
    fillMusic(b, 0);
    for (int frames : {0, -1, -512}) {
        processChainBlock(chain.left, chain.right, chain.settings, b.inL.data(), b.inR.data(), b.outL.data(),
                          b.outR.data(), frames);
        processChainBlockReference(chain.left, chain.right, chain.settings, b.inL.data(), b.inR.data(), b.outL.data(),
                                   b.outR.data(), frames);
    }
    EXPECT_TRUE(sameState(chain.left, before.left));
    EXPECT_TRUE(sameState(chain.right, before.right));
    EXPECT_EQ(b.outL[0], 99.0f);
}

TEST(SignalChain, MonoFeedsBothOutputsAndLeavesTheRightSideAlone) {
    static TestChain chain, before;
    setUpTestChain(chain, 48000.0f);
    copyChain(before, chain);
    Block b(300);
    fillMusic(b, 0);
    processFast(chain, b);
    EXPECT_EQ(b.outL, b.outR);
    EXPECT_TRUE(sameState(chain.right, before.right));
    double energy = 0.0;
    for (float v : b.outL)
        energy += v * v;
    EXPECT_GT(energy, 1e-3);
}

TEST(SignalChain, StereoSidesDifferOnlyInChannelOne) {
    static TestChain chain;
    for (int channel : {0, 1}) {
        setUpTestChain(chain, 44100.0f);
        chain.settings.stereo = 1;
        chain.settings.activeChannel = channel;
        Block b(512);
        fillMusic(b, 0);
        b.inR = b.inL;
        processFast(chain, b);
        if (channel == 0) {
            EXPECT_EQ(b.outL, b.outR);
        } else {
            // The left side applies the drive gain twice.
            EXPECT_NE(b.outL, b.outR);
        }
    }
}

TEST(SignalChain, VolumeZeroGivesExactZeros) {
    static TestChain chain;
    setUpTestChain(chain, 44100.0f);
    chain.settings.volume = 0.0;
    chain.settings.stereo = 1;
    Block b(200);
    fillMusic(b, 0, 5.0f);
    processFast(chain, b);
    for (int i = 0; i < b.size(); ++i) {
        ASSERT_EQ(b.outL[i], 0.0f);
        ASSERT_EQ(b.outR[i], 0.0f);
    }
}

TEST(SignalChain, SilenceSettlesNearZeroWithoutDenormals) {
    static TestChain chain;
    setUpTestChain(chain, 44100.0f);
    chain.settings.stereo = 1;
    chain.settings.input = 0.0;  // the amp core sees only 0
    Block b(512);
    for (int block = 0; block < 400; ++block) {
        std::fill(b.inL.begin(), b.inL.end(), 0.0f);
        std::fill(b.inR.begin(), b.inR.end(), 0.0f);
        processFast(chain, b);
    }
    for (int i = 0; i < b.size(); ++i) {
        ASSERT_LT(std::fabs(b.outL[i]), 1e-4f);
        ASSERT_EQ(b.outL[i], b.outR[i]);
    }
    // After seconds of silence no state has sunk into the subnormal range.
    for (const AmpSide* side : {&chain.left, &chain.right}) {
        const TriodeStage* stages[] = {&side->triodeStage1, &side->triodeStage2, &side->triodeStage3,
                                       &side->triodeStage4, &side->triodeStage5, &side->triodeStage6};
        for (const TriodeStage* s : stages) {
            for (double v : {s->plateCurrent, s->gridCurrent, s->gridVoltage, s->cathodeVoltage, s->plateVoltage,
                             s->outputVoltage}) {
                EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
            }
        }
        for (double v : {side->toneStack.s0, side->toneStack.s1, side->toneStack.s2, side->dcBlocker.y1,
                         side->lowpass10k.y1, side->lowShelf1k.y1}) {
            EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
        }
        for (float v : side->downsampler2x.outputHistory)
            EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
    }
}

TEST(SignalChain, MixBlendsTheTwoBranchesOfChannelZero) {
    static TestChain a, b;
    for (double mix : {0.0, 1.0}) {
        setUpTestChain(a, 44100.0f);
        a.settings.mix = mix;
        copyChain(b, a);
        // Disturb the branch that the mix leaves out: nothing may change.
        if (mix == 0.0) {
            b.left.lowShelf1k.y1 = 50.0;
        } else {
            b.left.triodeStage1.outputVoltage = 50.0;
        }
        Block x(256), y(256);
        fillMusic(x, 0);
        y = x;
        processFast(a, x);
        processFast(b, y);
        EXPECT_EQ(x.outL, y.outL) << "mix " << mix;
    }
}

TEST(SignalChain, BoostActsOnChannelOneOnly) {
    static TestChain a, b;
    for (int channel : {0, 1}) {
        setUpTestChain(a, 44100.0f);
        a.settings.activeChannel = channel;
        copyChain(b, a);
        b.settings.boost = 1;
        Block x(256), y(256);
        fillMusic(x, 0);
        y = x;
        processFast(a, x);
        processFast(b, y);
        if (channel == 0) {
            EXPECT_EQ(x.outL, y.outL);
        } else {
            EXPECT_NE(x.outL, y.outL);
        }
    }
}

TEST(SignalChain, InPlaceAndCrossedBuffersGiveTheSameSound) {
    static TestChain a, b, c;
    setUpTestChain(a, 44100.0f);
    a.settings.stereo = 1;
    copyChain(b, a);
    copyChain(c, a);
    Block x(100);
    fillMusic(x, 0);
    std::vector<float> l = x.inL, r = x.inR;
    processFast(a, x);
    // Outputs over the inputs.
    processChainBlock(b.left, b.right, b.settings, l.data(), r.data(), l.data(), r.data(), 100);
    EXPECT_EQ(l, x.outL);
    EXPECT_EQ(r, x.outR);
    // The left output over the right input, as a host might wire it.
    l = x.inL;
    r = x.inR;
    std::vector<float> outR(100);
    processChainBlockReference(c.left, c.right, c.settings, l.data(), r.data(), r.data(), outR.data(), 100);
    EXPECT_EQ(r, x.outL);
    EXPECT_EQ(outR, x.outR);
}

TEST(SignalChain, NonFiniteInputRestsTheSideAndSoundComesBack) {
    static TestChain chain, fresh;
    setUpTestChain(chain, 44100.0f);
    chain.settings.stereo = 1;
    copyChain(fresh, chain);
    Block b(64);
    fillMusic(b, 0);
    b.inL[63] = kNaN;  // the last sample of the block
    processFast(chain, b);
    EXPECT_EQ(b.outL[63], 0.0f);
    EXPECT_TRUE(std::isfinite(b.outR[63]));
    EXPECT_NE(b.outR[63], 0.0f);
    // The left side is back at its designed rest, as a redesign leaves it
    // (its tone stack keeps the coefficients of the knobs, due for a refresh).
    const ChainSettings& s = fresh.settings;
    refreshToneStack(fresh.left.toneStack, s.low, s.mid, s.high, s.contour);
    restAmpSide(fresh.left);
    EXPECT_TRUE(sameState(chain.left, fresh.left));

    // And it plays again.
    Block next(512);
    fillMusic(next, 64);
    processFast(chain, next);
    double energy = 0.0;
    for (float v : next.outL) {
        ASSERT_TRUE(std::isfinite(v));
        energy += v * v;
    }
    EXPECT_GT(energy, 1e-3);
}

TEST(SignalChain, BadParametersSilenceWithoutHarm) {
    static TestChain chain;
    setUpTestChain(chain, 44100.0f);
    Block b(128);
    fillMusic(b, 0);
    chain.settings.volume = std::numeric_limits<double>::quiet_NaN();
    processFast(chain, b);
    for (float v : b.outL)
        ASSERT_EQ(v, 0.0f);

    chain.settings.volume = 0.5;
    chain.settings.high = std::numeric_limits<double>::quiet_NaN();  // poisons the tone stack
    fillMusic(b, 128);
    processFast(chain, b);
    for (float v : b.outL)
        ASSERT_EQ(v, 0.0f);

    chain.settings.high = 0.5;
    Block next(1024);
    fillMusic(next, 256);
    processFast(chain, next);
    double energy = 0.0;
    for (float v : next.outL) {
        ASSERT_TRUE(std::isfinite(v));
        energy += v * v;
    }
    EXPECT_GT(energy, 1e-3);
}

TEST(ChainLanes, SseAlwaysThereAndAnUnsupportedPathIsRefused) {
    const ChainLanes widest = activeChainLanes();
    EXPECT_TRUE(chainLanesSupported(ChainLanes::sse2));
    EXPECT_TRUE(chainLanesSupported(widest));
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        const ChainLanes before = activeChainLanes();
        const bool chosen = selectChainLanes(lanes);
        EXPECT_EQ(chosen, chainLanesSupported(lanes)) << chainLanesName(lanes);
        EXPECT_EQ(activeChainLanes(), chosen ? lanes : before) << chainLanesName(lanes);
    }
    // The default is the widest path the processor runs.
    for (ChainLanes lanes : {ChainLanes::avx2, ChainLanes::avx512}) {
        if (chainLanesSupported(lanes)) {
            EXPECT_GE((int)widest, (int)lanes);
        }
    }
    selectChainLanes(widest);
}

// The lane step the fast chain runs, on its own against runTriodeStage, step
// by step on each lane path: a swing that takes every stage through cut-off,
// grid conduction and back, and a held overdrive. Both stage kinds (the
// first and fourth stages have different supplies and fits). The regrouping
// moves a step by rounding only (about 6e-11 V here); a wrong coefficient or
// a dropped term would move it by volts.
TEST(ChainLanes, LaneStepFollowsTheTriodeStepAsWritten) {
    const ChainLanes widest = activeChainLanes();
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        if (!selectChainLanes(lanes)) {
            continue;
        }
        double worstOutput = 0.0, worstState = 0.0;
        for (int which = 0; which < 2; ++which) {
            AmpSide side;
            clearAmpSide(side);
            designAmpSideStages(side, AmpSideKind::left, 176400.0);
            TriodeStage reference = which == 0 ? side.triodeStage1 : side.triodeStage4;
            TriodeStage fast = reference;
            for (int i = 0; i < 20000; ++i) {
                const double t = i / 176400.0;
                double x = i < 15000 ? 30.0 * std::sin(2 * M_PI * 220.0 * t) * std::sin(2 * M_PI * 3.0 * t) : 60.0;
                const double y = runFusedTriodeChain(fast, &x, 1, 176400.0);
                runTriodeStage(reference, x, 176400.0);
                worstOutput = std::max(worstOutput, std::fabs(y - x));
                StateDeviation state;
                state.noteStage(reference, fast, "stage");
                worstState = std::max(worstState, state.worst);
                ASSERT_LE(std::fabs(y - x), 1e-8 * std::max(1.0, std::fabs(x))) << chainLanesName(lanes) << " " << i;
                ASSERT_LE(state.worst, 1e-8) << chainLanesName(lanes) << " step " << i;
                ASSERT_GE(fast.cathodeVoltage, 0.0);
            }
        }
        std::printf("[ lane step] %s: output %.3g V, state %.3g\n", chainLanesName(lanes), worstOutput, worstState);
    }
    selectChainLanes(widest);
}

namespace {

// One side's chunk raised and lowered sample by sample, as the reference
// chain does it.
void raiseOneByOne(AmpSide& side, int oversampling, const float* in, float* raised, int count) {
    int out = 0;
    for (int h = 0; h < count; ++h) {
        float p[2];
        upsampleHalfBand(side.upsampler2x, in[h], p[0], p[1]);
        for (int j = 0; j < 2; ++j) {
            p[j] = p[j] * 2.0f;
            if (oversampling == 2) {
                raised[out++] = p[j];
                continue;
            }
            float r[2];
            upsampleHalfBand(side.upsampler4x, p[j], r[0], r[1]);
            for (int k = 0; k < 2; ++k) {
                if (oversampling == 4) {
                    raised[out++] = r[k];
                    continue;
                }
                upsampleHalfBand(side.upsampler8x, r[k], raised[out], raised[out + 1]);
                out += 2;
            }
        }
    }
}

void lowerOneByOne(AmpSide& side, int oversampling, const float* amp, float* lowered, int count) {
    for (int h = 0; h < count; ++h) {
        const float* q = amp + h * oversampling;
        if (oversampling == 2) {
            lowered[h] = downsampleHalfBand(side.downsampler2x, q[0], q[1]);
            continue;
        }
        float half[2];
        for (int j = 0; j < 2; ++j) {
            const float* r = q + j * oversampling / 2;
            if (oversampling == 4) {
                half[j] = downsampleHalfBand(side.downsampler4x, r[0], r[1]);
            } else {
                const float m0 = downsampleHalfBand(side.downsampler8x, r[0], r[1]);
                const float m1 = downsampleHalfBand(side.downsampler8x, r[2], r[3]);
                half[j] = downsampleHalfBand(side.downsampler4x, m0, m1);
            }
        }
        lowered[h] = downsampleHalfBand(side.downsampler2x, half[0], half[1]);
    }
}

}  // namespace

// The half-band passes of a chunk run the filters' passes interleaved (in
// mono two sections to a quad, the edges of a chunk masked) and, on the
// wide paths, with more registers, but every filter computes the same float
// operations in the same order as sample by sample: raised and
// lowered samples and the filters' histories are bit for bit those of the
// reference, on every lane path, rate and chunk size, mono and stereo.
TEST(ChainLanes, HalfBandPassesMatchTheFiltersSampleBySample) {
    const ChainLanes widest = activeChainLanes();
    std::mt19937 random(99);
    std::uniform_real_distribution<float> level(-1.5f, 1.5f);
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        if (!selectChainLanes(lanes)) {
            continue;
        }
        for (int oversampling : {2, 4, 8}) {
            for (int stereo = 0; stereo < 2; ++stereo) {
                TestChain chain;
                setUpTestChain(chain, 44100.0f, oversampling == 8);
                AmpSide fastA = chain.left, fastB = chain.right;
                AmpSide oneA = chain.left, oneB = chain.right;
                AmpSide& fastOther = stereo ? fastB : fastA;
                const int full = chunkFramesAt(oversampling);
                for (int count : {full, 1, 37, full, 5, full - 1}) {
                    std::vector<float> in[2], raised[2], amp[2], lowered[2], oneRaised[2], oneLowered[2];
                    for (int s = 0; s < 2; ++s) {
                        in[s].resize(count);
                        for (float& v : in[s]) {
                            v = level(random);
                        }
                        raised[s].assign(count * oversampling, 0.0f);
                        oneRaised[s].assign(count * oversampling, 0.0f);
                        amp[s].resize(count * oversampling);
                        lowered[s].assign(count, 0.0f);
                        oneLowered[s].assign(count, 0.0f);
                    }
                    const ChunkBuffers bufA = {in[0].data(), raised[0].data(), amp[0].data(), lowered[0].data()};
                    const ChunkBuffers bufB =
                        stereo ? ChunkBuffers{in[1].data(), raised[1].data(), amp[1].data(), lowered[1].data()} : bufA;
                    raiseChunkRate(fastA, fastOther, oversampling, bufA, bufB, count);
                    for (int s = 0; s <= stereo; ++s) {
                        raiseOneByOne(s == 0 ? oneA : oneB, oversampling, in[s].data(), oneRaised[s].data(), count);
                        ASSERT_EQ(0, std::memcmp(raised[s].data(), oneRaised[s].data(), raised[s].size() * 4))
                            << chainLanesName(lanes) << " " << oversampling << "x, side " << s << ", " << count;
                        for (int i = 0; i < count * oversampling; ++i) {
                            amp[s][i] = std::tanh(3.0f * raised[s][i]) + 0.01f * level(random);
                        }
                    }
                    lowerChunkRate(fastA, fastOther, oversampling, bufA, bufB, count);
                    for (int s = 0; s <= stereo; ++s) {
                        lowerOneByOne(s == 0 ? oneA : oneB, oversampling, amp[s].data(), oneLowered[s].data(), count);
                        ASSERT_EQ(0, std::memcmp(lowered[s].data(), oneLowered[s].data(), count * 4))
                            << chainLanesName(lanes) << " " << oversampling << "x, side " << s << ", " << count;
                    }
                    ASSERT_TRUE(sameState(fastA, oneA)) << chainLanesName(lanes) << " " << oversampling << "x";
                    ASSERT_TRUE(sameState(fastB, oneB)) << chainLanesName(lanes) << " " << oversampling << "x";
                }
            }
        }
    }
    selectChainLanes(widest);
}

// A chunk's lowering beside the next chunk's raising gives what the two give
// one after the other, bit for bit, also where the chunks' lengths leave no
// pass, or only a few, in which every section of the filters is busy (their
// passes then run with the edge tests only, or both ways in turn).
TEST(ChainLanes, LoweringBesideRaisingMatchesThemOneAfterTheOther) {
    const ChainLanes widest = activeChainLanes();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(-1.2f, 1.2f);
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        if (!selectChainLanes(lanes)) {
            continue;
        }
        for (int oversampling : {2, 4}) {
            for (int stereo = 0; stereo < 2; ++stereo) {
                TestChain chain;
                setUpTestChain(chain, oversampling == 2 ? 96000.0f : 44100.0f);
                AmpSide sideA = chain.left, sideB = chain.right;  // side by side
                AmpSide oneA = chain.left, oneB = chain.right;    // one after the other
                AmpSide& otherSide = stereo ? sideB : sideA;
                AmpSide& otherOne = stereo ? oneB : oneA;
                const int full = chunkFramesAt(oversampling);
                const int counts[][2] = {{full, 1}, {1, full}, {5, 6}, {6, 5}, {7, 8}, {full, 3}, {full, full}};
                for (const auto& c : counts) {
                    const int low = c[0], up = c[1];
                    std::vector<float> buffer[2][2][5];  // [way][side]: in, raised, amp, lowered, spare
                    for (int side = 0; side < 2; ++side) {
                        std::vector<float> in(up), amp(low * oversampling);
                        for (float& v : in) {
                            v = level(random);
                        }
                        for (float& v : amp) {
                            v = level(random);
                        }
                        for (auto& way : buffer) {
                            way[side][0] = in;
                            way[side][1].assign(up * oversampling, 0.0f);
                            way[side][2] = amp;
                            way[side][3].assign(low, 0.0f);
                        }
                    }
                    auto buffers = [&](int way, int side) {
                        auto& b = buffer[way][stereo ? side : 0];
                        return ChunkBuffers{b[0].data(), b[1].data(), b[2].data(), b[3].data()};
                    };
                    lowerThenRaiseChunkRate(sideA, otherSide, oversampling, buffers(0, 0), buffers(0, 1), low,
                                            buffers(0, 0), buffers(0, 1), up);
                    lowerChunkRate(oneA, otherOne, oversampling, buffers(1, 0), buffers(1, 1), low);
                    raiseChunkRate(oneA, otherOne, oversampling, buffers(1, 0), buffers(1, 1), up);
                    const std::string where = std::string(chainLanesName(lanes)) + " " +
                                              std::to_string(oversampling) + "x, " + std::to_string(low) + " then " +
                                              std::to_string(up) + (stereo ? ", stereo" : ", mono");
                    for (int side = 0; side <= stereo; ++side) {
                        ASSERT_TRUE(buffer[0][side][1] == buffer[1][side][1]) << where;
                        ASSERT_TRUE(buffer[0][side][3] == buffer[1][side][3]) << where;
                    }
                    ASSERT_TRUE(sameState(sideA, oneA)) << where;
                    ASSERT_TRUE(sameState(sideB, oneB)) << where;
                }
            }
        }
    }
    selectChainLanes(widest);
}

// At 2x and 4x a chunk's lowering runs beside the next chunk's raising when
// a block holds more than one chunk; a block cut into pieces of one chunk each never
// does. Both must give the same samples and states bit for bit, also when a
// chunk raised ahead meets a non-finite input and is rolled back. The input
// stays above the level where the injected sine (whose phase counts from
// the block's end) could change a sample, so the cut makes no difference.
TEST(ChainLanes, RaisingAheadChangesNoSample) {
    const ChainLanes widest = activeChainLanes();
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        if (!selectChainLanes(lanes)) {
            continue;
        }
        for (int design = 0; design < 3; ++design) {
        for (int stereo = 0; stereo < 2; ++stereo) {
            const int chunk = chunkFramesAt(design == 0 ? 2 : 4);
            for (int fault : {-1, 2 * chunk + 88, chunk, 2 * chunk - 1}) {
                static TestChain whole, cut;
                // 96 kHz LowQ at 2x; 44.1 kHz LowQ and 96 kHz HighQ at 4x.
                setUpTestChain(whole, design == 1 ? 44100.0f : 96000.0f, design == 2 ? 1 : 0);
                ASSERT_EQ(design == 0 ? 2 : 4, whole.settings.oversampling);
                whole.settings.stereo = stereo;
                whole.settings.activeChannel = fault % 2 == 0 ? 1 : 0;
                copyChain(cut, whole);
                Block a(2 * chunk + 188);
                for (int i = 0; i < a.size(); ++i) {
                    a.inL[i] = 0.3f + 0.25f * (float)std::sin(0.031 * i);
                    a.inR[i] = 0.3f - 0.25f * (float)std::sin(0.017 * i);
                }
                if (fault >= 0) {
                    a.inL[fault] = kNaN;
                }
                Block b = a;
                processFast(whole, a);
                for (int begin = 0; begin < b.size(); begin += chunk) {
                    const int n = std::min(chunk, b.size() - begin);
                    processChainBlock(cut.left, cut.right, cut.settings, b.inL.data() + begin, b.inR.data() + begin,
                                      b.outL.data() + begin, b.outR.data() + begin, n);
                }
                const std::string where =
                    std::string(chainLanesName(lanes)) + (stereo ? " stereo" : " mono") + ", design " +
                    std::to_string(design) + ", fault " + std::to_string(fault);
                ASSERT_EQ(0, std::memcmp(a.outL.data(), b.outL.data(), a.size() * 4)) << where;
                ASSERT_EQ(0, std::memcmp(a.outR.data(), b.outR.data(), a.size() * 4)) << where;
                StateDeviation state;
                state.noteSide(whole.left, cut.left);
                state.noteSide(whole.right, cut.right);
                ASSERT_EQ(0.0, state.worst) << where << ": " << state.where;
                if (fault < 0) {
                    ASSERT_TRUE(sameState(whole.left, cut.left)) << where;
                    ASSERT_TRUE(sameState(whole.right, cut.right)) << where;
                } else {
                    // (A side put to rest refreshes its tone stack at the
                    // next block's start, which the cut moves; its values
                    // are compared above.)
                    EXPECT_EQ(0.0f, a.outL[fault]) << where;
                }
            }
        }
        }
    }
    selectChainLanes(widest);
}

// A chunk whose amp core meets a non-finite value starts again from the
// state kept at its start and runs sample by sample, so a block of one chunk
// with a NaN in its last sample must come out bit for bit as the reference
// renders it from the same state, and leave the same state: the kept state
// must hold everything the fast path had changed (half-band histories, stage
// and filter states), on every lane path, oversampling factor and channel.
TEST(ChainLanes, RolledBackChunkIsTheReferenceBitForBit) {
    const ChainLanes widest = activeChainLanes();
    for (ChainLanes lanes : {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512}) {
        if (!selectChainLanes(lanes)) {
            continue;
        }
        for (int design = 0; design < 3; ++design) {
            for (int mode = 0; mode < 4; ++mode) {
                static TestChain fast, reference;
                // 96 kHz LowQ at 2x, 44.1 kHz LowQ at 4x, 44.1 kHz HighQ at 8x.
                setUpTestChain(fast, design == 0 ? 96000.0f : 44100.0f, design == 2 ? 1 : 0);
                fast.settings.stereo = mode % 2;
                fast.settings.activeChannel = mode / 2;
                Block warm(300);  // states away from their rest
                fillMusic(warm, 0);
                processReference(fast, warm);
                copyChain(reference, fast);
                const int chunk = chunkFramesAt(fast.settings.oversampling);
                Block a(chunk);
                fillMusic(a, 300);
                a.inL[chunk - 1] = kNaN;
                Block b = a;
                processFast(fast, a);
                processReference(reference, b);
                const std::string where = std::string(chainLanesName(lanes)) + ", design " + std::to_string(design) +
                                          ", mode " + std::to_string(mode);
                ASSERT_EQ(0, std::memcmp(a.outL.data(), b.outL.data(), chunk * 4)) << where;
                ASSERT_EQ(0, std::memcmp(a.outR.data(), b.outR.data(), chunk * 4)) << where;
                ASSERT_TRUE(sameState(fast.left, reference.left)) << where;
                ASSERT_TRUE(sameState(fast.right, reference.right)) << where;
            }
        }
    }
    selectChainLanes(widest);
}

// The fast chain's input is the reference's, sample for sample: every
// sample with the injected sine added, which only quiet ones show (a zero
// becomes the offset itself). Quiet samples anywhere in a chunk, in the
// first, a middle or a last partial group of the copy, alone or in runs.
TEST(SignalChain, ChunkInputIsTheInjectedInputOfEverySample) {
    std::mt19937 random(77);
    std::uniform_real_distribution<float> loud(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 5);
    const float quiet[] = {0.0f, -0.0f, 1e-30f, -1e-6f, 0.002f, std::nextafter(injectionBelowSpacing, 0.0f)};
    auto offsetAt = [](int h) { return 1e-10 * std::sin(0.37 * (h + 1)); };
    for (int count : {1, 2, 15, 16, 17, 31, 33, 100, 255, 256}) {
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<float> in(count), out(count, 7.0f);
            // Mostly loud, as music is, with quiet samples at random places;
            // trial 0 puts one only in the last sample, trial 1 in none.
            for (int h = 0; h < count; ++h) {
                const bool isQuiet = trial == 0 ? h == count - 1 : trial > 1 && kind(random) == 0;
                const float level = injectionBelowSpacing + std::fabs(loud(random));
                in[h] = isQuiet ? quiet[(h + trial) % 6] : std::copysign(level, loud(random));
            }
            int asked = 0;
            conditionChunkInput(in.data(), out.data(), count, [&](int h) {
                ++asked;
                return offsetAt(h);
            });
            int quietOnes = 0;
            for (int h = 0; h < count; ++h) {
                const float expected = injectedSample(in[h], offsetAt(h));
                ASSERT_EQ(0, std::memcmp(&expected, &out[h], sizeof(float)))
                    << count << " samples, trial " << trial << ", sample " << h << ": " << in[h];
                quietOnes += std::fabs(in[h]) < injectionBelowSpacing ? 1 : 0;
            }
            EXPECT_EQ(quietOnes, asked) << "offsets are worked out for the quiet samples only";
        }
    }
}

// A table that keeps the injected sine's offsets from block to block changes
// no sample: quiet input (where the offset decides the rounding), blocks of
// several lengths, some longer than the table, a period change that must
// renew it, and a copy of a model that starts without one.
TEST(SignalChain, KeptSineOffsetsChangeNoSample) {
    static TestChain plain, kept;
    static InjectedSineTable table;
    setUpTestChain(plain, 96000.0f, 0);
    copyChain(kept, plain);
    int position = 0;
    for (int round = 0; round < 2; ++round) {
        for (int frames : {64, 700, 1, InjectedSineTable::size + 300, 700, 257}) {
            Block a(frames);
            for (int i = 0; i < frames; ++i) {
                // Below 2^-8 and down to zero, where the offset shows.
                const double t = position++;
                a.inL[i] = (float)(1e-3 * std::sin(0.01 * t) * std::exp(-1e-3 * (double)((int)t % 3000)));
                a.inR[i] = (i % 7 == 0) ? 0.0f : (float)(1e-9 * std::cos(0.02 * t));
            }
            Block b = a;
            processFast(plain, a);
            processChainBlock(kept.left, kept.right, kept.settings, b.inL.data(), b.inR.data(), b.outL.data(),
                              b.outR.data(), frames, &table);
            const std::string where = "round " + std::to_string(round) + ", " + std::to_string(frames) + " frames";
            ASSERT_EQ(0, std::memcmp(a.outL.data(), b.outL.data(), frames * 4)) << where;
            ASSERT_EQ(0, std::memcmp(a.outR.data(), b.outR.data(), frames * 4)) << where;
            ASSERT_TRUE(sameState(plain.left, kept.left)) << where;
        }
        EXPECT_EQ(plain.settings.oversampledPeriod, table.period);
        EXPECT_EQ(injectedSineOffset(table.period, 5), table.values[5]);
        // The next round at another period: the kept offsets must be renewed.
        plain.settings.oversampledPeriod *= 0.5;
        kept.settings.oversampledPeriod = plain.settings.oversampledPeriod;
    }

    // Through the model: a copy starts without offsets and still matches.
    static AmpModel model;
    model.clear();
    model.design(44100.0f, 0);
    model.designStages();
    static AmpModel copy;
    Block warm(300);
    const ChainSettings s = defaultChainSettings(model);
    ASSERT_TRUE(model.process(s, warm.inL.data(), warm.inR.data(), warm.outL.data(), warm.outR.data(), 300));
    copy = model;
    Block c(300);
    Block d(300);
    ASSERT_TRUE(model.process(s, c.inL.data(), c.inR.data(), c.outL.data(), c.outR.data(), 300));
    ASSERT_TRUE(copy.process(s, d.inL.data(), d.inR.data(), d.outL.data(), d.outR.data(), 300));
    EXPECT_EQ(0, std::memcmp(c.outL.data(), d.outL.data(), 300 * 4));
}
