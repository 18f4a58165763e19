#include "rig/BundledCabinets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <vector>

#include "rig/RigEngine.h"

// The 4x12's WAV file, compiled in by rig/CMakeLists.txt.
extern const unsigned char kCorvex4x12Wav[];
extern const unsigned long kCorvex4x12WavSize;

namespace corvex {

namespace {

constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;

const char* const kNames[RigEngine::kBundledCabinets] = {"4x12 Closed", "2x12 Open", "1x12 Combo", "4x10 Bright",
                                                         "1x10 Vintage"};

struct Section {
    double b0, b1, b2, a1, a2;
};

// Second-order sections from their analogue prototypes (bilinear transform
// with the centre frequency prewarped).
Section highPass(double f, double q) {
    const double w = 2.0 * kPi * f / kRate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    return {(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

Section lowPass(double f, double q) {
    const double w = 2.0 * kPi * f / kRate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha;
    return {(1.0 - c) / 2.0 / a0, (1.0 - c) / a0, (1.0 - c) / 2.0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

Section bell(double f, double db, double q) {
    const double a = std::pow(10.0, db / 40.0);
    const double w = 2.0 * kPi * f / kRate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    return {(1.0 + alpha * a) / a0, -2.0 * c / a0, (1.0 - alpha * a) / a0, -2.0 * c / a0, (1.0 - alpha / a) / a0};
}

struct Design {
    double lengthMs;
    std::vector<Section> sections;
    // Early reflections: delay (ms), gain, dullness (one-pole, 0..1).
    std::vector<std::array<double, 3>> reflections;
};

Design designOf(int model) {
    switch (model) {
        case 1:  // open back: a looser, lighter low end, a wide upper-mid
            return {50.0,
                    {highPass(85.0, 0.8), highPass(60.0, 0.6), bell(350.0, -2.5, 0.9), bell(1800.0, 3.5, 1.0),
                     bell(3200.0, -2.0, 2.5), lowPass(5600.0, 0.7), lowPass(6200.0, 1.2), lowPass(7000.0, 0.6)},
                    {{1.1, 0.40, 0.2}, {2.3, -0.30, 0.4}, {6.5, 0.22, 0.6}, {11.0, 0.12, 0.8}}};
        case 2:  // a single 12 in a small box: tight, honky mids
            return {35.0,
                    {highPass(110.0, 1.1), bell(250.0, -2.0, 1.0), bell(1200.0, 4.0, 1.2), bell(2700.0, 3.0, 2.0),
                     lowPass(4800.0, 0.9), lowPass(5200.0, 0.7), lowPass(6000.0, 0.6)},
                    {{0.9, 0.30, 0.3}, {2.1, -0.18, 0.5}}};
        case 3:  // four 10s: quick bass, a bright and forward top
            return {40.0,
                    {highPass(95.0, 1.3), bell(600.0, -3.0, 1.2), bell(3600.0, 6.0, 1.3), bell(5200.0, -2.5, 3.0),
                     lowPass(7000.0, 0.8), lowPass(7600.0, 0.6), lowPass(8200.0, 0.55)},
                    {{1.5, 0.30, 0.3}, {3.3, -0.20, 0.5}, {5.1, 0.10, 0.7}}};
        default:  // a small 10 in an old cabinet: no bass, mid bark, dark top
            return {30.0,
                    {highPass(160.0, 0.9), highPass(140.0, 0.6), bell(900.0, 5.0, 1.1), bell(2200.0, 2.0, 2.0),
                     lowPass(3800.0, 0.8), lowPass(4200.0, 0.6), lowPass(4800.0, 0.55)},
                    {{0.8, 0.35, 0.4}, {1.9, -0.25, 0.6}}};
    }
}

std::vector<double> darker(const std::vector<double>& x, double amount) {
    std::vector<double> y(x.size());
    double state = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        state += (1.0 - amount) * (x[i] - state);
        y[i] = state;
    }
    return y;
}

std::vector<float> designed(int model) {
    const Design d = designOf(model);
    const std::size_t n = (std::size_t)std::lround(d.lengthMs * kRate / 1000.0);
    std::vector<double> ir(n, 0.0);
    ir[0] = 1.0;
    for (const Section& s : d.sections) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : ir) {
            const double y = s.b0 * v + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }
    const std::vector<double> direct = ir;
    for (const auto& r : d.reflections) {
        const std::size_t delay = (std::size_t)std::lround(r[0] * kRate / 1000.0);
        const std::vector<double> dull = darker(direct, r[2]);
        for (std::size_t i = delay; i < n; ++i)
            ir[i] += r[1] * dull[i - delay];
    }
    const std::size_t fade = (std::size_t)(0.01 * kRate);
    for (std::size_t i = 0; i < fade && i < n; ++i)
        ir[n - fade + i] *= 0.5 * (1.0 + std::cos(kPi * (double)i / (double)(fade - 1)));
    // The loudest frequency at 0 dB, found on a grid of 20 Hz steps.
    double loudest = 0.0;
    for (double f = 20.0; f < kRate / 2.0; f += 20.0) {
        std::complex<double> sum = 0.0;
        const std::complex<double> turn = std::polar(1.0, -2.0 * kPi * f / kRate);
        std::complex<double> z = 1.0;
        for (double v : ir) {
            sum += v * z;
            z *= turn;
        }
        loudest = std::max(loudest, std::abs(sum));
    }
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = (float)(ir[i] / loudest);
    return out;
}

}  // namespace

const char* bundledCabinetName(int model) {
    return model >= 0 && model < RigEngine::kBundledCabinets ? kNames[model] : nullptr;
}

bool bundledCabinet(int model, cabinet::ImpulseResponse& out, std::string& error) {
    if (model < 0 || model >= RigEngine::kBundledCabinets) {
        error = "cabinet: no bundled cabinet " + std::to_string(model);
        return false;
    }
    if (model == 0)
        return cabinet::readImpulseResponse(kCorvex4x12Wav, kCorvex4x12WavSize, kNames[0], out, error);
    // Designed once per process (the first caller designs, others wait).
    static const std::vector<std::vector<float>> designs = [] {
        std::vector<std::vector<float>> all(RigEngine::kBundledCabinets);
        for (int m = 1; m < RigEngine::kBundledCabinets; ++m)
            all[(size_t)m] = designed(m);
        return all;
    }();
    cabinet::ImpulseResponse ir;
    ir.rate = kRate;
    ir.channels.push_back(designs[(size_t)model]);
    out = std::move(ir);
    return true;
}

}  // namespace corvex
