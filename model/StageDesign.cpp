#include "model/StageDesign.h"

#include <cmath>

const TriodeCurveFit triodeCurveFitA = {{
    91.16591958343261,
    0.1029393252178504,
    -61.78065426148469,
    0.2087821929158114,
    21.1264527595891,
    0.04596619818001289,
    -2.692014417231092,
    0.01393224656816381,
    0.2634849660615173,
    0.001344483031666339,
    -0.007861390405233967,
    5.379248947885268e-05,
    0.0001393420332268739,
}};

const TriodeCurveFit triodeCurveFitB = {{
    92.5817535389297,
    0.07224083259162377,
    -64.53953262034481,
    0.2049067276401282,
    22.45500270956209,
    0.04574771514593597,
    -2.962115923952139,
    0.0144639618223571,
    0.2948218509201928,
    0.00139057968288856,
    -0.009300157705428844,
    5.57257101761762e-05,
    0.0001677997695190292,
}};

void designTriodeStage(double gridResistance, double cathodeResistance, double cathodeCapacitance, double supplyVoltage,
                       double plateResistance, double plateVoltageStart, double couplingSeriesResistance,
                       double couplingLoadResistance, double couplingCapacitance, double rate,
                       const TriodeCurveFit& curveFit, TriodeStage& stage) {
    stage.gridResistance = gridResistance;
    stage.cathodeResistance = cathodeResistance;
    stage.cathodeCapacitance = cathodeCapacitance;
    stage.supplyVoltage = supplyVoltage;
    stage.plateResistance = plateResistance;
    stage.couplingSeriesResistance = couplingSeriesResistance;
    stage.couplingLoadResistance = couplingLoadResistance;
    stage.couplingCapacitance = couplingCapacitance;
    stage.plateVoltage = plateVoltageStart;
    stage.transferCoefficients = curveFit;

    const double h = gridResistance * 0.00375 + 1e-20;
    stage.gridConduction = h;
    stage.inverseTwiceGridConduction = 1.0 / (2.0 * h);

    // Quiescent point with the grid at 0 V: the grid-to-cathode voltage is
    // -Vk. A damped fixed-point iteration, always exactly 20 passes.
    double vp = plateVoltageStart;
    for (int pass = 0; pass < 20; ++pass) {
        const double ip = (supplyVoltage - vp) / (plateResistance + 1e-20);
        stage.plateCurrent = ip;
        const double vk = ip * cathodeResistance;
        stage.cathodeVoltage = vk;
        vp = vp + 0.25 * (vk + evaluateTriodeCurveFit(curveFit, -vk) - vp);
        stage.plateVoltage = vp;
    }

    stage.gridCurrent = 0.0;
    stage.gridVoltage = 0.0;
    stage.outputVoltage = 0.0;
    stage.inversePlateResistance = 1.0 / (plateResistance + 1e-20);
    stage.inverseGridResistance = 1.0 / (gridResistance + 1e-20);
    refreshTriodeStageRate(stage, rate);
}

void refreshTriodeStageRate(TriodeStage& stage, double oversampledRate) {
    const double t = 1.0 / oversampledRate;
    const double rk = stage.cathodeResistance;
    stage.cathodeCoefficient = t * rk / (t + rk * stage.cathodeCapacitance);
    const double tau = (stage.couplingSeriesResistance + stage.couplingLoadResistance) * stage.couplingCapacitance;
    stage.couplingCoefficient = tau / (tau + t);
}

namespace {
// Prewarped frequency term and the shared denominator of quality q.
double designDenominator(double frequency, double q, double rate, Biquad& biquad) {
    const double k = std::tan(0.5 * ampTwoPi * frequency / rate);
    const double kk = k * k;
    biquad.inverseA0 = 1.0 / (1.0 + k / q + kk);
    biquad.a1 = 2.0 * (kk - 1.0);
    biquad.a2 = 1.0 - k / q + kk;
    return k;
}
}  // namespace

void designLowpass(double frequency, double q, double rate, Biquad& biquad) {
    const double k = designDenominator(frequency, q, rate, biquad);
    const double kk = k * k;
    biquad.b0 = kk;
    biquad.b1 = 2.0 * kk;
    biquad.b2 = kk;
    biquad.x1 = biquad.x2 = 0.0;
    biquad.y1 = biquad.y2 = 0.0;
}

void designLowShelf(double frequency, double q, double lowGain, double rate, Biquad& biquad) {
    const double k = designDenominator(frequency, q, rate, biquad);
    const double kk = k * k;
    const double root = std::sqrt(2.0 * lowGain);
    biquad.b0 = 1.0 + root * k + lowGain * kk;
    biquad.b1 = 2.0 * (lowGain * kk - 1.0);
    biquad.b2 = 1.0 - root * k + lowGain * kk;
    biquad.x1 = biquad.x2 = 0.0;
    biquad.y1 = biquad.y2 = 0.0;
}

void designHighpass(double frequency, double q, double rate, Biquad& biquad) {
    designDenominator(frequency, q, rate, biquad);
    biquad.b0 = 1.0;
    biquad.b1 = -2.0;
    biquad.b2 = 1.0;
    // Preset to the curve's rest output so that rest gives exactly 0.
    biquad.x1 = biquad.x2 = curveRestValue;
    biquad.y1 = biquad.y2 = 0.0;
}

OversamplingChoice chooseOversampling(float sampleRate, int highQuality) {
    OversamplingChoice choice;
    choice.oversampling = 2;
    if (sampleRate < 50000.0f) {
        choice.oversampling = 4;
    }
    if (highQuality > 0) {
        choice.oversampling *= 2;
    }
    choice.oversampledPeriod = 1.0 / ((double)sampleRate * choice.oversampling);
    choice.oversampledRate = 1.0 / choice.oversampledPeriod;
    return choice;
}
