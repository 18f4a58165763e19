#include "cabinet/LoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cabinet {

namespace {
ebur128_state* meterState(void* p) {
    return static_cast<ebur128_state*>(p);
}
}  // namespace

LoudnessMeter::~LoudnessMeter() {
    if (state != nullptr) {
        ebur128_state* st = meterState(state);
        ebur128_destroy(&st);
    }
}

bool LoudnessMeter::start(double rate) {
    if (state != nullptr) {
        ebur128_state* st = meterState(state);
        ebur128_destroy(&st);
        state = nullptr;
    }
    peak = 0.0;
    count = 0;
    if (!(rate >= 8000.0 && rate <= 768000.0))
        return false;
    state = ebur128_init(2, (unsigned long)std::lround(rate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    return state != nullptr;
}

void LoudnessMeter::add(const float* left, const float* right, int frames) {
    constexpr int chunk = (int)(sizeof scratch / sizeof scratch[0]) / 2;
    for (int done = 0; done < frames;) {
        const int n = std::min(chunk, frames - done);
        for (int i = 0; i < n; i++) {
            float l = left[done + i], r = right[done + i];
            // Non-finite samples are counted elsewhere; they would poison the sums.
            if (!std::isfinite(l))
                l = 0.0f;
            if (!std::isfinite(r))
                r = 0.0f;
            peak = std::max(peak, (double)std::max(std::fabs(l), std::fabs(r)));
            scratch[2 * i] = l;
            scratch[2 * i + 1] = r;
        }
        if (state != nullptr)
            ebur128_add_frames_float(meterState(state), scratch, (size_t)n);
        done += n;
    }
    count += frames;
}

double LoudnessMeter::truePeak() const {
    if (state == nullptr)
        return peak;
    double best = peak;
    for (unsigned c = 0; c < 2; c++) {
        double p = 0.0;
        if (ebur128_true_peak(meterState(state), c, &p) == EBUR128_SUCCESS && std::isfinite(p))
            best = std::max(best, p);
    }
    return best;
}

double LoudnessMeter::integratedLufs() const {
    double lufs = -HUGE_VAL;
    if (state == nullptr || ebur128_loudness_global(meterState(state), &lufs) != EBUR128_SUCCESS)
        return -HUGE_VAL;
    return lufs;
}

std::string dbfsText(double linear) {
    if (!(linear > 0.0))
        return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dBFS", 20.0 * std::log10(linear));
    return text;
}

std::string loudnessSummary(const LoudnessMeter& meter) {
    char text[160];
    const double lufs = meter.integratedLufs();
    if (std::isfinite(lufs))
        std::snprintf(text, sizeof text, "Loudness:  %.1f LUFS integrated\n", lufs);
    else
        std::snprintf(text, sizeof text, "Loudness:  - (silent, or shorter than 0.4 s)\n");
    return std::string(text) + "True peak: " + dbfsText(meter.truePeak()) + " (sample peak " +
           dbfsText(meter.samplePeak()) + ")\n";
}

std::string clippingWarning(const LoudnessMeter& meter) {
    const double tp = meter.truePeak();
    if (!(tp > 1.0))
        return std::string();
    char text[200];
    std::snprintf(text, sizeof text,
                  "warning: the output goes above 0 dBFS (true peak %+.2f dBFS); it will clip when played or "
                  "converted to fixed point: turn Volume (or --cab-trim) down\n",
                  20.0 * std::log10(tp));
    return text;
}

}  // namespace cabinet
