// The live host's audio path (LiveEngine::process, all the JACK callback
// calls) allocates, frees and locks nothing: with and without the cabinet,
// aligned and buffered, on the first period after a start, while stopped
// and when a period of the wrong length arrives. The probe of the
// reliability tests counts what the calling thread does.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "cabinet/ImpulseResponse.h"
#include "host/PluginHost.h"
#include "live/LiveEngine.h"

namespace {

struct Periods {
    std::vector<float> in, out0, out1;
    explicit Periods(int frames) : in((size_t)frames), out0((size_t)frames), out1((size_t)frames) {
        for (int i = 0; i < frames; i++)
            in[(size_t)i] = 0.4f * std::sin(0.05f * (float)i);
    }
};

void expectQuiet(live::LiveEngine& engine, int frames, int periods, const std::string& what) {
    Periods p(frames);
    for (int k = 0; k < periods; k++) {
        probe::begin();
        engine.process(p.in.data(), k % 2 ? p.in.data() : nullptr, p.out0.data(), p.out1.data(), frames);
        const probe::Counts c = probe::end();
        ASSERT_EQ(c.allocations, 0) << what << ", period " << k;
        ASSERT_EQ(c.frees, 0) << what << ", period " << k;
        ASSERT_EQ(c.locks, 0) << what << ", period " << k;
    }
    for (float s : p.out0)
        ASSERT_TRUE(std::isfinite(s)) << what;
}

TEST(LiveRealtime, ProcessAllocatesAndLocksNothing) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
    cabinet::ImpulseResponse cab;
    ASSERT_TRUE(cabinet::loadImpulseResponse(CORVEX_CABINET_PATH, cab, error)) << error;
    // A long response too, so the convolver's workers take part.
    cabinet::ImpulseResponse longCab = cab;
    longCab.channels[0].resize(48000, 0.0f);
    longCab.channels[0][40000] = 0.1f;

    live::LiveEngine engine(plugin);
    struct Case {
        const cabinet::ImpulseResponse* ir;
        double rate;
        int period;
        const char* what;
    } cases[] = {
        {nullptr, 48000, 64, "head alone, 64 frames"},
        {nullptr, 44100, 256, "head alone, 256 frames"},
        {&cab, 48000, 64, "cabinet, aligned 64"},
        {&cab, 44100, 256, "cabinet resampled, aligned 256"},
        {&cab, 48000, 100, "cabinet, buffered (period of 100)"},
        {&longCab, 48000, 128, "one-second cabinet, workers"},
    };
    for (const Case& c : cases) {
        engine.stop();
        engine.setCabinet(c.ir, -3.0, 0);
        ASSERT_TRUE(engine.start(c.rate, c.period, error)) << c.what << ": " << error;
        expectQuiet(engine, c.period, 200, c.what);
        // A period of another length (JACK about to tell us of a change).
        expectQuiet(engine, c.period * 2, 2, std::string(c.what) + ", unexpected period");
    }
    engine.stop();
    expectQuiet(engine, 64, 4, "stopped");
    EXPECT_GT(engine.silentPeriods(), 0);
}

TEST(LiveRealtime, StoppedOrMismatchedPeriodsAreSilent) {
    PluginHost plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(CORVEX_PLUGIN_PATH, error)) << error;
    live::LiveEngine engine(plugin);
    ASSERT_TRUE(engine.start(48000, 64, error)) << error;
    Periods p(128);
    p.out0.assign(128, 1.0f);
    engine.process(p.in.data(), nullptr, p.out0.data(), p.out1.data(), 128);
    for (float s : p.out0)
        ASSERT_EQ(s, 0.0f);
    engine.process(p.in.data(), nullptr, p.out0.data(), p.out1.data(), 64);
    float energy = 0.0f;
    for (int i = 0; i < 64; i++)
        energy += p.out0[(size_t)i] * p.out0[(size_t)i];
    EXPECT_GT(energy, 0.0f) << "a running engine plays";
    engine.stop();
    EXPECT_FALSE(plugin.isResumed());
    engine.process(p.in.data(), nullptr, p.out0.data(), p.out1.data(), 64);
    for (int i = 0; i < 64; i++)
        ASSERT_EQ(p.out0[(size_t)i], 0.0f);
}

}  // namespace
