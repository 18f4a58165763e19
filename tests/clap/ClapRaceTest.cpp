// The CLAP's threads against each other, checked for consistency afterwards
// (and for data races when built with ThreadSanitizer):
//  - the panel's UI thread dragging Drive and flipping Channel through the
//    parameter port while the host's parameter events and process run;
//  - the main thread loading states while process applies Channel events.
// Consistent means: the current program's record holds, for the selected
// channel, exactly the values the plug-in reports, and a loaded program's
// channels are those of one loaded state, whole.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "ClapTestHost.h"
#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"
#include "model/Programs.h"

using namespace clapcheck;

namespace {

constexpr size_t kHeader = 24;  // the saved layout's header
constexpr int kPerChannel[] = {0, 2, 4, 5, 6, 7, 8, 9};
// A parameter's double in ChannelSettings, by parameter index.
double channelValue(const ChannelSettings& c, int index) {
    switch (index) {
        case 0: return c.input;
        case 2: return c.drive;
        case 4: return c.low;
        case 5: return c.mid;
        case 6: return c.high;
        case 7: return c.contour;
        case 8: return c.powerAmp;
        default: return c.volume;
    }
}

struct Saved {
    uint32_t program = 0;
    CorvexProgram records[10];
};

Saved parse(const std::vector<unsigned char>& blob) {
    Saved s;
    EXPECT_EQ(blob.size(), kHeader + sizeof(s.records));
    if (blob.size() == kHeader + sizeof(s.records)) {
        std::memcpy(&s.program, blob.data() + 12, 4);
        std::memcpy(s.records, blob.data() + kHeader, sizeof(s.records));
    }
    return s;
}

// The current program agrees with the values: the selected channel's eight
// in both its float fields and its channel record.
void expectConsistent(const Saved& s, const std::array<double, 13>& values) {
    ASSERT_LT(s.program, 10u);
    const CorvexProgram& p = s.records[s.program];
    const int channel = values[1] < 0.5 ? 0 : 1;
    EXPECT_EQ(p.channel, static_cast<float>(values[1]));
    for (int index : kPerChannel) {
        EXPECT_EQ(static_cast<float>(channelValue(p.channelSettings[channel], index)), static_cast<float>(values[index]))
            << "parameter " << index << " on channel " << channel;
    }
    EXPECT_EQ(p.drive, static_cast<float>(values[2]));
    EXPECT_EQ(p.contour, static_cast<float>(values[7]));
}

// A host of our own for a ClapPlugin linked into the test: no extensions,
// every call on its thread as CLAP says.
struct BareHost {
    clap_host host{};
    BareHost() {
        host.clap_version = CLAP_VERSION_OURS;
        host.host_data = this;
        host.name = "race";
        host.vendor = "";
        host.url = "";
        host.version = "1";
        host.get_extension = [](const clap_host*, const char*) -> const void* { return nullptr; };
        host.request_restart = [](const clap_host*) {};
        host.request_process = [](const clap_host*) {};
        host.request_callback = [](const clap_host*) {};
    }
};

clap_plugin_descriptor descriptorForTests() {
    clap_plugin_descriptor d{};
    d.clap_version = CLAP_VERSION_OURS;
    d.id = "test";
    d.name = "test";
    return d;
}

}  // namespace

TEST(ClapRace, PanelDragsAndChannelFlipsWhileHostEventsAndProcessRun) {
    BareHost bare;
    const clap_plugin_descriptor descriptor = descriptorForTests();
    ClapPlugin plugin(&bare.host, &descriptor);
    ASSERT_TRUE(plugin.init());
    ASSERT_TRUE(plugin.activate(48000.0, 1, 256));
    const clap_plugin* p = plugin.clapPlugin();
    ASSERT_TRUE(plugin.startProcessing());

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(256, 0.1f), r(256, 0.1f);
        float* channels[2] = {l.data(), r.data()};
        clap_audio_buffer in{}, out{};
        in.data32 = channels;
        in.channel_count = 2;
        out.data32 = channels;
        out.channel_count = 2;
        OutputEvents sent;
        sent.events.reserve(1 << 16);
        for (int block = 0; !stop.load(); ++block) {
            InputEvents events;
            events.add(10, 2, (block % 10) / 10.0);   // the host's Drive automation
            events.add(100, 1, block % 3 ? 0.0 : 1.0);  // and Channel
            events.add(200, 7, (block % 7) / 7.0);    // and Contour
            clap_process process{};
            process.frames_count = 256;
            process.audio_inputs = &in;
            process.audio_inputs_count = 1;
            process.audio_outputs = &out;
            process.audio_outputs_count = 1;
            process.in_events = events.list();
            process.out_events = sent.list();
            plugin.process(&process);
            if (sent.events.size() > 60000)
                sent.events.clear();
        }
    });
    std::thread ui([&] {
        corvex::ParameterPort& port = plugin.panelPort();
        for (int k = 0; k < 3000; ++k) {
            port.beginGesture(2);
            port.set(2, (k % 100) / 100.0f);
            port.set(2, port.get(2));
            port.endGesture(2);
            if (k % 5 == 0) {
                port.beginGesture(1);
                port.set(1, k % 10 ? 1.0f : 0.0f);
                port.endGesture(1);
            }
            if (k % 64 == 0)
                std::this_thread::yield();
        }
    });
    // The main thread reads and saves meanwhile, as a host's autosave does.
    const auto* state = static_cast<const clap_plugin_state*>(plugin.extension(CLAP_EXT_STATE));
    const auto* params = static_cast<const clap_plugin_params*>(plugin.extension(CLAP_EXT_PARAMS));
    for (int k = 0; k < 200; ++k) {
        MemoryOut saved;
        ASSERT_TRUE(state->save(p, &saved.stream));
        double v;
        params->get_value(p, 2, &v);
    }
    ui.join();
    stop.store(true);
    audio.join();
    plugin.stopProcessing();
    // Whatever the panel queued last is applied by the host's flush.
    InputEvents none;
    OutputEvents sent;
    params->flush(p, none.list(), sent.list());

    MemoryOut saved;
    ASSERT_TRUE(state->save(p, &saved.stream));
    std::array<double, 13> values{};
    for (uint32_t i = 0; i < 13; ++i)
        params->get_value(p, i, &values[i]);
    expectConsistent(parse(saved.bytes), values);
    plugin.deactivate();
}

TEST(ClapRace, StateLoadsOnTheMainThreadWhileProcessAppliesChannelEvents) {
    // Two states whose program 0 differ on both channels.
    std::vector<unsigned char> states[2];
    for (int s = 0; s < 2; ++s) {
        ClapTestHost maker(CORVEX_CLAP_PATH);
        ASSERT_NE(maker.create(), nullptr) << maker.error();
        InputEvents edit;
        for (int channel = 0; channel < 2; ++channel) {
            edit.add(0, 1, channel);
            for (int index : kPerChannel)
                edit.add(0, index, 0.1 + 0.05 * index + 0.3 * s + 0.01 * channel);
        }
        OutputEvents ignored;
        maker.flush(edit, ignored);
        MemoryOut out;
        auto* state = maker.extension<clap_plugin_state>(CLAP_EXT_STATE);
        ASSERT_TRUE(state->save(maker.plugin(), &out.stream));
        states[s] = out.bytes;
    }
    const Saved loaded[2] = {parse(states[0]), parse(states[1])};

    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    ASSERT_TRUE(host.activate(44100.0, 128));
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(128, 0.1f), r(128, 0.1f);
        float* channels[2] = {l.data(), r.data()};
        OutputEvents sent;
        sent.events.reserve(1 << 16);
        for (int block = 0; !stop.load(); ++block) {
            InputEvents events;
            events.add(3, 1, block % 2 ? 1.0 : 0.0);
            events.add(60, 1, block % 3 ? 0.0 : 1.0);
            host.process(channels, channels, 128, events, sent);
            if (sent.events.size() > 60000)
                sent.events.clear();
        }
    });
    for (int round = 0; round < 400; ++round) {
        MemoryIn in(states[round % 2]);
        ASSERT_TRUE(state->load(host.plugin(), &in.stream));
        if (round % 16 == 0)
            std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    OutputEvents sent;
    host.flush(InputEvents(), sent);

    MemoryOut out;
    ASSERT_TRUE(state->save(host.plugin(), &out.stream));
    const Saved now = parse(out.bytes);
    std::array<double, 13> values{};
    for (uint32_t i = 0; i < 13; ++i)
        params->get_value(host.plugin(), i, &values[i]);
    expectConsistent(now, values);
    // Program 0's two channels are one loaded state's, whole: Channel events
    // only ever select between them.
    const CorvexProgram& p = now.records[0];
    bool matched = false;
    for (const Saved& s : loaded) {
        const CorvexProgram& q = s.records[0];
        matched = matched || std::memcmp(p.channelSettings, q.channelSettings, sizeof(p.channelSettings)) == 0;
    }
    EXPECT_TRUE(matched) << "program 0's channels mixed from two states, or overwritten";
    host.deactivate();
}
