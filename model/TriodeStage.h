// One common-cathode triode gain stage, run sample by sample at the
// oversampled rate. The valve is a rational fit of its plate-to-cathode
// voltage along the load line; the grid conducts above the cathode, and the
// cathode follows the currents one sample late.
#pragma once

#include <cmath>

// Plate-to-cathode voltage of the valve on its load line as a function of the
// grid-to-cathode voltage v:
//   (c0 + c2 v + ... + c12 v^6) / (1 + c1 v + c3 v^2 + ... + c11 v^6).
struct TriodeCurveFit {
    double c[13];
};

// Stages 1-3 (273.79 V supply) and stages 4-6 (278 V supply).
extern const TriodeCurveFit triodeCurveFitA;
extern const TriodeCurveFit triodeCurveFitB;

struct TriodeStage {
    double gridResistance;      // Rg
    double cathodeResistance;   // Rk
    double cathodeCapacitance;  // Ck
    double supplyVoltage;       // Vs
    double plateResistance;     // Rp
    double plateCurrent;        // Ip (state)
    double gridCurrent;         // Ig (state)
    double gridVoltage;         // Vg after the grid resistor (state)
    double cathodeVoltage;      // Vk, never negative (state)
    double plateVoltage;        // Vp (state)
    double outputVoltage;       // after the coupling capacitor (state)
    double couplingSeriesResistance;
    double couplingLoadResistance;
    double couplingCapacitance;
    double gridConduction;  // h = Rg * 0.00375 + 1e-20
    TriodeCurveFit transferCoefficients;
    double inverseGridResistance;       // 1 / Rg
    double inversePlateResistance;      // 1 / Rp
    double cathodeCoefficient;          // T Rk / (T + Rk Ck)
    double inverseTwiceGridConduction;  // 1 / (2 h)
    double couplingCoefficient;         // tau / (tau + T)
};

// Below this grid-to-cathode voltage the valve is cut off.
constexpr double triodeCutoffVoltage = -8.8;

// Numerator and denominator by Horner's rule, lowest power stored first.
inline double evaluateTriodeCurveFit(const TriodeCurveFit& fit, double v) {
    const double* c = fit.c;
    double numerator = c[0] + v * (c[2] + v * (c[4] + v * (c[6] + v * (c[8] + v * (c[10] + v * c[12])))));
    double denominator = 1.0 + v * (c[1] + v * (c[3] + v * (c[5] + v * (c[7] + v * (c[9] + v * c[11])))));
    return numerator / denominator;
}

// Advances the stage by one sample: on entry `sample` drives the grid
// resistor, on return it holds the stage's output voltage.
inline void runTriodeStage(TriodeStage& stage, double& sample, double oversampledRate) {
    const double x = sample;
    const double vk = stage.cathodeVoltage;
    const double h = stage.gridConduction;

    // Grid: below the cathode no grid current flows; above it the grid
    // conducts with a square law and Vg solves x - Vg = h (Vg - Vk)^2.
    double vg;
    if (x - vk < 0.0) {
        vg = x;
    } else {
        vg = (std::sqrt(1.0 - 4.0 * h * vk + 4.0 * h * x) + 2.0 * h * vk - 1.0) * stage.inverseTwiceGridConduction;
    }
    stage.gridVoltage = vg;
    const double ig = (x - vg) * stage.inverseGridResistance;
    stage.gridCurrent = ig;

    const double vpOld = stage.plateVoltage;
    const double v = vg - vk;
    const double vs = stage.supplyVoltage;
    double vpk;
    if (v < triodeCutoffVoltage) {
        vpk = vs;
    } else {
        vpk = evaluateTriodeCurveFit(stage.transferCoefficients, v);
    }
    double vp = vpk + vk;
    if (vp > vs + vk) {
        vp = vs + vk;
    }
    stage.plateVoltage = vp;
    const double ip = (vs - vp) * stage.inversePlateResistance;
    stage.plateCurrent = ip;

    // Coupling capacitor into the next stage's load: a one-pole high-pass.
    const double y = stage.couplingCoefficient * (stage.outputVoltage + vp - vpOld);
    stage.outputVoltage = y;
    sample = y;

    // Cathode node, backward Euler: Ck dVk/dt = Ip + Ig - Vk / Rk.
    double vkNew = stage.cathodeCoefficient * (ip + ig + stage.cathodeCapacitance * vk * oversampledRate);
    if (vkNew <= 0.0) {
        vkNew = 0.0;
    }
    stage.cathodeVoltage = vkNew;
}
