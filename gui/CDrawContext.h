// Drawing contexts. A context draws with the toolkit's compositor into a
// pixel image: an off-screen context into its own image; a context on a
// window into the frame's off-screen image, handing what it touched to the
// platform (present) when it is flushed or released, so the window never
// shows a half-drawn state.
#pragma once

#include "gui/CReferenceCounter.h"
#include "gui/PixelImage.h"
#include "gui/ScaledDrawing.h"
#include "gui/VSTGUITypes.h"

namespace VSTGUI {

class CFrame;

enum CLineStyle : int32 { kLineSolid = 0, kLineOnOffDash = 1 };
enum CDrawMode : int32 { kCopyMode = 0, kOrMode = 1, kXorMode = 2 };

// Font identifiers and their sizes: 0..6 "Arial", 7 "Symbol". Text is not
// drawn by any view here; the context keeps the selection only.
enum CFont : int32 {
    kSystemFont = 0,
    kNormalFontVeryBig,
    kNormalFontBig,
    kNormalFont,
    kNormalFontSmall,
    kNormalFontSmaller,
    kNormalFontVerySmall,
    kSymbolFont,
    kNumStandardFonts
};
enum CTxtFace : int32 { kNormalFace = 0, kBoldFace = 1, kItalicFace = 2, kUnderlineFace = 4 };
int32 standardFontSize(int32 fontId);
const char* standardFontFace(int32 fontId);

class CDrawContext : public CReferenceCounter {
public:
    // A context on `window` of `frame`. With `surface`, it draws into that
    // image instead (the caller keeps it alive) and presents nothing.
    CDrawContext(void* window, CFrame* frame, PixelImage* surface = nullptr);
    ~CDrawContext() override;

    // Current button and modifier mask (1, 2, 4 buttons; 8 Shift, 16 Control,
    // 32 Alt; primary is always 1).
    int32 getMouseButtons();

    // Clip, in the caller's (offset) coordinates; stored in target coordinates.
    void setClipRect(const CRect& clip);
    CRect& getClipRect(CRect& clip) const;
    void resetClipRect();

    void setFrameColor(const CColor& color);
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color);
    CColor getFillColor() const { return fillColor; }
    void setFontColor(const CColor& color) { fontColor = color; }
    CColor getFontColor() const { return fontColor; }
    void setLineWidth(int32 width);
    int32 getLineWidth() const { return lineWidth; }
    void setLineStyle(CLineStyle style);
    CLineStyle getLineStyle() const { return lineStyle; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    CDrawMode getDrawMode() const { return drawMode; }
    void setFont(int32 fontId, int32 size = 0, int32 style = 0);
    int32 getFont() const { return fontId; }
    int32 getFontSize() const { return fontSize; }

    void moveTo(const CPoint& point);
    void lineTo(const CPoint& point);
    CPoint getPenLocation() const { return penLoc; }
    // Fills left + 1 .. right, top + 1 .. bottom (column and row left for an outline).
    void fillRect(const CRect& rect);
    // Outline through left, top and right - 1, bottom - 1.
    void drawRect(const CRect& rect);

    // Copies `rect` of this context to `target` at `destination`.
    void copyFrom(const CRect& rect, CDrawContext* target, const CPoint& destination);

    CPoint getOffset() const { return offset; }
    void setOffset(const CPoint& o) { offset = o; }
    CPoint getWindowOrigin() const { return windowOrigin; }
    void setWindowOrigin(const CPoint& o) { windowOrigin = o; }
    void* getWindow() const { return window; }
    CFrame* getFrame() const { return frame; }

    // The image this context draws into, or null when it has none.
    virtual PixelImage* getTargetImage();
    // Hands what was drawn since the last flush to the window.
    void flush();

    // Image drawing used by CBitmap; rect in caller coordinates, source point
    // in the image. `twin` is the image drawn at twice the resolution (or
    // null), used where the frame shows at a scale above 1.
    void drawImageOpaque(const PixelImage& image, const CRect& rect, const CPoint& source,
                         const PixelImage* twin = nullptr);
    void drawImageKeyed(const PixelImage& image, const CRect& rect, const CPoint& source, Bgra key,
                        const PixelImage* twin = nullptr);
    void drawImageBlend(const PixelImage& image, const CRect& rect, const CPoint& source, uint8_t alpha,
                        bool useSourceAlpha, const PixelImage* twin = nullptr);

    // The screen position of the window when the context was made (the
    // window origin before containers shifted it).
    CPoint getScreenOrigin() const { return screenOrigin; }

    // Marks a target rectangle as changed (window contexts present it later).
    void touched(const CRect& targetRect);
    // The bounding rectangle changed since the last call (target coordinates).
    CRect takeTouched();

    // Repeats in the frame's device image a copy of `src` (from `from`) that
    // wrote `written` of `dst`; nothing when `dst` has no device image.
    void repeatCopy(const PixelImage& dst, const CRect& written, const PixelImage& src, CPoint from);

protected:
    void repeatImage(const PixelImage& dst, const CRect& r, const CRect& written, const PixelImage& image,
                     const CPoint& source, const PixelImage* twin, const scaling::Draw& how);
    // The frame's device-resolution image standing for `target`, or null
    // when the frame shows at scale 1 or `target` is not the frame's image.
    PixelImage* deviceTwin(const PixelImage* target) const;
    double deviceScale() const;

    CPoint windowOrigin;
    CPoint screenOrigin;
    CPoint offset;
    void* window = nullptr;
    CFrame* frame = nullptr;
    PixelImage* surface = nullptr;
    CColor frameColor = kWhiteCColor;
    CColor fillColor = kBlackCColor;
    CColor fontColor = kWhiteCColor;
    int32 lineWidth = 1;
    CLineStyle lineStyle = kLineSolid;
    CDrawMode drawMode = kCopyMode;
    CRect clipRect;
    int32 fontId = kSystemFont;
    int32 fontSize = 12;
    int32 fontStyle = kBoldFace;
    CPoint penLoc;
    // Pen and brush as stored pixels, rebuilt only when a colour changes.
    Bgra pen;
    Bgra brush;
    CRect pending;  // target area drawn since the last flush / takeTouched
};

class COffscreenContext : public CDrawContext {
public:
    // A width x height image (an inverted size is normalised) filled with
    // `backgroundColor`. When the memory cannot be had it has no image and
    // draws nothing; isValid() tells.
    COffscreenContext(CFrame* frame, int32 width, int32 height, const CColor& backgroundColor = kBlackCColor);

    bool isValid() const { return !image.empty(); }
    int32 getWidth() const { return width; }
    int32 getHeight() const { return height; }
    CColor getBackgroundColor() const { return backgroundColor; }

    PixelImage* getTargetImage() override;
    // Copies this image from `source` into `rect` of `target`.
    void copyTo(const CRect& rect, CDrawContext* target, const CPoint& source);

    PixelImage& getImage() { return image; }

private:
    int32 width = 0;
    int32 height = 0;
    CColor backgroundColor;
    PixelImage image;
};

}  // namespace VSTGUI
