// The entry point and the record a host receives: what the record says right
// after creation, refusal of hosts that do not answer, the record slots'
// tolerance of a broken record, close deleting the instance, and instances
// that share nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/PluginEntry.h"
#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"
#include "tests/support/RecordingEditor.h"

namespace {

// effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks: the
// effect constructs its editor.
constexpr VstInt32 kExpectedRecordFlags = 0x31;

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

}  // namespace

TEST(EntryPoint, RecordRightAfterCreation) {
    FakeHost host;
    AEffect* effect = pluginMain(FakeHost::callback);
    ASSERT_NE(effect, nullptr);

    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->numPrograms, 10);
    EXPECT_EQ(effect->numParams, 13);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, kExpectedRecordFlags);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->uniqueID, 0x43525658);  // "CRVX"
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    const char zeros[sizeof(effect->future)] = {};
    EXPECT_EQ(std::memcmp(effect->future, zeros, sizeof(zeros)), 0);
    EXPECT_NE(effect->dispatcher, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);

    // `object` leads back to the instance that owns this very record.
    auto* instance = static_cast<AudioEffect*>(effect->object);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->getAeffect(), effect);
    EXPECT_EQ(instance->getSampleRate(), 44100.0f);
    EXPECT_EQ(instance->getBlockSize(), 1024);

    // The only host call so far is the version query, with a null record.
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(host.calls[0].effect, nullptr);
    EXPECT_EQ(host.calls[0].index, 0);
    EXPECT_EQ(host.calls[0].value, 0);
    EXPECT_EQ(host.calls[0].ptr, nullptr);
    EXPECT_EQ(host.calls[0].opt, 0.0f);

    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST(EntryPoint, RefusesAHostThatAnswersZeroToTheVersionQuery) {
    FakeHost host;
    host.answers[audioMasterVersion] = 0;
    EXPECT_EQ(pluginMain(FakeHost::callback), nullptr);
    EXPECT_EQ(host.calls.size(), 1u);
}

TEST(EntryPoint, RefusesANullHostCallback) {
    FakeHost host;
    EXPECT_EQ(pluginMain(nullptr), nullptr);
    EXPECT_TRUE(host.calls.empty());
}

TEST(EntryPoint, CloseAnswersOneAndDeletesTheInstanceAndItsEditor) {
    FakeHost host;
    const int aliveBefore = CorvexProbe::alive;
    auto* effect = new CorvexProbe(FakeHost::callback);
    int editorsDestroyed = 0;
    new RecordingEditor(effect, &editorsDestroyed);
    EXPECT_EQ(CorvexProbe::alive, aliveBefore + 1);

    AEffect* record = effect->getAeffect();
    EXPECT_EQ(dispatch(record, effClose), 1);
    EXPECT_EQ(CorvexProbe::alive, aliveBefore);
    EXPECT_EQ(editorsDestroyed, 1);
}

TEST(EntryPoint, TwoInstancesShareNothing) {
    FakeHost host;
    AEffect* first = pluginMain(FakeHost::callback);
    AEffect* second = pluginMain(FakeHost::callback);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);

    first->setParameter(first, Corvex::kDrive, 0.9f);
    first->setParameter(first, Corvex::kChannel, 1.0f);
    dispatch(first, effSetProgram, 0, 3);
    char name[] = "First only";
    dispatch(first, effSetProgramName, 0, 0, name);
    dispatch(first, effSetSampleRate, 0, 0, nullptr, 96000.0f);

    EXPECT_EQ(second->getParameter(second, Corvex::kDrive), 0.5f);
    EXPECT_EQ(second->getParameter(second, Corvex::kChannel), 0.0f);
    EXPECT_EQ(dispatch(second, effGetProgram), 0);
    char secondName[25];
    dispatch(second, effGetProgramNameIndexed, 3, 0, secondName);
    EXPECT_STREQ(secondName, "Init");
    EXPECT_EQ(static_cast<AudioEffect*>(second->object)->getSampleRate(), 44100.0f);

    void* firstBank = nullptr;
    void* secondBank = nullptr;
    dispatch(first, effGetChunk, 0, 0, &firstBank);
    dispatch(second, effGetChunk, 0, 0, &secondBank);
    EXPECT_NE(firstBank, secondBank);

    dispatch(first, effClose);
    dispatch(second, effClose);
}

TEST(RecordSlots, TolerateARecordWithoutInstance) {
    FakeHost host;
    AEffect* effect = pluginMain(FakeHost::callback);
    ASSERT_NE(effect, nullptr);

    // A copy of the record whose object is null, as a confused host might
    // hand back: every slot answers 0 and does nothing.
    AEffect orphan = *effect;
    orphan.object = nullptr;
    float sample = 1.0f;
    float* channels[2] = {&sample, &sample};
    double wide = 1.0;
    double* wideChannels[2] = {&wide, &wide};
    EXPECT_EQ(orphan.dispatcher(&orphan, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(orphan.dispatcher(&orphan, effClose, 0, 0, nullptr, 0.0f), 0);
    orphan.setParameter(&orphan, 0, 0.25f);
    EXPECT_EQ(orphan.getParameter(&orphan, 0), 0.0f);
    orphan.processReplacing(&orphan, channels, channels, 1);
    orphan.process(&orphan, channels, channels, 1);
    orphan.processDoubleReplacing(&orphan, wideChannels, wideChannels, 1);
    EXPECT_EQ(sample, 1.0f);

    // A null record is refused the same way.
    EXPECT_EQ(effect->dispatcher(nullptr, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
    effect->setParameter(nullptr, 0, 0.25f);
    EXPECT_EQ(effect->getParameter(nullptr, 0), 0.0f);
    effect->processReplacing(nullptr, channels, channels, 1);

    // The real instance was not touched.
    EXPECT_EQ(effect->getParameter(effect, 0), 0.5f);
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST(RecordSlots, AccumulatingAndDoubleProcessingLeaveTheOutputsAlone) {
    FakeHost host;
    AEffect* effect = pluginMain(FakeHost::callback);
    ASSERT_NE(effect, nullptr);
    float in[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float out[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float* inputs[2] = {in, in};
    float* outputs[2] = {out, out};
    effect->process(effect, inputs, outputs, 4);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[3], 4.0f);

    double wideIn[2] = {0.5, 0.5};
    double wideOut[2] = {7.0, 8.0};
    double* wideInputs[2] = {wideIn, wideIn};
    double* wideOutputs[2] = {wideOut, wideOut};
    effect->processDoubleReplacing(effect, wideInputs, wideOutputs, 2);
    EXPECT_EQ(wideOut[0], 7.0);
    EXPECT_EQ(wideOut[1], 8.0);
    EXPECT_EQ(effect->flags & effFlagsCanDoubleReplacing, 0);
    dispatch(effect, effClose);
}
