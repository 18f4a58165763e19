#include "tools/presets/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

}  // namespace

double toDb(double linear) {
    linear = std::fabs(linear);
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

bool measureLevels(const std::vector<float>& left, const std::vector<float>& right, double rate, LevelReport& report,
                   std::string& error) {
    if (left.empty() || left.size() != right.size()) {
        error = "no audio to measure (or channels of different lengths)";
        return false;
    }
    std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(2, (unsigned long)rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!state) {
        error = "libebur128 cannot measure at " + std::to_string(rate) + " Hz";
        return false;
    }
    // Interleaved, a second at a time, so long signals need no second copy.
    const size_t step = (size_t)rate;
    std::vector<float> frames(2 * step);
    for (size_t start = 0; start < left.size(); start += step) {
        size_t n = std::min(step, left.size() - start);
        for (size_t i = 0; i < n; i++) {
            frames[2 * i] = left[start + i];
            frames[2 * i + 1] = right[start + i];
        }
        if (ebur128_add_frames_float(state.get(), frames.data(), n) != EBUR128_SUCCESS) {
            error = "libebur128 refused the audio";
            return false;
        }
    }
    double loudness = 0.0, samplePeak = 0.0, truePeak = 0.0;
    for (unsigned c = 0; c < 2; c++) {
        double s = 0.0, t = 0.0;
        ebur128_sample_peak(state.get(), c, &s);
        ebur128_true_peak(state.get(), c, &t);
        samplePeak = std::max(samplePeak, s);
        truePeak = std::max(truePeak, t);
    }
    if (ebur128_loudness_global(state.get(), &loudness) != EBUR128_SUCCESS) {
        error = "libebur128 gave no integrated loudness";
        return false;
    }
    report.integratedLufs = loudness;
    report.samplePeakDb = toDb(samplePeak);
    report.truePeakDb = toDb(truePeak);
    return true;
}
