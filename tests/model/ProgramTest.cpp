// Programs and chunks: the default program, write-through of edits, program
// names at and beyond the 24-character field, the byte layout the host
// stores, and chunks that restore the effect exactly (or are refused).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/CorvexProbe.h"
#include "tests/support/FakeHost.h"
#include "tests/support/RecordingEditor.h"

namespace {

using Bytes = std::vector<unsigned char>;

class Programs : public ::testing::Test {
protected:
    Programs() : effect(new CorvexProbe(FakeHost::callback)) {}
    ~Programs() override { effect->dispatch(effClose); }

    static Bytes chunkOf(CorvexProbe* of, bool preset) {
        void* data = nullptr;
        const VstIntPtr size = of->dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
        const auto* bytes = static_cast<const unsigned char*>(data);
        return Bytes(bytes, bytes + size);
    }

    static float floatAt(const Bytes& bytes, std::size_t offset) {
        float value;
        std::memcpy(&value, bytes.data() + offset, sizeof(value));
        return value;
    }

    static double doubleAt(const Bytes& bytes, std::size_t offset) {
        double value;
        std::memcpy(&value, bytes.data() + offset, sizeof(value));
        return value;
    }

    std::string programName() {
        char text[40];
        std::memset(text, '#', sizeof(text));
        effect->dispatch(effGetProgramName, 0, 0, text);
        EXPECT_EQ(text[24], 0);
        EXPECT_EQ(text[25], '#') << "program name wrote more than 25 bytes";
        return text;
    }

    std::vector<float> parameters(CorvexProbe* of) {
        std::vector<float> values;
        for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
            values.push_back(of->getParameter(i));
        return values;
    }

    FakeHost host;
    CorvexProbe* effect;
};

// Float offsets of the thirteen parameters in a program record.
const std::size_t kFieldOffset[Corvex::kNumParams] = {24, 28, 32, 36, 40, 44, 48, 52, 68, 56, 60, 64, 72};
// Offsets of the per-channel values inside a channel's block of doubles.
struct ChannelField {
    VstInt32 parameter;
    std::size_t offset;
};
const ChannelField kChannelFields[] = {{Corvex::kInput, 0},   {Corvex::kDrive, 8},    {Corvex::kContour, 16},
                                       {Corvex::kLow, 24},    {Corvex::kMid, 32},     {Corvex::kHigh, 40},
                                       {Corvex::kVolume, 48}, {Corvex::kPowerAmp, 56}};

}  // namespace

TEST_F(Programs, EveryProgramStartsAsInit) {
    const Bytes bank = chunkOf(effect, false);
    ASSERT_EQ(bank.size(), 2080u);
    const float defaults[] = {0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f};
    for (int program = 0; program < 10; ++program) {
        const std::size_t base = 208u * program;
        EXPECT_STREQ(reinterpret_cast<const char*>(bank.data() + base), "Init") << program;
        for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
            EXPECT_EQ(floatAt(bank, base + kFieldOffset[i]), defaults[i]) << program << "/" << i;
        for (int value = 0; value < 16; ++value)
            EXPECT_EQ(doubleAt(bank, base + 80 + 8 * value), 0.5) << program << "/" << value;
    }
}

TEST_F(Programs, RecordLayoutFollowsEachParameter) {
    // Distinct values on channel 1 land in their own fields and doubles.
    effect->setParameter(Corvex::kChannel, 1.0f);
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
        if (i != Corvex::kChannel)
            effect->setParameter(i, 0.01f * static_cast<float>(i + 1));
    const Bytes record = chunkOf(effect, true);
    ASSERT_EQ(record.size(), 208u);
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
        EXPECT_EQ(floatAt(record, kFieldOffset[i]), effect->getParameter(i)) << i;
    for (const ChannelField& field : kChannelFields) {
        EXPECT_EQ(doubleAt(record, 144 + field.offset), static_cast<double>(effect->getParameter(field.parameter)))
            << field.parameter;
        EXPECT_EQ(doubleAt(record, 80 + field.offset), 0.5) << "channel 0 untouched " << field.parameter;
    }
}

TEST_F(Programs, EditsAreWrittenThroughIntoTheCurrentProgram) {
    effect->setParameter(Corvex::kDrive, 0.7f);
    effect->setParameter(Corvex::kMixPls, 0.1f);
    effect->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.5f);
    EXPECT_EQ(effect->getParameter(Corvex::kMixPls), 0.5f);
    effect->dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.7f);
    EXPECT_EQ(effect->getParameter(Corvex::kMixPls), 0.1f);
}

TEST_F(Programs, ProgramChangeSelectsTheStoredChannel) {
    effect->dispatch(effSetProgram, 0, 2);
    effect->setParameter(Corvex::kDrive, 0.25f);
    effect->setParameter(Corvex::kChannel, 1.0f);
    effect->setParameter(Corvex::kDrive, 0.85f);
    effect->setParameter(Corvex::kQuality, 1.0f);
    effect->dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(effect->activeChannel.load(), 0);
    EXPECT_EQ(effect->amp.oversampling(), 4);
    effect->dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(effect->activeChannel.load(), 1);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.85f);
    EXPECT_EQ(effect->amp.oversampling(), 8);
    effect->setParameter(Corvex::kChannel, 0.0f);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.25f);
}

TEST_F(Programs, ProgramChangeReachesTheEditorForEveryParameter) {
    auto* editor = new RecordingEditor(effect);
    effect->dispatch(effSetProgram, 0, 5);
    std::vector<bool> seen(Corvex::kNumParams, false);
    for (const auto& call : editor->parameterCalls) {
        ASSERT_GE(call.first, 0);
        ASSERT_LT(call.first, Corvex::kNumParams);
        seen[call.first] = true;
    }
    for (VstInt32 i = 0; i < Corvex::kNumParams; ++i)
        EXPECT_TRUE(seen[i]) << i;
    // The last four are the shared ones, in this order.
    ASSERT_GE(editor->parameterCalls.size(), 4u);
    const auto tail =
        std::vector<std::pair<VstInt32, float>>(editor->parameterCalls.end() - 4, editor->parameterCalls.end());
    const std::vector<std::pair<VstInt32, float>> expected = {
        {Corvex::kMixPls, 0.5f}, {Corvex::kMonoStereo, 0.0f}, {Corvex::kQuality, 0.0f}, {Corvex::kBoost, 0.0f}};
    EXPECT_EQ(tail, expected);
}

TEST_F(Programs, NamesAreCutToTheFieldAndNeverOverflowIt) {
    effect->setParameter(Corvex::kInput, 0.33f);
    char longName[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";  // 30 characters
    effect->dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(programName(), "ABCDEFGHIJKLMNOPQRSTUVWX");
    EXPECT_EQ(effect->getParameter(Corvex::kInput), 0.33f);
    EXPECT_EQ(effect->programs[0].input, 0.33f);

    char text[40];
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 0, 0, text), 1);
    EXPECT_STREQ(text, "ABCDEFGHIJKLMNOPQRSTUVWX");

    // A shorter name clears the rest of the field.
    char shortName[] = "Lead";
    effect->dispatch(effSetProgramName, 0, 0, shortName);
    EXPECT_EQ(programName(), "Lead");
    for (int i = 4; i < 24; ++i)
        EXPECT_EQ(effect->programs[0].name[i], 0) << i;
}

TEST_F(Programs, AFullNameWithoutTerminatorReadsBackWithOne) {
    // A chunk may carry a 24-character name with no zero after it.
    Bytes record = chunkOf(effect, true);
    std::memset(record.data(), 'Z', 24);
    ASSERT_EQ(effect->dispatch(effSetChunk, 1, 208, record.data()), 1);
    EXPECT_EQ(programName(), std::string(24, 'Z'));
    char text[40];
    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(effect->dispatch(effGetProgramNameIndexed, 0, 0, text), 1);
    EXPECT_EQ(std::string(text), std::string(24, 'Z'));
}

TEST_F(Programs, PresetChunkReplacesOnlyTheCurrentProgram) {
    effect->dispatch(effSetProgram, 0, 3);
    Bytes record = chunkOf(effect, true);
    const float mix = 0.2f;
    std::memcpy(record.data() + 36, &mix, sizeof(mix));
    std::memcpy(record.data(), "Preset", 7);
    const Bytes bankBefore = chunkOf(effect, false);

    ASSERT_EQ(effect->dispatch(effSetChunk, 1, 208, record.data()), 1);
    EXPECT_EQ(effect->getProgram(), 3);
    EXPECT_EQ(effect->getParameter(Corvex::kMixPls), 0.2f);
    EXPECT_EQ(programName(), "Preset");
    const Bytes bankAfter = chunkOf(effect, false);
    for (std::size_t i = 0; i < bankAfter.size(); ++i) {
        if (i / 208 != 3) {
            ASSERT_EQ(bankAfter[i], bankBefore[i]) << "byte " << i << " outside program 3";
        }
    }
}

TEST_F(Programs, BankRoundTripRestoresEveryProgramAndBothChannels) {
    // A distinctive bank: every program different, both channels edited,
    // the second channel left selected in some programs.
    for (VstInt32 program = 0; program < 10; ++program) {
        effect->dispatch(effSetProgram, 0, program);
        const float base = 0.05f * static_cast<float>(program);
        for (const ChannelField& field : kChannelFields)
            effect->setParameter(field.parameter, base + 0.001f * static_cast<float>(field.parameter));
        effect->setParameter(Corvex::kChannel, 1.0f);
        for (const ChannelField& field : kChannelFields)
            effect->setParameter(field.parameter, base + 0.5f + 0.001f * static_cast<float>(field.parameter));
        if (program % 2 == 0)
            effect->setParameter(Corvex::kChannel, 0.0f);
        effect->setParameter(Corvex::kMixPls, base);
        effect->setParameter(Corvex::kMonoStereo, program % 3 == 0 ? 1.0f : 0.0f);
        effect->setParameter(Corvex::kQuality, program % 4 == 0 ? 1.0f : 0.0f);
        effect->setParameter(Corvex::kBoost, program % 5 == 0 ? 1.0f : 0.0f);
        char name[16];
        std::snprintf(name, sizeof(name), "Program %d", program);
        effect->dispatch(effSetProgramName, 0, 0, name);
    }
    effect->dispatch(effSetProgram, 0, 7);
    Bytes saved = chunkOf(effect, false);
    // Bytes the effect never reads still travel with the chunk.
    saved[208 * 4 + 76] = 0xAB;
    saved[208 * 4 + 20] = 'q';
    const std::vector<float> parametersSaved = parameters(effect);

    FakeHost otherHost;
    auto* restored = new CorvexProbe(FakeHost::callback);
    restored->dispatch(effSetProgram, 0, 7);
    ASSERT_EQ(restored->dispatch(effSetChunk, 0, 2080, saved.data()), 1);
    EXPECT_EQ(restored->getProgram(), 7);
    EXPECT_EQ(parameters(restored), parametersSaved);
    EXPECT_EQ(chunkOf(restored, false), saved);

    // The unselected channel's values came along too.
    for (VstInt32 program = 0; program < 10; ++program) {
        effect->dispatch(effSetProgram, 0, program);
        restored->dispatch(effSetProgram, 0, program);
        for (float channel : {0.0f, 1.0f}) {
            effect->setParameter(Corvex::kChannel, channel);
            restored->setParameter(Corvex::kChannel, channel);
            EXPECT_EQ(parameters(restored), parameters(effect)) << "program " << program << " channel " << channel;
        }
    }
    restored->dispatch(effClose);
}

TEST_F(Programs, SetChunkKeepsTheCurrentProgramAndTellsTheEditor) {
    effect->dispatch(effSetProgram, 0, 6);
    Bytes bank = chunkOf(effect, false);
    const float drive = 0.9f;
    const double driveWide = drive;
    std::memcpy(bank.data() + 208 * 6 + 32, &drive, sizeof(drive));
    std::memcpy(bank.data() + 208 * 6 + 80 + 8, &driveWide, sizeof(driveWide));
    auto* editor = new RecordingEditor(effect);
    ASSERT_EQ(effect->dispatch(effSetChunk, 0, 2080, bank.data()), 1);
    EXPECT_EQ(effect->getProgram(), 6);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.9f);
    bool driveTold = false;
    for (const auto& call : editor->parameterCalls)
        driveTold = driveTold || (call.first == Corvex::kDrive && call.second == 0.9f);
    EXPECT_TRUE(driveTold);
}

TEST_F(Programs, LoadingTakesChannelValuesFromTheDoubles) {
    // The eight float mirrors are ignored on load; the selected channel's
    // doubles decide, and the mirrors are rewritten from them.
    Bytes record = chunkOf(effect, true);
    const float staleDrive = 0.01f;
    const double drive = 0.75;
    std::memcpy(record.data() + 32, &staleDrive, sizeof(staleDrive));
    std::memcpy(record.data() + 80 + 8, &drive, sizeof(drive));
    ASSERT_EQ(effect->dispatch(effSetChunk, 1, 208, record.data()), 1);
    EXPECT_EQ(effect->getParameter(Corvex::kDrive), 0.75f);
    EXPECT_EQ(floatAt(chunkOf(effect, true), 32), 0.75f);
}

TEST_F(Programs, ChunkHandedBackInPlaceIsAccepted) {
    effect->setParameter(Corvex::kHigh, 0.3f);
    void* data = nullptr;
    const VstIntPtr size = effect->dispatch(effGetChunk, 0, 0, &data);
    const Bytes before = chunkOf(effect, false);
    EXPECT_EQ(effect->dispatch(effSetChunk, 0, size, data), 1);
    EXPECT_EQ(chunkOf(effect, false), before);
    EXPECT_EQ(effect->getParameter(Corvex::kHigh), 0.3f);
}

TEST_F(Programs, RefusedChunksChangeNothing) {
    effect->setParameter(Corvex::kLow, 0.4f);
    const Bytes before = chunkOf(effect, false);
    const std::vector<float> parametersBefore = parameters(effect);
    Bytes garbage(4096, 0xFF);
    for (VstInt32 size : {0, 1, 207, 209, 2079, 2081, 4096, -208})
        for (VstInt32 preset : {0, 1})
            EXPECT_EQ(effect->setChunk(garbage.data(), size, preset != 0), 0) << size << "/" << preset;
    EXPECT_EQ(effect->setChunk(nullptr, 208, true), 0);
    EXPECT_EQ(effect->setChunk(nullptr, 2080, false), 0);
    EXPECT_EQ(effect->getChunk(nullptr, false), 0);
    EXPECT_EQ(chunkOf(effect, false), before);
    EXPECT_EQ(parameters(effect), parametersBefore);
}

TEST_F(Programs, DirectCallsWithBadArgumentsAreRefused) {
    const Bytes before = chunkOf(effect, false);
    effect->setProgram(10);
    effect->setProgram(-1);
    EXPECT_EQ(effect->getProgram(), 0);
    effect->setProgramName(nullptr);
    effect->getProgramName(nullptr);
    EXPECT_FALSE(effect->getProgramNameIndexed(0, 0, nullptr));
    EXPECT_FALSE(effect->getEffectName(nullptr));
    EXPECT_FALSE(effect->getVendorString(nullptr));
    EXPECT_FALSE(effect->getProductString(nullptr));
    effect->getParameterDisplay(0, nullptr);
    effect->getParameterLabel(9, nullptr);
    effect->getParameterName(0, nullptr);
    EXPECT_EQ(chunkOf(effect, false), before);
}
