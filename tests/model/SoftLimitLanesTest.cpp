// The fused core's inline exponential and the soft limiter built on it,
// against the library's exp and the plain limiter: accuracy over the whole
// range the limiter reaches, and the inputs that take other routes (zero,
// negatives, NaN, infinities, values far past the knee).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "model/NarrowLanes.h"
#include "model/SignalChain.h"
#include "tests/model/UlpsApart.h"

namespace {
#include "model/SoftLimitLanes.h"

TEST(LimiterExp, WithinTwoUnitsInTheLastPlaceDownToMinus700) {
    std::int64_t worst = 0;
    double worstAt = 0.0;
    // Dense near zero (where the limiter's input mostly lies), then out to
    // -700 on a grid that lands on and between the multiples of ln 2.
    std::vector<double> xs;
    for (int i = 0; i <= 200000; ++i) {
        xs.push_back(-i * 1e-5);
    }
    for (int i = 0; i <= 700000; ++i) {
        xs.push_back(-i * 1e-3 - 0.000123);
    }
    for (int k = -1000; k <= 0; ++k) {
        const double x = k * 0.6931471805599453;
        xs.push_back(x);
        xs.push_back(std::nextafter(x, 0.0));
        xs.push_back(x - 0.3465735902799726);
    }
    for (const double x : xs) {
        if (x < -700.0) {
            continue;
        }
        const std::int64_t d = ulpsApart(limiterExp(x), std::exp(x));
        if (d > worst) {
            worst = d;
            worstAt = x;
        }
    }
    EXPECT_LE(worst, 2) << "at x = " << worstAt;
    EXPECT_EQ(limiterExp(0.0), 1.0);
    EXPECT_EQ(limiterExp(-0.0), 1.0);
}

TEST(LimiterExp, FarArgumentsStayNormalAndNaNStaysNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const double x : {-700.0, -745.2, -1e6, -1e300, -inf}) {
        const double e = limiterExp(x);
        EXPECT_TRUE(std::isnormal(e)) << x;
        EXPECT_LE(e, 1e-300) << x;
    }
    EXPECT_TRUE(std::isnan(limiterExp(std::numeric_limits<double>::quiet_NaN())));
}

TEST(SoftLimitBatch, MatchesThePlainLimiterAndPassesWhatItDoesNotLimit) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> in = {0.0, -0.0, -1.0, -1e300, -inf, 1e-300, 1e-9, 0.3, 1.0, 7.5, 40.0, 133.0,
                              1e4, 3e4, 1e300, inf, nan};
    for (int i = 1; i < 4000; ++i) {
        in.push_back(i * 0.0371);  // an odd count past any lane width
    }
    std::vector<double> out = in;
    softLimitBatch(out.data(), (int)out.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const double expected = softLimit(in[i]);
        if (std::isnan(in[i])) {
            EXPECT_TRUE(std::isnan(out[i]));
            continue;
        }
        if (!(in[i] > 0.0)) {
            // Passed through bit for bit, the sign of zero included.
            EXPECT_EQ(std::signbit(out[i]), std::signbit(in[i])) << in[i];
            EXPECT_EQ(out[i], in[i]);
            continue;
        }
        EXPECT_NEAR(out[i], expected, 1e-13) << in[i];
        EXPECT_LE(out[i], 40.0) << in[i];
    }
    EXPECT_EQ(out[14], 40.0);  // 1e300
    EXPECT_EQ(out[15], 40.0);  // infinity
}

}  // namespace
