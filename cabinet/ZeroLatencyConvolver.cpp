#include "cabinet/ZeroLatencyConvolver.h"

#if CORVEX_CABINET_ZITA
#include <sched.h>
#include <zita-convolver.h>
#else
#include "cabinet/PartitionedConvolver.h"
#endif

#include <algorithm>
#include <cstring>

namespace cabinet {

#if CORVEX_CABINET_ZITA
struct ZeroLatencyConvolver::Stage {
    Convproc convolver;
    int quantum = 0;
    int fill = 0;
    std::vector<float> held[2];  // the last cycle's output, read out during the next one

    ~Stage() {
        convolver.stop_process();
        convolver.cleanup();
    }
    float* inpdata(int c) { return convolver.inpdata((uint32_t)c); }
    const float* outdata(int c) { return convolver.outdata((uint32_t)c); }
    void run() { convolver.process(true); }
    void reset() { convolver.reset(); }

    bool configure(const ImpulseResponse& ir, long from, long to, int cycle, std::string& error) {
        // Every partition the cycle's size: one level, run in the caller's thread.
        // Estimated FFT plans, not measured ones: a measured plan depends on
        // the timing of the moment, so two processes (two formats, two runs)
        // would round differently; estimated plans give the same samples
        // every time on one machine.
        convolver.set_options(Convproc::OPT_VECTOR_MODE);
        if (convolver.configure(2, 2, (uint32_t)(to - from), (uint32_t)cycle, (uint32_t)cycle, (uint32_t)cycle,
                                0.0f) != 0) {
            error = "cabinet: the convolver refused its configuration";
            return false;
        }
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& source = ir.channels[ir.stereo() ? (size_t)c : 0];
            // The convolver takes non-const pointers and keeps its own copy.
            std::vector<float> part(source.begin() + from, source.begin() + to);
            if (convolver.impdata_create((uint32_t)c, (uint32_t)c, 1, part.data(), 0, (int32_t)part.size()) != 0) {
                error = "cabinet: the convolver cannot hold the response";
                return false;
            }
        }
        if (convolver.start_process(0, SCHED_OTHER) != 0) {
            error = "cabinet: the convolver did not start";
            return false;
        }
        return true;
    }
};
#else
// Where zita-convolver is not built (Windows): our own uniformly
// partitioned convolver over FFTW, with the same cycle contract.
struct ZeroLatencyConvolver::Stage {
    PartitionedConvolver convolver;
    int quantum = 0;
    int fill = 0;
    std::vector<float> held[2];  // the last cycle's output, read out during the next one

    float* inpdata(int c) { return convolver.inpdata(c); }
    const float* outdata(int c) { return convolver.outdata(c); }
    void run() { convolver.process(); }
    void reset() { convolver.reset(); }

    bool configure(const ImpulseResponse& ir, long from, long to, int cycle, std::string& error) {
        const std::vector<float>& left = ir.channels[0];
        const std::vector<float>& right = ir.channels[ir.stereo() ? 1 : 0];
        if (!convolver.configure(left.data() + from, right.data() + from, to - from, cycle)) {
            error = "cabinet: the convolver refused its configuration";
            return false;
        }
        return true;
    }
};
#endif

namespace {

// y[i] = sum over k of h[k] * x[i - k], k = 0..taps-1, i = 0..n-1, summed tap
// by tap: every output adds its taps in the same order, so the AVX2 and
// AVX-512 copies (chosen when the convolver is configured, where the
// processor has them; no fused multiply-adds) give the same samples as the
// SSE2 one.
inline void directTapsBody(const float* h, int taps, const float* x, float* y, int n) {
    for (int i = 0; i < n; ++i)
        y[i] = h[0] * x[i];
    for (int k = 1; k < taps; ++k) {
        const float hk = h[k];
        const float* xk = x - k;
        for (int i = 0; i < n; ++i)
            y[i] += hk * xk[i];
    }
}

void directTapsPlain(const float* h, int taps, const float* x, float* y, int n) {
    directTapsBody(h, taps, x, y, n);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define CORVEX_CABINET_WIDE_PATHS 1
__attribute__((target("avx2"))) void directTapsAvx2(const float* h, int taps, const float* x, float* y, int n) {
    directTapsBody(h, taps, x, y, n);
}
__attribute__((target("avx512f"))) void directTapsAvx512(const float* h, int taps, const float* x, float* y,
                                                          int n) {
    directTapsBody(h, taps, x, y, n);
}
#endif

}  // namespace

ZeroLatencyConvolver::DirectTaps ZeroLatencyConvolver::widestDirectTaps() {
#if defined(CORVEX_CABINET_WIDE_PATHS)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return directTapsAvx512;
    if (__builtin_cpu_supports("avx2"))
        return directTapsAvx2;
#endif
    return directTapsPlain;
}

ZeroLatencyConvolver::ZeroLatencyConvolver() = default;
ZeroLatencyConvolver::~ZeroLatencyConvolver() = default;

bool ZeroLatencyConvolver::buildStage(std::unique_ptr<Stage>& stage, const ImpulseResponse& ir, long from, long to,
                                      int quantum, std::string& error) {
    stage.reset();
    if (to <= from)
        return true;
    auto s = std::make_unique<Stage>();
    if (!s->configure(ir, from, to, quantum, error))
        return false;
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
    directTaps = widestDirectTaps();
    const int direct = (int)std::min<long>(n, kDirectTaps);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& source = ir.channels[ir.stereo() ? (size_t)c : 0];
        head[c].assign((size_t)kDirectTaps, 0.0f);
        std::copy(source.begin(), source.begin() + direct, head[c].begin());
        work[c].assign((size_t)(kDirectTaps - 1 + kChunk), 0.0f);
        sum[c].assign((size_t)kChunk, 0.0f);
    }
    if (!buildStage(shortStage, ir, kDirectTaps, std::min<long>(n, kLongPartition), kDirectTaps, error))
        return false;
    return buildStage(longStage, ir, kLongPartition, n, kLongPartition, error);
}

void ZeroLatencyConvolver::runStage(Stage& s, const float* const* in, float* const* out, int frames) {
    for (int i = 0; i < frames;) {
        const int m = std::min(frames - i, s.quantum - s.fill);
        for (int c = 0; c < 2; ++c) {
            std::memcpy(s.inpdata(c) + s.fill, in[c] + i, sizeof(float) * (size_t)m);
            const float* held = s.held[c].data() + s.fill;
            float* y = out[c] + i;
            for (int j = 0; j < m; ++j)
                y[j] += held[j];
        }
        s.fill += m;
        i += m;
        if (s.fill == s.quantum) {
            s.fill = 0;
            s.run();
            std::memcpy(s.held[0].data(), s.outdata(0), sizeof(float) * (size_t)s.quantum);
            std::memcpy(s.held[1].data(), s.outdata(1), sizeof(float) * (size_t)s.quantum);
        }
    }
}

void ZeroLatencyConvolver::process(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    if (taps <= 0 || frames <= 0)
        return;
    const float* in[2] = {inL, inR};
    float* out[2] = {outL, outR};
    constexpr int past = kDirectTaps - 1;
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunk, frames - done);
        const float* chunkIn[2];
        float* chunkOut[2] = {sum[0].data(), sum[1].data()};
        for (int c = 0; c < 2; ++c) {
            float* x = work[c].data() + past;  // x[-past .. n)
            std::memcpy(x, in[c] + done, sizeof(float) * (size_t)n);
            chunkIn[c] = x;
            // The first taps directly, tap by tap over the chunk: each output
            // sums its taps in the same order at every block size.
            directTaps(head[c].data(), kDirectTaps, x, sum[c].data(), n);  // the path chosen in configure
        }
        if (shortStage)
            runStage(*shortStage, chunkIn, chunkOut, n);
        if (longStage)
            runStage(*longStage, chunkIn, chunkOut, n);
        for (int c = 0; c < 2; ++c) {
            std::memcpy(out[c] + done, sum[c].data(), sizeof(float) * (size_t)n);
            // Keep the last inputs for the next chunk.
            std::memmove(work[c].data(), work[c].data() + n, sizeof(float) * (size_t)past);
        }
        done += n;
    }
}

void ZeroLatencyConvolver::clear() {
    for (auto& w : work)
        std::fill(w.begin(), w.end(), 0.0f);
    for (Stage* s : {shortStage.get(), longStage.get()}) {
        if (!s)
            continue;
        s->reset();
        s->fill = 0;
        for (auto& h : s->held)
            std::fill(h.begin(), h.end(), 0.0f);
    }
}

}  // namespace cabinet
