// The rig's editor on the headless window layer: the strip under the head's
// panel, its lettering from the font strip, its boxes, the meters, a dropped
// file and a refused one.
#include "editor/RigEditor.h"
#include "gui/vstgui.h"
#include "gui/platform/headless/HeadlessPlatform.h"
#include "gui/ScaledDrawing.h"
#include "rig/RigEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <map>
#include <utility>
#include <string>
#include <vector>

namespace {

using namespace VSTGUI;

static_assert(corvex::kRigPortGateThreshold == corvex::kGateThreshold, "the port's indexes are the rig's");
static_assert(corvex::kRigPortCabinetOn == corvex::kCabinetOn, "the port's indexes are the rig's");
static_assert(corvex::kRigPortCabinetTrim == corvex::kCabinetTrim, "the port's indexes are the rig's");

class FakeRigPort : public corvex::RigPort {
public:
    float get(int index) const override {
        auto it = values.find(index);
        return it == values.end() ? 0.f : it->second;
    }
    void set(int index, float value) override { values[index] = value; }
    void beginGesture(int) override {}
    void endGesture(int) override {}
    float takeInputPeak() override { return std::exchange(inputPeak, 0.f); }
    float takeOutputPeak() override { return std::exchange(outputPeak, 0.f); }
    bool gateClosed() const override { return closed; }
    std::string cabinetName() const override { return cabinet; }
    void stepCabinet(int delta) override { cabinetSteps += delta; }
    std::string programName() const override { return program; }
    void stepProgram(int delta) override { programSteps += delta; }
    bool loadImpulse(const std::string& path, std::string& error) override {
        loads.push_back(path);
        if (path.find("bad") != std::string::npos) {
            error = "Not an audio file: bad.txt";
            return false;
        }
        cabinet = path.substr(path.rfind('/') + 1);
        return true;
    }

    std::map<int, float> values;
    float inputPeak = 0.f, outputPeak = 0.f;
    bool closed = false;
    std::string cabinet = "4x12 Closed";
    std::string program = "Glass Clean";
    int cabinetSteps = 0, programSteps = 0;
    std::vector<std::string> loads;
};

int parentWindow;

class RigEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        headlessPlatform().reset();
        editor = std::make_unique<corvex::RigEditor>(port);
        ASSERT_TRUE(editor->open(&parentWindow));
        ASSERT_NE(window(), nullptr);
        headlessPlatform().paintAll(window());
    }
    void TearDown() override {
        editor.reset();
        headlessPlatform().reset();
    }
    void* window() const { return editor->getFrame() ? editor->getFrame()->getWindow() : nullptr; }
    HeadlessPlatform::Window* shown() const { return headlessPlatform().window(window()); }
    void idle() {
        editor->idle();
        headlessPlatform().paintAll(window());
    }
    void click(int32 x, int32 y) {
        int32_t ox = 0, oy = 0;
        headlessPlatform().getWindowOrigin(window(), ox, oy);
        headlessPlatform().setInput(x + ox, y + oy, 0);
        headlessPlatform().queue({{x + ox, y + oy, kLButton}, {x + ox, y + oy, 0}});
        headlessPlatform().press(window(), x, y, kLButton);
        headlessPlatform().setInput(x + ox, y + oy, 0);
        idle();
    }
    // Whether the cells of `text` drawn at x, y show exactly the font
    // strip's characters: a pixel differs from the strip's background
    // where, and only where, the character has ink.
    ::testing::AssertionResult showsText(int x, int y, const std::string& text) {
        CBitmap font(40);
        if (!font.isLoaded())
            return ::testing::AssertionFailure() << "no font image";
        const PixelImage& glyphs = font.getPixelStore();
        const uint8_t* background = shown()->pixel(x - 1, y);
        uint8_t back[4];
        std::memcpy(back, background, 4);
        for (size_t i = 0; i < text.size(); ++i) {
            const int index = static_cast<unsigned char>(text[i]) - 32;
            int ink = 0;
            for (int row = 0; row < 14; ++row) {
                for (int col = 0; col < 7; ++col) {
                    const bool hasInk = glyphs.pixel(index * 7 + col, row)[3] > 40;
                    const bool differs =
                        std::memcmp(shown()->pixel(x + static_cast<int>(i) * 7 + col, y + row), back, 3) != 0;
                    if (hasInk && !differs)
                        return ::testing::AssertionFailure()
                               << "'" << text[i] << "' lacks ink at " << col << "," << row;
                    ink += hasInk;
                    if (!hasInk && differs && glyphs.pixel(index * 7 + col, row)[3] == 0)
                        return ::testing::AssertionFailure()
                               << "'" << text[i] << "' has stray ink at " << col << "," << row;
                }
            }
            if (text[i] != ' ' && ink == 0)
                return ::testing::AssertionFailure() << "'" << text[i] << "' has no ink in the font";
        }
        return ::testing::AssertionSuccess();
    }
    bool meterLit(int x, int y) const {
        const uint8_t* p = shown()->pixel(x, y);
        return p[1] > 150 && p[2] < 100;  // green
    }

    FakeRigPort port;
    std::unique_ptr<corvex::RigEditor> editor;
};

TEST_F(RigEditorTest, TheStripSitsBelowTheHeadsPanelWithItsLettering) {
    ASSERT_EQ(shown()->width, 660);
    ASSERT_EQ(shown()->height, 248 + corvex::RigEditor::kStripHeight);
    // The strip's labels and names, each character as the font draws it.
    EXPECT_TRUE(showsText(14, 248 + 72, "PRESET"));
    EXPECT_TRUE(showsText(90, 248 + 72, "Glass Clean"));
    EXPECT_TRUE(showsText(166, 248 + 10, "4x12 Closed"));
    EXPECT_TRUE(showsText(14, 248 + 53, "GATE"));
    // Names the port changes are shown at the next idle.
    port.program = "High Gain";
    idle();
    EXPECT_TRUE(showsText(90, 248 + 72, "High Gain"));
}

TEST_F(RigEditorTest, TheBoxesSetTheCabinetAndStepCabinetsAndPrograms) {
    click(120, 248 + 16);  // ON/OFF
    EXPECT_EQ(port.get(corvex::kRigPortCabinetOn), 1.f);
    EXPECT_TRUE(showsText(113, 248 + 10, "ON"));
    click(120, 248 + 16);
    EXPECT_EQ(port.get(corvex::kRigPortCabinetOn), 0.f);
    click(150, 248 + 16);  // previous cabinet
    click(320, 248 + 16);  // next
    click(320, 248 + 16);
    EXPECT_EQ(port.cabinetSteps, 1);
    click(75, 248 + 78);  // previous program
    EXPECT_EQ(port.programSteps, -1);
    click(200, 248 + 100);  // the message line: nothing
    EXPECT_EQ(port.programSteps, -1);
}

TEST_F(RigEditorTest, TheLampShowsAClosedGateAndTheMetersMove) {
    const uint8_t* lamp = shown()->pixel(66, 248 + 18);
    const int dark = lamp[2];
    port.closed = true;
    idle();
    EXPECT_GT(static_cast<int>(shown()->pixel(66, 248 + 18)[2]), dark + 100);

    EXPECT_FALSE(meterLit(440, 248 + 16));
    port.inputPeak = 0.5f;  // -6 dB: most of the scale
    port.outputPeak = 0.01f;  // -40 dB: a third of it
    idle();
    EXPECT_TRUE(meterLit(440, 248 + 16));
    EXPECT_TRUE(meterLit(560, 248 + 16));
    EXPECT_TRUE(meterLit(440, 248 + 36));
    EXPECT_FALSE(meterLit(560, 248 + 36));
    // Without new peaks they fall back to nothing.
    for (int i = 0; i < 30; ++i)
        idle();
    EXPECT_FALSE(meterLit(440, 248 + 16));
}

TEST_F(RigEditorTest, AFileDroppedAnywhereOnThePanelIsLoaded) {
    const std::vector<std::string> files{"/tmp/impulses/my cab.wav"};
    EXPECT_EQ(headlessPlatform().drag(window(), PlatformDragEvent::enter, &files), 2);
    headlessPlatform().drag(window(), PlatformDragEvent::over, nullptr);
    headlessPlatform().drag(window(), PlatformDragEvent::drop, nullptr);
    ASSERT_EQ(port.loads.size(), 1u);
    EXPECT_EQ(port.loads[0], files[0]);
    idle();
    EXPECT_EQ(editor->message(), "Loaded my cab.wav");
    EXPECT_TRUE(showsText(14, 248 + 110 - 16, "Loaded my cab.wav"));
    EXPECT_TRUE(showsText(166, 248 + 10, "my cab.wav"));
}

TEST_F(RigEditorTest, ARefusedFileShowsItsOneLineAndKeepsTheCabinet) {
    const std::vector<std::string> files{"/tmp/bad.txt"};
    headlessPlatform().drag(window(), PlatformDragEvent::enter, &files);
    headlessPlatform().drag(window(), PlatformDragEvent::drop, nullptr);
    idle();
    EXPECT_EQ(editor->message(), "Not an audio file: bad.txt");
    EXPECT_TRUE(showsText(14, 248 + 110 - 16, "Not an audio file: bad.txt"));
    EXPECT_TRUE(showsText(166, 248 + 10, "4x12 Closed"));
    // A drag without files is not taken.
    EXPECT_EQ(headlessPlatform().drag(window(), PlatformDragEvent::enter, nullptr), 0);
}

#ifndef _WIN32
// The desktop's file chooser is a program found on the PATH (zenity and its
// kin); the Windows build asks the system's open-file dialog instead.
TEST_F(RigEditorTest, WithoutAFileChooserTheStripSaysWhatToDo) {
    const char* saved = std::getenv("PATH");
    const std::string path = saved ? saved : "";
    setenv("PATH", "/nonexistent", 1);
    click(140, 248 + 40);  // LOAD IR
    setenv("PATH", path.c_str(), 1);
    EXPECT_NE(editor->message().find("No file chooser"), std::string::npos);
    EXPECT_TRUE(showsText(14, 248 + 110 - 16, "No file chooser"));
}

// A stand-in for the desktop's chooser on the PATH: the panel keeps running
// while it is open and loads what it answers; a cancelled one loads nothing.
TEST_F(RigEditorTest, TheFileChooserRunsBesideThePanelAndItsAnswerIsLoaded) {
    const std::string dir = ::testing::TempDir() + "rig-chooser-" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
    auto writeChooser = [&](const std::string& body) {
        FILE* f = std::fopen((dir + "/zenity").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "#!/bin/sh\n%s\n", body.c_str());
        std::fclose(f);
        ASSERT_EQ(chmod((dir + "/zenity").c_str(), 0755), 0);
    };
    const char* saved = std::getenv("PATH");
    const std::string path = saved ? saved : "";
    setenv("PATH", (dir + ":/usr/bin:/bin").c_str(), 1);
    auto waitForChooser = [&](const std::string& until) {
        for (int i = 0; i < 400 && editor->message() != until; ++i) {
            idle();
            usleep(10000);
        }
    };

    writeChooser("sleep 0.3; echo '/tmp/chosen cab.wav'");
    click(140, 248 + 40);  // LOAD IR: returns at once
    EXPECT_EQ(editor->message(), "Choose an impulse file...");
    EXPECT_TRUE(port.loads.empty());
    waitForChooser("Loaded chosen cab.wav");
    ASSERT_EQ(port.loads.size(), 1u);
    EXPECT_EQ(port.loads[0], "/tmp/chosen cab.wav");

    writeChooser("exit 1");  // cancelled
    click(140, 248 + 40);
    waitForChooser("");
    EXPECT_EQ(port.loads.size(), 1u);

    writeChooser("sleep 30");  // still open when the panel closes: ended with it
    click(140, 248 + 40);
    editor->close();
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}
#endif  // !_WIN32

TEST_F(RigEditorTest, TheStripKnobsSetTheRigsParameters) {
    // The gate knob follows the port at idle: its frame changes.
    std::vector<uint8_t> before(shown()->pixels);
    port.values[corvex::kRigPortGateThreshold] = 0.75f;
    idle();
    EXPECT_NE(shown()->pixels, before);
    // A wheel turn over the trim knob sets the trim through the port.
    const float trim = port.get(corvex::kRigPortCabinetTrim);
    headlessPlatform().wheel(window(), 368, 248 + 28, false, 1.0f);
    EXPECT_GT(port.get(corvex::kRigPortCabinetTrim), trim);
}

// The strip at a screen scale: the window S times the 1x size, the lettering
// from the font's double-resolution twin, presses, drags and the wheel found
// at scaled screen pixels and covering the same range as at 1x.
class RigEditorScaleTest : public RigEditorTest {
protected:
    // Reopens the editor at `scale`.
    void reopenAt(double scale) {
        editor->close();
        ASSERT_TRUE(editor->setScaleFactor(scale));
        ASSERT_TRUE(editor->open(&parentWindow));
        headlessPlatform().paintAll(window());
    }
    // Presses at device x, y, moves through `path` (device points) with the
    // button down, and lets go at the last.
    void dragDevice(int32 x, int32 y, const std::vector<std::pair<int32, int32>>& path) {
        int32_t ox = 0, oy = 0;
        headlessPlatform().getWindowOrigin(window(), ox, oy);
        std::vector<HeadlessPlatform::Step> steps{{x + ox, y + oy, kLButton}};
        for (const auto& p : path)
            steps.push_back({p.first + ox, p.second + oy, kLButton});
        const HeadlessPlatform::Step last = steps.back();
        steps.push_back({last.x, last.y, 0});
        headlessPlatform().setInput(x + ox, y + oy, 0);
        headlessPlatform().queue(steps);
        headlessPlatform().press(window(), x, y, kLButton);
        headlessPlatform().setInput(last.x, last.y, 0);
        idle();
    }
    // Mean absolute difference (0..1) between the 1x window `one` and
    // `two` (a window at scale 2) halved with a box filter.
    static double halvedDifference(const HeadlessPlatform::Window& one, const HeadlessPlatform::Window& two) {
        double sum = 0.0;
        for (int32 y = 0; y < one.height; ++y)
            for (int32 x = 0; x < one.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int quad = two.pixel(2 * x, 2 * y)[c] + two.pixel(2 * x + 1, 2 * y)[c] +
                                     two.pixel(2 * x, 2 * y + 1)[c] + two.pixel(2 * x + 1, 2 * y + 1)[c];
                    sum += std::fabs(quad / 4.0 - one.pixel(x, y)[c]);
                }
        return sum / (255.0 * 3.0 * one.width * one.height);
    }
};

TEST_F(RigEditorScaleTest, AtTwoTheWindowIsTwiceAsLargeAndMatchesTheOneXPanelHalved) {
    const HeadlessPlatform::Window one = *shown();
    reopenAt(2.0);
    ASSERT_EQ(shown()->width, 1320);
    ASSERT_EQ(shown()->height, 716);
    ERect* r = nullptr;
    ASSERT_TRUE(editor->getRect(&r));
    EXPECT_EQ(r->right - r->left, 1320);
    EXPECT_EQ(r->bottom - r->top, 716);
    // Halved, the 2x panel shows what the 1x one does (measured: 1.1 %;
    // the glyphs and knobs are drawn finer, not moved).
    const double halved = halvedDifference(one, *shown());
    EXPECT_LT(halved, 0.02);
    // The measure sees misplaced drawing: the 1x panel against itself one
    // pixel to the side differs far more.
    HeadlessPlatform::Window shifted = one;
    for (int32 y = 0; y < one.height; ++y)
        for (int32 x = 1; x < one.width; ++x)
            std::memcpy(&shifted.pixels[(static_cast<size_t>(y) * one.width + x) * 4], one.pixel(x - 1, y), 4);
    double moved = 0.0;
    for (int32 y = 0; y < one.height; ++y)
        for (int32 x = 0; x < one.width; ++x)
            for (int c = 0; c < 3; ++c)
                moved += std::fabs(double(shifted.pixel(x, y)[c]) - one.pixel(x, y)[c]);
    moved /= 255.0 * 3.0 * one.width * one.height;
    EXPECT_GT(moved, 1.5 * halved);
}

TEST_F(RigEditorScaleTest, TheLetteringAtTwoIsDrawnFromTheDoubleResolutionFont) {
    CBitmap font(40);
    ASSERT_TRUE(font.hasDouble());
    const PixelImage& twin = font.getDoubleStore();
    ASSERT_EQ(twin.width(), 2 * font.getPixelStore().width());
    ASSERT_EQ(twin.height(), 2 * font.getPixelStore().height());
    reopenAt(2.0);
    // "PRESET" at 14, 320 (1x): each device pixel is the twin's glyph
    // pixel over the strip (premultiplied), as a copy at twice the size
    // shows it; the 1x glyphs drawn up would not match.
    const std::string text = "PRESET";
    uint8_t back[4];
    std::memcpy(back, shown()->pixel(2 * 14 - 2, 2 * 320), 4);
    int wrong = 0, ink = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int index = static_cast<unsigned char>(text[i]) - 32;
        for (int32 row = 0; row < 28; ++row)
            for (int32 col = 0; col < 14; ++col) {
                const uint8_t* t = twin.pixel(index * 14 + col, row);
                const uint8_t* s = shown()->pixel(2 * 14 + static_cast<int32>(i) * 14 + col, 2 * 320 + row);
                ink += t[3] > 128;
                for (int c = 0; c < 3; ++c)
                    wrong += std::abs(t[c] + back[c] * (255 - t[3]) / 255 - s[c]) > 2;
            }
    }
    EXPECT_GT(ink, 100) << "the letters have ink";
    EXPECT_EQ(wrong, 0) << "device pixels not from the double-resolution glyphs";
}

TEST_F(RigEditorScaleTest, ADragCoversTheSameRangeAtEveryScale) {
    for (double scale : {1.0, 2.0, 1.5}) {
        port.values[corvex::kRigPortGateThreshold] = 0.25f;
        reopenAt(scale);
        // The gate knob's centre (32, 276 at 1x); 50 panel pixels up in five
        // steps.
        const int32 x = scaling::toDevice(32, scale), y = scaling::toDevice(276, scale);
        std::vector<std::pair<int32, int32>> path;
        for (int32 k = 1; k <= 5; ++k)
            path.emplace_back(x, scaling::toDevice(276 - 10 * k, scale));
        dragDevice(x, y, path);
        EXPECT_NEAR(port.get(corvex::kRigPortGateThreshold), 0.5f, 1e-5f) << scale;
    }
}

TEST_F(RigEditorScaleTest, PressesAndTheWheelFindTheStripsControlsAtTwo) {
    reopenAt(2.0);
    // The cabinet's on box (100..140 x 256..274 at 1x).
    const float before = port.get(corvex::kRigPortCabinetOn);
    click(240, 530);
    EXPECT_NE(port.get(corvex::kRigPortCabinetOn), before);
    // The program's next box (314..330 x 318..336 at 1x); where it sits at
    // 1x is bare strip at 2.
    click(644, 654);
    EXPECT_EQ(port.programSteps, 1);
    click(322, 327);
    EXPECT_EQ(port.programSteps, 1);
    // A wheel notch over the trim (346..391 x 254..299 at 1x) steps as at 1x.
    port.values[corvex::kRigPortCabinetTrim] = 0.5f;
    idle();
    headlessPlatform().wheel(window(), 736, 552, false, 1.0f);
    const float once = port.get(corvex::kRigPortCabinetTrim);
    EXPECT_GT(once, 0.5f);
    reopenAt(1.0);
    port.values[corvex::kRigPortCabinetTrim] = 0.5f;
    idle();
    headlessPlatform().wheel(window(), 368, 276, false, 1.0f);
    EXPECT_FLOAT_EQ(port.get(corvex::kRigPortCabinetTrim), once);
}

TEST_F(RigEditorScaleTest, ThePanelTakesTheHostsScaleAndRefusesNonsense) {
    std::unique_ptr<corvex::Panel> panel = corvex::createRigPanel(port);
    ASSERT_NE(panel, nullptr);
    uint32_t w = 0, h = 0;
    panel->size(w, h);
    EXPECT_EQ(w, 660u);
    EXPECT_EQ(h, 358u);
    EXPECT_TRUE(panel->setScale(1.5));
    panel->size(w, h);
    EXPECT_EQ(w, 990u);
    EXPECT_EQ(h, 537u);
    for (double bad : {0.5, 0.0, 8.0, std::nan("")})
        EXPECT_FALSE(panel->setScale(bad)) << bad;
    panel->size(w, h);
    EXPECT_EQ(w, 990u);
    EXPECT_TRUE(panel->setScale(2.0));
    panel->size(w, h);
    EXPECT_EQ(w, 1320u);
    EXPECT_EQ(h, 716u);
}

}  // namespace
