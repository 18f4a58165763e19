// Distance in units of the last place between two positive finite doubles.
#pragma once

#include <cstdint>
#include <cstring>

inline std::int64_t ulpsApart(double a, double b) {
    std::int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    return ia > ib ? ia - ib : ib - ia;
}
