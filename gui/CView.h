// The view tree: CView draws in a rectangle of its parent; CViewContainer
// holds an ordered list of children (drawn first to last, hit last to first).
#pragma once

#include "gui/CReferenceCounter.h"
#include "gui/VSTGUITypes.h"
#include "common/KeyCode.h"

#include <vector>

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class COffscreenContext;
class CDragContainer;
class CFrame;
class CViewContainer;
class FrameEditor;

// Wheel axes.
enum CMouseWheelAxis : int32 { kMouseWheelAxisX = 0, kMouseWheelAxisY = 1 };

// Answered with 1 by every container; compared by identity, not by text.
extern const char* const kMsgCheckIfViewContainer;

class CView : public CReferenceCounter {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    // All operations: UI thread (setValue of a control excepted, see CControl).
    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);
    virtual bool checkUpdate(const CRect& rect) const;
    virtual void mouse(CDrawContext* context, CPoint& where, int32 buttons = -1);
    virtual void setBackground(CBitmap* bitmap);
    virtual CBitmap* getBackground() const;
    virtual int32 onKeyDown(VstKeyCode& key);
    virtual int32 onKeyUp(VstKeyCode& key);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance);
    virtual bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where);
    virtual void looseFocus(CDrawContext* context = nullptr);
    virtual void takeFocus(CDrawContext* context = nullptr);
    virtual bool isDirty() const;
    virtual void setDirty(bool flag = true);
    virtual void setMouseEnabled(bool flag = true);
    virtual bool getMouseEnabled() const;
    virtual void setMouseArea(const CRect& rect);
    virtual CRect& getMouseArea(CRect& rect) const;
    virtual bool hitTest(const CPoint& where, int32 buttons = -1);
    virtual void setTransparency(bool flag);
    virtual bool getTransparency() const;
    virtual void setViewSize(const CRect& rect);
    virtual CRect& getViewSize(CRect& rect) const;
    virtual bool removed(CView* parentView);
    virtual bool attached(CView* parentView);
    virtual void getMouseLocation(CDrawContext* context, CPoint& point);
    virtual CPoint& frameToLocal(CPoint& point) const;
    virtual CPoint& localToFrame(CPoint& point) const;
    virtual FrameEditor* getEditor() const;
    virtual int32 notify(CView* sender, const char* message);
    virtual void redrawRect(CDrawContext* context, const CRect& rect);
    virtual bool getWantsFocus() const;
    virtual void setWantsFocus(bool flag);
    virtual bool isTypeOf(const char* name) const;
    virtual void update(CDrawContext* context);

    CFrame* getFrame() const { return frame; }
    CViewContainer* getParentView() const { return parent; }
    const CRect& getSize() const { return size; }

protected:
    friend class CViewContainer;
    friend class CFrame;

    CRect size;
    CRect mouseArea;
    CFrame* frame = nullptr;
    CViewContainer* parent = nullptr;
    bool dirty = false;
    bool mouseEnabled = true;
    bool transparent = false;
    bool wantsFocus = false;
    CBitmap* background = nullptr;
};

class CViewContainer : public CView {
public:
    CViewContainer(const CRect& size, CFrame* frame, CBitmap* background = nullptr);
    ~CViewContainer() override;

    using CView::onWheel;

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    void mouse(CDrawContext* context, CPoint& where, int32 buttons = -1) override;
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;
    bool onWheel(CDrawContext* context, const CPoint& where, CMouseWheelAxis axis, float distance) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
    void looseFocus(CDrawContext* context = nullptr) override;
    void takeFocus(CDrawContext* context = nullptr) override;
    bool isDirty() const override;
    void setViewSize(const CRect& rect) override;
    bool removed(CView* parentView) override;
    bool attached(CView* parentView) override;
    CPoint& frameToLocal(CPoint& point) const override;
    CPoint& localToFrame(CPoint& point) const override;
    int32 notify(CView* sender, const char* message) override;
    void redrawRect(CDrawContext* context, const CRect& rect) override;
    bool isTypeOf(const char* name) const override;
    void update(CDrawContext* context) override;

    virtual void addView(CView* view, const CRect& mouseArea, bool mouseEnabled = true);
    virtual void addView(CView* view);
    virtual void removeView(CView* view, bool withForget = true);
    virtual void removeAll(bool withForget = true);
    virtual bool isChild(CView* view) const;
    virtual int32 getViewCount() const;
    virtual CView* getView(int32 index) const;
    virtual void setBackgroundColor(const CColor& color);
    virtual CColor getBackgroundColor() const;
    virtual void setBackgroundOffset(const CPoint& point);
    virtual const CPoint& getBackgroundOffset() const;
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    virtual void setUpdateMode(int32 mode);
    virtual int32 getUpdateMode() const;
    virtual void setDrawOffscreen(bool flag);
    virtual CView* getCurrentView() const;
    virtual CView* getViewAt(const CPoint& where, bool deep = false) const;
    virtual bool advanceFocus(CView* oldFocus, bool reverse);

protected:
    // The area of the container in its own coordinates.
    CRect localArea() const { return CRect(0, 0, size.width(), size.height()); }
    // Children of `this` from `after` on (exclusive; null: from the end it
    // starts at) that want focus, descending into containers that do not.
    CView* findFocusable(CView* after, bool reverse) const;
    // Draws with the target and offset set up as draw/drawRect need.
    CDrawContext* beginTarget(CDrawContext* context, CPoint& savedOffset);
    void endTarget(CDrawContext* context, CDrawContext* target, const CPoint& savedOffset, const CRect& area);

    std::vector<CView*> children;
    int32 updateMode = 1;
    COffscreenContext* offscreen = nullptr;
    CColor backgroundColor = kBlackCColor;
    CPoint backgroundOffset;
    bool drawOffscreen = false;
    CView* dragView = nullptr;
};

}  // namespace VSTGUI
