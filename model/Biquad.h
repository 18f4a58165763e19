// A second-order section with its coefficients un-normalised and the
// reciprocal of a0 kept beside them.
#pragma once

struct Biquad {
    double inverseA0;
    double a1;
    double a2;
    double b0;
    double b1;
    double b2;
    double x1;  // last two inputs
    double x2;
    double y1;  // last two outputs
    double y2;
};

inline double runBiquad(Biquad& biquad, double x) {
    const double y = biquad.inverseA0 * (biquad.b0 * x + biquad.b1 * biquad.x1 + biquad.b2 * biquad.x2 -
                                         biquad.a1 * biquad.y1 - biquad.a2 * biquad.y2);
    biquad.x2 = biquad.x1;
    biquad.x1 = x;
    biquad.y2 = biquad.y1;
    biquad.y1 = y;
    return y;
}
