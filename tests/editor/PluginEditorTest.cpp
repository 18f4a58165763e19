// The built plug-in's editor on its real window layer (X11 on Linux), loaded
// as a host loads it: without a display, and with a parent window id that
// does not exist. Neither may crash the host; the editor keeps its rectangle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "loader/PluginLibrary.h"
#include "shell/vst2.h"
#include "tests/support/QuietHost.h"

namespace {

class EditorPlugin : public ::testing::Test {
protected:
    void SetUp() override {
#if !defined(CORVEX_PLUGIN_PATH)
        GTEST_SKIP() << "the plug-in is not built in this configuration";
#else
        std::string error;
        ASSERT_TRUE(library.open(CORVEX_PLUGIN_PATH, error)) << error;
        auto entry = library.symbol("VSTPluginMain");
        ASSERT_NE(entry, nullptr);
        effect = entry(quietHost);
        ASSERT_NE(effect, nullptr);
#endif
    }
    void TearDown() override {
        if (effect)
            dispatch(effClose);
        library.close();
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, index, value, ptr, 0.f);
    }
    void expectPanelRect() {
        ERect* rect = nullptr;
        ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, 660);
        EXPECT_EQ(rect->bottom - rect->top, 248);
    }
    // Open, idle, move a parameter, idle, close, twice over.
    void exerciseEditor(void* parent) {
        for (int round = 0; round < 2; round++) {
            EXPECT_EQ(dispatch(effEditOpen, 0, 0, parent), 1);
            expectPanelRect();
            dispatch(effEditIdle);
            effect->setParameter(effect, 3, 0.9f);
            dispatch(effEditIdle);
            dispatch(effEditClose);
            dispatch(effEditIdle);
        }
        EXPECT_FLOAT_EQ(effect->getParameter(effect, 3), 0.9f);
    }

    corvex::PluginLibrary library;
    AEffect* effect = nullptr;
};

}  // namespace

TEST_F(EditorPlugin, HasItsEditorAndRectangle) {
    EXPECT_EQ(effect->flags & effFlagsHasEditor, effFlagsHasEditor);
    expectPanelRect();
}

TEST_F(EditorPlugin, OpensWithoutADisplay) {
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    unsetenv("DISPLAY");
    exerciseEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(0x2a00001)));
    if (saved)
        setenv("DISPLAY", display.c_str(), 1);
}

// Run by the Xvfb test with DISPLAY set: a parent id that is no window on
// the server gives no editor window, and no X error ends the host.
TEST_F(EditorPlugin, SurvivesAParentThatIsNoWindow) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run by the editor_xvfb test)";
    exerciseEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(0x3fffff1)));
}
