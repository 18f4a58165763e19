// One rule for the values inside preset files, whichever program and channel
// they belong to: the check alone on the amp's records and on parameter
// lists, corvex-render refusing (or, when asked, mending) a bank whose
// unselected channel is damaged, and names printed so that they can neither
// break a listing's lines nor drive the terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "host/PresetFile.h"
#include "host/PresetValues.h"
#include "host/PrintableText.h"
#include "model/Programs.h"
#include "shell/vst2.h"
#include "HostTestSupport.h"

using hosttest::RunResult;
using hosttest::TempDir;
using presetvalues::Repair;

namespace {

std::string names(int index) {
    static const char* const table[] = {"Input", "Channel", "Drive", "Mix PLS", "Low", "Mid", "High",
                                        "Contour", "Power Amp", "Volume", "Mono/Stereo", "LowQ/HighQ", "Boost"};
    return index >= 0 && index < 13 ? table[index] : "";
}

// Ten records with every value in range: the shape of the amp's bank chunk.
presetfile::PresetFile ampBank() {
    presetfile::PresetFile file;
    file.kind = presetfile::Kind::bankChunk;
    file.fxID = presetvalues::ampUniqueId;
    file.fxVersion = 1;
    file.numPrograms = kNumCorvexPrograms;
    file.chunk.assign(kBankChunkSize, 0);
    for (int p = 0; p < kNumCorvexPrograms; p++) {
        CorvexProgram record{};
        std::snprintf(record.name, sizeof record.name, "Program %d", p);
        record.drive = record.volume = 0.5f;
        for (ChannelSettings& c : record.channelSettings)
            c.drive = c.volume = 0.5;
        std::memcpy(file.chunk.data() + (size_t)p * kProgramChunkSize, &record, sizeof record);
    }
    return file;
}

CorvexProgram recordOf(const presetfile::PresetFile& file, int program) {
    CorvexProgram record;
    std::memcpy(&record, file.chunk.data() + (size_t)program * kProgramChunkSize, sizeof record);
    return record;
}

void setRecord(presetfile::PresetFile& file, int program, const CorvexProgram& record) {
    std::memcpy(file.chunk.data() + (size_t)program * kProgramChunkSize, &record, sizeof record);
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

}  // namespace

TEST(PresetValues, EveryProgramAndBothChannelsOfTheAmpsRecordsAreChecked) {
    int repaired = 0;
    std::string error;
    presetfile::PresetFile good = ampBank();
    EXPECT_TRUE(presetvalues::checkFileValues(good, names, Repair::none, repaired, error)) << error;

    // The unselected channel of a program that is not current.
    presetfile::PresetFile bad = ampBank();
    CorvexProgram r = recordOf(bad, 3);
    r.channelSettings[1].volume = std::nan("");
    setRecord(bad, 3, r);
    EXPECT_FALSE(presetvalues::checkFileValues(bad, names, Repair::none, repaired, error));
    EXPECT_EQ(error, "program 3 (\"Program 3\"), channel 1: \"Volume\" is NaN");
    // NaN has no nearest end: a repair does not hide it.
    EXPECT_FALSE(presetvalues::checkFileValues(bad, names, Repair::clamp, repaired, error));

    // The selected channel's knobs in the record name that channel; shared
    // switches name none.
    bad = ampBank();
    r = recordOf(bad, 9);
    r.channel = 1.0f;
    r.drive = INFINITY;
    setRecord(bad, 9, r);
    EXPECT_FALSE(presetvalues::checkFileValues(bad, names, Repair::none, repaired, error));
    EXPECT_EQ(error, "program 9 (\"Program 9\"), channel 1: \"Drive\" is infinity");
    r.drive = 0.5f;
    r.boost = -2.0f;
    setRecord(bad, 9, r);
    EXPECT_FALSE(presetvalues::checkFileValues(bad, names, Repair::none, repaired, error));
    EXPECT_EQ(error, "program 9 (\"Program 9\"): \"Boost\" is -2, outside 0 to 1");

    // Out of range is mended only when asked, to the nearest end.
    r.channelSettings[0].contour = 1.25;
    setRecord(bad, 9, r);
    presetfile::PresetFile mended = bad;
    ASSERT_TRUE(presetvalues::checkFileValues(mended, names, Repair::clamp, repaired, error)) << error;
    EXPECT_EQ(repaired, 2);
    EXPECT_EQ(recordOf(mended, 9).boost, 0.0f);
    EXPECT_EQ(recordOf(mended, 9).channelSettings[0].contour, 1.0);
    EXPECT_EQ(recordOf(mended, 9).channelSettings[1].drive, 0.5);  // the rest as it was

    // A single program's record, and chunks this host cannot read: other
    // plug-ins' or of another size, left to the plug-in.
    presetfile::PresetFile program = bad;
    program.kind = presetfile::Kind::programChunk;
    program.chunk.assign(bad.chunk.begin() + 9 * kProgramChunkSize, bad.chunk.begin() + 10 * kProgramChunkSize);
    EXPECT_FALSE(presetvalues::checkFileValues(program, names, Repair::none, repaired, error));
    EXPECT_EQ(error, "the program (\"Program 9\"): \"Boost\" is -2, outside 0 to 1");
    presetfile::PresetFile other = bad;
    other.fxID = vstFourCC('O', 'T', 'H', 'R');
    EXPECT_TRUE(presetvalues::checkFileValues(other, names, Repair::none, repaired, error));
    other = bad;
    other.chunk.resize(kBankChunkSize - 1);
    EXPECT_TRUE(presetvalues::checkFileValues(other, names, Repair::none, repaired, error));
}

TEST(PresetValues, ParameterListsFollowTheSameRule) {
    presetfile::PresetFile bank;
    bank.kind = presetfile::Kind::bankParams;
    bank.programs = {{"Fine", {0.0f, 1.0f, 0.5f}}, {"Line\nbreak", {0.5f, std::nanf(""), 0.5f}}};
    int repaired = 0;
    std::string error;
    EXPECT_FALSE(presetvalues::checkFileValues(bank, names, Repair::clamp, repaired, error));
    EXPECT_EQ(error, "program 1 (\"Line\\nbreak\"): \"Channel\" is NaN");
    bank.programs[1].params[1] = 7.0f;
    EXPECT_FALSE(presetvalues::checkFileValues(bank, nullptr, Repair::none, repaired, error));
    EXPECT_EQ(error, "program 1 (\"Line\\nbreak\"): parameter 1 is 7, outside 0 to 1");
    EXPECT_TRUE(presetvalues::checkFileValues(bank, names, Repair::clamp, repaired, error)) << error;
    EXPECT_EQ(bank.programs[1].params[1], 1.0f);
    EXPECT_EQ(repaired, 1);
}

TEST(PrintableText, ControlCharactersAndBrokenBytesAreEscaped) {
    EXPECT_EQ(printableText("Glass Clean"), "Glass Clean");
    EXPECT_EQ(printableText("Crème brûlée ✓"), "Crème brûlée ✓");  // UTF-8 passes
    EXPECT_EQ(printableText("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(printableText("\x1b[2J\x1b]0;owned\x07"), "\\e[2J\\e]0;owned\\x07");
    EXPECT_EQ(printableText("back\\slash"), "back\\\\slash");
    EXPECT_EQ(printableText(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(printableText("\x7f"), "\\x7F");
    EXPECT_EQ(printableText("\x9b" "31m"), "\\x9B31m");        // a lone 8-bit CSI byte
    EXPECT_EQ(printableText("\xc2\x9b" "31m"), "\\xC2\\x9B31m");  // the same written in UTF-8
    EXPECT_EQ(printableText("\xc3"), "\\xC3");                   // a sequence cut short
    EXPECT_EQ(printableText("\xc0\xaf"), "\\xC0\\xAF");          // overlong
}

TEST(ListPrograms, ControlCharactersInNamesAreEscapedOneLinePerProgram) {
    TempDir dir;
    presetfile::PresetFile list;
    list.kind = presetfile::Kind::bankParams;
    list.fxID = vstFourCC('F', 'A', 'K', 'E');
    list.fxVersion = 3;
    list.programs = {{"Two\nLines", {0.5f, 0.5f, 0.5f}}, {"\x1b[2J\x1b[31mRed", {1.0f, 0.5f, 0.5f}}};
    writeFile(dir.path("list.fxb"), presetfile::serialize(list));
    RunResult r = hosttest::runRender({"--plugin", FAKE_NO_CHUNKS_PLUGIN_PATH, "--list-programs", "list.fxb"},
                                      dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0 Two\\nLines\n1 \\e[2J\\e[31mRed\n");
    r = hosttest::runRender({"--plugin", FAKE_NO_CHUNKS_PLUGIN_PATH, "--load-fxb", "list.fxb", "--list"}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Two\\nLines"), std::string::npos) << r.out;
}

#ifdef CORVEX_PLUGIN_PATH
namespace {

std::string factoryBank() {
    return (hosttest::fs::path(DEMO_RIFF_PATH).parent_path().parent_path() / "presets" / "Corvex-factory.fxb")
        .string();
}

}  // namespace

TEST(ListPrograms, TheAmpsOwnNamesAreEscapedToo) {
    TempDir dir;
    presetfile::PresetFile bank;
    std::string error;
    ASSERT_TRUE(presetfile::readFile(factoryBank(), bank, error)) << error;
    ASSERT_EQ(bank.chunk.size(), kBankChunkSize);
    CorvexProgram r = recordOf(bank, 2);
    std::memset(r.name, 0, sizeof r.name);
    std::memcpy(r.name, "Crunch\n\x1b[2JX", 13);
    setRecord(bank, 2, r);
    writeFile(dir.path("named.fxb"), presetfile::serialize(bank));
    RunResult res = hosttest::runRender({"--plugin", CORVEX_PLUGIN_PATH, "--list-programs", "named.fxb"}, dir.dir());
    ASSERT_EQ(res.exitCode, 0) << res.err;
    EXPECT_NE(res.out.find("\n2 Crunch\\n\\e[2JX\n3 Classic Rock\n"), std::string::npos) << res.out;
    EXPECT_EQ(std::count(res.out.begin(), res.out.end(), '\n'), 10);
}

TEST(RenderPresetValues, ABankDamagedInAnUnselectedChannelIsRefusedWhateverIsSelected) {
    TempDir dir;
    ASSERT_TRUE(hosttest::writeAudio(dir.path("a.wav"), 1, 44100, hosttest::testSignal(4000, 1)));
    presetfile::PresetFile bank;
    std::string error;
    ASSERT_TRUE(presetfile::readFile(factoryBank(), bank, error)) << error;
    ASSERT_EQ(bank.chunk.size(), kBankChunkSize);
    // Program 0 plays channel 0; its channel 1 has a NaN Volume.
    CorvexProgram r = recordOf(bank, 0);
    ASSERT_LT(r.channel, 0.5f);
    r.channelSettings[1].volume = std::nan("");
    setRecord(bank, 0, r);
    writeFile(dir.path("nan.fxb"), presetfile::serialize(bank));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"a.wav", "-o", "out.wav"},
          {"--set", "Channel=1", "a.wav", "-o", "out.wav"},
          {"--set", "Channel=1", "--save-fxb", "again.fxb"}}) {
        std::vector<std::string> args = {"--plugin", CORVEX_PLUGIN_PATH, "--load-fxb", "nan.fxb"};
        args.insert(args.end(), extra.begin(), extra.end());
        RunResult res = hosttest::runRender(args, dir.dir());
        EXPECT_EQ(res.exitCode, 1) << res.err;
        EXPECT_NE(res.err.find("program 0 (\"Glass Clean\"), channel 1: \"Volume\" is NaN"), std::string::npos)
            << res.err;
        EXPECT_FALSE(hosttest::fs::exists(dir.path("out.wav")));
        EXPECT_FALSE(hosttest::fs::exists(dir.path("again.fxb")));
    }

    // Out of range in the same place: refused, or mended when asked, and the
    // mended bank is what gets saved.
    r.channelSettings[1].volume = 3.5;
    setRecord(bank, 0, r);
    writeFile(dir.path("loud.fxb"), presetfile::serialize(bank));
    RunResult res = hosttest::runRender(
        {"--plugin", CORVEX_PLUGIN_PATH, "--load-fxb", "loud.fxb", "--save-fxb", "again.fxb"}, dir.dir());
    EXPECT_EQ(res.exitCode, 1) << res.err;
    EXPECT_NE(res.err.find("channel 1: \"Volume\" is 3.5, outside 0 to 1"), std::string::npos) << res.err;
    res = hosttest::runRender({"--plugin", CORVEX_PLUGIN_PATH, "--load-fxb", "loud.fxb", "--repair-presets",
                               "--save-fxb", "again.fxb"},
                              dir.dir());
    ASSERT_EQ(res.exitCode, 0) << res.err;
    EXPECT_NE(res.err.find("1 value outside 0 to 1 brought to the nearest end"), std::string::npos) << res.err;
    presetfile::PresetFile saved;
    ASSERT_TRUE(presetfile::readFile(dir.path("again.fxb"), saved, error)) << error;
    ASSERT_EQ(saved.chunk.size(), kBankChunkSize);
    EXPECT_EQ(recordOf(saved, 0).channelSettings[1].volume, 1.0);
}
#endif
