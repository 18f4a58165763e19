// The CLAP build as a host sees it: the factory and descriptor, the ports,
// the parameters against what the VST 2.4 build shows, the values the effect
// changes itself reported back, and the editor's window contract.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "ClapTestHost.h"
#include "VstReference.h"
#include "model/ParameterTable.h"

using namespace clapcheck;

namespace {

bool hasEvent(const OutputEvents& sent, uint16_t type, uint32_t param, double value, uint32_t time) {
    for (const SentEvent& e : sent.events) {
        if (e.type == type && e.param == param && e.time == time &&
            (type != CLAP_EVENT_PARAM_VALUE || e.value == value))
            return true;
    }
    return false;
}

int valueEventsFor(const OutputEvents& sent, uint32_t param) {
    int n = 0;
    for (const SentEvent& e : sent.events)
        n += e.type == CLAP_EVENT_PARAM_VALUE && e.param == param;
    return n;
}

}  // namespace

TEST(ClapPlugin, FactoryDescribesOnePluginAsTheEffectReportsItself) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.entry(), nullptr) << host.error();
    EXPECT_EQ(host.entry()->clap_version.major, 1u);
    EXPECT_EQ(host.entry()->get_factory("clap.some-other-factory"), nullptr);
    const clap_plugin_factory* factory = host.factory();
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    const clap_plugin_descriptor* d = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);

    LoadedPlugin library;
    VstReference vst(library, 44100.0f, 512);
    ASSERT_NE(vst.effect(), nullptr);
    EXPECT_STREQ(d->id, "com.ardex-plugins.corvex");
    EXPECT_EQ(d->name, vst.text(effGetEffectName, 0));
    EXPECT_EQ(d->vendor, vst.text(effGetVendorString, 0));
    EXPECT_STREQ(d->version, "1.0.0");  // vendor version 1000
    std::vector<std::string> features;
    for (const char* const* f = d->features; f && *f; ++f)
        features.push_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "distortion", "stereo"}));

    EXPECT_EQ(factory->create_plugin(factory, nullptr, d->id), nullptr);
    ASSERT_NE(host.create(), nullptr) << host.error();
}

TEST(ClapPlugin, OneStereoPortEachWayInPlaceAndNoLatency) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* ports = host.extension<clap_plugin_audio_ports>(CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(ports, nullptr);
    clap_audio_port_info in{}, out{};
    ASSERT_EQ(ports->count(host.plugin(), true), 1u);
    ASSERT_EQ(ports->count(host.plugin(), false), 1u);
    ASSERT_TRUE(ports->get(host.plugin(), 0, true, &in));
    ASSERT_TRUE(ports->get(host.plugin(), 0, false, &out));
    EXPECT_FALSE(ports->get(host.plugin(), 1, false, &out));
    for (const clap_audio_port_info* p : {&in, &out}) {
        EXPECT_EQ(p->channel_count, 2u);
        EXPECT_NE(p->flags & CLAP_AUDIO_PORT_IS_MAIN, 0u);
        EXPECT_EQ(p->flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS, 0u);
        EXPECT_STREQ(p->port_type, "stereo");
    }
    EXPECT_EQ(in.in_place_pair, out.id);
    EXPECT_EQ(out.in_place_pair, in.id);
    auto* latency = host.extension<clap_plugin_latency>(CLAP_EXT_LATENCY);
    ASSERT_NE(latency, nullptr);
    EXPECT_EQ(latency->get(host.plugin()), 0u);
}

TEST(ClapPlugin, ParamInfoAndTextsMatchTheVstBuild) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    ASSERT_NE(params, nullptr);
    LoadedPlugin library;
    VstReference vst(library, 44100.0f, 512);
    ASSERT_NE(vst.effect(), nullptr);
    AEffect* effect = vst.effect();

    ASSERT_EQ(params->count(host.plugin()), static_cast<uint32_t>(corvex::kNumParameters));
    clap_param_info info;
    EXPECT_FALSE(params->get_info(host.plugin(), 13, &info));
    for (uint32_t i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        const corvex::ParameterInfo& facts = corvex::kParameterTable[i];
        ASSERT_TRUE(params->get_info(host.plugin(), i, &info));
        EXPECT_EQ(info.id, i);
        // The table, the effect and the CLAP info agree on every fact.
        EXPECT_STREQ(info.name, facts.name);
        EXPECT_EQ(std::string(info.name), vst.text(effGetParamName, i));
        EXPECT_EQ(vst.text(effGetParamLabel, i), facts.label);
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, 1.0);
        EXPECT_EQ(info.default_value, static_cast<double>(facts.defaultValue));
        EXPECT_EQ(info.default_value, effect->getParameter(effect, i));
        EXPECT_NE(info.flags & CLAP_PARAM_IS_AUTOMATABLE, 0u);
        const bool isSwitch =
            facts.role == corvex::ParameterRole::channelSwitch || facts.role == corvex::ParameterRole::onOffSwitch;
        EXPECT_EQ(isSwitch, i == 1 || i >= 10);
        EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, isSwitch);
        double value = -1.0;
        ASSERT_TRUE(params->get_value(host.plugin(), i, &value));
        EXPECT_EQ(value, info.default_value);

        for (float v : {0.0f, 0.001f, 0.25f, 0.5f, 0.7f, 1.0f}) {
            effect->setParameter(effect, i, v);
            std::string expected = vst.text(effGetParamDisplay, i);
            const std::string label = vst.text(effGetParamLabel, i);
            if (!label.empty())
                expected += " " + label;
            char text[64];
            ASSERT_TRUE(params->value_to_text(host.plugin(), i, v, text, sizeof(text)));
            EXPECT_EQ(std::string(text), expected) << "value " << v;
            double back = -1.0;
            ASSERT_TRUE(params->text_to_value(host.plugin(), i, text, &back)) << text;
            EXPECT_NEAR(back, v, 1e-5) << text;
        }
        // value_to_text shows any value without changing the plug-in's own.
        ASSERT_TRUE(params->get_value(host.plugin(), i, &value));
        EXPECT_EQ(value, info.default_value);
        char small[4];
        ASSERT_TRUE(params->value_to_text(host.plugin(), i, 0.5, small, sizeof(small)));
        EXPECT_EQ(std::strlen(small), 3u);
        EXPECT_FALSE(params->value_to_text(host.plugin(), i, std::nan(""), small, sizeof(small)));
    }
    double v = 0.0;
    EXPECT_TRUE(params->text_to_value(host.plugin(), 9, "-6.0206", &v));
    EXPECT_NEAR(v, 0.5, 1e-5);
    EXPECT_TRUE(params->text_to_value(host.plugin(), 9, " -oo dB", &v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(params->text_to_value(host.plugin(), 2, "2.5", &v));
    EXPECT_EQ(v, 1.0);  // held at the range's edge
    for (const char* bad : {"", "abc", "0.5x", "0,5", "- 1", "1 dB"})
        EXPECT_FALSE(params->text_to_value(host.plugin(), 2, bad, &v)) << "'" << bad << "'";
    EXPECT_FALSE(params->text_to_value(host.plugin(), 13, "0.5", &v));
}

TEST(ClapPlugin, AChannelSwitchReportsTheRecalledValuesAtItsSample) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    ASSERT_TRUE(host.activate(48000.0, 256));
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    std::vector<float> left(256, 0.1f), right(256, -0.1f);
    float* channels[2] = {left.data(), right.data()};

    InputEvents events;
    events.add(0, 2, 0.2);    // Drive on channel 0
    events.add(10, 1, 1.0);   // channel 1: its own Drive, 0.5
    events.add(20, 2, 0.9);   // Drive on channel 1
    events.add(30, 1, 0.0);   // back: Drive 0.2 again
    events.add(40, 3, 0.75);  // Mix PLS is shared: no recall
    OutputEvents sent;
    ASSERT_EQ(host.process(channels, channels, 256, events, sent), CLAP_PROCESS_CONTINUE);
    EXPECT_TRUE(hasEvent(sent, CLAP_EVENT_PARAM_VALUE, 2, 0.5f, 10));
    EXPECT_TRUE(hasEvent(sent, CLAP_EVENT_PARAM_VALUE, 2, 0.2f, 30));
    EXPECT_EQ(valueEventsFor(sent, 2), 2) << "nothing echoed of what the host itself set";
    EXPECT_EQ(valueEventsFor(sent, 1), 0);
    EXPECT_EQ(valueEventsFor(sent, 3), 0);
    for (const SentEvent& e : sent.events)
        EXPECT_NE(e.flags & CLAP_EVENT_DONT_RECORD, 0u) << "a recall is the switch's doing, not to be recorded";
    double drive = 0.0;
    ASSERT_TRUE(params->get_value(host.plugin(), 2, &drive));
    EXPECT_EQ(drive, 0.2f);

    // Nothing new: the next block reports nothing.
    OutputEvents quiet;
    ASSERT_EQ(host.process(channels, channels, 256, InputEvents(), quiet), CLAP_PROCESS_CONTINUE);
    EXPECT_TRUE(quiet.events.empty());
}

TEST(ClapPlugin, FlushAppliesChangesWithoutAudio) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    InputEvents events;
    events.add(0, 9, 0.25);
    events.add(0, 1, 1.0);           // channel 1: Volume recalls 0.5
    events.add(0, 13, 0.5);          // no such parameter
    events.add(0, 4, std::nan(""));  // not a value
    events.add(0, 5, 1.75);          // beyond the range: held at 1
    OutputEvents sent;
    host.flush(events, sent);
    double value = 0.0;
    ASSERT_TRUE(params->get_value(host.plugin(), 9, &value));
    EXPECT_EQ(value, 0.5);
    ASSERT_TRUE(params->get_value(host.plugin(), 1, &value));
    EXPECT_EQ(value, 1.0);
    ASSERT_TRUE(params->get_value(host.plugin(), 4, &value));
    EXPECT_EQ(value, 0.5);
    ASSERT_TRUE(params->get_value(host.plugin(), 5, &value));
    EXPECT_EQ(value, 1.0);
    EXPECT_TRUE(hasEvent(sent, CLAP_EVENT_PARAM_VALUE, 9, 0.5, 0));
    EXPECT_FALSE(params->get_value(host.plugin(), 13, &value));
}

TEST(ClapPlugin, GuiIsEmbeddedFixedSizeAndRefusesOtherWindows) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
    ASSERT_NE(gui, nullptr);
    ASSERT_NE(host.extension<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT), nullptr);
    const clap_plugin* p = host.plugin();
#if defined(_WIN32)
    const char* ours = "win32";
    const char* other = "x11";
#else
    const char* ours = "x11";
    const char* other = "win32";
#endif
    EXPECT_TRUE(gui->is_api_supported(p, ours, false));
    EXPECT_FALSE(gui->is_api_supported(p, ours, true));
    EXPECT_FALSE(gui->is_api_supported(p, other, false));
    const char* api = nullptr;
    bool floating = true;
    ASSERT_TRUE(gui->get_preferred_api(p, &api, &floating));
    EXPECT_STREQ(api, ours);
    EXPECT_FALSE(floating);

    clap_window window{other, {nullptr}};
    EXPECT_FALSE(gui->set_parent(p, &window)) << "no parent before create";
    EXPECT_FALSE(gui->create(p, other, false));
    ASSERT_TRUE(gui->create(p, ours, false));
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 660u);
    EXPECT_EQ(h, 248u);
    EXPECT_FALSE(gui->can_resize(p));
    EXPECT_TRUE(gui->set_size(p, 660, 248));
    EXPECT_FALSE(gui->set_size(p, 800, 300));
    // The host's scale: the size follows, still fixed.
    EXPECT_FALSE(gui->set_scale(p, 0.75));
    EXPECT_TRUE(gui->set_scale(p, 2.0));
    ASSERT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 1320u);
    EXPECT_EQ(h, 496u);
    EXPECT_TRUE(gui->set_size(p, 1320, 496));
    EXPECT_FALSE(gui->set_size(p, 660, 248));
    EXPECT_TRUE(gui->set_scale(p, 1.25));
    ASSERT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 825u);
    EXPECT_EQ(h, 310u);
    EXPECT_FALSE(gui->set_parent(p, &window)) << "a window of the other system";
    EXPECT_TRUE(host.timers.empty()) << "no idle timer without an open editor";
    gui->destroy(p);
    // A new gui starts at scale 1 until the host says otherwise.
    ASSERT_TRUE(gui->create(p, ours, false));
    ASSERT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 660u);
    gui->destroy(p);
}

TEST(ClapPlugin, MainThreadCallsFromAnotherThreadAreRefused) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
    bool saved = true, created = true;
    std::thread other([&] {
        MemoryOut out;
        saved = state->save(host.plugin(), &out.stream);
        created = gui->create(host.plugin(), "x11", false);
    });
    other.join();
    EXPECT_FALSE(saved);
    EXPECT_FALSE(created);
    EXPECT_GT(host.threadChecks, 0);
    MemoryOut out;
    EXPECT_TRUE(state->save(host.plugin(), &out.stream));
}
