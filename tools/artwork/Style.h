// The look every picture shares: the light's direction, the noise the
// textures are made of, and the gold, chrome and ink colours. The knob, the
// switches and the panel are drawn in one light and one palette so the
// assembled editor reads as one object.
#pragma once

#include <cmath>
#include <cstdint>

#include "Canvas.h"

namespace artwork {

constexpr double kPi = 3.14159265358979323846;
inline double rad(double degrees) {
    return degrees * kPi / 180.0;
}

// Light comes from the upper left in every picture.
inline const double kLightX = -0.55, kLightY = -0.835;
inline const double kLightAngle = std::atan2(kLightY, kLightX);

inline std::uint32_t hash3(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}
inline double hash01(int x, int y, int seed) {
    return hash3(x, y, seed) / 4294967296.0;
}

// Smooth value noise in 0..1.
inline double valueNoise(double x, double y, int seed) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const double fx = x - ix, fy = y - iy;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    const double c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Distance to the nearest cell border of a jittered cell pattern: the
// pebbles of the tolex.
inline double cellBorderDistance(double x, double y, double cell, int seed) {
    const int gx = static_cast<int>(std::floor(x / cell)), gy = static_cast<int>(std::floor(y / cell));
    double f1 = 1e9, f2 = 1e9;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int cx = gx + dx, cy = gy + dy;
            const double px = (cx + 0.1 + 0.8 * hash01(cx, cy, seed)) * cell;
            const double py = (cy + 0.1 + 0.8 * hash01(cx, cy, seed + 1)) * cell;
            const double d = std::hypot(x - px, y - py);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    }
    return (f2 - f1) * 0.5;
}

inline const RampStop kGold[] = {
    {0.00, {0.11, 0.07, 0.02}}, {0.30, {0.45, 0.30, 0.09}}, {0.55, {0.78, 0.60, 0.25}},
    {0.78, {0.95, 0.82, 0.47}}, {1.00, {1.00, 0.97, 0.85}},
};
inline Rgb gold(double t) {
    return ramp(kGold, 5, clamp01(t));
}

inline const RampStop kChrome[] = {
    {0.00, {0.10, 0.10, 0.11}}, {0.35, {0.42, 0.43, 0.45}}, {0.65, {0.75, 0.76, 0.78}},
    {0.85, {0.92, 0.93, 0.94}}, {1.00, {1.00, 1.00, 1.00}},
};
inline Rgb chrome(double t) {
    return ramp(kChrome, 5, clamp01(t));
}

inline const Rgb kInk = rgb255(48, 32, 24);          // lettering on the cream strip
inline const Rgb kCreamInk = rgb255(238, 228, 200);  // lettering on the dark inset

}  // namespace artwork
