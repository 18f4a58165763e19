#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/ImageDecoders.h"
#include "gui/platform/Platform.h"

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
    noAlpha = false;
    width = height = 0;
}

bool CBitmap::loadFromResource(int32 id) {
    dispose();
    const ResourceBytes png = platform().findResource("PNG", id);
    if (png.data && png.size > 0)
        return loadFromPngData(png.data, png.size);
    const ResourceBytes dib = platform().findResource("BITMAP", id);
    if (!dib.data || dib.size == 0)
        return false;
    return loadFromDibData(dib.data, dib.size);
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
    context->drawImageOpaque(pixels, rect, offset);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!context || pixels.empty())
        return;
    if (!noAlpha) {
        drawAlphaBlend(context, rect, offset, 255);
        return;
    }
    context->drawImageKeyed(pixels, rect, offset,
                            Bgra{transparentColor.blue, transparentColor.green, transparentColor.red, 255});
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset, uint8_t alpha) {
    if (!context || pixels.empty())
        return;
    context->drawImageBlend(pixels, rect, offset, alpha, !noAlpha);
}

}  // namespace VSTGUI
