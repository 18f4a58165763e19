// Design of the circuit stages from their component values and the
// oversampled rate: triode operating points, the fixed second-order filters,
// the oversampling factor and the drive taper. Nothing here runs per sample.
#pragma once

#include "model/Biquad.h"
#include "model/TriodeStage.h"

// The amp model's value of 2 pi, used wherever the model needs it: in the
// filters' prewarped corners and the injected sine. It is 3.1e-6 above the
// true value, and deliberately so: the model was voiced with it, every
// corner frequency sits where this value puts it, and the renders the tests
// and the Windows builds compare against were made with it. Changing it to
// the true 2 pi would move every filter by about half a part per million
// and break bit-equality with those references for no audible gain.
constexpr double ampTwoPi = 6.28319304;

// The power-amplifier curve's output for an input of 0: the value the DC
// blocker sees at rest, so its input history starts there.
constexpr double curveRestValue = 0.001348233;

// Designs a triode stage: stores its components, finds the DC operating
// point with a fixed 20-pass damped iteration from plateVoltageStart, and
// computes the reciprocals and the two rate-dependent coefficients.
void designTriodeStage(double gridResistance, double cathodeResistance, double cathodeCapacitance, double supplyVoltage,
                       double plateResistance, double plateVoltageStart, double couplingSeriesResistance,
                       double couplingLoadResistance, double couplingCapacitance, double rate,
                       const TriodeCurveFit& curveFit, TriodeStage& stage);

// Recomputes only cathodeCoefficient and couplingCoefficient for a new rate;
// the operating point and the running state stay as they are.
void refreshTriodeStageRate(TriodeStage& stage, double oversampledRate);

// Bilinear-transform second-order designs with a prewarped corner. Each
// writes all ten fields, clearing the history (the high-pass presets its
// input history to the power-amplifier curve's rest value).
void designLowpass(double frequency, double q, double rate, Biquad& biquad);
void designLowShelf(double frequency, double q, double lowGain, double rate, Biquad& biquad);
void designHighpass(double frequency, double q, double rate, Biquad& biquad);

// Oversampling factor, rate and period for a host sample rate.
struct OversamplingChoice {
    int oversampling;          // 2, 4 or 8
    double oversampledRate;    // sampleRate * oversampling
    double oversampledPeriod;  // 1 / oversampledRate
};
OversamplingChoice chooseOversampling(float sampleRate, int highQuality);

// ---- What the knobs do to the signal ----
// Both chains (the sample-by-sample reference and the fast one) take their
// gains from these, so that they cannot drift apart.

// Gain of the "Drive" control: 0.9841 d^2 - 0.0732 d + 0.089125.
inline double driveTaper(double drive) {
    return 0.9841 * drive * drive - drive * 0.0732 + 0.089125;
}

// "Mix PLS" blends channel 0's two parallel stages: the plain one fades out
// as the shelved one, which is 2.5 times louder at full mix, comes in.
inline double mixPlainGain(double mix) {
    return 1.0 - mix;
}
inline double mixShelvedGain(double mix) {
    return 2.5 * mix;
}

// "TQZ Boost" triples channel 1's drive and lowers its output's rest level.
inline double boostOffset(int boost) {
    return 0.1 * boost;
}

// Drive into the power amplifier: "Contour" along its fitted curve (it also
// sets the tone stack's mid scoop), "Power Amp" from 0.1 to 1.
inline double contourDriveGain(double contour) {
    return 0.04 * (0.5225 + 1.0298 * contour - 0.1077 * (contour * contour));
}
inline double powerAmpDriveGain(double powerAmp) {
    return 0.1 + 0.9 * powerAmp;
}
