#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/platform/Platform.h"

#include <cstring>

namespace VSTGUI {

const char* const kMsgCheckIfViewContainer = "kMsgCheckIfViewContainer";

// ---------------------------------------------------------------------------
// CView

CView::CView(const CRect& r) : size(r), mouseArea(r) {}

CView::~CView() {
    if (background)
        background->forget();
}

void CView::draw(CDrawContext* context) {
    if (background && context) {
        if (transparent)
            background->drawTransparent(context, size);
        else
            background->draw(context, size);
    }
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect&) {
    draw(context);
}

bool CView::checkUpdate(const CRect& rect) const {
    return size.rectOverlap(rect);
}

void CView::mouse(CDrawContext*, CPoint&, int32) {}

void CView::setBackground(CBitmap* bitmap) {
    if (bitmap)
        bitmap->remember();
    if (background)
        background->forget();
    background = bitmap;
    setDirty(true);
}

CBitmap* CView::getBackground() const {
    return background;
}

int32 CView::onKeyDown(VstKeyCode&) {
    return -1;
}
int32 CView::onKeyUp(VstKeyCode&) {
    return -1;
}

bool CView::onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis, float distance) {
    return onWheel(context, where, distance);
}

bool CView::onWheel(CDrawContext*, const CPoint&, float) {
    return false;
}

bool CView::onDrop(CDrawContext*, CDragContainer*, const CPoint&) {
    return false;
}
void CView::onDragEnter(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::onDragLeave(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::onDragMove(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::looseFocus(CDrawContext*) {}
void CView::takeFocus(CDrawContext*) {}

bool CView::isDirty() const {
    return dirty;
}
void CView::setDirty(bool flag) {
    dirty = flag;
}
void CView::setMouseEnabled(bool flag) {
    mouseEnabled = flag;
}
bool CView::getMouseEnabled() const {
    return mouseEnabled;
}
void CView::setMouseArea(const CRect& rect) {
    mouseArea = rect;
}
CRect& CView::getMouseArea(CRect& rect) const {
    return rect = mouseArea;
}
bool CView::hitTest(const CPoint& where, int32) {
    return mouseArea.pointInside(where);
}
void CView::setTransparency(bool flag) {
    transparent = flag;
}
bool CView::getTransparency() const {
    return transparent;
}

void CView::setViewSize(const CRect& rect) {
    size = rect;
    setDirty(true);
}

CRect& CView::getViewSize(CRect& rect) const {
    return rect = size;
}

bool CView::removed(CView*) {
    return true;
}
bool CView::attached(CView*) {
    return true;
}

void CView::getMouseLocation(CDrawContext* context, CPoint& point) {
    if (!context) {
        // No context to carry the window origin: ask the frame and convert.
        if (frame) {
            frame->getCurrentLocation(point);
            if (parent)
                parent->frameToLocal(point);
        }
        return;
    }
    if (parent && parent->notify(this, kMsgCheckIfViewContainer) == 1) {
        const CPoint origin = context->getWindowOrigin();
        const CPoint off = context->getOffset();
        CRect parentSize;
        parent->getViewSize(parentSize);
        context->setWindowOrigin(CPoint(origin.x + parentSize.left, origin.y + parentSize.top));
        context->setOffset(CPoint(off.x + parentSize.left, off.y + parentSize.top));
        parent->getMouseLocation(context, point);
        context->setWindowOrigin(origin);
        context->setOffset(off);
        return;
    }
    int32 x = 0, y = 0;
    platform().getCursorPosition(x, y);
    const CPoint origin = context->getWindowOrigin();
    if (frame && frame->getScaleFactor() != 1.0) {
        // Device pixels from the window's corner, then the containers' shift
        // (frame pixels) taken off.
        const CPoint screen = context->getScreenOrigin();
        const CPoint p = frame->deviceToFrame(x - screen.x, y - screen.y);
        point = CPoint(p.x - (origin.x - screen.x), p.y - (origin.y - screen.y));
        return;
    }
    point = CPoint(x - origin.x, y - origin.y);
}

CPoint& CView::frameToLocal(CPoint& point) const {
    if (parent && parent->isTypeOf("CViewContainer"))
        return parent->frameToLocal(point);
    return point;
}

CPoint& CView::localToFrame(CPoint& point) const {
    if (parent && parent->isTypeOf("CViewContainer"))
        return parent->localToFrame(point);
    return point;
}

FrameEditor* CView::getEditor() const {
    return frame ? frame->getEditor() : nullptr;
}

int32 CView::notify(CView*, const char*) {
    return 0;
}

void CView::redrawRect(CDrawContext* context, const CRect& rect) {
    if (parent)
        parent->redrawRect(context, rect);
    else if (frame)
        frame->drawRect(context, rect);
}

bool CView::getWantsFocus() const {
    return wantsFocus;
}
void CView::setWantsFocus(bool flag) {
    wantsFocus = flag;
}

bool CView::isTypeOf(const char* name) const {
    return name && std::strcmp(name, "CView") == 0;
}

void CView::update(CDrawContext* context) {
    if (!isDirty())
        return;
    if (context)
        redrawRect(context, size);
    else if (frame)
        frame->drawView(this);
    setDirty(false);
}

}  // namespace VSTGUI
