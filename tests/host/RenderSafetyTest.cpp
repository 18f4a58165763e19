// corvex-render never replaces, truncates or half-writes a user's file and
// never reports success for work it did not do: targets checked against
// inputs and each other, damaged inputs, contradictory requests, presets with
// impossible values, non-finite output, how files are replaced, and the
// messages for odd input.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>

#include "host/PresetFile.h"
#include "shell/vst2.h"
#include "HostTestSupport.h"

using hosttest::Audio;
using hosttest::RunResult;
using hosttest::TempDir;

namespace {

const std::string fake = FAKE_PLUGIN_PATH;

void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; i++)
        s += (char)((v >> (8 * i)) & 0xFF);
}

// A 16-bit mono PCM WAV whose header states `rate` and `claimedFrames` but
// which holds only `frames` frames.
std::string pcm16Wav(uint32_t rate, uint32_t claimedFrames, uint32_t frames) {
    std::string s = "RIFF";
    put32(s, 36 + 2 * claimedFrames);
    s += "WAVEfmt ";
    put32(s, 16);
    s += std::string("\x01\x00\x01\x00", 4);
    put32(s, rate);
    put32(s, rate * 2);
    s += std::string("\x02\x00\x10\x00", 4);
    s += "data";
    put32(s, 2 * claimedFrames);
    for (uint32_t i = 0; i < frames; i++) {
        int16_t v = (int16_t)(8000.0 * std::sin(0.05 * i));
        s += (char)(v & 0xFF);
        s += (char)((v >> 8) & 0xFF);
    }
    return s;
}

void writeText(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every file in the folder with its content, to show a failed run changed nothing.
std::map<std::string, std::string> snapshot(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : dir.files()) {
        std::error_code ec;
        std::string path = dir.path(name);
        files[name] = std::filesystem::is_directory(path, ec) ? "<dir>" : hosttest::readText(path);
    }
    return files;
}

struct Scratch {
    TempDir dir;
    std::vector<float> mono = hosttest::testSignal(5000, 1);
    Scratch() { EXPECT_TRUE(hosttest::writeAudio(dir.path("a.wav"), 1, 44100, mono)); }
    RunResult run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), {"--plugin", fake});
        return hosttest::runRender(args, dir.dir(), env);
    }
    std::string path(const std::string& name) const { return dir.path(name); }
};

// A chunk preset for the fake plug-in: its program record is a 24-byte name
// and three floats, stored as they are.
void writeFakeProgram(const std::string& path, float gain) {
    presetfile::PresetFile p;
    p.kind = presetfile::Kind::programChunk;
    p.fxID = vstFourCC('F', 'A', 'K', 'E');
    p.fxVersion = 3;
    p.numParams = 3;
    p.chunk.assign(36, 0);
    std::memcpy(p.chunk.data(), "Odd", 3);
    float params[3] = {gain, 0.5f, 0.0f};
    std::memcpy(p.chunk.data() + 24, params, sizeof params);
    std::vector<uint8_t> bytes = presetfile::serialize(p);
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (long)bytes.size());
}

}  // namespace

TEST(RenderSafety, SaveTargetsMustDifferFromEveryInputAndEachOther) {
    Scratch s;
    ASSERT_EQ(s.run({"a.wav", "-o", "out2.wav"}).exitCode, 0);
    ASSERT_EQ(s.run({"--save-fxp", "keep.fxp"}).exitCode, 0);
    ASSERT_EQ(symlink("a.wav", s.path("alias.wav").c_str()), 0);
    ASSERT_EQ(link(s.path("a.wav").c_str(), s.path("hard.wav").c_str()), 0);
    const auto before = snapshot(s.dir);
    const std::vector<std::vector<std::string>> cases = {
        {"a.wav", "-o", "out.wav", "--save-fxp", "a.wav"},      // the recording itself
        {"a.wav", "-o", "out.wav", "--save-fxb", "alias.wav"},  // through a link
        {"a.wav", "-o", "out.wav", "--save-fxb", "hard.wav"},   // another name, same inode
        {"a.wav", "-o", "out.wav", "--save-fxb", "out.wav"},    // the rendered audio
        {"a.wav", "-o", "out.wav", "--save-fxp", "p.fx", "--save-fxb", "p.fx"},
        {"a.wav", "-o", "out.wav", "--save-fxp", "keep.fxp", "--save-fxb", "./keep.fxp"},
        {"a.wav", "-o", "out.wav", "--load-fxp", "keep.fxp", "--save-fxp", "keep.fxp"},
        {"a.wav", "-o", "out.wav", "--save-fxb", "out2.wav"},  // an existing file that is no preset
        {"a.wav", "-o", "out.wav", "--save-fxp", fake},        // the plug-in
        {"--save-fxp", "a.wav", "-o", "out3.wav"},             // the option took the input's name
        {"--save-fxp", "a.wav"},
        {"a.wav", "-o", "hard.wav"},
    };
    for (const auto& args : cases) {
        RunResult r = s.run(args);
        EXPECT_NE(r.exitCode, 0) << args.back();
        EXPECT_NE(r.err.find("error"), std::string::npos) << args.back();
        EXPECT_EQ(snapshot(s.dir), before) << args.back() << ": " << r.err;
    }
}

TEST(RenderSafety, NothingIsReplacedWhenAnyTargetIsUnusable) {
    Scratch s;
    writeText(s.path("out.wav"), "old audio");
    writeText(s.path("p.fxp"), "CcnK old program");
    ASSERT_TRUE(std::filesystem::create_directory(s.path("b.fxb")));
    ASSERT_TRUE(std::filesystem::create_directory(s.path("dir.wav")));
    writeText(s.path("locked.fxp"), "CcnK locked");
    chmod(s.path("locked.fxp").c_str(), 0444);
    const auto before = snapshot(s.dir);
    const std::string log = s.path("plugin.log");
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"a.wav", "-o", "out.wav", "--save-fxp", "p.fxp", "--save-fxb", "b.fxb"}, "folder"},
        {{"a.wav", "-o", "dir.wav"}, "folder"},
        {{"a.wav", "-o", "out.wav", "--save-fxp", "locked.fxp"}, "read-only"},
        {{"a.wav", "-o", "out.wav", "--save-fxp", "/dev/null"}, "not a regular file"},
        {{"a.wav", "-o", "no/such/dir/x.wav", "--save-fxp", "p.fxp"}, "does not exist"},
    };
    for (const Case& c : cases) {
        RunResult r = s.run(c.args, {"FAKE_PLUGIN_LOG=" + log});
        EXPECT_EQ(r.exitCode, 1) << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        // Refused before the plug-in was even loaded, let alone run.
        EXPECT_FALSE(std::filesystem::exists(log)) << c.mentions;
        EXPECT_EQ(snapshot(s.dir), before) << c.mentions;
    }
    // --force replaces a read-only file.
    RunResult r = s.run({"--save-fxp", "locked.fxp", "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(hosttest::readText(s.path("locked.fxp")), "CcnK locked");
}

TEST(RenderSafety, ReplacingKeepsTheModeAndWritesThroughLinks) {
    Scratch s;
    ASSERT_EQ(s.run({"a.wav", "-o", "real.wav"}).exitCode, 0);
    chmod(s.path("real.wav").c_str(), 0600);
    ASSERT_EQ(symlink("real.wav", s.path("link.wav").c_str()), 0);
    RunResult r = s.run({"a.wav", "-o", "link.wav", "--set", "Gain=0.25"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    struct stat info = {};
    ASSERT_EQ(lstat(s.path("link.wav").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(s.path("real.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    Audio out;
    ASSERT_TRUE(hosttest::readAudio(s.path("real.wav"), out));
    EXPECT_EQ(out.samples[2 * 100], s.mono[100] * 0.5f);
    EXPECT_EQ(s.dir.files(), (std::vector<std::string>{"a.wav", "link.wav", "real.wav"}));
}

TEST(RenderSafety, DamagedInputsAreRefusedUnlessAccepted) {
    Scratch s;
    writeText(s.path("cut.wav"), pcm16Wav(44100, 44100, 9978));
    writeText(s.path("header-only.wav"), pcm16Wav(44100, 44100, 0));
    std::vector<float> tone = hosttest::testSignal(44100, 1, 5);
    ASSERT_TRUE(hosttest::writeAudio(s.path("take.aiff"), 1, 44100, tone, SF_FORMAT_AIFF | SF_FORMAT_PCM_16));
    ASSERT_TRUE(hosttest::writeAudio(s.path("take.ogg"), 1, 44100, tone, SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    for (const char* name : {"take.aiff", "take.ogg"}) {
        std::string bytes = hosttest::readText(s.path(name));
        writeText(s.path(name), bytes.substr(0, bytes.size() * 3 / 4));
    }
    for (const char* name : {"cut.wav", "header-only.wav", "take.aiff", "take.ogg"}) {
        RunResult r = s.run({name, "-o", "out.wav"});
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_NE(r.err.find("damaged"), std::string::npos) << name << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(s.path("out.wav"))) << name;
    }
    // Asked for, what there is gets rendered, with a warning even under -q.
    RunResult r = s.run({"cut.wav", "-o", "out.wav", "--accept-damaged", "-q"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos);
    Audio out;
    ASSERT_TRUE(hosttest::readAudio(s.path("out.wav"), out));
    EXPECT_EQ(out.info.frames, 9978);
    // Nothing to render is an error either way.
    r = s.run({"header-only.wav", "-o", "none.wav", "--accept-damaged"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no audio"), std::string::npos) << r.err;
    writeText(s.path("empty.wav"), pcm16Wav(44100, 0, 0));
    r = s.run({"empty.wav", "-o", "none.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no audio (0 frames)"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Speed"), std::string::npos);
}

TEST(RenderSafety, ContradictoryRequestsAreRefused) {
    Scratch s;
    const std::vector<std::vector<std::string>> cases = {
        {"--list", "--save-fxp", "x.fxp", "a.wav", "-o", "out.wav"},
        {"--list", "a.wav"},
        {"--list", "--save-fxb", "x.fxb"},
        {"-o", "out.wav"},                         // nothing to render
        {"--save-fxp", "x.fxp", "-o", "out.wav"},  // likewise
        {"a.wav", "-o", "out.wav", "-o", "other.wav"},
        {"a.wav", "-o", "out.wav", "--plugin", fake},  // --plugin twice
        {"-"},                                         // standard input has no name for the output
        {"a.wav", "-o", "-"},
    };
    for (const auto& args : cases) {
        RunResult r = s.run(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args[1];
        EXPECT_EQ(s.dir.files(), std::vector<std::string>{"a.wav"}) << args[0];
    }
}

TEST(RenderSafety, ChunkBankKeepsItsCurrentProgramAndRoundTripsExactly) {
    Scratch s;
    RunResult r = s.run({"--program", "2", "--set", "Gain=0.125", "--save-fxb", "b.fxb"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = s.run({"--load-fxb", "b.fxb", "--save-fxb", "again.fxb", "a.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(hosttest::readText(s.path("again.fxb")), hosttest::readText(s.path("b.fxb")));
    Audio out;
    ASSERT_TRUE(hosttest::readAudio(s.path("out.wav"), out));
    EXPECT_EQ(out.samples[2 * 100], s.mono[100] * 0.25f);  // program 2, changed, is current again
}

TEST(RenderSafety, PresetValuesOutsideTheRangeAreRefusedOrRepairedOnRequest) {
    Scratch s;
    writeFakeProgram(s.path("nan.fxp"), std::nanf(""));
    writeFakeProgram(s.path("inf.fxp"), INFINITY);
    writeFakeProgram(s.path("huge.fxp"), 1e30f);
    for (const char* name : {"nan.fxp", "inf.fxp"}) {
        RunResult r = s.run({"--load-fxp", name, "a.wav", "-o", "out.wav", "-q"});
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_NE(r.err.find("\"Gain\""), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(s.path("out.wav")));
    }
    // Out of range is refused like NaN, and mended only when asked.
    RunResult r = s.run({"--load-fxp", "huge.fxp", "--list"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("\"Gain\" is 1e+30, outside 0 to 1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--repair-presets"), std::string::npos) << r.err;
    r = s.run({"--load-fxp", "huge.fxp", "--repair-presets", "--list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("warning: huge.fxp: 1 value outside 0 to 1 brought to the nearest end"), std::string::npos)
        << r.err;
    // NaN has no nearest end: still refused.
    r = s.run({"--load-fxp", "nan.fxp", "--repair-presets", "--list"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
}

TEST(RenderSafety, NonFiniteAudioIsAnErrorUnlessAllowedEvenWhenQuiet) {
    Scratch s;
    RunResult r = s.run({"a.wav", "-o", "out.wav", "-q"}, {"FAKE_PLUGIN_FAULT=nan"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("10000 non-finite"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(s.path("out.wav")));
    r = s.run({"a.wav", "-o", "out.wav", "-q", "--allow-nonfinite"}, {"FAKE_PLUGIN_FAULT=nan"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::exists(s.path("out.wav")));

    std::vector<float> nans(3000, std::nanf(""));
    ASSERT_TRUE(hosttest::writeAudio(s.path("nan.wav"), 1, 44100, nans));
    r = s.run({"nan.wav", "-o", "nan-out.wav"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("input holds 3000 non-finite"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(s.path("nan-out.wav")));
}

TEST(RenderSafety, OddInputGetsAMessageNamingTheProblem) {
    Scratch s;
    std::filesystem::create_directory(s.path("presets"));
    for (uint32_t rate : {0u, 1u, 4000000000u, 2147483647u}) {
        writeText(s.path("rate.wav"), pcm16Wav(rate, 100, 100));
        RunResult r = s.run({"rate.wav", "-o", "out.wav"});
        EXPECT_EQ(r.exitCode, 1) << rate;
        EXPECT_NE(r.err.find("sample rate of " + std::to_string(rate) + " Hz"), std::string::npos) << r.err;
    }
    for (uint32_t rate : {8000u, 384000u}) {
        writeText(s.path("rate.wav"), pcm16Wav(rate, 100, 100));
        EXPECT_EQ(s.run({"rate.wav", "-o", "out.wav"}).exitCode, 0) << rate;
    }
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"a.wav", "-o", "x.wav", "--load-fxp", "presets"}, "folder"},
        {{"a.wav", "-o", "x.wav", "--load-fxb", "/dev/zero"}, "device"},
        {{"a.wav", "-o", "x.wav", "--rate", "44100.0000001"}, "asks for 44100.0000001 Hz"},
        {{"presets", "-o", "x.wav"}, "folder"},
    };
    for (const Case& c : cases) {
        RunResult r = s.run(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
    // Standard input as the input.
    RunResult r = hosttest::runRender({"--plugin", fake, "-", "-o", "piped.wav"}, s.dir.dir(), {}, s.path("a.wav"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Audio out;
    ASSERT_TRUE(hosttest::readAudio(s.path("piped.wav"), out));
    EXPECT_EQ((size_t)out.info.frames, s.mono.size());
    // An Ogg stream does not tell its length: RF64 that shrinks to plain RIFF.
    ASSERT_TRUE(hosttest::writeAudio(s.path("a.ogg"), 1, 44100, s.mono, SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    r = hosttest::runRender({"--plugin", fake, "-", "-o", "ogg.wav"}, s.dir.dir(), {}, s.path("a.ogg"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(hosttest::readAudio(s.path("ogg.wav"), out));
    EXPECT_EQ((size_t)out.info.frames, s.mono.size());
    EXPECT_EQ(hosttest::readText(s.path("ogg.wav")).substr(0, 4), "RIFF");
}
