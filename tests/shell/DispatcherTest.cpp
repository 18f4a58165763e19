// The host's requests through the record's dispatcher: the answers that shape
// how hosts treat the effect, what is passed to the editor, and refusal of
// null pointers and out-of-range values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"
#include "tests/support/RecordingEditor.h"

namespace {

class Dispatcher : public ::testing::Test {
protected:
    Dispatcher() : effect(new CorvexProbe(FakeHost::callback)) {}
    ~Dispatcher() override {
        if (effect)
            effect->dispatch(effClose);
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatch(opcode, index, value, ptr, opt);
    }

    std::vector<unsigned char> bank() {
        void* data = nullptr;
        const VstIntPtr size = dispatch(effGetChunk, 0, 0, &data);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(bytes, bytes + size);
    }

    std::vector<float> parameters() {
        std::vector<float> values;
        for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
            values.push_back(effect->getParameter(i));
        return values;
    }

    FakeHost host;
    CorvexProbe* effect;
};

constexpr char kGuard = '#';

}  // namespace

TEST_F(Dispatcher, IdentificationAnswers) {
    EXPECT_EQ(dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effGetVendorVersion), 1000);
    EXPECT_EQ(dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(dispatch(effGetTailSize), 0);
    EXPECT_EQ(dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(dispatch(effGetNumMidiOutputChannels), 0);
    EXPECT_EQ(dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(effCanBeAutomated, 12), 1);
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 4410), 4410);

    for (const char* capability : {"receiveVstMidiEvent", "sendVstMidiEvent", "bypass", "", "plugAsChannelInsert"}) {
        std::string text = capability;
        EXPECT_EQ(dispatch(effCanDo, 0, 0, &text[0]), 0) << capability;
    }
}

TEST_F(Dispatcher, IdentificationStringsAreZeroFilledToTheirLimits) {
    char text[80];
    std::memset(text, kGuard, sizeof(text));
    EXPECT_EQ(dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "Vantor_Corvex_Head_v1_0");
    for (int i = 23; i <= 32; ++i)
        EXPECT_EQ(text[i], 0) << i;
    EXPECT_EQ(text[33], kGuard);

    std::memset(text, kGuard, sizeof(text));
    EXPECT_EQ(dispatch(effGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Vantor_Corvex_Head_v1_0");
    EXPECT_EQ(text[64], 0);
    EXPECT_EQ(text[65], kGuard);

    std::memset(text, kGuard, sizeof(text));
    EXPECT_EQ(dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Ardex Plugins");
    EXPECT_EQ(text[64], 0);
    EXPECT_EQ(text[65], kGuard);
}

TEST_F(Dispatcher, UnhandledOpcodesAnswerZeroAndChangeNothing) {
    const std::vector<unsigned char> before = bank();
    const std::vector<float> parametersBefore = parameters();
    for (VstInt32 opcode : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 81, 1000, -1})
        EXPECT_EQ(dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
    EXPECT_EQ(bank(), before);
    EXPECT_EQ(parameters(), parametersBefore);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Dispatcher, ProgramSelection) {
    EXPECT_EQ(dispatch(effGetProgram), 0);
    dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(dispatch(effGetProgram), 4);
    dispatch(effSetProgram, 0, 10);
    EXPECT_EQ(dispatch(effGetProgram), 4);
    dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(dispatch(effGetProgram), 4);
    // A value that only looks valid after truncation to 32 bits.
    if (sizeof(VstIntPtr) > 4) {
        dispatch(effSetProgram, 0, static_cast<VstIntPtr>(0x100000002LL));
        EXPECT_EQ(dispatch(effGetProgram), 4);
    }
}

TEST_F(Dispatcher, MainsChangedChangesNothing) {
    effect->setParameter(Corvex::kDrive, 0.8f);
    const std::vector<unsigned char> before = bank();
    const std::vector<float> parametersBefore = parameters();
    const VstInt32 oversamplingBefore = effect->amp.oversampling();
    dispatch(effMainsChanged, 0, 1);
    dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(bank(), before);
    EXPECT_EQ(parameters(), parametersBefore);
    EXPECT_EQ(effect->amp.oversampling(), oversamplingBefore);
    EXPECT_TRUE(host.calls.empty()) << "resume must not ask the host for MIDI";
}

TEST_F(Dispatcher, ChunkSizes) {
    void* data = nullptr;
    EXPECT_EQ(dispatch(effGetChunk, 1, 0, &data), 208);
    EXPECT_EQ(data, &effect->programs[0]);
    dispatch(effSetProgram, 0, 7);
    EXPECT_EQ(dispatch(effGetChunk, 1, 0, &data), 208);
    EXPECT_EQ(data, &effect->programs[7]);
    EXPECT_EQ(dispatch(effGetChunk, 0, 0, &data), 2080);
    EXPECT_EQ(data, &effect->programs[0]);
}

TEST_F(Dispatcher, SetChunkRefusesBadSizesAndNullData) {
    std::vector<unsigned char> saved = bank();
    saved[0] = 'X';  // a visible change if it were ever accepted
    const std::vector<unsigned char> before = bank();
    EXPECT_EQ(dispatch(effSetChunk, 0, 2079, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, 2081, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 1, 207, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 1, 209, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 1, 2080, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, 208, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, -2080, saved.data()), 0);
    EXPECT_EQ(dispatch(effSetChunk, 0, 2080, nullptr), 0);
    // 2080 plus 2^32 would truncate to a valid size on a 64-bit host.
    if (sizeof(VstIntPtr) > 4) {
        EXPECT_EQ(dispatch(effSetChunk, 0, static_cast<VstIntPtr>(0x100000000LL + 2080), saved.data()), 0);
    }
    EXPECT_EQ(bank(), before);

    EXPECT_EQ(dispatch(effSetChunk, 0, 2080, saved.data()), 1);
    EXPECT_EQ(bank(), saved);
}

TEST_F(Dispatcher, NullPointersAreRefusedWithoutTouchingAnything) {
    new RecordingEditor(effect);
    const std::vector<unsigned char> before = bank();
    for (VstInt32 opcode : {effSetProgramName,
                            effGetProgramName,
                            effGetParamLabel,
                            effGetParamDisplay,
                            effGetParamName,
                            effEditGetRect,
                            effGetChunk,
                            effSetChunk,
                            effProcessEvents,
                            effString2Parameter,
                            effGetProgramNameIndexed,
                            effGetInputProperties,
                            effGetOutputProperties,
                            effOfflineNotify,
                            effOfflinePrepare,
                            effOfflineRun,
                            effProcessVarIo,
                            effSetSpeakerArrangement,
                            effGetEffectName,
                            effGetVendorString,
                            effGetProductString,
                            effCanDo,
                            effGetParameterProperties,
                            effGetMidiProgramName,
                            effGetMidiProgramCategory,
                            effGetMidiKeyName,
                            effGetSpeakerArrangement,
                            effShellGetNextPlugin,
                            effBeginLoadBank,
                            effBeginLoadProgram})
        EXPECT_EQ(dispatch(opcode, 0, 2080, nullptr), 0) << "opcode " << opcode;
    EXPECT_EQ(bank(), before);
}

TEST_F(Dispatcher, ParameterTextsThroughTheDispatcher) {
    char text[32];
    std::memset(text, kGuard, sizeof(text));
    dispatch(effGetParamDisplay, Corvex::kVolume, 0, text);
    EXPECT_STREQ(text, "-6.02060");
    EXPECT_EQ(text[9], kGuard);
    dispatch(effGetParamLabel, Corvex::kVolume, 0, text);
    EXPECT_STREQ(text, "dB");
    dispatch(effGetParamName, Corvex::kMonoStereo, 0, text);
    EXPECT_STREQ(text, "Mono/Stereo");

    // Out of range: the buffer is left as it was.
    std::memset(text, kGuard, sizeof(text));
    dispatch(effGetParamDisplay, 13, 0, text);
    dispatch(effGetParamName, -1, 0, text);
    dispatch(effGetParamLabel, 13, 0, text);
    EXPECT_EQ(text[0], kGuard);
}

TEST_F(Dispatcher, ProgramNamesByIndex) {
    char name[] = "Ninth";
    dispatch(effSetProgram, 0, 9);
    dispatch(effSetProgramName, 0, 0, name);
    dispatch(effSetProgram, 0, 0);

    char text[40];
    std::memset(text, kGuard, sizeof(text));
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 9, 0, text), 1);
    EXPECT_STREQ(text, "Ninth");
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 0, 0, text), 1);
    EXPECT_STREQ(text, "Init");

    std::memset(text, kGuard, sizeof(text));
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, 10, 0, text), 0);
    EXPECT_EQ(dispatch(effGetProgramNameIndexed, -1, 0, text), 0);
    EXPECT_EQ(text[0], kGuard);
}

TEST_F(Dispatcher, SampleRateAndBlockSize) {
    dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_EQ(effect->getSampleRate(), 48000.0f);
    dispatch(effSetBlockSize, 0, 512);
    EXPECT_EQ(effect->getBlockSize(), 512);

    // Rates and sizes no design can use are refused; the last good ones stay.
    for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
        dispatch(effSetSampleRate, 0, 0, nullptr, bad);
    EXPECT_EQ(effect->getSampleRate(), 48000.0f);
    EXPECT_DOUBLE_EQ(effect->amp.oversampledRate(), 192000.0);
    dispatch(effSetBlockSize, 0, 0);
    dispatch(effSetBlockSize, 0, -64);
    EXPECT_EQ(effect->getBlockSize(), 512);
}

TEST_F(Dispatcher, SpeakerArrangementIsNotOffered) {
    VstSpeakerArrangement* input = reinterpret_cast<VstSpeakerArrangement*>(&input);
    VstSpeakerArrangement* output = reinterpret_cast<VstSpeakerArrangement*>(&output);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);

    VstSpeakerArrangement arrangement = {};
    EXPECT_EQ(dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&arrangement), &arrangement), 0);
}

TEST_F(Dispatcher, EditorRequestsWithoutEditorAnswerZero) {
    // An effect whose editor could not be made runs without one.
    delete effect->getEditor();
    ASSERT_EQ(effect->getEditor(), nullptr);
    EXPECT_EQ(effect->getAeffect()->flags & effFlagsHasEditor, 0);
    ERect* rect = reinterpret_cast<ERect*>(&rect);
    int window = 0;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 0);
    EXPECT_EQ(effect->getEditor(), nullptr);
}

TEST_F(Dispatcher, EditorRequestsReachTheEditor) {
    auto* editor = new RecordingEditor(effect);
    EXPECT_EQ(effect->getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);

    // The base editor has no rectangle: it stores null and says so.
    ERect* rect = reinterpret_cast<ERect*>(&rect);
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, nullptr);

    int window = 0;
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 1);
    ASSERT_EQ(editor->openedWith.size(), 1u);
    EXPECT_EQ(editor->openedWith[0], &window);
    EXPECT_TRUE(editor->isOpen());
    editor->openAnswer = false;
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, &window), 0);

    EXPECT_EQ(dispatch(effEditIdle), 0);
    EXPECT_EQ(editor->idleCount, 1);
    EXPECT_EQ(dispatch(effEditClose), 0);
    EXPECT_EQ(editor->closeCount, 1);
    EXPECT_FALSE(editor->isOpen());

    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 1);
    ASSERT_EQ(editor->knobModes.size(), 1u);
    EXPECT_EQ(editor->knobModes[0], 2);

    // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep: nothing.
    for (VstInt32 opcode : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep})
        EXPECT_EQ(dispatch(opcode, 0, 0, &window), 0);
    EXPECT_EQ(editor->idleCount, 1);
    EXPECT_EQ(editor->closeCount, 1);
}

TEST_F(Dispatcher, KeyOpcodesBuildTheKeyRecord) {
    auto* editor = new RecordingEditor(effect);
    EXPECT_EQ(dispatch(effEditKeyDown, 'q', VKEY_LEFT, nullptr, static_cast<float>(MODIFIER_SHIFT)), 1);
    EXPECT_EQ(dispatch(effEditKeyUp, 'w', 0x1FF, nullptr, 9.9f), 1);
    editor->keyAnswer = false;
    EXPECT_EQ(dispatch(effEditKeyDown, 0, 0, nullptr, -1.5f), 0);
    dispatch(effEditKeyDown, 0, 0, nullptr, 300.7f);
    dispatch(effEditKeyDown, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
    dispatch(effEditKeyDown, 0, 0, nullptr, 1e30f);

    ASSERT_EQ(editor->keysDown.size(), 5u);
    ASSERT_EQ(editor->keysUp.size(), 1u);
    EXPECT_EQ(editor->keysDown[0].character, 'q');
    EXPECT_EQ(editor->keysDown[0].virt, VKEY_LEFT);
    EXPECT_EQ(editor->keysDown[0].modifier, MODIFIER_SHIFT);
    // Low 8 bits of value; opt truncated toward zero.
    EXPECT_EQ(editor->keysUp[0].character, 'w');
    EXPECT_EQ(editor->keysUp[0].virt, 0xFF);
    EXPECT_EQ(editor->keysUp[0].modifier, 9);
    EXPECT_EQ(editor->keysDown[1].modifier, 0xFF);        // -1
    EXPECT_EQ(editor->keysDown[2].modifier, 300 & 0xFF);  // 300
    // No integer value: no modifiers.
    EXPECT_EQ(editor->keysDown[3].modifier, 0);
    EXPECT_EQ(editor->keysDown[4].modifier, 0);
}
