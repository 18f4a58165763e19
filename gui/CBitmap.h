// Images from the library's resources: PNG (decoded with libpng, kept
// premultiplied, drawn by alpha blending) or a plain bitmap (a packed 24-bit
// DIB, drawn as an opaque or colour-keyed copy).
#pragma once

#include "gui/CReferenceCounter.h"
#include "gui/PixelImage.h"
#include "gui/VSTGUITypes.h"

#include <cstddef>
#include <cstdint>

namespace VSTGUI {

class CDrawContext;

class CBitmap : public CReferenceCounter {
public:
    // The image drawn at twice the resolution, for screens at a scale above
    // 1, is the resource at this id plus the id of the 1x image.
    static constexpr int32 kDoubleResolutionIdOffset = 1000;

    // Loads resource `resourceId` (PNG first, then bitmap); a missing or
    // broken resource leaves a 0 x 0 image that draws nothing.
    explicit CBitmap(int32 resourceId);
    // An empty image (for loading from memory).
    CBitmap();
    ~CBitmap() override;

    // All drawing: into `rect` of the context, `offset` being the source
    // point in the image. UI thread.
    virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
    virtual void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
    virtual void drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(),
                                uint8_t alpha = 128);
    // Frees the pixels, clears noAlpha, size 0 x 0.
    virtual void dispose();
    virtual bool loadFromResource(int32 id);
    // Files are not supported: disposes and answers false.
    virtual bool loadFromPath(const void* path);

    // Decoders behind loadFromResource, also usable on bytes in memory.
    // PNG: answers true when the whole image decoded; after a decoding error
    // the image keeps the rows it got (premultiplied) and answers false.
    bool loadFromPngData(const uint8_t* data, size_t size);
    // Packed DIB (BITMAPINFOHEADER + optional colour table + pixels), 24 or
    // 32 bits per pixel, uncompressed, bottom-up or top-down.
    bool loadFromDibData(const uint8_t* data, size_t size);

    // The double-resolution twin from memory (PNG or DIB, as the 1x image);
    // it is used only when it is exactly twice the 1x size.
    bool loadDoubleFromPngData(const uint8_t* data, size_t size);
    bool loadDoubleFromDibData(const uint8_t* data, size_t size);
    bool hasDouble() const { return !doublePixels.empty(); }
    const PixelImage& getDoubleStore() const { return doublePixels; }

    int32 getWidth() const { return width; }
    int32 getHeight() const { return height; }
    int32 getResourceId() const { return resourceId; }
    bool isLoaded() const { return !pixels.empty(); }
    bool getNoAlpha() const { return noAlpha; }
    void setNoAlpha(bool state) { noAlpha = state; }
    void setTransparentColor(const CColor& color) { transparentColor = color; }
    CColor getTransparentColor() const { return transparentColor; }
    const PixelImage& getPixelStore() const { return pixels; }

private:
    int32 resourceId = 0;
    int32 width = 0;
    int32 height = 0;
    CColor transparentColor{255, 255, 255, 0};
    bool noAlpha = true;
    PixelImage pixels;
    PixelImage doublePixels;  // empty when there is no usable twin

    const PixelImage* twin() const;
};

}  // namespace VSTGUI
