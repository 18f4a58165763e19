#include "model/FusedCore.h"
#include "model/ValveCurve.h"

namespace {

// The pieces of catmullRom (ValveCurve.h) for every point with neighbours
// on both sides; the first and last entries are never read (x there lies
// outside the interpolated part).
PowerCurveCubic cubics[powerAmpCurvePoints];

const PowerCurveCubic* formCubics() {
    const double(*p)[2] = powerAmpCurve;
    for (int i = 1; i + 2 < powerAmpCurvePoints; ++i) {
        const double y0 = p[i - 1][1], y1 = p[i][1], y2 = p[i + 1][1], y3 = p[i + 2][1];
        const double m0 = 0.5 * (y2 - y0);
        const double m1 = 0.5 * (y3 - y1);
        const double a = 2.0 * (y1 - y2) + m0 + m1;
        const double b = (y1 - y2) + m0 + a;
        cubics[i] = {p[i][0], y1, m0, -b, a};
    }
    return cubics;
}

}  // namespace

const PowerCurveCubic* const powerCurveCubics = formCubics();
