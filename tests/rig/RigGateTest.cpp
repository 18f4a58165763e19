// The noise gate on its own, and in the rig: thresholds with hysteresis, no
// click at either edge, silence without denormals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "RigTestSupport.h"
#include "rig/NoiseGate.h"
#include "rig/RigEngine.h"

namespace {

using corvex::NoiseGate;

float stepsAt(NoiseGate& gate, float level, int frames) {
    float g = 0.0f;
    for (int i = 0; i < frames; ++i)
        g = gate.step(level);
    return g;
}

TEST(NoiseGate, OpensAtThresholdAndClosesOnlyBelowTheHysteresis) {
    NoiseGate gate;
    const double rate = 48000.0;
    gate.design(rate, -50.0, 50.0);
    gate.reset();
    const float below = (float)std::pow(10.0, -70.0 / 20.0);
    const float between = (float)std::pow(10.0, -53.0 / 20.0);  // under the threshold, above the close level
    const float above = (float)std::pow(10.0, -48.0 / 20.0);
    EXPECT_EQ(stepsAt(gate, below, 48000), 0.0f) << "a quiet key closes the gate fully";
    EXPECT_FALSE(gate.open);
    stepsAt(gate, between, 4800);
    EXPECT_FALSE(gate.open) << "below the threshold a closed gate stays closed";
    stepsAt(gate, above, 10);
    EXPECT_TRUE(gate.open) << "the threshold opens it";
    EXPECT_GT(stepsAt(gate, above, 480), 0.99f) << "open within the attack";
    stepsAt(gate, between, 48000);
    EXPECT_TRUE(gate.open) << "hysteresis: between the two levels an open gate stays open";
    stepsAt(gate, below, (int)(0.02 * rate));
    EXPECT_TRUE(gate.open) << "held for the hold time";
    stepsAt(gate, below, (int)(0.2 * rate));
    EXPECT_FALSE(gate.open);
}

TEST(NoiseGate, ReleaseFollowsItsTime) {
    for (double releaseMs : {20.0, 500.0}) {
        NoiseGate gate;
        gate.design(48000.0, -40.0, releaseMs);
        gate.reset();
        stepsAt(gate, 0.5f, 4800);
        // Closed after the hold and the detector's fall; then the release.
        int frames = 0;
        while (gate.open && frames < 480000) {
            gate.step(0.0f);
            ++frames;
        }
        int toQuiet = 0;
        while (gate.gain > 0.001f && toQuiet < 480000) {
            gate.step(0.0f);
            ++toQuiet;
        }
        const double ms = toQuiet / 48.0;
        EXPECT_GT(ms, releaseMs * 0.5) << releaseMs;
        EXPECT_LT(ms, releaseMs * 2.0) << releaseMs;
    }
}

// The largest step between two output samples of a gated sine, at opening
// and closing, against the sine's own largest step.
TEST(NoiseGate, NeitherEdgeClicks) {
    const double rate = 48000.0;
    NoiseGate gate;
    gate.design(rate, -40.0, 30.0);
    gate.reset();
    const double f = 200.0;
    const float amplitude = 0.5f;
    const double ownStep = 2.0 * M_PI * f / rate * amplitude;
    float last = 0.0f;
    double worst = 0.0;
    for (int i = 0; i < (int)(2.0 * rate); ++i) {
        // Silence, a burst from 0.5 s to 1.2 s starting at a crest, silence.
        const bool on = i >= (int)(0.5 * rate) && i < (int)(1.2 * rate);
        const float s = on ? amplitude * (float)std::cos(2.0 * M_PI * f * (i - 0.5 * rate) / rate) : 0.0f;
        const float g = gate.step(std::fabs(s) > 0 ? std::fabs(s) : 0.0f);
        // The gated signal is a steady sine (what the amp would output); the
        // key alone switches.
        const float steady = amplitude * (float)std::cos(2.0 * M_PI * f * (i - 0.5 * rate) / rate);
        const float y = steady * g;
        if (i > 0)
            worst = std::max(worst, (double)std::fabs(y - last));
        last = y;
    }
    EXPECT_LT(worst, ownStep * 1.6) << "the gain may add little to the sine's own steps";
}

TEST(NoiseGate, SilenceGivesExactZeroNoDenormals) {
    NoiseGate gate;
    gate.design(48000.0, -60.0, 100.0);
    gate.reset();
    stepsAt(gate, 0.3f, 1000);
    for (int i = 0; i < 480000; ++i) {
        gate.step(0.0f);
        ASSERT_TRUE(gate.gain == 0.0f || std::fpclassify(gate.gain) == FP_NORMAL);
        ASSERT_TRUE(gate.level == 0.0f || std::fpclassify(gate.level) == FP_NORMAL);
        ASSERT_TRUE(gate.smooth == 0.0f || std::fpclassify(gate.smooth) == FP_NORMAL);
    }
    EXPECT_EQ(gate.gain, 0.0f);
    EXPECT_EQ(gate.level, 0.0f);
}

// The block step against frame-by-frame steps: the same gains, bit for bit,
// and the same state after every block, through open stretches (its fast
// path), decays that close the gate, keys that are not numbers, silence, a
// key sitting exactly on the closing level, and blocks of many sizes.
TEST(NoiseGate, BlockStepGivesTheFrameByFrameGains) {
    for (double thresholdDb : {-50.0, -20.0, -236.0}) {
        NoiseGate frameByFrame, block;
        frameByFrame.design(48000.0, thresholdDb, 40.0);
        block.design(48000.0, thresholdDb, 40.0);
        frameByFrame.reset();
        block.reset();
        std::vector<float> keys = rigtest::guitar(96000, 48000.0, 4);
        for (float& k : keys)
            k = std::fabs(k);
        for (int i = 30000; i < 45000; ++i)
            keys[(size_t)i] = 0.0f;  // closes (the level falls through the smallest it keeps)
        keys[50000] = std::nanf("");
        keys[50001] = std::numeric_limits<float>::infinity();
        for (int i = 60000; i < 61000; ++i)
            keys[(size_t)i] = frameByFrame.closeLevel;  // on the closing level: held open
        for (int i = 61000; i < 62000; ++i)
            keys[(size_t)i] = 0.5f;
        // Pulses far enough apart that the level dips under the closing
        // level between them, for less than the hold time: the hold's count
        // starts, then each pulse must restart it.
        const double dip = NoiseGate::kDetectorGroup * std::log(frameByFrame.closeLevel / 0.5) /
                           std::log(frameByFrame.detectorFall);
        const int spacing = (int)std::min(dip + 60.0, 20000.0);
        for (int i = 62000; i < 96000; ++i)
            keys[(size_t)i] = (i - 62000) % spacing == 0 ? 0.5f : 0.0f;
        std::vector<float> gains(256);
        const int sizes[] = {64, 1, 7, 256, 33, 128, 64, 3};
        std::size_t at = 0;
        int fullyOpenBlocks = 0;
        for (int b = 0; at < keys.size(); ++b) {
            const int n = (int)std::min<std::size_t>((std::size_t)sizes[b % 8], keys.size() - at);
            const bool allOpen = block.run(keys.data() + at, gains.data(), n);
            bool expectOpen = true;
            for (int i = 0; i < n; ++i) {
                const float g = frameByFrame.step(keys[at + (std::size_t)i]);
                ASSERT_EQ(std::memcmp(&g, &gains[(std::size_t)i], sizeof g), 0) << thresholdDb << " at " << at + (std::size_t)i;
                expectOpen = expectOpen && g == 1.0f;
            }
            ASSERT_EQ(allOpen, expectOpen) << at;
            fullyOpenBlocks += allOpen ? 1 : 0;
            ASSERT_EQ(std::memcmp(&block.level, &frameByFrame.level, sizeof(float)), 0) << at;
            ASSERT_EQ(block.gain, frameByFrame.gain) << at;
            ASSERT_EQ(block.smooth, frameByFrame.smooth) << at;
            ASSERT_EQ(block.open, frameByFrame.open) << at;
            ASSERT_EQ(block.hold, frameByFrame.hold) << at;
            ASSERT_EQ(block.phase, frameByFrame.phase) << at;
            at += (std::size_t)n;
        }
        EXPECT_GT(fullyOpenBlocks, 10) << "the fast path ran";
    }
    // A block that starts just as the level comes back over the closing
    // level, the hold's count already started: it restarts.
    for (int dip : {1, 5, 100}) {
        NoiseGate frameByFrame, block;
        frameByFrame.design(48000.0, -30.0, 40.0);
        frameByFrame.reset();
        stepsAt(frameByFrame, 0.5f, 2000);
        while (frameByFrame.level >= frameByFrame.closeLevel)
            frameByFrame.step(0.0f);
        stepsAt(frameByFrame, 0.0f, dip);
        ASSERT_TRUE(frameByFrame.open);
        ASSERT_LT(frameByFrame.hold, frameByFrame.holdFrames);
        block = frameByFrame;
        std::vector<float> keys(64, 0.5f), gains(64);
        EXPECT_TRUE(block.run(keys.data(), gains.data(), 64));
        stepsAt(frameByFrame, 0.5f, 64);
        EXPECT_EQ(block.hold, frameByFrame.hold) << dip;
        EXPECT_EQ(block.level, frameByFrame.level) << dip;
    }
}

// The meters leave samples that are not numbers out, and read the largest
// magnitude of either side.
TEST(RigGate, MetersSkipSamplesThatAreNotNumbers) {
    corvex::RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    rig.flush();
    std::vector<float> inL(67, 0.01f), inR(67, 0.01f), l(67), r(67);
    inL[5] = std::nanf("");
    inR[9] = -0.25f;  // the larger side, negative
    inL[66] = 0.5f;   // in the last frames, past the lanes
    rig.process(inL.data(), inR.data(), l.data(), r.data(), 67);
    EXPECT_EQ(rig.takeInputPeak(), 0.5f);
    const float out = rig.takeOutputPeak();
    EXPECT_TRUE(std::isfinite(out));
    float expected = 0.0f;
    for (int i = 0; i < 67; ++i)
        for (float v : {l[(std::size_t)i], r[(std::size_t)i]})
            if (std::fabs(v) > expected)
                expected = std::fabs(v);
    EXPECT_EQ(out, expected);
}

// In the rig: a closed gate silences the amp, the lamp says so, and silence
// in gives silence out with every cabinet.
TEST(RigGate, ClosedGateSilencesTheRigAndLightsTheLamp) {
    corvex::RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    rig.post(corvex::kGateThreshold, (-50.0 + 90.0) / 80.0);
    rig.flush();
    std::vector<float> in(48000, 0.0f), l(48000), r(48000);
    for (int i = 0; i < 48000; i += 512)
        rig.process(in.data() + i, in.data() + i, l.data() + i, r.data() + i, std::min(512, 48000 - i));
    EXPECT_TRUE(rig.gateClosed());
    for (int i = 24000; i < 48000; ++i) {
        ASSERT_EQ(l[(size_t)i], 0.0f) << i;
        ASSERT_EQ(r[(size_t)i], 0.0f) << i;
    }
    const auto loud = rigtest::guitar(4800, 48000.0);
    rig.process(loud.data(), loud.data(), l.data(), r.data(), 4800);
    EXPECT_FALSE(rig.gateClosed());
    float peak = 0.0f;
    for (int i = 0; i < 4800; ++i)
        peak = std::max(peak, std::fabs(l[(size_t)i]));
    EXPECT_GT(peak, 0.01f);
}

}  // namespace
