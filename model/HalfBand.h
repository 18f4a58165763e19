// Polyphase IIR half-band filters for raising and lowering the rate by two:
// two parallel chains of first-order all-pass sections, all in single
// precision. Even coefficients belong to path A, odd ones to path B.
#pragma once

template <int N>
struct HalfBandFilter {
    static constexpr int size = N;
    float coefficients[N];
    float inputHistory[N];   // previous input of each section
    float outputHistory[N];  // previous output of each section
};

using HalfBandFilter12 = HalfBandFilter<12>;
using HalfBandFilter8 = HalfBandFilter<8>;
using HalfBandFilter4 = HalfBandFilter<4>;

// The three coefficient sets (12, 8 and 4 all-pass coefficients).
extern const double halfBandCoefficients12[12];
extern const double halfBandCoefficients8[8];
extern const double halfBandCoefficients4[4];

// Copies a coefficient set into the filter as single precision; the
// histories are left alone.
void loadHalfBandCoefficients(HalfBandFilter12& filter, const double (&set)[12]);
void loadHalfBandCoefficients(HalfBandFilter8& filter, const double (&set)[8]);
void loadHalfBandCoefficients(HalfBandFilter4& filter, const double (&set)[4]);

// Zeroes both histories and keeps the coefficients.
template <int N>
inline void clearHalfBandHistory(HalfBandFilter<N>& filter) {
    for (int i = 0; i < N; ++i) {
        filter.inputHistory[i] = 0.0f;
        filter.outputHistory[i] = 0.0f;
    }
}

// Runs `v` through the all-pass sections first, first + 2, ... of one path.
template <int N>
inline float runHalfBandPath(HalfBandFilter<N>& filter, int first, float v) {
    for (int i = first; i < N; i += 2) {
        const float w = (v - filter.outputHistory[i]) * filter.coefficients[i] + filter.inputHistory[i];
        filter.inputHistory[i] = v;
        filter.outputHistory[i] = w;
        v = w;
    }
    return v;
}

// One input sample in, two output samples out in time order.
template <int N>
inline void upsampleHalfBand(HalfBandFilter<N>& filter, float input, float& first, float& second) {
    first = runHalfBandPath(filter, 0, input);
    second = runHalfBandPath(filter, 1, input);
}

// Two input samples in time order in, one output sample out.
template <int N>
inline float downsampleHalfBand(HalfBandFilter<N>& filter, float first, float second) {
    const float a = runHalfBandPath(filter, 0, second);
    const float b = runHalfBandPath(filter, 1, first);
    return (a + b) * 0.5f;
}
