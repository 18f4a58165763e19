// A Corvex with its editor on the headless window layer, and a host that
// records what the plug-in tells it.
#pragma once

#include "editor/SDEditor.h"
#include "gui/vstgui.h"
#include "gui/platform/headless/HeadlessPlatform.h"
#include "model/Corvex.h"
#include "plugin/FrontPanel.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace editortest {

using namespace VSTGUI;

// What the plug-in sent its host, in order: "begin 7", "automate 7 0.25",
// "end 7". Idle calls are only counted.
struct HostLog {
    std::vector<std::string> events;
    std::vector<float> automatedValues;
    int idleCalls = 0;
    std::function<void()> onIdle;  // runs inside the host's idle callback

    void clear() {
        events.clear();
        automatedValues.clear();
        idleCalls = 0;
    }
};

HostLog& hostLog();

VstIntPtr VSTCALLBACK recordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

// A parent window the headless layer accepts (it never looks inside).
inline void* fakeParentWindow() {
    static int parent;
    return &parent;
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        headlessPlatform().reset();
        hostLog().clear();
        effect = std::make_unique<Corvex>(recordingHost, &makeFrontPanel);
        editor = dynamic_cast<SDEditor*>(effect->getEditor());
        ASSERT_NE(editor, nullptr);
    }

    void TearDown() override {
        hostLog().onIdle = nullptr;
        effect.reset();
        headlessPlatform().reset();
    }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.f) {
        AEffect* record = effect->getAeffect();
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }

    // Opens the editor as a host does and lets the window get its first paint.
    void openEditor() {
        ASSERT_EQ(dispatch(effEditOpen, 0, 0, fakeParentWindow()), 1);
        ASSERT_NE(editor->getFrame(), nullptr);
        ASSERT_NE(window(), nullptr);
        headlessPlatform().paintAll(window());
        hostLog().clear();
    }

    void* window() const { return editor->getFrame() ? editor->getFrame()->getWindow() : nullptr; }
    HeadlessPlatform::Window* shown() const { return headlessPlatform().window(window()); }

    // Screen position of a frame point (the headless window sits somewhere
    // on its screen).
    HeadlessPlatform::Step at(int32 x, int32 y, int32 buttons) const {
        int32_t ox = 0, oy = 0;
        headlessPlatform().getWindowOrigin(window(), ox, oy);
        return HeadlessPlatform::Step{x + ox, y + oy, buttons};
    }

    // A press of the primary button at frame point x, y; `then` are the
    // states the control's polling sees afterwards (a release is appended).
    void press(int32 x, int32 y, std::vector<HeadlessPlatform::Step> then = {}) {
        std::vector<HeadlessPlatform::Step> steps{at(x, y, kLButton)};
        steps.insert(steps.end(), then.begin(), then.end());
        const HeadlessPlatform::Step last = steps.back();
        steps.push_back(HeadlessPlatform::Step{last.x, last.y, 0});
        headlessPlatform().setInput(steps.front().x, steps.front().y, 0);
        headlessPlatform().queue(steps);
        headlessPlatform().press(window(), x, y, kLButton);
        headlessPlatform().setInput(last.x, last.y, 0);
    }

    std::unique_ptr<Corvex> effect;
    SDEditor* editor = nullptr;
};

}  // namespace editortest
