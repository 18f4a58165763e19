// Editor speed: how long the host waits for effEditOpen (frame, thirteen
// controls, every image decoded) plus the first full paint, and the cost of
// the idle redraw after a host parameter change. The window layer is the
// headless one: it shows nothing but copies each presented rectangle into its
// buffer, as a real window layer copies it to the screen. The scaled cases
// (argument: scale x 100) draw the same at a screen scale: 2 copies the
// double-resolution images, 1.5 and 1.25 resample them.
#include <benchmark/benchmark.h>

#include "editor/SDEditor.h"
#include "gui/ScaledDrawing.h"
#include "gui/CFrame.h"
#include "gui/platform/headless/HeadlessPlatform.h"
#include "model/Corvex.h"
#include "plugin/FrontPanel.h"
#include "tests/support/QuietHost.h"

namespace {

using namespace VSTGUI;

int parentWindow = 0;

// Each benchmark starts from a fresh headless layer; paintAll is the system
// asking for the whole of the editor's window.
struct Session {
    Session() { headlessPlatform().reset(); }
    void paintAll(int32_t width, int32_t height) {
        HeadlessPlatform::Window* window = headlessPlatform().lastWindow();
        if (window && window->sink)
            window->sink->platformPaint(PlatformRect{0, 0, width, height});
    }
};

// effEditOpen and the first paint of the whole panel, then effEditClose.
void BM_EditorOpenAndFirstPaint(benchmark::State& state) {
    Session session;
    Corvex effect(quietHost, &makeFrontPanel);
    AEffEditor* editor = effect.getEditor();
    for (auto _ : state) {
        editor->open(&parentWindow);
        session.paintAll(660, 248);
        editor->close();
    }
    state.SetLabel("open + paint + close");
}
BENCHMARK(BM_EditorOpenAndFirstPaint)->Unit(benchmark::kMillisecond);

// The host moves one knob; the next idle redraws its rectangle.
void BM_EditorIdleAfterHostChange(benchmark::State& state) {
    Session session;
    Corvex effect(quietHost, &makeFrontPanel);
    AEffEditor* editor = effect.getEditor();
    editor->open(&parentWindow);
    session.paintAll(660, 248);
    float value = 0.f;
    for (auto _ : state) {
        value = value >= 1.f ? 0.f : value + 0.05f;
        effect.setParameter(Corvex::kDrive, value);
        editor->idle();
    }
    editor->close();
}
BENCHMARK(BM_EditorIdleAfterHostChange)->Unit(benchmark::kMicrosecond);

// A full paint of the open editor at a screen scale.
void BM_EditorFullPaintAtScale(benchmark::State& state) {
    Session session;
    Corvex effect(quietHost, &makeFrontPanel);
    auto* editor = dynamic_cast<AEffGUIEditor*>(effect.getEditor());
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    if (!editor || !editor->setScaleFactor(scale)) {
        state.SkipWithError("no scaled editor");
        return;
    }
    editor->open(&parentWindow);
    const int32_t w = scaling::toDevice(660, scale), h = scaling::toDevice(248, scale);
    for (auto _ : state)
        session.paintAll(w, h);
    editor->close();
    state.SetLabel("full paint, " + std::to_string(w) + " x " + std::to_string(h));
}
BENCHMARK(BM_EditorFullPaintAtScale)->Arg(100)->Arg(125)->Arg(150)->Arg(200)->Unit(benchmark::kMillisecond);

// The host moves one knob at a screen scale; the next idle redraws it.
void BM_EditorIdleAfterHostChangeAtScale(benchmark::State& state) {
    Session session;
    Corvex effect(quietHost, &makeFrontPanel);
    auto* editor = dynamic_cast<AEffGUIEditor*>(effect.getEditor());
    const double scale = static_cast<double>(state.range(0)) / 100.0;
    if (!editor || !editor->setScaleFactor(scale)) {
        state.SkipWithError("no scaled editor");
        return;
    }
    editor->open(&parentWindow);
    session.paintAll(scaling::toDevice(660, scale), scaling::toDevice(248, scale));
    float value = 0.f;
    for (auto _ : state) {
        value = value >= 1.f ? 0.f : value + 0.05f;
        effect.setParameter(Corvex::kDrive, value);
        editor->idle();
    }
    editor->close();
}
BENCHMARK(BM_EditorIdleAfterHostChangeAtScale)->Arg(100)->Arg(150)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
