// Speed of Corvex::processReplacing in 512-frame blocks, reported as the
// real-time factor (seconds of audio processed per second of processing) and
// as the fraction of the circuit's own limit ("ofBound"): one triode stage's
// step is a recurrence through its cathode voltage, so no chain can run an
// oversampled sample faster than one such step. That step is timed at start
// as a dependent chain on a designed first stage; the lane path in use is
// printed with it. Beside it the same chain through the lane step the fast
// chain runs ("laneStep"), whose expressions are regrouped for a shorter
// recurrence: the old bound stays the yardstick, so figures stay comparable.
//
//   build/default/bench/corvex_bench                       all cases
//   build/default/bench/corvex_bench --benchmark_filter=Mono
//   build/default/bench/corvex_bench --lanes=sse2          force a lane path
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <string>
#include <memory>
#include <vector>

#include "model/AmpModel.h"
#include "model/ChainDispatch.h"
#include "model/Corvex.h"
#include "model/FusedCore.h"
#include "model/SignalChain.h"
#include "tests/support/QuietHost.h"

namespace {

constexpr int kFrames = 512;

constexpr audioMasterCallback benchHost = &quietHost;

// pluck: a plucked string on the left, another one on the right; sine110: a
// 110 Hz sine at half scale on both inputs (a mono source on a stereo
// insert, as a host's test tone arrives).
enum class Signal { pluck, hot, silenceAfterBurst, sine110 };

// A plucked low string: a decaying tone with harmonics, struck once a second.
float pluck(long n, float rate, double peak) {
    const double t = std::fmod(n / (double)rate, 1.0);
    const double envelope = peak * std::exp(-t / 0.4);
    const double w = 2 * M_PI * 110.0 * t;
    return (float)(envelope * (0.6 * std::sin(w) + 0.3 * std::sin(2 * w + 0.5) + 0.1 * std::sin(3 * w + 1.0)));
}

struct Session {
    std::unique_ptr<Corvex> effect;
    float rate;
    std::vector<float> inL, inR, outL, outR;
    long position = 0;

    Session(float sampleRate, bool stereo, bool highQuality, int channel)
        : effect(new Corvex(benchHost)), rate(sampleRate), inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames) {
        effect->setSampleRate(sampleRate);
        effect->setParameter(Corvex::kMonoStereo, stereo ? 1.0f : 0.0f);
        effect->setParameter(Corvex::kQuality, highQuality ? 1.0f : 0.0f);
        effect->setParameter(Corvex::kChannel, (float)channel);
    }

    void fill(Signal signal) {
        for (int i = 0; i < kFrames; ++i, ++position) {
            float l = 0.0f, r = 0.0f;
            if (signal == Signal::pluck) {
                l = pluck(position, rate, 0.5);
                r = pluck(position + (long)(rate / 3), rate, 0.4);
            } else if (signal == Signal::hot) {
                l = r = (float)(0.6 * std::sin(2 * M_PI * 220.0 * position / rate));
            } else if (signal == Signal::sine110) {
                l = r = (float)(0.5 * std::sin(2 * M_PI * 110.0 * (double)position / rate));
            }
            inL[i] = l;
            inR[i] = r;
        }
    }

    void burst() {
        for (int block = 0; block < 10; ++block) {
            for (int i = 0; i < kFrames; ++i) {
                inL[i] = inR[i] = (float)(0.9 * std::sin(2 * M_PI * 82.4 * (block * kFrames + i) / rate));
            }
            process();
        }
    }

    void process() {
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(inputs, outputs, kFrames);
    }
};

// The dependent chain: stage 1 as designed for 176.4 kHz, driven by a
// plucked string at the oversampled rate (grid below the cathode, as in
// playing), each step waiting for the cathode voltage of the one before.
constexpr int kBoundSteps = 1 << 14;

struct BoundChain {
    AmpSide side;
    std::vector<double> drive;
    double rate;

    BoundChain() : drive(kBoundSteps) {
        const OversamplingChoice choice = chooseOversampling(44100.0f, 0);
        rate = choice.oversampledRate;
        clearAmpSide(side);
        designAmpSideStages(side, AmpSideKind::left, rate);
        for (int i = 0; i < kBoundSteps; ++i)
            drive[i] = 0.5 * pluck(i / 4, 44100.0f, 0.5);
    }

    double run() {
        double last = 0.0;
        for (int i = 0; i < kBoundSteps; ++i) {
            double x = drive[i];
            runTriodeStage(side.triodeStage1, x, rate);
            last = x;
        }
        return last;
    }
};

// The same chain through the step the fast chain runs on the active lane
// path (every lane the same stage), regrouped for a shorter recurrence.
struct LaneChain : BoundChain {
    double run() { return runFusedTriodeChain(side.triodeStage1, drive.data(), kBoundSteps, rate); }
};

// Seconds per step, the best of a few hundred milliseconds of chains.
template <class Chain>
double measureStepSeconds() {
    static Chain chain;
    double best = 1.0;
    for (int round = 0; round < 60; ++round) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(chain.run());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / kBoundSteps);
    }
    return best;
}

double stepSeconds = 0.0;

// The real-time factor the bound allows at this host rate and quality.
double boundRealtime(float rate, bool highQuality) {
    const OversamplingChoice choice = chooseOversampling(rate, highQuality ? 1 : 0);
    return 1.0 / (choice.oversampledRate * stepSeconds);
}

template <class Chain>
void triodeStepBound(benchmark::State& state) {
    Chain chain;
    for (auto _ : state)
        benchmark::DoNotOptimize(chain.run());
    // Inverted rate of giga-steps: nanoseconds per step.
    state.counters["ns/step"] = benchmark::Counter((double)kBoundSteps * (double)state.iterations() * 1e-9,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(
        (double)kBoundSteps / (double)chain.rate * (double)state.iterations(), benchmark::Counter::kIsRate);
}

struct Case {
    float rate;
    bool stereo;
    bool highQuality;
    int channel;
    Signal signal;
};

void processBlock(benchmark::State& state, Case c) {
    Session session(c.rate, c.stereo, c.highQuality, c.channel);
    // The pluck repeats every second: prepare a second of blocks up front.
    const int blocks = c.signal == Signal::pluck || c.signal == Signal::sine110 ? (int)(c.rate / kFrames) + 1 : 1;
    std::vector<std::vector<float>> left(blocks), right(blocks);
    for (int b = 0; b < blocks; ++b) {
        session.fill(c.signal);
        left[b] = session.inL;
        right[b] = session.inR;
    }
    // After a burst the silence lasts about a second, then comes another burst.
    const bool afterBurst = c.signal == Signal::silenceAfterBurst;
    const int silentBlocks = (int)(c.rate / kFrames);
    if (afterBurst)
        session.burst();
    long iteration = 0;
    for (auto _ : state) {
        const int b = (int)(iteration % blocks);
        session.inL = left[b];
        session.inR = right[b];
        session.process();
        benchmark::DoNotOptimize(session.outL.data());
        benchmark::ClobberMemory();
        ++iteration;
        if (afterBurst && iteration % silentBlocks == 0) {
            state.PauseTiming();
            session.burst();
            session.fill(c.signal);
            state.ResumeTiming();
        }
    }
    const double seconds = (double)kFrames / c.rate * (double)state.iterations();
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["ofBound"] =
        benchmark::Counter(seconds / boundRealtime(c.rate, c.highQuality), benchmark::Counter::kIsRate);
}

// The best and worst of repeated runs (--benchmark_repetitions=N): on a
// shared machine the fastest run is the truest.
void addExtremes(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", [](const std::vector<double>& v) {
         return *std::min_element(v.begin(), v.end());
     })->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

void registerCases() {
    addExtremes(benchmark::RegisterBenchmark("Bound/triodeStep/176400", triodeStepBound<BoundChain>));
    addExtremes(benchmark::RegisterBenchmark("Bound/laneStep/176400", triodeStepBound<LaneChain>));
    for (float rate : {44100.0f, 96000.0f}) {
        for (bool stereo : {false, true}) {
            for (bool quality : {false, true}) {
                const std::string name = std::string(stereo ? "Stereo" : "Mono") + (quality ? "/HighQ/" : "/LowQ/") +
                                         std::to_string((int)rate) + "/pluck";
                addExtremes(benchmark::RegisterBenchmark(name.c_str(), processBlock,
                                                         Case{rate, stereo, quality, 0, Signal::pluck}));
            }
        }
    }
    for (bool stereo : {false, true}) {
        for (bool quality : {false, true}) {
            const std::string name =
                std::string(stereo ? "Stereo" : "Mono") + (quality ? "/HighQ/" : "/LowQ/") + "44100/sine110";
            addExtremes(benchmark::RegisterBenchmark(name.c_str(), processBlock,
                                                     Case{44100.0f, stereo, quality, 0, Signal::sine110}));
        }
    }
    addExtremes(benchmark::RegisterBenchmark("Mono/LowQ/44100/pluck/channel1", processBlock,
                                             Case{44100.0f, false, false, 1, Signal::pluck}));
    addExtremes(benchmark::RegisterBenchmark("Stereo/LowQ/44100/pluck/channel1", processBlock,
                                             Case{44100.0f, true, false, 1, Signal::pluck}));
    addExtremes(benchmark::RegisterBenchmark("Mono/LowQ/44100/hot", processBlock,
                                             Case{44100.0f, false, false, 0, Signal::hot}));
    addExtremes(benchmark::RegisterBenchmark("Mono/LowQ/44100/silenceAfterBurst", processBlock,
                                             Case{44100.0f, false, false, 0, Signal::silenceAfterBurst}));
    addExtremes(benchmark::RegisterBenchmark("Stereo/LowQ/44100/silenceAfterBurst", processBlock,
                                             Case{44100.0f, true, false, 0, Signal::silenceAfterBurst}));
}

// The plain sample-by-sample formulation, for comparison with the fast path.
void referenceChain(benchmark::State& state) {
    AmpModel model;
    model.clear();
    model.design(44100.0f, 0);
    model.designStages();
    const ChainSettings s = defaultChainSettings(model);
    std::vector<float> in(kFrames), outL(kFrames), outR(kFrames);
    long position = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (float& v : in)
            v = pluck(position++, 44100.0f, 0.5);
        state.ResumeTiming();
        processChainBlockReference(model.left, model.right, s, in.data(), in.data(), outL.data(), outR.data(), kFrames);
        benchmark::DoNotOptimize(outL.data());
    }
    const double seconds = (double)kFrames / 44100.0 * (double)state.iterations();
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["ofBound"] =
        benchmark::Counter(seconds / boundRealtime(44100.0f, false), benchmark::Counter::kIsRate);
}
BENCHMARK(referenceChain)->Name("Mono/LowQ/44100/pluck/reference")->Apply(addExtremes);

}  // namespace

// --lanes=sse2|avx2|avx512 forces a lane path; the widest the processor
// runs is the default.
bool applyLanesOption(int& argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--lanes=", 8) != 0)
            continue;
        const char* want = argv[i] + 8;
        const ChainLanes all[] = {ChainLanes::sse2, ChainLanes::avx2, ChainLanes::avx512};
        const char* names[] = {"sse2", "avx2", "avx512"};
        bool chosen = false;
        for (int k = 0; k < 3; ++k) {
            if (std::strcmp(want, names[k]) == 0)
                chosen = selectChainLanes(all[k]);
        }
        if (!chosen) {
            std::fprintf(stderr, "lane path %s is not available here\n", want);
            return false;
        }
        for (int j = i; j + 1 < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        --i;
    }
    return true;
}

int main(int argc, char** argv) {
    if (!applyLanesOption(argc, argv))
        return 1;
    stepSeconds = measureStepSeconds<BoundChain>();
    const double laneStepSeconds = measureStepSeconds<LaneChain>();
    std::printf("lane path: %s\n", chainLanesName(activeChainLanes()));
    std::printf("triode step (dependent chain): %.2f ns; bound LowQ 44.1 kHz %.0fx, HighQ %.0fx\n", stepSeconds * 1e9,
                boundRealtime(44100.0f, false), boundRealtime(44100.0f, true));
    std::printf("lane step of the fast chain (dependent chain): %.2f ns (%.2f of the step as written)\n",
                laneStepSeconds * 1e9, laneStepSeconds / stepSeconds);
    registerCases();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
