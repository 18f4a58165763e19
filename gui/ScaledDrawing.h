// Drawing at a screen scale other than 1. Views keep working in the frame's
// own (1x) pixels; the frame keeps a second image at device resolution and
// every drawing that lands in its 1x image is repeated there, from an
// image's double-resolution twin when it has one.
//
// Device pixel of a frame coordinate v at scale s: round(v * s), so that
// rectangles drawn side by side stay side by side at every scale. Scale 2
// from the double-resolution twin is a plain copy or blend; other scales
// resample the twin with a tent filter whose width follows the reduction
// (an area filter when drawing down), never reading outside the picture the
// caller drew (a film strip's neighbouring frames stay out).
//
// UI thread only, like every drawing.
#pragma once

#include "gui/PixelImage.h"
#include "gui/VSTGUITypes.h"

namespace VSTGUI {
namespace scaling {

// Largest and smallest scale a frame accepts.
constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 4.0;
// Whether `scale` is one a frame can draw at (finite, kMinScale..kMaxScale).
bool isUsableScale(double scale);

int32 toDevice(int32 v, double scale);
CRect toDevice(const CRect& r, double scale);
// The frame pixel a device pixel lies in.
int32 toFrame(int32 v, double scale);
// The frame rectangle covering a device rectangle.
CRect toFrameCovering(const CRect& deviceRect, double scale);

// The desktop's scale from GDK_SCALE (a whole number 1..4, taking
// precedence) or an X resource string's "Xft.dpi:" line (dpi / 96, for 96
// to 384 dpi); 1 without either or for anything else. Either may be null.
double scaleFromDesktopHints(const char* gdkScale, const char* resources);

enum class Mode { opaque, keyed, blend };

struct Draw {
    Mode mode = Mode::opaque;
    uint8_t alpha = 255;
    bool useSourceAlpha = true;
    Bgra key;
};

// Repeats in `device` (the frame image at `scale`) a drawing that wrote
// `written` (frame coordinates) of the 1x target from `srcPoint` of `image`.
// `picture` is the whole area of `image` the caller asked to draw (1x image
// coordinates), which bounds the filter. `twin` is the image at twice the
// resolution, or null (then `image` itself is resampled).
void repeat(PixelImage& device, double scale, const CRect& written, CPoint srcPoint, const CRect& picture,
            const PixelImage& image, const PixelImage* twin, const Draw& how);

// Resamples `region` of `src` (kept premultiplied) to an outW x outH image:
// output pixel i takes the source around u = originX + (i + 0.5) * step
// (source pixel centres at j + 0.5), a tent of half-width max(1, step),
// reading only inside `region`.
bool resample(const PixelImage& src, const CRect& region, double originX, double originY, double step, int32 outW,
              int32 outH, PixelImage& out);

}  // namespace scaling
}  // namespace VSTGUI
