// Passive three-knob tone stack (treble, bass, mid pots, a slope resistor
// scaled by the contour control) modelled by its analog third-order transfer
// function, discretised by the bilinear transform and run in transposed
// direct form II. The component products are computed once per design; a
// knob move only recombines them.
#pragma once

struct ToneStack {
    // Bilinear constants: c = 2 * rate, c^2, c^3.
    double bilinearC;
    double bilinearC2;
    double bilinearC3;

    // Denominator terms, each the factor of the control product in its name.
    double a1Const;
    double a1Contour;
    double a1Mid;
    double a1Low;
    double a2Mid;
    double a2MidContour;
    double a2LowMid;
    double a2MidMid;
    double a2Low;
    double a2LowContour;
    double a2Const;
    double a2Contour;
    double a3LowMid;
    double a3LowMidContour;
    double a3MidMid;
    double a3MidMidContour;
    double a3Mid;
    double a3MidContour;
    double a3LowContour;
    double a3Contour;

    // Numerator terms.
    double b1High;
    double b1Mid;
    double b1Low;
    double b1Const;
    double b2HighContour;
    double b2MidMid;
    double b2Mid;
    double b2Low;
    double b2LowContour;
    double b2LowMid;
    double b2Const;
    double b2Contour;
    double b3LowMid;
    double b3LowMidContour;
    double b3MidMid;
    double b3MidMidContour;
    double b3Mid;
    double b3MidContour;
    double b3HighContour;
    double b3MidHighContour;
    double b3LowHighContour;

    // Filter state; s3 is never written after a design and stays 0.
    double s0;
    double s1;
    double s2;
    double s3;

    // Coefficients: A0 as computed, the rest divided by it.
    double A0;
    double A1n;
    double A2n;
    double A3n;
    double B0n;
    double B1n;
    double B2n;
    double B3n;

    // Raw control values of the last refresh (10.0 forces the next one).
    double lastLow;
    double lastMid;
    double lastHigh;
    double lastContour;
};

// Component values of the amp's tone stack.
constexpr double toneStackC1 = 4.7e-10;
constexpr double toneStackC2 = 2.2e-8;
constexpr double toneStackC3 = 2.2e-8;
constexpr double toneStackR1 = 250000.0;
constexpr double toneStackR2 = 1000000.0;
constexpr double toneStackR3 = 25000.0;
constexpr double toneStackR4 = 66000.0;

// A control value no knob can take: the next run refreshes.
constexpr double toneStackStaleControl = 10.0;

// Precomputes the component products and bilinear constants for `rate`,
// clears the state and marks the coefficients stale.
void designToneStack(double C1, double C2, double C3, double R1, double R2, double R3, double R4, double rate,
                     ToneStack& toneStack);

// Recomputes the eight coefficients for the control values (l is the bass
// pot position after its taper); the state is kept.
void updateToneStack(ToneStack& toneStack, double l, double m, double t, double k);

// Clears the filter state and marks the coefficients stale, keeping the
// design terms.
void clearToneStack(ToneStack& toneStack);

// Refreshes the coefficients when a control differs from the last refresh
// (exact comparisons). Returns whether it did.
bool refreshToneStack(ToneStack& toneStack, double low, double mid, double high, double contour);

// Filters one sample with the current coefficients.
inline double filterToneStack(ToneStack& toneStack, double x) {
    const double y = toneStack.B0n * x + toneStack.s0;
    toneStack.s0 = toneStack.B1n * x + toneStack.s1 - toneStack.A1n * y;
    toneStack.s1 = toneStack.B2n * x + toneStack.s2 - toneStack.A2n * y;
    toneStack.s2 = toneStack.B3n * x + toneStack.s3 - toneStack.A3n * y;
    return y;
}

// One sample through the tone stack with the four control values; the
// filtered value replaces `sample`.
inline void runToneStack(ToneStack& toneStack, double low, double mid, double high, double contour, double& sample) {
    if (!(toneStack.lastLow == low && toneStack.lastMid == mid && toneStack.lastHigh == high &&
          toneStack.lastContour == contour)) {
        refreshToneStack(toneStack, low, mid, high, contour);
    }
    sample = filterToneStack(toneStack, sample);
}
