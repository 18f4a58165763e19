#include "cabinet/ZeroLatencyConvolver.h"

#include <sched.h>
#include <zita-convolver.h>

#include <algorithm>
#include <cstring>

namespace cabinet {

struct ZeroLatencyConvolver::Stage {
    Convproc convolver;
    int quantum = 0;
    int fill = 0;
    std::vector<float> held[2];  // the last cycle's output, read out during the next one

    ~Stage() {
        convolver.stop_process();
        convolver.cleanup();
    }
};

ZeroLatencyConvolver::ZeroLatencyConvolver() = default;
ZeroLatencyConvolver::~ZeroLatencyConvolver() = default;

bool ZeroLatencyConvolver::buildStage(std::unique_ptr<Stage>& stage, const ImpulseResponse& ir, long from, long to,
                                      int quantum, std::string& error) {
    stage.reset();
    if (to <= from)
        return true;
    auto s = std::make_unique<Stage>();
    // Every partition the cycle's size: one level, run in the caller's thread.
    if (s->convolver.configure(2, 2, (uint32_t)(to - from), (uint32_t)quantum, (uint32_t)quantum, (uint32_t)quantum,
                               0.0f) != 0) {
        error = "cabinet: the convolver refused its configuration";
        return false;
    }
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& source = ir.channels[ir.stereo() ? (size_t)c : 0];
        // The convolver takes non-const pointers and keeps its own copy.
        std::vector<float> part(source.begin() + from, source.begin() + to);
        if (s->convolver.impdata_create((uint32_t)c, (uint32_t)c, 1, part.data(), 0, (int32_t)part.size()) != 0) {
            error = "cabinet: the convolver cannot hold the response";
            return false;
        }
    }
    if (s->convolver.start_process(0, SCHED_OTHER) != 0) {
        error = "cabinet: the convolver did not start";
        return false;
    }
    s->quantum = quantum;
    for (auto& h : s->held)
        h.assign((size_t)quantum, 0.0f);
    stage = std::move(s);
    return true;
}

bool ZeroLatencyConvolver::configure(const ImpulseResponse& ir, std::string& error) {
    const long n = ir.frames();
    if (n <= 0 || ir.channels.empty() || ir.channels.size() > 2) {
        error = "cabinet: no usable impulse response";
        return false;
    }
    taps = n;
    directTaps = (int)std::min<long>(n, kDirectTaps);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& source = ir.channels[ir.stereo() ? (size_t)c : 0];
        head[c].assign((size_t)kDirectTaps, 0.0f);
        for (int k = 0; k < directTaps; ++k)
            head[c][(size_t)(kDirectTaps - 1 - k)] = source[(size_t)k];
        history[c].assign(2 * (size_t)kDirectTaps, 0.0f);
    }
    historyAt = 0;
    if (!buildStage(shortStage, ir, kDirectTaps, std::min<long>(n, kLongPartition), kDirectTaps, error))
        return false;
    return buildStage(longStage, ir, kLongPartition, n, kLongPartition, error);
}

void ZeroLatencyConvolver::runStage(Stage& s, float inL, float inR, float& outL, float& outR) {
    s.convolver.inpdata(0)[s.fill] = inL;
    s.convolver.inpdata(1)[s.fill] = inR;
    outL += s.held[0][(size_t)s.fill];
    outR += s.held[1][(size_t)s.fill];
    if (++s.fill == s.quantum) {
        s.fill = 0;
        s.convolver.process(true);
        std::memcpy(s.held[0].data(), s.convolver.outdata(0), sizeof(float) * (size_t)s.quantum);
        std::memcpy(s.held[1].data(), s.convolver.outdata(1), sizeof(float) * (size_t)s.quantum);
    }
}

void ZeroLatencyConvolver::process(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    if (taps <= 0 || frames <= 0)
        return;
    float* ringL = history[0].data();
    float* ringR = history[1].data();
    const float* tapsL = head[0].data();
    const float* tapsR = head[1].data();
    for (int i = 0; i < frames; ++i) {
        const float xl = inL[i];
        const float xr = inR[i];
        // The ring holds each input at `at` and `at + kDirectTaps`, so the
        // last kDirectTaps inputs are always one run, oldest first.
        historyAt = historyAt + 1 == kDirectTaps ? 0 : historyAt + 1;
        ringL[historyAt] = ringL[historyAt + kDirectTaps] = xl;
        ringR[historyAt] = ringR[historyAt + kDirectTaps] = xr;
        const float* wl = ringL + historyAt + 1;
        const float* wr = ringR + historyAt + 1;
        float al[4] = {0, 0, 0, 0}, ar[4] = {0, 0, 0, 0};
        for (int k = 0; k < kDirectTaps; k += 4)
            for (int j = 0; j < 4; ++j) {
                al[j] += tapsL[k + j] * wl[k + j];
                ar[j] += tapsR[k + j] * wr[k + j];
            }
        float yl = (al[0] + al[1]) + (al[2] + al[3]);
        float yr = (ar[0] + ar[1]) + (ar[2] + ar[3]);
        if (shortStage)
            runStage(*shortStage, xl, xr, yl, yr);
        if (longStage)
            runStage(*longStage, xl, xr, yl, yr);
        outL[i] = yl;
        outR[i] = yr;
    }
}

void ZeroLatencyConvolver::clear() {
    for (auto& h : history)
        std::fill(h.begin(), h.end(), 0.0f);
    historyAt = 0;
    for (Stage* s : {shortStage.get(), longStage.get()}) {
        if (!s)
            continue;
        s->convolver.reset();
        s->fill = 0;
        for (auto& h : s->held)
            std::fill(h.begin(), h.end(), 0.0f);
    }
}

}  // namespace cabinet
