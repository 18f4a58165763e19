// AmpModel on its own: the design sequence the effect runs, the audio
// block's refusal while a redesign holds the model, and the parameter table
// the effect, the editor and the artwork read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "model/AmpModel.h"
#include "model/ParameterTable.h"
#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"

namespace {

bool sameBytes(const AmpSide& a, const AmpSide& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

AmpModel designed(float rate, int highQuality) {
    AmpModel model;
    model.clear();
    model.design(rate, highQuality);
    model.designStages();
    return model;
}

}  // namespace

TEST(AmpModelDesign, MatchesTheEffectsOwnModelAtEveryOversampling) {
    // 44.1 kHz low and high quality, 96 kHz and 192 kHz: 4x, 8x, 2x, 2x.
    for (const auto& [rate, quality] : {std::pair{44100.0f, 0}, {44100.0f, 1}, {96000.0f, 0}, {192000.0f, 1}}) {
        FakeHost host;
        CorvexProbe* effect = new CorvexProbe(FakeHost::callback);
        effect->setSampleRate(rate);
        effect->setParameter(Corvex::kQuality, (float)quality);
        // The effect designs its stages once, at the rate of construction;
        // a fresh model designed at that rate, then redesigned, is the same.
        AmpModel model;
        model.clear();
        model.design(44100.0f, 0);
        model.designStages();
        model.design(rate, quality);
        EXPECT_EQ(model.oversampling(), effect->amp.oversampling()) << rate << " " << quality;
        EXPECT_EQ(model.oversampledRate(), effect->amp.oversampledRate());
        EXPECT_TRUE(sameBytes(model.left, effect->amp.left)) << rate << " " << quality;
        EXPECT_TRUE(sameBytes(model.right, effect->amp.right)) << rate << " " << quality;
        effect->dispatch(effClose);
    }
}

TEST(AmpModelProcess, RefusesWhileHeldAndLeavesEverythingAsItWas) {
    AmpModel model = designed(48000.0f, 0);
    const AmpModel before = model;
    std::vector<float> in(64, 0.25f), outL(64, 7.0f), outR(64, 7.0f);
    model.holdForTest();
    EXPECT_FALSE(model.process(defaultChainSettings(model), in.data(), nullptr, outL.data(), outR.data(), 64));
    model.releaseForTest();
    EXPECT_TRUE(std::all_of(outL.begin(), outL.end(), [](float v) { return v == 7.0f; }));
    EXPECT_TRUE(sameBytes(model.left, before.left));
    EXPECT_FALSE(model.busy());

    // Released, the block runs and the settings' rates come from the model,
    // whatever the caller left in them.
    ChainSettings stale = defaultChainSettings(model);
    stale.oversampling = 8;
    stale.oversampledRate = stale.oversampledPeriod = 0.0;
    EXPECT_TRUE(model.process(stale, in.data(), nullptr, outL.data(), outR.data(), 64));
    EXPECT_TRUE(std::none_of(outL.begin(), outL.end(), [](float v) { return v == 7.0f; }));
    EXPECT_FALSE(model.busy());
}

TEST(ParameterTable, DescribesTheEffectAndThePanel) {
    using namespace corvex;
    FakeHost host;
    CorvexProbe* effect = new CorvexProbe(FakeHost::callback);
    for (int i = 0; i < kNumParameters; ++i) {
        char text[64] = "junk";
        effect->getParameterName(i, text);
        EXPECT_STREQ(text, kParameterTable[i].name);
        effect->getParameterLabel(i, text);
        EXPECT_STREQ(text, kParameterTable[i].label);
        EXPECT_EQ(effect->getParameter(i), kParameterTable[i].defaultValue) << kParameterTable[i].name;
    }
    effect->dispatch(effClose);

    // Every control once in the panel's order; the channel switch re-applies
    // exactly the per-channel parameters.
    std::set<int> order(std::begin(kControlOrder), std::end(kControlOrder));
    EXPECT_EQ(order.size(), (size_t)kNumParameters);
    std::set<int> perChannel;
    for (int i = 0; i < kNumParameters; ++i)
        if (kParameterTable[i].role == ParameterRole::perChannel)
            perChannel.insert(i);
    EXPECT_EQ(std::set<int>(std::begin(kChannelReapplyOrder), std::end(kChannelReapplyOrder)), perChannel);
}
