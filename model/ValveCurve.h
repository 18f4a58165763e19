// The power-amplifier valve curve: an inverting, saturating transfer curve
// sampled at 4000 points from -199.9 to 200.0 in steps of 0.1 and read with
// Catmull-Rom interpolation. The table is constant and shared by every
// instance.
#pragma once

constexpr int powerAmpCurvePoints = 4000;

// (x, y) pairs; x_i = -199.9 + 0.1 i.
extern const double powerAmpCurve[powerAmpCurvePoints][2];

// Catmull-Rom interpolation between points i and i + 1 at fraction t,
// using the neighbours i - 1 and i + 2.
inline double interpolatePowerAmpCurve(int i, double x) {
    const double(*p)[2] = powerAmpCurve;
    const double t = (x - p[i][0]) / (p[i + 1][0] - p[i][0]);
    const double y0 = p[i - 1][1];
    const double y1 = p[i][1];
    const double y2 = p[i + 1][1];
    const double y3 = p[i + 2][1];
    const double m0 = 0.5 * (y2 - y0);
    const double m1 = 0.5 * (y3 - y1);
    const double a = 2.0 * (y1 - y2) + m0 + m1;
    const double b = (y1 - y2) + m0 + a;
    return y1 + t * (m0 + t * (a * t - b));
}

// Curve lookup. At or below -180 the first stored value, at or above 180
// (and for NaN) the last one; in between the interpolated table.
inline double lookupPowerAmpCurve(double x) {
    if (x <= -180.0) {
        return powerAmpCurve[0][1];
    }
    if (!(x < 180.0)) {
        return powerAmpCurve[powerAmpCurvePoints - 1][1];
    }
    // 10 x + 1999 lies in (199, 3799) here, so truncation is the floor.
    const int i = (int)(10.0 * x + 1999.0);
    return interpolatePowerAmpCurve(i, x);
}
