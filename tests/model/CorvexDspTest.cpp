// The amp model inside the effect: state after construction, what the sample
// rate, the quality switch, "Drive", "Channel" and program changes design or
// reset, the audio block's routing and its handling of bad host input.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"

namespace {

static_assert(sizeof(Corvex) < 64 * 1024, "an instance keeps its own state under 64 KiB");

bool sameBytes(const void* a, const void* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

class EffectAmpModel : public ::testing::Test {
protected:
    EffectAmpModel() : effect(new CorvexProbe(FakeHost::callback)) {}
    ~EffectAmpModel() override { effect->dispatch(effClose); }

    // Renders n frames of a plucked note (left) and another (right).
    void render(int n, int offset = 0) {
        inL.assign(n, 0.0f);
        inR.assign(n, 0.0f);
        outL.assign(n, 7.0f);
        outR.assign(n, 7.0f);
        for (int i = 0; i < n; ++i) {
            const double t = (offset + i) / 44100.0;
            inL[i] = (float)(0.5 * std::exp(-3.0 * t) * std::sin(2 * M_PI * 110.0 * t));
            inR[i] = (float)(0.3 * std::sin(2 * M_PI * 330.0 * t));
        }
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(inputs, outputs, n);
    }

    FakeHost host;
    CorvexProbe* effect;
    std::vector<float> inL, inR, outL, outR;
};

}  // namespace

TEST_F(EffectAmpModel, StateAfterConstruction) {
    EXPECT_EQ(effect->amp.oversampling(), 4);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 176400.0);
    EXPECT_NEAR(effect->driveGain.load(), 0.29855, 1e-15);
    for (const AmpSide* side : {&effect->amp.left, &effect->amp.right}) {
        EXPECT_NEAR(side->triodeStage1.plateVoltage, 160.771, 0.001);
        EXPECT_NEAR(side->triodeStage6.plateVoltage, 163.066, 0.001);
        EXPECT_NEAR(side->triodeStage1.cathodeCoefficient, 0.0171782, 5e-8);
        EXPECT_EQ(side->dcBlocker.x1, 0.001348233);
        EXPECT_EQ(side->toneStack.lastMid, 10.0);
        EXPECT_EQ(side->toneStack.bilinearC, 352800.0);
        EXPECT_NEAR(side->lowpass10k.inverseA0, 0.7754663, 5e-8);
        EXPECT_EQ(side->upsampler2x.coefficients[0], (float)0.036681502163648017);
        EXPECT_EQ(side->downsampler8x.coefficients[3], (float)0.890786832653497);
        EXPECT_EQ(side->upsampler4x.outputHistory[5], 0.0f);
    }
    EXPECT_FALSE(effect->amp.busy());
}

TEST_F(EffectAmpModel, DriveAndChannelSetTheDriveGain) {
    effect->setParameter(Corvex::kDrive, 1.0f);
    EXPECT_NEAR(effect->driveGain.load(), 1.000025, 1e-15);
    effect->setParameter(Corvex::kChannel, 1.0f);  // channel 1 still has Drive 0.5
    EXPECT_NEAR(effect->driveGain.load(), 0.29855, 1e-15);
    effect->setParameter(Corvex::kChannel, 0.0f);
    EXPECT_NEAR(effect->driveGain.load(), 1.000025, 1e-15);
}

TEST_F(EffectAmpModel, SampleRateChangeKeepsTheStagesAndRedesignsTheFilters) {
    render(256);
    const AmpSide before = effect->amp.left;
    effect->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(effect->amp.oversampling(), 4);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 192000.0);
    const AmpSide& after = effect->amp.left;
    const TriodeStage* was[] = {&before.triodeStage1, &before.triodeStage3, &before.triodeStage5};
    const TriodeStage* now[] = {&after.triodeStage1, &after.triodeStage3, &after.triodeStage5};
    for (int i = 0; i < 3; ++i) {
        TriodeStage copy = *now[i];
        EXPECT_NE(copy.cathodeCoefficient, was[i]->cathodeCoefficient);
        EXPECT_NE(copy.couplingCoefficient, was[i]->couplingCoefficient);
        copy.cathodeCoefficient = was[i]->cathodeCoefficient;
        copy.couplingCoefficient = was[i]->couplingCoefficient;
        EXPECT_TRUE(sameBytes(&copy, was[i], sizeof copy)) << "stage state changed";
    }
    // Half-band histories kept, biquad and tone stack histories cleared.
    EXPECT_TRUE(sameBytes(&after.upsampler2x, &before.upsampler2x, sizeof after.upsampler2x));
    EXPECT_NE(before.lowpass10k.y1, 0.0);
    EXPECT_EQ(after.lowpass10k.y1, 0.0);
    EXPECT_EQ(after.dcBlocker.x2, 0.001348233);
    EXPECT_EQ(after.toneStack.s0, 0.0);
    EXPECT_EQ(after.toneStack.lastLow, 10.0);
    EXPECT_EQ(after.toneStack.bilinearC, 384000.0);
}

TEST_F(EffectAmpModel, QualitySwitchRedesignsEvenWhenUnchanged) {
    render(256);
    const AmpSide before = effect->amp.right;
    effect->setParameter(Corvex::kQuality, 0.0f);  // the value it already has
    EXPECT_EQ(effect->amp.oversampling(), 4);
    EXPECT_EQ(effect->amp.left.lowShelf1k.y1, 0.0);
    EXPECT_EQ(effect->amp.left.toneStack.s1, 0.0);
    EXPECT_EQ(effect->amp.left.dcBlocker.x1, 0.001348233);
    EXPECT_NE(effect->amp.left.triodeStage1.outputVoltage, 0.0);  // stages keep their state
    EXPECT_TRUE(sameBytes(&effect->amp.right.triodeStage4, &before.triodeStage4, sizeof before.triodeStage4));

    effect->setParameter(Corvex::kQuality, 0.5f);  // 0.5 counts as on
    EXPECT_EQ(effect->highQuality.load(), 1);
    EXPECT_EQ(effect->amp.oversampling(), 8);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 352800.0);
    EXPECT_EQ(effect->amp.left.toneStack.bilinearC, 705600.0);
}

TEST_F(EffectAmpModel, ProgramChangeRedesignsAndChannelSwitchDoesNot) {
    render(256);
    const AmpSide before = effect->amp.left;
    effect->setParameter(Corvex::kChannel, 1.0f);
    EXPECT_TRUE(sameBytes(&effect->amp.left, &before, sizeof before));
    effect->setProgram(3);
    EXPECT_EQ(effect->amp.left.lowpass6kA.y1, 0.0);
    EXPECT_EQ(effect->amp.left.lowpass10k.x1, 0.0);
    EXPECT_TRUE(sameBytes(&effect->amp.left.triodeStage2, &before.triodeStage2, sizeof before.triodeStage2));
}

TEST_F(EffectAmpModel, MonoAndStereoRouting) {
    const AmpSide rightBefore = effect->amp.right;
    render(300);
    EXPECT_EQ(outL, outR);
    EXPECT_TRUE(sameBytes(&effect->amp.right, &rightBefore, sizeof rightBefore));

    effect->setParameter(Corvex::kMonoStereo, 1.0f);
    render(300, 300);
    EXPECT_NE(outL, outR);
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
    }
}

TEST_F(EffectAmpModel, VolumeZeroIsSilent) {
    effect->setParameter(Corvex::kVolume, 0.0f);
    effect->setParameter(Corvex::kMonoStereo, 1.0f);
    render(1000);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(outL[i], 0.0f);
        ASSERT_EQ(outR[i], 0.0f);
    }
}

TEST_F(EffectAmpModel, NaNFromTheHostDoesNotSilenceForGood) {
    inL.assign(64, std::numeric_limits<float>::quiet_NaN());
    inR.assign(64, std::numeric_limits<float>::infinity());
    outL.assign(64, 1.0f);
    outR.assign(64, 1.0f);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    effect->setParameter(Corvex::kMonoStereo, 1.0f);
    effect->processReplacing(inputs, outputs, 64);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(outL[i], 0.0f);
        ASSERT_EQ(outR[i], 0.0f);
    }
    render(4410);
    double left = 0.0, right = 0.0;
    for (int i = 0; i < 4410; ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        left += outL[i] * outL[i];
        right += outR[i] * outR[i];
    }
    EXPECT_GT(left, 1e-2);
    EXPECT_GT(right, 1e-2);
}

TEST_F(EffectAmpModel, InPlaceProcessingMatchesSeparateBuffers) {
    CorvexProbe* twin = new CorvexProbe(FakeHost::callback);
    render(500);
    std::vector<float> buffer = inL;
    std::vector<float> spare = inR;
    float* io[2] = {buffer.data(), spare.data()};
    twin->processReplacing(io, io, 500);
    EXPECT_EQ(buffer, outL);
    EXPECT_EQ(spare, outR);
    twin->dispatch(effClose);
}

TEST_F(EffectAmpModel, MissingChannelsAreRefusedWithSilence) {
    render(16);
    const AmpSide before = effect->amp.left;
    std::vector<float> in(16, 0.5f), out(16, 3.0f), other(16, 3.0f);
    float* inputs[2] = {in.data(), nullptr};
    float* outputs[2] = {out.data(), other.data()};

    effect->processReplacing(inputs, nullptr, 16);
    float* noInputs[2] = {nullptr, nullptr};
    effect->processReplacing(noInputs, outputs, 16);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(other[15], 0.0f);
    effect->processReplacing(nullptr, outputs, 16);
    float* oneOutput[2] = {out.data(), nullptr};
    std::fill(out.begin(), out.end(), 3.0f);
    effect->processReplacing(inputs, oneOutput, 16);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_TRUE(sameBytes(&effect->amp.left, &before, sizeof before));

    // Mono never reads the second input, so it may be missing...
    effect->processReplacing(inputs, outputs, 16);
    EXPECT_FALSE(sameBytes(&effect->amp.left, &before, sizeof before));
    // ...but stereo needs it.
    effect->setParameter(Corvex::kMonoStereo, 1.0f);
    const AmpSide right = effect->amp.right;
    std::fill(out.begin(), out.end(), 3.0f);
    effect->processReplacing(inputs, outputs, 16);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_TRUE(sameBytes(&effect->amp.right, &right, sizeof right));
}

TEST_F(EffectAmpModel, UnusableSampleRatesAreRefused) {
    effect->setSampleRate(48000.0f);
    const AmpSide before = effect->amp.left;
    for (float rate :
         {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        effect->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 192000.0);
    }
    EXPECT_TRUE(sameBytes(&effect->amp.left, &before, sizeof before));
}

TEST_F(EffectAmpModel, BlockDuringARedesignIsSilentAndHarmless) {
    render(64);
    const AmpSide before = effect->amp.left;
    effect->amp.holdForTest();  // as if another thread were redesigning
    render(64);
    for (float v : outL)
        ASSERT_EQ(v, 0.0f);
    EXPECT_TRUE(sameBytes(&effect->amp.left, &before, sizeof before));
    effect->amp.releaseForTest();
    render(64);
    EXPECT_NE(outL[10], 0.0f);
}

TEST_F(EffectAmpModel, ParametersAndRedesignsFromAnotherThread) {
    std::atomic<bool> done(false);
    std::thread ui([&] {
        for (int i = 0; !done.load(); ++i) {
            effect->setParameter(Corvex::kQuality, (i % 2) ? 1.0f : 0.0f);
            effect->setParameter(Corvex::kHigh, (i % 10) / 10.0f);
            effect->setParameter(Corvex::kMonoStereo, (i % 3) ? 1.0f : 0.0f);
            effect->setParameter(Corvex::kChannel, (i % 5) > 2 ? 1.0f : 0.0f);
            effect->setSampleRate(i % 4 ? 44100.0f : 96000.0f);
            std::this_thread::yield();
        }
    });
    for (int block = 0; block < 200; ++block) {
        render(128, block * 128);
        for (int i = 0; i < 128; ++i) {
            ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        }
    }
    done.store(true);
    ui.join();
}
