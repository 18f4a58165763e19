// The editor on the headless window layer: its rectangle and layout, both
// directions of the parameter binding, what a drag or click sends the host,
// images across open/close cycles, keys, wheel, knob mode and idle pacing.
#include "EditorTestSupport.h"

#include <algorithm>
#include <cstring>

using namespace VSTGUI;
using namespace editortest;

namespace editortest {

HostLog& hostLog() {
    static HostLog log;
    return log;
}

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    HostLog& log = hostLog();
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterAutomate:
            log.events.push_back("automate " + std::to_string(index));
            log.automatedValues.push_back(opt);
            return 1;
        case audioMasterBeginEdit:
            log.events.push_back("begin " + std::to_string(index));
            return 1;
        case audioMasterEndEdit:
            log.events.push_back("end " + std::to_string(index));
            return 1;
        case audioMasterIdle:
            log.idleCalls++;
            if (log.onIdle)
                log.onIdle();
            return 1;
        default:
            return 0;
    }
}

}  // namespace editortest

namespace {

struct Expected {
    int32 tag;
    bool knob;
    CRect size;
};

// The panel layout, in creation (= drawing) order.
const Expected kPanel[13] = {
    {0, true, CRect(62, 176, 107, 221)},    {1, false, CRect(100, 192, 150, 218)},
    {12, false, CRect(158, 200, 166, 208)}, {10, false, CRect(551, 128, 601, 154)},
    {2, true, CRect(185, 176, 230, 221)},   {3, true, CRect(237, 176, 282, 221)},
    {7, true, CRect(300, 176, 345, 221)},   {4, true, CRect(351, 176, 396, 221)},
    {5, true, CRect(400, 176, 445, 221)},   {6, true, CRect(449, 176, 494, 221)},
    {8, true, CRect(499, 176, 544, 221)},   {9, true, CRect(549, 176, 594, 221)},
    {11, false, CRect(551, 108, 601, 134)},
};

int32 knobFrame(CControl* control) {
    auto* knob = dynamic_cast<CAnimKnob*>(control);
    return knob && knob->getFrameHeight() > 0 ? knob->frameOffsetForValue() / knob->getFrameHeight() : -1;
}

}  // namespace

// --- rectangle, layout, images ---------------------------------------------------

TEST_F(EditorTest, RectIsThePanelWhileClosed) {
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 248);
    EXPECT_EQ(rect->right, 660);
    // The effect reports its editor: replacing, chunks and has-editor.
    EXPECT_EQ(effect->getAeffect()->flags, 0x31);
    EXPECT_EQ(editor->getFrame(), nullptr);
}

TEST_F(EditorTest, OpenBuildsThePanelInOrder) {
    openEditor();
    CFrame* frame = editor->getFrame();
    EXPECT_EQ(frame->getBackground(), editor->getBackground());
    CRect frameSize;
    frame->getSize(frameSize);
    EXPECT_EQ(frameSize, CRect(0, 0, 660, 248));
    ASSERT_EQ(frame->getViewCount(), 13);
    for (int32 i = 0; i < 13; i++) {
        SCOPED_TRACE("control " + std::to_string(i));
        auto* control = dynamic_cast<CControl*>(frame->getView(i));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->getTag(), kPanel[i].tag);
        EXPECT_EQ(editor->getControl(kPanel[i].tag), control);
        EXPECT_EQ(control->isTypeOf("CAnimKnob"), kPanel[i].knob);
        EXPECT_EQ(control->isTypeOf("COnOffButton"), !kPanel[i].knob);
        CRect size;
        control->getViewSize(size);
        EXPECT_EQ(size, kPanel[i].size);
        EXPECT_EQ(control->getListener(), static_cast<CControlListener*>(editor));
        EXPECT_FALSE(control->getTransparency());
        EXPECT_FLOAT_EQ(control->getDefaultValue(), 0.5f);
        EXPECT_FLOAT_EQ(control->getWheelStep(), 0.1f);
        if (auto* knob = dynamic_cast<CAnimKnob*>(control)) {
            EXPECT_EQ(knob->getFrameCount(), 63);
            EXPECT_EQ(knob->getFrameHeight(), 45);
            EXPECT_FALSE(knob->getInverted());
        } else {
            EXPECT_EQ(static_cast<COnOffButton*>(control)->getStyle(), 0);
        }
    }
}

TEST_F(EditorTest, ImagesAreSharedAsLoadedAndHeldOnlyByControls) {
    openEditor();
    // Image 1 once for the eight plain knobs, each holding it.
    CBitmap* knobImage = editor->getControl(0)->getBackground();
    ASSERT_NE(knobImage, nullptr);
    EXPECT_EQ(knobImage->getResourceId(), 1);
    for (int32 tag : {2, 4, 5, 6, 7, 8, 9})
        EXPECT_EQ(editor->getControl(tag)->getBackground(), knobImage);
    EXPECT_EQ(knobImage->getNbReference(), 8);
    // The mix knob has image 6 of its own; the two slides each load image 5.
    CBitmap* mix = editor->getControl(3)->getBackground();
    EXPECT_EQ(mix->getResourceId(), 6);
    EXPECT_EQ(mix->getNbReference(), 1);
    CBitmap* mono = editor->getControl(10)->getBackground();
    CBitmap* quality = editor->getControl(11)->getBackground();
    EXPECT_EQ(mono->getResourceId(), 5);
    EXPECT_EQ(quality->getResourceId(), 5);
    EXPECT_NE(mono, quality);
    EXPECT_EQ(editor->getControl(1)->getBackground()->getResourceId(), 3);
    EXPECT_EQ(editor->getControl(12)->getBackground()->getResourceId(), 4);
    // The panel: held by the editor and the frame.
    EXPECT_EQ(editor->getBackground()->getNbReference(), 2);
}

TEST_F(EditorTest, OpenCloseCyclesReleaseEveryControlImage) {
    CBitmap* panel = editor->getBackground();
    for (int cycle = 0; cycle < 4; cycle++) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        openEditor();
        // Keep every image of this opening alive past close, to see who
        // still holds it then.
        std::vector<CBitmap*> images;
        for (int32 tag = 0; tag < 13; tag++) {
            CBitmap* image = editor->getControl(tag)->getBackground();
            if (std::find(images.begin(), images.end(), image) == images.end())
                images.push_back(image);
        }
        EXPECT_EQ(images.size(), 6u);  // 1 (shared), 6, 3, 4, 5, 5
        for (CBitmap* image : images)
            image->remember();
        dispatch(effEditClose);
        EXPECT_EQ(editor->getFrame(), nullptr);
        EXPECT_EQ(headlessPlatform().windowCount(), 0u);
        for (CBitmap* image : images) {
            EXPECT_EQ(image->getNbReference(), 1) << "image " << image->getResourceId() << " still held";
            image->forget();
        }
        // Nothing of an opening survives but the panel, which the editor keeps.
        EXPECT_EQ(editor->getBackground(), panel);
        EXPECT_EQ(panel->getNbReference(), 1);
    }
}

TEST_F(EditorTest, ControlsShowTheStoredValuesWhenOpened) {
    const float values[13] = {0.f, 1.f, 0.5f, 0.25f, 0.75f, 0.01f, 0.02f, 0.999f, 1.f, 0.3f, 0.f, 1.f, 0.f};
    // The channel first: switching it recalls that channel's own settings.
    effect->setParameter(1, values[1]);
    for (int32 i = 0; i < 13; i++)
        if (i != 1)
            effect->setParameter(i, values[i]);
    openEditor();
    for (int32 i = 0; i < 13; i++) {
        SCOPED_TRACE("tag " + std::to_string(i));
        CControl* control = editor->getControl(i);
        EXPECT_FLOAT_EQ(control->getValue(), effect->getParameter(i));
        EXPECT_FALSE(control->isDirty());  // drawn at the first paint
    }
    EXPECT_EQ(knobFrame(editor->getControl(2)), 31);  // 0.5
    EXPECT_EQ(knobFrame(editor->getControl(0)), 0);
    EXPECT_EQ(knobFrame(editor->getControl(5)), 0);   // 0.01
    EXPECT_EQ(knobFrame(editor->getControl(6)), 1);   // 0.02
    EXPECT_EQ(knobFrame(editor->getControl(7)), 61);  // 0.999
    EXPECT_EQ(knobFrame(editor->getControl(8)), 62);  // 1

    // Closed and opened again: same layout, values read afresh.
    dispatch(effEditClose);
    effect->setParameter(2, 1.f);
    openEditor();
    EXPECT_EQ(knobFrame(editor->getControl(2)), 62);
    EXPECT_EQ(editor->getFrame()->getViewCount(), 13);
}

// --- host to editor ------------------------------------------------------------

TEST_F(EditorTest, HostChangesMoveTheControlOfThatParameter) {
    openEditor();
    effect->setParameter(3, 0.8f);
    EXPECT_FLOAT_EQ(editor->getControl(3)->getValue(), 0.8f);  // the mix knob, not the 4th created
    EXPECT_FLOAT_EQ(editor->getControl(10)->getValue(), effect->getParameter(10));
    EXPECT_TRUE(editor->getControl(3)->isDirty());

    // The lamp is redrawn at the next idle, not before.
    const uint8_t* lamp = shown()->pixel(162, 204);
    const uint8_t dark[4] = {lamp[0], lamp[1], lamp[2], lamp[3]};
    effect->setParameter(12, 1.f);
    EXPECT_FLOAT_EQ(editor->getControl(12)->getValue(), 1.f);
    EXPECT_EQ(std::memcmp(shown()->pixel(162, 204), dark, 4), 0);
    dispatch(effEditIdle);
    EXPECT_NE(std::memcmp(shown()->pixel(162, 204), dark, 4), 0);
    EXPECT_FALSE(editor->getControl(12)->isDirty());
    effect->setParameter(12, 0.f);
    dispatch(effEditIdle);
    EXPECT_EQ(std::memcmp(shown()->pixel(162, 204), dark, 4), 0);
}

TEST_F(EditorTest, TheControlTakesTheValueTheEffectStored) {
    openEditor();
    effect->setParameter(4, 0.6f);
    // The host's value is not used: the control reads the effect.
    editor->setParameter(4, 0.1f);
    EXPECT_FLOAT_EQ(editor->getControl(4)->getValue(), 0.6f);
}

TEST_F(EditorTest, BadIndexesAndClosedEditorsIgnoreHostChanges) {
    // Closed: nothing to move, nothing breaks.
    editor->setParameter(3, 0.9f);
    effect->setParameter(3, 0.9f);
    EXPECT_EQ(editor->getControl(3), nullptr);

    openEditor();
    std::vector<float> before;
    for (int32 i = 0; i < 13; i++)
        before.push_back(editor->getControl(i)->getValue());
    editor->setParameter(13, 0.2f);
    editor->setParameter(-1, 0.2f);
    editor->setParameter(0x7fffffff, 0.2f);
    for (int32 i = 0; i < 13; i++)
        EXPECT_FLOAT_EQ(editor->getControl(i)->getValue(), before[i]);
    EXPECT_TRUE(hostLog().events.empty());

    // After close the old controls are gone; host changes must not reach them.
    dispatch(effEditClose);
    effect->setParameter(3, 0.1f);
    effect->setParameter(12, 1.f);
    dispatch(effEditClose);  // closing twice is harmless
    EXPECT_EQ(editor->getFrame(), nullptr);
}

// --- editor to host ----------------------------------------------------------------

TEST_F(EditorTest, OverlapsGoToTheLaterControl) {
    effect->setParameter(1, 0.f);
    effect->setParameter(10, 0.f);
    effect->setParameter(11, 0.f);
    openEditor();
    auto only = [](int tag) {
        const std::string t = std::to_string(tag);
        return std::vector<std::string>{"begin " + t, "automate " + t, "end " + t};
    };

    press(103, 200);  // channel switch over the input knob's right edge
    EXPECT_EQ(hostLog().events, only(1));
    EXPECT_FLOAT_EQ(effect->getParameter(1), 1.f);

    hostLog().clear();
    press(560, 130);  // quality switch over the top of mono/stereo
    EXPECT_EQ(hostLog().events, only(11));
    EXPECT_FLOAT_EQ(effect->getParameter(11), 1.f);
    EXPECT_FLOAT_EQ(effect->getParameter(10), 0.f);

    hostLog().clear();
    press(560, 140);  // below the overlap: mono/stereo
    EXPECT_EQ(hostLog().events, only(10));

    hostLog().clear();
    press(99, 200);  // left of the overlap: the input knob
    ASSERT_FALSE(hostLog().events.empty());
    EXPECT_EQ(hostLog().events.front(), "begin 0");
}

TEST_F(EditorTest, SwitchClickIsOneBracketedAutomation) {
    effect->setParameter(12, 0.f);
    openEditor();
    press(162, 204);
    const std::vector<std::string> expected{"begin 12", "automate 12", "end 12"};
    EXPECT_EQ(hostLog().events, expected);
    ASSERT_EQ(hostLog().automatedValues.size(), 1u);
    EXPECT_FLOAT_EQ(hostLog().automatedValues[0], 1.f);
    EXPECT_FLOAT_EQ(effect->getParameter(12), 1.f);
    EXPECT_FLOAT_EQ(editor->getControl(12)->getValue(), 1.f);

    // A host value of 0.5 counts as off for the switch's own flip: it goes to 1.
    effect->setParameter(12, 0.5f);
    hostLog().clear();
    press(162, 204);
    ASSERT_EQ(hostLog().automatedValues.size(), 1u);
    EXPECT_FLOAT_EQ(hostLog().automatedValues[0], 1.f);
}

TEST_F(EditorTest, KnobDragIsBracketedWithOneAutomationPerStep) {
    effect->setParameter(7, 0.25f);
    openEditor();
    // Contour knob; the pointer goes up 10 pixels per step.
    const int32 x = 322, y = 198;
    std::vector<HeadlessPlatform::Step> steps;
    for (int32 k = 1; k <= 5; k++)
        steps.push_back(at(x, y - 10 * k, kLButton));
    press(x, y, steps);

    ASSERT_GE(hostLog().events.size(), 3u);
    EXPECT_EQ(hostLog().events.front(), "begin 7");
    EXPECT_EQ(hostLog().events.back(), "end 7");
    const std::vector<float> expected{0.25f, 0.30f, 0.35f, 0.40f, 0.45f, 0.50f};
    ASSERT_EQ(hostLog().automatedValues.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        EXPECT_EQ(hostLog().events[i + 1], "automate 7");
        EXPECT_NEAR(hostLog().automatedValues[i], expected[i], 1e-5f);
    }
    EXPECT_NEAR(effect->getParameter(7), 0.5f, 1e-5f);
    // Nothing else moved.
    EXPECT_FLOAT_EQ(effect->getParameter(4), editor->getControl(4)->getValue());
}

TEST_F(EditorTest, CircularKnobModeStillAnswersTrueAndDragsLinearly) {
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 0), 1);
    EXPECT_EQ(AEffGUIEditor::knobMode, 2);
    EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 1), 1);
    EXPECT_EQ(AEffGUIEditor::knobMode, 2);

    effect->setParameter(9, 0.f);
    openEditor();
    EXPECT_EQ(editor->getFrame()->getKnobMode(), 2);
    // 100 pixels straight right from 0: half way, whatever the angle.
    press(571, 198, {at(621, 198, kLButton), at(671, 198, kLButton)});
    EXPECT_NEAR(effect->getParameter(9), 0.5f, 1e-5f);
}

// --- keys and wheel ------------------------------------------------------------------

TEST_F(EditorTest, KeysAndWheelNeedAnOpenEditor) {
    VstKeyCode up{0, VKEY_UP, 0};
    EXPECT_FALSE(editor->onKeyDown(up));
    EXPECT_FALSE(editor->onKeyUp(up));
    EXPECT_FALSE(editor->onWheel(1.f));
    EXPECT_EQ(dispatch(effEditKeyDown, 0, VKEY_UP, nullptr, 0.f), 0);
}

TEST_F(EditorTest, ArrowKeysMoveTheKnobLastTouched) {
    effect->setParameter(2, 0.5f);
    openEditor();
    press(207, 198);  // a click on Drive makes it the focus
    hostLog().clear();
    VstKeyCode up{0, VKEY_UP, 0};
    EXPECT_TRUE(editor->onKeyDown(up));
    EXPECT_NEAR(effect->getParameter(2), 0.6f, 1e-5f);
    const std::vector<std::string> expected{"begin 2", "automate 2", "end 2"};
    EXPECT_EQ(hostLog().events, expected);
    VstKeyCode letter{'a', 0, 0};
    EXPECT_FALSE(editor->onKeyDown(letter));
}

TEST_F(EditorTest, WheelMovesTheKnobUnderTheMouse) {
    effect->setParameter(5, 0.5f);
    openEditor();
    const HeadlessPlatform::Step over = at(422, 198, 0);  // Mid
    headlessPlatform().setInput(over.x, over.y, 0);
    EXPECT_TRUE(editor->onWheel(1.f));
    EXPECT_NEAR(effect->getParameter(5), 0.6f, 1e-5f);
    const HeadlessPlatform::Step away = at(20, 20, 0);  // bare panel
    headlessPlatform().setInput(away.x, away.y, 0);
    EXPECT_FALSE(editor->onWheel(1.f));
}

// --- idle --------------------------------------------------------------------------

class EditorIdle : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        openEditor();
        sleptBefore = headlessPlatform().sleptMilliseconds();
    }
    uint32_t slept() const { return headlessPlatform().sleptMilliseconds() - sleptBefore; }
    uint32_t sleptBefore = headlessPlatform().sleptMilliseconds();
};

TEST_F(EditorIdle, StepsSoonAfterAnIdleOnlySleep) {
    headlessPlatform().setTicks(5000);
    editor->runIdle();  // due: runs, next at 5100
    EXPECT_EQ(hostLog().idleCalls, 1);
    EXPECT_EQ(editor->getNextIdleTime(), 5100u);
    EXPECT_EQ(slept(), 0u);

    headlessPlatform().setTicks(5010);  // 4 ms later it is still before 5050
    editor->runIdle();
    EXPECT_EQ(hostLog().idleCalls, 1);
    EXPECT_EQ(slept(), 4u);
    EXPECT_EQ(editor->getNextIdleTime(), 5100u);

    headlessPlatform().setTicks(5046);  // 5050 after the sleep: runs
    editor->runIdle();
    EXPECT_EQ(hostLog().idleCalls, 2);
    EXPECT_EQ(slept(), 8u);
    EXPECT_EQ(editor->getNextIdleTime(), 5150u);  // from the time after the sleep
}

TEST_F(EditorIdle, ADragLetsTheHostIdleAboutEveryFiftyMilliseconds) {
    headlessPlatform().setTicks(10000);
    editor->runIdle();
    hostLog().clear();
    int idles = 0;
    // Each step costs its own 4 ms sleep and nothing else; 1 s of steps.
    for (int step = 0; step < 250; step++) {
        editor->runIdle();
        idles = hostLog().idleCalls;
    }
    EXPECT_GE(idles, 18);
    EXPECT_LE(idles, 21);
}

TEST_F(EditorIdle, TickArithmeticIsUnsigned) {
    headlessPlatform().setTicks(0xFFFFFFA0u);
    editor->runIdle();
    EXPECT_EQ(editor->getNextIdleTime(), 4u);  // wrapped past 2^32
    EXPECT_EQ(hostLog().idleCalls, 1);

    // Before the wrap the count is far above the wrapped next time, so the
    // next step runs at once.
    headlessPlatform().setTicks(0xFFFFFFA4u);
    editor->runIdle();
    EXPECT_EQ(hostLog().idleCalls, 2);
    EXPECT_EQ(slept(), 0u);
    EXPECT_EQ(editor->getNextIdleTime(), 8u);

    // After the wrap: next - 50 wraps high, so every early step only sleeps
    // until the next time itself is reached.
    headlessPlatform().setTicks(0);
    editor->runIdle();  // 4 < 8 - 50 (unsigned)
    EXPECT_EQ(hostLog().idleCalls, 2);
    editor->runIdle();  // at 4 after the sleep: sleeps again
    EXPECT_EQ(hostLog().idleCalls, 2);
    EXPECT_EQ(slept(), 8u);
    editor->runIdle();  // at 8: due
    EXPECT_EQ(hostLog().idleCalls, 3);
    EXPECT_EQ(editor->getNextIdleTime(), 108u);
}

TEST_F(EditorIdle, HostIdleInsideRunIdleDoesNotRedraw) {
    bool stillDirty = false;
    hostLog().onIdle = [&] {
        // A host that idles the editor from inside its idle callback.
        effect->setParameter(9, 0.9f);
        dispatch(effEditIdle);
        stillDirty = editor->getControl(9)->isDirty();
    };
    headlessPlatform().setTicks(20000);
    editor->runIdle();
    hostLog().onIdle = nullptr;
    EXPECT_TRUE(stillDirty);
    dispatch(effEditIdle);
    EXPECT_FALSE(editor->getControl(9)->isDirty());
}

TEST_F(EditorTest, DeletingTheEffectWithTheEditorOpenClosesIt) {
    openEditor();
    EXPECT_EQ(headlessPlatform().windowCount(), 1u);
    effect.reset();
    EXPECT_EQ(headlessPlatform().windowCount(), 0u);
}

TEST_F(EditorTest, WindowDestroyedByTheSystemBeforeClose) {
    openEditor();
    headlessPlatform().destroyBySystem(window());
    effect->setParameter(3, 0.7f);
    dispatch(effEditIdle);
    dispatch(effEditClose);
    EXPECT_EQ(editor->getFrame(), nullptr);
    openEditor();  // opens again normally
    EXPECT_FLOAT_EQ(editor->getControl(3)->getValue(), 0.7f);
}
