// The loader and the plug-in side of presets, against the fake plug-ins.
#include <gtest/gtest.h>

#include <fstream>

#include "host/Options.h"
#include "host/PluginHost.h"
#include "host/PluginPresets.h"
#include "HostTestSupport.h"

namespace {

presetfile::PresetFile captured(PluginHost& plugin, bool bank) {
    presetfile::PresetFile file;
    std::string error;
    EXPECT_TRUE(capturePreset(plugin, bank, file, error)) << error;
    return file;
}

}  // namespace

TEST(PluginLoader, LoadsThroughTheEntryPointAndReadsTheRecord) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    AEffect* e = plugin.effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->uniqueID, vstFourCC('F', 'A', 'K', 'E'));
    EXPECT_EQ(plugin.effectName(), "Fake Through");
    EXPECT_EQ(plugin.vendorString(), "Test Bench");
    EXPECT_EQ(plugin.numParams(), 3);
    EXPECT_EQ(plugin.parameterName(1), "Mix PLS");
    // The fake writes no label for parameter 1: the host's buffer stays empty.
    EXPECT_EQ(plugin.parameterLabel(1), "");
    EXPECT_EQ(plugin.parameterLabel(0), "x");
    EXPECT_EQ(plugin.programNameIndexed(2), "Quiet");
}

TEST(PluginLoader, FallsBackToTheOldEntryName) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_MAIN_ONLY_PLUGIN_PATH, error)) << error;
    EXPECT_EQ(plugin.effectName(), "Fake Through");
}

TEST(PluginLoader, RefusesWhatIsNoUsablePlugin) {
    hosttest::TempDir dir;
    std::ofstream(dir.path("text.so")) << "not a library\n";
    const std::string cases[] = {dir.path("missing.so"), dir.path("text.so"), FAKE_NULL_PLUGIN_PATH,
                                 FAKE_BAD_MAGIC_PLUGIN_PATH, FAKE_NO_ENTRY_PLUGIN_PATH};
    for (const std::string& path : cases) {
        PluginHost plugin;
        std::string error;
        EXPECT_FALSE(plugin.load(path, error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(plugin.effect(), nullptr);
    }
}

TEST(PluginLoader, InstancesAreIndependent) {
    PluginHost a, b;
    std::string error;
    ASSERT_TRUE(a.load(FAKE_PLUGIN_PATH, error)) << error;
    ASSERT_TRUE(b.load(FAKE_PLUGIN_PATH, error)) << error;
    a.setParameter(0, 0.9f);
    EXPECT_FLOAT_EQ(a.getParameter(0), 0.9f);
    EXPECT_FLOAT_EQ(b.getParameter(0), 0.5f);
}

TEST(ParameterLookup, NamesMatchCaseInsensitivelyAndIndexesByNumber) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    EXPECT_EQ(plugin.findParameter("Gain", error), 0);
    EXPECT_EQ(plugin.findParameter("gAIN", error), 0);
    EXPECT_EQ(plugin.findParameter("mix pls", error), 1);
    EXPECT_EQ(plugin.findParameter(" Mix PLS ", error), 1);
    EXPECT_EQ(plugin.findParameter("lowq/highq", error), 2);
    EXPECT_EQ(plugin.findParameter("mix_pls", error), 1);  // punctuation-blind when unambiguous
    EXPECT_EQ(plugin.findParameter("2", error), 2);
    EXPECT_EQ(plugin.findParameter("0", error), 0);

    EXPECT_EQ(plugin.findParameter("3", error), -1);
    EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    EXPECT_EQ(plugin.findParameter("99999999999999999999", error), -1);
    EXPECT_EQ(plugin.findParameter("Drive", error), -1);
    EXPECT_NE(error.find("\"Mix PLS\""), std::string::npos) << error;  // lists what there is
    EXPECT_EQ(plugin.findParameter("", error), -1);
    EXPECT_EQ(plugin.findParameter("--", error), -1);
}

TEST(PluginPresets, ProgramChunkRoundTripUsesIndexOne) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    plugin.setParameter(0, 0.125f);
    presetfile::PresetFile program = captured(plugin, false);
    EXPECT_EQ(program.kind, presetfile::Kind::programChunk);
    EXPECT_EQ(program.fxID, vstFourCC('F', 'A', 'K', 'E'));
    EXPECT_EQ(program.fxVersion, 3);
    EXPECT_EQ(program.programName, "Clean");
    EXPECT_EQ(program.chunk.size(), 36u);  // one program of the fake, not the bank

    // Into another program of a fresh instance: only that program changes.
    PluginHost other;
    ASSERT_TRUE(other.load(FAKE_PLUGIN_PATH, error)) << error;
    other.setProgram(2);
    ASSERT_TRUE(applyPreset(other, program, false, error)) << error;
    EXPECT_FLOAT_EQ(other.getParameter(0), 0.125f);
    EXPECT_EQ(other.programName(), "Clean");
    other.setProgram(1);
    EXPECT_FLOAT_EQ(other.getParameter(0), 1.0f);
}

TEST(PluginPresets, BankChunkRoundTripRestoresEveryProgram) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    for (int p = 0; p < 3; p++) {
        plugin.setProgram(p);
        plugin.setParameter(0, 0.1f * (float)(p + 1));
    }
    plugin.setProgram(1);
    presetfile::PresetFile bank = captured(plugin, true);
    EXPECT_EQ(bank.kind, presetfile::Kind::bankChunk);
    EXPECT_EQ(bank.chunk.size(), 108u);
    EXPECT_EQ(bank.currentProgram, 1);

    std::vector<uint8_t> bytes = presetfile::serialize(bank);
    presetfile::PresetFile parsed;
    ASSERT_TRUE(presetfile::parse(bytes.data(), bytes.size(), parsed, error)) << error;

    PluginHost other;
    ASSERT_TRUE(other.load(FAKE_PLUGIN_PATH, error)) << error;
    ASSERT_TRUE(applyPreset(other, parsed, true, error)) << error;
    for (int p = 0; p < 3; p++) {
        other.setProgram(p);
        EXPECT_FLOAT_EQ(other.getParameter(0), 0.1f * (float)(p + 1)) << "program " << p;
    }
}

TEST(PluginPresets, ParameterListsForPluginsWithoutChunks) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_NO_CHUNKS_PLUGIN_PATH, error)) << error;
    plugin.setProgram(1);
    plugin.setParameter(2, 0.75f);
    presetfile::PresetFile program = captured(plugin, false);
    presetfile::PresetFile bank = captured(plugin, true);
    EXPECT_EQ(program.kind, presetfile::Kind::programParams);
    EXPECT_EQ(program.params, (std::vector<float>{1.0f, 0.5f, 0.75f}));
    EXPECT_EQ(bank.kind, presetfile::Kind::bankParams);
    ASSERT_EQ(bank.programs.size(), 3u);
    EXPECT_EQ(bank.programs[2].name, "Quiet");
    EXPECT_EQ(plugin.currentProgram(), 1);  // capturing the bank switched back

    PluginHost other;
    ASSERT_TRUE(other.load(FAKE_NO_CHUNKS_PLUGIN_PATH, error)) << error;
    ASSERT_TRUE(applyPreset(other, bank, true, error)) << error;
    EXPECT_EQ(other.currentProgram(), 1);
    EXPECT_FLOAT_EQ(other.getParameter(2), 0.75f);
    other.setProgram(0);
    ASSERT_TRUE(applyPreset(other, program, false, error)) << error;
    EXPECT_FLOAT_EQ(other.getParameter(0), 1.0f);
}

TEST(PluginPresets, RefusesPresetsThatDoNotFit) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(FAKE_PLUGIN_PATH, error)) << error;
    presetfile::PresetFile program = captured(plugin, false);
    presetfile::PresetFile bank = captured(plugin, true);
    plugin.setParameter(0, 0.3f);

    presetfile::PresetFile foreign = program;
    foreign.fxID = vstFourCC('C', 'R', 'V', 'X');
    EXPECT_FALSE(applyPreset(plugin, foreign, false, error));
    EXPECT_NE(error.find("'CRVX'"), std::string::npos) << error;

    EXPECT_FALSE(applyPreset(plugin, bank, false, error));  // a bank given as a program
    EXPECT_NE(error.find("--load-fxb"), std::string::npos) << error;
    EXPECT_FALSE(applyPreset(plugin, program, true, error));

    presetfile::PresetFile shortChunk = program;
    shortChunk.chunk.pop_back();  // the plug-in answers 0 to a wrong size
    EXPECT_FALSE(applyPreset(plugin, shortChunk, false, error));

    presetfile::PresetFile params;
    params.kind = presetfile::Kind::programParams;
    params.fxID = program.fxID;
    params.params = {0.1f, 0.2f};  // the plug-in has three
    EXPECT_FALSE(applyPreset(plugin, params, false, error));

    // Nothing of the refused presets arrived.
    EXPECT_FLOAT_EQ(plugin.getParameter(0), 0.3f);

    PluginHost noChunks;
    ASSERT_TRUE(noChunks.load(FAKE_NO_CHUNKS_PLUGIN_PATH, error)) << error;
    EXPECT_FALSE(applyPreset(noChunks, program, false, error));
}

TEST(CommandLine, ParsesOptionsAndRefusesMalformedOnes) {
    Options o;
    std::string error;
    const char* good[] = {"corvex-render", "in.wav", "-o",        "x.wav", "--block=64", "--set", "Mix PLS=0.25",
                          "--set",         "2=1",    "--program", "3",     "--rate",     "48000"};
    ASSERT_TRUE(parseOptions(13, good, o, error)) << error;
    EXPECT_EQ(o.input, "in.wav");
    EXPECT_EQ(o.output, "x.wav");
    EXPECT_EQ(o.blockSize, 64);
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[0].key, "Mix PLS");
    EXPECT_FLOAT_EQ(o.settings[0].value, 0.25f);
    EXPECT_EQ(o.program, 3);
    EXPECT_EQ(o.rate, 48000.0);

    const std::vector<std::vector<const char*>> bad = {
        {"r"},                                 // no input
        {"r", "a.wav", "b.wav"},               // two inputs
        {"r", "a.wav", "--block", "0"},        // block out of range
        {"r", "a.wav", "--block", "12x"},      // not a number
        {"r", "a.wav", "--block"},             // value missing
        {"r", "a.wav", "--set", "Drive"},      // no '='
        {"r", "a.wav", "--set", "Drive=abc"},  // value not a number
        {"r", "a.wav", "--set", "Drive=nan"},  // not finite
        {"r", "a.wav", "--set", "Drive=1.5"},  // out of 0..1
        {"r", "a.wav", "--set", "=0.5"},       // no name
        {"r", "a.wav", "--rate", "-44100"},
        {"r", "a.wav", "--program", "-1"},
        {"r", "a.wav", "--list=yes"},
        {"r", "a.wav", "--frobnicate"},
        {"r", "a.wav", "--load-fxp", "a", "--load-fxp", "b"},
        {"r", "a.wav", "-o", "x.wav", "--output", "y.wav"},  // which one?
        {"r", "a.wav", "--plugin", "a.so", "--plugin=b.so"},
        {"r", "--list", "a.wav"},  // --list renders nothing
        {"r", "--list", "--save-fxb", "b.fxb"},
        {"r", "-o", "x.wav"},                         // nothing to render
        {"r", "--save-fxp", "a.wav", "-o", "x.wav"},  // the option took the input's name
        {"r", "-"},                                   // no name to derive an output from
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(parseOptions((int)args.size(), args.data(), o, error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
    // Presets can be written without rendering anything.
    const char* saveOnly[] = {"r", "--save-fxp", "p.fxp"};
    EXPECT_TRUE(parseOptions(3, saveOnly, o, error)) << error;
    const char* piped[] = {"r", "-", "-o", "x.wav", "--accept-damaged", "--allow-nonfinite", "--force"};
    ASSERT_TRUE(parseOptions(7, piped, o, error)) << error;
    EXPECT_EQ(o.input, "-");
    EXPECT_TRUE(o.acceptDamaged && o.allowNonFinite && o.force);
}

TEST(CommandLine, DefaultOutputNameGoesToTheCurrentFolder) {
    EXPECT_EQ(defaultOutputName("riff.wav"), "riff-corvex.wav");
    EXPECT_EQ(defaultOutputName("/some/where/take 3.flac"), "take 3-corvex.wav");
    EXPECT_EQ(defaultOutputName("noext"), "noext-corvex.wav");
}
