#include "gui/CFrame.h"

#include "gui/CDragContainer.h"
#include "gui/CDrawContext.h"
#include "gui/PixelImage.h"
#include "gui/ScaledDrawing.h"

#include <cstring>

namespace VSTGUI {

namespace {

// The drag in progress over any frame (one drag at a time).
CDragContainer* currentDrag = nullptr;

void releaseCurrentDrag() {
    if (currentDrag)
        currentDrag->forget();
    currentDrag = nullptr;
}

// Keeps a frame alive across a handler that may call out to the editor and
// the host (which may close the editor meanwhile).
struct FrameHold {
    explicit FrameHold(CFrame* f) : frame(f) { frame->remember(); }
    ~FrameHold() { frame->forget(); }
    FrameHold(const FrameHold&) = delete;
    FrameHold& operator=(const FrameHold&) = delete;
    CFrame* frame;
};

}  // namespace

// UI thread.
CFrame::CFrame(const CRect& r, void* parent, FrameEditor* owner)
    : CViewContainer(r, this, nullptr), editor(owner), parentWindow(parent) {
    platform().oleInitialize();
    if (editor && scaling::isUsableScale(editor->getScaleFactor()))
        scaleFactor = editor->getScaleFactor();
    if (parentWindow) {
        const CRect device = getDeviceSize();
        window = platform().createFrameWindow(parentWindow, device.width(), device.height(), this);
        if (window)
            setDropActive(true);
    }
}

CFrame::~CFrame() {
    if (modalView) {
        removeView(modalView, false);
        modalView = nullptr;
    }
    focusView = nullptr;
    if (cursorChanged && window)
        platform().setCursor(window, kCursorDefault);
    if (dropActive && window)
        platform().revokeDropTarget(window);
    dropActive = false;
    frameContext = nullptr;
    platform().oleUninitialize();
    releaseFrameOffscreen();
    if (window) {
        void* w = window;
        window = nullptr;
        platform().destroyFrameWindow(w);
    }
    // Children go while this is still a frame, so their removal sees one.
    removeAll(true);
    frame = nullptr;
}

// --- drawing -----------------------------------------------------------------

COffscreenContext* CFrame::getFrameOffscreen() {
    if (!frameOffscreen) {
        frameOffscreen = new COffscreenContext(this, size.width(), size.height(), backgroundColor);
        if (!frameOffscreen->isValid()) {
            frameOffscreen->forget();
            frameOffscreen = nullptr;
            return nullptr;
        }
        if (scaleFactor != 1.0) {
            const CRect device = getDeviceSize();
            deviceImage = new PixelImage;
            if (deviceImage->allocate(device.width(), device.height())) {
                pixelops::fill(*deviceImage, deviceImage->bounds(), deviceImage->bounds(),
                               opaqueBgra(backgroundColor));
            } else {
                releaseFrameOffscreen();  // no half of a frame image
            }
        }
    }
    return frameOffscreen;
}

void CFrame::releaseFrameOffscreen() {
    if (frameOffscreen)
        frameOffscreen->forget();
    frameOffscreen = nullptr;
    delete deviceImage;
    deviceImage = nullptr;
}

CRect CFrame::getDeviceSize() const {
    return CRect(0, 0, scaling::toDevice(size.width(), scaleFactor), scaling::toDevice(size.height(), scaleFactor));
}

PixelImage* CFrame::getDeviceImageFor(const PixelImage* target) {
    if (scaleFactor == 1.0 || !frameOffscreen || !deviceImage || target != &frameOffscreen->getImage())
        return nullptr;
    return deviceImage;
}

CPoint CFrame::deviceToFrame(int32 x, int32 y) const {
    if (scaleFactor == 1.0)
        return CPoint(x, y);
    return CPoint(scaling::toFrame(x, scaleFactor), scaling::toFrame(y, scaleFactor));
}

bool CFrame::setScaleFactor(double scale) {
    if (!scaling::isUsableScale(scale))
        return false;
    if (scale == scaleFactor)
        return true;
    scaleFactor = scale;
    releaseFrameOffscreen();
    if (window) {
        const CRect device = getDeviceSize();
        platform().resizeFrameWindow(window, device.width(), device.height());
    }
    setDirty(true);
    return true;
}

PixelImage* CFrame::getFrameImage() {
    COffscreenContext* off = getFrameOffscreen();
    return off ? off->getTargetImage() : nullptr;
}

void CFrame::presentRect(const CRect& rect) {
    if (!isOpen() || !frameOffscreen)
        return;
    CRect r = rect;
    r.bound(frameOffscreen->getImage().bounds());
    if (r.isEmpty())
        return;
    if (scaleFactor != 1.0) {
        if (!deviceImage)
            return;
        CRect d = scaling::toDevice(r, scaleFactor);
        d.bound(deviceImage->bounds());
        if (!d.isEmpty())
            platform().present(window, deviceImage->view(), PlatformRect{d.left, d.top, d.right, d.bottom});
        return;
    }
    platform().present(window, frameOffscreen->getImage().view(), PlatformRect{r.left, r.top, r.right, r.bottom});
}

void CFrame::draw(CDrawContext* context) {
    firstDraw = false;
    CViewContainer::draw(context);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
    firstDraw = false;
    CViewContainer::drawRect(context, updateRect);
}

bool CFrame::isOpen() const {
    return isOpenFlag && window != nullptr;
}

void CFrame::idle() {
    if (!isOpen() || firstDraw)
        return;
    if (!isDirty())
        return;
    FrameHold hold(this);
    CDrawContext* context = new CDrawContext(window, this);
    update(context);
    context->forget();  // presents what was drawn
}

void CFrame::update(CDrawContext* context) {
    if (!isOpen() || updatesDisabled || !context)
        return;
    COffscreenContext* off = getFrameOffscreen();
    if (!off)
        return;  // nothing to draw into
    CDrawContext* saved = frameContext;
    frameContext = off;

    // What this update changes in the off-screen image goes to the window,
    // in one copy once everything is drawn.
    off->takeTouched();
    if (dirty) {
        draw(off);
        setDirty(false);
    } else {
        if (modalView && modalView->isDirty())
            modalView->update(off);
        CRect oldClip;
        off->getClipRect(oldClip);
        for (size_t i = 0; i < children.size(); ++i) {
            CView* child = children[i];
            CRect clip;
            child->getViewSize(clip);
            clip.bound(oldClip);
            off->setClipRect(clip);
            child->update(off);
        }
        off->setClipRect(oldClip);
    }
    const CRect changed = off->takeTouched();
    if (!changed.isEmpty())
        off->copyFrom(changed, context, CPoint(changed.left + size.left, changed.top + size.top));
    frameContext = saved;
}

void CFrame::drawView(CView* view) {
    if (!isOpen())
        return;
    FrameHold hold(this);
    CDrawContext* context = new CDrawContext(window, this);
    if (view && view != this && isChild(view)) {
        CRect r;
        view->getViewSize(r);
        drawRect(context, r);  // the background under it and its neighbours too
    } else {
        draw(context);
    }
    context->forget();
}

void CFrame::invalidate(const CRect& rect) {
    for (size_t i = 0; i < children.size(); ++i) {
        CRect r;
        children[i]->getViewSize(r);
        if (r.rectOverlap(rect))
            children[i]->setDirty(true);
    }
}

bool CFrame::setUpdatesDisabled(bool flag) {
    const bool previous = updatesDisabled;
    updatesDisabled = flag;
    return previous;
}

bool CFrame::getUpdatesDisabled() const {
    return updatesDisabled;
}

// --- input -----------------------------------------------------------------

void CFrame::mouse(CDrawContext* context, CPoint& where, int32 buttons) {
    if (focusView)
        setFocusView(nullptr);
    if (buttons == -1 && context)
        buttons = context->getMouseButtons();
    if (modalView) {
        if (modalView->hitTest(where, buttons))
            modalView->mouse(context, where, buttons);
        return;
    }
    CViewContainer::mouse(context, where, buttons);
}

int32 CFrame::onKeyDown(VstKeyCode& key) {
    if (focusView) {
        const int32 r = focusView->onKeyDown(key);
        if (r != -1)
            return r;
    }
    if (modalView) {
        const int32 r = modalView->onKeyDown(key);
        if (r != -1)
            return r;
    }
    if (key.virt == VKEY_TAB)
        return advanceFocus(focusView, (key.modifier & MODIFIER_SHIFT) != 0) ? 1 : -1;
    return -1;
}

int32 CFrame::onKeyUp(VstKeyCode& key) {
    if (focusView) {
        const int32 r = focusView->onKeyUp(key);
        if (r != -1)
            return r;
    }
    if (modalView) {
        const int32 r = modalView->onKeyUp(key);
        if (r != -1)
            return r;
    }
    return -1;
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) {
    CView* view = modalView ? modalView : getViewAt(where, false);
    if (!view)
        return false;
    if (context)
        return view->onWheel(context, where, axis, distance);
    CDrawContext* own = new CDrawContext(window, this);
    const bool result = view->onWheel(own, where, axis, distance);
    own->forget();
    return result;
}

bool CFrame::advanceFocus(CView* oldFocus, bool reverse) {
    if (modalView)
        return false;
    if (!oldFocus)
        oldFocus = focusView;
    return CViewContainer::advanceFocus(oldFocus, reverse);
}

bool CFrame::getCurrentLocation(CPoint& where) {
    int32 x = 0, y = 0, ox = 0, oy = 0;
    platform().getCursorPosition(x, y);
    if (window)
        platform().getWindowOrigin(window, ox, oy);
    where = deviceToFrame(x - ox, y - oy);
    return true;
}

CView* CFrame::getCurrentView() const {
    if (modalView)
        return modalView;
    return CViewContainer::getCurrentView();
}

void CFrame::setFocusView(CView* view) {
    CView* previous = focusView;
    focusView = view;
    if (focusView && focusView->getWantsFocus())
        focusView->setDirty(true);
    if (previous && previous != view) {
        previous->looseFocus(nullptr);
        if (previous->getWantsFocus())
            previous->setDirty(true);
    }
}

CView* CFrame::getFocusView() const {
    return focusView;
}

int32 CFrame::setModalView(CView* view) {
    if (modalView && view)
        return 0;
    if (modalView)
        removeView(modalView, false);
    modalView = view;
    if (modalView)
        addView(modalView);
    return 1;
}

CView* CFrame::getModalView() const {
    return modalView;
}

// --- editor ------------------------------------------------------------------

void CFrame::beginEdit(int32 index) {
    if (editor)
        editor->beginEdit(index);
}

void CFrame::endEdit(int32 index) {
    if (editor)
        editor->endEdit(index);
}

void CFrame::requestIdle() {
    if (editor)
        editor->runIdle();
}

uint32_t CFrame::getTicks() const {
    return editor ? platform().getTicks() : 0;
}

int32 CFrame::getKnobMode() const {
    return editor ? editor->getKnobMode() : 0;
}

FrameEditor* CFrame::getEditor() const {
    return editor;
}

bool CFrame::isTypeOf(const char* name) const {
    return (name && std::strcmp(name, "CFrame") == 0) || CViewContainer::isTypeOf(name);
}

// --- window ------------------------------------------------------------------

bool CFrame::openOwnWindow() {
    return false;
}  // the frame always lives in the host's window
bool CFrame::closeOwnWindow() {
    return ownsTopWindow;
}

bool CFrame::setPosition(int32, int32) {
    return false;
}

bool CFrame::getPosition(int32& x, int32& y) const {
    x = size.left;
    y = size.top;
    return true;
}

void CFrame::setViewSize(const CRect& rect) {
    setSize(rect.width(), rect.height());
}

bool CFrame::setSize(int32 width, int32 height) {
    if (!isOpen())
        return false;
    if (width == size.width() && height == size.height())
        return false;
    if (width <= 0 || height <= 0 || width > PixelImage::kMaxSide || height > PixelImage::kMaxSide)
        return false;
    releaseFrameOffscreen();
    if (editor && editor->sizeWindow(width, height)) {
        size.right = size.left + width;
        size.bottom = size.top + height;
        mouseArea = size;
        platform().resizeFrameWindow(window, getDeviceSize().width(), getDeviceSize().height());
        setDirty(true);
        return true;
    }
    platform().resizeFrameWindow(window, scaling::toDevice(width, scaleFactor), scaling::toDevice(height, scaleFactor));
    CViewContainer::setViewSize(CRect(0, 0, width, height));
    mouseArea = size;
    return true;
}

bool CFrame::getSize(CRect* rect) const {
    if (!rect)
        return false;
    *rect = size;
    return true;
}

bool CFrame::getSize(CRect& rect) const {
    rect = size;
    return true;
}

void CFrame::setCursor(int32 type) {
    if (!window)
        return;
    switch (type) {
        case kCursorWait:
        case kCursorHSize:
        case kCursorVSize:
        case kCursorSizeAll:
        case kCursorNESWSize:
        case kCursorNWSESize:
        case kCursorNotAllowed:
        case kCursorHand:
            cursorChanged = true;
            platform().setCursor(window, type);
            break;
        default:
            platform().setCursor(window, kCursorDefault);
            break;
    }
}

bool CFrame::setDropActive(bool flag) {
    if (!dropActive && !flag)
        return true;
    if (!window)
        return false;
    if (dropActive)
        platform().revokeDropTarget(window);
    if (flag)
        flag = platform().registerDropTarget(window);
    dropActive = flag;
    return true;
}

bool CFrame::isDropActive() const {
    return dropActive;
}
void CFrame::setOpenFlag(bool flag) {
    isOpenFlag = flag;
}
bool CFrame::getOpenFlag() const {
    return isOpenFlag;
}

// --- platform events -----------------------------------------------------------

void CFrame::platformPaint(const PlatformRect& invalid) {
    if (!isOpen())
        return;
    CRect r(invalid.left, invalid.top, invalid.right, invalid.bottom);
    if (scaleFactor != 1.0)
        r = scaling::toFrameCovering(r, scaleFactor);
    r.bound(localArea());
    if (r.isEmpty())
        return;
    FrameHold hold(this);
    COffscreenContext* off = getFrameOffscreen();
    if (!off)
        return;
    drawRect(off, r);
    presentRect(r);
}

void CFrame::platformButtonPress(int32_t x, int32_t y, int32_t) {
    if (!isOpen())
        return;
    FrameHold hold(this);
    CDrawContext* context = new CDrawContext(window, this);
    CPoint where = deviceToFrame(x, y);
    mouse(context, where, -1);
    context->forget();
}

void CFrame::platformWheel(int32_t x, int32_t y, bool screenCoordinates, float distance) {
    if (!isOpen())
        return;
    FrameHold hold(this);
    CDrawContext* context = new CDrawContext(window, this);
    CPoint where(x, y);
    if (screenCoordinates) {
        const CPoint origin = context->getWindowOrigin();
        where.offset(-origin.x, -origin.y);
    }
    where = deviceToFrame(where.x, where.y);
    onWheel(context, where, kMouseWheelAxisY, distance);
    context->forget();
}

void CFrame::platformScaleChanged(double scale) {
    if (editor && isOpen())
        editor->screenScaleChanged(scale);
}

void CFrame::platformWindowDestroyed() {
    setOpenFlag(false);
    parentWindow = nullptr;
    window = nullptr;
    dropActive = false;
}

int32_t CFrame::platformDrag(PlatformDragEvent event, const std::vector<std::string>* files) {
    if (event == PlatformDragEvent::enter) {
        if (!files)
            return 0;
        releaseCurrentDrag();
        currentDrag = new CDragContainer(*files);
    } else if (!currentDrag) {
        return 0;
    }
    FrameHold hold(this);
    CDrawContext* context = new CDrawContext(window, this);
    CPoint where;
    getMouseLocation(context, where);
    CDragContainer* drag = currentDrag;
    drag->remember();
    int32_t effect = 2;  // move
    switch (event) {
        case PlatformDragEvent::enter:
            onDragEnter(context, drag, where);
            break;
        case PlatformDragEvent::over:
            onDragMove(context, drag, where);
            break;
        case PlatformDragEvent::leave:
            onDragLeave(context, drag, where);
            if (currentDrag == drag)
                releaseCurrentDrag();
            effect = 0;
            break;
        case PlatformDragEvent::drop:
            onDrop(context, drag, where);
            if (currentDrag == drag)
                releaseCurrentDrag();
            break;
    }
    drag->forget();
    context->forget();
    return effect;
}

}  // namespace VSTGUI
