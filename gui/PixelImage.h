// The toolkit's pixel store and the software compositor every platform
// shares. An image is 32 bits per pixel, bytes blue, green, red, alpha with
// premultiplied alpha, rows stored bottom-up (the layout of a Windows 32-bit
// DIB section), so a finished frame goes to the screen without conversion.
//
// Every operation takes a destination rectangle already in image pixels and
// a clip rectangle, and touches only pixels inside the destination, the clip
// and the image; source reads stay inside the source image.
#pragma once

#include "gui/VSTGUITypes.h"
#include "gui/platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace VSTGUI {

class PixelImage {
public:
    // Largest side and pixel count an image may have; larger requests fail.
    static constexpr int32 kMaxSide = 16384;
    static constexpr int64_t kMaxPixels = 16 * 1024 * 1024;

    PixelImage() = default;

    // Makes a width x height image of transparent black. Answers false (and
    // leaves an empty image) for non-positive or too large sizes or when the
    // memory cannot be had.
    bool allocate(int32 w, int32 h);
    void clear();

    bool empty() const { return w == 0 || h == 0; }
    int32 width() const { return w; }
    int32 height() const { return h; }
    int32 rowBytes() const { return w * 4; }
    CRect bounds() const { return CRect(0, 0, w, h); }

    // Row `y` counted from the top of the picture.
    uint8_t* row(int32 y) { return store.data() + static_cast<size_t>(h - 1 - y) * rowBytes(); }
    const uint8_t* row(int32 y) const { return store.data() + static_cast<size_t>(h - 1 - y) * rowBytes(); }
    uint8_t* pixel(int32 x, int32 y) { return row(y) + static_cast<size_t>(x) * 4; }
    const uint8_t* pixel(int32 x, int32 y) const { return row(y) + static_cast<size_t>(x) * 4; }

    // The raw bottom-up store.
    uint8_t* bits() { return store.data(); }
    const uint8_t* bits() const { return store.data(); }
    size_t byteSize() const { return store.size(); }

    PixelView view() const;

private:
    int32 w = 0;
    int32 h = 0;
    std::vector<uint8_t> store;
};

// A pixel as stored: B, G, R, A.
struct Bgra {
    uint8_t b = 0, g = 0, r = 0, a = 0;
};

// Opaque stored form of a colour (its alpha is ignored, as pens and brushes
// of a window surface do).
Bgra opaqueBgra(const CColor& c);

// Rounded division by 255 for 0 <= x <= 255 * 255 (exact: the halfway case
// cannot occur for an odd divisor).
inline uint32_t div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

namespace pixelops {

// Fills `rect` (clipped) with `colour`.
void fill(PixelImage& dst, CRect rect, const CRect& clip, Bgra colour);

// Sets one pixel when inside the clip and the image.
void plot(PixelImage& dst, int32 x, int32 y, const CRect& clip, Bgra colour);

// A line from `from` to `to`, the end point excluded, `width` pixels thick
// (square pen), dotted when `dotted` (every other pixel).
void line(PixelImage& dst, CPoint from, CPoint to, const CRect& clip, Bgra colour, int32 width, bool dotted);

// Copies src pixels starting at `srcPoint` into `dstRect`. Answers the
// rectangle actually written (empty when nothing was). `dst` may be `src`.
CRect copy(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip);

// As copy, skipping source pixels whose colour bytes equal `key`.
CRect copyKeyed(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip, Bgra key);

// Source-over blend of a premultiplied source scaled by `constantAlpha`:
//   s' = s * C / 255, per channel and alpha
//   d  = s' + d * (255 - a') / 255
// each division by 255 rounded to nearest, the sum saturated at 255. With
// `useSourceAlpha` false the source alpha is taken as 255 (an image without
// alpha blended by the constant alone).
CRect blend(PixelImage& dst, CRect dstRect, const PixelImage& src, CPoint srcPoint, const CRect& clip,
            uint8_t constantAlpha, bool useSourceAlpha);

// Clips a copy: `dstRect` is cut to `clip` and the destination bounds, then
// to what the source holds from `srcPoint` on; `srcPoint` moves along.
// Answers false when nothing remains.
bool clipCopy(CRect& dstRect, CPoint& srcPoint, const CRect& clip, const CRect& dstBounds, const CRect& srcBounds);

}  // namespace pixelops
}  // namespace VSTGUI
