#include "gui/ScaledDrawing.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace VSTGUI {
namespace scaling {

bool isUsableScale(double scale) {
    return std::isfinite(scale) && scale >= kMinScale && scale <= kMaxScale;
}

int32 toDevice(int32 v, double scale) {
    return static_cast<int32>(std::floor(v * scale + 0.5));
}

CRect toDevice(const CRect& r, double scale) {
    return CRect(toDevice(r.left, scale), toDevice(r.top, scale), toDevice(r.right, scale), toDevice(r.bottom, scale));
}

int32 toFrame(int32 v, double scale) {
    // The frame pixel f with toDevice(f) <= v < toDevice(f + 1).
    int32 f = static_cast<int32>(std::floor((v + 0.5) / scale));
    while (f > INT32_MIN && toDevice(f, scale) > v)
        --f;
    while (f < INT32_MAX && toDevice(f + 1, scale) <= v)
        ++f;
    return f;
}

CRect toFrameCovering(const CRect& d, double scale) {
    if (d.isEmpty())
        return CRect(toFrame(d.left, scale), toFrame(d.top, scale), toFrame(d.left, scale), toFrame(d.top, scale));
    return CRect(toFrame(d.left, scale), toFrame(d.top, scale), toFrame(d.right - 1, scale) + 1,
                 toFrame(d.bottom - 1, scale) + 1);
}

double scaleFromDesktopHints(const char* gdkScale, const char* resources) {
    if (gdkScale && *gdkScale) {
        char* end = nullptr;
        const long whole = std::strtol(gdkScale, &end, 10);
        if (end && *end == 0 && whole >= 1 && whole <= 4)
            return static_cast<double>(whole);
    }
    if (!resources)
        return 1.0;
    static const char kKey[] = "Xft.dpi:";
    const size_t keyLength = sizeof kKey - 1;
    for (const char* line = resources; *line;) {
        if (std::strncmp(line, kKey, keyLength) == 0) {
            char* end = nullptr;
            const double dpi = std::strtod(line + keyLength, &end);
            if (end != line + keyLength && std::isfinite(dpi) && dpi >= 96.0 && dpi <= 4 * 96.0)
                return dpi / 96.0;
            return 1.0;
        }
        const char* next = std::strchr(line, '\n');
        if (!next)
            break;
        line = next + 1;
    }
    return 1.0;
}

namespace {

// Taps of one output position along one axis.
struct Taps {
    int32 first = 0;
    std::vector<float> weights;
};

std::vector<Taps> makeTaps(double origin, double step, int32 count, int32 lo, int32 hi) {
    std::vector<Taps> all(static_cast<size_t>(count));
    const double radius = std::max(1.0, step);
    for (int32 i = 0; i < count; ++i) {
        const double u = origin + (i + 0.5) * step;
        int32 a = static_cast<int32>(std::floor(u - radius - 0.5));
        int32 b = static_cast<int32>(std::ceil(u + radius - 0.5));
        a = std::max(a, lo);
        b = std::min(b, hi - 1);
        Taps& t = all[static_cast<size_t>(i)];
        double sum = 0.0;
        for (int32 j = a; j <= b; ++j) {
            const double w = std::max(0.0, 1.0 - std::fabs(j + 0.5 - u) / radius);
            t.weights.push_back(static_cast<float>(w));
            sum += w;
        }
        t.first = a;
        if (sum <= 0.0) {
            // Outside the picture altogether: the nearest pixel inside.
            t.first = std::min(std::max(static_cast<int32>(std::floor(u)), lo), hi - 1);
            t.weights.assign(1, 1.0f);
            continue;
        }
        for (float& w : t.weights)
            w = static_cast<float>(w / sum);
    }
    return all;
}

}  // namespace

bool resample(const PixelImage& src, const CRect& region, double originX, double originY, double step, int32 outW,
              int32 outH, PixelImage& out) {
    CRect r = region;
    r.bound(src.bounds());
    if (r.isEmpty() || outW <= 0 || outH <= 0 || !(step > 0.0) || !out.allocate(outW, outH))
        return false;
    const std::vector<Taps> cols = makeTaps(originX, step, outW, r.left, r.right);
    const std::vector<Taps> rows = makeTaps(originY, step, outH, r.top, r.bottom);
    // Horizontal pass over the source rows the vertical taps use.
    const int32 y0 = rows.front().first;
    int32 y1 = y0;
    for (const Taps& t : rows)
        y1 = std::max(y1, t.first + static_cast<int32>(t.weights.size()));
    const size_t rowFloats = static_cast<size_t>(outW) * 4;
    std::vector<float> mid(static_cast<size_t>(y1 - y0) * rowFloats);
    for (int32 y = y0; y < y1; ++y) {
        float* m = &mid[static_cast<size_t>(y - y0) * rowFloats];
        for (int32 i = 0; i < outW; ++i) {
            const Taps& t = cols[static_cast<size_t>(i)];
            const uint8_t* p = src.pixel(t.first, y);
            float acc[4] = {0, 0, 0, 0};
            for (float w : t.weights) {
                for (int c = 0; c < 4; ++c)
                    acc[c] += w * p[c];
                p += 4;
            }
            std::copy(acc, acc + 4, m + static_cast<size_t>(i) * 4);
        }
    }
    for (int32 o = 0; o < outH; ++o) {
        const Taps& t = rows[static_cast<size_t>(o)];
        uint8_t* d = out.row(o);
        for (int32 i = 0; i < outW; ++i) {
            float acc[4] = {0, 0, 0, 0};
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const float* m = &mid[static_cast<size_t>(t.first + static_cast<int32>(k) - y0) * rowFloats +
                                      static_cast<size_t>(i) * 4];
                for (int c = 0; c < 4; ++c)
                    acc[c] += t.weights[k] * m[c];
            }
            uint8_t v[4];
            for (int c = 0; c < 4; ++c)
                v[c] = static_cast<uint8_t>(std::min(255.0f, std::max(0.0f, acc[c] + 0.5f)));
            // Premultiplied: no colour above its alpha after rounding.
            for (int c = 0; c < 3; ++c)
                v[c] = std::min(v[c], v[3]);
            std::copy(v, v + 4, d + static_cast<size_t>(i) * 4);
        }
    }
    return true;
}

void repeat(PixelImage& device, double scale, const CRect& written, CPoint srcPoint, const CRect& picture,
            const PixelImage& image, const PixelImage* twin, const Draw& how) {
    if (written.isEmpty() || device.empty() || !isUsableScale(scale))
        return;
    const bool useTwin = twin && !twin->empty() && twin->width() == image.width() * 2 &&
                         twin->height() == image.height() * 2;
    const PixelImage& src = useTwin ? *twin : image;
    const int32 k = useTwin ? 2 : 1;
    CRect area = picture;
    area.bound(image.bounds());
    const CRect region(area.left * k, area.top * k, area.right * k, area.bottom * k);
    CRect dst = toDevice(written, scale);
    const CRect full = dst;
    dst.bound(device.bounds());
    if (dst.isEmpty() || region.isEmpty())
        return;

    auto apply = [&](const PixelImage& from, CRect to, CPoint at) {
        switch (how.mode) {
            case Mode::opaque:
                pixelops::copy(device, to, from, at, to);
                break;
            case Mode::keyed:
                pixelops::copyKeyed(device, to, from, at, to, how.key);
                break;
            case Mode::blend:
                pixelops::blend(device, to, from, at, to, how.alpha, how.useSourceAlpha);
                break;
        }
    };

    if (static_cast<double>(k) == scale) {
        // Pixel for pixel.
        const CPoint at(srcPoint.x * k + (dst.left - full.left), srcPoint.y * k + (dst.top - full.top));
        CRect to = dst;
        // Only what the picture holds.
        CRect inside = region;
        inside.offset(dst.left - at.x, dst.top - at.y);
        to.bound(inside);
        if (to.isEmpty())
            return;
        apply(src, to, CPoint(at.x + (to.left - dst.left), at.y + (to.top - dst.top)));
        return;
    }
    // Source coordinate (in `src` pixels) of device coordinate d:
    //   k * ((d) / scale - written.left + srcPoint.x)
    const double step = k / scale;
    const double originX = k * (static_cast<double>(dst.left) / scale - written.left + srcPoint.x);
    const double originY = k * (static_cast<double>(dst.top) / scale - written.top + srcPoint.y);
    PixelImage temp;
    if (how.mode == Mode::keyed) {
        // A key colour does not survive filtering: nearest pixels instead.
        if (!temp.allocate(dst.width(), dst.height()))
            return;
        for (int32 y = 0; y < dst.height(); ++y) {
            const int32 sy = std::min(std::max(static_cast<int32>(std::floor(originY + (y + 0.5) * step)),
                                               region.top), region.bottom - 1);
            for (int32 x = 0; x < dst.width(); ++x) {
                const int32 sx = std::min(std::max(static_cast<int32>(std::floor(originX + (x + 0.5) * step)),
                                                   region.left), region.right - 1);
                std::copy(src.pixel(sx, sy), src.pixel(sx, sy) + 4, temp.pixel(x, y));
            }
        }
    } else if (!resample(src, region, originX, originY, step, dst.width(), dst.height(), temp)) {
        return;
    }
    apply(temp, dst, CPoint(0, 0));
}

}  // namespace scaling
}  // namespace VSTGUI
