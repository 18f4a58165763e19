// Silence after a loud burst costs what loud noise costs: the amp's decaying
// state never reaches denormal numbers (the injected 1e-10 sine keeps every
// filter and stage away from them), so no block gets slower as a tail fades.
//
// DenormalTail/<seconds>: one instance is hit with one second of loud noise
// and then fed <seconds> of digital silence before the timing starts; the
// timed blocks are silence too. Compare its "realtime" factor with
// LoudNoise, which times blocks of the loud noise itself: a denormal
// slowdown shows as a tail several times slower than the noise.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "shell/PluginEntry.h"
#include "shell/vst2.h"

namespace {

constexpr int kFrames = 512;
constexpr float kRate = 44100.0f;

VstIntPtr VSTCALLBACK benchHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

struct Player {
    AEffect* effect = nullptr;
    std::vector<float> inL = std::vector<float>(kFrames), inR = std::vector<float>(kFrames);
    std::vector<float> outL = std::vector<float>(kFrames), outR = std::vector<float>(kFrames);
    uint32_t seed = 12345;

    Player(int channel, int highQuality, int stereo) : effect(pluginMain(benchHost)) {
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kRate);
        effect->setParameter(effect, 1, float(channel));
        effect->setParameter(effect, 11, float(highQuality));
        effect->setParameter(effect, 10, float(stereo));
        effect->setParameter(effect, 0, 1.0f);  // Input and Drive up: the loudest tail
        effect->setParameter(effect, 2, 1.0f);
    }
    ~Player() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }

    void fill(bool loud) {
        for (int i = 0; i < kFrames; ++i) {
            if (loud) {
                seed = seed * 1664525u + 1013904223u;
                inL[i] = (float(seed >> 8) / 8388608.0f - 1.0f) * 0.95f;
                inR[i] = -inL[i];
            } else {
                inL[i] = inR[i] = 0.0f;
            }
        }
    }
    void block() {
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, inputs, outputs, kFrames);
    }
    void play(double seconds, bool loud) {
        const long blocks = static_cast<long>(seconds * kRate / kFrames);
        for (long n = 0; n < blocks; ++n) {
            fill(loud);
            block();
        }
    }
};

void setRealtime(benchmark::State& state) {
    state.counters["realtime"] =
        benchmark::Counter(double(kFrames) / kRate * double(state.iterations()), benchmark::Counter::kIsRate);
}

void DenormalTail(benchmark::State& state) {
    const int seconds = static_cast<int>(state.range(0));
    Player player(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)), 1);
    player.play(1.0, true);
    player.play(seconds, false);
    player.fill(false);
    for (auto _ : state) {
        player.block();
        benchmark::DoNotOptimize(player.outL.data());
        benchmark::ClobberMemory();
    }
    setRealtime(state);
}

void LoudNoise(benchmark::State& state) {
    Player player(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 1);
    player.fill(true);
    for (auto _ : state) {
        player.block();
        benchmark::DoNotOptimize(player.outL.data());
        benchmark::ClobberMemory();
    }
    setRealtime(state);
}

}  // namespace

// Stereo, both channels, LowQ and HighQ; tails after 0.1, 2, 10 and 60 s.
BENCHMARK(LoudNoise)->ArgNames({"ch", "hq"})->ArgsProduct({{0, 1}, {0, 1}});
BENCHMARK(DenormalTail)
    ->ArgNames({"after_s", "ch", "hq"})
    ->ArgsProduct({{0, 2, 10, 60}, {0, 1}, {0, 1}});
