// Controls: knob drags, resets, wheel and keys, film-strip frames, switch
// clicks and the order in which the editor and listener hear of them.
#include "GuiTestSupport.h"

#include <cmath>
#include <limits>

using namespace VSTGUI;
using namespace guitest;

namespace {

constexpr int32 kTag = 3;

}  // namespace

class Controls : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        headlessPlatform().addResource("PNG", 8001, stripPng(45, 45, 63));
        headlessPlatform().addResource("PNG", 8002, solidPng(50, 52, 0, 255, 0, 255));
        strip = new CBitmap(8001);
        switchImage = new CBitmap(8002);
        knob = new CAnimKnob(CRect(20, 20, 65, 65), &listener, kTag, 63, strip->getHeight() / 63, strip);
        sw = new COnOffButton(CRect(100, 20, 150, 46), &listener, 1, switchImage);
        frame->addView(knob);
        frame->addView(sw);
        strip->forget();  // the controls hold the images
        switchImage->forget();
        firstPaint();
        log.events.clear();
    }

    // A press on the knob at frame point 40, 40 with `buttons`, then the
    // pointer at each offset with each mask as the knob computes, then release.
    struct Move {
        int32 dx, dy, buttons;
    };
    void drag(int32 buttons, const std::vector<Move>& moves) {
        const int32 x0 = 40, y0 = 40;
        std::vector<HeadlessPlatform::Step> steps;
        // The knob reads the mask at the top of each turn and the position at
        // its end; the position read is used with the next turn's mask.
        int32 mask = buttons;
        for (const Move& m : moves) {
            steps.push_back(at(x0 + m.dx, y0 + m.dy, mask));
            mask = m.buttons;
        }
        const Move last = moves.empty() ? Move{0, 0, buttons} : moves.back();
        steps.push_back(at(x0 + last.dx, y0 + last.dy, mask));
        steps.push_back(at(x0 + last.dx, y0 + last.dy, 0));
        press(x0, y0, buttons, steps);
        // A press the knob ignores leaves the script unread: let go.
        headlessPlatform().setInput(x0 + last.dx, y0 + last.dy, 0);
    }

    RecordingListener listener{log};
    CBitmap* strip = nullptr;
    CBitmap* switchImage = nullptr;
    CAnimKnob* knob = nullptr;
    COnOffButton* sw = nullptr;
};

// --- knob drags ------------------------------------------------------------------

TEST_F(Controls, KnobDragIsLinearOverTwoHundredPixels) {
    drag(kLButton, {{0, -100, kLButton}});
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);
    EXPECT_EQ(log.events.front(), "begin3");
    EXPECT_EQ(log.events.back(), "end3");
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.5f, 1e-6);

    knob->setValue(0.f);
    drag(kLButton, {{-100, -100, kLButton}});
    EXPECT_NEAR(knob->getValue(), 0.f, 1e-6);
}

TEST_F(Controls, KnobOvershootClampsButKeepsTheEntryPoint) {
    drag(kLButton, {{0, -250, kLButton}, {0, -200, kLButton}, {0, -150, kLButton}});
    // The first turn reports the start value (the edit made the knob the
    // focus view, which marks it for redrawing); 250 up clamps at 1; 50 back
    // down is still at the bound and not reported; 100 down gives 0.75.
    ASSERT_EQ(listener.values.size(), 3u);
    EXPECT_EQ(listener.values[0], 0.f);
    EXPECT_NEAR(listener.values[1], 1.f, 1e-6);
    EXPECT_NEAR(listener.values[2], 0.75f, 1e-6);
    EXPECT_NEAR(knob->getValue(), 0.75f, 1e-6);
}

TEST_F(Controls, ShiftDragIsFineAndSwitchingShiftDoesNotJump) {
    drag(kLButton | kShift, {{0, -150, kLButton | kShift}});
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);

    knob->setValue(0.f);
    frame->idle();
    listener.values.clear();
    drag(kLButton, {{0, -100, kLButton}, {0, -130, kLButton | kShift}, {0, -160, kLButton | kShift}});
    ASSERT_EQ(listener.values.size(), 4u);
    EXPECT_NEAR(listener.values[1], 0.5f, 1e-5);
    EXPECT_NEAR(listener.values[2], 0.65f, 1e-5);
    EXPECT_NEAR(listener.values[3], 0.75f, 1e-5);
    EXPECT_NEAR(knob->getValue(), 0.75f, 1e-5);  // releasing Shift with the button keeps it
}

TEST_F(Controls, KnobDragRequestsIdleEachTurnAndRedraws) {
    headlessPlatform().resetCounters();
    drag(kLButton, {{0, -10, kLButton}, {0, -20, kLButton}});
    EXPECT_EQ(editor.idles, 4);  // one per turn of the loop, release included
    EXPECT_GT(window->presentCount, 0);
    EXPECT_EQ(window->lastPresent.left, 20);
    EXPECT_EQ(window->lastPresent.right, 65);
    EXPECT_EQ(frame->getFocusView(), knob);
}

TEST_F(Controls, ControlClickResetsInsideAnEditAndControlShiftDrags) {
    knob->setValue(0.2f);
    frame->idle();
    log.events.clear();
    drag(kLButton | kControl, {});
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);
    EXPECT_EQ(log.joined(), "begin3 changed3 end3");
    ASSERT_EQ(listener.modifierButtons.size(), 1u);
    EXPECT_EQ(listener.modifierButtons[0], kLButton | kControl);

    knob->setValue(0.f);
    drag(kLButton | kControl | kShift, {{0, -30, kLButton | kControl | kShift}});
    EXPECT_NEAR(knob->getValue(), 0.1f, 1e-6);  // an ordinary fine drag

    // A listener that consumes modifier clicks stops the control.
    listener.consumeModifierClicks = true;
    knob->setValue(0.3f);
    drag(kLButton | kAlt, {{0, -100, kLButton | kAlt}});
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-6);
}

TEST_F(Controls, SecondaryButtonIsIgnoredByKnobAndSwitch) {
    drag(kRButton, {{0, -100, kRButton}});
    EXPECT_EQ(knob->getValue(), 0.f);
    headlessPlatform().setInput(window->originX + 120, window->originY + 30, kRButton);
    headlessPlatform().press(frame->getWindow(), 120, 30, kRButton);
    EXPECT_EQ(sw->getValue(), 0.f);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(Controls, WheelStepsAndClamps) {
    headlessPlatform().setInput(window->originX + 40, window->originY + 40, 0);
    knob->setValue(0.5f);
    EXPECT_TRUE(frame->onWheel(nullptr, CPoint(40, 40), 1.f));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_EQ(log.joined(), "begin3 changed3 end3");
    headlessPlatform().setInput(window->originX + 40, window->originY + 40, kShift);
    headlessPlatform().wheel(frame->getWindow(), 40, 40, false, 1.f);
    EXPECT_NEAR(knob->getValue(), 0.61f, 1e-6);

    knob->setValue(1.f);
    frame->idle();
    listener.values.clear();
    headlessPlatform().setInput(window->originX + 40, window->originY + 40, 0);
    EXPECT_TRUE(frame->onWheel(nullptr, CPoint(40, 40), 3.f));  // consumed even unchanged
    EXPECT_EQ(knob->getValue(), 1.f);
    EXPECT_TRUE(listener.values.empty());

    knob->setMouseEnabled(false);
    EXPECT_FALSE(frame->onWheel(nullptr, CPoint(40, 40), 1.f));
}

TEST_F(Controls, ArrowKeysStepTheFocusedKnobOnly) {
    VstKeyCode up{0, VKEY_UP, 0};
    EXPECT_EQ(frame->onKeyDown(up), -1);  // nothing focused
    frame->setFocusView(knob);
    knob->setValue(0.5f);
    EXPECT_EQ(frame->onKeyDown(up), 1);
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    VstKeyCode shiftDown{0, VKEY_DOWN, MODIFIER_SHIFT};
    EXPECT_EQ(frame->onKeyDown(shiftDown), 1);
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-6);
    VstKeyCode letter{'a', 0, 0};
    EXPECT_EQ(frame->onKeyDown(letter), -1);
    EXPECT_EQ(frame->onKeyUp(up), -1);

    // A press on the switch takes the focus from the knob; arrows then do nothing.
    headlessPlatform().setInput(window->originX + 120, window->originY + 30, kLButton);
    headlessPlatform().press(frame->getWindow(), 120, 30, kLButton);
    EXPECT_EQ(frame->getFocusView(), sw);
    EXPECT_EQ(frame->onKeyDown(up), -1);
}

TEST_F(Controls, TabWalksTheKnobsAndFallsOffTheEnd) {
    auto* second = new CAnimKnob(CRect(160, 20, 205, 65), &listener, 4, 63, 45, strip);
    frame->addView(second);
    VstKeyCode tab{0, VKEY_TAB, 0};
    VstKeyCode backTab{0, VKEY_TAB, MODIFIER_SHIFT};
    EXPECT_EQ(frame->onKeyDown(tab), 1);
    EXPECT_EQ(frame->getFocusView(), knob);
    EXPECT_EQ(frame->onKeyDown(tab), 1);  // the switch does not want focus
    EXPECT_EQ(frame->getFocusView(), second);
    EXPECT_EQ(frame->onKeyDown(tab), -1);
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_EQ(frame->onKeyDown(backTab), 1);
    EXPECT_EQ(frame->getFocusView(), second);
    EXPECT_EQ(frame->onKeyDown(backTab), 1);
    EXPECT_EQ(frame->getFocusView(), knob);
    // Removing the focused view clears the focus.
    frame->removeView(knob, true);
    knob = nullptr;
    EXPECT_EQ(frame->getFocusView(), nullptr);
}

// --- film strip ----------------------------------------------------------------------

TEST_F(Controls, FilmStripFramesRoundDown) {
    auto frameFor = [this](float v) {
        knob->setValue(v);
        return knob->frameOffsetForValue() / 45;
    };
    EXPECT_EQ(frameFor(0.f), 0);
    EXPECT_EQ(frameFor(0.01f), 0);
    EXPECT_EQ(frameFor(0.02f), 1);
    EXPECT_EQ(frameFor(0.5f), 31);
    EXPECT_EQ(frameFor(0.999f), 61);
    EXPECT_EQ(frameFor(1.f), 62);
    EXPECT_EQ(frameFor(-0.5f), 0);
    EXPECT_EQ(frameFor(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(frameFor(7.f), 62);  // beyond the range: the last frame
    EXPECT_EQ(frameFor(std::numeric_limits<float>::infinity()), 62);
    knob->setInverted(true);
    EXPECT_EQ(frameFor(0.f), 62);
    EXPECT_EQ(frameFor(1.f), 0);

    // The frame drawn is the frame chosen: red byte k * 255 >> 8 for frame k... of 0..62.
    knob->setInverted(false);
    knob->setValue(0.5f);
    frame->idle();
    const uint8_t* p = window->pixel(30, 30);
    EXPECT_EQ(p[2], (31 * 255) >> 8);
}

TEST_F(Controls, KnobIsDirtyOnlyWhenItsFrameWouldMove) {
    auto* fresh = new CAnimKnob(CRect(0, 0, 45, 45), nullptr, 0, 63, 45, strip);
    EXPECT_TRUE(fresh->isDirty());  // never drawn
    fresh->forget();

    knob->setValue(0.5f);
    frame->idle();
    EXPECT_FALSE(knob->isDirty());
    knob->setValue(0.5001f);  // the handle point does not move
    EXPECT_FALSE(knob->isDirty());
    EXPECT_FALSE(frame->isDirty());
    knob->setValue(0.6f);
    EXPECT_TRUE(knob->isDirty());
    headlessPlatform().resetCounters();
    frame->idle();
    EXPECT_EQ(window->presentedPixels, 45 * 45);
}

TEST_F(Controls, HandlePointFollowsTheAngles) {
    CPoint p;
    knob->setValue(0.5f);
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(23, 0));  // top centre
    knob->setValue(0.f);
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(7, 38));  // lower left
    knob->setValue(1.f);
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(38, 38));  // lower right
    for (float v : {0.f, 0.25f, 0.5f, 0.75f, 1.f}) {
        knob->setValue(v);
        knob->valueToPoint(p);
        EXPECT_NEAR(knob->valueFromPoint(p), v, 0.03f);
    }
}

// --- switches -------------------------------------------------------------------------

TEST_F(Controls, SwitchTogglesOnThePressAndRedrawsBeforeTheListenerHears) {
    auto click = [this] {
        headlessPlatform().setInput(window->originX + 120, window->originY + 30, kLButton);
        headlessPlatform().press(frame->getWindow(), 120, 30, kLButton);
    };
    headlessPlatform().resetCounters();
    click();
    EXPECT_EQ(sw->getValue(), 1.f);
    EXPECT_EQ(log.joined(), "idle begin1 changed1 end1");
    EXPECT_EQ(window->presentedPixels, 50 * 26);  // the idle drew the new state
    click();
    EXPECT_EQ(sw->getValue(), 0.f);

    sw->setValue(0.5f);  // as the host may set it
    click();
    EXPECT_EQ(sw->getValue(), 1.f);
    sw->setValue(-0.5f);
    click();
    EXPECT_EQ(sw->getValue(), 1.f);
    sw->setValue(std::numeric_limits<float>::quiet_NaN());
    click();
    EXPECT_EQ(sw->getValue(), 0.f);

    log.events.clear();
    sw->setStyle(COnOffButton::kPreListenerUpdate);
    click();
    EXPECT_EQ(log.joined(), "begin1 changed1 end1 idle");
}

TEST_F(Controls, SwitchDrawsTheLowerHalfWhenOn) {
    // Upper half green, lower half blue.
    PngRecipe recipe;
    recipe.width = 2;
    recipe.height = 4;
    recipe.samples = {0, 255, 0,   255, 0, 255, 0,   255, 0, 255, 0,   255, 0, 255, 0,   255,
                      0, 0,   255, 255, 0, 0,   255, 255, 0, 0,   255, 255, 0, 0,   255, 255};
    headlessPlatform().addResource("PNG", 8003, makePng(recipe));
    CBitmap* lamp = new CBitmap(8003);
    auto* button = new COnOffButton(CRect(180, 80, 182, 82), nullptr, 12, lamp);
    lamp->forget();
    frame->addView(button);
    frame->idle();
    EXPECT_EQ(window->pixel(180, 80)[1], 254);  // off: green
    button->setValue(1.f);
    frame->idle();
    EXPECT_EQ(window->pixel(181, 81)[0], 254);  // on: blue
    EXPECT_EQ(window->pixel(181, 81)[1], 0);
}

TEST_F(Controls, ControlsWithoutImageOrListenerStillWork) {
    auto* bare = new CAnimKnob(CRect(150, 60, 195, 100), nullptr, 9, 63, 0, nullptr);
    frame->addView(bare);
    frame->idle();
    EXPECT_FALSE(bare->isDirty());
    std::vector<HeadlessPlatform::Step> steps{at(160, 70, kLButton), at(160, 30, kLButton), at(160, 30, kLButton),
                                              at(160, 30, 0)};
    headlessPlatform().queue(steps);
    headlessPlatform().press(frame->getWindow(), 160, 70, kLButton);
    EXPECT_NEAR(bare->getValue(), 0.2f, 1e-6);
}
