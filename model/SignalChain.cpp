#include "model/SignalChain.h"

#include <cmath>
#include <cstring>

#include "model/StageDesign.h"
#include "model/ValveCurve.h"

namespace {

// Component values shared by all twelve stages.
constexpr double stageGridResistance = 68000.0;
constexpr double stagePlateResistance = 100000.0;
constexpr double stageCouplingCapacitance = 2.2e-8;

TriodeStage* stagesOf(AmpSide& side, TriodeStage* (&stages)[6]) {
    stages[0] = &side.triodeStage1;
    stages[1] = &side.triodeStage2;
    stages[2] = &side.triodeStage3;
    stages[3] = &side.triodeStage4;
    stages[4] = &side.triodeStage5;
    stages[5] = &side.triodeStage6;
    return stages[0];
}

void clearBiquadHistory(Biquad& biquad, double inputRest) {
    biquad.x1 = biquad.x2 = inputRest;
    biquad.y1 = biquad.y2 = 0.0;
}

}  // namespace

void clearAmpSide(AmpSide& side) {
    std::memset(&side, 0, sizeof side);
}

void designAmpSideStages(AmpSide& side, AmpSideKind kind, double rate) {
    const double rg = stageGridResistance;
    const double rp = stagePlateResistance;
    const double cc = stageCouplingCapacitance;
    const double stage4Start = kind == AmpSideKind::left ? 213.46 : 215.0;
    designTriodeStage(rg, 820.0, 0.00033, 273.79, rp, 200.0, 0.0, 1000000.0, cc, rate, triodeCurveFitA,
                      side.triodeStage1);
    designTriodeStage(rg, 820.0, 6.8e-7, 273.79, rp, 200.0, 0.0, 1000000.0, cc, rate, triodeCurveFitA,
                      side.triodeStage2);
    designTriodeStage(rg, 820.0, 6.8e-7, 273.79, rp, 170.0, 0.0, 1000000.0, cc, rate, triodeCurveFitA,
                      side.triodeStage3);
    designTriodeStage(rg, 2700.0, 6.8e-7, 278.0, rp, stage4Start, 470000.0, 1000000.0, cc, rate, triodeCurveFitB,
                      side.triodeStage4);
    designTriodeStage(rg, 10000.0, 8e-10, 278.0, rp, 251.8, 470000.0, 470000.0, cc, rate, triodeCurveFitB,
                      side.triodeStage5);
    designTriodeStage(rg, 820.0, 4e-9, 278.0, rp, 162.5, 0.0, 1000000.0, cc, rate, triodeCurveFitB, side.triodeStage6);

    TriodeStage* stages[6];
    stagesOf(side, stages);
    for (int i = 0; i < 6; ++i) {
        side.triodeRest[i] = restPointOf(*stages[i]);
    }
}

void refreshAmpSideStageRates(AmpSide& side, double rate) {
    TriodeStage* stages[6];
    stagesOf(side, stages);
    for (TriodeStage* stage : stages) {
        refreshTriodeStageRate(*stage, rate);
    }
}

void designAmpSideFilters(AmpSide& side, double rate) {
    designToneStack(toneStackC1, toneStackC2, toneStackC3, toneStackR1, toneStackR2, toneStackR3, toneStackR4, rate,
                    side.toneStack);
    designLowpass(10000.0, 0.7, rate, side.lowpass10k);
    designLowpass(6000.0, 0.7, rate, side.lowpass6kA);
    designLowpass(6000.0, 0.7, rate, side.lowpass6kB);
    designLowShelf(1000.0, 0.7, 0.3, rate, side.lowShelf1k);
    designLowShelf(150.0, 0.7, 0.68, rate, side.lowShelf150);
    designLowShelf(720.0, 0.7, 0.5, rate, side.lowShelf720);
    designHighpass(2.0, 0.7, rate, side.dcBlocker);
    loadHalfBandCoefficients(side.upsampler2x, halfBandCoefficients12);
    loadHalfBandCoefficients(side.downsampler2x, halfBandCoefficients12);
    loadHalfBandCoefficients(side.upsampler4x, halfBandCoefficients8);
    loadHalfBandCoefficients(side.downsampler4x, halfBandCoefficients8);
    loadHalfBandCoefficients(side.upsampler8x, halfBandCoefficients4);
    loadHalfBandCoefficients(side.downsampler8x, halfBandCoefficients4);
}

void restAmpSide(AmpSide& side) {
    TriodeStage* stages[6];
    stagesOf(side, stages);
    for (int i = 0; i < 6; ++i) {
        putAtRestPoint(*stages[i], side.triodeRest[i]);
    }
    clearBiquadHistory(side.lowShelf1k, 0.0);
    clearBiquadHistory(side.lowpass10k, 0.0);
    clearBiquadHistory(side.lowShelf150, 0.0);
    clearBiquadHistory(side.lowpass6kA, 0.0);
    clearBiquadHistory(side.lowShelf720, 0.0);
    clearBiquadHistory(side.lowpass6kB, 0.0);
    clearBiquadHistory(side.dcBlocker, curveRestValue);
    clearToneStack(side.toneStack);
    clearHalfBandHistory(side.upsampler2x);
    clearHalfBandHistory(side.downsampler2x);
    clearHalfBandHistory(side.upsampler4x);
    clearHalfBandHistory(side.downsampler4x);
    clearHalfBandHistory(side.upsampler8x);
    clearHalfBandHistory(side.downsampler8x);
}

ChainConstants computeChainConstants(const ChainSettings& settings) {
    ChainConstants constants;
    constants.contourDrive = contourDriveGain(settings.contour);
    constants.powerDrive = powerAmpDriveGain(settings.powerAmp);
    return constants;
}

float runAmpCore(AmpSide& side, AmpSideKind kind, float sample, const ChainSettings& settings,
                 const ChainConstants& constants, bool& faulty) {
    const double rate = settings.oversampledRate;
    const double driveGain = settings.driveGain;
    double a = (double)sample * settings.input;

    if (settings.activeChannel == 0) {
        // Two stages from the same input, blended, then a third.
        double b1 = a;
        runTriodeStage(side.triodeStage1, b1, rate);
        double b2 = a;
        runTriodeStage(side.triodeStage2, b2, rate);
        b2 = runBiquad(side.lowShelf1k, b2);
        const double mix = settings.mix;
        double m = (mixPlainGain(mix) * b1 + mixShelvedGain(mix) * b2) * driveGain;
        m = runBiquad(side.lowpass10k, m);
        runTriodeStage(side.triodeStage3, m, rate);
        a = m;
    } else {
        // Three stages in cascade.
        double v = 2.0 * a;
        runTriodeStage(side.triodeStage4, v, rate);
        if (settings.boost == 0) {
            v = v * driveGain;
        } else {
            v = v * 3.0 * driveGain;
        }
        if (kind == AmpSideKind::left) {
            v = v * driveGain;
        }
        v = runBiquad(side.lowShelf150, v);
        v = runBiquad(side.lowpass6kA, v);
        runTriodeStage(side.triodeStage5, v, rate);
        v = runBiquad(side.lowShelf720, v);
        v = runBiquad(side.lowpass6kB, v);
        runTriodeStage(side.triodeStage6, v, rate);
        a = 0.52 * v - boostOffset(settings.boost);
    }

    const double preampOut = a;

    a = softLimit(a);
    runToneStack(side.toneStack, settings.low, settings.mid, settings.high, settings.contour, a);
    // Every fault upstream of the curve shows here (the limiter could hide a
    // stuck +infinity from the preamp, so that is looked at as well); the
    // curve bounds everything after.
    if (!std::isfinite(preampOut) || !std::isfinite(a)) {
        faulty = true;
    }
    a = a * constants.contourDrive * constants.powerDrive;
    a = lookupPowerAmpCurve(a);
    a = runBiquad(side.dcBlocker, a);
    return (float)a;
}

float runAmpSide(AmpSide& side, AmpSideKind kind, float sample, const ChainSettings& settings,
                 const ChainConstants& constants, bool& faulty) {
    float p[2];
    upsampleHalfBand(side.upsampler2x, sample, p[0], p[1]);
    p[0] = p[0] * 2.0f;
    p[1] = p[1] * 2.0f;
    if (settings.oversampling == 2) {
        const float q0 = runAmpCore(side, kind, p[0], settings, constants, faulty);
        const float q1 = runAmpCore(side, kind, p[1], settings, constants, faulty);
        return downsampleHalfBand(side.downsampler2x, q0, q1);
    }
    float lowered[2];
    for (int j = 0; j < 2; ++j) {
        float r[2];
        upsampleHalfBand(side.upsampler4x, p[j], r[0], r[1]);
        if (settings.oversampling == 4) {
            const float q0 = runAmpCore(side, kind, r[0], settings, constants, faulty);
            const float q1 = runAmpCore(side, kind, r[1], settings, constants, faulty);
            lowered[j] = downsampleHalfBand(side.downsampler4x, q0, q1);
        } else {
            float mid[2];
            for (int k = 0; k < 2; ++k) {
                float s[2];
                upsampleHalfBand(side.upsampler8x, r[k], s[0], s[1]);
                const float q0 = runAmpCore(side, kind, s[0], settings, constants, faulty);
                const float q1 = runAmpCore(side, kind, s[1], settings, constants, faulty);
                mid[k] = downsampleHalfBand(side.downsampler8x, q0, q1);
            }
            lowered[j] = downsampleHalfBand(side.downsampler4x, mid[0], mid[1]);
        }
    }
    return downsampleHalfBand(side.downsampler2x, lowered[0], lowered[1]);
}

namespace {

// One side for one host sample; a side that went non-finite is put to rest
// and gives 0.
inline float runCheckedSide(AmpSide& side, AmpSideKind kind, float sample, const ChainSettings& settings,
                            const ChainConstants& constants) {
    bool faulty = false;
    const float lowered = runAmpSide(side, kind, sample, settings, constants, faulty);
    if (faulty) {
        restAmpSide(side);
        return 0.0f;
    }
    return scaleSideOutput(lowered, settings.volume);
}

}  // namespace

float injectedSample(float input, double injected) {
    return (float)((double)input + injected);
}

double injectedSineOffset(double oversampledPeriod, int samplesAfter) {
    return injectedSineAmplitude * std::sin(injectedSineOmega * oversampledPeriod * samplesAfter);
}

void processChainRange(AmpSide& left, AmpSide& right, const ChainSettings& settings, const ChainConstants& constants,
                       const float* inLeft, const float* inRight, float* outLeft, float* outRight, int begin, int end,
                       int frames) {
    for (int i = begin; i < end; ++i) {
        const double injected = injectedSineOffset(settings.oversampledPeriod, frames - 1 - i);
        const float dLeft = injectedSample(inLeft[i], injected);
        if (settings.stereo == 0) {
            const float out = runCheckedSide(left, AmpSideKind::left, dLeft, settings, constants);
            outLeft[i] = out;
            outRight[i] = out;
        } else {
            const float dRight = injectedSample(inRight[i], injected);
            const float outL = runCheckedSide(left, AmpSideKind::left, dLeft, settings, constants);
            const float outR = runCheckedSide(right, AmpSideKind::right, dRight, settings, constants);
            outLeft[i] = outL;
            outRight[i] = outR;
        }
    }
}

void processChainBlockReference(AmpSide& left, AmpSide& right, const ChainSettings& settings, const float* inLeft,
                                const float* inRight, float* outLeft, float* outRight, int frames) {
    if (frames <= 0) {
        return;
    }
    const ChainConstants constants = computeChainConstants(settings);
    processChainRange(left, right, settings, constants, inLeft, inRight, outLeft, outRight, 0, frames, frames);
}
