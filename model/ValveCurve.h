// The power-amplifier valve curve: an inverting, saturating transfer curve
// sampled at 4000 points from -199.9 to 200.0 in steps of 0.1 and read with
// Catmull-Rom interpolation. The table is constant and shared by every
// instance.
#pragma once

constexpr int powerAmpCurvePoints = 4000;

// (x, y) pairs; x_i = -199.9 + 0.1 i.
extern const double powerAmpCurve[powerAmpCurvePoints][2];

// Catmull-Rom interpolation at x between the points (x1, y1) and (x2, y2),
// with the neighbouring values y0 and y3; T is a double or lanes of them
// (half and two are 0.5 and 2 in T).
template <class T>
inline T catmullRom(T x, T x1, T x2, T y0, T y1, T y2, T y3, T half, T two) {
    const T t = (x - x1) / (x2 - x1);
    const T m0 = half * (y2 - y0);
    const T m1 = half * (y3 - y1);
    const T a = two * (y1 - y2) + m0 + m1;
    const T b = (y1 - y2) + m0 + a;
    return y1 + t * (m0 + t * (a * t - b));
}

// Catmull-Rom interpolation between points i and i + 1, using the
// neighbours i - 1 and i + 2.
inline double interpolatePowerAmpCurve(int i, double x) {
    const double(*p)[2] = powerAmpCurve;
    return catmullRom(x, p[i][0], p[i + 1][0], p[i - 1][1], p[i][1], p[i + 1][1], p[i + 2][1], 0.5, 2.0);
}

// Whether x lies strictly inside the interpolated part of the curve (NaN
// does not).
inline bool insidePowerAmpCurve(double x) {
    return x > -180.0 && x < 180.0;
}

// The point at or left of x, for x inside the curve: 10 x + 1999 lies in
// (199, 3799) there, so truncation is the floor.
inline int powerAmpCurveIndex(double x) {
    return (int)(10.0 * x + 1999.0);
}

// Curve lookup. At or below -180 the first stored value, at or above 180
// (and for NaN) the last one; in between the interpolated table.
inline double lookupPowerAmpCurve(double x) {
    if (insidePowerAmpCurve(x)) {
        return interpolatePowerAmpCurve(powerAmpCurveIndex(x), x);
    }
    return x <= -180.0 ? powerAmpCurve[0][1] : powerAmpCurve[powerAmpCurvePoints - 1][1];
}
