#include "host/EditorWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace hostwindow {

EditorWindow::~EditorWindow() {
    close();
}

bool EditorWindow::connect(std::string& error) {
    if (display != nullptr)
        return true;
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        error = "cannot open the X display (is DISPLAY set?)";
        return false;
    }
    return true;
}

bool EditorWindow::open(int w, int h, int x, int y, const char* title, std::string& error) {
    if (display == nullptr && !connect(error))
        return false;
    if (w <= 0 || h <= 0) {
        error = "the editor reports no size";
        return false;
    }
    width = w;
    height = h;
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(w),
                                 static_cast<unsigned>(h), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, title);
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PPosition | PMinSize | PMaxSize;
        hints->x = x;
        hints->y = y;
        hints->min_width = hints->max_width = w;
        hints->min_height = hints->max_height = h;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    deleteAtom = deleteWindow;
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XEvent event;
    do {
        XNextEvent(display, &event);
    } while (event.type != MapNotify);
    return true;
}

void* EditorWindow::handle() const {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}

bool EditorWindow::pump() {
    if (display == nullptr || window == 0)
        return false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom)
            closing = true;
        else if (event.type == DestroyNotify && event.xdestroywindow.window == window)
            gone = true;
    }
    return !closing && !gone;
}

void EditorWindow::sync() {
    if (display != nullptr)
        XSync(display, False);
}

bool EditorWindow::saveScreenshot(const std::string& path) {
    if (display == nullptr || window == 0 || gone)
        return false;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image)
        return false;
    const unsigned long redMask = image->red_mask, greenMask = image->green_mask, blueMask = image->blue_mask;
    auto channel = [](unsigned long pixel, unsigned long mask) -> png_byte {
        if (!mask)
            return 0;
        int shift = 0;
        while (!((mask >> shift) & 1ul))
            shift++;
        const unsigned long top = mask >> shift;
        return static_cast<png_byte>(((pixel >> shift) & top) * 255ul / top);
    };
    std::vector<png_byte> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            const unsigned long pixel = XGetPixel(image, x, y);
            png_byte* out = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = channel(pixel, redMask);
            out[1] = channel(pixel, greenMask);
            out[2] = channel(pixel, blueMask);
        }
    XDestroyImage(image);

    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGB;
    const bool written = png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), width * 3, nullptr) != 0;
    png_image_free(&png);
    return written;
}

void EditorWindow::close() {
    if (display == nullptr)
        return;
    if (window != 0 && !gone)
        XDestroyWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
    display = nullptr;
    window = 0;
}

}  // namespace hostwindow
