#include "cabinet/PartitionedConvolver.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace cabinet {

namespace {

// FFTW's planner is not reentrant: every plan is made and destroyed under this lock.
std::mutex& plannerLock() {
    static std::mutex lock;
    return lock;
}

// Floats from one spectrum to the next in the partition arrays: a multiple
// of 16, so each spectrum keeps the alignment the plans were made with.
size_t spectrumStride(size_t bins) {
    return (bins * 2 + 15) / 16 * 16;
}

float* allocate(size_t count) {
    auto* p = static_cast<float*>(fftwf_malloc(sizeof(float) * count));
    if (p != nullptr)
        std::memset(p, 0, sizeof(float) * count);
    return p;
}

}  // namespace

PartitionedConvolver::PartitionedConvolver() = default;

PartitionedConvolver::~PartitionedConvolver() {
    release();
}

void PartitionedConvolver::release() {
    {
        std::lock_guard<std::mutex> guard(plannerLock());
        if (forward != nullptr)
            fftwf_destroy_plan(static_cast<fftwf_plan>(forward));
        if (inverse != nullptr)
            fftwf_destroy_plan(static_cast<fftwf_plan>(inverse));
    }
    forward = inverse = nullptr;
    for (float** p : {&time, &spectrumSum, &input[0], &input[1], &output[0], &output[1], &history[0], &history[1],
                      &responseSpectra[0], &responseSpectra[1], &inputSpectra[0], &inputSpectra[1]}) {
        fftwf_free(*p);
        *p = nullptr;
    }
    quantum = partitions = slot = 0;
}

bool PartitionedConvolver::configure(const float* left, const float* right, long taps, int cycle) {
    release();
    if (left == nullptr || right == nullptr || taps <= 0 || cycle < 16 || cycle > 16384 || (cycle & (cycle - 1)) != 0)
        return false;
    const long parts = (taps + cycle - 1) / cycle;
    if (parts > (1L << 20))
        return false;
    const size_t n = (size_t)cycle;
    const size_t bins = n + 1;
    const size_t line = (size_t)parts * spectrumStride(bins);
    time = allocate(2 * n);
    spectrumSum = allocate(bins * 2);
    bool ok = time != nullptr && spectrumSum != nullptr;
    for (int c = 0; c < 2 && ok; ++c) {
        input[c] = allocate(n);
        output[c] = allocate(n);
        history[c] = allocate(n);
        responseSpectra[c] = allocate(line);
        inputSpectra[c] = allocate(line);
        ok = input[c] && output[c] && history[c] && responseSpectra[c] && inputSpectra[c];
    }
    if (ok) {
        std::lock_guard<std::mutex> guard(plannerLock());
        // Estimated plans: the same algorithm on every run, so the same samples.
        forward = fftwf_plan_dft_r2c_1d(2 * cycle, time, reinterpret_cast<fftwf_complex*>(spectrumSum), FFTW_ESTIMATE);
        inverse = fftwf_plan_dft_c2r_1d(2 * cycle, reinterpret_cast<fftwf_complex*>(spectrumSum), time, FFTW_ESTIMATE);
        ok = forward != nullptr && inverse != nullptr;
    }
    if (!ok) {
        release();
        return false;
    }
    quantum = cycle;
    partitions = (int)parts;
    // Each partition's spectrum, zero-padded to twice the cycle, scaled so
    // the unnormalised inverse transform comes back at unity gain.
    const float scale = 1.0f / (float)(2 * n);
    for (int c = 0; c < 2; ++c) {
        const float* h = c == 0 ? left : right;
        for (long p = 0; p < parts; ++p) {
            std::fill(time, time + 2 * n, 0.0f);
            const long from = p * cycle;
            const long count = std::min<long>(cycle, taps - from);
            for (long k = 0; k < count; ++k)
                time[k] = h[from + k] * scale;
            fftwf_execute(static_cast<fftwf_plan>(forward));
            std::memcpy(responseSpectra[c] + (size_t)p * spectrumStride(bins), spectrumSum, sizeof(float) * bins * 2);
        }
    }
    reset();
    return true;
}

void PartitionedConvolver::reset() {
    if (quantum == 0)
        return;
    const size_t n = (size_t)quantum;
    const size_t line = (size_t)partitions * spectrumStride(n + 1);
    for (int c = 0; c < 2; ++c) {
        std::fill(input[c], input[c] + n, 0.0f);
        std::fill(output[c], output[c] + n, 0.0f);
        std::fill(history[c], history[c] + n, 0.0f);
        std::fill(inputSpectra[c], inputSpectra[c] + line, 0.0f);
    }
    slot = 0;
}

void PartitionedConvolver::process() {
    if (quantum == 0)
        return;
    const size_t n = (size_t)quantum;
    const size_t bins = n + 1;
    const size_t stride = spectrumStride(bins);
    const auto plan = static_cast<fftwf_plan>(forward);
    for (int c = 0; c < 2; ++c) {
        // Overlap-save: the previous cycle's input, then this one's.
        std::memcpy(time, history[c], sizeof(float) * n);
        std::memcpy(time + n, input[c], sizeof(float) * n);
        std::memcpy(history[c], input[c], sizeof(float) * n);
        fftwf_execute_dft_r2c(plan, time, reinterpret_cast<fftwf_complex*>(inputSpectra[c] + (size_t)slot * stride));
        // Sum over partitions p of H[p] * X[now - p], the newest first.
        std::fill(spectrumSum, spectrumSum + bins * 2, 0.0f);
        for (int p = 0; p < partitions; ++p) {
            int at = slot - p;
            if (at < 0)
                at += partitions;
            const float* h = responseSpectra[c] + (size_t)p * stride;
            const float* x = inputSpectra[c] + (size_t)at * stride;
            float* y = spectrumSum;
            for (size_t k = 0; k < bins; ++k) {
                const float hr = h[2 * k], hi = h[2 * k + 1];
                const float xr = x[2 * k], xi = x[2 * k + 1];
                y[2 * k] += hr * xr - hi * xi;
                y[2 * k + 1] += hr * xi + hi * xr;
            }
        }
        fftwf_execute_dft_c2r(static_cast<fftwf_plan>(inverse), reinterpret_cast<fftwf_complex*>(spectrumSum), time);
        std::memcpy(output[c], time + n, sizeof(float) * n);
    }
    slot = slot + 1 == partitions ? 0 : slot + 1;
}

}  // namespace cabinet
