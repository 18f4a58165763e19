// What corvex-live's JACK callback costs per period: the same
// LiveEngine::process the callback calls, on the built plug-in at 48 kHz,
// for 64- and 256-frame periods, with and without the bundled cabinet. Each
// period is timed on its own; the counters give the median, the 99th
// percentile and the worst period in microseconds, the period's deadline,
// and the worst as a share of the deadline. On a shared machine the wall
// clock includes the time the thread was preempted, so the same figures are
// also given in the thread's own CPU time (cpu_*).
//     build/default/bench/live/corvex_live_bench
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/ImpulseResponse.h"
#include "host/PluginHost.h"
#include "live/LiveEngine.h"

namespace {

constexpr double rate = 48000.0;

double threadMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e6 * (double)t.tv_sec + 1e-3 * (double)t.tv_nsec;
}

void liveCallback(benchmark::State& state) {
    const int period = (int)state.range(0);
    const bool withCabinet = state.range(1) != 0;
    PluginHost plugin;
    std::string error;
    if (!plugin.load(CORVEX_PLUGIN_PATH, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    cabinet::ImpulseResponse cab;
    if (withCabinet && !cabinet::loadImpulseResponse(CORVEX_CABINET_PATH, cab, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    live::LiveEngine engine(plugin);
    engine.setCabinet(withCabinet ? &cab : nullptr, 0.0, 0);
    if (!engine.start(rate, period, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    // A guitar-like input: a decaying low note, over and over.
    std::vector<float> in((size_t)period), out0((size_t)period), out1((size_t)period);
    size_t clock = 0;
    auto fill = [&] {
        for (int i = 0; i < period; i++, clock++) {
            const double t = (double)(clock % 24000) / rate;
            in[(size_t)i] = (float)(0.3 * std::sin(2.0 * M_PI * 82.4 * t) * std::exp(-3.0 * t));
        }
    };
    for (int i = 0; i < 500; i++) {  // past the first periods' cold caches
        fill();
        engine.process(in.data(), nullptr, out0.data(), out1.data(), period);
    }
    std::vector<double> times, cpu;
    times.reserve(1 << 20);
    cpu.reserve(1 << 20);
    for (auto _ : state) {
        fill();
        const double cpuStart = threadMicros();
        const auto start = std::chrono::steady_clock::now();
        engine.process(in.data(), nullptr, out0.data(), out1.data(), period);
        const auto end = std::chrono::steady_clock::now();
        cpu.push_back(threadMicros() - cpuStart);
        benchmark::DoNotOptimize(out0.data());
        times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    const double deadline = 1e6 * period / rate;
    auto at = [](const std::vector<double>& v, double q) {
        return v[std::min(v.size() - 1, (size_t)(q * (double)v.size()))];
    };
    state.counters["median_us"] = at(times, 0.5);
    state.counters["p99_us"] = at(times, 0.99);
    state.counters["max_us"] = times.back();
    state.counters["cpu_median_us"] = at(cpu, 0.5);
    state.counters["cpu_p99_us"] = at(cpu, 0.99);
    state.counters["cpu_max_us"] = cpu.back();
    state.counters["deadline_us"] = deadline;
    state.counters["max_of_deadline"] = times.back() / deadline;
    state.SetLabel(withCabinet ? "with cabinet" : "head alone");
}

BENCHMARK(liveCallback)
    ->ArgsProduct({{64, 256}, {0, 1}})
    ->ArgNames({"period", "cab"})
    ->Iterations(20000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
