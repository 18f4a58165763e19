// The thirteen parameters: defaults, names, displays and labels, the two
// preamp channels' own values, the switches and what they derive, and values
// stored exactly as given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"
#include "tests/support/RecordingEditor.h"

namespace {

class Parameters : public ::testing::Test {
protected:
    Parameters() : effect(new CorvexProbe(FakeHost::callback)) {}
    ~Parameters() override { effect->dispatch(effClose); }

    std::string display(VstInt32 index) {
        char text[16];
        std::memset(text, '#', sizeof(text));
        text[15] = 0;
        effect->getParameterDisplay(index, text);
        EXPECT_EQ(text[9], '#') << "display of " << index << " wrote past 9 bytes";
        return text;
    }

    std::string label(VstInt32 index) {
        char text[16] = "untouched";
        effect->getParameterLabel(index, text);
        return text;
    }

    FakeHost host;
    CorvexProbe* effect;
};

const char* const kNames[] = {"Input",   "Channel",   "Drive",  "Mix PLS",     "Low",        "Mid",      "High",
                              "Contour", "Power Amp", "Volume", "Mono/Stereo", "LowQ/HighQ", "TQZ Boost"};
const float kDefaults[] = {0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f};

// Indexes of the eight parameters each channel keeps for itself.
const VstInt32 kPerChannel[] = {Corvex::kInput, Corvex::kDrive,   Corvex::kLow,      Corvex::kMid,
                                Corvex::kHigh,  Corvex::kContour, Corvex::kPowerAmp, Corvex::kVolume};

}  // namespace

TEST_F(Parameters, StateAfterConstruction) {
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
        EXPECT_EQ(effect->getParameter(i), kDefaults[i]) << kNames[i];
    EXPECT_EQ(effect->activeChannel.load(), 0);
    EXPECT_EQ(effect->stereo.load(), 0);
    EXPECT_EQ(effect->highQuality.load(), 0);
    EXPECT_EQ(effect->boost.load(), 0);
    EXPECT_NEAR(effect->driveGain.load(), 0.29855, 1e-12);
    EXPECT_EQ(effect->getProgram(), 0);
    EXPECT_EQ(effect->amp.oversampling(), 4);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 176400.0);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledPeriod(), 1.0 / 176400.0);
}

TEST_F(Parameters, NamesAreReportedWhole) {
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i) {
        char text[32];
        std::memset(text, '#', sizeof(text));
        effect->getParameterName(i, text);
        EXPECT_STREQ(text, kNames[i]);
    }
    char text[8] = "keep";
    effect->getParameterName(13, text);
    effect->getParameterName(-1, text);
    EXPECT_STREQ(text, "keep");
}

TEST_F(Parameters, DisplaysAndLabels) {
    EXPECT_EQ(display(Corvex::kInput), "0.500000");
    EXPECT_EQ(display(Corvex::kChannel), "0.000000");
    EXPECT_EQ(display(Corvex::kVolume), "-6.02060");
    effect->setParameter(Corvex::kVolume, 0.0f);
    EXPECT_EQ(display(Corvex::kVolume), "-oo");
    effect->setParameter(Corvex::kVolume, 1.0f);
    EXPECT_EQ(display(Corvex::kVolume), "0.000000");
    effect->setParameter(Corvex::kMixPls, 1.0f);
    EXPECT_EQ(display(Corvex::kMixPls), "1.000000");
    // Switches show their raw value, no on/off text.
    effect->setParameter(Corvex::kBoost, 1.0f);
    EXPECT_EQ(display(Corvex::kBoost), "1.000000");

    EXPECT_EQ(label(Corvex::kVolume), "dB");
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i) {
        if (i != Corvex::kVolume) {
            EXPECT_EQ(label(i), "") << kNames[i];
        }
    }
    EXPECT_EQ(label(13), "untouched");
    EXPECT_EQ(display(13), std::string(15, '#'));
}

TEST_F(Parameters, ValuesAreStoredExactlyAsGiven) {
    const float values[] = {1.5f, -0.25f, 1e9f, std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
    for (float value : values) {
        for (VstInt32 i = 0; i < Corvex::kNumParams; ++i) {
            effect->setParameter(i, value);
            EXPECT_EQ(effect->getParameter(i), value) << kNames[i];
        }
    }
    effect->setParameter(Corvex::kInput, 1.5f);
    EXPECT_EQ(display(Corvex::kInput), "1.500000");
    effect->setParameter(Corvex::kInput, std::numeric_limits<float>::infinity());
    EXPECT_EQ(display(Corvex::kInput), "Huge!");

    const float nan = std::numeric_limits<float>::quiet_NaN();
    effect->setParameter(Corvex::kDrive, nan);
    EXPECT_TRUE(std::isnan(effect->getParameter(Corvex::kDrive)));
    EXPECT_EQ(display(Corvex::kDrive), "nan");
    effect->setParameter(Corvex::kVolume, nan);
    EXPECT_EQ(display(Corvex::kVolume), "nan");
}

TEST_F(Parameters, ChannelSwitchThreshold) {
    effect->setParameter(Corvex::kChannel, 0.5f);
    EXPECT_EQ(effect->activeChannel.load(), 1);
    effect->setParameter(Corvex::kChannel, 0.49f);
    EXPECT_EQ(effect->activeChannel.load(), 0);
    effect->setParameter(Corvex::kChannel, 7.0f);
    EXPECT_EQ(effect->activeChannel.load(), 1);
    effect->setParameter(Corvex::kChannel, -3.0f);
    EXPECT_EQ(effect->activeChannel.load(), 0);
    effect->setParameter(Corvex::kChannel, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(effect->activeChannel.load(), 1);
}

TEST_F(Parameters, EachChannelKeepsItsOwnValues) {
    auto* editor = new RecordingEditor(effect);
    effect->setParameter(Corvex::kDrive, 0.2f);
    effect->setParameter(Corvex::kChannel, 1.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.5f);  // channel 1 still has its default
    effect->setParameter(Corvex::kDrive, 0.9f);
    EXPECT_NEAR(effect->driveGain.load(), 0.9841 * 0.9 * 0.9 - 0.9 * 0.0732 + 0.089125, 1e-6);

    editor->parameterCalls.clear();
    effect->setParameter(Corvex::kChannel, 0.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.2f);
    const double d = 0.2f;
    EXPECT_EQ(effect->driveGain.load(), 0.9841 * d * d - d * 0.0732 + 0.089125);

    // The editor heard the eight re-applied values, in order, then the
    // channel change itself; Drive came back as 0.2.
    const std::vector<std::pair<VstInt32, float>> expected = {
        {Corvex::kInput, 0.5f},  {Corvex::kDrive, 0.2f},    {Corvex::kLow, 0.5f},
        {Corvex::kMid, 0.5f},    {Corvex::kHigh, 0.5f},     {Corvex::kContour, 0.5f},
        {Corvex::kVolume, 0.5f}, {Corvex::kPowerAmp, 0.5f}, {Corvex::kChannel, 0.0f}};
    EXPECT_EQ(editor->parameterCalls, expected);

    effect->setParameter(Corvex::kChannel, 1.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.9f);
}

TEST_F(Parameters, AllEightPerChannelValuesSurviveASwitch) {
    for (VstInt32 index : kPerChannel)
        effect->setParameter(index, 0.1f + 0.01f * static_cast<float>(index));
    effect->setParameter(Corvex::kChannel, 1.0f);
    for (VstInt32 index : kPerChannel)
        effect->setParameter(index, 0.6f + 0.01f * static_cast<float>(index));
    effect->setParameter(Corvex::kChannel, 0.0f);
    for (VstInt32 index : kPerChannel)
        EXPECT_EQ(effect->getParameter(index), 0.1f + 0.01f * static_cast<float>(index)) << kNames[index];
    effect->setParameter(Corvex::kChannel, 1.0f);
    for (VstInt32 index : kPerChannel)
        EXPECT_EQ(effect->getParameter(index), 0.6f + 0.01f * static_cast<float>(index)) << kNames[index];
    // The working copy holds the values widened to double.
    EXPECT_EQ(effect->channelSettings[0].powerAmp, static_cast<double>(0.1f + 0.01f * 8.0f));
    EXPECT_EQ(effect->channelSettings[1].volume, static_cast<double>(0.6f + 0.01f * 9.0f));
}

TEST_F(Parameters, SharedValuesAreKeptAcrossChannelSwitches) {
    effect->setParameter(Corvex::kMixPls, 0.3f);
    effect->setParameter(Corvex::kMonoStereo, 1.0f);
    effect->setParameter(Corvex::kQuality, 1.0f);
    effect->setParameter(Corvex::kBoost, 0.75f);
    effect->setParameter(Corvex::kChannel, 1.0f);
    effect->setParameter(Corvex::kMixPls, 0.3f);
    effect->setParameter(Corvex::kChannel, 0.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kMixPls), 0.3f);
    EXPECT_EQ(effect->getParameter(Corvex::kMonoStereo), 1.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kQuality), 1.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kBoost), 0.75f);
    EXPECT_EQ(effect->stereo.load(), 1);
    EXPECT_EQ(effect->highQuality.load(), 1);
    EXPECT_EQ(effect->boost.load(), 1);
}

TEST_F(Parameters, SwitchesTurnOnAtOneHalf) {
    const std::pair<VstInt32, std::atomic<VstInt32>*> switches[] = {
        {Corvex::kMonoStereo, &effect->stereo},
        {Corvex::kQuality, &effect->highQuality},
        {Corvex::kBoost, &effect->boost},
    };
    for (const auto& [index, flag] : switches) {
        effect->setParameter(index, 0.5f);
        EXPECT_EQ(flag->load(), 1) << kNames[index];
        effect->setParameter(index, 0.4999f);
        EXPECT_EQ(flag->load(), 0) << kNames[index];
        effect->setParameter(index, std::numeric_limits<float>::quiet_NaN());
        EXPECT_EQ(flag->load(), 0) << kNames[index];
        effect->setParameter(index, 2.0f);
        EXPECT_EQ(flag->load(), 1) << kNames[index];
    }
}

TEST_F(Parameters, QualitySwitchChoosesTheOversampling) {
    effect->setParameter(Corvex::kQuality, 1.0f);
    EXPECT_EQ(effect->amp.oversampling(), 8);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 352800.0);

    const std::pair<float, VstInt32> rates[] = {{48000.0f, 4}, {49999.0f, 4}, {50000.0f, 2}, {96000.0f, 2}};
    for (const auto& [rate, factor] : rates) {
        effect->setParameter(Corvex::kQuality, 0.0f);
        effect->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_EQ(effect->amp.oversampling(), factor) << rate;
        EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), static_cast<double>(rate) * factor) << rate;
        // The switch re-runs the design at the host's rate.
        effect->setParameter(Corvex::kQuality, 1.0f);
        EXPECT_EQ(effect->amp.oversampling(), 2 * factor) << rate;
        EXPECT_EQ(effect->getSampleRate(), rate);
    }
}

TEST_F(Parameters, UnknownIndexesReachTheEditorButStoreNothing) {
    auto* editor = new RecordingEditor(effect);
    void* before = nullptr;
    effect->dispatch(effGetChunk, 0, 0, &before);
    std::vector<unsigned char> bank(static_cast<unsigned char*>(before), static_cast<unsigned char*>(before) + 2080);

    effect->setParameter(13, 0.7f);
    effect->setParameter(-1, 0.7f);
    EXPECT_EQ(effect->getParameter(13), 0.0f);
    EXPECT_EQ(effect->getParameter(-1), 0.0f);
    const std::vector<std::pair<VstInt32, float>> expected = {{13, 0.7f}, {-1, 0.7f}};
    EXPECT_EQ(editor->parameterCalls, expected);
    EXPECT_EQ(std::memcmp(bank.data(), before, bank.size()), 0);
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
        EXPECT_EQ(effect->getParameter(i), kDefaults[i]);
}

TEST(CorvexProcessing, RespectsTheFrameCount) {
    FakeHost host;
    Corvex effect(FakeHost::callback);
    float left[8], right[8];
    std::fill(left, left + 8, 0.5f);
    std::fill(right, right + 8, -0.5f);
    float* inputs[2] = {left, right};
    float* outputs[2] = {left, right};  // in place, as hosts may do

    effect.processReplacing(inputs, outputs, 0);
    effect.processReplacing(inputs, outputs, -5);
    EXPECT_EQ(left[0], 0.5f);
    EXPECT_EQ(right[7], -0.5f);

    effect.processReplacing(inputs, outputs, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(std::isfinite(left[i]));
        EXPECT_EQ(right[i], left[i]);  // mono: both outputs from the left input
    }
    EXPECT_EQ(left[6], 0.5f);
    EXPECT_EQ(right[7], -0.5f);

    effect.processReplacing(inputs, nullptr, 4);
    float* oneOutput[2] = {left, nullptr};
    effect.processReplacing(inputs, oneOutput, 4);
}
