// Everything the portable toolkit needs of a window system, in one small
// interface. The toolkit draws with its own software compositor into 32-bit
// images; a platform layer only has to host a child window, report input,
// put finished pixels on the screen and find the library's images.
//
// One layer is linked into each binary and installs itself from a static
// initializer with setPlatform(): corvex_platform_x11 (Linux plug-in),
// corvex_platform_win32 (Windows plug-in), corvex_platform_headless (tests).
// With none installed, platform() answers a null platform: no windows, ticks
// from a steady clock, buttons all up, images from the table compiled into
// the library (corvex::findEmbeddedResource) where there is one.
//
// All calls come from the user-interface thread unless noted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VSTGUI {

// A rectangle in window (= frame) pixels; right and bottom exclusive.
struct PlatformRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// A read-only view of a 32-bit image: 4 bytes per pixel in the order blue,
// green, red, alpha (premultiplied), rows stored bottom-up (the first
// `rowBytes` bytes hold the lowest row of the picture), rowBytes = 4 * width.
// This is exactly the layout of a Windows bottom-up 32-bit DIB section.
struct PixelView {
    const uint8_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowBytes = 0;
};

// Bytes of one resource of the library; {nullptr, 0} when there is none.
struct ResourceBytes {
    const uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Mouse button and modifier bits (the toolkit's mask).
enum PlatformButtons : int32_t {
    kPrimaryButton = 1,  // physical left, or right when the user swapped the buttons
    kMiddleButton = 2,
    kSecondaryButton = 4,  // physical right, or left when swapped
    kShiftKey = 8,
    kControlKey = 16,
    kAltKey = 32,
};

// Standard cursors by the toolkit's cursor type (CFrame::setCursor).
enum PlatformCursor : int32_t {
    kCursorDefault = 0,  // the arrow (also 7 and unknown values)
    kCursorWait = 1,
    kCursorHSize = 2,  // west-east
    kCursorVSize = 3,  // north-south
    kCursorSizeAll = 4,
    kCursorNESWSize = 5,
    kCursorNWSESize = 6,
    kCursorNotAllowed = 8,
    kCursorHand = 9,
};

// Drag-and-drop events delivered to a window's sink.
enum class PlatformDragEvent : int32_t { enter, over, leave, drop };

// Implemented by CFrame. A platform layer calls it from its event handling
// for the frame's window (on the user-interface thread).
class FrameWindowSink {
public:
    // The window needs `invalid` repainted (expose / WM_PAINT). The frame
    // draws and, from inside this call, hands the pixels to present().
    virtual void platformPaint(const PlatformRect& invalid) = 0;
    // A mouse button went down at x, y in window coordinates. `button` is the
    // toolkit bit of the button pressed (kPrimaryButton, kMiddleButton or
    // kSecondaryButton, already swapped). The frame reads the full mask from
    // getMouseButtons() itself and may poll it in a loop until release.
    virtual void platformButtonPress(int32_t x, int32_t y, int32_t button) = 0;
    // The wheel turned by `distance` notches (120 units = 1.0; fractions for
    // high-resolution wheels), positive away from the user. x, y are screen
    // coordinates when `screenCoordinates`, else window coordinates.
    virtual void platformWheel(int32_t x, int32_t y, bool screenCoordinates, float distance) = 0;
    // The window is being destroyed by the system (for example with the host's
    // window). The frame stops drawing and forgets the window; it must not
    // call destroyFrameWindow for it afterwards.
    virtual void platformWindowDestroyed() = 0;
    // A drag over the window. `files` is the dragged file list on enter (null
    // when the drag carries no data object), null for the other events. The
    // answer is the drop effect: 0 none, 2 move.
    virtual int32_t platformDrag(PlatformDragEvent event, const std::vector<std::string>* files) = 0;
    // The window's screen scale changed (moved to a screen of another
    // density, or the user changed the setting): 2 at 192 dpi.
    virtual void platformScaleChanged(double scale) { (void)scale; }

protected:
    ~FrameWindowSink() = default;
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- frame windows ---------------------------------------------------
    // Creates the frame's visible child window at 0, 0 inside `parentWindow`
    // (HWND on Windows, an X11 Window id cast to void* on Linux), width x
    // height pixels. Events for it go to `sink` until destroyFrameWindow or
    // platformWindowDestroyed. Answers the new window's handle, or null.
    virtual void* createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) = 0;
    // Detaches the sink and destroys a window made by createFrameWindow.
    virtual void destroyFrameWindow(void* window) = 0;
    // Resizes the frame's window (and, where the platform needs it, the
    // host windows around it). Answers whether it was resized. On Windows the
    // ancestors follow, each grown by the same amount plus the border it had
    // around its child, stopping at a parent of class "MDIClient", when the
    // accumulated border exceeds 80 pixels either way, or when the horizontal
    // border reaches twice the dialog-frame height. (The plug-in's editor
    // never resizes; CFrame::setSize calls this only after the host refused
    // to resize its window itself.)
    virtual bool resizeFrameWindow(void* window, int32_t width, int32_t height) = 0;
    // Screen position of the window's top-left corner; 0, 0 without a window.
    virtual void getWindowOrigin(void* window, int32_t& x, int32_t& y) = 0;

    // The screen's scale as the desktop sets it (2 on a screen at 200 %),
    // for editors whose host tells none; 1 when the platform has no hint.
    virtual double screenScaleHint() { return 1.0; }

    // --- pixels ------------------------------------------------------------
    // Copies `source` rectangle `rect` of `image` to the window at the same
    // position (the frame's off-screen image covers the window 1:1). The rect
    // is already clipped to the image. Alpha is ignored: the result is opaque.
    // Called from inside platformPaint, from idle, or during a modal drag.
    virtual void present(void* window, const PixelView& image, const PlatformRect& rect) = 0;

    // --- input -----------------------------------------------------------
    // Screen position of the cursor.
    virtual void getCursorPosition(int32_t& x, int32_t& y) = 0;
    // Current (asynchronous) state of buttons and modifiers as the toolkit's
    // mask (PlatformButtons), left/right exchanged when the user swapped them.
    // A control polls this in a loop while the primary button is held (no
    // events are pumped meanwhile), so it must ask the system each time
    // (GetAsyncKeyState / XQueryPointer), not replay queued events.
    virtual int32_t getMouseButtons() = 0;
    // Sets a standard cursor (PlatformCursor) for the window; kCursorDefault
    // restores the arrow.
    virtual void setCursor(void* window, int32_t type) = 0;

    // --- time and messages -----------------------------------------------
    // Millisecond tick count; wraps at 2^32. Any thread.
    virtual uint32_t getTicks() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    // Takes one pending paint event of the calling thread's windows, if any,
    // and dispatches it. Answers whether one was dispatched.
    virtual bool dispatchOnePaint() = 0;
    // Handles every event waiting for the layer's windows (paints, presses,
    // the wheel, windows destroyed by the system). Layers whose events reach
    // the windows without help (Windows: the host's message loop) keep this
    // default; the X11 layer has its own connection and is pumped from the
    // editor's idle, which the host calls regularly (effEditIdle).
    virtual void processEvents() {}
    // A file descriptor that becomes readable when processEvents has work
    // (the X11 layer's connection), for hosts that watch descriptors
    // instead of running a timer; -1 when there is none.
    virtual int eventDescriptor() const { return -1; }

    // --- resources ---------------------------------------------------------
    // Bytes of the library's own resource of `type` and numeric `id`:
    // "PNG": the PNG file; "BITMAP": a packed DIB (BITMAPINFOHEADER, colour
    // table if any, pixels; no file header). The bytes stay valid for the
    // life of the library.
    virtual ResourceBytes findResource(const char* type, int32_t id) = 0;

    // --- drag and drop, OLE (no-ops except on Windows) ---------------------
    // Starts delivering platformDrag events for the window. Answers success.
    virtual bool registerDropTarget(void* window) = 0;
    virtual void revokeDropTarget(void* window) = 0;
    // Per-thread initialisation of the platform's object services (OleInitialize
    // / OleUninitialize on Windows), balanced calls.
    virtual void oleInitialize() = 0;
    virtual void oleUninitialize() = 0;
};

// Safe answers for everything: no windows (createFrameWindow answers null),
// ticks from a steady clock, no buttons down, cursor at 0, 0, resources from
// the table compiled into the library. Layers may derive from it and replace
// only what they provide.
class NullPlatform : public Platform {
public:
    void* createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) override;
    void destroyFrameWindow(void* window) override;
    bool resizeFrameWindow(void* window, int32_t width, int32_t height) override;
    void getWindowOrigin(void* window, int32_t& x, int32_t& y) override;
    void present(void* window, const PixelView& image, const PlatformRect& rect) override;
    void getCursorPosition(int32_t& x, int32_t& y) override;
    int32_t getMouseButtons() override;
    void setCursor(void* window, int32_t type) override;
    uint32_t getTicks() override;
    void sleep(uint32_t milliseconds) override;
    bool dispatchOnePaint() override;
    ResourceBytes findResource(const char* type, int32_t id) override;
    bool registerDropTarget(void* window) override;
    void revokeDropTarget(void* window) override;
    void oleInitialize() override;
    void oleUninitialize() override;
};

// The installed platform, or the null platform when none was installed.
Platform& platform();
// Installs a platform layer (null reinstalls the null platform). Layers call
// it from a static initializer, e.g.
//     static const bool installed = (VSTGUI::setPlatform(&theLayer), true);
// and tests may swap in their own. The layer object must outlive its use.
void setPlatform(Platform* layer);
// Resources compiled into the library (corvex::findEmbeddedResource where the
// build has the table, else nothing). The one place that calls the table.
ResourceBytes findEmbeddedResource(const char* type, int32_t id);

}  // namespace VSTGUI
