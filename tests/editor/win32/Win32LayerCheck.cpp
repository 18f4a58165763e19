// The Win32 window layer against real Win32 windows (run under wine by
// win32_layer_test.sh): class registration per library copy and its count,
// paints presented from the frame image, presses as unsigned words, the
// wheel in fractions of a notch with screen coordinates, a window destroyed
// with the host's window, and the drop target's registration.
#include "gui/platform/win32/Win32Platform.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok)
        failures++;
}

struct Sink : FrameWindowSink {
    void* window = nullptr;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(64 * 32 * 4, 0);
    int paints = 0, presses = 0, wheels = 0, destroyed = 0;
    int32_t x = 0, y = 0, button = 0;
    bool screen = false;
    float distance = 0.f;
    PlatformRect painted;

    void platformPaint(const PlatformRect& r) override {
        paints++;
        painted = r;
        platform().present(window, PixelView{pixels.data(), 64, 32, 64 * 4}, r);
    }
    void platformButtonPress(int32_t px, int32_t py, int32_t b) override {
        presses++;
        x = px;
        y = py;
        button = b;
    }
    void platformWheel(int32_t px, int32_t py, bool s, float d) override {
        wheels++;
        x = px;
        y = py;
        screen = s;
        distance = d;
    }
    void platformWindowDestroyed() override { destroyed++; }
    int32_t platformDrag(PlatformDragEvent, const std::vector<std::string>*) override { return 0; }
    double scale = 0.0;
    void platformScaleChanged(double s) override { scale = s; }
};

}  // namespace

int main() {
    Platform& layer = platform();
    layer.oleInitialize();
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    check(host != nullptr, "host window");

    check(layer.createFrameWindow(nullptr, 64, 32, nullptr) == nullptr, "no window without a parent");
    Sink a, b;
    // Frame image: bottom-up rows; the top picture row is the last stored one.
    for (int i = 0; i < 64 * 4; i++)
        a.pixels[31 * 64 * 4 + i] = 0xFF;
    a.window = layer.createFrameWindow(host, 64, 32, &a);
    check(a.window != nullptr, "frame window created");
    char expected[32];
    std::snprintf(expected, sizeof expected, "Plugin%p", static_cast<void*>(GetModuleHandleA(nullptr)));
    check(Win32Platform::windowClassName() == expected, "class named Plugin%p after the module");
    char title[16] = "";
    GetWindowTextA(static_cast<HWND>(a.window), title, sizeof title);
    check(std::string(title) == "Window", "window titled Window");
    const LONG style = GetWindowLongA(static_cast<HWND>(a.window), GWL_STYLE);
    check((style & (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)) ==
              (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
          "child, visible, clipping siblings and children");
    check(GetWindowLongPtrA(static_cast<HWND>(a.window), GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(&a),
          "frame in the user data");

    b.window = layer.createFrameWindow(host, 64, 32, &b);
    check(Win32Platform::frameWindowCount() == 2, "two frame windows counted, one class");
    check(layer.registerDropTarget(a.window), "drop target registered");

    int dispatched = 0;
    while (layer.dispatchOnePaint())
        dispatched++;
    check(a.paints == 1 && b.paints == 1 && dispatched >= 2, "one pending paint dispatched per call");
    check(a.painted.right == 64 && a.painted.bottom == 32, "paint with the invalid rectangle");
    HDC surface = GetDC(static_cast<HWND>(a.window));
    const COLORREF top = GetPixel(surface, 5, 0), below = GetPixel(surface, 5, 1);
    ReleaseDC(static_cast<HWND>(a.window), surface);
    check(top == RGB(255, 255, 255) && below == RGB(0, 0, 0), "bottom-up image presented upright");

    SendMessageA(static_cast<HWND>(a.window), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(12, 34));
    check(a.presses == 1 && a.x == 12 && a.y == 34 && a.button == kPrimaryButton, "left press");
    SendMessageA(static_cast<HWND>(a.window), WM_RBUTTONDOWN, 0, MAKELPARAM(0xFFFF, 2));
    check(a.presses == 2 && a.x == 65535 && a.button == kSecondaryButton, "right press, words unsigned");
    SendMessageA(static_cast<HWND>(a.window), WM_MBUTTONDOWN, 0, MAKELPARAM(1, 1));
    check(a.presses == 3 && a.button == kMiddleButton, "middle press");
    SendMessageA(static_cast<HWND>(a.window), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(120)),
                 MAKELPARAM(static_cast<WORD>(-5), 40));
    check(a.wheels == 1 && a.distance == 1.0f && a.screen && a.x == -5 && a.y == 40,
          "a notch is 1.0, screen coordinates");
    // The DPI change: 192 dpi is scale 2.
    SendMessageA(static_cast<HWND>(a.window), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192), 0);
    check(a.scale == 2.0, "WM_DPICHANGED at 192 dpi tells the frame scale 2");
    SendMessageA(static_cast<HWND>(a.window), 0x02E0, MAKEWPARAM(144, 144), 0);
    check(a.scale == 1.5, "and 144 dpi scale 1.5");
    check(layer.screenScaleHint() >= 1.0, "the system's scale hint is at least 1");
    SendMessageA(static_cast<HWND>(a.window), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-30)), 0);
    check(a.wheels == 2 && a.distance == -0.25f, "a quarter notch is 0.25");

    int32_t ox = 0, oy = 0;
    layer.getWindowOrigin(a.window, ox, oy);
    POINT origin{0, 0};
    ClientToScreen(static_cast<HWND>(a.window), &origin);
    check(ox == origin.x && oy == origin.y, "window origin on the screen");

    layer.destroyFrameWindow(a.window);
    check(a.destroyed == 0, "a frame's own destroy is not reported back");
    check(Win32Platform::frameWindowCount() == 1 && !Win32Platform::windowClassName().empty(),
          "closing one of two keeps the class");

    DestroyWindow(host);  // takes b's window with it
    check(b.destroyed == 1, "window destroyed with the host's is reported");
    check(Win32Platform::frameWindowCount() == 0, "and counted off");

    Sink c;
    HWND host2 =
        CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    c.window = layer.createFrameWindow(host2, 64, 32, &c);
    check(c.window != nullptr && Win32Platform::frameWindowCount() == 1, "a new window after that");
    layer.destroyFrameWindow(c.window);
    check(Win32Platform::frameWindowCount() == 0 && Win32Platform::windowClassName().empty(),
          "closing the last unregisters the class");
    DestroyWindow(host2);

    layer.oleUninitialize();
    std::printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
