// Designs that follow the component values and the rate: the oversampling
// choice, triode operating points and coefficients, the three second-order
// designs, the half-band coefficient sets and the drive taper.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>

#include "model/HalfBand.h"
#include "model/SignalChain.h"
#include "model/StageDesign.h"

namespace {

double a0Of(const Biquad& q) {
    return 1.0 / q.inverseA0;
}

double biquadGainProper(const Biquad& q, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((q.b0 + q.b1 * z1 + q.b2 * z2) / (a0Of(q) + q.a1 * z1 + q.a2 * z2));
}

AmpSide designedSide(AmpSideKind kind, double rate) {
    AmpSide side;
    clearAmpSide(side);
    designAmpSideFilters(side, rate);
    designAmpSideStages(side, kind, rate);
    return side;
}

}  // namespace

TEST(Oversampling, FactorFollowsRateAndQuality) {
    EXPECT_EQ(chooseOversampling(44100.0f, 0).oversampling, 4);
    EXPECT_EQ(chooseOversampling(48000.0f, 0).oversampling, 4);
    EXPECT_EQ(chooseOversampling(49999.0f, 0).oversampling, 4);
    EXPECT_EQ(chooseOversampling(50000.0f, 0).oversampling, 2);
    EXPECT_EQ(chooseOversampling(96000.0f, 0).oversampling, 2);
    EXPECT_EQ(chooseOversampling(96000.0f, 1).oversampling, 4);
    EXPECT_EQ(chooseOversampling(48000.0f, 1).oversampling, 8);

    const OversamplingChoice high = chooseOversampling(44100.0f, 1);
    EXPECT_EQ(high.oversampling, 8);
    EXPECT_DOUBLE_EQ(high.oversampledRate, 352800.0);
    EXPECT_EQ(high.oversampledPeriod, 1.0 / 352800.0);
    EXPECT_EQ(high.oversampledRate, 1.0 / high.oversampledPeriod);
}

TEST(DriveTaper, KnownPoints) {
    EXPECT_DOUBLE_EQ(driveTaper(0.0), 0.089125);
    EXPECT_NEAR(driveTaper(0.5), 0.29855, 1e-15);
    EXPECT_NEAR(driveTaper(1.0), 1.000025, 1e-15);
    EXPECT_NE(driveTaper(1.0), 1.0);
    EXPECT_EQ(driveTaper(0.5), 0.9841 * 0.5 * 0.5 - 0.5 * 0.0732 + 0.089125);
}

TEST(TriodeDesign, OperatingPointsOfTheSixStages) {
    const AmpSide side = designedSide(AmpSideKind::left, 176400.0);
    EXPECT_NEAR(side.triodeStage1.plateVoltage, 160.771, 0.001);
    EXPECT_NEAR(side.triodeStage1.plateCurrent, 1.1302e-3, 0.00005e-3);
    EXPECT_NEAR(side.triodeStage1.cathodeVoltage, 0.9267, 0.00005);
    EXPECT_NEAR(side.triodeStage2.plateVoltage, 160.771, 0.001);
    EXPECT_NEAR(side.triodeStage2.plateCurrent, 1.1302e-3, 0.00005e-3);
    EXPECT_NEAR(side.triodeStage2.cathodeVoltage, 0.9267, 0.00005);
    EXPECT_NEAR(side.triodeStage3.plateVoltage, 160.770, 0.001);
    EXPECT_NEAR(side.triodeStage3.plateVoltage, side.triodeStage2.plateVoltage, 0.002);
    EXPECT_NEAR(side.triodeStage4.plateVoltage, 214.154, 0.001);
    EXPECT_NEAR(side.triodeStage4.plateCurrent, 0.6385e-3, 0.00005e-3);
    EXPECT_NEAR(side.triodeStage4.cathodeVoltage, 1.7239, 0.00005);
    EXPECT_NEAR(side.triodeStage5.plateVoltage, 252.410, 0.001);
    EXPECT_NEAR(side.triodeStage5.plateCurrent, 0.2559e-3, 0.00005e-3);
    EXPECT_NEAR(side.triodeStage5.cathodeVoltage, 2.5590, 0.00005);
    EXPECT_NEAR(side.triodeStage6.plateVoltage, 163.066, 0.001);
    EXPECT_NEAR(side.triodeStage6.plateCurrent, 1.1493e-3, 0.00005e-3);
    EXPECT_NEAR(side.triodeStage6.cathodeVoltage, 0.9425, 0.00005);

    // The right side's fourth stage starts elsewhere and ends at the same point.
    const AmpSide right = designedSide(AmpSideKind::right, 176400.0);
    EXPECT_NEAR(right.triodeStage4.plateVoltage, side.triodeStage4.plateVoltage, 1e-3);
    EXPECT_NE(right.triodeStage4.plateVoltage, side.triodeStage4.plateVoltage);

    for (const TriodeStage* s : {&side.triodeStage1, &side.triodeStage4, &side.triodeStage6}) {
        EXPECT_EQ(s->gridVoltage, 0.0);
        EXPECT_EQ(s->gridCurrent, 0.0);
        EXPECT_EQ(s->outputVoltage, 0.0);
        // At rest: Vp = Vk + Vpk(-Vk) and Vk = Rk Ip to within the iteration's residue.
        const double vpk = evaluateTriodeCurveFit(s->transferCoefficients, -s->cathodeVoltage);
        EXPECT_NEAR(s->plateVoltage, s->cathodeVoltage + vpk, 0.01);
        EXPECT_NEAR(s->cathodeVoltage, s->cathodeResistance * s->plateCurrent, 1e-12);
    }
}

TEST(TriodeDesign, IterationIsExactlyTwentyDampedPasses) {
    TriodeStage stage;
    designTriodeStage(68000.0, 820.0, 0.00033, 273.79, 100000.0, 200.0, 0.0, 1000000.0, 2.2e-8, 176400.0,
                      triodeCurveFitA, stage);
    double vp = 200.0, ip = 0.0, vk = 0.0;
    for (int pass = 0; pass < 20; ++pass) {
        ip = (273.79 - vp) / (100000.0 + 1e-20);
        vk = ip * 820.0;
        vp = vp + 0.25 * (vk + evaluateTriodeCurveFit(triodeCurveFitA, -vk) - vp);
    }
    EXPECT_EQ(stage.plateVoltage, vp);
    EXPECT_EQ(stage.plateCurrent, ip);
    EXPECT_EQ(stage.cathodeVoltage, vk);
}

TEST(TriodeDesign, CoefficientsAt176400) {
    const AmpSide side = designedSide(AmpSideKind::left, 176400.0);
    EXPECT_NEAR(side.triodeStage1.cathodeCoefficient, 0.0171782, 5e-8);
    EXPECT_NEAR(side.triodeStage1.couplingCoefficient, 0.9997424, 5e-8);
    EXPECT_NEAR(side.triodeStage2.cathodeCoefficient, 8.252765, 5e-7);
    const TriodeStage& s = side.triodeStage5;
    EXPECT_EQ(s.gridConduction, 68000.0 * 0.00375 + 1e-20);
    EXPECT_EQ(s.inverseTwiceGridConduction, 1.0 / (2.0 * s.gridConduction));
    EXPECT_EQ(s.inverseGridResistance, 1.0 / 68000.0);
    EXPECT_EQ(s.inversePlateResistance, 1.0 / 100000.0);
    EXPECT_EQ(s.transferCoefficients.c[0], 92.5817535389297);
    EXPECT_EQ(side.triodeStage3.transferCoefficients.c[12], 0.0001393420332268739);
    // The fits' anchors: about the supply at -8.8 V, about 91-93 V at 0.
    EXPECT_NEAR(evaluateTriodeCurveFit(triodeCurveFitA, 0.0), 91.17, 0.01);
    EXPECT_NEAR(evaluateTriodeCurveFit(triodeCurveFitA, -8.8), 273.79, 0.01);
    EXPECT_NEAR(evaluateTriodeCurveFit(triodeCurveFitB, 0.0), 92.58, 0.01);
    EXPECT_NEAR(evaluateTriodeCurveFit(triodeCurveFitB, -8.8), 278.09, 0.01);
}

TEST(TriodeDesign, RateRefreshTouchesOnlyTheTwoRateTerms) {
    AmpSide side = designedSide(AmpSideKind::left, 176400.0);
    TriodeStage before = side.triodeStage2;
    refreshTriodeStageRate(side.triodeStage2, 192000.0);
    TriodeStage after = side.triodeStage2;
    EXPECT_NE(after.cathodeCoefficient, before.cathodeCoefficient);
    EXPECT_NE(after.couplingCoefficient, before.couplingCoefficient);
    after.cathodeCoefficient = before.cathodeCoefficient;
    after.couplingCoefficient = before.couplingCoefficient;
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);

    TriodeStage fresh;
    designTriodeStage(68000.0, 820.0, 6.8e-7, 273.79, 100000.0, 200.0, 0.0, 1000000.0, 2.2e-8, 192000.0,
                      triodeCurveFitA, fresh);
    EXPECT_EQ(side.triodeStage2.cathodeCoefficient, fresh.cathodeCoefficient);
    EXPECT_EQ(side.triodeStage2.couplingCoefficient, fresh.couplingCoefficient);
}

TEST(TriodeDesign, ZeroResistancesStayFinite) {
    TriodeStage stage;
    designTriodeStage(0.0, 0.0, 0.0, 278.0, 0.0, 200.0, 0.0, 0.0, 0.0, 176400.0, triodeCurveFitB, stage);
    EXPECT_TRUE(std::isfinite(stage.inverseGridResistance));
    EXPECT_TRUE(std::isfinite(stage.inversePlateResistance));
    EXPECT_TRUE(std::isfinite(stage.inverseTwiceGridConduction));
    EXPECT_TRUE(std::isfinite(stage.cathodeCoefficient));
    EXPECT_TRUE(std::isfinite(stage.couplingCoefficient));
}

TEST(BiquadDesign, ValuesAt176400) {
    const AmpSide side = designedSide(AmpSideKind::left, 176400.0);
    const Biquad& lp = side.lowpass10k;
    EXPECT_NEAR(lp.inverseA0, 0.7754663, 5e-8);
    EXPECT_NEAR(lp.a1, -1.9351984, 5e-8);
    EXPECT_NEAR(lp.a2, 0.7752548, 5e-8);
    EXPECT_NEAR(lp.b0, 0.0324008, 5e-8);
    EXPECT_EQ(lp.b2, lp.b0);
    EXPECT_NEAR(lp.b1, 0.0648016, 5e-8);
    EXPECT_EQ(lp.x1, 0.0);
    EXPECT_EQ(lp.y2, 0.0);

    const Biquad& dc = side.dcBlocker;
    EXPECT_NEAR(dc.inverseA0, 0.9999491, 5e-8);
    EXPECT_NEAR(dc.a1, -1.9999999975, 5e-11);
    EXPECT_NEAR(dc.a2, 0.9999491, 5e-8);
    EXPECT_EQ(dc.b0, 1.0);
    EXPECT_EQ(dc.b1, -2.0);
    EXPECT_EQ(dc.b2, 1.0);
    EXPECT_EQ(dc.x1, 0.001348233);
    EXPECT_EQ(dc.x2, 0.001348233);
    EXPECT_EQ(dc.y1, 0.0);

    // The model's 2 pi is ampTwoPi (6.28319304), not the true one: written
    // out here so that a change to the constant fails this test.
    Biquad q;
    designLowpass(10000.0, 0.7, 176400.0, q);
    const double k = std::tan(0.5 * 6.28319304 * 10000.0 / 176400.0);
    EXPECT_EQ(q.b0, k * k);
}

TEST(BiquadDesign, ShelfAndFilterGains) {
    Biquad shelf;
    designLowShelf(1000.0, 0.7, 0.3, 176400.0, shelf);
    EXPECT_NEAR(biquadGainProper(shelf, 0.0), 0.3, 1e-12);
    EXPECT_NEAR(biquadGainProper(shelf, M_PI), 1.0, 1e-12);

    Biquad lowpass;
    designLowpass(6000.0, 0.7, 176400.0, lowpass);
    EXPECT_NEAR(biquadGainProper(lowpass, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(biquadGainProper(lowpass, M_PI), 0.0, 1e-12);

    Biquad highpass;
    designHighpass(2.0, 0.7, 176400.0, highpass);
    EXPECT_NEAR(biquadGainProper(highpass, 0.0), 0.0, 1e-12);
    EXPECT_NEAR(biquadGainProper(highpass, M_PI), 1.0, 1e-9);
}

TEST(BiquadStep, DirectFormWithShiftedHistory) {
    Biquad q = {0.5, 0.25, -0.125, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
    const double y = runBiquad(q, 1.5);
    EXPECT_EQ(y, 0.5 * (1.0 * 1.5 + 2.0 * 4.0 + 3.0 * 5.0 - 0.25 * 6.0 - -0.125 * 7.0));
    EXPECT_EQ(q.x1, 1.5);
    EXPECT_EQ(q.x2, 4.0);
    EXPECT_EQ(q.y1, y);
    EXPECT_EQ(q.y2, 6.0);
}

TEST(BiquadStep, DcBlockerGivesExactZeroAtRest) {
    Biquad dc;
    designHighpass(2.0, 0.7, 176400.0, dc);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(runBiquad(dc, 0.001348233), 0.0) << i;
    }
}

TEST(HalfBandDesign, SetsLoadAsSinglePrecisionAndKeepHistory) {
    HalfBandFilter12 filter;
    for (int i = 0; i < 12; ++i) {
        filter.coefficients[i] = 0.0f;
        filter.inputHistory[i] = 1.0f + i;
        filter.outputHistory[i] = -1.0f - i;
    }
    loadHalfBandCoefficients(filter, halfBandCoefficients12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(filter.coefficients[i], (float)halfBandCoefficients12[i]);
        EXPECT_EQ(filter.inputHistory[i], 1.0f + i);
        EXPECT_EQ(filter.outputHistory[i], -1.0f - i);
    }
    EXPECT_EQ(halfBandCoefficients8[0], 0.07711507983241622);
    EXPECT_EQ(halfBandCoefficients4[3], 0.890786832653497);
}

TEST(HalfBandStep, PathsAndOrder) {
    HalfBandFilter4 filter;
    clearHalfBandHistory(filter);
    loadHalfBandCoefficients(filter, halfBandCoefficients4);
    // Upsampler: the first output is path A (even coefficients).
    float first, second;
    upsampleHalfBand(filter, 1.0f, first, second);
    const float g0 = filter.coefficients[0], g2 = filter.coefficients[2];
    const float g1 = filter.coefficients[1], g3 = filter.coefficients[3];
    EXPECT_EQ(first, (1.0f * g0) * g2);
    EXPECT_EQ(second, (1.0f * g1) * g3);

    // Downsampler: the later sample into path A, the earlier into path B.
    HalfBandFilter4 down;
    clearHalfBandHistory(down);
    loadHalfBandCoefficients(down, halfBandCoefficients4);
    const float out = downsampleHalfBand(down, 0.0f, 1.0f);
    EXPECT_EQ(out, ((1.0f * g0) * g2 + 0.0f) * 0.5f);

    // A slow sine through the upsampler, doubled, and back down keeps its level.
    HalfBandFilter12 up2, down2;
    clearHalfBandHistory(up2);
    clearHalfBandHistory(down2);
    loadHalfBandCoefficients(up2, halfBandCoefficients12);
    loadHalfBandCoefficients(down2, halfBandCoefficients12);
    double peak = 0.0;
    for (int n = 0; n < 4000; ++n) {
        float a, b;
        upsampleHalfBand(up2, (float)std::sin(0.05 * n), a, b);
        const float y = downsampleHalfBand(down2, a * 2.0f, b * 2.0f);
        if (n > 2000)
            peak = std::fmax(peak, std::fabs(y));
    }
    EXPECT_NEAR(peak, 2.0, 0.02);
}
