// Loads the built plug-in library exactly as a host does and drives it only
// through its exported entry points and the record they return.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "shell/vst2.h"
#include "tests/support/FakeHost.h"
#include "tests/support/LoadedPlugin.h"

namespace {

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

}  // namespace

TEST(PluginLoad, BothEntryPointsCreateAWorkingEffect) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.handle, nullptr) << "cannot load " << CORVEX_PLUGIN_PATH;

    for (const char* name : {"VSTPluginMain", "main"}) {
        SCOPED_TRACE(name);
        const EntryPoint entry = plugin.entry(name);
        ASSERT_NE(entry, nullptr);

        FakeHost host;
        AEffect* effect = entry(FakeHost::callback);
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(effect->magic, kEffectMagic);
        EXPECT_EQ(effect->uniqueID, vstFourCC('C', 'R', 'V', 'X'));
        EXPECT_EQ(effect->numParams, 13);
        EXPECT_EQ(effect->numPrograms, 10);
        EXPECT_EQ(effect->numInputs, 2);
        EXPECT_EQ(effect->numOutputs, 2);
        EXPECT_NE(effect->flags & effFlagsCanReplacing, 0);
        EXPECT_NE(effect->flags & effFlagsProgramChunks, 0);

        // A host's start-up sequence.
        EXPECT_EQ(dispatch(effect, effOpen), 0);
        dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        dispatch(effect, effSetBlockSize, 0, 64);
        dispatch(effect, effMainsChanged, 0, 1);

        char text[80] = {};
        EXPECT_EQ(dispatch(effect, effGetEffectName, 0, 0, text), 1);
        EXPECT_STREQ(text, "Vantor_Corvex_Head_v1_0");
        EXPECT_EQ(dispatch(effect, effGetVendorString, 0, 0, text), 1);
        EXPECT_STREQ(text, "Ardex Plugins");
        EXPECT_EQ(dispatch(effect, effGetVstVersion), 2400);

        effect->setParameter(effect, 9, 0.25f);
        EXPECT_EQ(effect->getParameter(effect, 9), 0.25f);
        dispatch(effect, effGetParamDisplay, 9, 0, text);
        EXPECT_STREQ(text, "-12.0412");
        dispatch(effect, effGetParamName, 9, 0, text);
        EXPECT_STREQ(text, "Volume");

        void* chunk = nullptr;
        EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &chunk), 2080);
        ASSERT_NE(chunk, nullptr);
        std::vector<unsigned char> bank(static_cast<unsigned char*>(chunk), static_cast<unsigned char*>(chunk) + 2080);
        effect->setParameter(effect, 9, 0.75f);
        EXPECT_EQ(dispatch(effect, effSetChunk, 0, 2080, bank.data()), 1);
        EXPECT_EQ(effect->getParameter(effect, 9), 0.25f);

        std::vector<float> left(64, 0.5f), right(64, -0.5f);
        float* inputs[2] = {left.data(), right.data()};
        std::vector<float> outLeft(64, 9.0f), outRight(64, 9.0f);
        float* outputs[2] = {outLeft.data(), outRight.data()};
        effect->processReplacing(effect, inputs, outputs, 64);
        for (int i = 0; i < 64; ++i) {
            ASSERT_TRUE(std::isfinite(outLeft[i]));
            ASSERT_TRUE(std::isfinite(outRight[i]));
        }

        dispatch(effect, effMainsChanged, 0, 0);
        EXPECT_EQ(dispatch(effect, effClose), 1);
    }
}

TEST(PluginLoad, EntryPointRefusesASilentHost) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.handle, nullptr);
    const EntryPoint entry = plugin.entry("VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    FakeHost host;
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(entry(FakeHost::callback), nullptr);
    EXPECT_EQ(entry(nullptr), nullptr);
}
