// The X11 window layer of the Linux plug-in.
//
// The host hands the editor an X window id (cast to void*). The frame gets a
// child window of it at 0, 0, created on the layer's own Display connection:
// one connection per process, opened with the first frame window and closed
// when the last one is gone. Nothing is drawn with X primitives: the frame
// composes into its off-screen image and present() copies rows of it with
// XPutImage. Input is read the way the toolkit wants it: presses and the
// wheel as events, the pointer and the buttons during a drag by polling
// XQueryPointer.
//
// Linux hosts do not run the plug-in's event loop for it; they call
// effEditIdle regularly, and the editor's idle calls processEvents(), which
// handles everything waiting on the connection.
//
// Without a display (no DISPLAY, or the server refuses us) no window is made:
// createFrameWindow answers null and the frame stays closed.
//
// Dropped files are not supported on X11 (there is no XDND handling).
#pragma once

#include "gui/platform/Platform.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace VSTGUI {

class X11Platform : public NullPlatform {
public:
    X11Platform() = default;
    ~X11Platform() override;
    X11Platform(const X11Platform&) = delete;
    X11Platform& operator=(const X11Platform&) = delete;

    void* createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) override;
    void destroyFrameWindow(void* window) override;
    bool resizeFrameWindow(void* window, int32_t width, int32_t height) override;
    void getWindowOrigin(void* window, int32_t& x, int32_t& y) override;
    void present(void* window, const PixelView& image, const PlatformRect& rect) override;
    // GDK_SCALE when set (a whole number), else the Xft.dpi resource over 96.
    double screenScaleHint() override;
    void getCursorPosition(int32_t& x, int32_t& y) override;
    int32_t getMouseButtons() override;
    void setCursor(void* window, int32_t type) override;
    uint32_t getTicks() override;
    bool dispatchOnePaint() override;
    void processEvents() override;
    int eventDescriptor() const override;

    // The files of a text/uri-list (RFC 2483): local file: URIs decoded
    // to paths, in order; comments, other schemes and other hosts skipped.
    static std::vector<std::string> filesOfUriList(const std::string& list);

    // For tests: the open connection (null when no window exists) and the
    // number of frame windows alive.
    Display* connection() const { return display; }
    int32_t windowCount() const { return static_cast<int32_t>(windows.size()); }

private:
    struct FrameWindow {
        FrameWindowSink* sink = nullptr;
        void* gc = nullptr;      // GC
        void* visual = nullptr;  // Visual*
        int depth = 0;
        bool fastPixels = false;  // 24/32-bit TrueColor with 8-bit R, G, B masks
        uint32_t redMask = 0, greenMask = 0, blueMask = 0;
        bool exposePending = false;
        PlatformRect expose;         // union of the exposed areas not yet painted
        std::vector<uint32_t> rows;  // scratch pixels for XPutImage
    };

    // The drop exchange (XDND, versions 3 to 5) with one source at a time.
    struct DropExchange {
        unsigned long source = 0;    // the source's window; 0 when none
        unsigned long target = 0;    // our frame window it is over
        int version = 0;
        bool offersFiles = false;    // text/uri-list among its types
        bool waitingForData = false; // asked for the data of a drop
    };
    void handleDndMessage(void* event);    // XClientMessageEvent*
    void handleDropData(void* event);      // XSelectionEvent*
    void sendDndReply(unsigned long target, long type, long l1, long l4);
    unsigned long atom(const char* name);

    bool openDisplay();
    void closeDisplayIfUnused();
    void handleEvent(void* event);  // XEvent*
    void forgetWindow(unsigned long window);
    FrameWindow* find(void* window);

    Display* display = nullptr;
    unsigned long root = 0;
    std::map<unsigned long, FrameWindow> windows;
    std::map<int32_t, unsigned long> cursors;  // font cursors made so far
    int dispatching = 0;                       // nesting of event handling
    int32_t pressState = 0;                    // the mask a press being handled was made with
    bool pressStatePending = false;            // not yet asked for
    DropExchange drop;
    std::map<std::string, unsigned long> atoms;
};

}  // namespace VSTGUI
