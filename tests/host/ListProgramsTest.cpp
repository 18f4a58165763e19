// corvex-render --list-programs: a bank's program names as the plug-in lists
// them once the bank is loaded, and a clear refusal for anything that is not
// a bank the plug-in takes.
#include <gtest/gtest.h>

#include <fstream>

#include "host/PresetFile.h"
#include "shell/vst2.h"
#include "HostTestSupport.h"

using hosttest::RunResult;
using hosttest::TempDir;

namespace {

const std::string fake = FAKE_PLUGIN_PATH;

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::string text = hosttest::readText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool isOneErrorLine(const std::string& err) {
    return err.rfind("corvex-render: error: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

}  // namespace

TEST(ListPrograms, PrintsIndexAndNameOfEachProgramOfTheBank) {
    TempDir dir;
    // A chunk bank saved by the plug-in itself.
    RunResult r = hosttest::runRender({"--plugin", fake, "--save-fxb", "bank.fxb"}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = hosttest::runRender({"--plugin", fake, "--list-programs", "bank.fxb"}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0 Clean\n1 Boost\n2 Quiet\n");
    EXPECT_EQ(r.err, "");

    // A parameter-list bank names its programs itself; a shorter bank lists
    // only its own programs, not the plug-in's others.
    presetfile::PresetFile list;
    list.kind = presetfile::Kind::bankParams;
    list.fxID = vstFourCC('F', 'A', 'K', 'E');
    list.fxVersion = 3;
    list.programs = {{"Warm Room", {0.5f, 0.5f, 0.5f}}, {"Loud Lead", {1.0f, 0.5f, 0.5f}}};
    writeFile(dir.path("list.fxb"), presetfile::serialize(list));
    r = hosttest::runRender({"--plugin", FAKE_NO_CHUNKS_PLUGIN_PATH, "--list-programs=list.fxb"}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0 Warm Room\n1 Loud Lead\n");
}

TEST(ListPrograms, RefusesWhatIsNoBankForThePlugin) {
    TempDir dir;
    ASSERT_EQ(
        hosttest::runRender({"--plugin", fake, "--save-fxb", "bank.fxb", "--save-fxp", "one.fxp"}, dir.dir()).exitCode,
        0);
    std::vector<uint8_t> bank = readFile(dir.path("bank.fxb"));
    ASSERT_GT(bank.size(), 200u);

    std::vector<uint8_t> truncated(bank.begin(), bank.end() - 7);
    writeFile(dir.path("truncated.fxb"), truncated);
    writeFile(dir.path("text.fxb"), std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    writeFile(dir.path("empty.fxb"), {});
    // A whole, well-formed file whose chunk the plug-in refuses (one
    // program's worth instead of the bank).
    presetfile::PresetFile small;
    std::string error;
    ASSERT_TRUE(presetfile::readFile(dir.path("bank.fxb"), small, error)) << error;
    small.chunk.resize(small.chunk.size() / 3);
    writeFile(dir.path("small.fxb"), presetfile::serialize(small));
    // Made for another plug-in.
    presetfile::PresetFile other = small;
    other.fxID = vstFourCC('O', 'T', 'H', 'R');
    writeFile(dir.path("other.fxb"), presetfile::serialize(other));

    struct Case {
        const char* file;
        const char* reason;
    };
    for (const Case& c :
         {Case{"truncated.fxb", "truncated"}, Case{"text.fxb", "not a VST preset"}, Case{"empty.fxb", "empty file"},
          Case{"small.fxb", "refused the bank chunk"}, Case{"other.fxb", "'OTHR'"},
          Case{"one.fxp", "is a program file"}, Case{"missing.fxb", "not found"}}) {
        SCOPED_TRACE(c.file);
        RunResult r = hosttest::runRender({"--plugin", fake, "--list-programs", c.file}, dir.dir());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(isOneErrorLine(r.err)) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }

    // It lists and does nothing else: other work on the same command line is refused.
    for (std::vector<std::string> args : {std::vector<std::string>{"--list-programs", "bank.fxb", "in.wav"},
                                          {"--list-programs", "bank.fxb", "--save-fxb", "x.fxb"},
                                          {"--list-programs", "bank.fxb", "--program", "1"},
                                          {"--list-programs", "bank.fxb", "--list-programs", "bank.fxb"},
                                          {"--list-programs"}}) {
        args.insert(args.begin(), {"--plugin", fake});
        RunResult r = hosttest::runRender(args, dir.dir());
        EXPECT_EQ(r.exitCode, 2) << args[2];
        EXPECT_TRUE(isOneErrorLine(r.err)) << r.err;
    }
}

#ifdef CORVEX_PLUGIN_PATH
TEST(ListPrograms, NamesTheTenFactoryPrograms) {
    TempDir dir;
    std::string bank =
        (hosttest::fs::path(DEMO_RIFF_PATH).parent_path().parent_path() / "presets" / "Corvex-factory.fxb").string();
    RunResult r = hosttest::runRender({"--plugin", CORVEX_PLUGIN_PATH, "--list-programs", bank}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "0 Glass Clean\n1 Edge of Breakup\n2 Crunch Rhythm\n3 Classic Rock\n4 Lead Channel 1\n5 High Gain\n"
              "6 Scooped Metal\n7 Boosted Blues\n8 Bass Heavy\n9 HighQ Singing Lead\n");
}
#endif
