// The rig's panel on a real X server (run by rig_xvfb_test.sh on a private
// Xvfb): opens the panel over a RigEngine in a parent window, then plays an
// XDND source on a second connection of its own (enter, position, drop,
// serving the text/uri-list of a WAV impulse written here) and checks that
// the panel answered with XdndStatus and XdndFinished and that the engine
// plays the dropped impulse; runs audio through the engine and checks that
// the meters lit on the screen. With a path argument, writes the panel's
// screenshot there as a binary PPM.
//
//   corvex-rig-panel-xdnd [screenshot.ppm]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "editor/RigEditor.h"
#include "gui/platform/x11/X11Platform.h"
#include "rig/RigEnginePort.h"

namespace {

int failures = 0;
void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok)
        ++failures;
}

// A 48 kHz mono 16-bit WAV: a decaying click, 0.1 s.
bool writeImpulse(const std::string& path) {
    const int frames = 4800;
    std::vector<int16_t> samples(frames);
    uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double white = (static_cast<double>(noise >> 8) / 8388608.0) - 1.0;
        samples[i] = static_cast<int16_t>(std::lround(20000.0 * white * std::exp(-i / 600.0)));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + frames * 2);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(1);
    u32(48000);
    u32(96000);
    u16(2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(frames * 2);
    std::fwrite(samples.data(), 2, frames, f);
    return std::fclose(f) == 0;
}

}  // namespace

// What a drop's text/uri-list gives: local paths only, decoded; nothing
// from malformed escapes, other hosts or other schemes.
void checkUriLists() {
    using VSTGUI::X11Platform;
    using List = std::vector<std::string>;
    check(X11Platform::filesOfUriList("file:///tmp/a%20b.wav\r\nfile://localhost/x/y.flac\r\n") ==
              List{"/tmp/a b.wav", "/x/y.flac"},
          "uri-list: local files decoded");
    check(X11Platform::filesOfUriList("# comment\nfile:/plain.wav\n") == List{"/plain.wav"},
          "uri-list: comments skipped, file:/path taken");
    check(X11Platform::filesOfUriList("http://example.com/a.wav\r\nfile://elsewhere/a.wav\r\n").empty(),
          "uri-list: other schemes and hosts refused");
    check(X11Platform::filesOfUriList("file:///a%2\nfile:///b%zz.wav\nfile:///c%00d\nfile://\nfile:").empty(),
          "uri-list: broken escapes, NUL and empty paths refused");
    check(X11Platform::filesOfUriList(std::string("file:///ok.wav\0\0", 16)) == List{"/ok.wav"},
          "uri-list: trailing NULs dropped");
}

int main(int argc, char** argv) {
    checkUriLists();
    Display* source = XOpenDisplay(nullptr);
    if (!source) {
        std::printf("no X display\n");
        return 77;
    }
    const std::string wav = "/tmp/corvex-rig-xdnd-" + std::to_string(getpid()) + " cab.wav";
    if (!writeImpulse(wav)) {
        std::printf("cannot write %s\n", wav.c_str());
        return 1;
    }

    const Window root = DefaultRootWindow(source);
    const Window parent = XCreateSimpleWindow(source, root, 0, 0, 660, 358, 0, 0, 0);
    XMapWindow(source, parent);
    XSync(source, False);

    corvex::RigEngine engine;
    engine.setSampleRate(48000.0);
    corvex::RigEnginePort port(engine);
    std::unique_ptr<corvex::Panel> panel = corvex::createRigPanel(port);
    if (!panel || !panel->open(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)))) {
        std::printf("FAIL: the panel did not open\n");
        return 1;
    }
    const Window target = static_cast<Window>(reinterpret_cast<uintptr_t>(panel->nativeWindow()));
    auto pump = [&](int milliseconds, const std::function<bool()>& until) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            panel->idle();
            if (until && until())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    pump(300, nullptr);

    // The target says it takes drops.
    const Atom aware = XInternAtom(source, "XdndAware", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long version = 0;
    if (XGetWindowProperty(source, target, aware, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data && count == 1)
        version = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    check(version >= 3, "the panel's window carries XdndAware");

    // The source: a window of its own owning the XdndSelection.
    const Window dragger = XCreateSimpleWindow(source, root, 0, 0, 10, 10, 0, 0, 0);
    const Atom selection = XInternAtom(source, "XdndSelection", False);
    const Atom uriList = XInternAtom(source, "text/uri-list", False);
    XSetSelectionOwner(source, selection, dragger, CurrentTime);
    auto send = [&](const char* name, long l1, long l2, long l3, long l4) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.display = source;
        e.xclient.window = target;
        e.xclient.message_type = XInternAtom(source, name, False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(dragger);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(source, target, False, NoEventMask, &e);
        XFlush(source);
    };
    bool accepted = false, finished = false, finishedAccepted = false, served = false;
    const std::string uris = "# dropped by the test\r\nfile://" + [&] {
        std::string encoded;
        for (char c : wav)
            encoded += c == ' ' ? std::string("%20") : std::string(1, c);
        return encoded;
    }() + "\r\n";
    auto serve = [&]() {
        while (XPending(source)) {
            XEvent e;
            XNextEvent(source, &e);
            if (e.type == ClientMessage) {
                char* atomName = XGetAtomName(source, e.xclient.message_type);
                const std::string name = atomName ? atomName : "";
                if (atomName)
                    XFree(atomName);
                if (name == "XdndStatus")
                    accepted = (e.xclient.data.l[1] & 1) != 0;
                if (name == "XdndFinished") {
                    finished = true;
                    finishedAccepted = (e.xclient.data.l[1] & 1) != 0;
                }
            } else if (e.type == SelectionRequest) {
                XSelectionRequestEvent& request = e.xselectionrequest;
                XEvent reply{};
                reply.xselection.type = SelectionNotify;
                reply.xselection.requestor = request.requestor;
                reply.xselection.selection = request.selection;
                reply.xselection.target = request.target;
                reply.xselection.time = request.time;
                reply.xselection.property = None;
                if (request.target == uriList && request.property != None) {
                    XChangeProperty(source, request.requestor, request.property, uriList, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(uris.data()),
                                    static_cast<int>(uris.size()));
                    reply.xselection.property = request.property;
                    served = true;
                }
                XSendEvent(source, request.requestor, False, NoEventMask, &reply);
                XFlush(source);
            }
        }
        return finished;
    };

    const long uriAtom = static_cast<long>(uriList);
    send("XdndEnter", 5L << 24, uriAtom, 0, 0);
    send("XdndPosition", 0, (300L << 16) | 100L, CurrentTime,
         static_cast<long>(XInternAtom(source, "XdndActionCopy", False)));
    pump(2000, [&] {
        serve();
        return accepted;
    });
    check(accepted, "the panel accepts a file drag (XdndStatus)");
    send("XdndDrop", 0, CurrentTime, 0, 0);
    pump(5000, serve);
    check(served, "the panel asked for the text/uri-list");
    check(finished && finishedAccepted, "the panel finished the drop and took it (XdndFinished)");
    const std::string name = wav.substr(wav.rfind('/') + 1);
    check(engine.hasImpulse() && engine.impulseName() == name, "the engine holds the dropped WAV");

    // The meters move with audio through the engine.
    std::vector<float> in(256), out(256);
    for (int i = 0; i < 256; ++i)
        in[i] = 0.5f * static_cast<float>(std::sin(i * 0.1));
    auto meterLit = [&](int x, int y) {
        XImage* image = XGetImage(source, target, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return false;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        const int green = static_cast<int>((pixel >> 8) & 0xff), red = static_cast<int>((pixel >> 16) & 0xff);
        return green > 150 && red < 100;
    };
    check(!meterLit(440, 248 + 16), "the input meter is dark before audio");
    const bool lit = pump(2000, [&] {
        engine.process(in.data(), in.data(), out.data(), out.data(), 256);
        engine.endBlock();
        return meterLit(440, 248 + 16) && meterLit(440, 248 + 36);
    });
    check(lit, "the input and output meters move with audio");
    // The drop chose the user's cabinet and turned it on (taken by the blocks since).
    check(corvex::RigEngine::cabinetModelOf(engine.value(corvex::kCabinetModel)) == corvex::RigEngine::kUserCabinet &&
              engine.value(corvex::kCabinetOn) >= 0.5f,
          "the cabinet plays the user's impulse");

    if (argc > 1) {
        XImage* image = XGetImage(source, target, 0, 0, 660, 358, AllPlanes, ZPixmap);
        if (image) {
            if (FILE* f = std::fopen(argv[1], "wb")) {
                std::fprintf(f, "P6\n660 358\n255\n");
                for (int y = 0; y < 358; ++y)
                    for (int x = 0; x < 660; ++x) {
                        const unsigned long p = XGetPixel(image, x, y);
                        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                                      static_cast<unsigned char>(p >> 8),
                                                      static_cast<unsigned char>(p)};
                        std::fwrite(rgb, 1, 3, f);
                    }
                std::fclose(f);
            }
            XDestroyImage(image);
        }
    }

    panel->close();
    panel.reset();
    std::remove(wav.c_str());
    XDestroyWindow(source, dragger);
    XDestroyWindow(source, parent);
    XCloseDisplay(source);
    std::printf("%s\n", failures ? "FAILED" : "PASSED");
    return failures ? 1 : 0;
}
