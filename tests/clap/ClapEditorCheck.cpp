// The CLAP editor on a real X server, run by xvfb_clap_editor_test.sh: our
// test host embeds the editor in an X window of its own through the gui
// extension, idles it from its timers as a CLAP host does, and has xdotool
// drag the Contour knob twice: once while the plug-in is inactive (the news
// arrives through flush) and once while an audio thread processes (the news
// arrives through process). Each drag must come back as one gesture: begin,
// rising (or falling) values, end. Hiding and destroying the editor must
// take its window and its timer away. Last, a host without timers but with
// fd support watches the editor's X connection and idles it when it is
// readable: a drag must come through that way too. At the end the host
// sets the scale to 2 (as a host on a 200 % screen does): the editor's
// window is 1320 x 496, and a drag of twice the pixels moves the knob as
// far as the 1x drag did.
//
// Usage: clap-editor-check PLUGIN.clap     (DISPLAY must name the server)
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ClapTestHost.h"

using namespace clapcheck;

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

// Contour knob (300..345 x 176..221): five steps of 10 pixels, up or down;
// at `scale` 2 every coordinate and step doubled.
void drag(int direction, int scale = 1) {
    const std::string start = "xdotool mousemove " + std::to_string(322 * scale) + " " + std::to_string(198 * scale) +
                              " mousedown 1";
    std::system(start.c_str());
    for (int k = 1; k <= 5; ++k) {
        pause(100);
        const std::string move = "xdotool mousemove " + std::to_string(322 * scale) + " " +
                                 std::to_string((198 - direction * 10 * k) * scale);
        std::system(move.c_str());
    }
    pause(100);
    std::system("xdotool mouseup 1");
}

// Runs the host's main loop (timers, flush on request) until `done` and a
// little after.
void mainLoop(ClapTestHost& host, const std::atomic<bool>& done, bool flushOnRequest, OutputEvents& sent) {
    int seen = host.flushRequests;
    int after = 0;
    while (after < 20) {
        host.fireTimers();
        if (flushOnRequest && host.flushRequests != seen) {
            seen = host.flushRequests;
            host.flush(InputEvents(), sent);
        }
        pause(20);
        if (done)
            ++after;
    }
}

// The drag's events for `param`: one begin, values, one end, values moving
// `direction`-wards by about 0.25 in all.
void checkGesture(const std::vector<SentEvent>& events, uint32_t param, int direction, const char* how) {
    std::vector<double> values;
    int begins = 0, ends = 0;
    bool ordered = true;
    for (const SentEvent& e : events) {
        if (e.param != param)
            continue;
        if (e.type == CLAP_EVENT_PARAM_GESTURE_BEGIN) {
            ordered = ordered && begins == ends;
            ++begins;
        } else if (e.type == CLAP_EVENT_PARAM_GESTURE_END) {
            ordered = ordered && begins == ends + 1;
            ++ends;
        } else if (e.type == CLAP_EVENT_PARAM_VALUE) {
            ordered = ordered && begins == ends + 1;
            values.push_back(e.value);
        }
    }
    std::string list;
    for (double v : values)
        list += " " + std::to_string(v);
    check(begins == 1 && ends == 1 && ordered, std::string(how) + ": one gesture, values inside it");
    check(values.size() >= 3, std::string(how) + ": values during the drag:" + list);
    bool monotonic = true;
    for (size_t i = 1; i < values.size(); ++i)
        monotonic = monotonic && (values[i] - values[i - 1]) * direction >= -1e-9;
    const double moved = values.empty() ? 0.0 : (values.back() - values.front()) * direction;
    check(monotonic && moved > 0.15 && moved < 0.3, std::string(how) + ": values move with the mouse");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PLUGIN.clap\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);

    ClapTestHost host(argv[1]);
    const clap_plugin* plugin = host.create();
    if (!plugin) {
        std::fprintf(stderr, "%s\n", host.error().c_str());
        return 1;
    }
    auto* gui = host.extension<clap_plugin_gui>(CLAP_EXT_GUI);
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    check(gui && params, "gui and params extensions");
    if (!gui || !params)
        return 1;
    uint32_t width = 0, height = 0;
    check(gui->create(plugin, CLAP_WINDOW_API_X11, false), "create x11, embedded");
    check(gui->get_size(plugin, &width, &height) && width == 660 && height == 248, "size 660 x 248");
    clap_window parent{CLAP_WINDOW_API_X11, {nullptr}};
    parent.x11 = window;
    check(gui->set_parent(plugin, &parent), "set_parent");
    check(gui->show(plugin), "show");
    check(host.timers.size() == 1 && host.timers[0].period > 0 && host.timers[0].period <= 50,
          "one idle timer of at most 50 ms");
    check(childCount(display, window) == 1, "the editor's window is in ours");

    // First drag: inactive, the host flushes on request.
    std::atomic<bool> done{false};
    OutputEvents flushed;
    std::thread mouse([&] {
        pause(500);  // first paint
        drag(+1);
        done = true;
    });
    mainLoop(host, done, true, flushed);
    mouse.join();
    check(host.flushRequests > 0, "the editor's news asked for a flush");
    checkGesture(flushed.events, 7, +1, "drag up, flushed");
    double contour = 0.0, lastSent = -1.0;
    params->get_value(plugin, 7, &contour);
    for (const SentEvent& e : flushed.events) {
        if (e.type == CLAP_EVENT_PARAM_VALUE && e.param == 7)
            lastSent = e.value;
    }
    check(contour == lastSent, "the host's last Contour is the effect's: " + std::to_string(contour));

    // Second drag: active, an audio thread processes and carries the news.
    host.activate(48000.0, 256);
    done = false;
    std::atomic<bool> stopAudio{false};
    std::mutex sentLock;
    OutputEvents processed;
    std::thread audio([&] {
        std::vector<float> left(256, 0.0f), right(256, 0.0f);
        float* channels[2] = {left.data(), right.data()};
        while (!stopAudio) {
            OutputEvents block;
            host.process(channels, channels, 256, InputEvents(), block);
            {
                std::lock_guard<std::mutex> hold(sentLock);  // the test's bookkeeping, not the plug-in's
                processed.events.insert(processed.events.end(), block.events.begin(), block.events.end());
            }
            pause(5);
        }
    });
    mouse = std::thread([&] {
        pause(200);
        drag(-1);
        done = true;
    });
    OutputEvents unused;
    mainLoop(host, done, false, unused);
    mouse.join();
    stopAudio = true;
    audio.join();
    checkGesture(processed.events, 7, -1, "drag down, processed");
    host.deactivate();

    // Hide, show, destroy.
    check(gui->hide(plugin) && host.timers.empty() && childCount(display, window) == 0,
          "hide closes the editor and gives back its timer");
    check(gui->show(plugin) && host.timers.size() == 1 && childCount(display, window) == 1, "show opens it again");
    host.fireTimers();
    gui->destroy(plugin);
    check(host.timers.empty() && childCount(display, window) == 0, "destroy leaves no window and no timer");

    // A host with fd support only.
    {
        ClapTestHost fdHost(argv[1]);
        fdHost.offerTimers = false;
        fdHost.offerFds = true;
        const clap_plugin* other = fdHost.create();
        auto* otherGui = fdHost.extension<clap_plugin_gui>(CLAP_EXT_GUI);
        auto* fd = fdHost.extension<clap_plugin_posix_fd_support>(CLAP_EXT_POSIX_FD_SUPPORT);
        check(other && otherGui && fd, "posix-fd-support offered to a host without timers");
        if (other && otherGui && fd && otherGui->create(other, CLAP_WINDOW_API_X11, false) &&
            otherGui->set_parent(other, &parent)) {
            check(fdHost.fds.size() == 1 && fdHost.timers.empty(), "the X connection registered for reading");
            done = false;
            OutputEvents viaFd;
            mouse = std::thread([&] {
                pause(300);
                drag(+1);
                done = true;
            });
            int seen = 0, after = 0;
            while (after < 20 && fdHost.fds.size() == 1) {
                pollfd watch{fdHost.fds[0], POLLIN, 0};
                if (poll(&watch, 1, 20) > 0)
                    fd->on_fd(other, watch.fd, CLAP_POSIX_FD_READ);
                if (fdHost.flushRequests != seen) {
                    seen = fdHost.flushRequests;
                    fdHost.flush(InputEvents(), viaFd);
                }
                if (done)
                    ++after;
            }
            mouse.join();
            checkGesture(viaFd.events, 7, +1, "drag up, idled by fd");
            otherGui->destroy(other);
            check(fdHost.fds.empty(), "destroy unregisters the fd");
        } else {
            check(false, "the editor opens for the fd host");
        }
    }

    // The host's scale: refused outside 1..4, else the size follows.
    {
        ClapTestHost scaledHost(argv[1]);
        const clap_plugin* scaled = scaledHost.create();
        auto* scaledGui = scaledHost.extension<clap_plugin_gui>(CLAP_EXT_GUI);
        check(scaled && scaledGui && scaledGui->create(scaled, CLAP_WINDOW_API_X11, false), "a second editor");
        if (scaled && scaledGui) {
            uint32_t w = 0, h = 0;
            check(!scaledGui->set_scale(scaled, 0.5) && !scaledGui->set_scale(scaled, 4.5) &&
                      !scaledGui->set_scale(scaled, std::nan("")),
                  "set_scale refuses 0.5, 4.5 and NaN");
            check(scaledGui->get_size(scaled, &w, &h) && w == 660 && h == 248, "a refused scale leaves 660 x 248");
            check(scaledGui->set_scale(scaled, 1.5) && scaledGui->get_size(scaled, &w, &h) && w == 990 && h == 372,
                  "scale 1.5: 990 x 372");
            check(scaledGui->set_scale(scaled, 2.0) && scaledGui->get_size(scaled, &w, &h) && w == 1320 && h == 496,
                  "scale 2: 1320 x 496");
            uint32_t aw = 1000, ah = 1000;
            check(!scaledGui->can_resize(scaled) && scaledGui->set_size(scaled, 1320, 496) &&
                      !scaledGui->set_size(scaled, 660, 248) && !scaledGui->adjust_size(scaled, &aw, &ah),
                  "fixed at the scaled size");
            const Window big = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1400, 560, 0, 0, 0);
            XMapWindow(display, big);
            XSync(display, False);
            clap_window bigParent{CLAP_WINDOW_API_X11, {nullptr}};
            bigParent.x11 = big;
            check(scaledGui->set_parent(scaled, &bigParent) && scaledGui->show(scaled), "opens at scale 2");
            Window root = 0, *children = nullptr, up = 0;
            unsigned count = 0, cw = 0, ch = 0, border = 0, depth = 0;
            int cx = 0, cy = 0;
            bool sized = false;
            if (XQueryTree(display, big, &root, &up, &children, &count) && count == 1)
                sized = XGetGeometry(display, children[0], &root, &cx, &cy, &cw, &ch, &border, &depth) && cw == 1320 &&
                        ch == 496;
            if (children)
                XFree(children);
            check(sized, "the editor's window is 1320 x 496");
            done = false;
            OutputEvents scaledSent;
            mouse = std::thread([&] {
                pause(500);
                drag(+1, 2);
                done = true;
            });
            mainLoop(scaledHost, done, true, scaledSent);
            mouse.join();
            checkGesture(scaledSent.events, 7, +1, "drag up at scale 2 (100 screen pixels)");
            scaledGui->destroy(scaled);
            XDestroyWindow(display, big);
        }
    }

    XDestroyWindow(display, window);
    XCloseDisplay(display);
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
