// Basic value types of the toolkit: points, rectangles and colours.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

using int32 = int32_t;

struct CPoint {
    int32 x = 0;
    int32 y = 0;

    CPoint() = default;
    CPoint(int32 px, int32 py) : x(px), y(py) {}
    CPoint& offset(int32 dx, int32 dy) {
        x += dx;
        y += dy;
        return *this;
    }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};

// Right and bottom are exclusive for drawing and inclusive for hit tests.
struct CRect {
    int32 left = 0;
    int32 top = 0;
    int32 right = 0;
    int32 bottom = 0;

    CRect() = default;
    CRect(int32 l, int32 t, int32 r, int32 b) : left(l), top(t), right(r), bottom(b) {}

    int32 width() const { return right - left; }
    int32 height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(int32 dx, int32 dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(int32 x, int32 y) { return offset(x - left, y - top); }

    // Raises left/top and lowers right/bottom to `b`; an inverted result
    // collapses to an empty rectangle (bottom = top, right = left).
    CRect& bound(const CRect& b) {
        left = std::max(left, b.left);
        top = std::max(top, b.top);
        right = std::min(right, b.right);
        bottom = std::min(bottom, b.bottom);
        if (bottom < top)
            bottom = top;
        if (right < left)
            right = left;
        return *this;
    }

    // Hit test: edges inclusive.
    bool pointInside(const CPoint& p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
    // Overlap with edges inclusive (a shared edge counts).
    bool rectOverlap(const CRect& r) const {
        return r.left <= right && r.right >= left && r.top <= bottom && r.bottom >= top;
    }

    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }
};

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    bool operator!=(const CColor& o) const { return !(*this == o); }
};

constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};

// Mouse button and modifier mask bits.
enum CButton : int32 {
    kLButton = 1,
    kMButton = 2,
    kRButton = 4,
    kShift = 8,
    kControl = 16,
    kAlt = 32,
    kApple = 64,
};

}  // namespace VSTGUI
