// The soft limiter of the fused core over a batch of preamp outputs, with
// its exponential computed inline instead of by the library's exp: a call
// sends every vector register to memory and cannot be vectorised, while
// the branch-free form below lets the compiler run the batch in the
// target's lanes. No include guard: the fused core includes it inside its
// per-target namespace (see FusedCoreSides.h), so that every target gets
// its own copy; tests include it the same way. Needs mulAdd on doubles
// (NarrowLanes.h): fused where the target has it, so the wide paths' exp
// takes a dozen operations fewer per value.

// condition ? a : b, chosen on the bits: both values are formed first, and
// the compiler, which may not move floating-point work under a condition,
// then keeps no branch and runs the loops below in lanes.
inline double chooseBits(bool condition, double a, double b) {
    const std::uint64_t mask = condition ? ~std::uint64_t{0} : 0;
    std::uint64_t bitsA, bitsB;
    std::memcpy(&bitsA, &a, sizeof bitsA);
    std::memcpy(&bitsB, &b, sizeof bitsB);
    const std::uint64_t bits = (bitsA & mask) | (bitsB & ~mask);
    double result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// e^x for x <= 0 (and NaN, which gives NaN), within a unit in the last
// place or two of the exact value: x = k ln 2 + r with |r| <= ln 2 / 2,
// e^r by its Taylor series to the 13th power (the first term left out is
// below 2^-54 of the result), times 2^k formed in the exponent bits.
// Arguments below -700 are taken as -700: e^-700 is below a double step of
// 1, so 1 - e^x is 1 either way, and 2^k stays a normal number.
inline double limiterExp(double x) {
    const double shifter = 6755399441055744.0;  // 1.5 * 2^52: adding it rounds to an integer
    const double log2e = 1.4426950408889634074;
    const double ln2High = 6.93147180369123816490e-01;  // 32 significant bits: k * ln2High is exact
    const double ln2Low = 1.90821492927058770002e-10;
    x = chooseBits(x < -700.0, -700.0, x);
    const double t = mulAdd(x, log2e, shifter);
    const double k = t - shifter;
    const double r = mulAdd(-k, ln2Low, mulAdd(-k, ln2High, x));
    // e^r = 1 + (r + r^2 P(r)), P of degree 11 by Estrin's scheme: four
    // dependent steps instead of a dozen, so a batch leaves the loop sooner.
    const double r2 = r * r;
    const double r4 = r2 * r2;
    const double r8 = r4 * r4;
    const double q0 = mulAdd(r, 1.0 / 6.0, 1.0 / 2.0);
    const double q1 = mulAdd(r, 1.0 / 120.0, 1.0 / 24.0);
    const double q2 = mulAdd(r, 1.0 / 5040.0, 1.0 / 720.0);
    const double q3 = mulAdd(r, 1.0 / 362880.0, 1.0 / 40320.0);
    const double q4 = mulAdd(r, 1.0 / 39916800.0, 1.0 / 3628800.0);
    const double q5 = mulAdd(r, 1.0 / 6227020800.0, 1.0 / 479001600.0);
    const double d0 = mulAdd(r2, q1, q0);
    const double d1 = mulAdd(r2, q3, q2);
    const double d2 = mulAdd(r2, q5, q4);
    const double polynomial = mulAdd(r8, d2, mulAdd(r4, d1, d0));
    const double p = 1.0 + mulAdd(r2, polynomial, r);
    // The low bits of t hold k (two's complement, -1010 <= k <= 0 here):
    // k + 1023 shifted into the exponent field is 2^k.
    std::uint64_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    bits = (bits + 1023u) << 52;
    double scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return p * scale;
}

// softLimit (SignalChain.h) with limiterExp.
inline double softLimitInline(double a) {
    const double limited = 40.0 * (1.0 - limiterExp(-0.025 * a));
    return chooseBits(a > 0.0, limited, a);
}

// Limits v[0, count) in place.
inline void softLimitBatch(double* v, int count) {
    for (int j = 0; j < count; ++j) {
        v[j] = softLimitInline(v[j]);
    }
}
