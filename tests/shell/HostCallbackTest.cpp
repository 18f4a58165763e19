// The calls the effect makes into its host: every wrapper sends exactly its
// opcode and arguments with the effect's own record, interprets the answer
// as documented, and falls back to its default without a host. Also the
// base class's flag setters, the resume step and the speaker arrangement
// helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/Corvex.h"
#include "tests/support/FakeHost.h"

namespace {

// A bare effect on the extended base, recording its parameter calls.
class TestEffect : public AudioEffectX {
public:
    explicit TestEffect(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, 1, 4) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override {
        setParameterCalls.push_back({index, value, hostCallsSoFar ? hostCallsSoFar() : 0});
    }
    VstInt32 canDo(char* text) override { return wantsMidi && std::strcmp(text, "receiveVstMidiEvent") == 0; }

    struct ParameterCall {
        VstInt32 index;
        float value;
        std::size_t hostCallsBefore;
    };
    std::vector<ParameterCall> setParameterCalls;
    std::function<std::size_t()> hostCallsSoFar;
    bool wantsMidi = false;
};

struct Expected {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

void expectSingleCall(const FakeHost& host, AEffect* record, const Expected& expected, const char* what) {
    ASSERT_EQ(host.calls.size(), 1u) << what;
    const HostCall& call = host.calls[0];
    EXPECT_EQ(call.effect, record) << what;
    EXPECT_EQ(call.opcode, expected.opcode) << what;
    EXPECT_EQ(call.index, expected.index) << what;
    EXPECT_EQ(call.value, expected.value) << what;
    EXPECT_EQ(call.ptr, expected.ptr) << what;
    EXPECT_EQ(call.opt, expected.opt) << what;
}

}  // namespace

TEST(HostCallbacks, EachWrapperSendsItsOpcodeAndArguments) {
    char text[] = "sizeWindow";
    int marker = 0;
    void* p = &marker;
    auto* task = reinterpret_cast<VstOfflineTask*>(&marker);
    auto* files = reinterpret_cast<VstAudioFile*>(&marker);
    auto* select = reinterpret_cast<VstFileSelect*>(&marker);

    struct Case {
        const char* what;
        std::function<void(TestEffect&)> call;
        Expected expected;
    };
    const std::vector<Case> cases = {
        {"setParameterAutomated",
         [](TestEffect& e) { e.setParameterAutomated(3, 0.25f); },
         {audioMasterAutomate, 3, 0, nullptr, 0.25f}},
        {"getMasterVersion", [](TestEffect& e) { e.getMasterVersion(); }, {audioMasterVersion, 0, 0, nullptr, 0}},
        {"getCurrentUniqueId", [](TestEffect& e) { e.getCurrentUniqueId(); }, {audioMasterCurrentId, 0, 0, nullptr, 0}},
        {"masterIdle", [](TestEffect& e) { e.masterIdle(); }, {audioMasterIdle, 0, 0, nullptr, 0}},
        {"isInputConnected", [](TestEffect& e) { e.isInputConnected(1); }, {audioMasterPinConnected, 1, 0, nullptr, 0}},
        {"isOutputConnected",
         [](TestEffect& e) { e.isOutputConnected(1); },
         {audioMasterPinConnected, 1, 1, nullptr, 0}},
        {"wantEvents", [](TestEffect& e) { e.wantEvents(5); }, {audioMasterWantMidi, 0, 5, nullptr, 0}},
        {"getTimeInfo", [](TestEffect& e) { e.getTimeInfo(0x200); }, {audioMasterGetTime, 0, 0x200, nullptr, 0}},
        {"tempoAt", [](TestEffect& e) { e.tempoAt(777); }, {audioMasterTempoAt, 0, 777, nullptr, 0}},
        {"getNumAutomatableParameters",
         [](TestEffect& e) { e.getNumAutomatableParameters(); },
         {audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0}},
        {"getParameterQuantization",
         [](TestEffect& e) { e.getParameterQuantization(); },
         {audioMasterGetParameterQuantization, 0, 0, nullptr, 0}},
        {"ioChanged", [](TestEffect& e) { e.ioChanged(); }, {audioMasterIOChanged, 0, 0, nullptr, 0}},
        {"needIdle", [](TestEffect& e) { e.needIdle(); }, {audioMasterNeedIdle, 0, 0, nullptr, 0}},
        {"sizeWindow", [](TestEffect& e) { e.sizeWindow(660, 248); }, {audioMasterSizeWindow, 660, 248, nullptr, 0}},
        {"updateSampleRate", [](TestEffect& e) { e.updateSampleRate(); }, {audioMasterGetSampleRate, 0, 0, nullptr, 0}},
        {"updateBlockSize", [](TestEffect& e) { e.updateBlockSize(); }, {audioMasterGetBlockSize, 0, 0, nullptr, 0}},
        {"getInputLatency", [](TestEffect& e) { e.getInputLatency(); }, {audioMasterGetInputLatency, 0, 0, nullptr, 0}},
        {"getOutputLatency",
         [](TestEffect& e) { e.getOutputLatency(); },
         {audioMasterGetOutputLatency, 0, 0, nullptr, 0}},
        {"getPreviousPlug",
         [](TestEffect& e) { e.getPreviousPlug(0); },
         {audioMasterGetPreviousPlug, 0, 0, nullptr, 0}},
        {"getNextPlug", [](TestEffect& e) { e.getNextPlug(0); }, {audioMasterGetNextPlug, 0, 0, nullptr, 0}},
        {"willProcessReplacing",
         [](TestEffect& e) { e.willProcessReplacing(); },
         {audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0}},
        {"getCurrentProcessLevel",
         [](TestEffect& e) { e.getCurrentProcessLevel(); },
         {audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0}},
        {"getAutomationState",
         [](TestEffect& e) { e.getAutomationState(); },
         {audioMasterGetAutomationState, 0, 0, nullptr, 0}},
        {"offlineStart",
         [files](TestEffect& e) { e.offlineStart(files, 3, 2); },
         {audioMasterOfflineStart, 2, 3, p, 0}},
        {"offlineRead", [task](TestEffect& e) { e.offlineRead(task, 4, true); }, {audioMasterOfflineRead, 1, 4, p, 0}},
        {"offlineWrite", [task](TestEffect& e) { e.offlineWrite(task, 4); }, {audioMasterOfflineWrite, 0, 4, p, 0}},
        {"offlineGetCurrentPass",
         [](TestEffect& e) { e.offlineGetCurrentPass(); },
         {audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0}},
        {"offlineGetCurrentMetaPass",
         [](TestEffect& e) { e.offlineGetCurrentMetaPass(); },
         {audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0}},
        {"setOutputSamplerate",
         [](TestEffect& e) { e.setOutputSamplerate(96000.0f); },
         {audioMasterSetOutputSampleRate, 0, 0, nullptr, 96000.0f}},
        {"getOutputSpeakerArrangement",
         [](TestEffect& e) { e.getOutputSpeakerArrangement(); },
         {audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0}},
        {"getInputSpeakerArrangement",
         [](TestEffect& e) { e.getInputSpeakerArrangement(); },
         {audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0}},
        {"getHostVendorString",
         [text](TestEffect& e) mutable { e.getHostVendorString(text); },
         {audioMasterGetVendorString, 0, 0, nullptr, 0}},
        {"getHostProductString",
         [text](TestEffect& e) mutable { e.getHostProductString(text); },
         {audioMasterGetProductString, 0, 0, nullptr, 0}},
        {"getHostVendorVersion",
         [](TestEffect& e) { e.getHostVendorVersion(); },
         {audioMasterGetVendorVersion, 0, 0, nullptr, 0}},
        {"hostVendorSpecific",
         [p](TestEffect& e) { e.hostVendorSpecific(7, 8, p, 0.5f); },
         {audioMasterVendorSpecific, 7, 8, p, 0.5f}},
        {"getHostLanguage", [](TestEffect& e) { e.getHostLanguage(); }, {audioMasterGetLanguage, 0, 0, nullptr, 0}},
        {"openWindow", [p](TestEffect& e) { e.openWindow(p); }, {audioMasterOpenWindow, 0, 0, p, 0}},
        {"closeWindow", [p](TestEffect& e) { e.closeWindow(p); }, {audioMasterCloseWindow, 0, 0, p, 0}},
        {"getDirectory", [](TestEffect& e) { e.getDirectory(); }, {audioMasterGetDirectory, 0, 0, nullptr, 0}},
        {"updateDisplay", [](TestEffect& e) { e.updateDisplay(); }, {audioMasterUpdateDisplay, 0, 0, nullptr, 0}},
        {"beginEdit", [](TestEffect& e) { e.beginEdit(9); }, {audioMasterBeginEdit, 9, 0, nullptr, 0}},
        {"endEdit", [](TestEffect& e) { e.endEdit(9); }, {audioMasterEndEdit, 9, 0, nullptr, 0}},
        {"openFileSelector",
         [select](TestEffect& e) { e.openFileSelector(select); },
         {audioMasterOpenFileSelector, 0, 0, p, 0}},
        {"closeFileSelector",
         [select](TestEffect& e) { e.closeFileSelector(select); },
         {audioMasterCloseFileSelector, 0, 0, p, 0}},
        {"getChunkFile", [p](TestEffect& e) { e.getChunkFile(p); }, {audioMasterGetChunkFile, 0, 0, p, 0}},
    };

    for (const Case& c : cases) {
        FakeHost host;
        TestEffect effect(FakeHost::callback);
        c.call(effect);
        Expected expected = c.expected;
        // The string wrappers pass the caller's own buffer.
        if (expected.opcode == audioMasterGetVendorString || expected.opcode == audioMasterGetProductString)
            expected.ptr = host.calls.empty() ? nullptr : host.calls[0].ptr;
        expectSingleCall(host, effect.getAeffect(), expected, c.what);
    }

    FakeHost host;
    TestEffect effect(FakeHost::callback);
    EXPECT_EQ(effect.canHostDo(text), 0);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterCanDo);
    EXPECT_EQ(host.calls[0].ptr, static_cast<void*>(text));
}

TEST(HostCallbacks, AnswersAreInterpreted) {
    FakeHost host;
    TestEffect effect(FakeHost::callback);

    // A host answering 0 to the version query still counts as version 1.
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(effect.getMasterVersion(), 1);
    host.answers[audioMasterVersion] = 2400;
    EXPECT_EQ(effect.getMasterVersion(), 2400);

    // Pins count as connected unless the host says otherwise.
    EXPECT_TRUE(effect.isInputConnected(0));
    host.answers[audioMasterPinConnected] = 1;
    EXPECT_FALSE(effect.isOutputConnected(0));

    host.answers[audioMasterCanDo] = 5;
    char sizeWindow[] = "sizeWindow";
    EXPECT_EQ(effect.canHostDo(sizeWindow), 1);
    EXPECT_FALSE(effect.sizeWindow(100, 100));
    host.answers[audioMasterSizeWindow] = 1;
    EXPECT_TRUE(effect.sizeWindow(100, 100));

    // Only positive rates and sizes from the host are taken.
    host.answers[audioMasterGetSampleRate] = 96000;
    EXPECT_EQ(effect.updateSampleRate(), 96000.0f);
    EXPECT_EQ(effect.getSampleRate(), 96000.0f);
    host.answers[audioMasterGetSampleRate] = -1;
    EXPECT_EQ(effect.updateSampleRate(), 96000.0f);
    host.answers[audioMasterGetBlockSize] = 256;
    EXPECT_EQ(effect.updateBlockSize(), 256);
    host.answers[audioMasterGetBlockSize] = 0;
    EXPECT_EQ(effect.updateBlockSize(), 256);

    int timeInfo = 0;
    host.answers[audioMasterGetTime] = reinterpret_cast<VstIntPtr>(&timeInfo);
    EXPECT_EQ(static_cast<void*>(effect.getTimeInfo(0)), static_cast<void*>(&timeInfo));
}

TEST(HostCallbacks, NullPointersAreNotHandedToTheHost) {
    FakeHost host;
    TestEffect effect(FakeHost::callback);
    EXPECT_FALSE(effect.openFileSelector(nullptr));
    EXPECT_FALSE(effect.closeFileSelector(nullptr));
    EXPECT_FALSE(effect.getChunkFile(nullptr));
    EXPECT_FALSE(effect.getHostVendorString(nullptr));
    EXPECT_FALSE(effect.getHostProductString(nullptr));
    EXPECT_EQ(effect.canHostDo(nullptr), 0);
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostCallbacks, WithoutAHostEveryWrapperAnswersItsDefault) {
    FakeHost host;
    TestEffect effect(nullptr);
    EXPECT_EQ(effect.setParameterAutomated(1, 0.5f), 0);
    ASSERT_EQ(effect.setParameterCalls.size(), 1u);
    EXPECT_EQ(effect.getMasterVersion(), 1);
    EXPECT_EQ(effect.getCurrentUniqueId(), 0);
    effect.masterIdle();
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(0));
    EXPECT_EQ(effect.getTimeInfo(0), nullptr);
    EXPECT_FALSE(effect.beginEdit(0));
    EXPECT_FALSE(effect.endEdit(0));
    EXPECT_FALSE(effect.sizeWindow(1, 1));
    char text[] = "sizeWindow";
    EXPECT_EQ(effect.canHostDo(text), 0);
    EXPECT_EQ(effect.updateSampleRate(), 44100.0f);
    EXPECT_EQ(effect.updateBlockSize(), 1024);
    EXPECT_EQ(effect.getDirectory(), nullptr);
    EXPECT_EQ(effect.getPreviousPlug(0), nullptr);
    EXPECT_EQ(effect.getInputSpeakerArrangement(), nullptr);
    EXPECT_FALSE(effect.updateDisplay());
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostCallbacks, AutomationSetsTheParameterBeforeTellingTheHost) {
    FakeHost host;
    host.answers[audioMasterAutomate] = 42;
    TestEffect effect(FakeHost::callback);
    effect.hostCallsSoFar = [&host] { return host.calls.size(); };
    EXPECT_EQ(effect.setParameterAutomated(2, 0.75f), 42);
    ASSERT_EQ(effect.setParameterCalls.size(), 1u);
    EXPECT_EQ(effect.setParameterCalls[0].index, 2);
    EXPECT_EQ(effect.setParameterCalls[0].value, 0.75f);
    EXPECT_EQ(effect.setParameterCalls[0].hostCallsBefore, 0u);
    ASSERT_EQ(host.calls.size(), 1u);
}

TEST(ResumeStep, AsksForMidiOnlyForSynthsAndMidiReceivers) {
    {
        FakeHost host;
        TestEffect effect(FakeHost::callback);
        effect.resume();
        EXPECT_TRUE(host.calls.empty());
        effect.isSynth(true);
        effect.resume();
        ASSERT_EQ(host.callsWith(audioMasterWantMidi).size(), 1u);
        EXPECT_EQ(host.callsWith(audioMasterWantMidi)[0].value, 1);
    }
    {
        FakeHost host;
        TestEffect effect(FakeHost::callback);
        effect.wantsMidi = true;
        effect.resume();
        EXPECT_EQ(host.callsWith(audioMasterWantMidi).size(), 1u);
    }
    {
        // Corvex is neither: no request at construction or on resume.
        FakeHost host;
        Corvex corvex(FakeHost::callback);
        corvex.resume();
        EXPECT_TRUE(host.callsWith(audioMasterWantMidi).empty());
    }
}

TEST(EffectFlags, EachSetterOwnsItsBit) {
    TestEffect effect(nullptr);
    const AEffect* record = effect.getAeffect();
    struct FlagCase {
        std::function<void(bool)> set;
        VstInt32 bit;
    };
    const std::vector<FlagCase> cases = {
        {[&](bool s) { effect.hasClip(s); }, effFlagsHasClip},
        {[&](bool s) { effect.hasVu(s); }, effFlagsHasVu},
        {[&](bool s) { effect.canMono(s); }, effFlagsCanMono},
        {[&](bool s) { effect.canProcessReplacing(s); }, effFlagsCanReplacing},
        {[&](bool s) { effect.programsAreChunks(s); }, effFlagsProgramChunks},
        {[&](bool s) { effect.isSynth(s); }, effFlagsIsSynth},
        {[&](bool s) { effect.noTail(s); }, effFlagsNoSoundInStop},
        {[&](bool s) { effect.wantAsyncOperation(s); }, effFlagsExtIsAsync},
        {[&](bool s) { effect.hasExternalBuffer(s); }, effFlagsExtHasBuffer},
        {[&](bool s) { effect.canDoubleReplacing(s); }, effFlagsCanDoubleReplacing},
    };
    for (const FlagCase& c : cases) {
        const VstInt32 before = record->flags;
        c.set(true);
        EXPECT_EQ(record->flags, before | c.bit) << std::hex << c.bit;
        c.set(false);
        EXPECT_EQ(record->flags, before & ~c.bit) << std::hex << c.bit;
        c.set((before & c.bit) != 0);
    }
    effect.isSynth(true);
    EXPECT_EQ(effect.getPlugCategory(), 2);
}

TEST(SpeakerArrangements, AllocateCopyAndFree) {
    TestEffect effect(nullptr);
    VstSpeakerArrangement* source = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&source, 10));  // more than the eight declared entries
    EXPECT_EQ(source->numChannels, 10);
    EXPECT_EQ(source->type, 0);
    source->type = 7;
    VstSpeakerProperties* speakers = source->speakers;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(speakers[i].azimuth, 0.0f);
        speakers[i].azimuth = static_cast<float>(i);
        speakers[i].type = i + 100;
        std::memset(speakers[i].name, 'n', sizeof(speakers[i].name));  // no terminator at all
    }

    VstSpeakerArrangement* copy = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&copy, 1));
    ASSERT_TRUE(effect.matchArrangement(&copy, source));
    EXPECT_EQ(copy->type, 7);
    EXPECT_EQ(copy->numChannels, 10);
    VstSpeakerProperties* copied = copy->speakers;
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(copied[i].azimuth, static_cast<float>(i));
        EXPECT_EQ(copied[i].type, i + 100);
        EXPECT_EQ(std::strlen(copied[i].name), 63u);
    }

    // Matching an arrangement with itself keeps it intact.
    EXPECT_TRUE(effect.matchArrangement(&copy, copy));
    EXPECT_EQ(copy->numChannels, 10);

    EXPECT_FALSE(effect.copySpeaker(nullptr, speakers));
    EXPECT_FALSE(effect.matchArrangement(nullptr, source));
    EXPECT_FALSE(effect.matchArrangement(&copy, nullptr));
    EXPECT_FALSE(effect.allocateArrangement(&copy, -1));
    EXPECT_EQ(copy, nullptr);  // the old one was freed before the refusal
    EXPECT_FALSE(effect.allocateArrangement(nullptr, 2));

    EXPECT_TRUE(effect.deallocateArrangement(&source));
    EXPECT_EQ(source, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&copy));
    EXPECT_FALSE(effect.deallocateArrangement(nullptr));
}
