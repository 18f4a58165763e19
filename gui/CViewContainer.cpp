// CViewContainer: the view that holds other views, draws them over its
// background (offscreen when asked), and routes mouse, wheel, key, drop and
// focus events to the child under the point.
#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace VSTGUI {

// ---------------------------------------------------------------------------
// CViewContainer

CViewContainer::CViewContainer(const CRect& r, CFrame* owner, CBitmap* bitmap) : CView(r) {
    frame = owner;
    if (bitmap) {
        bitmap->remember();
        background = bitmap;
    }
}

CViewContainer::~CViewContainer() {
    removeAll(true);
    if (offscreen)
        offscreen->forget();
}

void CViewContainer::addView(CView* view, const CRect& area, bool enabled) {
    if (!view)
        return;
    view->setMouseEnabled(enabled);
    view->setMouseArea(area);
    addView(view);
}

void CViewContainer::addView(CView* view) {
    if (!view)
        return;
    view->remember();
    view->frame = frame;
    view->parent = this;
    children.push_back(view);
    view->attached(this);
    view->setDirty(true);
}

namespace {

// Releases the container's reference and, with `withForget`, the creator's.
// A creator that already released its own is not released twice: the
// container's reference is then the last.
void releaseChild(CView* view, bool withForget) {
    if (withForget && view->getNbReference() > 1)
        view->forget();
    view->forget();
}

bool isWithin(const CView* view, const CView* ancestor) {
    for (const CView* v = view; v; v = v->getParentView())
        if (v == ancestor)
            return true;
    return false;
}

}  // namespace

void CViewContainer::removeView(CView* view, bool withForget) {
    if (!view)
        return;
    auto it = std::find(children.begin(), children.end(), view);
    if (it == children.end())
        return;
    if (frame && frame->getFocusView() && isWithin(frame->getFocusView(), view))
        frame->setFocusView(nullptr);
    if (dragView == view)
        dragView = nullptr;
    children.erase(it);
    view->removed(this);
    view->parent = nullptr;
    view->frame = nullptr;
    releaseChild(view, withForget);
}

void CViewContainer::removeAll(bool withForget) {
    if (children.empty())
        return;
    if (frame && frame->getFocusView() && frame->getFocusView() != this && isWithin(frame->getFocusView(), this))
        frame->setFocusView(nullptr);
    dragView = nullptr;
    // Children first to last; the list is emptied before any is released so
    // a destructor that looks at the container finds a consistent one.
    std::vector<CView*> old;
    old.swap(children);
    for (CView* view : old) {
        view->removed(this);
        view->parent = nullptr;
        view->frame = nullptr;
        releaseChild(view, withForget);
    }
}

bool CViewContainer::isChild(CView* view) const {
    return view && std::find(children.begin(), children.end(), view) != children.end();
}

int32 CViewContainer::getViewCount() const {
    return static_cast<int32>(children.size());
}

CView* CViewContainer::getView(int32 index) const {
    if (index < 0 || index >= static_cast<int32>(children.size()))
        return nullptr;
    return children[static_cast<size_t>(index)];
}

void CViewContainer::setBackgroundColor(const CColor& color) {
    backgroundColor = color;
    setDirty(true);
}

CColor CViewContainer::getBackgroundColor() const {
    return backgroundColor;
}
void CViewContainer::setBackgroundOffset(const CPoint& point) {
    backgroundOffset = point;
}
const CPoint& CViewContainer::getBackgroundOffset() const {
    return backgroundOffset;
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect) {
    if (!context)
        return;
    if (background) {
        CRect r = rect;
        const CPoint source(rect.left + backgroundOffset.x, rect.top + backgroundOffset.y);
        if (transparent)
            background->drawTransparent(context, r, source);
        else
            background->draw(context, r, source);
    } else if (!transparent) {
        const CColor savedFill = context->getFillColor();
        context->setFillColor(backgroundColor);
        // fillRect leaves the first column and row for an outline: start one before.
        context->fillRect(CRect(rect.left - 1, rect.top - 1, rect.right, rect.bottom));
        context->setFillColor(savedFill);
    }
}

void CViewContainer::setUpdateMode(int32 mode) {
    updateMode = mode;
}
int32 CViewContainer::getUpdateMode() const {
    return updateMode;
}

void CViewContainer::setDrawOffscreen(bool flag) {
    drawOffscreen = flag;
    if (!flag && offscreen) {
        offscreen->forget();
        offscreen = nullptr;
    }
}

CDrawContext* CViewContainer::beginTarget(CDrawContext* context, CPoint& savedOffset) {
    savedOffset = context->getOffset();
    if (drawOffscreen) {
        if (!offscreen)
            offscreen = new COffscreenContext(frame, size.width(), size.height(), backgroundColor);
        if (offscreen->isValid()) {
            if (transparent)
                context->copyFrom(size, offscreen, CPoint(0, 0));
            return offscreen;
        }
    }
    context->setOffset(CPoint(savedOffset.x + size.left, savedOffset.y + size.top));
    return context;
}

void CViewContainer::endTarget(CDrawContext* context, CDrawContext* target, const CPoint& savedOffset,
                               const CRect& area) {
    if (target != context) {
        target->copyFrom(area, context, CPoint(size.left + area.left, size.top + area.top));
    } else {
        context->setOffset(savedOffset);
    }
}

void CViewContainer::draw(CDrawContext* context) {
    if (!context)
        return;
    CPoint savedOffset;
    CDrawContext* target = beginTarget(context, savedOffset);

    CRect oldClip;
    target->getClipRect(oldClip);
    CRect clip = localArea();
    clip.bound(oldClip);
    target->setClipRect(clip);

    if (background) {
        const CRect area = localArea();
        if (transparent)
            background->drawTransparent(target, area, backgroundOffset);
        else
            background->draw(target, area, backgroundOffset);
    } else if (!transparent) {
        drawBackgroundRect(target, localArea());
    }

    CRect current = clip;
    // Index walk: a child's draw must not invalidate our iteration.
    for (size_t i = 0; i < children.size(); ++i) {
        CView* child = children[i];
        CRect childClip;
        child->getViewSize(childClip);
        childClip.bound(clip);
        if (childClip != current) {
            target->setClipRect(childClip);
            current = childClip;
        }
        child->draw(target);
    }
    target->setClipRect(oldClip);
    endTarget(context, target, savedOffset, localArea());
    setDirty(false);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
    if (!context)
        return;
    CRect working = updateRect;
    working.bound(size);
    working.offset(-size.left, -size.top);

    CPoint savedOffset;
    CDrawContext* target = beginTarget(context, savedOffset);

    CRect oldClip;
    target->getClipRect(oldClip);
    CRect clip = working;
    clip.bound(oldClip);
    target->setClipRect(clip);

    drawBackgroundRect(target, working);

    const bool scrollContainer = isTypeOf("CScrollContainer");
    CRect current = clip;
    for (size_t i = 0; i < children.size(); ++i) {
        CView* child = children[i];
        if (!child->checkUpdate(working))
            continue;
        CRect full;
        child->getViewSize(full);
        CRect childClip = full;
        childClip.bound(clip);
        const bool wasDirty = child->isDirty();
        if (childClip != current) {
            target->setClipRect(childClip);
            current = childClip;
        }
        child->drawRect(target, working);
        // A dirty view painted only in part is painted whole at the next idle.
        if (wasDirty && !scrollContainer && (childClip.width() < full.width() || childClip.height() < full.height()))
            child->setDirty(true);
    }
    target->setClipRect(oldClip);
    endTarget(context, target, savedOffset, working);
    setDirty(false);
}

void CViewContainer::mouse(CDrawContext* context, CPoint& where, int32 buttons) {
    CPoint local(where.x - size.left, where.y - size.top);
    for (size_t i = children.size(); i-- > 0;) {
        CView* child = children[i];
        if (child->getMouseEnabled() && child->hitTest(local, buttons)) {
            child->mouse(context, local, buttons);
            return;
        }
    }
}

int32 CViewContainer::onKeyDown(VstKeyCode& key) {
    for (size_t i = children.size(); i-- > 0;) {
        const int32 r = children[i]->onKeyDown(key);
        if (r != -1)
            return r;
    }
    return -1;
}

int32 CViewContainer::onKeyUp(VstKeyCode& key) {
    for (size_t i = children.size(); i-- > 0;) {
        const int32 r = children[i]->onKeyUp(key);
        if (r != -1)
            return r;
    }
    return -1;
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, float distance) {
    return onWheel(context, where, kMouseWheelAxisY, distance);
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) {
    const CPoint local(where.x - size.left, where.y - size.top);
    for (size_t i = children.size(); i-- > 0;) {
        CView* child = children[i];
        if (child->getMouseEnabled() && child->hitTest(local, -1))
            return child->onWheel(context, local, axis, distance);
    }
    return false;
}

bool CViewContainer::onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    if (!frame)
        return false;
    const CPoint local(where.x - size.left, where.y - size.top);
    bool result = false;
    if (CView* view = getViewAt(where, false)) {
        result = view->onDrop(context, drag, local);
        view->onDragLeave(context, drag, local);
    }
    dragView = nullptr;
    return result;
}

void CViewContainer::onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    if (!frame)
        return;
    const CPoint local(where.x - size.left, where.y - size.top);
    dragView = getViewAt(where, false);
    if (dragView)
        dragView->onDragEnter(context, drag, local);
}

void CViewContainer::onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    const CPoint local(where.x - size.left, where.y - size.top);
    if (dragView)
        dragView->onDragLeave(context, drag, local);
    dragView = nullptr;
}

void CViewContainer::onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
    if (!frame)
        return;
    const CPoint local(where.x - size.left, where.y - size.top);
    CView* view = getViewAt(where, false);
    if (view != dragView) {
        if (dragView)
            dragView->onDragLeave(context, drag, local);
        dragView = view;
        if (dragView)
            dragView->onDragEnter(context, drag, local);
    } else if (dragView) {
        dragView->onDragMove(context, drag, local);
    }
}

void CViewContainer::looseFocus(CDrawContext* context) {
    for (size_t i = 0; i < children.size(); ++i)
        children[i]->looseFocus(context);
}

void CViewContainer::takeFocus(CDrawContext* context) {
    for (size_t i = 0; i < children.size(); ++i)
        children[i]->takeFocus(context);
}

bool CViewContainer::isDirty() const {
    if (dirty)
        return true;
    const CRect area = localArea();
    for (const CView* child : children) {
        if (!child->isDirty())
            continue;
        CRect r;
        child->getViewSize(r);
        r.bound(area);
        if (r.width() > 0 && r.height() > 0)
            return true;
    }
    return false;
}

void CViewContainer::setViewSize(const CRect& rect) {
    CView::setViewSize(rect);
    if (offscreen) {  // re-made at the new size by the next draw
        offscreen->forget();
        offscreen = nullptr;
    }
}

bool CViewContainer::removed(CView* parentView) {
    if (offscreen) {
        offscreen->forget();
        offscreen = nullptr;
    }
    return CView::removed(parentView);
}

bool CViewContainer::attached(CView* parentView) {
    // Children added before this container joined a frame learn it now.
    for (CView* child : children)
        child->frame = frame;
    if (drawOffscreen && !offscreen)
        offscreen = new COffscreenContext(frame, size.width(), size.height(), backgroundColor);
    return CView::attached(parentView);
}

CPoint& CViewContainer::frameToLocal(CPoint& point) const {
    point.offset(-size.left, -size.top);
    if (parent && parent->isTypeOf("CViewContainer"))
        return parent->frameToLocal(point);
    return point;
}

CPoint& CViewContainer::localToFrame(CPoint& point) const {
    point.offset(size.left, size.top);
    if (parent && parent->isTypeOf("CViewContainer"))
        return parent->localToFrame(point);
    return point;
}

int32 CViewContainer::notify(CView* sender, const char* message) {
    if (message == kMsgCheckIfViewContainer)
        return 1;
    return CView::notify(sender, message);
}

void CViewContainer::redrawRect(CDrawContext* context, const CRect& rect) {
    CRect r = rect;
    r.offset(size.left, size.top);  // into the parent's coordinates
    if (transparent) {
        if (parent)
            parent->redrawRect(context, r);
        else if (frame && frame != this)
            frame->drawRect(context, r);
        return;
    }
    if (parent && context) {
        CPoint origin(0, 0);
        parent->localToFrame(origin);
        const CPoint saved = context->getOffset();
        context->setOffset(CPoint(saved.x + origin.x, saved.y + origin.y));
        drawRect(context, r);
        context->setOffset(saved);
    } else {
        drawRect(context, r);
    }
}

bool CViewContainer::isTypeOf(const char* name) const {
    return (name && std::strcmp(name, "CViewContainer") == 0) || CView::isTypeOf(name);
}

void CViewContainer::update(CDrawContext* context) {
    if (updateMode == 1 && !dirty) {
        const CRect area = localArea();
        for (size_t i = 0; i < children.size(); ++i) {
            CView* child = children[i];
            if (!child->isDirty())
                continue;
            CRect r;
            child->getViewSize(r);
            if (!r.rectOverlap(area))
                continue;
            if (child->notify(this, kMsgCheckIfViewContainer) == 1) {
                child->update(context);
            } else {
                r.bound(area);
                child->redrawRect(context, r);
                child->setDirty(false);
            }
        }
        setDirty(false);
    } else if (isDirty()) {
        redrawRect(context, localArea());
        setDirty(false);
    }
}

CView* CViewContainer::getCurrentView() const {
    if (!frame)
        return nullptr;
    CPoint where;
    frame->getCurrentLocation(where);
    frameToLocal(where);
    for (size_t i = children.size(); i-- > 0;) {
        CRect area;
        children[i]->getMouseArea(area);
        if (area.pointInside(where))
            return children[i];
    }
    return nullptr;
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
    if (!frame)
        return nullptr;
    const CPoint local(where.x - size.left, where.y - size.top);
    for (size_t i = children.size(); i-- > 0;) {
        CView* child = children[i];
        CRect area;
        child->getMouseArea(area);
        if (!area.pointInside(local))
            continue;
        if (deep && child->notify(const_cast<CViewContainer*>(this), kMsgCheckIfViewContainer) == 1) {
            if (CView* inner = static_cast<CViewContainer*>(child)->getViewAt(local, true))
                return inner;
        }
        return child;
    }
    return nullptr;
}

CView* CViewContainer::findFocusable(CView* after, bool reverse) const {
    const int32 n = static_cast<int32>(children.size());
    int32 i = reverse ? n - 1 : 0;
    if (after) {
        auto it = std::find(children.begin(), children.end(), after);
        if (it == children.end())
            return nullptr;
        i = static_cast<int32>(it - children.begin()) + (reverse ? -1 : 1);
    }
    for (; i >= 0 && i < n; i += reverse ? -1 : 1) {
        CView* child = children[static_cast<size_t>(i)];
        if (child->getWantsFocus())
            return child;
        if (child->notify(const_cast<CViewContainer*>(this), kMsgCheckIfViewContainer) == 1) {
            if (CView* inner = static_cast<CViewContainer*>(child)->findFocusable(nullptr, reverse))
                return inner;
        }
    }
    return nullptr;
}

bool CViewContainer::advanceFocus(CView* oldFocus, bool reverse) {
    if (!frame)
        return false;
    // From the old focus's own container outwards; without one, the whole tree.
    CView* candidate = nullptr;
    if (oldFocus && oldFocus->getParentView()) {
        CView* after = oldFocus;
        for (CViewContainer* c = oldFocus->getParentView(); c && !candidate; c = c->getParentView()) {
            candidate = c->findFocusable(after, reverse);
            after = c;
        }
    } else {
        candidate = findFocusable(nullptr, reverse);
    }
    frame->setFocusView(candidate);
    return candidate != nullptr;
}

}  // namespace VSTGUI
