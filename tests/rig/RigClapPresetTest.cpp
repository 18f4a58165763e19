// Corvex Rig's ten factory programs in a CLAP host's preset browser: the
// entry's preset-discovery factory lists them (the rig's own provider, for
// the rig's plug-in id), and preset-load puts one in the current program's
// place, amp, gate, cabinet and levels, so that the plug-in sounds exactly
// as the rig engine with that factory program selected. Bad keys and file
// locations are refused with the host told why, and change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "rig/RigEngine.h"
#include "tests/clap/ClapPresetIndexer.h"

using namespace clapcheck;
using corvex::RigEngine;

namespace {

std::vector<unsigned char> savedState(const ClapTestHost& host) {
    struct Out {
        clap_ostream stream{};
        std::vector<unsigned char> bytes;
    } out;
    out.stream.ctx = &out;
    out.stream.write = [](const clap_ostream* s, const void* data, uint64_t size) -> int64_t {
        auto* self = static_cast<Out*>(s->ctx);
        self->bytes.insert(self->bytes.end(), static_cast<const unsigned char*>(data),
                           static_cast<const unsigned char*>(data) + size);
        return static_cast<int64_t>(size);
    };
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    if (!state || !state->save(host.plugin(), &out.stream))
        return {};
    return out.bytes;
}

std::string programName(const RigEngine& rig, int program) {
    char name[64] = {};
    rig.programName(program, name, sizeof name);
    return name;
}

std::vector<float> testSignal(uint32_t frames, double rate, double phase) {
    std::vector<float> s(frames);
    for (uint32_t i = 0; i < frames; ++i)
        s[i] = 0.3f * static_cast<float>(std::sin(rate * i + phase));
    return s;
}

}  // namespace

TEST(RigClapPresets, DiscoveryListsTheRigsTenProgramsForTheRigOnly) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    const clap_preset_discovery_factory* factory = discoveryOf(host, CLAP_PRESET_DISCOVERY_FACTORY_ID);
    ASSERT_NE(factory, nullptr) << host.error();
    EXPECT_EQ(discoveryOf(host, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), factory);
    ASSERT_EQ(factory->count(factory), 1u);
    const clap_preset_discovery_provider_descriptor* d = factory->get_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    EXPECT_STREQ(d->vendor, "Ardex Plugins");

    // The head's provider is another one: a host keeps the two banks apart.
    ClapTestHost head(CORVEX_HEAD_CLAP_PATH);
    const clap_preset_discovery_factory* headFactory = discoveryOf(head, CLAP_PRESET_DISCOVERY_FACTORY_ID);
    ASSERT_NE(headFactory, nullptr) << head.error();
    EXPECT_STRNE(headFactory->get_descriptor(headFactory, 0)->id, d->id);
    Indexer wrong;
    EXPECT_EQ(factory->create(factory, &wrong.indexer, headFactory->get_descriptor(headFactory, 0)->id), nullptr);

    Indexer indexer;
    const clap_preset_discovery_provider* provider = factory->create(factory, &indexer.indexer, d->id);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->init(provider));
    ASSERT_EQ(indexer.locations.size(), 1u);
    EXPECT_EQ(indexer.locations[0].kind, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN));
    EXPECT_EQ(indexer.locations[0].location, nullptr);
    ASSERT_TRUE(provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, &indexer.receiver));
    ASSERT_EQ(indexer.presets.size(), 10u);
    const RigEngine rig;  // the factory bank, as a new rig holds it
    for (int p = 0; p < 10; ++p) {
        EXPECT_EQ(indexer.presets[p].name, programName(rig, p)) << p;
        EXPECT_FALSE(indexer.presets[p].name.empty()) << p;
        EXPECT_EQ(indexer.presets[p].key, std::to_string(p));
        EXPECT_EQ(indexer.presets[p].pluginIds, std::vector<std::string>{"clap:com.ardex-plugins.corvex-rig"});
        EXPECT_EQ(indexer.presets[p].flags, static_cast<uint32_t>(CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT));
    }
    provider->destroy(provider);
}

// Each program, loaded over a program whose knobs were moved, gives the
// values and the samples of the rig engine with that program selected.
TEST(RigClapPresets, EachLoadedProgramSoundsAsTheEngineWithItSelected) {
    constexpr uint32_t kFrames = 2048;
    constexpr double kRate = 48000.0;
    const std::vector<float> inL = testSignal(kFrames, 0.031, 0.0), inR = testSignal(kFrames, 0.017, 1.0);
    for (int p = 0; p < 10; ++p) {
        SCOPED_TRACE(p);
        ClapTestHost host(CORVEX_RIG_CLAP_PATH);
        ASSERT_NE(host.create(), nullptr) << host.error();
        ASSERT_TRUE(host.activate(kRate, kFrames));
        auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
        ASSERT_NE(params, nullptr);
        {  // the user's own moves on the current program, which the load replaces
            InputEvents moves;
            moves.add(0, 2, 0.93);
            moves.add(0, corvex::kCabinetModel, RigEngine::valueOfCabinetModel(3));
            moves.add(0, corvex::kMaster, 0.1);
            moves.add(0, corvex::kGateThreshold, 0.8);
            OutputEvents sent;
            host.flush(moves, sent);
        }
        auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
        ASSERT_NE(load, nullptr);
        EXPECT_EQ(host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD_COMPAT), load);
        const std::string key = std::to_string(p);
        ASSERT_TRUE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key.c_str()));
        EXPECT_EQ(host.presetsLoaded, 1);
        EXPECT_TRUE(host.presetErrors.empty());

        RigEngine reference;
        ASSERT_TRUE(reference.setSampleRate(kRate));
        ASSERT_TRUE(reference.postProgram(p));
        reference.flush();
        for (int i = 0; i < RigEngine::kParameterCount; ++i) {
            double value = -1.0;
            ASSERT_TRUE(params->get_value(host.plugin(), static_cast<clap_id>(i), &value));
            EXPECT_EQ(static_cast<float>(value), reference.value(i)) << "parameter " << i;
        }

        std::vector<float> clapL = inL, clapR = inR, refL(kFrames), refR(kFrames);
        float* io[2] = {clapL.data(), clapR.data()};
        InputEvents none;
        OutputEvents sent;
        ASSERT_EQ(host.process(io, io, kFrames, none, sent), CLAP_PROCESS_CONTINUE);
        reference.process(inL.data(), inR.data(), refL.data(), refR.data(), static_cast<int>(kFrames));
        reference.endBlock();
        EXPECT_EQ(0, std::memcmp(clapL.data(), refL.data(), kFrames * sizeof(float)));
        EXPECT_EQ(0, std::memcmp(clapR.data(), refR.data(), kFrames * sizeof(float)));
    }
}

// A load while audio runs reaches the rig at the next block and its values
// reach the host as output events; the user's impulse stays in the state.
TEST(RigClapPresets, LoadWhileProcessingTakesEffectAtTheNextBlock) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    ASSERT_TRUE(host.activate(48000.0, 256));
    std::vector<float> l(256, 0.1f), r(256, 0.1f);
    float* io[2] = {l.data(), r.data()};
    InputEvents none;
    OutputEvents first, second, third;
    ASSERT_EQ(host.process(io, io, 256, none, first), CLAP_PROCESS_CONTINUE);
    auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    ASSERT_TRUE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "6"));
    ASSERT_EQ(host.process(io, io, 256, none, second), CLAP_PROCESS_CONTINUE);
    ASSERT_EQ(host.process(io, io, 256, none, third), CLAP_PROCESS_CONTINUE);
    EXPECT_FALSE(second.events.empty() && third.events.empty());
    RigEngine reference;
    ASSERT_TRUE(reference.postProgram(6));
    reference.flush();
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    for (int i : {2, static_cast<int>(corvex::kCabinetModel), static_cast<int>(corvex::kCabinetTrim)}) {
        double value = -1.0;
        ASSERT_TRUE(params->get_value(host.plugin(), static_cast<clap_id>(i), &value));
        EXPECT_EQ(static_cast<float>(value), reference.value(i)) << "parameter " << i;
    }
}

TEST(RigClapPresets, BadKeysAndFileLocationsAreRefusedAndChangeNothing) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* load = host.extension<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD);
    ASSERT_NE(load, nullptr);
    const std::vector<unsigned char> before = savedState(host);
    ASSERT_FALSE(before.empty());
    const char* const badKeys[] = {nullptr, "", "10", "-1", "a", "3 ", "03", "9\n"};
    for (const char* key : badKeys)
        EXPECT_FALSE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key))
            << (key ? key : "(null)");
    EXPECT_FALSE(load->from_location(host.plugin(), CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/rig.fxp", nullptr));
    EXPECT_FALSE(load->from_location(host.plugin(), 7, nullptr, "1"));
    EXPECT_FALSE(load->from_location(nullptr, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "1"));
    EXPECT_EQ(host.presetErrors.size(), sizeof(badKeys) / sizeof(badKeys[0]) + 2);
    EXPECT_EQ(host.presetsLoaded, 0);
    EXPECT_EQ(savedState(host), before);
}
