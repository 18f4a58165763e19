// Editor speed: how long the host waits for effEditOpen (frame, thirteen
// controls, every image decoded) plus the first full paint, and the cost of
// the idle redraw after a host parameter change. The window layer here is a
// stand-in that accepts windows and discards presented pixels, so only our
// own work is measured.
#include <benchmark/benchmark.h>

#include "editor/SDEditor.h"
#include "gui/CFrame.h"
#include "gui/platform/Platform.h"
#include "model/Corvex.h"
#include "plugin/FrontPanel.h"
#include "tests/support/QuietHost.h"

namespace {

using namespace VSTGUI;

class BenchWindows : public NullPlatform {
public:
    void* createFrameWindow(void*, int32_t, int32_t, FrameWindowSink* s) override {
        sink = s;
        return &window;
    }
    void destroyFrameWindow(void*) override { sink = nullptr; }
    void paintAll(int32_t width, int32_t height) {
        if (sink) sink->platformPaint(PlatformRect{0, 0, width, height});
    }

private:
    int window = 0;
    FrameWindowSink* sink = nullptr;
};


int parentWindow = 0;

struct Session {
    Session() : previous(&platform()) { setPlatform(&windows); }
    ~Session() { setPlatform(previous == &windows ? nullptr : previous); }
    BenchWindows windows;
    Platform* previous;
};

// effEditOpen and the first paint of the whole panel, then effEditClose.
void BM_EditorOpenAndFirstPaint(benchmark::State& state) {
    Session session;
    Corvex effect(quietHost, &makeFrontPanel);
    AEffEditor* editor = effect.getEditor();
    for (auto _ : state) {
        editor->open(&parentWindow);
        session.windows.paintAll(660, 248);
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
    session.windows.paintAll(660, 248);
    float value = 0.f;
    for (auto _ : state) {
        value = value >= 1.f ? 0.f : value + 0.05f;
        effect.setParameter(Corvex::kDrive, value);
        editor->idle();
    }
    editor->close();
}
BENCHMARK(BM_EditorIdleAfterHostChange)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
