// Real-time factor of the bare signal chain (no plug-in shell).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "model/SignalChain.h"
#include "model/StageDesign.h"

namespace {

struct Chain {
    AmpSide left;
    AmpSide right;
    ChainSettings settings;
};

void setUpChain(Chain& chain, float sampleRate, int highQuality, int stereo) {
    const OversamplingChoice choice = chooseOversampling(sampleRate, highQuality);
    clearAmpSide(chain.left);
    clearAmpSide(chain.right);
    designAmpSideFilters(chain.left, choice.oversampledRate);
    designAmpSideFilters(chain.right, choice.oversampledRate);
    designAmpSideStages(chain.left, AmpSideKind::left, choice.oversampledRate);
    designAmpSideStages(chain.right, AmpSideKind::right, choice.oversampledRate);
    ChainSettings& s = chain.settings;
    s.input = s.low = s.mid = s.high = s.contour = s.powerAmp = s.volume = s.mix = 0.5;
    s.driveGain = driveTaper(0.5);
    s.activeChannel = 0;
    s.boost = 0;
    s.stereo = stereo;
    s.oversampling = choice.oversampling;
    s.oversampledRate = choice.oversampledRate;
    s.oversampledPeriod = choice.oversampledPeriod;
}

void chainBlock(benchmark::State& state) {
    const float rate = (float)state.range(0);
    const int highQuality = (int)state.range(1);
    const int stereo = (int)state.range(2);
    const int channel = (int)state.range(3);
    static Chain chain;
    setUpChain(chain, rate, highQuality, stereo);
    chain.settings.activeChannel = channel;
    const int frames = 512;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int i = 0; i < frames; ++i) {
        inL[i] = 0.3f * (float)std::sin(0.05 * i);
        inR[i] = 0.3f * (float)std::sin(0.031 * i);
    }
    for (auto _ : state) {
        processChainBlock(chain.left, chain.right, chain.settings, inL.data(), inR.data(), outL.data(),
                          outR.data(), frames);
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
    }
    state.counters["realtime"] = benchmark::Counter((double)frames / rate * (double)state.iterations(),
                                                    benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(chainBlock)
    ->ArgNames({"rate", "hq", "stereo", "ch"})
    ->Args({44100, 0, 0, 0})
    ->Args({44100, 1, 0, 0})
    ->Args({44100, 0, 1, 0})
    ->Args({44100, 0, 0, 1})
    ->Args({96000, 0, 0, 0});

BENCHMARK_MAIN();
