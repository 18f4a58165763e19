// The factory bank from its files: what a host lists, that every program
// and both channels of it play the DI riff at one loudness without getting
// near full scale, and that the single-program files are the bank's.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/PluginPresets.h"
#include "host/PresetFile.h"
#include "tools/presets/FactoryRecipes.h"
#include "tools/presets/ProgramMeasure.h"

namespace {

const std::string kPlugin = CORVEX_PLUGIN_PATH;
const std::string kPresets = CORVEX_PRESETS_DIR;
constexpr size_t kRecord = 208;
constexpr int kChannel = 1, kVolume = 9, kQuality = 11;

presetfile::PresetFile readPreset(const std::string& name) {
    presetfile::PresetFile file;
    std::string error;
    EXPECT_TRUE(presetfile::readFile(kPresets + "/" + name, file, error)) << name << ": " << error;
    return file;
}

// A fresh instance with the bank loaded as corvex-render --load-fxb does.
void loadBank(PluginHost& plugin, const presetfile::PresetFile& bank, int rate) {
    std::string error;
    ASSERT_TRUE(plugin.load(kPlugin, error)) << error;
    plugin.setSampleRate(rate);
    plugin.setBlockSize(kRenderBlock);
    ASSERT_TRUE(applyPreset(plugin, bank, true, error)) << error;
}

std::string fxpName(size_t index) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", (int)index + 1);
    return prefix + factoryRecipes()[index].fileStem + ".fxp";
}

}  // namespace

TEST(FactoryBank, HostListsTenNamedProgramsEachOnItsChannel) {
    presetfile::PresetFile bank = readPreset("Corvex-factory.fxb");
    ASSERT_EQ(bank.kind, presetfile::Kind::bankChunk);
    EXPECT_EQ(bank.currentProgram, 0);
    PluginHost plugin;
    loadBank(plugin, bank, 44100);
    const auto& recipes = factoryRecipes();
    ASSERT_EQ(plugin.numPrograms(), 10);
    ASSERT_EQ(recipes.size(), 10u);
    EXPECT_EQ(plugin.currentProgram(), 0);
    EXPECT_EQ(plugin.programNameIndexed(4), "Lead Channel 1");
    plugin.setProgram(4);
    EXPECT_EQ(plugin.getParameter(kChannel), 1.0f);
    std::set<std::string> names;
    for (int i = 0; i < 10; i++) {
        SCOPED_TRACE(recipes[(size_t)i].name);
        std::string name = plugin.programNameIndexed(i);
        EXPECT_EQ(name, recipes[(size_t)i].name);
        EXPECT_NE(name, "Init");
        EXPECT_LE(name.size(), 24u);
        names.insert(name);
        plugin.setProgram(i);
        EXPECT_EQ(plugin.getParameter(kChannel), (float)recipes[(size_t)i].channel);
        EXPECT_EQ(plugin.getParameter(kQuality) >= 0.5f, recipes[(size_t)i].highQuality);
        // The other channel was set too: a fresh program's channels sit at
        // 0.5. (Switching writes through into the program; this instance
        // is not used for anything else.)
        plugin.setParameter(kChannel, recipes[(size_t)i].channel == 1 ? 0.0f : 1.0f);
        EXPECT_NE(plugin.getParameter(kVolume), 0.5f);
    }
    EXPECT_EQ(names.size(), 10u);
}

TEST(FactoryBank, EveryProgramAndChannelPlaysTheRiffAtOneLoudnessBelowFullScale) {
    DiSignal di;
    std::string error;
    ASSERT_TRUE(loadDi(DEMO_RIFF_PATH, kDiPeakDb, di, error)) << error;
    presetfile::PresetFile bank = readPreset("Corvex-factory.fxb");
    double lo = 1e9, hi = -1e9, loStored = 1e9, hiStored = -1e9;
    for (int i = 0; i < 10; i++) {
        const FactoryRecipe& r = factoryRecipes()[(size_t)i];
        for (int channel = 0; channel < 2; channel++) {
            SCOPED_TRACE(r.name + ", channel " + std::to_string(channel));
            PluginHost plugin;
            loadBank(plugin, bank, di.rate);
            plugin.setProgram(i);
            if (channel != r.channel)
                plugin.setParameter(kChannel, (float)channel);
            LevelReport level;
            ASSERT_TRUE(renderAndMeasure(plugin, di, level, error)) << error;
            EXPECT_LT(level.samplePeakDb, -1.0);
            EXPECT_LT(level.truePeakDb, -0.9);
            lo = std::min(lo, level.integratedLufs);
            hi = std::max(hi, level.integratedLufs);
            if (channel == r.channel) {
                loStored = std::min(loStored, level.integratedLufs);
                hiStored = std::max(hiStored, level.integratedLufs);
            }
        }
    }
    EXPECT_LE(hiStored - loStored, 1.0) << "programs from " << loStored << " to " << hiStored << " LUFS";
    EXPECT_LE(hi - lo, 1.0) << "channels from " << lo << " to " << hi << " LUFS";
    // Loud enough to be a level a mix starts from, not a near-silent bank.
    EXPECT_GT(lo, -30.0);
}

TEST(FactoryBank, EachProgramFileHoldsItsProgramOfTheBank) {
    presetfile::PresetFile bank = readPreset("Corvex-factory.fxb");
    ASSERT_EQ(bank.chunk.size(), 10 * kRecord);
    for (size_t i = 0; i < 10; i++) {
        SCOPED_TRACE(fxpName(i));
        presetfile::PresetFile program = readPreset(fxpName(i));
        ASSERT_EQ(program.kind, presetfile::Kind::programChunk);
        EXPECT_EQ(program.fxID, bank.fxID);
        EXPECT_EQ(program.programName, factoryRecipes()[i].name);
        std::vector<uint8_t> record(bank.chunk.begin() + (long)(i * kRecord),
                                    bank.chunk.begin() + (long)((i + 1) * kRecord));
        EXPECT_TRUE(program.chunk == record) << "the .fxp differs from its program in the bank";

        // Loaded on its own into a fresh instance it becomes that program.
        PluginHost plugin;
        std::string error;
        ASSERT_TRUE(plugin.load(kPlugin, error)) << error;
        ASSERT_TRUE(applyPreset(plugin, program, false, error)) << error;
        std::vector<uint8_t> current;
        ASSERT_TRUE(plugin.getChunk(true, current));
        EXPECT_TRUE(current == record) << "the loaded program differs from the file";
        EXPECT_EQ(plugin.programName(), factoryRecipes()[i].name);
    }
}
