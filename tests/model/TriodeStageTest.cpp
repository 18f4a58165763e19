// The triode stage step: grid conduction, cut-off, saturation, the cathode
// that follows one sample late and never goes negative, and the coupling
// high-pass.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "model/SignalChain.h"
#include "model/StageDesign.h"

namespace {

constexpr double kRate = 176400.0;

TriodeStage designedStage1() {
    TriodeStage stage;
    designTriodeStage(68000.0, 820.0, 6.8e-7, 273.79, 100000.0, 200.0, 0.0, 1000000.0, 2.2e-8, kRate, triodeCurveFitA,
                      stage);
    return stage;
}

double step(TriodeStage& stage, double x) {
    runTriodeStage(stage, x, kRate);
    return x;
}

}  // namespace

TEST(TriodeStep, SilenceStaysNearRest) {
    TriodeStage stage = designedStage1();
    const double vp = stage.plateVoltage;
    double biggest = 0.0;
    for (int i = 0; i < 20000; ++i) {
        biggest = std::fmax(biggest, std::fabs(step(stage, 0.0)));
    }
    EXPECT_LT(biggest, 0.01);
    EXPECT_NEAR(stage.plateVoltage, vp, 0.01);
}

TEST(TriodeStep, GridAtTheCathodeDrawsNoCurrent) {
    TriodeStage stage = designedStage1();
    const double vk = stage.cathodeVoltage;
    step(stage, vk);
    EXPECT_NEAR(stage.gridVoltage, vk, 1e-12);
    EXPECT_NEAR(stage.gridCurrent, 0.0, 1e-15);

    // Below the cathode the grid follows the input exactly.
    TriodeStage below = designedStage1();
    step(below, -0.25);
    EXPECT_EQ(below.gridVoltage, -0.25);
    EXPECT_EQ(below.gridCurrent, 0.0);
}

TEST(TriodeStep, ConductingGridStaysJustAboveTheCathode) {
    TriodeStage stage = designedStage1();
    const double vk = stage.cathodeVoltage;
    step(stage, 50.0);
    EXPECT_GT(stage.gridVoltage, vk);
    EXPECT_LT(stage.gridVoltage - vk, 0.5);
    // The grid current is 0.00375 (Vg - Vk)^2 and flows through Rg.
    const double d = stage.gridVoltage - vk;
    EXPECT_NEAR(stage.gridCurrent, 0.00375 * d * d, 1e-9);
    EXPECT_NEAR(stage.gridCurrent, (50.0 - stage.gridVoltage) / 68000.0, 1e-15);
}

TEST(TriodeStep, CutOffPullsThePlateToTheSupply) {
    TriodeStage stage = designedStage1();
    const double vpBefore = stage.plateVoltage;
    const double vk = stage.cathodeVoltage;
    const double y = step(stage, -20.0);
    EXPECT_EQ(stage.plateVoltage, 273.79 + vk);
    EXPECT_NEAR(stage.plateCurrent, -vk / 100000.0, 1e-15);
    EXPECT_NEAR(y, stage.couplingCoefficient * (stage.plateVoltage - vpBefore), 1e-12);
    EXPECT_GT(y, 100.0);  // the stage inverts: the plate (and output) rises
    // Held in cut-off, the cathode discharges towards 0 without going below.
    for (int i = 0; i < 200000; ++i) {
        step(stage, -20.0);
        ASSERT_GE(stage.cathodeVoltage, 0.0);
    }
    EXPECT_LT(stage.cathodeVoltage, 1e-3);
}

TEST(TriodeStep, LargeInputSaturatesAlongTheFit) {
    TriodeStage stage = designedStage1();
    for (int i = 0; i < 1000; ++i) {
        step(stage, 200.0);
    }
    const double vk = stage.cathodeVoltage;  // the cathode this step works against
    step(stage, 200.0);
    const double v = stage.gridVoltage - vk;
    EXPECT_GT(v, 0.0);
    EXPECT_LT(v, 2.0);
    EXPECT_EQ(stage.plateVoltage, evaluateTriodeCurveFit(stage.transferCoefficients, v) + vk);
    EXPECT_LT(stage.plateVoltage, 60.0);  // pulled far down from its rest near 161 V
}

TEST(TriodeStep, CathodeNeverNegativeAndOutputFinite) {
    TriodeStage stage = designedStage1();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> level(-300.0, 300.0);
    for (int i = 0; i < 100000; ++i) {
        const double y = step(stage, level(random));
        ASSERT_GE(stage.cathodeVoltage, 0.0);
        ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(TriodeStep, HeldInputDecaysWithTheCouplingTimeConstant) {
    TriodeStage stage = designedStage1();
    double y = 0.0;
    for (int i = 0; i < 10; ++i)
        y = step(stage, 0.5);
    EXPECT_LT(y, -1.0);  // inverted and amplified
    // tau = 1 Mohm x 22 nF = 22 ms; after 0.5 s (22 tau) nothing is left.
    for (int i = 0; i < (int)(0.5 * kRate); ++i)
        y = step(stage, 0.5);
    EXPECT_NEAR(y, 0.0, 1e-6);
}

TEST(TriodeStep, CathodeFollowsOneSampleLate) {
    TriodeStage stage = designedStage1();
    const double vkBefore = stage.cathodeVoltage;
    step(stage, 0.3);
    // This step's grid and plate were computed against the old cathode...
    EXPECT_EQ(stage.gridVoltage, 0.3);
    const double expectedVk = stage.cathodeCoefficient *
                              (stage.plateCurrent + stage.gridCurrent + stage.cathodeCapacitance * vkBefore * kRate);
    // ...and the new cathode voltage comes from the new currents.
    EXPECT_EQ(stage.cathodeVoltage, expectedVk);
}
