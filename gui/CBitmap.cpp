#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/ImageDecoders.h"
#include "gui/platform/Platform.h"

#include <utility>

namespace VSTGUI {

// UI thread.
CBitmap::CBitmap(int32 id) : resourceId(id) {
    loadFromResource(id);
    transparentColor = CColor{255, 255, 255, 0};
}

CBitmap::CBitmap() = default;

CBitmap::~CBitmap() = default;

void CBitmap::dispose() {
    pixels.clear();
    doublePixels.clear();
    noAlpha = false;
    width = height = 0;
}

bool CBitmap::loadFromResource(int32 id) {
    dispose();
    const ResourceBytes png = platform().findResource("PNG", id);
    if (png.data && png.size > 0) {
        const bool ok = loadFromPngData(png.data, png.size);
        const ResourceBytes twinPng = platform().findResource("PNG", id + kDoubleResolutionIdOffset);
        if (twinPng.data && twinPng.size > 0 && id >= 0 && id < kDoubleResolutionIdOffset)
            loadDoubleFromPngData(twinPng.data, twinPng.size);
        return ok;
    }
    const ResourceBytes dib = platform().findResource("BITMAP", id);
    if (!dib.data || dib.size == 0)
        return false;
    const bool ok = loadFromDibData(dib.data, dib.size);
    const ResourceBytes twinDib = platform().findResource("BITMAP", id + kDoubleResolutionIdOffset);
    if (ok && twinDib.data && twinDib.size > 0 && id >= 0 && id < kDoubleResolutionIdOffset)
        loadDoubleFromDibData(twinDib.data, twinDib.size);
    return ok;
}

bool CBitmap::loadDoubleFromPngData(const uint8_t* data, size_t size) {
    doublePixels.clear();
    PixelImage decoded;
    if (decoders::decodePng(data, size, decoded) != decoders::PngResult::ok)
        return false;
    decoders::premultiply(decoded);
    if (decoded.width() != width * 2 || decoded.height() != height * 2)
        return false;
    std::swap(doublePixels, decoded);
    return true;
}

bool CBitmap::loadDoubleFromDibData(const uint8_t* data, size_t size) {
    doublePixels.clear();
    PixelImage decoded;
    if (!decoders::decodeDib(data, size, decoded))
        return false;
    if (decoded.width() != width * 2 || decoded.height() != height * 2)
        return false;
    std::swap(doublePixels, decoded);
    return true;
}

const PixelImage* CBitmap::twin() const {
    return doublePixels.empty() ? nullptr : &doublePixels;
}

bool CBitmap::loadFromPath(const void*) {
    dispose();
    return false;
}

bool CBitmap::loadFromPngData(const uint8_t* data, size_t size) {
    dispose();
    const decoders::PngResult result = decoders::decodePng(data, size, pixels);
    // The reported size always matches the pixels held: an image whose store
    // could not be made is 0 x 0, one that broke off keeps its rows.
    width = pixels.width();
    height = pixels.height();
    decoders::premultiply(pixels);
    noAlpha = false;
    return result == decoders::PngResult::ok;
}

bool CBitmap::loadFromDibData(const uint8_t* data, size_t size) {
    dispose();
    if (!decoders::decodeDib(data, size, pixels))
        return false;
    width = pixels.width();
    height = pixels.height();
    noAlpha = true;
    return true;
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!context || pixels.empty())
        return;
    if (!noAlpha) {
        drawAlphaBlend(context, rect, offset, 255);
        return;
    }
    context->drawImageOpaque(pixels, rect, offset, twin());
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!context || pixels.empty())
        return;
    if (!noAlpha) {
        drawAlphaBlend(context, rect, offset, 255);
        return;
    }
    context->drawImageKeyed(pixels, rect, offset,
                            Bgra{transparentColor.blue, transparentColor.green, transparentColor.red, 255}, twin());
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset, uint8_t alpha) {
    if (!context || pixels.empty())
        return;
    context->drawImageBlend(pixels, rect, offset, alpha, !noAlpha, twin());
}

}  // namespace VSTGUI
