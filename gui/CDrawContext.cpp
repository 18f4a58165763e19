#include "gui/CDrawContext.h"

#include "gui/CFrame.h"
#include "gui/ScaledDrawing.h"
#include "gui/platform/Platform.h"

#include <cstdlib>

namespace VSTGUI {

namespace {

const int32 kFontSizes[kNumStandardFonts] = {12, 18, 14, 12, 11, 10, 9, 13};

CRect unite(const CRect& a, const CRect& b) {
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    return CRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                 std::max(a.bottom, b.bottom));
}

}  // namespace

int32 standardFontSize(int32 fontId) {
    return fontId >= 0 && fontId < kNumStandardFonts ? kFontSizes[fontId] : kFontSizes[0];
}

const char* standardFontFace(int32 fontId) {
    return fontId == kSymbolFont ? "Symbol" : "Arial";
}

// UI thread.
CDrawContext::CDrawContext(void* windowHandle, CFrame* owner, PixelImage* target)
    : window(windowHandle), frame(owner), surface(target) {
    if (window) {
        int32 x = 0, y = 0;
        platform().getWindowOrigin(window, x, y);
        windowOrigin = CPoint(x, y);
        screenOrigin = windowOrigin;
    }
    if (frame) {
        CRect size;
        frame->getViewSize(size);
        clipRect = size;
    } else {
        clipRect = CRect(0, 0, 1000, 1000);
    }
    pen = opaqueBgra(frameColor);
    brush = opaqueBgra(fillColor);
}

CDrawContext::~CDrawContext() {
    flush();
}

int32 CDrawContext::getMouseButtons() {
    return platform().getMouseButtons();
}

void CDrawContext::setClipRect(const CRect& clip) {
    CRect r = clip;
    r.offset(offset.x, offset.y);
    clipRect = r;  // a plain rectangle: nothing to rebuild
}

CRect& CDrawContext::getClipRect(CRect& clip) const {
    clip = clipRect;
    clip.offset(-offset.x, -offset.y);
    return clip;
}

void CDrawContext::resetClipRect() {
    if (frame) {
        CRect size;
        frame->getViewSize(size);
        clipRect = size;
    } else {
        clipRect = CRect(0, 0, 1000, 1000);
    }
}

void CDrawContext::setFrameColor(const CColor& color) {
    if (color == frameColor)
        return;
    frameColor = color;
    pen = opaqueBgra(color);
}

void CDrawContext::setFillColor(const CColor& color) {
    if (color == fillColor)
        return;
    fillColor = color;
    brush = opaqueBgra(color);
}

void CDrawContext::setLineWidth(int32 width) {
    lineWidth = width < 1 ? 1 : width;
}

void CDrawContext::setLineStyle(CLineStyle style) {
    lineStyle = style;
}

void CDrawContext::setFont(int32 id, int32 size, int32 style) {
    fontId = id >= 0 && id < kNumStandardFonts ? id : kSystemFont;
    fontSize = size > 0 ? size : standardFontSize(fontId);
    fontStyle = style;
}

void CDrawContext::moveTo(const CPoint& point) {
    penLoc = point;
    penLoc.offset(offset.x, offset.y);
}

void CDrawContext::lineTo(const CPoint& point) {
    CPoint to = point;
    to.offset(offset.x, offset.y);
    if (PixelImage* img = getTargetImage()) {
        pixelops::line(*img, penLoc, to, clipRect, pen, lineWidth, lineStyle == kLineOnOffDash);
        if (PixelImage* device = deviceTwin(img)) {
            const double s = deviceScale();
            pixelops::line(*device, CPoint(scaling::toDevice(penLoc.x, s), scaling::toDevice(penLoc.y, s)),
                           CPoint(scaling::toDevice(to.x, s), scaling::toDevice(to.y, s)),
                           scaling::toDevice(clipRect, s), pen, std::max(1, scaling::toDevice(lineWidth, s)),
                           lineStyle == kLineOnOffDash);
        }
        const int32 pad = lineWidth;
        touched(CRect(std::min(penLoc.x, to.x) - pad, std::min(penLoc.y, to.y) - pad,
                      std::max(penLoc.x, to.x) + pad + 1, std::max(penLoc.y, to.y) + pad + 1));
    }
    penLoc = to;
}

void CDrawContext::fillRect(const CRect& rect) {
    PixelImage* img = getTargetImage();
    if (!img)
        return;
    CRect r(rect.left + 1, rect.top + 1, rect.right, rect.bottom);
    r.offset(offset.x, offset.y);
    pixelops::fill(*img, r, clipRect, brush);
    if (PixelImage* device = deviceTwin(img)) {
        CRect drawn = r;
        drawn.bound(clipRect);
        drawn.bound(img->bounds());
        const double s = deviceScale();
        pixelops::fill(*device, scaling::toDevice(drawn, s), device->bounds(), brush);
    }
    touched(r);
}

void CDrawContext::drawRect(const CRect& rect) {
    PixelImage* img = getTargetImage();
    if (!img)
        return;
    CRect r = rect;
    r.offset(offset.x, offset.y);
    if (r.isEmpty())
        return;
    const int32 l = r.left, t = r.top, rr = r.right - 1, b = r.bottom - 1;
    const bool dotted = lineStyle == kLineOnOffDash;
    pixelops::line(*img, CPoint(l, t), CPoint(rr, t), clipRect, pen, lineWidth, dotted);
    pixelops::line(*img, CPoint(rr, t), CPoint(rr, b), clipRect, pen, lineWidth, dotted);
    pixelops::line(*img, CPoint(rr, b), CPoint(l, b), clipRect, pen, lineWidth, dotted);
    pixelops::line(*img, CPoint(l, b), CPoint(l, t), clipRect, pen, lineWidth, dotted);
    if (PixelImage* device = deviceTwin(img)) {
        const double s = deviceScale();
        const CRect dc = scaling::toDevice(clipRect, s);
        const int32 dw = std::max(1, scaling::toDevice(lineWidth, s));
        const CRect d = scaling::toDevice(CRect(l, t, rr + 1, b + 1), s);
        const int32 dl = d.left, dt = d.top, dr = d.right - 1, db = d.bottom - 1;
        pixelops::line(*device, CPoint(dl, dt), CPoint(dr, dt), dc, pen, dw, dotted);
        pixelops::line(*device, CPoint(dr, dt), CPoint(dr, db), dc, pen, dw, dotted);
        pixelops::line(*device, CPoint(dr, db), CPoint(dl, db), dc, pen, dw, dotted);
        pixelops::line(*device, CPoint(dl, db), CPoint(dl, dt), dc, pen, dw, dotted);
    }
    touched(CRect(l - lineWidth, t - lineWidth, rr + lineWidth + 1, b + lineWidth + 1));
}

void CDrawContext::copyFrom(const CRect& rect, CDrawContext* target, const CPoint& destination) {
    if (!target)
        return;
    PixelImage* src = getTargetImage();
    PixelImage* dst = target->getTargetImage();
    if (!src || !dst)
        return;
    CPoint from(rect.left + offset.x, rect.top + offset.y);
    CRect to(destination.x, destination.y, destination.x + rect.width(), destination.y + rect.height());
    to.offset(target->offset.x, target->offset.y);
    const CRect written = pixelops::copy(*dst, to, *src, from, target->clipRect);
    target->repeatCopy(*dst, written, *src, CPoint(from.x + written.left - to.left, from.y + written.top - to.top));
    target->touched(written);
}

void CDrawContext::repeatCopy(const PixelImage& dst, const CRect& written, const PixelImage& src, CPoint from) {
    PixelImage* device = deviceTwin(&dst);
    if (!device || written.isEmpty())
        return;
    const double s = deviceScale();
    if (PixelImage* deviceSrc = deviceTwin(&src)) {
        // Within the frame's own image: within its device image too.
        const CRect d = scaling::toDevice(written, s);
        pixelops::copy(*device, d, *deviceSrc,
                       CPoint(scaling::toDevice(from.x, s), scaling::toDevice(from.y, s)), device->bounds());
        return;
    }
    const CRect picture(from.x, from.y, from.x + written.width(), from.y + written.height());
    scaling::repeat(*device, s, written, from, picture, src, nullptr, scaling::Draw{});
}

double CDrawContext::deviceScale() const {
    return frame ? frame->getScaleFactor() : 1.0;
}

PixelImage* CDrawContext::deviceTwin(const PixelImage* target) const {
    return frame && target ? frame->getDeviceImageFor(target) : nullptr;
}

PixelImage* CDrawContext::getTargetImage() {
    if (surface)
        return surface->empty() ? nullptr : surface;
    return frame ? frame->getFrameImage() : nullptr;
}

void CDrawContext::touched(const CRect& targetRect) {
    CRect r = targetRect;
    r.bound(clipRect);  // nothing is drawn outside the clip
    if (r.isEmpty())
        return;
    pending = unite(pending, r);
}

CRect CDrawContext::takeTouched() {
    const CRect r = pending;
    pending = CRect();
    return r;
}

void CDrawContext::flush() {
    if (pending.isEmpty())
        return;
    CRect r = pending;
    pending = CRect();
    if (surface || !frame || !window || !frame->isOpen())
        return;
    PixelImage* img = frame->getFrameImage();
    if (!img)
        return;
    r.bound(img->bounds());
    if (r.isEmpty())
        return;
    frame->presentRect(r);
}

void CDrawContext::repeatImage(const PixelImage& dst, const CRect& r, const CRect& written, const PixelImage& image,
                               const CPoint& source, const PixelImage* twin, const scaling::Draw& how) {
    PixelImage* device = deviceTwin(&dst);
    if (!device || written.isEmpty())
        return;
    const CPoint from(source.x + written.left - r.left, source.y + written.top - r.top);
    const CRect picture(source.x, source.y, source.x + r.width(), source.y + r.height());
    scaling::repeat(*device, deviceScale(), written, from, picture, image, twin, how);
}

void CDrawContext::drawImageOpaque(const PixelImage& image, const CRect& rect, const CPoint& source,
                                   const PixelImage* twin) {
    PixelImage* dst = getTargetImage();
    if (!dst)
        return;
    CRect r = rect;
    r.offset(offset.x, offset.y);
    const CRect written = pixelops::copy(*dst, r, image, source, clipRect);
    repeatImage(*dst, r, written, image, source, twin, scaling::Draw{});
    touched(written);
}

void CDrawContext::drawImageKeyed(const PixelImage& image, const CRect& rect, const CPoint& source, Bgra key,
                                  const PixelImage* twin) {
    PixelImage* dst = getTargetImage();
    if (!dst)
        return;
    CRect r = rect;
    r.offset(offset.x, offset.y);
    const CRect written = pixelops::copyKeyed(*dst, r, image, source, clipRect, key);
    scaling::Draw how;
    how.mode = scaling::Mode::keyed;
    how.key = key;
    repeatImage(*dst, r, written, image, source, twin, how);
    touched(written);
}

void CDrawContext::drawImageBlend(const PixelImage& image, const CRect& rect, const CPoint& source, uint8_t alpha,
                                  bool useSourceAlpha, const PixelImage* twin) {
    PixelImage* dst = getTargetImage();
    if (!dst)
        return;
    CRect r = rect;
    r.offset(offset.x, offset.y);
    const CRect written = pixelops::blend(*dst, r, image, source, clipRect, alpha, useSourceAlpha);
    scaling::Draw how;
    how.mode = scaling::Mode::blend;
    how.alpha = alpha;
    how.useSourceAlpha = useSourceAlpha;
    repeatImage(*dst, r, written, image, source, twin, how);
    touched(written);
}

// ---------------------------------------------------------------------------

COffscreenContext::COffscreenContext(CFrame* owner, int32 w, int32 h, const CColor& background)
    : CDrawContext(nullptr, owner, nullptr), width(std::abs(w)), height(std::abs(h)), backgroundColor(background) {
    clipRect = CRect(0, 0, width, height);
    if (image.allocate(width, height)) {
        pixelops::fill(image, clipRect, clipRect, opaqueBgra(backgroundColor));
    }
}

PixelImage* COffscreenContext::getTargetImage() {
    return image.empty() ? nullptr : &image;
}

void COffscreenContext::copyTo(const CRect& rect, CDrawContext* target, const CPoint& source) {
    if (!target || image.empty())
        return;
    PixelImage* dst = target->getTargetImage();
    if (!dst)
        return;
    CRect to = rect;
    to.offset(target->getOffset().x, target->getOffset().y);
    CRect clip;
    target->getClipRect(clip);
    clip.offset(target->getOffset().x, target->getOffset().y);
    const CRect written = pixelops::copy(*dst, to, image, source, clip);
    target->repeatCopy(*dst, written, image,
                       CPoint(source.x + written.left - to.left, source.y + written.top - to.top));
    target->touched(written);
}

}  // namespace VSTGUI
