// Speed of the editor's drawing: opening a frame like the plug-in's editor
// (panel, thirteen controls, first paint), an idle after one knob moved, and
// an idle with nothing to do. The window is the headless layer's, which shows
// nothing but copies each presented rectangle into its buffer, as a real
// window layer copies it to the screen; that copy is part of the figures.
#include "gui/platform/headless/HeadlessPlatform.h"
#include "gui/vstgui.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace VSTGUI;

struct Listener : CControlListener {
    void valueChanged(CDrawContext*, CControl*) override {}
};

struct Layout {
    int32 tag, image, left, top;
    bool knob;
};

// The editor's thirteen controls in creation order.
const Layout kLayout[] = {
    {0, 1, 62, 176, true},    {1, 3, 100, 192, false}, {12, 4, 158, 200, false}, {10, 5, 551, 128, false},
    {2, 1, 185, 176, true},   {3, 6, 237, 176, true},  {7, 1, 300, 176, true},   {4, 1, 351, 176, true},
    {5, 1, 400, 176, true},   {6, 1, 449, 176, true},  {8, 1, 499, 176, true},   {9, 1, 549, 176, true},
    {11, 5, 551, 108, false},
};

struct EditorLike {
    explicit EditorLike(CBitmap* panel) {
        frame = new CFrame(CRect(0, 0, panel->getWidth(), panel->getHeight()), reinterpret_cast<void*>(1), nullptr);
        frame->setBackground(panel);
        CBitmap* knobImage = nullptr;
        for (const Layout& l : kLayout) {
            CBitmap* image = nullptr;
            if (l.image == 1) {
                if (!knobImage)
                    knobImage = new CBitmap(1);
                image = knobImage;
            } else {
                image = new CBitmap(l.image);
            }
            CControl* c = nullptr;
            if (l.knob) {
                const int32 h = image->getHeight() / 63;
                c = new CAnimKnob(CRect(l.left, l.top, l.left + image->getWidth(), l.top + h), &listener, l.tag, 63, h,
                                  image);
            } else {
                c = new COnOffButton(CRect(l.left, l.top, l.left + image->getWidth(), l.top + image->getHeight() / 2),
                                     &listener, l.tag, image);
            }
            c->setValue(0.5f);
            frame->addView(c);
            controls.push_back(c);
            if (l.image != 1)
                image->forget();
        }
        if (knobImage)
            knobImage->forget();
    }
    ~EditorLike() { frame->forget(); }
    Listener listener;
    CFrame* frame = nullptr;
    std::vector<CControl*> controls;
};

void paintAll(CFrame* frame) {
    CRect r;
    frame->getSize(r);
    frame->platformPaint(PlatformRect{r.left, r.top, r.right, r.bottom});
}

void BM_EditorOpen(benchmark::State& state) {
    headlessPlatform().reset();
    CBitmap* panel = new CBitmap(128);
    if (panel->getWidth() == 0)
        state.SkipWithError("the library carries no images here");
    for (auto _ : state) {
        EditorLike editor(panel);
        paintAll(editor.frame);
    }
    panel->forget();
}
BENCHMARK(BM_EditorOpen)->Unit(benchmark::kMillisecond);

void BM_IdleOneKnobMoved(benchmark::State& state) {
    headlessPlatform().reset();
    CBitmap* panel = new CBitmap(128);
    {
        EditorLike editor(panel);
        paintAll(editor.frame);
        float v = 0.f;
        for (auto _ : state) {
            v = v > 0.9f ? 0.f : v + 0.05f;
            editor.controls[4]->setValue(v);
            editor.frame->idle();
        }
    }
    panel->forget();
}
BENCHMARK(BM_IdleOneKnobMoved)->Unit(benchmark::kMicrosecond);

void BM_IdleNothingDirty(benchmark::State& state) {
    headlessPlatform().reset();
    CBitmap* panel = new CBitmap(128);
    {
        EditorLike editor(panel);
        paintAll(editor.frame);
        editor.frame->idle();
        for (auto _ : state)
            editor.frame->idle();
        const HeadlessPlatform::Window* window = headlessPlatform().window(editor.frame->getWindow());
        if (!window || window->presentedPixels != 660 * 248)
            state.SkipWithError("an idle with nothing dirty presented pixels");
    }
    panel->forget();
}
BENCHMARK(BM_IdleNothingDirty)->Unit(benchmark::kMicrosecond);

}  // namespace
