// The view tree and the frame: ownership, hit testing, drawing order,
// incremental redraw through the off-screen image, focus, modal views and
// the platform events the window layer delivers.
#include "GuiTestSupport.h"

#include <array>

using namespace VSTGUI;
using namespace guitest;

namespace {

using Px = std::array<int, 4>;

Px shown(const HeadlessPlatform::Window* w, int x, int y) {
    const uint8_t* p = w->pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

// A view that paints its whole rectangle in one colour and records input.
struct SolidView : CView {
    SolidView(const CRect& r, CColor c, int* destroyedCount = nullptr)
        : CView(r), colour(c), destroyed(destroyedCount) {}
    ~SolidView() override {
        if (destroyed)
            ++*destroyed;
    }
    void draw(CDrawContext* context) override {
        ++draws;
        context->setFillColor(colour);
        context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.bottom));
        setDirty(false);
    }
    void mouse(CDrawContext* context, CPoint& where, int32 buttons) override {
        ++presses;
        lastWhere = where;
        lastButtons = buttons;
        if (context)
            getMouseLocation(context, located);
    }
    CColor colour;
    int* destroyed;
    int draws = 0;
    int presses = 0;
    CPoint lastWhere{-1, -1};
    CPoint located{-1, -1};
    int32 lastButtons = 0;
};

const CColor kRed{255, 0, 0, 255};
const CColor kBlue{0, 0, 255, 255};

}  // namespace

class ViewTree : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        a = new SolidView(CRect(10, 10, 50, 50), kRed);
        b = new SolidView(CRect(40, 40, 80, 80), kBlue);
        frame->addView(a);
        frame->addView(b);
        a->forget();  // the frame holds them now
        b->forget();
    }
    SolidView* a = nullptr;
    SolidView* b = nullptr;
};

TEST_F(ViewTree, LaterChildIsDrawnOverAndHitBeforeTheEarlierOne) {
    firstPaint();
    EXPECT_EQ(shown(window, 20, 20), (Px{0, 0, 255, 255}));  // red (B, G, R, A)
    EXPECT_EQ(shown(window, 45, 45), (Px{255, 0, 0, 255}));  // blue over red
    EXPECT_EQ(shown(window, 5, 5), (Px{0, 0, 0, 255}));      // frame background colour

    press(45, 45, kLButton);
    EXPECT_EQ(b->presses, 1);
    EXPECT_EQ(a->presses, 0);
    EXPECT_EQ(b->lastWhere, CPoint(45, 45));
    EXPECT_EQ(b->lastButtons, kLButton);  // the frame read the mask for the view
}

TEST_F(ViewTree, HitsIncludeTheRightAndBottomEdges) {
    press(50, 20, kLButton);
    EXPECT_EQ(a->presses, 1);
    press(80, 80, kLButton);
    EXPECT_EQ(b->presses, 1);
    press(81, 80, kLButton);
    press(9, 10, kLButton);
    EXPECT_EQ(a->presses + b->presses, 2);
    // A view whose mouse handling is off is passed over for the one below.
    b->setMouseEnabled(false);
    press(45, 45, kLButton);
    EXPECT_EQ(a->presses, 2);
}

TEST_F(ViewTree, IdleDrawsNothingBeforeTheFirstPaint) {
    EXPECT_TRUE(frame->isDirty());
    frame->idle();
    EXPECT_EQ(window->presentCount, 0);
    EXPECT_EQ(a->draws, 0);
    // The window's first paint arrives as the system's pending paint.
    EXPECT_TRUE(headlessPlatform().dispatchOnePaint());
    EXPECT_FALSE(headlessPlatform().dispatchOnePaint());
    EXPECT_EQ(window->presentedPixels, 200 * 100);
    EXPECT_EQ(a->draws, 1);
    EXPECT_FALSE(frame->isDirty());
    headlessPlatform().resetCounters();
    frame->idle();
    EXPECT_EQ(window->presentCount, 0);  // nothing dirty: nothing drawn or presented
}

TEST_F(ViewTree, IdleRedrawsOnlyTheDirtyViewsRectangle) {
    firstPaint();
    headlessPlatform().resetCounters();
    a->setDirty(true);
    frame->idle();
    EXPECT_EQ(a->draws, 2);
    EXPECT_EQ(b->draws, 2);  // overlaps a's rectangle: drawn again, clipped
    EXPECT_EQ(window->presentCount, 1);
    EXPECT_EQ(window->presentedPixels, 40 * 40);
    EXPECT_EQ(shown(window, 45, 45), (Px{255, 0, 0, 255}));  // still blue on top
    EXPECT_FALSE(a->isDirty());
    // b was painted only in part, and it was not dirty: it stays clean.
    EXPECT_FALSE(b->isDirty());
}

TEST_F(ViewTree, ADirtyViewPaintedInPartIsMarkedForAWholeRedraw) {
    firstPaint();
    a->setDirty(true);
    headlessPlatform().paint(frame->getWindow(), PlatformRect{0, 0, 30, 30});
    EXPECT_EQ(a->draws, 2);
    EXPECT_TRUE(a->isDirty());
    headlessPlatform().resetCounters();
    frame->idle();
    EXPECT_EQ(a->draws, 3);
    EXPECT_FALSE(a->isDirty());
    EXPECT_EQ(window->presentedPixels, 40 * 40);
}

TEST_F(ViewTree, DirtyViewOutsideTheFrameDoesNotMakeItDirty) {
    firstPaint();
    auto* outside = new SolidView(CRect(300, 10, 340, 50), kRed);
    frame->addView(outside);
    outside->forget();
    EXPECT_TRUE(outside->isDirty());
    EXPECT_FALSE(frame->isDirty());
    headlessPlatform().resetCounters();
    frame->idle();
    EXPECT_EQ(window->presentCount, 0);
}

TEST_F(ViewTree, InvalidateMarksOverlappingChildren) {
    firstPaint();
    frame->invalidate(CRect(0, 0, 10, 10));  // touches a's corner (edges count)
    EXPECT_TRUE(a->isDirty());
    EXPECT_FALSE(b->isDirty());
}

TEST_F(ViewTree, DestroyingTheFrameDestroysViewsOnlyItHolds) {
    int destroyed = 0;
    auto* owned = new SolidView(CRect(0, 0, 5, 5), kRed, &destroyed);
    auto* released = new SolidView(CRect(0, 0, 5, 5), kRed, &destroyed);
    auto* kept = new SolidView(CRect(0, 0, 5, 5), kRed, &destroyed);
    frame->addView(owned);  // the creator's reference goes with the frame
    frame->addView(released);
    released->forget();  // released early: not released twice
    kept->remember();    // a holder beyond the creator survives
    frame->addView(kept);
    EXPECT_EQ(kept->getNbReference(), 3);
    frame->forget();
    frame = nullptr;
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(kept->getNbReference(), 1);
    EXPECT_EQ(kept->getFrame(), nullptr);
    kept->forget();
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(headlessPlatform().windowCount(), 0u);
    EXPECT_EQ(headlessPlatform().oleDepth(), 0);
}

TEST_F(ViewTree, RemoveViewWithAndWithoutForget) {
    int destroyed = 0;
    auto* v = new SolidView(CRect(0, 0, 5, 5), kRed, &destroyed);
    frame->addView(v);
    frame->removeView(v, false);  // the creator's reference survives
    EXPECT_EQ(destroyed, 0);
    EXPECT_FALSE(frame->isChild(v));
    frame->addView(v);
    EXPECT_EQ(frame->getViewCount(), 3);
    EXPECT_EQ(frame->getView(2), v);
    EXPECT_EQ(frame->getView(3), nullptr);
    EXPECT_EQ(frame->getView(-1), nullptr);
    frame->removeView(v, true);
    EXPECT_EQ(destroyed, 1);
    frame->addView(nullptr);  // ignored
    EXPECT_EQ(frame->getViewCount(), 2);
}

TEST_F(ViewTree, ModalViewTakesThePressesAndIsExclusive) {
    int destroyed = 0;
    auto* modal = new SolidView(CRect(0, 0, 30, 30), kBlue, &destroyed);
    auto* other = new SolidView(CRect(0, 0, 30, 30), kRed);
    EXPECT_EQ(frame->setModalView(modal), 1);
    EXPECT_EQ(frame->setModalView(other), 0);
    EXPECT_EQ(frame->getModalView(), modal);
    EXPECT_FALSE(frame->advanceFocus(nullptr, false));

    press(45, 45, kLButton);  // outside the modal view: nobody gets it
    EXPECT_EQ(b->presses, 0);
    EXPECT_EQ(modal->presses, 0);
    press(20, 20, kLButton);
    EXPECT_EQ(modal->presses, 1);
    EXPECT_EQ(a->presses, 0);

    EXPECT_EQ(frame->setModalView(nullptr), 1);
    EXPECT_EQ(destroyed, 0);  // removed, not destroyed
    EXPECT_FALSE(frame->isChild(modal));
    EXPECT_EQ(frame->setModalView(other), 1);
    frame->setModalView(nullptr);
    modal->forget();
    other->forget();
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ViewTree, ViewAtAndCurrentViewUseMouseAreasWithEdges) {
    EXPECT_EQ(frame->getViewAt(CPoint(45, 45)), b);
    EXPECT_EQ(frame->getViewAt(CPoint(10, 10)), a);
    EXPECT_EQ(frame->getViewAt(CPoint(90, 90)), nullptr);
    headlessPlatform().setInput(window->originX + 50, window->originY + 12, 0);
    EXPECT_EQ(frame->getCurrentView(), a);
    CPoint p;
    frame->getCurrentLocation(p);
    EXPECT_EQ(p, CPoint(50, 12));
}

TEST_F(ViewTree, NestedContainerConvertsPressesAndMouseLocation) {
    auto* box = new CViewContainer(CRect(100, 20, 180, 90), frame);
    auto* inner = new SolidView(CRect(5, 5, 25, 25), kRed);
    box->addView(inner);
    inner->forget();
    frame->addView(box);
    box->forget();
    EXPECT_TRUE(frame->isDirty());
    firstPaint();
    EXPECT_EQ(shown(window, 110, 30), (Px{0, 0, 255, 255}));
    EXPECT_EQ(shown(window, 104, 24), (Px{0, 0, 0, 255}));

    headlessPlatform().setInput(window->originX + 112, window->originY + 31, kLButton);
    headlessPlatform().press(frame->getWindow(), 112, 31, kLButton);
    EXPECT_EQ(inner->presses, 1);
    EXPECT_EQ(inner->lastWhere, CPoint(12, 11));  // in the container's coordinates
    EXPECT_EQ(inner->located, CPoint(12, 11));
    EXPECT_EQ(frame->getViewAt(CPoint(112, 31), true), inner);
    EXPECT_EQ(frame->getViewAt(CPoint(112, 31), false), box);
    CPoint q(0, 0);
    inner->localToFrame(q);
    EXPECT_EQ(q, CPoint(100, 20));
}

TEST_F(ViewTree, WheelArrivesInScreenOrWindowCoordinates) {
    struct WheelView : CView {
        using CView::CView;
        bool onWheel(CDrawContext*, const CPoint& where, float distance) override {
            at = where;
            total += distance;
            return true;
        }
        CPoint at;
        float total = 0;
    };
    auto* w = new WheelView(CRect(120, 10, 160, 50));
    frame->addView(w);
    w->forget();
    headlessPlatform().wheel(frame->getWindow(), window->originX + 130, window->originY + 20, true, 0.25f);
    EXPECT_EQ(w->at, CPoint(130, 20));
    headlessPlatform().wheel(frame->getWindow(), 125, 15, false, 1.0f);
    EXPECT_FLOAT_EQ(w->total, 1.25f);
    EXPECT_FALSE(frame->onWheel(nullptr, CPoint(190, 90), 1.f));  // nothing there
}

TEST_F(ViewTree, WindowDestroyedBySystemStopsDrawing) {
    firstPaint();
    a->setDirty(true);
    headlessPlatform().destroyBySystem(frame->getWindow());
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->getWindow(), nullptr);
    frame->idle();  // no window: nothing happens
    EXPECT_FALSE(frame->setSize(300, 300));
    frame->forget();
    frame = nullptr;
}

TEST_F(ViewTree, FrameWithoutParentWindowIsNotOpen) {
    CFrame* bare = new CFrame(CRect(0, 0, 10, 10), nullptr, nullptr);
    EXPECT_FALSE(bare->isOpen());
    EXPECT_EQ(bare->getWindow(), nullptr);
    EXPECT_FALSE(bare->setDropActive(true));
    bare->idle();
    EXPECT_EQ(bare->getTicks(), 0u);
    bare->forget();
}

TEST_F(ViewTree, DragsAreDeliveredWhileDropsAreActive) {
    struct DragView : CView {
        using CView::CView;
        void onDragEnter(CDrawContext*, CDragContainer* d, const CPoint&) override {
            entered++;
            count = d->getCount();
        }
        void onDragLeave(CDrawContext*, CDragContainer*, const CPoint&) override { left++; }
        int entered = 0, left = 0, count = 0;
    };
    auto* v = new DragView(CRect(0, 0, 200, 100));
    frame->addView(v);
    v->forget();
    EXPECT_TRUE(frame->isDropActive());
    std::vector<std::string> files{"/a.wav", "/b.wav"};
    headlessPlatform().setInput(window->originX + 20, window->originY + 20, 0);
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::over, nullptr), 0);
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::enter, nullptr), 0);
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::enter, &files), 2);
    EXPECT_EQ(v->entered, 1);
    EXPECT_EQ(v->count, 2);
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::drop, nullptr), 2);
    EXPECT_EQ(v->left, 1);  // a drop also ends the drag for the view under it
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::leave, nullptr), 0);
    EXPECT_TRUE(frame->setDropActive(false));
    EXPECT_FALSE(frame->isDropActive());
    EXPECT_EQ(headlessPlatform().drag(frame->getWindow(), PlatformDragEvent::enter, &files), 0);
}

TEST_F(ViewTree, CursorTypesAndRestore) {
    frame->setCursor(kCursorHand);
    EXPECT_EQ(window->cursor, kCursorHand);
    frame->setCursor(7);
    EXPECT_EQ(window->cursor, kCursorDefault);
    frame->setCursor(kCursorWait);
    frame->setCursor(12345);
    EXPECT_EQ(window->cursor, kCursorDefault);
}

TEST_F(ViewTree, SetSizeRemakesTheOffscreenAndWindow) {
    firstPaint();
    EXPECT_FALSE(frame->setSize(200, 100));  // unchanged
    EXPECT_TRUE(frame->setSize(300, 120));
    CRect r;
    frame->getSize(r);
    EXPECT_EQ(r, CRect(0, 0, 300, 120));
    EXPECT_EQ(window->width, 300);
    EXPECT_FALSE(frame->setSize(-5, 10));
    headlessPlatform().paintAll(frame->getWindow());
    EXPECT_EQ(shown(window, 20, 20), (Px{0, 0, 255, 255}));
}
