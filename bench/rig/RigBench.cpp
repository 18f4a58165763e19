// The rig's cost against the head's at 64-frame blocks (48 kHz, stereo
// "Crunch Rhythm" settings, gate on): with the bundled 4x12 (goal: at most
// 15 % more than the head) and with a 500 ms impulse (goal: at most 40 %
// more). Each case reports the time per block; compare the rig's cases
// with "head". "worst_us" is the dearest block of the cabinet's longest
// cycle (1024 frames, 16 blocks): after the timed loop, each of the 16
// positions in that cycle is timed over 401 cycles and the dearest
// position's median is reported ("median_us" beside it: the mean of the 16
// medians): the spike of the block that computes a long partition.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "model/AmpEngine.h"
#include "rig/RigEngine.h"
#include "rig/RigPrograms.h"

namespace {

constexpr int kBlock = 64;
constexpr double kRate = 48000.0;

std::vector<float> riff() {
    std::vector<float> x(48000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = (double)i / kRate;
        x[i] = (float)(0.25 * std::exp(-std::fmod(t, 0.25) * 8.0) * std::sin(2 * M_PI * 110.0 * t));
    }
    return x;
}

template <typename Engine>
void run(benchmark::State& state, Engine& engine) {
    const std::vector<float> in = riff();
    std::vector<float> l(kBlock), r(kBlock);
    std::size_t at = 0;
    for (auto _ : state) {
        engine.process(in.data() + at, in.data() + at, l.data(), r.data(), kBlock);
        benchmark::DoNotOptimize(l.data());
        at = at + 2 * kBlock > in.size() ? 0 : at + kBlock;
    }
    state.counters["blocks/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);

    // The dearest position in the long cycle (see above): each position's
    // median over the cycles, so a moment the machine was busy elsewhere
    // does not count.
    constexpr int kPositions = 16, kCycles = 401;
    std::vector<double> spent((std::size_t)(kPositions * kCycles));
    for (int cycle = 0; cycle < kCycles; ++cycle)
        for (int p = 0; p < kPositions; ++p) {
            const auto start = std::chrono::steady_clock::now();
            engine.process(in.data() + at, in.data() + at, l.data(), r.data(), kBlock);
            benchmark::DoNotOptimize(l.data());
            spent[(std::size_t)(p * kCycles + cycle)] =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
            at = at + 2 * kBlock > in.size() ? 0 : at + kBlock;
        }
    double total = 0.0, worst = 0.0;
    for (int p = 0; p < kPositions; ++p) {
        const auto first = spent.begin() + p * kCycles;
        std::nth_element(first, first + kCycles / 2, first + kCycles);
        const double median = first[kCycles / 2];
        total += median;
        worst = std::max(worst, median);
    }
    state.counters["median_us"] = total / kPositions;
    state.counters["worst_us"] = worst;
}

void head(benchmark::State& state) {
    corvex::AmpEngine amp;
    amp.loadChunk(corvex::rigFactoryHeadBank(), kBankChunkSize, false);
    amp.selectProgram(2);
    amp.setSampleRate(kRate);
    run(state, amp);
}

void rigWith(benchmark::State& state, int model, bool longImpulse, bool cabinetOn = true, bool gateOn = true) {
    corvex::RigEngine rig;
    rig.postProgram(2);
    rig.flush();
    if (longImpulse) {
        // A 500 ms response: a decaying noise tail, loaded as a user's file is.
        cabinet::ImpulseResponse ir;
        ir.rate = kRate;
        ir.channels.assign(1, std::vector<float>((std::size_t)(0.5 * kRate)));
        uint32_t s = 1;
        for (std::size_t i = 0; i < ir.channels[0].size(); ++i) {
            s = s * 1664525u + 1013904223u;
            ir.channels[0][i] = (float)(((double)(s >> 8) / 16777216.0 - 0.5) * std::exp(-8.0 * i / kRate));
        }
        // Through the engine's own reader: as a float WAV in memory.
        std::vector<unsigned char> wav;
        auto put = [&](uint32_t v, int n) {
            for (int k = 0; k < n; ++k)
                wav.push_back((unsigned char)(v >> (8 * k)));
        };
        const uint32_t bytes = (uint32_t)(ir.channels[0].size() * 4);
        wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
        put(36 + bytes, 4);
        wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        put(16, 4), put(3, 2), put(1, 2), put((uint32_t)kRate, 4), put((uint32_t)kRate * 4, 4), put(4, 2), put(32, 2);
        wav.insert(wav.end(), {'d', 'a', 't', 'a'});
        put(bytes, 4);
        const auto* raw = reinterpret_cast<const unsigned char*>(ir.channels[0].data());
        wav.insert(wav.end(), raw, raw + bytes);
        std::string error;
        if (!rig.loadImpulseData(wav.data(), wav.size(), "long.wav", error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    rig.post(corvex::kCabinetModel, corvex::RigEngine::valueOfCabinetModel(model));
    if (!cabinetOn)
        rig.post(corvex::kCabinetOn, 0.0f);
    if (!gateOn)
        rig.post(corvex::kGateThreshold, 0.0f);
    rig.flush();
    rig.setSampleRate(kRate);
    run(state, rig);
}

void rig4x12(benchmark::State& state) {
    rigWith(state, 0, false);
}
void rig500ms(benchmark::State& state) {
    rigWith(state, corvex::RigEngine::kUserCabinet, true);
}

// Where the rig's own work goes: the 4x12 case without the cabinet, and
// without the gate.
void rigCabinetOff(benchmark::State& state) {
    rigWith(state, 0, false, false, true);
}
void rigGateOff(benchmark::State& state) {
    rigWith(state, 0, false, true, false);
}

BENCHMARK(head)->Name("rig/64/head")->MinTime(1.0);
BENCHMARK(rig4x12)->Name("rig/64/rig-4x12")->MinTime(1.0);
BENCHMARK(rig500ms)->Name("rig/64/rig-500ms")->MinTime(1.0);
BENCHMARK(rigCabinetOff)->Name("rig/64/rig-4x12-cabinet-off")->MinTime(1.0);
BENCHMARK(rigGateOff)->Name("rig/64/rig-4x12-gate-off")->MinTime(1.0);

}  // namespace
