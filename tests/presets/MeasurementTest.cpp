// The measuring code the factory bank is tuned with, against signals whose
// answers are known: a mistake here would tune every program wrongly and
// the bank test would not notice, since it measures with the same code.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/presets/Loudness.h"
#include "tools/presets/Survey.h"

namespace {

constexpr double kPi = 3.141592653589793;

std::vector<float> sine(double frequency, double amplitude, double seconds, int rate = 48000) {
    std::vector<float> s((size_t)(seconds * rate));
    for (size_t n = 0; n < s.size(); n++)
        s[n] = (float)(amplitude * std::sin(2.0 * kPi * frequency * (double)n / rate));
    return s;
}

}  // namespace

TEST(Loudness, ReferenceSineReadsItsBroadcastLevel) {
    // The broadcast reference: 1 kHz at -23 dBFS peak in both channels of a
    // stereo signal, 20 s, is -23.0 LUFS.
    std::vector<float> tone = sine(1000.0, std::pow(10.0, -23.0 / 20.0), 20.0);
    LevelReport r;
    std::string error;
    ASSERT_TRUE(measureLevels(tone, tone, 48000, r, error)) << error;
    EXPECT_NEAR(r.integratedLufs, -23.0, 0.1);
    EXPECT_NEAR(r.samplePeakDb, -23.0, 0.01);
    EXPECT_NEAR(r.truePeakDb, -23.0, 0.1);

    // One channel silent: half the power, 3 dB less; the peak stays.
    std::vector<float> silence(tone.size(), 0.0f);
    ASSERT_TRUE(measureLevels(tone, silence, 48000, r, error)) << error;
    EXPECT_NEAR(r.integratedLufs, -26.0, 0.1);
    EXPECT_NEAR(r.samplePeakDb, -23.0, 0.01);
}

TEST(Loudness, GatingAndPeaksFollowTheSignal) {
    // 10 s of tone then 10 s of near silence: the gate drops the quiet half,
    // so the reading stays that of the tone, not 3 dB below it.
    std::vector<float> tone = sine(1000.0, std::pow(10.0, -20.0 / 20.0), 20.0, 44100);
    for (size_t n = tone.size() / 2; n < tone.size(); n++)
        tone[n] *= 1e-4f;
    LevelReport r;
    std::string error;
    ASSERT_TRUE(measureLevels(tone, tone, 44100, r, error)) << error;
    EXPECT_NEAR(r.integratedLufs, -20.0, 0.2);

    // A lone full-scale sample between two opposite ones: the reconstructed
    // waveform overshoots it, which only the true peak sees.
    std::vector<float> click(44100, 0.0f);
    click[20000] = -1.0f;
    click[20001] = 1.0f;
    click[20002] = 1.0f;
    click[20003] = -1.0f;
    ASSERT_TRUE(measureLevels(click, click, 44100, r, error)) << error;
    EXPECT_DOUBLE_EQ(r.samplePeakDb, 0.0);
    EXPECT_GT(r.truePeakDb, 0.5);

    EXPECT_FALSE(measureLevels({}, {}, 44100, r, error));
    EXPECT_FALSE(measureLevels({0.1f, 0.2f}, {0.1f}, 44100, r, error));
}

TEST(Survey, HarmonicDistortionOfKnownMixtures) {
    // 44100 / 400 Hz: the survey's analysis frequency.
    const double f = 44100.0 / 400.0;
    std::vector<float> x = sine(f, 0.5, 1.0, 44100);
    double thd = 1.0, fundamental = 0.0;
    harmonicDistortion(x, thd, fundamental);
    EXPECT_NEAR(thd, 0.0, 1e-5);
    EXPECT_NEAR(fundamental, 0.5, 1e-5);

    std::vector<float> h2 = sine(2 * f, 0.03, 1.0, 44100), h3 = sine(3 * f, 0.04, 1.0, 44100);
    std::vector<float> h11 = sine(11 * f, 0.2, 1.0, 44100);  // beyond the tenth: not counted
    for (size_t n = 0; n < x.size(); n++)
        x[n] += h2[n] + h3[n] + h11[n];
    harmonicDistortion(x, thd, fundamental);
    EXPECT_NEAR(thd, 0.1, 1e-4);  // sqrt(0.03^2 + 0.04^2) / 0.5
    EXPECT_NEAR(fundamental, 0.5, 1e-4);
}
