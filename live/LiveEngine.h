// The audio path of the live host, apart from JACK: one period in, the
// plug-in, the cabinet, one period out. The JACK process callback calls
// process(); the benchmark and the real-time probe call the same function.
//
// Changing the rate or the period never happens under the audio thread's
// feet: stop() makes process() answer silence and waits until a running
// period has left it; only then is the plug-in suspended and reconfigured.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/Cabinet.h"
#include "cabinet/ImpulseResponse.h"
#include "host/PluginHost.h"

namespace cabinet {
class LoudnessMeter;
}

namespace live {

// The largest period the engine's buffers take (JACK's own limit).
constexpr int maxPeriod = 8192;

class LiveEngine {
public:
    explicit LiveEngine(PluginHost& plugin);
    ~LiveEngine();
    LiveEngine(const LiveEngine&) = delete;
    LiveEngine& operator=(const LiveEngine&) = delete;

    // The cabinet's response at its own rate (copied; null for none), its
    // trim, and the priority for the convolver's workers. Main thread, stopped.
    void setCabinet(const cabinet::ImpulseResponse* response, double trimDb, int workerPriority);

    // Suspends the plug-in, sets its rate and block size, builds the cabinet
    // for them, resumes and lets process() run. Main thread.
    bool start(double rate, int period, std::string& error);
    // Silence from the next period on; returns once no period is inside the
    // plug-in, with the plug-in suspended. Main thread.
    void stop();
    bool running() const { return active.load(); }

    // One period. in1 may be null (one capture port: both plug-in inputs get
    // in0). A period of another length than start() was given is answered
    // with silence (the host is about to reconfigure). Audio thread: no
    // allocation, no lock, no log.
    void process(const float* in0, const float* in1, float* out0, float* out1, int frames);

    // Largest output sample since the last call. Main thread.
    float takePeak() { return peakHold.exchange(0.0f); }
    // Periods answered with silence while stopped or mismatched. Any thread.
    long silentPeriods() const { return silenced.load(std::memory_order_relaxed); }
    // Moves the copy of the output the audio thread kept into the meter.
    // Main thread; frames that did not fit are counted in droppedFrames().
    void drainTo(cabinet::LoudnessMeter& meter);
    long droppedFrames() const { return dropped.load(std::memory_order_relaxed); }

    double rate() const { return sessionRate; }
    int period() const { return sessionPeriod; }
    bool hasCabinet() const { return cab != nullptr && cab->ready(); }
    int cabinetLatency() const { return hasCabinet() ? cab->latency() : 0; }
    long cabinetLateCycles() const { return hasCabinet() ? cab->lateCycles() : 0; }

private:
    void keepCopy(const float* left, const float* right, int frames);

    PluginHost& plugin;
    cabinet::ImpulseResponse cabinetFile;
    bool cabinetWanted = false;
    double trim = 0.0;
    int priority = 0;
    std::unique_ptr<cabinet::Cabinet> cab;
    double sessionRate = 0.0;
    int sessionPeriod = 0;

    std::vector<float> inLeft, inRight;
    std::atomic<bool> active{false};
    std::atomic<bool> inside{false};
    std::atomic<float> peakHold{0.0f};
    std::atomic<long> silenced{0};

    // Single-producer, single-consumer ring of interleaved output frames.
    std::vector<float> ring;
    std::atomic<size_t> ringWrite{0}, ringRead{0};
    std::atomic<long> dropped{0};
};

}  // namespace live
