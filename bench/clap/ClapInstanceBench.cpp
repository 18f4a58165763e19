// One CLAP instance: the time a host waits for create + init, and the
// resident memory each live instance adds (counter "KiB/instance", measured
// over a batch of instances kept alive together).
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ClapTestHost.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void createInstances(benchmark::State& state) {
    constexpr int kBatch = 16;
    {
        clapcheck::ClapTestHost warm(CORVEX_CLAP_PATH);  // the library and its statics
        if (!warm.create()) {
            state.SkipWithError("the plug-in did not load");
            return;
        }
    }
    double kib = 0.0;
    long batches = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<clapcheck::ClapTestHost>> hosts;
        for (int i = 0; i < kBatch; ++i)
            hosts.emplace_back(new clapcheck::ClapTestHost(CORVEX_CLAP_PATH));
        const long before = residentKiB();
        state.ResumeTiming();
        for (auto& host : hosts)
            benchmark::DoNotOptimize(host->create());
        state.PauseTiming();
        kib += static_cast<double>(residentKiB() - before) / kBatch;
        ++batches;
        hosts.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["KiB/instance"] = batches ? kib / static_cast<double>(batches) : 0.0;
}

}  // namespace

BENCHMARK(createInstances)->Name("Clap/createAndInit/16")->Unit(benchmark::kMillisecond)->Iterations(20);
