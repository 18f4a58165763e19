// corvex-render run as a program, the way a user runs it: renders through
// the fake plug-in, preset files on the command line, and bad input that
// must end in one error line, a non-zero exit and no output file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "host/PresetFile.h"
#include "shell/vst2.h"
#include "HostTestSupport.h"

using hosttest::Audio;
using hosttest::RunResult;
using hosttest::TempDir;

namespace {

const std::string fake = FAKE_PLUGIN_PATH;

// A scratch folder holding a mono and a stereo input.
struct Scratch {
    TempDir dir;
    std::vector<float> mono = hosttest::testSignal(20000, 1);
    std::vector<float> stereo = hosttest::testSignal(12345, 2, 7);
    Scratch() {
        EXPECT_TRUE(hosttest::writeAudio(dir.path("mono.wav"), 1, 44100, mono));
        EXPECT_TRUE(hosttest::writeAudio(dir.path("stereo.wav"), 2, 48000, stereo));
    }
    RunResult run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        return hosttest::runRender(args, dir.dir(), env);
    }
};

Audio mustRead(const std::string& path) {
    Audio a;
    EXPECT_TRUE(hosttest::readAudio(path, a)) << path;
    return a;
}

// Expects the output to be the mono input on both channels, times `gain`.
void expectMonoScaled(const Audio& out, const std::vector<float>& in, float gain) {
    ASSERT_EQ(out.info.channels, 2);
    ASSERT_EQ((size_t)out.info.frames, in.size());
    for (size_t i = 0; i < in.size(); i++) {
        ASSERT_EQ(out.samples[2 * i], in[i] * gain) << "frame " << i;
        ASSERT_EQ(out.samples[2 * i + 1], in[i] * gain) << "frame " << i;
    }
}

bool isOneErrorLine(const std::string& err) {
    return err.rfind("corvex-render: error: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

}  // namespace

TEST(RenderCli, MonoInputIsFedToBothInputsAndWrittenAsFloatStereo) {
    Scratch s;
    RunResult r = s.run({"--plugin", fake, "mono.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no progress bar when stderr is no terminal
    Audio out = mustRead(s.dir.path("out.wav"));
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(out.info.samplerate, 44100);
    expectMonoScaled(out, s.mono, 1.0f);

    // The summary: duration, peak and RMS in dBFS, speed, output path.
    EXPECT_NE(r.out.find("Duration:  0.454 s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("dBFS"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("real time"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(s.dir.path("out.wav")), std::string::npos) << r.out;
    EXPECT_EQ(s.dir.files(), (std::vector<std::string>{"mono.wav", "out.wav", "stereo.wav"}));
}

TEST(RenderCli, StereoKeepsItsSidesAndRateAndTheHostDrivesThePluginInOrder) {
    Scratch s;
    std::string log = s.dir.path("plugin.log");
    RunResult r =
        s.run({"--plugin", fake, "--block", "100", "stereo.wav", "-o", "out.wav"}, {"FAKE_PLUGIN_LOG=" + log});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Audio out = mustRead(s.dir.path("out.wav"));
    EXPECT_EQ(out.info.samplerate, 48000);
    ASSERT_EQ(out.samples.size(), s.stereo.size());
    EXPECT_EQ(out.samples, s.stereo);

    // 12345 frames in blocks of 100: 124 calls, the last one short.
    EXPECT_EQ(hosttest::readText(log),
              "version 2400\nopen\nrate 48000\nblock 100\nmains 1\nmains 0\n"
              "process calls=124 max=100 violations=0\nclose\n");
}

TEST(RenderCli, BlockSizeDoesNotChangeTheResult) {
    Scratch s;
    for (const char* block : {"1", "7", "512", "65536"}) {
        RunResult r = s.run({"--plugin", fake, "--block", block, "mono.wav", "-o", "out.wav"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, 1.0f);
    }
}

TEST(RenderCli, ParametersByNameIndexAndProgram) {
    Scratch s;
    struct Case {
        std::vector<std::string> args;
        float gain;
    };
    const Case cases[] = {
        {{"--set", "Gain=0.25"}, 0.5f},
        {{"--set", "gain=0.25"}, 0.5f},
        {{"--set=0=1"}, 2.0f},
        {{"--program", "2"}, 0.5f},                       // "Quiet"
        {{"--program", "1", "--set", "Gain=0.5"}, 1.0f},  // settings come after the program
        {{"--set", "Mix PLS=0", "--set", "LowQ/HighQ=1"}, 1.0f},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--plugin", fake, "mono.wav", "-o", "out.wav"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = s.run(args);
        ASSERT_EQ(r.exitCode, 0) << c.args[0] << ": " << r.err;
        expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, c.gain);
    }
}

TEST(RenderCli, DefaultOutputIsNamedAfterTheInputInTheCurrentFolder) {
    Scratch s;
    TempDir elsewhere;
    RunResult r = hosttest::runRender({"--plugin", fake, s.dir.path("mono.wav")}, elsewhere.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(elsewhere.files(), std::vector<std::string>{"mono-corvex.wav"});
}

TEST(RenderCli, PresetsSavedAndLoadedBackOnTheCommandLine) {
    Scratch s;
    // Without an input the presets are just written.
    RunResult r = s.run({"--plugin", fake, "--set", "Gain=1", "--save-fxp", "loud.fxp"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    presetfile::PresetFile program;
    std::string error;
    ASSERT_TRUE(presetfile::readFile(s.dir.path("loud.fxp"), program, error)) << error;
    EXPECT_EQ(program.kind, presetfile::Kind::programChunk);
    EXPECT_EQ(program.fxID, vstFourCC('F', 'A', 'K', 'E'));
    EXPECT_EQ(program.fxVersion, 3);

    r = s.run({"--plugin", fake, "--load-fxp", "loud.fxp", "mono.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, 2.0f);

    // A bank with program 1 changed, saved while rendering.
    r = s.run({"--plugin", fake, "--program", "1", "--set", "Gain=0.125", "--save-fxb", "bank.fxb", "mono.wav", "-o",
               "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, 0.25f);
    presetfile::PresetFile bank;
    ASSERT_TRUE(presetfile::readFile(s.dir.path("bank.fxb"), bank, error)) << error;
    EXPECT_EQ(bank.kind, presetfile::Kind::bankChunk);
    EXPECT_EQ(bank.currentProgram, 1);

    r = s.run({"--plugin", fake, "--load-fxb", "bank.fxb", "--program", "1", "mono.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, 0.25f);

    // Parameter-list presets for a plug-in without chunks.
    r = s.run({"--plugin", FAKE_NO_CHUNKS_PLUGIN_PATH, "--set", "Gain=0.75", "--save-fxp", "list.fxp", "--save-fxb",
               "list.fxb"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(presetfile::readFile(s.dir.path("list.fxp"), program, error)) << error;
    EXPECT_EQ(program.kind, presetfile::Kind::programParams);
    r = s.run({"--plugin", FAKE_NO_CHUNKS_PLUGIN_PATH, "--load-fxb", "list.fxb", "mono.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectMonoScaled(mustRead(s.dir.path("out.wav")), s.mono, 1.5f);
}

TEST(RenderCli, ListShowsIdentityParametersAndPrograms) {
    Scratch s;
    RunResult r = s.run({"--plugin", fake, "--set", "Gain=0.25", "--list"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected :
         {"Fake Through", "Test Bench", "'FAKE'", "Mix PLS", "LowQ/HighQ", "0.250 x", "Clean", "Boost", "Quiet"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << " missing in\n" << r.out;
    }
    EXPECT_EQ(s.dir.files(), (std::vector<std::string>{"mono.wav", "stereo.wav"}));  // nothing rendered
}

TEST(RenderCli, BadInputEndsInOneErrorLineAndNoOutput) {
    Scratch s;
    // Assorted broken inputs.
    std::ofstream(s.dir.path("notes.txt")) << "not audio at all\n";
    std::ofstream(s.dir.path("noise.fxp"), std::ios::binary) << "CcnK and then nothing that makes sense";
    std::vector<float> three(3000, 0.1f);
    ASSERT_TRUE(hosttest::writeAudio(s.dir.path("three.wav"), 3, 44100, three));
    presetfile::PresetFile foreign;
    foreign.kind = presetfile::Kind::programChunk;
    foreign.fxID = vstFourCC('C', 'R', 'V', 'X');
    foreign.chunk.assign(36, 0);
    std::vector<uint8_t> bytes = presetfile::serialize(foreign);
    std::ofstream(s.dir.path("foreign.fxp"), std::ios::binary).write((const char*)bytes.data(), (long)bytes.size());
    foreign.fxID = vstFourCC('F', 'A', 'K', 'E');
    bytes = presetfile::serialize(foreign);
    bytes.resize(bytes.size() - 5);
    std::ofstream(s.dir.path("cut.fxp"), std::ios::binary).write((const char*)bytes.data(), (long)bytes.size());
    foreign.kind = presetfile::Kind::bankChunk;
    foreign.chunk.assign(108, 0);
    bytes = presetfile::serialize(foreign);
    std::ofstream(s.dir.path("bank.fxb"), std::ios::binary).write((const char*)bytes.data(), (long)bytes.size());
    // An output that exists must survive a failed run untouched.
    std::ofstream(s.dir.path("out.wav")) << "previous render";
    const std::vector<std::string> before = s.dir.files();

    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const Case cases[] = {
        {{"missing.wav"}, "not found"},
        {{"notes.txt"}, "cannot read"},
        {{"three.wav"}, "3 channels"},
        {{"mono.wav", "--rate", "48000"}, "44100 Hz"},
        {{"mono.wav", "--set", "Drive=0.5"}, "unknown parameter"},
        {{"mono.wav", "--set", "Gain=abc"}, "not a number"},
        {{"mono.wav", "--set", "Gain=2"}, "0 to 1"},
        {{"mono.wav", "--set", "3=0.5"}, "out of range"},
        {{"mono.wav", "--program", "3"}, "out of range"},
        {{"mono.wav", "--block", "0"}, "--block"},
        {{"mono.wav", "--load-fxp", "nothing.fxp"}, "not found"},
        {{"mono.wav", "--load-fxp", "noise.fxp"}, "noise.fxp"},
        {{"mono.wav", "--load-fxp", "cut.fxp"}, "truncated"},
        {{"mono.wav", "--load-fxp", "foreign.fxp"}, "'CRVX'"},
        {{"mono.wav", "--load-fxp", "bank.fxb"}, "--load-fxb"},
        {{"mono.wav", "--load-fxb", "notes.txt"}, "CcnK"},
        {{"mono.wav", "-o", "out.flac"}, "WAV"},
        {{"mono.wav", "-o", "no/such/folder/x.wav"}, "cannot create"},
        {{"mono.wav", "--save-fxp", "no/such/folder/p.fxp"}, "cannot create"},
        {{"mono.wav", "-o", "mono.wav"}, "overwrite the input"},
        {{"mono.wav", "--frobnicate"}, "unknown option"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--plugin", fake};
        if (std::find(c.args.begin(), c.args.end(), "-o") == c.args.end())
            args.insert(args.end(), {"-o", "out.wav"});
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = s.run(args);
        std::string label =
            c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "") + (c.args.size() > 2 ? " " + c.args[2] : "");
        EXPECT_NE(r.exitCode, 0) << label;
        EXPECT_TRUE(isOneErrorLine(r.err)) << label << ": " << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << label << ": " << r.err;
        EXPECT_EQ(s.dir.files(), before) << label;
        EXPECT_EQ(hosttest::readText(s.dir.path("out.wav")), "previous render") << label;
    }
}

TEST(RenderCli, PluginsThatCannotBeUsedAreRefused) {
    Scratch s;
    const std::string plugins[] = {s.dir.path("nowhere.so"), s.dir.path("mono.wav"), FAKE_NULL_PLUGIN_PATH,
                                   FAKE_BAD_MAGIC_PLUGIN_PATH, FAKE_NO_ENTRY_PLUGIN_PATH};
    for (const std::string& plugin : plugins) {
        RunResult r = s.run({"--plugin", plugin, "mono.wav", "-o", "out.wav"});
        EXPECT_NE(r.exitCode, 0) << plugin;
        EXPECT_TRUE(isOneErrorLine(r.err)) << r.err;
        EXPECT_NE(r.err.find(plugin), std::string::npos) << r.err;
        EXPECT_EQ(s.dir.files(), (std::vector<std::string>{"mono.wav", "stereo.wav"})) << plugin;
    }
    // The old entry name still works.
    RunResult r = s.run({"--plugin", FAKE_MAIN_ONLY_PLUGIN_PATH, "mono.wav", "-o", "out.wav"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(RenderCli, DamagedCompressedInputIsNotRenderedHalfway) {
    Scratch s;
    std::vector<float> signal = hosttest::testSignal(60000, 1, 3);
    ASSERT_TRUE(hosttest::writeAudio(s.dir.path("take.flac"), 1, 44100, signal, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    // Cut the file in the middle of its audio: the header still promises all frames.
    std::string bytes = hosttest::readText(s.dir.path("take.flac"));
    bytes.resize(bytes.size() / 2);
    std::ofstream(s.dir.path("take.flac"), std::ios::binary | std::ios::trunc) << bytes;
    RunResult r = s.run({"--plugin", fake, "take.flac", "-o", "out.wav"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(isOneErrorLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("input"), std::string::npos) << r.err;
    EXPECT_EQ(s.dir.files(), (std::vector<std::string>{"mono.wav", "stereo.wav", "take.flac"}));
}

TEST(DemoRiff, IsAShortMonoGuitarTakeAtSixDecibelsBelowFullScale) {
    Audio demo;
    ASSERT_TRUE(hosttest::readAudio(DEMO_RIFF_PATH, demo));
    EXPECT_EQ(demo.info.channels, 1);
    EXPECT_EQ(demo.info.samplerate, 44100);
    double seconds = (double)demo.info.frames / 44100.0;
    EXPECT_GE(seconds, 6.0);
    EXPECT_LE(seconds, 8.0);
    float peak = 0.0f;
    for (float v : demo.samples)
        peak = std::max(peak, std::fabs(v));
    double peakDb = 20.0 * std::log10(peak);
    EXPECT_NEAR(peakDb, -6.0, 0.5);

    TempDir dir;
    RunResult r = hosttest::runRender({"--plugin", fake, DEMO_RIFF_PATH, "-o", "demo.wav"}, dir.dir());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Peak:      -6."), std::string::npos) << r.out;
}

#ifdef CORVEX_PLUGIN_PATH
// The real plug-in, driven the same way.
TEST(RenderCliCorvex, ListsRendersAndKeepsPresets) {
    Scratch s;
    const std::string corvex = CORVEX_PLUGIN_PATH;
    RunResult r = s.run({"--plugin", corvex, "--set", "Mix PLS=0.3", "--set", "lowq/highq=1", "--save-fxp", "p.fxp",
                         "--save-fxb", "b.fxb"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    presetfile::PresetFile program, bank;
    std::string error;
    ASSERT_TRUE(presetfile::readFile(s.dir.path("p.fxp"), program, error)) << error;
    ASSERT_TRUE(presetfile::readFile(s.dir.path("b.fxb"), bank, error)) << error;
    EXPECT_EQ(program.fxID, vstFourCC('C', 'R', 'V', 'X'));
    EXPECT_EQ(program.fxVersion, 1);
    EXPECT_EQ(program.chunk.size(), 208u);
    EXPECT_EQ(bank.chunk.size(), 2080u);

    r = s.run({"--plugin", corvex, "--load-fxp", "p.fxp", "--list"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected : {"Vantor_Corvex_Head_v1_0", "Ardex Plugins", "'CRVX'", "Mix PLS        0.300000",
                                 "LowQ/HighQ     1.000000", "Volume         -6.02060 dB", "Init"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << " missing in\n" << r.out;
    }

    r = s.run({"--plugin", corvex, "--load-fxb", "b.fxb", "mono.wav", "-o", "out.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Audio out = mustRead(s.dir.path("out.wav"));
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ((size_t)out.info.frames, s.mono.size());
}
#endif

// Standard input as a pipe: the streaming formats as they come, FLAC (which
// libsndfile reads by seeking) buffered first; each renders as its file does.
TEST(RenderCli, EveryInputFormatRendersThroughAPipe) {
    Scratch s;
    struct Format {
        const char* name;
        int format;
    };
    for (const Format& f : {Format{"take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                            Format{"take.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                            Format{"take.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                            Format{"take.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(hosttest::writeAudio(s.dir.path(f.name), 1, 44100, s.mono, f.format));
        RunResult fromFile = s.run({"--plugin", fake, f.name, "-o", "file.wav", "-q"});
        ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
        RunResult piped =
            hosttest::runRender({"--plugin", fake, "-", "-o", "pipe.wav", "-q", "--force"}, s.dir.dir(), {},
                                "|" + s.dir.path(f.name));
        ASSERT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_EQ(piped.err, "");
        Audio a = mustRead(s.dir.path("file.wav")), b = mustRead(s.dir.path("pipe.wav"));
        EXPECT_EQ(a.info.frames, b.info.frames);
        EXPECT_EQ(a.samples, b.samples);
    }
    // No buffered copy of the input is left behind.
    for (const std::string& name : s.dir.files())
        EXPECT_EQ(name.find("corvex-input"), std::string::npos) << name;
}
