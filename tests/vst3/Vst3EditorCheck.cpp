// The VST3 editor on a real X server, run by xvfb_vst3_editor_test.sh: our
// test host asks the controller for its view, gives it a frame that offers
// the host's run loop, embeds it in an X window of its own and idles it from
// the timer and the X connection's handler the view registered, as a Linux
// VST3 host does. xdotool drags the Contour knob: the host must see one
// edit (beginEdit, rising values, endEdit) and the controller show the last
// value. Removing the view must take its window, timer and handler away; a
// host without a run loop gets no view.
//
// With --rig, the same for Corvex Rig's bundle: its panel (the head's and the
// rig strip) at 660 x 358 and at content scale 2, the strip drawn, a drag of
// the gate knob and the strip's buttons (cabinet on/off and next, program
// next, LOAD IR through a stand-in file chooser that answers IMPULSE) reach
// the host as edits, and the impulse reaches the rig's state.
//
// Usage: vst3-editor-check                               (DISPLAY must name the server)
//        vst3-editor-check --rig BUNDLE IMPULSE WORKDIR [SCREENSHOT.ppm]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "Vst3TestHost.h"

using namespace vst3check;
using namespace v3;

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

unsigned childCount(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    if (children)
        XFree(children);
    return count;
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A knob at (x, y), by default Contour (300..345 x 176..221): five steps of
// 10 pixels upwards; at `scale` 2 every coordinate and step doubled.
void dragUp(int scale = 1, int x = 322, int y = 198) {
    const std::string start =
        "xdotool mousemove " + std::to_string(x * scale) + " " + std::to_string(y * scale) + " mousedown 1";
    std::system(start.c_str());
    for (int k = 1; k <= 5; ++k) {
        pause(100);
        const std::string move =
            "xdotool mousemove " + std::to_string(x * scale) + " " + std::to_string((y - 10 * k) * scale);
        std::system(move.c_str());
    }
    pause(100);
    std::system("xdotool mouseup 1");
}

// The host's frame, which also is its run loop (UI thread only).
class Frame : public IPlugFrame, public IRunLoop {
public:
    bool offerRunLoop = true;
    std::vector<std::pair<ITimerHandler*, TimerInterval>> timers;
    std::vector<std::pair<IEventHandler*, int>> handlers;

    tresult V3_CALL queryInterface(const TUID iidWanted, void** obj) override {
        if (!obj)
            return kInvalidArgument;
        *obj = nullptr;
        if (iid::FUnknown.equals(iidWanted) || iid::IPlugFrame.equals(iidWanted))
            *obj = static_cast<IPlugFrame*>(this);
        else if (offerRunLoop && iid::IRunLoop.equals(iidWanted))
            *obj = static_cast<IRunLoop*>(this);
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 V3_CALL addRef() override { return 1; }
    uint32 V3_CALL release() override { return 1; }
    std::vector<ViewRect> resizes;  // what the view asked for
    tresult V3_CALL resizeView(IPlugView*, ViewRect* size) override {
        if (size)
            resizes.push_back(*size);
        return kResultFalse;
    }
    tresult V3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) override {
        handlers.push_back({handler, fd});
        return kResultOk;
    }
    tresult V3_CALL unregisterEventHandler(IEventHandler* handler) override {
        for (size_t i = 0; i < handlers.size(); ++i)
            if (handlers[i].first == handler) {
                handlers.erase(handlers.begin() + static_cast<long>(i));
                return kResultOk;
            }
        return kInvalidArgument;
    }
    tresult V3_CALL registerTimer(ITimerHandler* handler, TimerInterval ms) override {
        timers.push_back({handler, ms});
        return kResultOk;
    }
    tresult V3_CALL unregisterTimer(ITimerHandler* handler) override {
        for (size_t i = 0; i < timers.size(); ++i)
            if (timers[i].first == handler) {
                timers.erase(timers.begin() + static_cast<long>(i));
                return kResultOk;
            }
        return kInvalidArgument;
    }
    // One turn of the host's loop: readable descriptors, then timers.
    void turn(int waitMs) {
        for (auto& h : handlers) {
            pollfd watch{h.second, POLLIN, 0};
            if (poll(&watch, 1, waitMs) > 0)
                h.first->onFDIsSet(h.second);
        }
        for (auto& t : timers)
            t.first->onTimer();
    }
};


// The edits the host saw for `id` from edit number `from` on.
struct EditRun {
    int begins = 0, ends = 0;
    bool ordered = true;  // each perform between its begin and its end
    std::vector<double> values;
};
EditRun editsOf(const RecordingHandler& handler, uint32_t id, size_t from = 0) {
    EditRun run;
    for (size_t i = from; i < handler.edits.size(); ++i) {
        const RecordingHandler::Edit& e = handler.edits[i];
        if (e.id != id)
            continue;
        if (e.kind == 'b') {
            run.ordered = run.ordered && run.begins == run.ends;
            ++run.begins;
        } else if (e.kind == 'e') {
            run.ordered = run.ordered && run.begins == run.ends + 1;
            ++run.ends;
        } else {
            run.ordered = run.ordered && run.begins == run.ends + 1;
            run.values.push_back(e.value);
        }
    }
    return run;
}

// Whether the values performed never fall and rise by more than `by`.
bool risesBy(const EditRun& run, double by) {
    bool rising = run.values.size() >= 3;
    for (size_t i = 1; i < run.values.size(); ++i)
        rising = rising && run.values[i] >= run.values[i - 1];
    return rising && run.values.back() - run.values.front() > by;
}

// The end of a run: the host's window and connection closed, the verdict.
int finish(Display* display, Window window) {
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}

// Runs `mouse` (xdotool) on a thread of its own while the host's loop turns,
// and turns `settle` more times after it is done (UI thread).
template <class Mouse>
void whileTurning(Frame& frame, Mouse mouse, int settle = 20, bool firstPaint = false) {
    std::atomic<bool> done{false};
    std::thread user([&] {
        if (firstPaint)
            pause(500);
        mouse();
        done = true;
    });
    for (int after = 0; after < settle;) {
        frame.turn(20);
        if (done)
            ++after;
    }
    user.join();
}

// ---- Corvex Rig ----

// A window's pixels, 8-bit RGB, row by row.
std::vector<unsigned char> screenshot(Display* display, Window window, unsigned width, unsigned height) {
    std::vector<unsigned char> rgb;
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image)
        return rgb;
    rgb.reserve(static_cast<size_t>(width) * height * 3);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
            rgb.push_back(static_cast<unsigned char>(p >> 16));
            rgb.push_back(static_cast<unsigned char>(p >> 8));
            rgb.push_back(static_cast<unsigned char>(p));
        }
    XDestroyImage(image);
    return rgb;
}

Window onlyChild(Display* display, Window window, unsigned& width, unsigned& height) {
    XSync(display, False);
    Window root = 0, up = 0, *children = nullptr, child = 0;
    unsigned count = 0, border = 0, depth = 0;
    int x = 0, y = 0;
    if (XQueryTree(display, window, &root, &up, &children, &count) && count == 1 &&
        XGetGeometry(display, children[0], &root, &x, &y, &width, &height, &border, &depth))
        child = children[0];
    if (children)
        XFree(children);
    return child;
}

bool pixelNear(const std::vector<unsigned char>& rgb, unsigned width, int x, int y, int r, int g, int b) {
    const size_t at = (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 3;
    return at + 2 < rgb.size() && std::abs(rgb[at] - r) <= 3 && std::abs(rgb[at + 1] - g) <= 3 &&
           std::abs(rgb[at + 2] - b) <= 3;
}

// Pixels brighter than the strip's boxes inside a rectangle (the letters).
int brightPixels(const std::vector<unsigned char>& rgb, unsigned width, int left, int top, int right, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const size_t at = (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 3;
            n += at + 2 < rgb.size() && rgb[at] + rgb[at + 1] + rgb[at + 2] > 450;
        }
    return n;
}

void writePpm(const std::string& path, const std::vector<unsigned char>& rgb, unsigned width, unsigned height) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fprintf(f, "P6\n%u %u\n255\n", width, height);
        std::fwrite(rgb.data(), 1, rgb.size(), f);
        std::fclose(f);
    }
}

// A top-level window of the host's, shown.
Window mappedWindow(Display* display, unsigned width, unsigned height) {
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

// The view given `frame` (which is the host's run loop) and embedded in `window`.
bool attachIn(IPlugView* view, Frame& frame, Window window) {
    view->setFrame(&frame);
    return view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window)), kPlatformTypeX11EmbedWindowID) ==
           kResultOk;
}

// Clicks at (x, y) while the host's loop turns, and turns on a while after.
void clickWhileTurning(Frame& frame, int x, int y) {
    whileTurning(
        frame,
        [&] {
            const std::string click = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
            std::system(click.c_str());
        },
        10);
}

int rigMain(const std::string& bundle, const std::string& impulse, const std::string& work, const char* shot) {
    // A stand-in for the desktop's file chooser, first on the PATH: it
    // answers with the impulse, as zenity does when the user picks a file.
    const std::string chooser = work + "/zenity";
    if (FILE* f = std::fopen(chooser.c_str(), "w")) {
        std::fprintf(f, "#!/bin/sh\nprintf '%%s\\n' '%s'\n", impulse.c_str());
        std::fclose(f);
    }
    std::system(("chmod 755 '" + chooser + "'").c_str());
    const char* path = std::getenv("PATH");
    setenv("PATH", (work + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    // Loaded for the program's life and never unloaded, as hosts keep a
    // module: the libraries it brought stay, and with them their own caches
    // (FFTW's planner), which the leak checker would otherwise find orphaned.
    static Vst3Module& module = *new Vst3Module(bundle);
    Vst3TestHost host;
    if (!host.create(module)) {
        std::fprintf(stderr, "%s\n", host.error().c_str());
        return 1;
    }
    IPlugView* view = host.controller->createView("editor");
    check(view != nullptr, "the rig gives its editor view");
    if (!view)
        return 1;
    ViewRect size{};
    check(view->getSize(&size) == kResultOk && size.right - size.left == 660 && size.bottom - size.top == 358,
          "size 660 x 358 (the head's panel and the strip)");
    const Window window = mappedWindow(display, 700, 400);
    Frame frame;
    check(attachIn(view, frame, window) && frame.timers.size() == 1 && frame.handlers.size() == 1,
          "attached, idled by the host's run loop");
    for (int i = 0; i < 25; ++i)
        frame.turn(20);
    unsigned w = 0, h = 0;
    const Window panel = onlyChild(display, window, w, h);
    check(panel && w == 660 && h == 358, "the editor's window is 660 x 358");
    const std::vector<unsigned char> at1 = panel ? screenshot(display, panel, 660, 358) : std::vector<unsigned char>();
    if (shot)
        writePpm(shot, at1, 660, 358);
    check(pixelNear(at1, 660, 500, 328, 38, 33, 31) && pixelNear(at1, 660, 10, 352, 38, 33, 31),
          "the strip is drawn below the head's panel");
    check(pixelNear(at1, 660, 103, 283, 70, 62, 56) && brightPixels(at1, 660, 100, 280, 184, 298) > 20,
          "its LOAD IR button, lettered");
    check(brightPixels(at1, 660, 162, 256, 314, 274) > 20 && brightPixels(at1, 660, 86, 318, 314, 336) > 20,
          "the cabinet's and the program's names are written");

    // The gate knob (10..55 x 254..299), dragged up.
    const uint32_t gate = 13, cabinetOn = 15, cabinetModel = 16, program = 20;
    const double gateBefore = host.controller->getParamNormalized(gate);
    whileTurning(frame, [] { dragUp(1, 32, 290); });
    EditRun run = editsOf(host.handler, gate);
    check(run.begins == 1 && run.ends == 1 && run.ordered && risesBy(run, 0.1) && run.values.back() - gateBefore > 0.15,
          "a drag of the gate knob: beginEdit, rising performEdits, endEdit");
    check(!run.values.empty() && host.controller->getParamNormalized(gate) == run.values.back(),
          "the controller shows the gate's last value");

    // The strip's buttons: each an edit of its own.
    size_t from = host.handler.edits.size();
    const double onBefore = host.controller->getParamNormalized(cabinetOn);
    clickWhileTurning(frame, 120, 265);
    run = editsOf(host.handler, cabinetOn, from);
    check(run.begins == 1 && run.ends == 1 && run.ordered && run.values.size() == 1 &&
              run.values[0] == 1.0 - onBefore,
          "cabinet ON/OFF: one edit switching it");
    from = host.handler.edits.size();
    clickWhileTurning(frame, 322, 265);
    run = editsOf(host.handler, cabinetModel, from);
    check(run.begins == 1 && run.ends == 1 && run.values.size() == 1 && run.values[0] > 0.0 && run.values[0] < 0.5,
          "cabinet >: one edit to the next bundled cabinet");
    from = host.handler.edits.size();
    clickWhileTurning(frame, 322, 327);
    run = editsOf(host.handler, program, from);
    check(run.begins == 1 && run.ends == 1 && run.values.size() == 1 && std::abs(run.values[0] - 1.0 / 9.0) < 1e-9,
          "preset >: one edit of the program parameter to the second program");

    // LOAD IR: the chooser answers, the rig reads the impulse and the
    // cabinet is switched to it (the user's cabinet is the last choice).
    const size_t stateBefore = host.saveState().size();
    from = host.handler.edits.size();
    clickWhileTurning(frame, 140, 289);
    for (int i = 0; i < 100 && editsOf(host.handler, cabinetModel, from).values.empty(); ++i)
        frame.turn(20);
    run = editsOf(host.handler, cabinetModel, from);
    check(run.begins == 1 && run.ends == 1 && run.values.size() == 1 && run.values[0] == 1.0,
          "LOAD IR: the chosen impulse becomes the cabinet (one edit)");
    check(host.controller->getParamNormalized(cabinetOn) == 1.0, "and the cabinet is on");
    const size_t stateAfter = host.saveState().size();
    check(stateAfter > stateBefore + 1000, "the rig's state now carries the impulse: " +
                                               std::to_string(stateBefore) + " -> " + std::to_string(stateAfter) +
                                               " bytes");
    check(view->removed() == kResultOk && frame.timers.empty() && frame.handlers.empty(),
          "removed gives back the timer and the handler");
    view->release();

    // Content scale 2, a fresh instance: the same picture from the 2x
    // images, twice the size.
    Vst3TestHost fresh;
    if (!fresh.create(module)) {
        std::fprintf(stderr, "%s\n", fresh.error().c_str());
        return 1;
    }
    IPlugView* big = fresh.controller->createView("editor");
    void* obj = nullptr;
    check(big && big->queryInterface(iid::IPlugViewContentScaleSupport.bytes, &obj) == kResultOk && obj,
          "content-scale support");
    if (big && obj) {
        auto* scaling = static_cast<IPlugViewContentScaleSupport*>(obj);
        ViewRect got{};
        check(scaling->setContentScaleFactor(2.0f) == kResultTrue && big->getSize(&got) == kResultOk &&
                  got.right - got.left == 1320 && got.bottom - got.top == 716,
              "scale 2: 1320 x 716");
        const Window bigWindow = mappedWindow(display, 1400, 760);
        Frame bigFrame;
        check(attachIn(big, bigFrame, bigWindow), "attached at scale 2");
        for (int i = 0; i < 25; ++i)
            bigFrame.turn(20);
        const Window child = onlyChild(display, bigWindow, w, h);
        check(child && w == 1320 && h == 716, "the editor's window is 1320 x 716");
        const std::vector<unsigned char> at2 = child ? screenshot(display, child, 1320, 716)
                                                     : std::vector<unsigned char>();
        // Halved, the 2x picture is the 1x one; and it is not the 1x one
        // with its pixels doubled (the letters are drawn at 2x).
        double difference = 0.0;
        int unevenBlocks = 0;
        if (at2.size() == 1320u * 716u * 3u && at1.size() == 660u * 358u * 3u) {
            for (unsigned y = 0; y < 358; ++y)
                for (unsigned x = 0; x < 660; ++x)
                    for (unsigned c = 0; c < 3; ++c) {
                        auto px = [&](unsigned xx, unsigned yy) { return at2[(yy * 1320 + xx) * 3 + c]; };
                        const int halved =
                            (px(2 * x, 2 * y) + px(2 * x + 1, 2 * y) + px(2 * x, 2 * y + 1) + px(2 * x + 1, 2 * y + 1) + 2) / 4;
                        difference += std::abs(halved - at1[(y * 660 + x) * 3 + c]);
                        if (c == 0 && x >= 100 && x < 184 && y >= 280 && y < 298)
                            unevenBlocks += px(2 * x, 2 * y) != px(2 * x + 1, 2 * y) ||
                                            px(2 * x, 2 * y) != px(2 * x, 2 * y + 1) ||
                                            px(2 * x, 2 * y) != px(2 * x + 1, 2 * y + 1);
                    }
            difference /= 660.0 * 358.0 * 3.0 * 255.0;
        } else {
            difference = 1.0;
        }
        check(difference < 0.03, "halved, the 2x panel is the 1x one: mean difference " +
                                     std::to_string(difference * 100.0) + " %");
        check(unevenBlocks > 20, "the 2x letters are drawn sharp, not doubled (" + std::to_string(unevenBlocks) +
                                     " uneven 2x2 blocks in LOAD IR)");
        check(pixelNear(at2, 1320, 1000, 656, 38, 33, 31) && pixelNear(at2, 1320, 206, 566, 70, 62, 56),
              "the strip at 2x");
        // A drag at 2x reaches the host as at 1x.
        whileTurning(bigFrame, [] { dragUp(2, 32, 290); });
        run = editsOf(fresh.handler, gate);
        check(run.begins == 1 && run.ends == 1 && run.ordered && !run.values.empty(),
              "a drag of the gate knob at 2x: one edit");
        scaling->release();
        big->removed();
        big->release();
        XDestroyWindow(display, bigWindow);
    }
    return finish(display, window);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string(argv[1]) == "--rig")
        return rigMain(argv[2], argv[3], argv[4], argc > 5 ? argv[5] : nullptr);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);

    Vst3TestHost host;
    if (!host.create()) {
        std::fprintf(stderr, "%s\n", host.error().c_str());
        return 1;
    }
    check(host.controller->createView("something else") == nullptr, "only the editor view");
    IPlugView* view = host.controller->createView("editor");
    check(view != nullptr, "createView(\"editor\")");
    if (!view)
        return 1;
    check(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) == kResultTrue, "X11 embedding supported");
    check(view->isPlatformTypeSupported(kPlatformTypeHWND) != kResultTrue, "HWND not on Linux");
    ViewRect size{};
    check(view->getSize(&size) == kResultOk && size.right - size.left == 660 && size.bottom - size.top == 248,
          "size 660 x 248");
    check(view->canResize() != kResultTrue, "fixed size");
    ViewRect asked{10, 10, 900, 900};
    check(view->checkSizeConstraint(&asked) == kResultTrue && asked.right == 670 && asked.bottom == 258,
          "a size constraint check gives the fixed size");

    // A frame without a run loop, and a host context without one: no view.
    Frame bare;
    bare.offerRunLoop = false;
    view->setFrame(&bare);
    check(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window)), kPlatformTypeX11EmbedWindowID) !=
              kResultOk,
          "no run loop, no view (never a thread of its own)");
    check(childCount(display, window) == 0, "and no window");

    Frame frame;
    view->setFrame(&frame);
    check(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window)), "HWND") != kResultOk,
          "a foreign window type refused");
    check(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window)), kPlatformTypeX11EmbedWindowID) ==
              kResultOk,
          "attached");
    check(frame.timers.size() == 1 && frame.timers[0].second > 0 && frame.timers[0].second <= 50,
          "one idle timer of at most 50 ms on the host's run loop");
    check(frame.handlers.size() == 1, "the X connection watched by the host's run loop");
    check(childCount(display, window) == 1, "the editor's window is in ours");

    // The drag, while the host's loop runs.
    whileTurning(frame, [] { dragUp(); }, 20, true);  // after the first paint
    const EditRun contour = editsOf(host.handler, 7);
    check(contour.begins == 1 && contour.ends == 1 && contour.ordered, "one edit: beginEdit, performEdit..., endEdit");
    check(risesBy(contour, 0.15), "the values rise with the mouse");
    check(!contour.values.empty() && host.controller->getParamNormalized(7) == contour.values.back(),
          "the controller shows the last value");

    // A value the host sets reaches the panel at the next idle (no crash,
    // the knob follows; seen here as no edit coming back).
    const size_t editsBefore = host.handler.edits.size();
    host.controller->setParamNormalized(2, 0.1);
    frame.turn(0);
    check(host.handler.edits.size() == editsBefore, "a host's value is shown, not sent back");

    check(view->removed() == kResultOk && frame.timers.empty() && frame.handlers.empty(),
          "removed gives back the timer and the handler");
    XSync(display, False);
    check(childCount(display, window) == 0, "and takes the window away");
    check(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(window)), kPlatformTypeX11EmbedWindowID) ==
              kResultOk &&
              childCount(display, window) == 1,
          "attached again");
    view->release();  // a host that forgets removed: the view cleans up
    XSync(display, False);
    check(frame.timers.empty() && childCount(display, window) == 0, "released: no timer, no window");

    // The host's content scale, as a host on a 200 % screen tells it.
    IPlugView* scaledView = host.controller->createView("editor");
    void* obj = nullptr;
    check(scaledView && scaledView->queryInterface(iid::IPlugViewContentScaleSupport.bytes, &obj) == kResultOk && obj,
          "content-scale support");
    if (scaledView && obj) {
        auto* scaling = static_cast<IPlugViewContentScaleSupport*>(obj);
        Frame bigFrame;
        scaledView->setFrame(&bigFrame);
        ViewRect got{};
        check(scaling->setContentScaleFactor(0.5f) == kResultFalse && scaling->setContentScaleFactor(5.0f) ==
                                                                          kResultFalse &&
                  scaledView->getSize(&got) == kResultOk && got.right == 660 && got.bottom == 248,
              "scales 0.5 and 5 refused, the size stays 660 x 248");
        check(scaling->setContentScaleFactor(2.0f) == kResultTrue && scaledView->getSize(&got) == kResultOk &&
                  got.right - got.left == 1320 && got.bottom - got.top == 496,
              "scale 2 before attaching: 1320 x 496");
        ViewRect wrong{0, 0, 660, 248}, right{0, 0, 1320, 496};
        check(scaledView->onSize(&wrong) != kResultOk && scaledView->onSize(&right) == kResultOk,
              "onSize takes the scaled size only");
        const Window big = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1400, 560, 0, 0, 0);
        XMapWindow(display, big);
        XSync(display, False);
        check(scaledView->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(big)),
                                   kPlatformTypeX11EmbedWindowID) == kResultOk,
              "attached at scale 2");
        auto childSize = [&](unsigned& w, unsigned& h) {
            XSync(display, False);
            Window root = 0, up = 0, *children = nullptr;
            unsigned count = 0, border = 0, depth = 0;
            int x = 0, y = 0;
            bool ok = XQueryTree(display, big, &root, &up, &children, &count) && count == 1 &&
                      XGetGeometry(display, children[0], &root, &x, &y, &w, &h, &border, &depth);
            if (children)
                XFree(children);
            return ok;
        };
        unsigned w = 0, h = 0;
        check(childSize(w, h) && w == 1320 && h == 496, "the editor's window is 1320 x 496");
        check(scaling->setContentScaleFactor(1.5f) == kResultTrue && !bigFrame.resizes.empty() &&
                  bigFrame.resizes.back().right - bigFrame.resizes.back().left == 990 &&
                  bigFrame.resizes.back().bottom - bigFrame.resizes.back().top == 372 && childSize(w, h) &&
                  w == 990 && h == 372,
              "scale 1.5 while attached: the view asks its frame for 990 x 372 and its window follows");
        check(scaling->setContentScaleFactor(2.0f) == kResultTrue && childSize(w, h) && w == 1320 && h == 496,
              "back to 2");
        host.controller->setParamNormalized(7, 0.25);  // room for the drag
        bigFrame.turn(0);
        const size_t before = host.handler.edits.size();
        const double start = host.controller->getParamNormalized(7);
        whileTurning(bigFrame, [] { dragUp(2); }, 20, true);
        const double moved = host.controller->getParamNormalized(7) - start;
        check(host.handler.edits.size() > before && moved > 0.2 && moved < 0.3,
              "100 screen pixels up at scale 2 add a quarter, as 50 do at 1x: " + std::to_string(moved));
        scaling->release();
        scaledView->removed();
        scaledView->release();
        XDestroyWindow(display, big);
    }
    return finish(display, window);
}
