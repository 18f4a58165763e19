// The soft limiter as the AVX2 and AVX-512 cores build it, its exponential
// with fused multiply-adds: the accuracy the plain build is held to, on
// processors that have them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "model/DoublePair.h"
#include "model/SignalChain.h"
#include "tests/model/UlpsApart.h"

#if defined(__x86_64__) || defined(__i386__)

#pragma GCC push_options
#pragma GCC target("avx2,fma")
#define CORVEX_LANES_FMA 1
#include "model/NarrowLanes.h"

namespace {
#include "model/SoftLimitLanes.h"

__attribute__((noinline)) double fusedExp(double x) {
    return limiterExp(x);
}
__attribute__((noinline)) void fusedBatch(double* v, int count) {
    softLimitBatch(v, count);
}
}  // namespace

#pragma GCC pop_options

namespace {

bool hasFma() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

TEST(LimiterExpFused, WithinTwoUnitsInTheLastPlaceDownToMinus700) {
    if (!hasFma()) {
        GTEST_SKIP() << "no FMA on this processor";
    }
    std::int64_t worst = 0;
    double worstAt = 0.0;
    auto check = [&](double x) {
        const std::int64_t d = ulpsApart(fusedExp(x), std::exp(x));
        if (d > worst) {
            worst = d;
            worstAt = x;
        }
    };
    for (int i = 0; i <= 200000; ++i) {
        check(-i * 1e-5);
    }
    for (int i = 0; i <= 699000; ++i) {
        check(-i * 1e-3 - 0.000123);
    }
    // On and either side of the multiples of ln 2, where the reduction
    // changes its k.
    for (int k = -1000; k <= 0; ++k) {
        const double x = k * 0.6931471805599453;
        if (x >= -700.0) {
            check(x);
            check(std::nextafter(x, 0.0));
            check(std::nextafter(x, -1.0));
        }
        if (x - 0.3465735902799726 >= -700.0) {
            check(x - 0.3465735902799726);
        }
    }
    EXPECT_LE(worst, 2) << "at x = " << worstAt;
    EXPECT_EQ(fusedExp(0.0), 1.0);
    EXPECT_TRUE(std::isnan(fusedExp(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnormal(fusedExp(-1e300)));
}

TEST(LimiterExpFused, BatchMatchesThePlainLimiter) {
    if (!hasFma()) {
        GTEST_SKIP() << "no FMA on this processor";
    }
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> in = {0.0, -0.0, -1.0, -inf, 1e-300, 1e-9, 0.3, 40.0, 1e4, 1e300, inf,
                              std::numeric_limits<double>::quiet_NaN()};
    for (int i = 1; i < 4001; ++i) {
        in.push_back(i * 0.0371);  // an odd count past any lane width
    }
    std::vector<double> out = in;
    fusedBatch(out.data(), (int)out.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (std::isnan(in[i])) {
            EXPECT_TRUE(std::isnan(out[i]));
        } else if (!(in[i] > 0.0)) {
            EXPECT_EQ(std::signbit(out[i]), std::signbit(in[i])) << in[i];
            EXPECT_EQ(out[i], in[i]);
        } else {
            EXPECT_NEAR(out[i], softLimit(in[i]), 1e-13) << in[i];
            EXPECT_LE(out[i], 40.0) << in[i];
        }
    }
}

}  // namespace

#endif
