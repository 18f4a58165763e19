// Silence after a loud burst costs no more than loud noise: the amp's
// decaying state never lingers in denormal numbers (the injected 1e-10 sine
// keeps the filters and stages off them; the DC blocker's tail would
// otherwise cross the float denormal range after about 6 s and the double
// one after about a minute), so no stretch of a fading tail gets slower.
//
// Both benchmarks time whole seconds of audio (86 blocks of 512 frames at
// 44.1 kHz, stereo, Input and Drive at full): "Time" is the mean per second
// of audio, "worst_ms" the slowest single second, "realtime" how many
// seconds of audio one second of computing renders.
//   LoudNoise          20 s of loud noise
//   SilenceAfterBurst  1 s of that noise (not timed), then 120 s of digital
//                      silence, every second of the decay timed
// A denormal slowdown shows as SilenceAfterBurst seconds several times
// slower than LoudNoise ones.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "shell/PluginEntry.h"
#include "shell/vst2.h"
#include "tests/support/QuietHost.h"

namespace {

constexpr int kFrames = 512;
constexpr int kBlocksPerSecond = 86;
constexpr float kRate = 44100.0f;

constexpr audioMasterCallback benchHost = &quietHost;

struct Player {
    AEffect* effect = nullptr;
    std::vector<float> inL = std::vector<float>(kFrames), inR = std::vector<float>(kFrames);
    std::vector<float> outL = std::vector<float>(kFrames), outR = std::vector<float>(kFrames);
    uint32_t seed = 12345;

    Player(int channel, int highQuality) : effect(pluginMain(benchHost)) {
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kRate);
        effect->setParameter(effect, 1, float(channel));
        effect->setParameter(effect, 11, float(highQuality));
        effect->setParameter(effect, 10, 1.0f);  // stereo
        effect->setParameter(effect, 0, 1.0f);   // Input and Drive up: the loudest tail
        effect->setParameter(effect, 2, 1.0f);
    }
    ~Player() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void block(bool loud) {
        for (int i = 0; i < kFrames; ++i) {
            if (loud) {
                seed = seed * 1664525u + 1013904223u;
                inL[i] = (float(seed >> 8) / 8388608.0f - 1.0f) * 0.95f;
                inR[i] = -inL[i];
            } else {
                inL[i] = inR[i] = 0.0f;
            }
        }
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, inputs, outputs, kFrames);
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
    }
};

// Times one second of audio per iteration and reports the mean, the worst
// second and the real-time factor.
void timeSeconds(benchmark::State& state, Player& player, bool loud) {
    double worst = 0.0, total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int n = 0; n < kBlocksPerSecond; ++n)
            player.block(loud);
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(took);
        worst = std::max(worst, took);
        total += took;
    }
    const double audio = double(kBlocksPerSecond) * kFrames / kRate * double(state.iterations());
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["realtime"] = total > 0.0 ? audio / total : 0.0;
}

void LoudNoise(benchmark::State& state) {
    Player player(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    timeSeconds(state, player, true);
}

void SilenceAfterBurst(benchmark::State& state) {
    Player player(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (int n = 0; n < kBlocksPerSecond; ++n)
        player.block(true);
    timeSeconds(state, player, false);
}

}  // namespace

BENCHMARK(LoudNoise)
    ->ArgNames({"ch", "hq"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SilenceAfterBurst)
    ->ArgNames({"ch", "hq"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(120)
    ->Unit(benchmark::kMillisecond);
