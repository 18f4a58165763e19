// The sampled power-amplifier curve: its table (sampling, measured rows,
// shape) and the interpolating lookup with its out-of-range answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/FusedCore.h"
#include "model/ValveCurve.h"

namespace {

int indexOf(double x) {
    return (int)std::lround(x * 10.0) + 1999;
}
double storedY(double x) {
    return powerAmpCurve[indexOf(x)][1];
}

struct Row {
    double x;
    double y;
};

const Row kMeasuredRows[] = {
    {-199.9, 0.41458735}, {-199.8, 0.413706406}, {-199.7, 0.414011853}, {-180.0, 0.413936235}, {-100.0, 0.413932976},
    {-10.0, 0.413929307}, {-5.0, 0.413925389},   {-3.0, 0.413267031},   {-2.0, 0.4095088},     {-1.0, 0.385604632},
    {-0.5, 0.254750908},  {-0.2, 0.083727749},   {-0.1, 0.03998617},    {0.0, 0.001348233},    {0.1, -0.038798192},
    {0.2, -0.087562953},  {0.5, -0.287433471},   {1.0, -0.397022777},   {2.0, -0.407345927},   {5.0, -0.408655918},
    {10.0, -0.409792575}, {20.0, -0.411159393},  {100.0, -0.414829698}, {180.0, -0.415087796}, {200.0, -0.415087843},
};

}  // namespace

TEST(PowerAmpCurveTable, SamplingFollowsTheGrid) {
    for (int i = 0; i < powerAmpCurvePoints; ++i) {
        const double expected = -199.9 + 0.1 * i;
        ASSERT_NEAR(powerAmpCurve[i][0], expected, 5e-14) << i;
        ASSERT_TRUE(std::isfinite(powerAmpCurve[i][1])) << i;
    }
    EXPECT_EQ(powerAmpCurve[1999][0], 0.0);
}

TEST(PowerAmpCurveTable, MeasuredRowsAreStoredExactly) {
    for (const Row& row : kMeasuredRows) {
        EXPECT_EQ(storedY(row.x), row.y) << "x = " << row.x;
    }
}

TEST(PowerAmpCurveTable, ShapeAndExtremes) {
    // Never rising between -180 and 180.
    for (int i = indexOf(-180.0); i < indexOf(180.0); ++i) {
        ASSERT_LE(powerAmpCurve[i + 1][1], powerAmpCurve[i][1]) << "rises after x = " << powerAmpCurve[i][0];
    }
    // The largest value at the first point, the smallest at 189.3.
    int highest = 0;
    int lowest = 0;
    for (int i = 0; i < powerAmpCurvePoints; ++i) {
        if (powerAmpCurve[i][1] > powerAmpCurve[highest][1])
            highest = i;
        if (powerAmpCurve[i][1] < powerAmpCurve[lowest][1])
            lowest = i;
    }
    EXPECT_EQ(highest, 0);
    EXPECT_EQ(powerAmpCurve[0][1], 0.41458735);
    EXPECT_EQ(lowest, indexOf(189.3));
    EXPECT_EQ(powerAmpCurve[lowest][1], -0.415087953);
    // Flat upper level from -180 to -5, creeping lower level from 2 on.
    for (int i = indexOf(-180.0); i <= indexOf(-5.0); ++i) {
        ASSERT_NEAR(powerAmpCurve[i][1], 0.41393, 2e-5) << powerAmpCurve[i][0];
    }
    for (int i = indexOf(2.0); i < indexOf(180.0); ++i) {
        ASSERT_LT(powerAmpCurve[i][1] - powerAmpCurve[i + 1][1], 2e-4) << powerAmpCurve[i][0];
    }
    // The steep inverting transition: about -0.39 per volt at 0.
    EXPECT_NEAR((storedY(0.1) - storedY(-0.1)) / 0.2, -0.394, 0.01);
}

TEST(PowerAmpCurveLookup, AnswersTheTableAtItsPoints) {
    EXPECT_EQ(lookupPowerAmpCurve(0.0), 0.001348233);
    for (const Row& row : kMeasuredRows) {
        if (row.x > -180.0 && row.x < 180.0) {
            EXPECT_EQ(lookupPowerAmpCurve(powerAmpCurve[indexOf(row.x)][0]), row.y) << row.x;
        }
    }
}

TEST(PowerAmpCurveLookup, OutOfRangeAndNaN) {
    EXPECT_EQ(lookupPowerAmpCurve(-180.0), 0.41458735);
    EXPECT_EQ(lookupPowerAmpCurve(-1e300), 0.41458735);
    EXPECT_EQ(lookupPowerAmpCurve(-std::numeric_limits<double>::infinity()), 0.41458735);
    EXPECT_EQ(lookupPowerAmpCurve(180.0), -0.415087843);
    EXPECT_EQ(lookupPowerAmpCurve(std::numeric_limits<double>::infinity()), -0.415087843);
    EXPECT_EQ(lookupPowerAmpCurve(std::numeric_limits<double>::quiet_NaN()), -0.415087843);
    // Just inside the lower end the table's flat level: a step of about
    // 0.00065 at the boundary.
    EXPECT_NEAR(lookupPowerAmpCurve(-179.99), 0.41394, 1e-5);
    EXPECT_NEAR(lookupPowerAmpCurve(-180.0) - lookupPowerAmpCurve(-179.99), 0.00065, 0.00002);
}

TEST(PowerAmpCurveLookup, CatmullRomBetweenPoints) {
    // 179.99 lies between the points at 179.9 and 180.0 and uses 179.8 and
    // 180.1 as neighbours.
    const int i = indexOf(179.9);
    const double t = (179.99 - powerAmpCurve[i][0]) / (powerAmpCurve[i + 1][0] - powerAmpCurve[i][0]);
    const double y0 = powerAmpCurve[i - 1][1], y1 = powerAmpCurve[i][1];
    const double y2 = powerAmpCurve[i + 1][1], y3 = powerAmpCurve[i + 2][1];
    const double expected = 0.5 * (2 * y1 + (-y0 + y2) * t + (2 * y0 - 5 * y1 + 4 * y2 - y3) * t * t +
                                   (-y0 + 3 * y1 - 3 * y2 + y3) * t * t * t);
    EXPECT_NEAR(lookupPowerAmpCurve(179.99), expected, 1e-15);

    // Continuous and inverting across the transition.
    double previous = lookupPowerAmpCurve(-4.0);
    for (double x = -4.0; x <= 4.0; x += 0.013) {
        const double y = lookupPowerAmpCurve(x);
        ASSERT_LE(y, previous + 1e-12) << x;
        ASSERT_LT(std::fabs(y - previous), 0.015) << x;
        previous = y;
    }
    EXPECT_NEAR(lookupPowerAmpCurve(0.5), -0.287433471, 1e-9);
    EXPECT_NEAR(lookupPowerAmpCurve(-0.5), 0.254750908, 1e-9);
}

// The fast chain reads the curve through cubics formed from the table when
// the library loads: they must give the interpolation's values, with its
// continuity at the points, across the whole interpolated range.
TEST(ValveCurve, PrecomputedCubicsGiveTheInterpolatedCurve) {
    double worst = 0.0;
    for (int k = 0; k <= 360000; ++k) {
        const double x = -179.9995 + k * 0.000999;
        if (!insidePowerAmpCurve(x)) {
            continue;
        }
        const int i = powerAmpCurveIndex(x);
        const PowerCurveCubic& c = powerCurveCubics[i];
        const double t = (x - c.x) * 10.0;
        const double cubic = c.c0 + t * (c.c1 + t * (c.c2 + t * c.c3));
        worst = std::max(worst, std::fabs(cubic - lookupPowerAmpCurve(x)));
    }
    EXPECT_LT(worst, 1e-14);
    // At a point the cubic starts at the point's value.
    for (int i = 200; i < 3800; i += 97) {
        EXPECT_EQ(powerCurveCubics[i].c0, powerAmpCurve[i][1]) << i;
        EXPECT_EQ(powerCurveCubics[i].x, powerAmpCurve[i][0]) << i;
    }
}
