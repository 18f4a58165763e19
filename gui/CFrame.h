// The root of the view tree: bound to one child window of the host's editor
// window (through the platform layer) and to one editor. It turns paint,
// press, wheel and key input into view calls, tracks what is dirty and
// redraws it at idle through one frame-sized off-screen image.
#pragma once

#include "gui/CView.h"
#include "gui/FrameEditor.h"
#include "gui/platform/Platform.h"

namespace VSTGUI {

class PixelImage;

class CFrame : public CViewContainer, public FrameWindowSink {
public:
    // Creates the frame and, with a parent window, its child window at once.
    // Destroy it with forget() (a press being handled holds it meanwhile).
    CFrame(const CRect& size, void* parentWindow, FrameEditor* editor);
    ~CFrame() override;

    using CViewContainer::onWheel;

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    void mouse(CDrawContext* context, CPoint& where, int32 buttons = -1) override;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    void setViewSize(const CRect& rect) override;
    FrameEditor* getEditor() const override;
    bool isTypeOf(const char* name) const override;
    void update(CDrawContext* context) override;
    CView* getCurrentView() const override;
    bool advanceFocus(CView* oldFocus, bool reverse) override;

    virtual bool openOwnWindow();
    virtual bool closeOwnWindow();
    virtual bool isOpen() const;
    // Redraws what is dirty (nothing before the first paint). UI thread.
    virtual void idle();
    virtual void requestIdle();
    virtual uint32_t getTicks() const;
    virtual int32 getKnobMode() const;
    virtual bool setPosition(int32 x, int32 y);
    virtual bool getPosition(int32& x, int32& y) const;
    virtual bool setSize(int32 width, int32 height);
    virtual bool getSize(CRect* rect) const;
    virtual bool getSize(CRect& rect) const;
    virtual int32 setModalView(CView* view);
    virtual CView* getModalView() const;
    virtual void beginEdit(int32 index);
    virtual void endEdit(int32 index);
    virtual bool getCurrentLocation(CPoint& where);
    virtual void setCursor(int32 type);
    virtual void setFocusView(CView* view);
    virtual CView* getFocusView() const;
    virtual bool setDropActive(bool flag);
    virtual bool isDropActive() const;
    virtual void setOpenFlag(bool flag);
    virtual bool getOpenFlag() const;
    virtual void invalidate(const CRect& rect);
    virtual bool setUpdatesDisabled(bool flag);
    virtual bool getUpdatesDisabled() const;
    virtual void drawView(CView* view);

    // The screen scale: views keep frame pixels, the window is `scale` times
    // the frame's size (rounded) and shows images drawn at that resolution.
    // Refused (false) outside 1..4 or not finite; resizes an open window.
    // UI thread.
    bool setScaleFactor(double scale);
    double getScaleFactor() const { return scaleFactor; }
    // The window's size in device pixels.
    CRect getDeviceSize() const;
    // The device-resolution image that stands for `target` when `target` is
    // the frame's off-screen image and the scale is not 1; else null.
    PixelImage* getDeviceImageFor(const PixelImage* target);
    // A point in the window's device pixels as frame pixels.
    CPoint deviceToFrame(int32 x, int32 y) const;

    void* getWindow() const { return window; }
    void* getParentWindow() const { return parentWindow; }
    CDrawContext* getFrameContext() const { return frameContext; }
    // The frame-sized off-screen image, made on first use; null when it
    // cannot be made.
    PixelImage* getFrameImage();
    // Puts `rect` of the off-screen image on the window.
    void presentRect(const CRect& rect);

    // Platform events (FrameWindowSink).
    void platformPaint(const PlatformRect& invalid) override;
    void platformButtonPress(int32_t x, int32_t y, int32_t button) override;
    void platformWheel(int32_t x, int32_t y, bool screenCoordinates, float distance) override;
    void platformWindowDestroyed() override;
    int32_t platformDrag(PlatformDragEvent event, const std::vector<std::string>* files) override;
    // Handed to the editor, which sets the scale it accepts.
    void platformScaleChanged(double scale) override;

private:
    COffscreenContext* getFrameOffscreen();
    void releaseFrameOffscreen();

    FrameEditor* editor = nullptr;
    void* parentWindow = nullptr;
    CView* modalView = nullptr;
    CView* focusView = nullptr;
    bool firstDraw = true;
    bool isOpenFlag = true;
    bool dropActive = false;
    bool updatesDisabled = false;
    void* window = nullptr;
    COffscreenContext* frameOffscreen = nullptr;
    PixelImage* deviceImage = nullptr;  // with frameOffscreen, when scaleFactor != 1
    double scaleFactor = 1.0;
    CDrawContext* frameContext = nullptr;
    bool ownsTopWindow = false;
    bool cursorChanged = false;
};

}  // namespace VSTGUI
