#include "cabinet/ZeroLatencyConvolver.h"

#include "cabinet/PartitionedConvolver.h"
#include "cabinet/WideLoops.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define CORVEX_CABINET_SSE2 1
#endif

namespace cabinet {

// One partitioned part: its convolver and the FIFO's fill. The last
// cycle's output is read out during the next one straight from the
// convolver's output, which stays until its next cycle.
struct ZeroLatencyConvolver::Stage {
    PartitionedConvolver convolver;
    int quantum = 0;
    int fill = 0;

    // Taps `from` to `to` (from >= cycle): the FIFO delays the stage's
    // output by one cycle, so its response starts at tap `cycle`, with the
    // taps before `from` (another part's) zero.
    bool configure(const ImpulseResponse& ir, long from, long to, int cycle, std::string& error) {
        std::vector<float> part[2];
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& source = ir.channels[ir.stereo() ? (size_t)c : 0];
            part[c].assign((size_t)(to - cycle), 0.0f);
            std::copy(source.begin() + from, source.begin() + to, part[c].begin() + (from - cycle));
        }
        if (!convolver.configure(part[0].data(), part[1].data(), to - cycle, cycle)) {
            error = "cabinet: the convolver refused its configuration";
            return false;
        }
        return true;
    }
};

namespace {

// y[i] = sum over k of h[k] * x[i - k], k = 0..taps-1, i = 0..n-1. On the
// plain and SSE2 paths every output starts from h[0] * x[i] and adds its
// taps in order, k = 1 first (no fused multiply-adds); the wider paths
// (cabinet/WideLoops.h) fuse. The vector copies (chosen when the convolver
// is configured, where the processor has them) keep a block of outputs in
// registers across all the taps.
inline void directTapsFrom(const float* h, int taps, const float* x, float* y, int from, int n) {
    for (int i = from; i < n; ++i) {
        float acc = h[0] * x[i];
        for (int k = 1; k < taps; ++k)
            acc += h[k] * x[i - k];
        y[i] = acc;
    }
}

#if !CORVEX_CABINET_SSE2
void directTapsPlain(const float* h, int taps, const float* x, float* y, int n) {
    directTapsFrom(h, taps, x, y, 0, n);
}
#endif

#if CORVEX_CABINET_SSE2
void directTapsSse2(const float* h, int taps, const float* x, float* y, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const float* xi = x + i;
        __m128 h0 = _mm_set1_ps(h[0]);
        __m128 a0 = _mm_mul_ps(h0, _mm_loadu_ps(xi)), a1 = _mm_mul_ps(h0, _mm_loadu_ps(xi + 4));
        __m128 a2 = _mm_mul_ps(h0, _mm_loadu_ps(xi + 8)), a3 = _mm_mul_ps(h0, _mm_loadu_ps(xi + 12));
        for (int k = 1; k < taps; ++k) {
            const __m128 hk = _mm_set1_ps(h[k]);
            const float* xk = xi - k;
            a0 = _mm_add_ps(a0, _mm_mul_ps(hk, _mm_loadu_ps(xk)));
            a1 = _mm_add_ps(a1, _mm_mul_ps(hk, _mm_loadu_ps(xk + 4)));
            a2 = _mm_add_ps(a2, _mm_mul_ps(hk, _mm_loadu_ps(xk + 8)));
            a3 = _mm_add_ps(a3, _mm_mul_ps(hk, _mm_loadu_ps(xk + 12)));
        }
        _mm_storeu_ps(y + i, a0);
        _mm_storeu_ps(y + i + 4, a1);
        _mm_storeu_ps(y + i + 8, a2);
        _mm_storeu_ps(y + i + 12, a3);
    }
    directTapsFrom(h, taps, x, y, i, n);
}
#endif


}  // namespace

ZeroLatencyConvolver::DirectTaps ZeroLatencyConvolver::widestDirectTaps() {
#if defined(CORVEX_CABINET_WIDE_LOOPS)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma"))
        return directTapsAvx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return directTapsAvx2;
#endif
#if CORVEX_CABINET_SSE2
    return directTapsSse2;
#else
    return directTapsPlain;
#endif
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
    // Up to kShortOnly taps: short cycles only. Longer: the long cycles
    // from kLongPartition on (short partitions past it would cost more
    // multiply-adds per block than the long cycle's share).
    const long longFrom = n <= kShortOnly ? n : kLongPartition;
    if (!buildStage(shortStage, ir, kDirectTaps, longFrom, kDirectTaps, error))
        return false;
    if (!buildStage(longStage, ir, longFrom, n, kLongPartition, error))
        return false;
    sameResponse = !ir.stereo() || ir.channels[0] == ir.channels[1];
    // What the convolver remembers: the direct part's last inputs; a
    // partitioned part's input spectra (its partitions plus one cycle, each
    // from two cycles of input) and the cycle being filled.
    settle = kDirectTaps;
    for (const Stage* s : {shortStage.get(), longStage.get()})
        if (s)
            settle = std::max(settle, (s->convolver.partitionCount() + 2L) * s->quantum);
    clear();
    return true;
}

void ZeroLatencyConvolver::runStage(Stage& s, const float* const* in, float* const* out, int frames, int channels) {
    for (int i = 0; i < frames;) {
        const int m = std::min(frames - i, s.quantum - s.fill);
        for (int c = 0; c < channels; ++c) {
            std::memcpy(s.convolver.inpdata(c) + s.fill, in[c] + i, sizeof(float) * (size_t)m);
            const float* held = s.convolver.outdata(c) + s.fill;  // the last cycle's output
            float* y = out[c] + i;
            for (int j = 0; j < m; ++j)
                y[j] += held[j];
        }
        s.fill += m;
        i += m;
        if (s.fill < s.quantum)
            s.convolver.advance(s.fill, channels);  // the long cycle's work spread over its blocks
        if (s.fill == s.quantum) {
            s.fill = 0;
            s.convolver.process(channels);
        }
    }
}

void ZeroLatencyConvolver::copyLeftToRight() {
    std::memcpy(work[1].data(), work[0].data(), sizeof(float) * (size_t)(kDirectTaps - 1));
    for (Stage* s : {shortStage.get(), longStage.get()}) {
        if (!s)
            continue;
        s->convolver.copyLeftToRight();  // its last output too
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
        // The same bits on both inputs (the same bits out, with one response)?
        const bool same =
            sameResponse && (inL == inR || std::memcmp(inL + done, inR + done, sizeof(float) * (size_t)n) == 0);
        if (same) {
            if (!mirrored && sameRun >= settle)
                mirrored = true;  // both pasts are the same bits now
            sameRun = std::min(settle, sameRun + n);
        } else {
            sameRun = 0;
            if (mirrored) {
                copyLeftToRight();  // the right side's past, as if it had run
                mirrored = false;
            }
        }
        const int channels = mirrored ? 1 : 2;
        const float* chunkIn[2];
        float* chunkOut[2] = {sum[0].data(), sum[1].data()};
        for (int c = 0; c < channels; ++c) {
            float* x = work[c].data() + past;  // x[-past .. n)
            std::memcpy(x, in[c] + done, sizeof(float) * (size_t)n);
            chunkIn[c] = x;
            // The first taps directly: each output sums its taps in the same
            // order at every block size.
            directTaps(head[c].data(), kDirectTaps, x, sum[c].data(), n);  // the path chosen in configure
        }
        if (shortStage)
            runStage(*shortStage, chunkIn, chunkOut, n, channels);
        if (longStage)
            runStage(*longStage, chunkIn, chunkOut, n, channels);
        for (int c = 0; c < 2; ++c)
            std::memcpy(out[c] + done, sum[c < channels ? c : 0].data(), sizeof(float) * (size_t)n);
        // Keep the last inputs for the next chunk.
        for (int c = 0; c < channels; ++c)
            std::memmove(work[c].data(), work[c].data() + n, sizeof(float) * (size_t)past);
        done += n;
    }
}

void ZeroLatencyConvolver::clear() {
    for (auto& w : work)
        std::fill(w.begin(), w.end(), 0.0f);
    for (Stage* s : {shortStage.get(), longStage.get()}) {
        if (!s)
            continue;
        s->convolver.reset();
        s->fill = 0;
    }
    // Silence for ever on both sides: the same past.
    mirrored = sameResponse;
    sameRun = settle;
}

}  // namespace cabinet
