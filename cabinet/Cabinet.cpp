#include "cabinet/Cabinet.h"

#include <pthread.h>
#include <sched.h>
#include <zita-convolver.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace cabinet {

namespace {

constexpr int largestPartition = 8192;
constexpr int workerStartMs = 100;

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

void* idleThread(void*) {
    return nullptr;
}

// The convolver starts its workers with the policy it is given and does not
// check that the threads came up; asking for SCHED_FIFO without the right to
// it would leave it waiting for threads that never started. So try first.
bool mayUseFifo(int priority) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    sched_param param{};
    param.sched_priority = std::clamp(priority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
    pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
    pthread_attr_setschedparam(&attr, &param);
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attr, idleThread, nullptr) == 0;
    if (started)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    return started;
}

}  // namespace

bool isUsableQuantum(int n) {
    return n >= 64 && n <= 8192 && (n & (n - 1)) == 0;
}

Cabinet::Cabinet() = default;

Cabinet::~Cabinet() {
    release();
}

void Cabinet::release() {
    if (!convolver)
        return;
    convolver->stop_process();
    // The workers finish their current cycle before they stop.
    for (int i = 0; i < 2000 && !convolver->check_stop(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    convolver->cleanup();
    convolver.reset();
}

bool Cabinet::configure(const ImpulseResponse& ir, int quantum, Feed feedMode, Timing timingMode, int priority,
                        std::string& error) {
    release();
    if (ir.frames() <= 0 || ir.channels.empty() || ir.channels.size() > 2)
        return fail(error, "cabinet: no usable impulse response");
    if (!isUsableQuantum(quantum))
        return fail(error, "cabinet: the convolver's cycle must be a power of two from 64 to 8192, not " +
                               std::to_string(quantum));
    auto proc = std::make_unique<Convproc>();
    proc->set_options(Convproc::OPT_LATE_CONTIN);  // a late worker costs one cycle's tail, never the stream
    const uint32_t frames = (uint32_t)ir.frames();
    // Offline, every partition has the cycle's size and runs in the caller's
    // thread: no workers, so nothing can differ from one render to the next.
    // In real time the later partitions grow and go to the workers, which
    // keeps a long response affordable within a period.
    const uint32_t maxPart =
        timingMode == Timing::offline ? (uint32_t)quantum : (uint32_t)std::max(quantum, largestPartition);
    if (proc->configure(2, 2, frames, (uint32_t)quantum, (uint32_t)quantum, maxPart, 0.0f) != 0)
        return fail(error, "cabinet: the convolver refused its configuration");
    // The convolver reads the response through non-const pointers but keeps
    // its own copy; these copies only live for the call.
    std::vector<float> left = ir.channels[0];
    std::vector<float> right = ir.stereo() ? ir.channels[1] : ir.channels[0];
    if (proc->impdata_create(0, 0, 1, left.data(), 0, (int32_t)frames) != 0 ||
        proc->impdata_create(1, 1, 1, right.data(), 0, (int32_t)frames) != 0) {
        proc->cleanup();
        return fail(error, "cabinet: the convolver cannot hold the response");
    }
    const bool fifo = timingMode == Timing::realTime && priority > 0 && mayUseFifo(priority);
    if (proc->start_process(fifo ? priority : 0, fifo ? SCHED_FIFO : SCHED_OTHER) != 0) {
        proc->cleanup();
        return fail(error, "cabinet: the convolver did not start");
    }
    if (timingMode == Timing::realTime) {
        // Each worker marks itself running only once its thread is up; a
        // cycle before that would do the worker's share inline and leave its
        // output buffers out of step. Give the threads time to come up.
        std::this_thread::sleep_for(std::chrono::milliseconds(workerStartMs));
    }
    convolver = std::move(proc);
    feed = feedMode;
    timing = timingMode;
    cycle = quantum;
    fill = 0;
    late = 0;
    for (auto& h : held)
        h.assign((size_t)quantum, 0.0f);
    return true;
}

void Cabinet::setTrimDb(double db) {
    trim = std::clamp(std::isfinite(db) ? db : 0.0, -60.0, 24.0);
    gain = (float)std::pow(10.0, trim / 20.0);
}

void Cabinet::runCycle() {
    const int flags = convolver->process(timing == Timing::offline);
    if (flags & Convproc::FL_LATE)
        late++;
}

void Cabinet::process(float* left, float* right, int frames) {
    if (!convolver || frames <= 0)
        return;
    float* in0 = convolver->inpdata(0);
    float* in1 = convolver->inpdata(1);
    if (feed == Feed::aligned) {
        if (frames != cycle)
            return;  // cannot happen when the host keeps its word; leave the block dry
        std::memcpy(in0, left, sizeof(float) * (size_t)frames);
        std::memcpy(in1, right, sizeof(float) * (size_t)frames);
        runCycle();
        const float* out0 = convolver->outdata(0);
        const float* out1 = convolver->outdata(1);
        for (int i = 0; i < frames; i++) {
            left[i] = out0[i] * gain;
            right[i] = out1[i] * gain;
        }
        return;
    }
    float* h0 = held[0].data();
    float* h1 = held[1].data();
    for (int i = 0; i < frames; i++) {
        in0[fill] = left[i];
        in1[fill] = right[i];
        left[i] = h0[fill] * gain;
        right[i] = h1[fill] * gain;
        if (++fill == cycle) {
            fill = 0;
            runCycle();
            // The input pointers move on with every cycle.
            in0 = convolver->inpdata(0);
            in1 = convolver->inpdata(1);
            std::memcpy(h0, convolver->outdata(0), sizeof(float) * (size_t)cycle);
            std::memcpy(h1, convolver->outdata(1), sizeof(float) * (size_t)cycle);
        }
    }
}

}  // namespace cabinet
