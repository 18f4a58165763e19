#include "live/LiveEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "cabinet/LoudnessMeter.h"

namespace live {

namespace {

constexpr size_t ringFrames = size_t(1) << 17;  // about 2.7 s at 48 kHz: the main thread drains every 20 ms
constexpr int bufferedCycle = 64;               // the cabinet's cycle when the period is not one

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<size_t>::is_always_lock_free);
static_assert(std::atomic<long>::is_always_lock_free);

}  // namespace

LiveEngine::LiveEngine(PluginHost& host) : plugin(host), inLeft(maxPeriod), inRight(maxPeriod), ring(ringFrames * 2) {}

LiveEngine::~LiveEngine() {
    stop();
}

void LiveEngine::setCabinet(const cabinet::ImpulseResponse* response, double trimDb, int workerPriority) {
    cabinetWanted = response != nullptr;
    if (response != nullptr)
        cabinetFile = *response;
    trim = trimDb;
    priority = workerPriority;
}

bool LiveEngine::start(double rate, int period, std::string& error) {
    stop();
    if (period < 1 || period > maxPeriod) {
        error = "a period of " + std::to_string(period) + " frames is more than corvex-live takes (" +
                std::to_string(maxPeriod) + ")";
        return false;
    }
    plugin.setRealtime(true);
    plugin.setSampleRate(rate);
    plugin.setBlockSize(period);
    cab.reset();
    if (cabinetWanted) {
        cabinet::ImpulseResponse atRate;
        auto next = std::make_unique<cabinet::Cabinet>();
        const bool aligned = cabinet::isUsableQuantum(period);
        if (!cabinet::resampleImpulseResponse(cabinetFile, rate, atRate, error) ||
            !next->configure(atRate, aligned ? period : bufferedCycle,
                             aligned ? cabinet::Cabinet::Feed::aligned : cabinet::Cabinet::Feed::buffered,
                             cabinet::Cabinet::Timing::realTime, priority, error))
            return false;
        next->setTrimDb(trim);
        cab = std::move(next);
    }
    sessionRate = rate;
    sessionPeriod = period;
    plugin.resume();
    active.store(true);
    return true;
}

void LiveEngine::stop() {
    active.store(false);
    // Both flags are sequentially consistent: either the audio thread sees
    // `active` false, or this thread sees it inside and waits.
    while (inside.load())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    plugin.suspend();
}

void LiveEngine::process(const float* in0, const float* in1, float* out0, float* out1, int frames) {
    inside.store(true);
    if (!active.load() || frames != sessionPeriod || frames <= 0 || frames > maxPeriod) {
        if (frames > 0) {
            std::memset(out0, 0, sizeof(float) * (size_t)frames);
            std::memset(out1, 0, sizeof(float) * (size_t)frames);
        }
        silenced.fetch_add(1, std::memory_order_relaxed);
        inside.store(false);
        return;
    }
    // The plug-in gets buffers of its own: JACK may hand the same memory to
    // an input and an output port.
    std::memcpy(inLeft.data(), in0, sizeof(float) * (size_t)frames);
    std::memcpy(inRight.data(), in1 != nullptr ? in1 : in0, sizeof(float) * (size_t)frames);
    float* inputs[2] = {inLeft.data(), inRight.data()};
    float* outputs[2] = {out0, out1};
    plugin.process(inputs, outputs, frames);
    if (cab)
        cab->process(out0, out1, frames);

    float peak = 0.0f;
    for (int i = 0; i < frames; i++)
        peak = std::max(peak, std::max(std::fabs(out0[i]), std::fabs(out1[i])));
    if (peak > peakHold.load(std::memory_order_relaxed))
        peakHold.store(peak, std::memory_order_relaxed);
    keepCopy(out0, out1, frames);
    inside.store(false);
}

void LiveEngine::keepCopy(const float* left, const float* right, int frames) {
    const size_t write = ringWrite.load(std::memory_order_relaxed);
    const size_t read = ringRead.load(std::memory_order_acquire);
    if (ringFrames - (write - read) < (size_t)frames) {
        dropped.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    for (int i = 0; i < frames; i++) {
        const size_t at = ((write + (size_t)i) & (ringFrames - 1)) * 2;
        ring[at] = left[i];
        ring[at + 1] = right[i];
    }
    ringWrite.store(write + (size_t)frames, std::memory_order_release);
}

void LiveEngine::drainTo(cabinet::LoudnessMeter& meter) {
    float left[256], right[256];
    size_t read = ringRead.load(std::memory_order_relaxed);
    const size_t write = ringWrite.load(std::memory_order_acquire);
    while (read != write) {
        const size_t n = std::min<size_t>(256, write - read);
        for (size_t i = 0; i < n; i++) {
            const size_t at = ((read + i) & (ringFrames - 1)) * 2;
            left[i] = ring[at];
            right[i] = ring[at + 1];
        }
        meter.add(left, right, (int)n);
        read += n;
        ringRead.store(read, std::memory_order_release);
    }
}

}  // namespace live
