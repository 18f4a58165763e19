// CorvexRig.clap loaded as a host loads it, beside the head's Corvex.clap:
// its identity and parameters, the head's samples with the gate open and the
// cabinet off, latency, and states with an embedded impulse.
#include <cmath>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"
#include "tests/clap/ClapTestHost.h"

namespace {

using clapcheck::ClapTestHost;
using clapcheck::InputEvents;
using clapcheck::OutputEvents;
using corvex::RigEngine;

struct Rendered {
    std::vector<float> left, right;
};

// Runs `in` through the plug-in in blocks of 96 frames; `events` go into the
// block that starts at their frame / 96 (at their offset inside it).
Rendered run(ClapTestHost& host, const std::vector<float>& in, const std::vector<std::array<double, 3>>& events) {
    Rendered out;
    out.left.assign(in.size(), 0.0f);
    out.right.assign(in.size(), 0.0f);
    std::vector<float> inL(in), inR(in);
    for (std::size_t at = 0; at < in.size(); at += 96) {
        const uint32_t n = (uint32_t)std::min<std::size_t>(96, in.size() - at);
        InputEvents list;
        for (const auto& e : events)
            if ((std::size_t)e[0] >= at && (std::size_t)e[0] < at + n)
                list.add((uint32_t)((std::size_t)e[0] - at), (uint32_t)e[1], e[2]);
        OutputEvents sent;
        float* ins[2] = {inL.data() + at, inR.data() + at};
        float* outs[2] = {out.left.data() + at, out.right.data() + at};
        EXPECT_EQ(host.process(ins, outs, n, list, sent), CLAP_PROCESS_CONTINUE);
    }
    return out;
}

void setBefore(ClapTestHost& host, const std::vector<std::pair<uint32_t, double>>& values) {
    InputEvents list;
    for (const auto& [id, v] : values)
        list.add(0, id, v);
    OutputEvents sent;
    host.flush(list, sent);
}

TEST(RigClap, IdentityParametersAndLatency) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(host.factory()) << host.error();
    const clap_plugin_descriptor* d = host.factory()->get_plugin_descriptor(host.factory(), 0);
    ASSERT_TRUE(d);
    EXPECT_STREQ(d->id, "com.ardex-plugins.corvex-rig");
    EXPECT_STREQ(d->name, "Corvex Rig");
    ASSERT_TRUE(host.create()) << host.error();
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    ASSERT_TRUE(params);
    ASSERT_EQ(params->count(host.plugin()), (uint32_t)RigEngine::kParameterCount);
    clap_param_info info;
    ASSERT_TRUE(params->get_info(host.plugin(), 0, &info));
    EXPECT_STREQ(info.name, "Input");
    ASSERT_TRUE(params->get_info(host.plugin(), corvex::kCabinetModel, &info));
    EXPECT_STREQ(info.name, "Cabinet Model");
    EXPECT_TRUE(info.flags & CLAP_PARAM_IS_STEPPED);
    EXPECT_FALSE(params->get_info(host.plugin(), RigEngine::kParameterCount, &info));
    char text[64];
    ASSERT_TRUE(params->value_to_text(host.plugin(), corvex::kCabinetModel, 0.0, text, sizeof text));
    EXPECT_STREQ(text, "4x12 Closed");
    auto* latency = host.extension<clap_plugin_latency>(CLAP_EXT_LATENCY);
    ASSERT_TRUE(latency);
    ASSERT_TRUE(host.activate(48000.0, 512));
    EXPECT_EQ(latency->get(host.plugin()), 0u);
}

TEST(RigClap, GateOpenCabinetOffGivesTheHeadsSamples) {
    ClapTestHost head(CORVEX_HEAD_CLAP_PATH);
    ClapTestHost rig(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(head.create()) << head.error();
    ASSERT_TRUE(rig.create()) << rig.error();
    // The same knobs on both, each channel's own, then the shared ones; the
    // rig's gate and cabinet off.
    std::vector<std::pair<uint32_t, double>> knobs;
    for (double channel : {1.0, 0.0}) {
        knobs.push_back({1, channel});
        const double offset = channel * 0.1;
        for (uint32_t id : {0u, 2u, 4u, 5u, 6u, 7u, 8u, 9u})
            knobs.push_back({id, 0.3 + 0.05 * id + offset});
    }
    for (const auto& shared : {std::pair<uint32_t, double>{3, 0.4}, {10, 1.0}, {11, 0.0}, {12, 1.0}})
        knobs.push_back(shared);
    setBefore(head, knobs);
    knobs.push_back({corvex::kGateThreshold, 0.0});
    knobs.push_back({corvex::kCabinetOn, 0.0});
    setBefore(rig, knobs);
    ASSERT_TRUE(head.activate(48000.0, 512));
    ASSERT_TRUE(rig.activate(48000.0, 512));
    const auto in = rigtest::guitar(48000, 48000.0, 4);
    const std::vector<std::array<double, 3>> moves = {{1000, 2, 0.9}, {20050, 1, 1.0}, {30001, 11, 1.0}};
    const Rendered a = run(head, in, moves);
    const Rendered b = run(rig, in, moves);
    EXPECT_EQ(0, std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)));
}

TEST(RigClap, StateWithItsImpulseOpensAfterTheFileIsGone) {
    const std::string path = rigtest::tempPath("clap-cab.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(4000, 31)}, 44100));
    std::vector<unsigned char> saved;
    {
        RigEngine engine;
        std::string error;
        ASSERT_TRUE(engine.loadImpulseFile(path, error)) << error;
        engine.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        engine.flush();
        saved = engine.saveState();
    }
    std::filesystem::remove(path);
    ClapTestHost first(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(first.create());
    auto* state = first.extension<clap_plugin_state>(CLAP_EXT_STATE);
    ASSERT_TRUE(state);
    clapcheck::MemoryIn in1(saved, 1000);  // a host reading in small pieces
    ASSERT_TRUE(state->load(first.plugin(), &in1.stream));
    clapcheck::MemoryOut out1;
    ASSERT_TRUE(state->save(first.plugin(), &out1.stream));
    EXPECT_EQ(out1.bytes, saved);

    ClapTestHost second(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(second.create());
    auto* state2 = second.extension<clap_plugin_state>(CLAP_EXT_STATE);
    clapcheck::MemoryIn in2(out1.bytes);
    ASSERT_TRUE(state2->load(second.plugin(), &in2.stream));
    ASSERT_TRUE(first.activate(48000.0, 256));
    ASSERT_TRUE(second.activate(48000.0, 256));
    const auto in = rigtest::guitar(24000, 48000.0, 9);
    const Rendered a = run(first, in, {});
    const Rendered b = run(second, in, {});
    EXPECT_EQ(a.left, b.left);
    // Hostile states: refused, and the plug-in keeps what it had.
    for (std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{100}, saved.size() - 3}) {
        clapcheck::MemoryIn bad(std::vector<unsigned char>(saved.begin(), saved.begin() + (std::ptrdiff_t)cut));
        EXPECT_FALSE(state2->load(second.plugin(), &bad.stream)) << cut;
    }
    clapcheck::MemoryOut after;
    ASSERT_TRUE(state2->save(second.plugin(), &after.stream));
    EXPECT_EQ(after.bytes, saved);
}

}  // namespace

// The gui extension: the rig's panel at its size (the head's panel and the
// strip), embedded only; a parent that is no window is refused without harm.
#if defined(_WIN32)
constexpr const char* kApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kApi = CLAP_WINDOW_API_X11;
#endif

TEST(RigClap, OffersTheRigPanel) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(host.create()) << host.error();
    auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->is_api_supported(host.plugin(), kApi, false));
    EXPECT_FALSE(gui->is_api_supported(host.plugin(), kApi, true));
    EXPECT_FALSE(gui->create(host.plugin(), kApi, true));
    ASSERT_TRUE(gui->create(host.plugin(), kApi, false));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(host.plugin(), &width, &height));
    EXPECT_EQ(width, 660u);
    EXPECT_EQ(height, 248u + 110u);
    EXPECT_FALSE(gui->can_resize(host.plugin()));
    EXPECT_TRUE(gui->set_size(host.plugin(), width, height));
    EXPECT_FALSE(gui->set_size(host.plugin(), width, 248));
    clap_window nowhere{};
    nowhere.api = kApi;
#if !defined(_WIN32)
    nowhere.x11 = 0;
#endif
    EXPECT_FALSE(gui->set_parent(host.plugin(), &nowhere));
    EXPECT_FALSE(gui->set_parent(host.plugin(), nullptr));
    gui->destroy(host.plugin());
    EXPECT_NE(host.extension<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT), nullptr);
}

TEST(RigClap, ThePanelFollowsTheHostsScale) {
    ClapTestHost host(CORVEX_RIG_CLAP_PATH);
    ASSERT_TRUE(host.create()) << host.error();
    auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
    ASSERT_TRUE(gui->create(host.plugin(), kApi, false));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->set_scale(host.plugin(), 2.0));
    ASSERT_TRUE(gui->get_size(host.plugin(), &width, &height));
    EXPECT_EQ(width, 1320u);
    EXPECT_EQ(height, 716u);
    EXPECT_TRUE(gui->set_size(host.plugin(), 1320, 716));
    EXPECT_FALSE(gui->set_size(host.plugin(), 660, 358));
    ASSERT_TRUE(gui->set_scale(host.plugin(), 1.5));
    ASSERT_TRUE(gui->get_size(host.plugin(), &width, &height));
    EXPECT_EQ(width, 990u);
    EXPECT_EQ(height, 537u);
    // Refused: the last scale stays.
    for (double bad : {0.5, 0.0, -1.0, 6.0, std::nan("")})
        EXPECT_FALSE(gui->set_scale(host.plugin(), bad)) << bad;
    ASSERT_TRUE(gui->get_size(host.plugin(), &width, &height));
    EXPECT_EQ(width, 990u);
    // A new gui starts at 1 again.
    gui->destroy(host.plugin());
    ASSERT_TRUE(gui->create(host.plugin(), kApi, false));
    ASSERT_TRUE(gui->get_size(host.plugin(), &width, &height));
    EXPECT_EQ(width, 660u);
    gui->destroy(host.plugin());
}
