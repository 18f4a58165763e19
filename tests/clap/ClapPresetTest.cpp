// The factory programs in a CLAP host's preset browser: the entry's
// preset-discovery factory lists the ten programs of the factory bank (by
// the names the installed .fxp files carry), and the plug-in's preset-load
// extension loads each so that the amp sounds exactly as the VST 2.4 build
// does with the matching .fxp loaded. Unknown keys and file locations are
// refused with the host told why, and change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ClapPresetIndexer.h"
#include "ClapTestHost.h"
#include "VstReference.h"

using namespace clapcheck;

namespace {

const char* const kFxpFiles[10] = {
    "01-Glass-Clean.fxp",  "02-Edge-of-Breakup.fxp", "03-Crunch-Rhythm.fxp", "04-Classic-Rock.fxp",
    "05-Lead-Channel-1.fxp", "06-High-Gain.fxp",     "07-Scooped-Metal.fxp", "08-Boosted-Blues.fxp",
    "09-Bass-Heavy.fxp",   "10-HighQ-Singing-Lead.fxp"};
constexpr size_t kFxpChunkAt = 60, kProgram = 208, kStateHeader = 24;

// The program record inside a factory .fxp (a program chunk after its header).
std::vector<unsigned char> fxpRecord(int program) {
    std::ifstream in(std::string(CORVEX_PRESETS_DIR) + "/" + kFxpFiles[program], std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != kFxpChunkAt + kProgram || std::memcmp(bytes.data() + 8, "FPCh", 4) != 0)
        return {};
    return std::vector<unsigned char>(bytes.begin() + kFxpChunkAt, bytes.end());
}

std::string recordName(const std::vector<unsigned char>& record) {
    const char* name = reinterpret_cast<const char*>(record.data());
    return std::string(name, strnlen(name, 24));
}

std::vector<unsigned char> savedState(const ClapTestHost& host) {
    MemoryOut out;
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    if (!state || !state->save(host.plugin(), &out.stream))
        return {};
    return out.bytes;
}

}  // namespace

TEST(ClapPresets, DiscoveryListsTheTenFactoryProgramsInsideThePlugin) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    const clap_preset_discovery_factory* factory = discoveryOf(host, CLAP_PRESET_DISCOVERY_FACTORY_ID);
    ASSERT_NE(factory, nullptr) << host.error();
    EXPECT_EQ(discoveryOf(host, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), factory);
    ASSERT_EQ(factory->count(factory), 1u);
    const clap_preset_discovery_provider_descriptor* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    EXPECT_STREQ(d->vendor, "Ardex Plugins");

    Indexer indexer;
    EXPECT_EQ(factory->create(factory, &indexer.indexer, "another.provider"), nullptr);
    EXPECT_EQ(factory->create(factory, nullptr, d->id), nullptr);
    const clap_preset_discovery_provider* provider = factory->create(factory, &indexer.indexer, d->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].kind, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(indexer.locations[0].location, nullptr);
    EXPECT_EQ(indexer.locations[0].flags, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));

    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &indexer.receiver));
    ASSERT_EQ(indexer.presets.size(), 10u);
    for (int p = 0; p < 10; ++p) {
        const std::vector<unsigned char> record = fxpRecord(p);
        ASSERT_EQ(record.size(), kProgram) << kFxpFiles[p];
        EXPECT_EQ(indexer.presets[p].name, recordName(record)) << kFxpFiles[p];
        EXPECT_EQ(indexer.presets[p].key, std::to_string(p));
        EXPECT_EQ(indexer.presets[p].pluginIds, std::vector<std::string>{"clap:com.ardex-plugins.corvex"});
        EXPECT_EQ(indexer.presets[p].flags, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    }
    // A file location is none of ours; a host that wants no more is obeyed.
    Indexer files;
    EXPECT_FALSE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp", &files.receiver));
    EXPECT_TRUE(files.presets.empty());
    Indexer few;
    few.stopAfter = 3;
    EXPECT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &few.receiver));
    EXPECT_EQ(few.presets.size(), 3u);
    provider->destroy(provider);
}

// Each program loaded through preset-load sounds as the VST 2.4 build with
// the matching .fxp loaded, bit for bit, and the host sees its values.
TEST(ClapPresets, EachLoadedProgramRendersAsItsFxpInTheVstBuild) {
    constexpr uint32_t kFrames = 2048;
    for (int p = 0; p < 10; ++p) {
        SCOPED_TRACE(kFxpFiles[p]);
        std::vector<unsigned char> record = fxpRecord(p);
        ASSERT_EQ(record.size(), kProgram);

        ClapTestHost host(CORVEX_CLAP_PATH);
        ASSERT_NE(host.create(), nullptr) << host.error();
        ASSERT_TRUE(host.activate(44100.0, kFrames));
        auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
        ASSERT_NE(load, nullptr);
        EXPECT_EQ(host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD_COMPAT), load);
        const std::string key = std::to_string(p);
        ASSERT_TRUE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key.c_str()));
        EXPECT_EQ(host.presetsLoaded, 1);
        EXPECT_TRUE(host.presetErrors.empty());

        LoadedPlugin library;
        VstReference vst(library, 44100.0f, kFrames);
        ASSERT_NE(vst.effect(), nullptr);
        vst.dispatch(effSetChunk, 1, static_cast<VstIntPtr>(record.size()), record.data());

        auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
        ASSERT_NE(params, nullptr);
        for (int i = 0; i < vst.effect()->numParams; ++i) {
            double value = -1.0;
            ASSERT_TRUE(params->get_value(host.plugin(), static_cast<clap_id>(i), &value));
            EXPECT_EQ(static_cast<float>(value), vst.effect()->getParameter(vst.effect(), i)) << "parameter " << i;
        }

        std::vector<float> inL(kFrames), inR(kFrames);
        for (uint32_t i = 0; i < kFrames; ++i) {
            inL[i] = 0.4f * static_cast<float>(std::sin(0.031 * i));
            inR[i] = 0.3f * static_cast<float>(std::sin(0.017 * i + 1.0));
        }
        std::vector<float> clapL = inL, clapR = inR, vstL(kFrames), vstR(kFrames);
        float* clapIo[2] = {clapL.data(), clapR.data()};
        InputEvents none;
        OutputEvents sent;
        ASSERT_EQ(host.process(clapIo, clapIo, kFrames, none, sent), CLAP_PROCESS_CONTINUE);
        float* vin[2] = {inL.data(), inR.data()};
        float* vout[2] = {vstL.data(), vstR.data()};
        vst.block(vin, vout, static_cast<int>(kFrames), {});
        EXPECT_EQ(0, std::memcmp(clapL.data(), vstL.data(), kFrames * sizeof(float)));
        EXPECT_EQ(0, std::memcmp(clapR.data(), vstR.data(), kFrames * sizeof(float)));
    }
}

// A load replaces the current program only: the other nine stay, and the
// current program's index too.
TEST(ClapPresets, LoadReplacesOnlyTheCurrentProgram) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    const std::vector<unsigned char> before = savedState(host);
    ASSERT_EQ(before.size(), kStateHeader + 10 * kProgram);
    ASSERT_TRUE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "5"));
    const std::vector<unsigned char> after = savedState(host);
    ASSERT_EQ(after.size(), before.size());
    uint32_t current = 0;
    std::memcpy(&current, before.data() + 12, 4);
    ASSERT_LT(current, 10u);
    EXPECT_EQ(0, std::memcmp(before.data(), after.data(), kStateHeader));
    for (uint32_t p = 0; p < 10; ++p) {
        const unsigned char* was = before.data() + kStateHeader + p * kProgram;
        const unsigned char* is = after.data() + kStateHeader + p * kProgram;
        if (p == current)
            EXPECT_EQ(0, std::memcmp(is, fxpRecord(5).data(), kProgram));
        else
            EXPECT_EQ(0, std::memcmp(is, was, kProgram)) << "program " << p;
    }
}

// While audio runs the load reaches the amp at the next block, and its
// values reach the host as output events (by the block after it).
TEST(ClapPresets, LoadWhileProcessingTakesEffectAtTheNextBlock) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    ASSERT_TRUE(host.activate(48000.0, 256));
    std::vector<float> l(256, 0.1f), r(256, 0.1f);
    float* io[2] = {l.data(), r.data()};
    InputEvents none;
    OutputEvents first, second, third;
    ASSERT_EQ(host.process(io, io, 256, none, first), CLAP_PROCESS_CONTINUE);
    auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
    ASSERT_TRUE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "6"));
    ASSERT_EQ(host.process(io, io, 256, none, second), CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(host.process(io, io, 256, none, third), CLAP_PROCESS_CONTINUE);
    EXPECT_FALSE(second.events.empty() && third.events.empty());
    const std::vector<unsigned char> record = fxpRecord(6);
    float drive = 0.0f;
    std::memcpy(&drive, record.data() + 32, 4);  // the record's Drive
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    double value = -1.0;
    ASSERT_TRUE(params->get_value(host.plugin(), 2, &value));
    EXPECT_EQ(static_cast<float>(value), drive);
}

TEST(ClapPresets, UnknownKeysAndFileLocationsAreRefusedAndChangeNothing) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    const std::vector<unsigned char> before = savedState(host);
    const char* const badKeys[] = {nullptr, "", "10", "-1", "a", "3 ", "03", "9\n", "99999999999"};
    for (const char* key : badKeys)
        EXPECT_FALSE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key))
            << (key ? key : "(null)");
    EXPECT_FALSE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_FILE,
                                     CORVEX_PRESETS_DIR "/03-Crunch-Rhythm.fxp", nullptr));
    EXPECT_FALSE(load->from_location(host.plugin(), 7, nullptr, "1"));
    EXPECT_FALSE(load->from_location(nullptr, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "1"));
    EXPECT_EQ(host.presetErrors.size(), sizeof(badKeys) / sizeof(badKeys[0]) + 2);
    EXPECT_EQ(host.presetsLoaded, 0);
    EXPECT_EQ(savedState(host), before);
}
