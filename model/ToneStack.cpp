#include "model/ToneStack.h"

#include <cmath>

void designToneStack(double C1, double C2, double C3, double R1, double R2, double R3, double R4, double rate,
                     ToneStack& ts) {
    const double c = 2.0 * rate;
    ts.bilinearC = c;
    ts.bilinearC2 = c * c;
    ts.bilinearC3 = c * c * c;

    ts.a1Const = C1 * R3 + C1 * R1 + C2 * R3;
    ts.a1Contour = C2 * R4 + C3 * R4;
    ts.a1Mid = C3 * R3;
    ts.a1Low = C1 * R2 + C2 * R2;
    ts.a2Mid = C1 * C3 * R3 * R3 + C1 * C3 * R1 * R3 + C2 * C3 * R3 * R3;
    ts.a2MidContour = -(C2 * C3 * R3 * R4);
    ts.a2LowMid = C2 * C3 * R2 * R3 + C1 * C3 * R2 * R3;
    ts.a2MidMid = -(C1 * C3 * R3 * R3 + C2 * C3 * R3 * R3);
    ts.a2Low = C1 * C2 * R1 * R2;
    ts.a2LowContour = C2 * C3 * R2 * R4 + C1 * C2 * R2 * R4 + C1 * C3 * R2 * R4;
    ts.a2Const = C1 * C2 * R1 * R3;
    ts.a2Contour = C2 * C3 * R3 * R4 + C1 * C2 * R3 * R4 + C1 * C3 * R1 * R4 + C1 * C2 * R1 * R4 + C1 * C3 * R3 * R4;
    ts.a3LowMid = C1 * C2 * C3 * R1 * R2 * R3;
    ts.a3LowMidContour = C1 * C2 * C3 * R2 * R3 * R4;
    ts.a3MidMid = -(C1 * C2 * C3 * R1 * R3 * R3);
    ts.a3MidMidContour = -(C1 * C2 * C3 * R3 * R3 * R4);
    ts.a3Mid = C1 * C2 * C3 * R1 * R3 * R3;
    ts.a3MidContour = C1 * C2 * C3 * R3 * R3 * R4 - C1 * C2 * C3 * R1 * R3 * R4;
    ts.a3LowContour = C1 * C2 * C3 * R1 * R2 * R4;
    ts.a3Contour = C1 * C2 * C3 * R1 * R3 * R4;

    ts.b1High = C1 * R1;
    ts.b1Mid = C3 * R3;
    ts.b1Low = C1 * R2 + C2 * R2;
    ts.b1Const = C1 * R3 + C2 * R3;
    ts.b2HighContour = C1 * C3 * R1 * R4 + C1 * C2 * R1 * R4;
    ts.b2MidMid = -(C1 * C3 * R3 * R3 + C2 * C3 * R3 * R3);
    ts.b2Mid = C1 * C3 * R3 * R3 + C1 * C3 * R1 * R3 + C2 * C3 * R3 * R3;
    ts.b2Low = C1 * C2 * R1 * R2;
    ts.b2LowContour = C1 * C2 * R2 * R4 + C1 * C3 * R2 * R4;
    ts.b2LowMid = C2 * C3 * R2 * R3 + C1 * C3 * R2 * R3;
    ts.b2Const = C1 * C2 * R1 * R3;
    ts.b2Contour = C1 * C2 * R3 * R4 + C1 * C3 * R3 * R4;
    ts.b3LowMid = C1 * C2 * C3 * R1 * R2 * R3;
    ts.b3LowMidContour = C1 * C2 * C3 * R2 * R3 * R4;
    ts.b3MidMid = -(C1 * C2 * C3 * R1 * R3 * R3);
    ts.b3MidMidContour = -(C1 * C2 * C3 * R3 * R3 * R4);
    ts.b3Mid = C1 * C2 * C3 * R1 * R3 * R3;
    ts.b3MidContour = C1 * C2 * C3 * R3 * R3 * R4;
    ts.b3HighContour = C1 * C2 * C3 * R1 * R3 * R4;
    ts.b3MidHighContour = -(C1 * C2 * C3 * R1 * R3 * R4);
    ts.b3LowHighContour = C1 * C2 * C3 * R1 * R2 * R4;

    // Coefficients are recomputed by the first run after a design.
    ts.A0 = ts.A1n = ts.A2n = ts.A3n = 0.0;
    ts.B0n = ts.B1n = ts.B2n = ts.B3n = 0.0;
    clearToneStack(ts);
}

void clearToneStack(ToneStack& ts) {
    ts.s0 = ts.s1 = ts.s2 = ts.s3 = 0.0;
    ts.lastLow = ts.lastMid = ts.lastHigh = ts.lastContour = toneStackStaleControl;
}

void updateToneStack(ToneStack& ts, double l, double m, double t, double k) {
    const double c = ts.bilinearC;
    const double c2 = ts.bilinearC2;
    const double c3 = ts.bilinearC3;
    const double mm = m * m;
    const double lm = l * m;

    const double a1 = (ts.a1Const + k * ts.a1Contour + m * ts.a1Mid + l * ts.a1Low) * c;
    const double a2 = (m * (k * ts.a2MidContour + ts.a2Mid) + lm * ts.a2LowMid + mm * ts.a2MidMid +
                       l * (k * ts.a2LowContour + ts.a2Low) + ts.a2Const + k * ts.a2Contour) *
                      c2;
    const double a3 = mm * (k * ts.a3MidMidContour + ts.a3MidMid) + lm * (k * ts.a3LowMidContour + ts.a3LowMid) +
                      m * (k * ts.a3MidContour + ts.a3Mid) + l * k * ts.a3LowContour + k * ts.a3Contour;
    const double b1 = (t * ts.b1High + m * ts.b1Mid + l * ts.b1Low + ts.b1Const) * c;
    const double b2 = (t * k * ts.b2HighContour + mm * ts.b2MidMid + m * ts.b2Mid +
                       l * (k * ts.b2LowContour + ts.b2Low) + lm * ts.b2LowMid + ts.b2Const + k * ts.b2Contour) *
                      c2;
    const double b3 = mm * (k * ts.b3MidMidContour + ts.b3MidMid) + lm * (k * ts.b3LowMidContour + ts.b3LowMid) +
                      m * (k * ts.b3MidContour + ts.b3Mid) + t * k * ts.b3HighContour +
                      m * t * k * ts.b3MidHighContour + l * t * k * ts.b3LowHighContour;

    const double a3c = a3 * c3;
    const double b3c = b3 * c3;
    const double a0 = -1.0 - a1 - a2 - a3c;
    ts.A0 = a0;
    ts.A1n = (-3.0 - a1 + a2 + 3.0 * a3c) / a0;
    ts.A2n = (-3.0 + a1 + a2 - 3.0 * a3c) / a0;
    ts.A3n = (-1.0 + a1 - a2 + a3c) / a0;
    ts.B0n = (-b1 - b2 - b3c) / a0;
    ts.B1n = (-b1 + b2 + 3.0 * b3c) / a0;
    ts.B2n = (b1 + b2 - 3.0 * b3c) / a0;
    ts.B3n = (b1 - b2 + b3c) / a0;
}

bool refreshToneStack(ToneStack& ts, double low, double mid, double high, double contour) {
    if (ts.lastLow == low && ts.lastMid == mid && ts.lastHigh == high && ts.lastContour == contour) {
        return false;
    }
    ts.lastLow = low;
    ts.lastMid = mid;
    ts.lastHigh = high;
    ts.lastContour = contour;
    // Logarithmic taper of the bass pot.
    const double l = std::pow(10.0, 2.0 * (low - 1.001));
    updateToneStack(ts, l, mid, high, contour);
    return true;
}
