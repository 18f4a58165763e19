// The tone stack: its impulse response, DC blocking, the refresh rules and
// the limiting cases of the controls.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "model/ToneStack.h"

namespace {

ToneStack designed(double rate) {
    ToneStack stack;
    designToneStack(toneStackC1, toneStackC2, toneStackC3, toneStackR1, toneStackR2, toneStackR3, toneStackR4, rate,
                    stack);
    return stack;
}

double run(ToneStack& stack, double low, double mid, double high, double contour, double x) {
    runToneStack(stack, low, mid, high, contour, x);
    return x;
}

std::complex<double> response(const ToneStack& s, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1, z3 = z2 * z1;
    return (s.B0n + s.B1n * z1 + s.B2n * z2 + s.B3n * z3) / (1.0 + s.A1n * z1 + s.A2n * z2 + s.A3n * z3);
}

}  // namespace

TEST(ToneStack, ImpulseResponseAt176400) {
    ToneStack stack = designed(176400.0);
    const double expected[] = {0.8605382, -0.0227184, -0.0215043, -0.0203503, -0.0192533};
    for (int n = 0; n < 5; ++n) {
        EXPECT_NEAR(run(stack, 0.3, 0.6, 0.8, 0.45, n == 0 ? 1.0 : 0.0), expected[n], 5e-8) << n;
    }
}

TEST(ToneStack, DesignClearsStateAndMarksStale) {
    ToneStack stack = designed(176400.0);
    EXPECT_EQ(stack.bilinearC, 352800.0);
    EXPECT_EQ(stack.bilinearC2, 352800.0 * 352800.0);
    EXPECT_EQ(stack.s0, 0.0);
    EXPECT_EQ(stack.s3, 0.0);
    EXPECT_EQ(stack.lastLow, 10.0);
    EXPECT_EQ(stack.lastContour, 10.0);
    EXPECT_EQ(stack.a1Const, 4.7e-10 * 25000.0 + 4.7e-10 * 250000.0 + 2.2e-8 * 25000.0);
    EXPECT_EQ(stack.b3MidHighContour, -stack.a3Contour);
}

TEST(ToneStack, BlocksDc) {
    ToneStack stack = designed(176400.0);
    double y = 0.0;
    for (int i = 0; i < 2000000; ++i)
        y = run(stack, 0.5, 0.5, 0.5, 0.5, 1.0);
    EXPECT_NEAR(y, 0.0, 1e-6);
    EXPECT_NEAR(std::abs(response(stack, 0.0)), 0.0, 1e-8);
}

TEST(ToneStack, FullTrebleNoMidPassesHalfTheRateUnchanged) {
    for (double low : {0.0, 0.4, 1.0}) {
        ToneStack stack = designed(176400.0);
        run(stack, low, 0.0, 1.0, 0.7, 0.0);
        EXPECT_NEAR(std::abs(response(stack, M_PI)), 1.0, 1e-12) << low;
    }
}

TEST(ToneStack, ContourZeroRemovesTheSlopeResistor) {
    ToneStack stack = designed(176400.0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(std::isfinite(run(stack, 0.5, 0.5, 0.5, 0.0, i == 0 ? 1.0 : 0.0)));
    }
    EXPECT_TRUE(std::isfinite(stack.A0));
}

TEST(ToneStack, RefreshesOnlyWhenAControlChanges) {
    ToneStack stack = designed(176400.0);
    EXPECT_TRUE(refreshToneStack(stack, 0.5, 0.5, 0.5, 0.5));
    EXPECT_FALSE(refreshToneStack(stack, 0.5, 0.5, 0.5, 0.5));
    EXPECT_EQ(stack.lastLow, 0.5);

    // A knob move changes the coefficients and keeps the running state.
    run(stack, 0.5, 0.5, 0.5, 0.5, 1.0);
    const double s0 = stack.s0, s1 = stack.s1, b0 = stack.B0n;
    EXPECT_TRUE(refreshToneStack(stack, 0.5, 0.5, 0.9, 0.5));
    EXPECT_NE(stack.B0n, b0);
    EXPECT_EQ(stack.s0, s0);
    EXPECT_EQ(stack.s1, s1);
    EXPECT_EQ(stack.lastHigh, 0.9);
    // The raw "Low" value is cached, not its taper.
    EXPECT_TRUE(refreshToneStack(stack, 0.3, 0.5, 0.9, 0.5));
    EXPECT_EQ(stack.lastLow, 0.3);
}

TEST(ToneStack, BassTaperIsLogarithmic) {
    // Two stacks differing only by the bass pot position l, fed through
    // updateToneStack directly, match the runs with the tapered "Low" value.
    ToneStack viaRun = designed(176400.0);
    ToneStack viaUpdate = designed(176400.0);
    refreshToneStack(viaRun, 0.5, 0.6, 0.7, 0.8);
    updateToneStack(viaUpdate, std::pow(10.0, 2.0 * (0.5 - 1.001)), 0.6, 0.7, 0.8);
    EXPECT_EQ(viaRun.B0n, viaUpdate.B0n);
    EXPECT_EQ(viaRun.A3n, viaUpdate.A3n);
    EXPECT_NEAR(std::pow(10.0, 2.0 * (0.0 - 1.001)), 0.009954, 1e-6);
    EXPECT_NEAR(std::pow(10.0, 2.0 * (1.0 - 1.001)), 0.99541, 1e-5);
}
