#include "model/HalfBand.h"

const double halfBandCoefficients12[12] = {
    0.036681502163648017, 0.13654762463195771, 0.2746317593794541, 0.42313861743656667,
    0.5610989697879195,   0.6775400499741616,  0.769741833862266,  0.839889624849638,
    0.8922608180038789,   0.9315419599631839,  0.962094548378084,  0.9878163707328971,
};

const double halfBandCoefficients8[8] = {
    0.07711507983241622, 0.2659685265210946, 0.4820706250610472, 0.6651041532634957,
    0.7968204713315797,  0.8841015085506159, 0.9412514277740471, 0.9820054141886075,
};

const double halfBandCoefficients4[4] = {
    0.12073211751675449,
    0.3903621872345006,
    0.6632020224193995,
    0.890786832653497,
};

namespace {
template <int N>
void loadCoefficients(HalfBandFilter<N>& filter, const double (&set)[N]) {
    for (int i = 0; i < N; ++i) {
        filter.coefficients[i] = (float)set[i];
    }
}
}  // namespace

void loadHalfBandCoefficients(HalfBandFilter12& filter, const double (&set)[12]) {
    loadCoefficients(filter, set);
}
void loadHalfBandCoefficients(HalfBandFilter8& filter, const double (&set)[8]) {
    loadCoefficients(filter, set);
}
void loadHalfBandCoefficients(HalfBandFilter4& filter, const double (&set)[4]) {
    loadCoefficients(filter, set);
}
