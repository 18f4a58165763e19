// Renders audio through the built plug-in, loaded exactly as a host loads it,
// for every channel, quality and mono/stereo setting at three host rates.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "shell/vst2.h"
#include "tests/support/FakeHost.h"
#include "tests/support/LoadedPlugin.h"

namespace {

struct Setting {
    float rate;
    float channel;
    float quality;
    float monoStereo;
};

// Opens an instance, applies the setting, renders a few blocks of a plucked
// note on the left and a different one on the right, closes it.
std::vector<float> render(EntryPoint entry, const Setting& s) {
    FakeHost host;
    AEffect* effect = entry(FakeHost::callback);
    if (!effect)
        return {};
    auto dispatch = [&](VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
        return effect->dispatcher(effect, opcode, index, value, nullptr, opt);
    };
    dispatch(effOpen, 0, 0, 0.0f);
    dispatch(effSetSampleRate, 0, 0, s.rate);
    dispatch(effSetBlockSize, 0, 256, 0.0f);
    dispatch(effMainsChanged, 0, 1, 0.0f);
    effect->setParameter(effect, 1, s.channel);
    effect->setParameter(effect, 11, s.quality);
    effect->setParameter(effect, 10, s.monoStereo);
    effect->setParameter(effect, 2, 0.8f);

    std::vector<float> out;
    std::vector<float> inL(256), inR(256), outL(256), outR(256);
    for (int block = 0; block < 6; ++block) {
        for (int i = 0; i < 256; ++i) {
            const double t = (block * 256 + i) / (double)s.rate;
            inL[i] = (float)(0.6 * std::exp(-3.0 * t) * std::sin(2 * M_PI * 110.0 * t));
            inR[i] = (float)(0.4 * std::exp(-2.0 * t) * std::sin(2 * M_PI * 165.0 * t + 1.0));
        }
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, inputs, outputs, 256);
        for (int i = 0; i < 256; ++i) {
            out.push_back(outL[i]);
            out.push_back(outR[i]);
        }
    }
    dispatch(effMainsChanged, 0, 0, 0.0f);
    dispatch(effClose, 0, 0, 0.0f);
    return out;
}

}  // namespace

TEST(PluginRender, EverySettingGivesFiniteBoundedRepeatableSound) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.handle, nullptr) << "cannot load " << CORVEX_PLUGIN_PATH;
    const EntryPoint entry = plugin.entry();
    ASSERT_NE(entry, nullptr);

    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        for (float channel : {0.0f, 1.0f}) {
            for (float quality : {0.0f, 1.0f}) {
                for (float monoStereo : {0.0f, 1.0f}) {
                    const Setting setting{rate, channel, quality, monoStereo};
                    SCOPED_TRACE(testing::Message() << "rate " << rate << " channel " << channel << " quality "
                                                    << quality << " stereo " << monoStereo);
                    const std::vector<float> first = render(entry, setting);
                    ASSERT_EQ(first.size(), 6u * 256u * 2u);
                    double energy = 0.0;
                    bool sidesDiffer = false;
                    for (size_t i = 0; i < first.size(); i += 2) {
                        ASSERT_TRUE(std::isfinite(first[i]) && std::isfinite(first[i + 1])) << i;
                        // The curve bounds the amp at about 0.415, the DC
                        // blocker's overshoot doubles that, times 3 x Volume.
                        ASSERT_LT(std::fabs(first[i]), 2.6f) << i;
                        ASSERT_LT(std::fabs(first[i + 1]), 2.6f) << i;
                        energy += (double)first[i] * first[i];
                        sidesDiffer = sidesDiffer || first[i] != first[i + 1];
                    }
                    EXPECT_GT(energy, 1e-3) << "no sound";
                    EXPECT_EQ(sidesDiffer, monoStereo >= 0.5f);
                    EXPECT_EQ(render(entry, setting), first) << "a second instance sounds different";
                }
            }
        }
    }
}
