// The .fxp/.fxb reader and writer on their own: exact byte layout, round
// trips of all four variants, and refusal of damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "HostTestSupport.h"
#include "host/PresetFile.h"
#include "shell/vst2.h"

using namespace presetfile;

namespace {

int32_t beInt(const std::vector<uint8_t>& b, size_t at) {
    return (int32_t)(((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) | ((uint32_t)b[at + 2] << 8) |
                     (uint32_t)b[at + 3]);
}

void putBeInt(std::vector<uint8_t>& b, size_t at, int32_t v) {
    b[at] = (uint8_t)((uint32_t)v >> 24);
    b[at + 1] = (uint8_t)((uint32_t)v >> 16);
    b[at + 2] = (uint8_t)((uint32_t)v >> 8);
    b[at + 3] = (uint8_t)v;
}

std::string text(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string((const char*)&b[at], n);
}

PresetFile programChunk() {
    PresetFile f;
    f.kind = Kind::programChunk;
    f.fxID = vstFourCC('C', 'R', 'V', 'X');
    f.fxVersion = 1;
    f.numParams = 13;
    f.programName = "Crunch";
    for (int i = 0; i < 208; i++)
        f.chunk.push_back((uint8_t)(i * 7));
    return f;
}

PresetFile bankChunk() {
    PresetFile f;
    f.kind = Kind::bankChunk;
    f.formatVersion = 2;
    f.fxID = vstFourCC('C', 'R', 'V', 'X');
    f.fxVersion = 1;
    f.numPrograms = 10;
    f.currentProgram = 3;
    for (int i = 0; i < 2080; i++)
        f.chunk.push_back((uint8_t)(i ^ 0x5A));
    return f;
}

PresetFile programParams() {
    PresetFile f;
    f.kind = Kind::programParams;
    f.fxID = vstFourCC('F', 'A', 'K', 'E');
    f.fxVersion = 3;
    f.programName = "Lead";
    f.params = {0.0f, 0.25f, 1.0f, -0.5f, 3.0e-8f};
    f.numParams = 5;
    return f;
}

PresetFile bankParams() {
    PresetFile f;
    f.kind = Kind::bankParams;
    f.formatVersion = 2;
    f.fxID = vstFourCC('F', 'A', 'K', 'E');
    f.fxVersion = 3;
    f.currentProgram = 1;
    f.programs = {{"One", {0.1f, 0.2f}}, {"Two", {0.3f, 0.4f}}, {"Three", {0.5f, 0.6f}}};
    f.numPrograms = 3;
    return f;
}

bool parses(const std::vector<uint8_t>& bytes, PresetFile& out, std::string& error) {
    return parse(bytes.data(), bytes.size(), out, error);
}

}  // namespace

TEST(PresetFileLayout, ProgramChunkFieldsSitWhereHostsLookForThem) {
    std::vector<uint8_t> b = serialize(programChunk());
    ASSERT_EQ(b.size(), 60u + 208u);
    EXPECT_EQ(text(b, 0, 4), "CcnK");
    EXPECT_EQ(beInt(b, 4), (int32_t)b.size() - 8);
    EXPECT_EQ(text(b, 8, 4), "FPCh");
    EXPECT_EQ(beInt(b, 12), 1);  // format version
    EXPECT_EQ(text(b, 16, 4), "CRVX");
    EXPECT_EQ(beInt(b, 20), 1);   // plug-in version
    EXPECT_EQ(beInt(b, 24), 13);  // numParams
    EXPECT_EQ(text(b, 28, 7), std::string("Crunch\0", 7));
    for (size_t i = 34; i < 56; i++)
        EXPECT_EQ(b[i], 0) << "name field byte " << i;
    EXPECT_EQ(beInt(b, 56), 208);
    EXPECT_EQ(b[60], 0);
    EXPECT_EQ(b[61], 7);
    EXPECT_EQ(b.back(), (uint8_t)(207 * 7));
}

TEST(PresetFileLayout, BankChunkHasTheVersionTwoHeader) {
    std::vector<uint8_t> b = serialize(bankChunk());
    ASSERT_EQ(b.size(), 160u + 2080u);
    EXPECT_EQ(text(b, 0, 4), "CcnK");
    EXPECT_EQ(beInt(b, 4), (int32_t)b.size() - 8);
    EXPECT_EQ(text(b, 8, 4), "FBCh");
    EXPECT_EQ(beInt(b, 12), 2);
    EXPECT_EQ(text(b, 16, 4), "CRVX");
    EXPECT_EQ(beInt(b, 20), 1);
    EXPECT_EQ(beInt(b, 24), 10);  // numPrograms
    EXPECT_EQ(beInt(b, 28), 3);   // current program
    for (size_t i = 32; i < 156; i++)
        EXPECT_EQ(b[i], 0) << "reserved byte " << i;
    EXPECT_EQ(beInt(b, 156), 2080);
    EXPECT_EQ(b[160], 0x5A);
}

TEST(PresetFileLayout, ParameterListsAreBigEndianFloats) {
    std::vector<uint8_t> b = serialize(programParams());
    ASSERT_EQ(b.size(), 56u + 5 * 4);
    EXPECT_EQ(text(b, 8, 4), "FxCk");
    EXPECT_EQ(beInt(b, 24), 5);
    EXPECT_EQ(beInt(b, 56 + 4), 0x3E800000);            // 0.25f
    EXPECT_EQ(beInt(b, 56 + 8), 0x3F800000);            // 1.0f
    EXPECT_EQ(beInt(b, 56 + 12), (int32_t)0xBF000000);  // -0.5f

    std::vector<uint8_t> bank = serialize(bankParams());
    const size_t programSize = 56 + 2 * 4;
    ASSERT_EQ(bank.size(), 156 + 3 * programSize);
    EXPECT_EQ(text(bank, 8, 4), "FxBk");
    EXPECT_EQ(beInt(bank, 24), 3);
    EXPECT_EQ(text(bank, 156, 4), "CcnK");
    EXPECT_EQ(beInt(bank, 160), (int32_t)programSize - 8);
    EXPECT_EQ(text(bank, 164, 4), "FxCk");
    EXPECT_EQ(text(bank, 156 + programSize + 28, 3), "Two");
}

TEST(PresetFileRoundTrip, EveryVariantReadsBackAsWritten) {
    for (const PresetFile& original : {programChunk(), bankChunk(), programParams(), bankParams()}) {
        PresetFile back;
        std::string error;
        ASSERT_TRUE(parses(serialize(original), back, error)) << error;
        EXPECT_EQ(back.kind, original.kind);
        EXPECT_EQ(back.fxID, original.fxID);
        EXPECT_EQ(back.fxVersion, original.fxVersion);
        EXPECT_EQ(back.chunk, original.chunk);
        EXPECT_EQ(back.params, original.params);
        EXPECT_EQ(back.isBank(), original.isBank());
        if (original.isBank()) {
            EXPECT_EQ(back.currentProgram, original.currentProgram);
            EXPECT_EQ(back.numPrograms, original.numPrograms);
            ASSERT_EQ(back.programs.size(), original.programs.size());
            for (size_t i = 0; i < back.programs.size(); i++) {
                EXPECT_EQ(back.programs[i].name, original.programs[i].name);
                EXPECT_EQ(back.programs[i].params, original.programs[i].params);
            }
        } else {
            EXPECT_EQ(back.programName, original.programName);
            EXPECT_EQ(back.numParams, original.numParams);
        }
        // Writing what was read gives the same bytes.
        EXPECT_EQ(serialize(back), serialize(original));
    }
}

TEST(PresetFileRoundTrip, NamesAreCutToTheFieldAndReadWithoutTerminator) {
    PresetFile f = programChunk();
    f.programName = std::string(40, 'n');
    std::vector<uint8_t> b = serialize(f);
    EXPECT_EQ(b[28 + 27], 0);  // always terminated when written
    PresetFile back;
    std::string error;
    ASSERT_TRUE(parses(b, back, error)) << error;
    EXPECT_EQ(back.programName, std::string(27, 'n'));

    // Other writers may fill all 28 bytes: the name stops at the field's end.
    std::memset(&b[28], 'm', 28);
    ASSERT_TRUE(parses(b, back, error)) << error;
    EXPECT_EQ(back.programName, std::string(28, 'm'));
}

TEST(PresetFileRoundTrip, EmptyChunkAndVersionOneBank) {
    PresetFile f = programChunk();
    f.chunk.clear();
    PresetFile back;
    std::string error;
    ASSERT_TRUE(parses(serialize(f), back, error)) << error;
    EXPECT_TRUE(back.chunk.empty());

    // A version 1 bank has no current program: it reads as "not stored".
    std::vector<uint8_t> b = serialize(bankChunk());
    putBeInt(b, 12, 1);
    putBeInt(b, 28, 0);
    ASSERT_TRUE(parses(b, back, error)) << error;
    EXPECT_EQ(back.currentProgram, -1);
}

TEST(PresetFileDamage, EveryTruncationIsRefused) {
    for (const PresetFile& original : {programChunk(), bankChunk(), programParams(), bankParams()}) {
        std::vector<uint8_t> b = serialize(original);
        for (size_t n = 0; n < b.size(); n++) {
            std::vector<uint8_t> cut(b.begin(), b.begin() + (long)n);
            PresetFile out;
            std::string error;
            EXPECT_FALSE(parse(cut.data(), cut.size(), out, error)) << "accepted " << n << " of " << b.size();
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(PresetFileDamage, TruncationKeepsItsSizeFieldAndSaysSo) {
    // A copy cut short keeps the header of the whole file.
    std::vector<uint8_t> b = serialize(programChunk());
    b.resize(b.size() - 10);
    PresetFile out;
    std::string error;
    EXPECT_FALSE(parses(b, out, error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(PresetFileDamage, WrongMagicNumbersAreRefused) {
    PresetFile out;
    std::string error;
    std::vector<uint8_t> b = serialize(programChunk());
    b[0] = 'X';
    EXPECT_FALSE(parses(b, out, error));
    EXPECT_NE(error.find("CcnK"), std::string::npos) << error;

    b = serialize(programChunk());
    std::memcpy(&b[8], "FxZz", 4);
    EXPECT_FALSE(parses(b, out, error));
    EXPECT_NE(error.find("FxZz"), std::string::npos) << error;

    // A program inside a bank with a broken header.
    b = serialize(bankParams());
    b[156 + 64] = 'Q';
    EXPECT_FALSE(parses(b, out, error));
    EXPECT_NE(error.find("program 1"), std::string::npos) << error;

    // Some random text is not a preset either.
    std::string textFile = "This is not a preset, just some words in a file.\n";
    EXPECT_FALSE(parse((const uint8_t*)textFile.data(), textFile.size(), out, error));
}

TEST(PresetFileDamage, SizeFieldsThatDisagreeWithTheDataAreRefused) {
    PresetFile out;
    std::string error;
    std::vector<uint8_t> good = serialize(programChunk());

    std::vector<uint8_t> b = good;
    putBeInt(b, 4, beInt(b, 4) - 1);  // byteSize one short
    EXPECT_FALSE(parses(b, out, error));

    b = good;
    putBeInt(b, 56, 209);  // chunk claims one byte more than there is
    EXPECT_FALSE(parses(b, out, error));
    b = good;
    putBeInt(b, 56, 207);  // one byte left over
    EXPECT_FALSE(parses(b, out, error));
    b = good;
    putBeInt(b, 56, -1);
    EXPECT_FALSE(parses(b, out, error));
    b = good;
    putBeInt(b, 56, 0x7FFFFFFF);
    EXPECT_FALSE(parses(b, out, error));

    b = good;
    b.push_back(0);  // trailing byte, with a byteSize that covers it
    putBeInt(b, 4, (int32_t)b.size() - 8);
    EXPECT_FALSE(parses(b, out, error));

    // A parameter count that does not match the floats, or overflows.
    b = serialize(programParams());
    putBeInt(b, 24, 6);
    EXPECT_FALSE(parses(b, out, error));
    putBeInt(b, 24, 0x40000001);  // times 4 overflows 32 bits
    EXPECT_FALSE(parses(b, out, error));
    putBeInt(b, 24, -5);
    EXPECT_FALSE(parses(b, out, error));

    // A bank whose program count or current program is off.
    b = serialize(bankParams());
    putBeInt(b, 24, 4);
    EXPECT_FALSE(parses(b, out, error));
    b = serialize(bankParams());
    putBeInt(b, 24, 2);
    EXPECT_FALSE(parses(b, out, error));  // the third program is trailing data
    b = serialize(bankParams());
    putBeInt(b, 28, 3);
    EXPECT_FALSE(parses(b, out, error));
    b = serialize(bankParams());
    putBeInt(b, 156 + 4, 0x7FFFFFF0);  // a program's own size runs past the end
    EXPECT_FALSE(parses(b, out, error));

    b = good;
    putBeInt(b, 12, 7);  // unknown format version
    EXPECT_FALSE(parses(b, out, error));
}

TEST(PresetFileDamage, BankProgramsMustBelongToTheBanksPlugin) {
    std::vector<uint8_t> b = serialize(bankParams());
    std::memcpy(&b[156 + 16], "OTHR", 4);
    PresetFile out;
    std::string error;
    EXPECT_FALSE(parses(b, out, error));
    EXPECT_NE(error.find("OTHR"), std::string::npos) << error;
}

TEST(PresetFileDamage, EveryFlippedByteEitherParsesOrIsRefusedCleanly) {
    // No single corrupted byte may crash the reader or read out of bounds
    // (the sanitizer build checks the latter).
    for (const PresetFile& original : {programChunk(), bankParams()}) {
        std::vector<uint8_t> good = serialize(original);
        for (size_t i = 0; i < std::min<size_t>(good.size(), 400); i++) {
            for (uint8_t value : {(uint8_t)0x00, (uint8_t)0xFF, (uint8_t)0x80}) {
                std::vector<uint8_t> b = good;
                b[i] = value;
                PresetFile out;
                std::string error;
                if (!parses(b, out, error)) {
                    EXPECT_FALSE(error.empty());
                }
            }
        }
    }
}

TEST(PresetFileDisk, ReadFileReportsMissingAndUnreadableFiles) {
    hosttest::TempDir dir;
    PresetFile out;
    std::string error;
    EXPECT_FALSE(readFile(dir.path("missing.fxp"), out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(readFile(dir.dir(), out, error));  // a folder
    EXPECT_FALSE(error.empty());

    std::ofstream(dir.path("empty.fxp")).close();
    EXPECT_FALSE(readFile(dir.path("empty.fxp"), out, error));

    std::vector<uint8_t> b = serialize(bankChunk());
    std::ofstream(dir.path("bank.fxb"), std::ios::binary).write((const char*)b.data(), (long)b.size());
    ASSERT_TRUE(readFile(dir.path("bank.fxb"), out, error)) << error;
    EXPECT_EQ(out.chunk, bankChunk().chunk);
}
