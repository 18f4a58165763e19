// The per-side amp chain: the oversampling half-band filters, the two preamp
// channels built from triode stages and fixed filters, the soft limiter, the
// tone stack, the power-amplifier drive and valve curve and the DC blocker.
// Everything here is plain data and free functions; the effect owns one
// AmpSide per audio side and hands each block a ChainSettings snapshot.
#pragma once

#include <cmath>
#include <limits>

#include "model/Biquad.h"
#include "model/HalfBand.h"
#include "model/StageDesign.h"
#include "model/ToneStack.h"
#include "model/TriodeStage.h"

// The running values of a triode stage at its designed operating point.
struct TriodeRestPoint {
    double plateCurrent;
    double gridCurrent;
    double gridVoltage;
    double cathodeVoltage;
    double plateVoltage;
    double outputVoltage;
};

// A stage's running values, and a stage put back to kept ones (its design
// stays as it is).
inline TriodeRestPoint restPointOf(const TriodeStage& t) {
    return {t.plateCurrent, t.gridCurrent, t.gridVoltage, t.cathodeVoltage, t.plateVoltage, t.outputVoltage};
}
inline void putAtRestPoint(TriodeStage& t, const TriodeRestPoint& r) {
    t.plateCurrent = r.plateCurrent;
    t.gridCurrent = r.gridCurrent;
    t.gridVoltage = r.gridVoltage;
    t.cathodeVoltage = r.cathodeVoltage;
    t.plateVoltage = r.plateVoltage;
    t.outputVoltage = r.outputVoltage;
}

// One side's complete chain state.
struct AmpSide {
    HalfBandFilter12 upsampler2x;
    HalfBandFilter12 downsampler2x;
    HalfBandFilter8 upsampler4x;
    HalfBandFilter8 downsampler4x;
    HalfBandFilter4 upsampler8x;
    HalfBandFilter4 downsampler8x;

    TriodeStage triodeStage1;
    TriodeStage triodeStage2;
    TriodeStage triodeStage3;
    TriodeStage triodeStage4;
    TriodeStage triodeStage5;
    TriodeStage triodeStage6;

    Biquad lowShelf1k;  // preamp channel 0
    Biquad lowpass10k;
    Biquad lowShelf150;  // preamp channel 1
    Biquad lowpass6kA;
    Biquad lowShelf720;
    Biquad lowpass6kB;
    Biquad dcBlocker;  // after the power-amplifier curve

    ToneStack toneStack;

    // Where the six stages rest as designed; a side that has gone
    // non-finite is put back there.
    TriodeRestPoint triodeRest[6];
};

// Which side of the amp a chain is: the left side's channel 1 applies the
// drive gain twice, and its fourth stage starts its design from 213.46 V.
enum class AmpSideKind { left, right };

// Zero-fills the side: every coefficient and history 0.
void clearAmpSide(AmpSide& side);

// Designs the six triode stages at `oversampledRate` and remembers their
// operating points.
void designAmpSideStages(AmpSide& side, AmpSideKind kind, double oversampledRate);

// Refreshes the rate-dependent coefficients of the six stages, state kept.
void refreshAmpSideStageRates(AmpSide& side, double oversampledRate);

// Designs the tone stack and the seven fixed filters at `oversampledRate`
// (histories cleared, DC blocker preset) and loads the half-band
// coefficients (histories kept).
void designAmpSideFilters(AmpSide& side, double oversampledRate);

// Puts a side back where a design leaves it, without recomputing anything:
// stages at their operating points, filter and half-band histories cleared,
// the DC blocker preset, the tone stack cleared and due for a refresh.
void restAmpSide(AmpSide& side);

// Everything the chain reads from the effect for one block.
struct ChainSettings {
    double input;  // "Input"
    double low;    // "Low", "Mid", "High", "Contour"
    double mid;
    double high;
    double contour;
    double powerAmp;  // "Power Amp"
    double volume;    // "Volume"
    double mix;       // "Mix PLS"
    double driveGain;
    int activeChannel;  // 0 or 1
    int boost;          // 0 or 1
    int stereo;         // 0 or 1
    int oversampling;   // 2, 4 or 8
    double oversampledRate;
    double oversampledPeriod;
};

// Block constants derived from the settings.
struct ChainConstants {
    double contourDrive;  // kC
    double powerDrive;    // kP
};
ChainConstants computeChainConstants(const ChainSettings& settings);

// One sample at the oversampled rate through the amp core. `faulty` is set
// when the preamp output or the tone stack output is not finite.
float runAmpCore(AmpSide& side, AmpSideKind kind, float sample, const ChainSettings& settings,
                 const ChainConstants& constants, bool& faulty);

// One conditioned host-rate sample through the side's oversampled chain;
// returns the lowered value before the output gain.
float runAmpSide(AmpSide& side, AmpSideKind kind, float sample, const ChainSettings& settings,
                 const ChainConstants& constants, bool& faulty);

// Soft limiter on the positive side: slope 1 at 0, tends to 40; values of 0
// or below pass unchanged.
inline double softLimit(double a) {
    return a > 0.0 ? 40.0 * (1.0 - std::exp(-0.025 * a)) : a;
}

// A side's output sample: the lowered value times 3 and "Volume". A
// non-finite result (a bad "Volume") is written as 0.
inline float scaleSideOutput(float lowered, double volume) {
    const float out = (float)((double)lowered * 3.0 * volume);
    return std::isfinite(out) ? out : 0.0f;
}
// scaleSideOutput over `count` samples, in a loop the compiler runs in
// vectors (a float is finite exactly when its magnitude is at most the
// largest float).
inline void scaleSideOutputs(const float* lowered, float* out, int count, double volume) {
    for (int h = 0; h < count; ++h) {
        const float v = (float)((double)lowered[h] * 3.0 * volume);
        out[h] = std::fabs(v) <= std::numeric_limits<float>::max() ? v : 0.0f;
    }
}

// The injected anti-denormal sine: 1e-10 sin(1000 * 2pi * period * k), k
// being the number of samples that follow in the block (the phase restarts
// with every block), and the input sample with it, rounded to float.
constexpr double injectedSineOmega = 1000.0 * ampTwoPi;
constexpr double injectedSineAmplitude = 1e-10;
double injectedSineOffset(double oversampledPeriod, int samplesAfter);
float injectedSample(float input, double injected);

// Host samples [begin, end) of a block of `frames`, one side at a time, one
// sample at a time. A side whose preamp or tone stack output goes non-finite
// is put to rest and gives 0 for that host sample.
void processChainRange(AmpSide& left, AmpSide& right, const ChainSettings& settings, const ChainConstants& constants,
                       const float* inLeft, const float* inRight, float* outLeft, float* outRight, int begin, int end,
                       int frames);

// Processes a block. inputs/outputs may alias (each sample's inputs are read
// before its outputs are written). In mono only the left side runs and
// outRight gets the same values; inRight is not read. Frame counts of 0 or
// less do nothing. This is the plain formulation, kept as the reference.
void processChainBlockReference(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                                const float* inRight, float* outLeft, float* outRight, int frames);

// processChainBlock, the block the effect runs, is declared in ChainBlock.h.
#include "model/ChainBlock.h"
