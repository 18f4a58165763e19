// The factory .vstpreset files the build writes: each one a well-formed file
// for the amp's class, one per factory program, and its component state,
// loaded as a host loads a preset, sets the amp exactly as the factory bank
// with that program current does.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Vst3TestHost.h"
#include "host/PresetFile.h"
#include "model/AmpEngine.h"
#include "model/ParameterTable.h"

using namespace vst3check;
using namespace v3;

namespace {

const char kClassId[] = "1C63CDA6CC4946BC98BA574F3185125A";
constexpr ParamID kProgramParam = 14;

struct Chunk {
    uint64_t offset = 0;
    uint64_t size = 0;
};

struct ParsedPreset {
    std::string classId;
    std::map<std::string, Chunk> chunks;
    std::vector<unsigned char> bytes;
    std::vector<unsigned char> chunk(const std::string& id) const {
        const Chunk& c = chunks.at(id);
        return {bytes.begin() + static_cast<std::ptrdiff_t>(c.offset),
                bytes.begin() + static_cast<std::ptrdiff_t>(c.offset + c.size)};
    }
};

uint64_t little(const std::vector<unsigned char>& b, std::size_t at, int count) {
    uint64_t v = 0;
    for (int i = count - 1; i >= 0; --i)
        v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}

std::vector<unsigned char> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads the file as a host would, refusing anything out of bounds.
::testing::AssertionResult parse(const std::filesystem::path& path, ParsedPreset& out) {
    out.bytes = readBytes(path);
    const std::vector<unsigned char>& b = out.bytes;
    if (b.size() < 48 || std::memcmp(b.data(), "VST3", 4) != 0)
        return ::testing::AssertionFailure() << path << ": no VST3 header";
    if (little(b, 4, 4) != 1)
        return ::testing::AssertionFailure() << path << ": version " << little(b, 4, 4);
    out.classId.assign(reinterpret_cast<const char*>(b.data()) + 8, 32);
    const uint64_t list = little(b, 40, 8);
    if (list < 48 || list > b.size() || b.size() - list < 8 || std::memcmp(b.data() + list, "List", 4) != 0)
        return ::testing::AssertionFailure() << path << ": no chunk list at " << list;
    const uint64_t count = little(b, list + 4, 4);
    if (b.size() - list - 8 != count * 20)
        return ::testing::AssertionFailure() << path << ": chunk list of " << count << " entries does not end the file";
    for (uint64_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(list + 8 + i * 20);
        const std::string id(reinterpret_cast<const char*>(b.data()) + at, 4);
        Chunk c{little(b, at + 4, 8), little(b, at + 12, 8)};
        if (c.offset < 48 || c.offset > list || c.size > list - c.offset)
            return ::testing::AssertionFailure() << path << ": chunk " << id << " out of bounds";
        if (!out.chunks.emplace(id, c).second)
            return ::testing::AssertionFailure() << path << ": chunk " << id << " twice";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::filesystem::path> presetFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(CORVEX_VST3_PRESET_DIR))
        if (entry.path().extension() == ".vstpreset")
            files.push_back(entry.path());
    return files;
}

// The factory bank loaded into an amp engine, as a host loading it would.
struct FactoryBank {
    corvex::AmpEngine engine;
    bool load() {
        presetfile::PresetFile bank;
        std::string error;
        return presetfile::readFile(CORVEX_FACTORY_BANK, bank, error) &&
               engine.loadChunk(bank.chunk.data(), bank.chunk.size(), false);
    }
};

}  // namespace

TEST(Vst3PresetFiles, OnePerFactoryProgramForTheAmpsClass) {
    auto bank = std::make_unique<FactoryBank>();
    ASSERT_TRUE(bank->load());
    const std::vector<std::filesystem::path> files = presetFiles();
    ASSERT_EQ(files.size(), static_cast<std::size_t>(corvex::AmpEngine::kProgramCount));
    for (int p = 0; p < corvex::AmpEngine::kProgramCount; ++p) {
        char name[64] = {};
        ASSERT_TRUE(bank->engine.programName(p, name, sizeof name));
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(CORVEX_VST3_PRESET_DIR) /
                                            (std::string(name) + ".vstpreset")))
            << name;
    }
    // The class id the files name is the one the bundle declares to scanners.
    std::ifstream info(std::string(CORVEX_VST3_BUNDLE) + "/Contents/Resources/moduleinfo.json");
    std::stringstream json;
    json << info.rdbuf();
    ASSERT_NE(json.str().find(kClassId), std::string::npos);
    for (const auto& file : files) {
        ParsedPreset preset;
        ASSERT_TRUE(parse(file, preset));
        EXPECT_EQ(preset.classId, kClassId) << file;
        EXPECT_EQ(preset.chunks.count("Comp"), 1u) << file;
        EXPECT_EQ(preset.chunks.count("Cont"), 1u) << file;
        EXPECT_TRUE(corvex::AmpEngine::isValidState(preset.chunk("Comp").data(), preset.chunk("Comp").size()))
            << file;
    }
}

TEST(Vst3PresetFiles, LoadingOneGivesTheFactoryProgram) {
    auto bank = std::make_unique<FactoryBank>();
    ASSERT_TRUE(bank->load());
    // Start from settings no program has, so a preset that changed nothing shows.
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    for (int p = corvex::AmpEngine::kProgramCount - 1; p >= 0; --p) {
        char name[64] = {};
        ASSERT_TRUE(bank->engine.programName(p, name, sizeof name));
        bank->engine.selectProgram(p);
        ParsedPreset preset;
        ASSERT_TRUE(parse(std::filesystem::path(CORVEX_VST3_PRESET_DIR) / (std::string(name) + ".vstpreset"), preset));

        ParamChanges knobs;
        for (ParamID id = 0; id < static_cast<ParamID>(corvex::kNumParameters); ++id)
            knobs.add(id, 0, 0.5 + 0.01 * id);
        ASSERT_EQ(host.flush(knobs), kResultOk);

        ASSERT_EQ(host.loadState(preset.chunk("Comp")), kResultOk) << name;
        MemoryStream controllerState(preset.chunk("Cont"));
        EXPECT_EQ(host.controller->setState(&controllerState), kResultOk) << name;
        for (int i = 0; i < corvex::kNumParameters; ++i)
            EXPECT_EQ(host.controller->getParamNormalized(static_cast<ParamID>(i)),
                      static_cast<double>(bank->engine.value(i)))
                << name << ": " << corvex::kParameterTable[i].name;
        EXPECT_NEAR(host.controller->getParamNormalized(kProgramParam),
                    p / static_cast<double>(corvex::AmpEngine::kProgramCount - 1), 1e-9)
            << name;
    }
}
