// The VST3 editor on a real X server, run by xvfb_vst3_editor_test.sh: our
// test host asks the controller for its view, gives it a frame that offers
// the host's run loop, embeds it in an X window of its own and idles it from
// the timer and the X connection's handler the view registered, as a Linux
// VST3 host does. xdotool drags the Contour knob: the host must see one
// edit (beginEdit, rising values, endEdit) and the controller show the last
// value. Removing the view must take its window, timer and handler away; a
// host without a run loop gets no view.
//
// Usage: vst3-editor-check    (DISPLAY must name the server)
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Contour knob (300..345 x 176..221): five steps of 10 pixels upwards.
void dragUp() {
    std::system("xdotool mousemove 322 198 mousedown 1");
    for (int k = 1; k <= 5; ++k) {
        pause(100);
        const std::string move = "xdotool mousemove 322 " + std::to_string(198 - 10 * k);
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
    tresult V3_CALL resizeView(IPlugView*, ViewRect*) override { return kResultFalse; }
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

}  // namespace

int main() {
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
    std::atomic<bool> done{false};
    std::thread mouse([&] {
        pause(500);  // first paint
        dragUp();
        done = true;
    });
    for (int after = 0; after < 20;) {
        frame.turn(20);
        if (done)
            ++after;
    }
    mouse.join();
    int begins = 0, ends = 0;
    std::vector<double> values;
    bool ordered = true;
    for (const RecordingHandler::Edit& e : host.handler.edits) {
        if (e.id != 7)
            continue;
        if (e.kind == 'b') {
            ordered = ordered && begins == ends;
            ++begins;
        } else if (e.kind == 'e') {
            ordered = ordered && begins == ends + 1;
            ++ends;
        } else {
            ordered = ordered && begins == ends + 1;
            values.push_back(e.value);
        }
    }
    check(begins == 1 && ends == 1 && ordered, "one edit: beginEdit, performEdit..., endEdit");
    bool rising = values.size() >= 3;
    for (size_t i = 1; i < values.size(); ++i)
        rising = rising && values[i] >= values[i - 1];
    check(rising && values.back() - values.front() > 0.15, "the values rise with the mouse");
    check(!values.empty() && host.controller->getParamNormalized(7) == values.back(),
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

    XDestroyWindow(display, window);
    XCloseDisplay(display);
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
