#include "gui/PixelImage.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace VSTGUI {

bool PixelImage::allocate(int32 width, int32 height) {
    clear();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<int64_t>(width) * height > kMaxPixels)
        return false;
    try {
        store.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    } catch (const std::bad_alloc&) {
        store.clear();
        return false;
    }
    w = width;
    h = height;
    return true;
}

void PixelImage::clear() {
    std::vector<uint8_t>().swap(store);
    w = h = 0;
}

PixelView PixelImage::view() const {
    PixelView v;
    v.bits = store.data();
    v.width = w;
    v.height = h;
    v.rowBytes = rowBytes();
    return v;
}

Bgra opaqueBgra(const CColor& c) {
    return Bgra{c.blue, c.green, c.red, 255};
}

namespace pixelops {

namespace {

CRect clipTo(CRect r, const CRect& clip, const CRect& bounds) {
    r.bound(clip);
    r.bound(bounds);
    return r;
}

inline void put(uint8_t* p, Bgra c) {
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    p[3] = c.a;
}

}  // namespace

bool clipCopy(CRect& dstRect, CPoint& srcPoint, const CRect& clip, const CRect& dstBounds, const CRect& srcBounds) {
    if (dstRect.isEmpty())
        return false;
    // The source area the destination would read, in destination terms.
    CRect srcArea = srcBounds;
    srcArea.offset(dstRect.left - srcPoint.x, dstRect.top - srcPoint.y);
    CRect r = dstRect;
    r.bound(clip);
    r.bound(dstBounds);
    r.bound(srcArea);
    if (r.isEmpty())
        return false;
    srcPoint.x += r.left - dstRect.left;
    srcPoint.y += r.top - dstRect.top;
    dstRect = r;
    return true;
}

void fill(PixelImage& dst, CRect rect, const CRect& clip, Bgra colour) {
    CRect r = clipTo(rect, clip, dst.bounds());
    if (r.isEmpty())
        return;
    for (int32 y = r.top; y < r.bottom; ++y) {
        uint8_t* p = dst.pixel(r.left, y);
        for (int32 x = r.left; x < r.right; ++x, p += 4)
            put(p, colour);
    }
}

void plot(PixelImage& dst, int32 x, int32 y, const CRect& clip, Bgra colour) {
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return;
    if (x < 0 || y < 0 || x >= dst.width() || y >= dst.height())
        return;
    put(dst.pixel(x, y), colour);
}

void line(PixelImage& dst, CPoint from, CPoint to, const CRect& clip, Bgra colour, int32 width, bool dotted) {
    if (width < 1)
        width = 1;
    // Keep the walk finite for absurd coordinates: clamp both ends to a
    // generous box around the image first (lines stay straight enough for
    // anything that lands on screen).
    const int32 lim = PixelImage::kMaxSide * 4;
    auto clampC = [lim](int32 v) { return std::max(-lim, std::min(lim, v)); };
    int32 x0 = clampC(from.x), y0 = clampC(from.y), x1 = clampC(to.x), y1 = clampC(to.y);
    const int32 dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int32 sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int32 err = dx + dy;
    const int32 half = (width - 1) / 2;
    int32 n = 0;
    while (!(x0 == x1 && y0 == y1)) {
        if (!dotted || (n & 1) == 0) {
            if (width == 1) {
                plot(dst, x0, y0, clip, colour);
            } else {
                fill(dst, CRect(x0 - half, y0 - half, x0 - half + width, y0 - half + width), clip, colour);
            }
        }
        ++n;
        const int32 e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

CRect copy(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip) {
    if (!clipCopy(dstRect, srcPoint, clip, dst.bounds(), src.bounds()))
        return CRect();
    const size_t bytes = static_cast<size_t>(dstRect.width()) * 4;
    const bool same = &dst == &src;
    if (same && dstRect.left == srcPoint.x && dstRect.top == srcPoint.y)
        return dstRect;
    // Overlapping copies within one image: walk rows away from the overlap.
    const bool upward = same && dstRect.top > srcPoint.y;
    for (int32 i = 0; i < dstRect.height(); ++i) {
        const int32 k = upward ? dstRect.height() - 1 - i : i;
        std::memmove(dst.pixel(dstRect.left, dstRect.top + k), src.pixel(srcPoint.x, srcPoint.y + k), bytes);
    }
    return dstRect;
}

CRect copyKeyed(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip, Bgra key) {
    if (&dst == &src)
        return CRect();  // never needed; avoids reading what was just written
    if (!clipCopy(dstRect, srcPoint, clip, dst.bounds(), src.bounds()))
        return CRect();
    for (int32 y = 0; y < dstRect.height(); ++y) {
        uint8_t* d = dst.pixel(dstRect.left, dstRect.top + y);
        const uint8_t* s = src.pixel(srcPoint.x, srcPoint.y + y);
        for (int32 x = 0; x < dstRect.width(); ++x, d += 4, s += 4) {
            if (s[0] == key.b && s[1] == key.g && s[2] == key.r)
                continue;
            std::memcpy(d, s, 4);
        }
    }
    return dstRect;
}

CRect blend(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip,
            uint8_t constantAlpha, bool useSourceAlpha) {
    if (&dst == &src)
        return CRect();
    if (constantAlpha == 0)
        return CRect();
    if (!clipCopy(dstRect, srcPoint, clip, dst.bounds(), src.bounds()))
        return CRect();
    const uint32_t c = constantAlpha;
    for (int32 y = 0; y < dstRect.height(); ++y) {
        uint8_t* d = dst.pixel(dstRect.left, dstRect.top + y);
        const uint8_t* s = src.pixel(srcPoint.x, srcPoint.y + y);
        for (int32 x = 0; x < dstRect.width(); ++x, d += 4, s += 4) {
            const uint32_t sa = useSourceAlpha ? s[3] : 255u;
            if (c == 255 && sa == 255) {  // opaque pixel: plain copy
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 255;
                continue;
            }
            if (c == 255 && sa == 0 && s[0] == 0 && s[1] == 0 && s[2] == 0)
                continue;  // fully clear
            const uint32_t a = c == 255 ? sa : div255(sa * c);
            const uint32_t keep = 255 - a;
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t sv = c == 255 ? s[ch] : div255(s[ch] * c);
                const uint32_t v = sv + div255(d[ch] * keep);
                d[ch] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
            const uint32_t va = a + div255(d[3] * keep);
            d[3] = static_cast<uint8_t>(va > 255 ? 255 : va);
        }
    }
    return dstRect;
}

}  // namespace pixelops
}  // namespace VSTGUI
