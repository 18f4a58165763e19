// The editor at a screen scale: the host's content-scale call, the
// rectangle it answers, a drag and the wheel at scaled screen pixels, the
// pixels it shows (from the double-resolution images), and the hosts that
// ask the window to follow a scale change while open.
#include "EditorTestSupport.h"

#include "gui/ScaledDrawing.h"

#include <cmath>
#include <limits>

using namespace VSTGUI;
using namespace editortest;

namespace {

constexpr VstInt32 kPreS = 0x50726553;    // 'PreS'
constexpr VstIntPtr kAeCs = 0x41654373;   // 'AeCs'

class EditorScaleTest : public EditorTest {
protected:
    VstIntPtr setScale(float scale) { return dispatch(effVendorSpecific, kPreS, kAeCs, nullptr, scale); }
    ERect rect() {
        ERect* r = nullptr;
        EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &r), 1);
        return r ? *r : ERect{0, 0, 0, 0};
    }
    // Screen position of a device point of the window.
    HeadlessPlatform::Step device(int32 x, int32 y, int32 buttons) const {
        int32_t ox = 0, oy = 0;
        headlessPlatform().getWindowOrigin(window(), ox, oy);
        return HeadlessPlatform::Step{x + ox, y + oy, buttons};
    }
    void pressDevice(int32 x, int32 y, std::vector<HeadlessPlatform::Step> then) {
        std::vector<HeadlessPlatform::Step> steps{device(x, y, kLButton)};
        steps.insert(steps.end(), then.begin(), then.end());
        const HeadlessPlatform::Step last = steps.back();
        steps.push_back(HeadlessPlatform::Step{last.x, last.y, 0});
        headlessPlatform().setInput(steps.front().x, steps.front().y, 0);
        headlessPlatform().queue(steps);
        headlessPlatform().press(window(), x, y, kLButton);
        headlessPlatform().setInput(last.x, last.y, 0);
    }
};

}  // namespace

TEST_F(EditorScaleTest, TheHostsScaleSizesTheRectangle) {
    EXPECT_EQ(setScale(2.f), 1);
    ERect r = rect();
    EXPECT_EQ(r.right - r.left, 1320);
    EXPECT_EQ(r.bottom - r.top, 496);
    EXPECT_EQ(setScale(1.5f), 1);
    r = rect();
    EXPECT_EQ(r.right - r.left, 990);
    EXPECT_EQ(r.bottom - r.top, 372);
    // Refused: the size stays.
    for (float bad : {0.5f, 0.f, -2.f, 8.f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()})
        EXPECT_EQ(setScale(bad), 0) << bad;
    r = rect();
    EXPECT_EQ(r.right - r.left, 990);
    // Other vendor calls are not taken for it.
    EXPECT_EQ(dispatch(effVendorSpecific, kPreS, 0x12345678, nullptr, 2.f), 0);
    EXPECT_EQ(dispatch(effVendorSpecific, 0, kAeCs, nullptr, 2.f), 0);
    EXPECT_EQ(rect().right, 990);
    EXPECT_EQ(setScale(1.f), 1);
    EXPECT_EQ(rect().right, 660);
}

TEST_F(EditorScaleTest, AtTwoTheWindowIsTwiceAsLargeAndShowsTheSharpImages) {
    ASSERT_EQ(setScale(2.f), 1);
    openEditor();
    HeadlessPlatform::Window* w = shown();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->width, 1320);
    EXPECT_EQ(w->height, 496);
    // The panel on the screen is the double-resolution panel, pixel for
    // pixel, where no control covers it (the logo).
    CBitmap panel(128);
    ASSERT_TRUE(panel.hasDouble());
    const PixelImage& twin = panel.getDoubleStore();
    int differing = 0;
    for (int32 y = 60; y < 180; ++y)
        for (int32 x = 60; x < 460; ++x) {
            const uint8_t* s = w->pixel(x, y);
            const uint8_t* t = twin.pixel(x, y);
            differing += s[0] != t[0] || s[1] != t[1] || s[2] != t[2];
        }
    EXPECT_EQ(differing, 0);
}

TEST_F(EditorScaleTest, ADragCoversTheSameRangeAtEveryScale) {
    for (float scale : {2.f, 1.5f, 1.25f}) {
        effect->setParameter(7, 0.25f);
        ASSERT_EQ(setScale(scale), 1);
        openEditor();
        // Contour at 322, 198 in panel pixels; 10 panel pixels up per step.
        const int32 x = scaling::toDevice(322, scale), y = scaling::toDevice(198, scale);
        std::vector<HeadlessPlatform::Step> steps;
        for (int32 k = 1; k <= 5; k++)
            steps.push_back(device(x, scaling::toDevice(198 - 10 * k, scale), kLButton));
        pressDevice(x, y, steps);
        EXPECT_NEAR(effect->getParameter(7), 0.5f, 1e-5f) << scale;
        ASSERT_FALSE(hostLog().events.empty());
        EXPECT_EQ(hostLog().events.front(), "begin 7");
        EXPECT_EQ(hostLog().events.back(), "end 7");
        dispatch(effEditClose);
    }
}

TEST_F(EditorScaleTest, TheWheelFindsTheKnobUnderTheMouseAtAScale) {
    effect->setParameter(5, 0.5f);
    ASSERT_EQ(setScale(1.5f), 1);
    openEditor();
    const HeadlessPlatform::Step over = device(scaling::toDevice(422, 1.5), scaling::toDevice(198, 1.5), 0);
    headlessPlatform().setInput(over.x, over.y, 0);
    EXPECT_TRUE(editor->onWheel(1.f));
    EXPECT_NEAR(effect->getParameter(5), 0.6f, 1e-5f) << "one notch, as at 1x";
    // Where Mid sits at 1x but not at 1.5 (the bare panel there).
    const HeadlessPlatform::Step old = device(422, 60, 0);
    headlessPlatform().setInput(old.x, old.y, 0);
    EXPECT_FALSE(editor->onWheel(1.f));
}

TEST_F(EditorScaleTest, AScaleChangeWhileOpenResizesTheWindow) {
    openEditor();
    EXPECT_EQ(shown()->width, 660);
    ASSERT_EQ(setScale(2.f), 1);
    EXPECT_EQ(shown()->width, 1320);
    EXPECT_EQ(shown()->height, 496);
    headlessPlatform().paintAll(window());
    ASSERT_EQ(setScale(1.f), 1);
    EXPECT_EQ(shown()->width, 660);
}

TEST_F(EditorScaleTest, WithoutTheHostsCallTheDesktopsHintSizesTheEditor) {
    headlessPlatform().setScaleHint(1.5);
    effect = std::make_unique<Corvex>(recordingHost, &makeFrontPanel);
    editor = dynamic_cast<SDEditor*>(effect->getEditor());
    ASSERT_NE(editor, nullptr);
    ERect r = rect();
    EXPECT_EQ(r.right - r.left, 990);
    EXPECT_EQ(r.bottom - r.top, 372);
    openEditor();
    EXPECT_EQ(shown()->width, 990);
    // The screen's scale changes under the open editor (another monitor).
    headlessPlatform().changeScale(window(), 2.0);
    EXPECT_EQ(shown()->width, 1320);
    EXPECT_EQ(rect().right, 1320);
    // Once the host has told a scale, the host decides.
    ASSERT_EQ(setScale(1.25f), 1);
    EXPECT_EQ(shown()->width, 825);
    headlessPlatform().changeScale(window(), 2.0);
    EXPECT_EQ(shown()->width, 825);
}

TEST_F(EditorScaleTest, ANonsenseHintIsOne) {
    for (double hint : {0.5, 9.0, std::numeric_limits<double>::quiet_NaN()}) {
        headlessPlatform().setScaleHint(hint);
        effect = std::make_unique<Corvex>(recordingHost, &makeFrontPanel);
        editor = dynamic_cast<SDEditor*>(effect->getEditor());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(rect().right, 660) << hint;
    }
}
