#include "gui/platform/x11/X11Platform.h"

#include "gui/ScaledDrawing.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xatom.h>
#include <X11/cursorfont.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace VSTGUI {

namespace {

// Xlib reports protocol errors through one process-wide handler whose
// default ends the process. While our connection is open we install our own:
// errors on our connection (a host window that vanished under us, for
// example) are noted and otherwise ignored; errors on the host's connections
// go on to whatever handler was there before.
Display* trappedDisplay = nullptr;
XErrorHandler previousHandler = nullptr;
int lastErrorCode = 0;

int onXError(Display* display, XErrorEvent* error) {
    if (display == trappedDisplay && trappedDisplay) {
        lastErrorCode = error->error_code;
        return 0;
    }
    return previousHandler ? previousHandler(display, error) : 0;
}

// Runs the requests made so far and tells whether any of them failed.
bool syncFailed(Display* display) {
    XSync(display, False);
    const bool failed = lastErrorCode != 0;
    lastErrorCode = 0;
    return failed;
}

unsigned long windowId(void* window) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window));
}

void* windowHandle(unsigned long window) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}

bool hostIsLittleEndian() {
    const uint32_t probe = 1;
    return *reinterpret_cast<const uint8_t*>(&probe) == 1;
}

// Shift that moves an 8-bit channel to the top of `mask`, and the number of
// bits the mask keeps.
void maskPlacement(uint32_t mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0)
        return;
    while (!(mask & 1u)) {
        mask >>= 1;
        shift++;
    }
    while (mask & 1u) {
        mask >>= 1;
        bits++;
    }
}

uint32_t placeChannel(uint8_t value, int shift, int bits) {
    if (bits <= 0)
        return 0;
    const uint32_t scaled = bits >= 8 ? static_cast<uint32_t>(value) << (bits - 8) : value >> (8 - bits);
    return scaled << shift;
}

}  // namespace

X11Platform::~X11Platform() {
    if (&platform() == this)
        setPlatform(nullptr);
    if (!display)
        return;
    while (!windows.empty())
        destroyFrameWindow(windowHandle(windows.begin()->first));
    dispatching = 0;
    closeDisplayIfUnused();
}

bool X11Platform::openDisplay() {
    if (display)
        return true;
    // XOpenDisplay answers null without DISPLAY or without a server: the
    // editor then simply has no window.
    display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    root = DefaultRootWindow(display);
    trappedDisplay = display;
    previousHandler = XSetErrorHandler(onXError);
    lastErrorCode = 0;
    return true;
}

void X11Platform::closeDisplayIfUnused() {
    if (!display || dispatching > 0 || !windows.empty())
        return;
    for (const auto& cursor : cursors)
        XFreeCursor(display, cursor.second);
    cursors.clear();
    atoms.clear();
    drop = DropExchange();
    XSync(display, False);
    // Put the previous handler back, unless somebody installed theirs after
    // ours (then theirs stays; it chains to us, and we chain on).
    XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != onXError)
        XSetErrorHandler(current);
    XCloseDisplay(display);
    trappedDisplay = nullptr;
    display = nullptr;
    root = 0;
}

double X11Platform::screenScaleHint() {
    const char* resources = nullptr;
    const bool opened = openDisplay();
    if (opened)
        resources = XResourceManagerString(display);
    const double scale = scaling::scaleFromDesktopHints(std::getenv("GDK_SCALE"), resources);
    if (opened)
        closeDisplayIfUnused();
    return scale;
}

X11Platform::FrameWindow* X11Platform::find(void* window) {
    auto it = windows.find(windowId(window));
    return it == windows.end() ? nullptr : &it->second;
}

void* X11Platform::createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) {
    if (!parentWindow || !sink || width <= 0 || height <= 0)
        return nullptr;
    if (!openDisplay())
        return nullptr;

    const Window parent = windowId(parentWindow);
    XWindowAttributes parentAttributes;
    lastErrorCode = 0;
    const Status known = XGetWindowAttributes(display, parent, &parentAttributes);
    if (!known || syncFailed(display)) {
        // Not a window on this display.
        closeDisplayIfUnused();
        return nullptr;
    }

    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | ButtonPressMask | StructureNotifyMask;
    attributes.background_pixmap = None;  // the frame paints every pixel itself
    attributes.border_pixel = 0;
    const Window window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWEventMask | CWBackPixmap | CWBorderPixel, &attributes);
    XWindowAttributes own;
    if (!window || syncFailed(display) || !XGetWindowAttributes(display, window, &own) || syncFailed(display)) {
        if (window) {
            XDestroyWindow(display, window);
            syncFailed(display);
        }
        closeDisplayIfUnused();
        return nullptr;
    }

    FrameWindow record;
    record.sink = sink;
    record.gc = XCreateGC(display, window, 0, nullptr);
    record.visual = own.visual;
    record.depth = own.depth;
    record.redMask = static_cast<uint32_t>(own.visual->red_mask);
    record.greenMask = static_cast<uint32_t>(own.visual->green_mask);
    record.blueMask = static_cast<uint32_t>(own.visual->blue_mask);
    record.fastPixels = (own.depth == 24 || own.depth == 32) && own.visual->c_class == TrueColor &&
                        record.redMask == 0xff0000u && record.greenMask == 0x00ff00u && record.blueMask == 0x0000ffu;
    windows[window] = std::move(record);

    // Files may be dropped on it (XDND version 5).
    const long dndVersion = 5;
    XChangeProperty(display, window, atom("XdndAware"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dndVersion), 1);

    XMapWindow(display, window);
    XFlush(display);
    return windowHandle(window);
}

void X11Platform::forgetWindow(unsigned long window) {
    auto it = windows.find(window);
    if (it == windows.end())
        return;
    if (display && it->second.gc)
        XFreeGC(display, static_cast<GC>(it->second.gc));
    windows.erase(it);
}

void X11Platform::destroyFrameWindow(void* window) {
    if (!display || !find(window))
        return;  // unknown, or already destroyed by the system
    forgetWindow(windowId(window));
    XDestroyWindow(display, windowId(window));
    syncFailed(display);  // the host may have destroyed it with its own window
    closeDisplayIfUnused();
}

bool X11Platform::resizeFrameWindow(void* window, int32_t width, int32_t height) {
    if (!display || !find(window) || width <= 0 || height <= 0)
        return false;
    XResizeWindow(display, windowId(window), static_cast<unsigned>(width), static_cast<unsigned>(height));
    return !syncFailed(display);
}

void X11Platform::getWindowOrigin(void* window, int32_t& x, int32_t& y) {
    x = y = 0;
    if (!display || !find(window))
        return;
    int rootX = 0, rootY = 0;
    Window child = 0;
    if (XTranslateCoordinates(display, windowId(window), root, 0, 0, &rootX, &rootY, &child) && !syncFailed(display)) {
        x = rootX;
        y = rootY;
    }
}

void X11Platform::present(void* window, const PixelView& image, const PlatformRect& rect) {
    FrameWindow* target = find(window);
    if (!display || !target || !image.bits || image.width <= 0 || image.height <= 0)
        return;
    const int32_t left = rect.left < 0 ? 0 : rect.left;
    const int32_t top = rect.top < 0 ? 0 : rect.top;
    const int32_t right = rect.right > image.width ? image.width : rect.right;
    const int32_t bottom = rect.bottom > image.height ? image.height : rect.bottom;
    if (right <= left || bottom <= top)
        return;
    const int32_t width = right - left;
    const int32_t height = bottom - top;
    const int32_t stride = image.rowBytes > 0 ? image.rowBytes : image.width * 4;

    // Source row of picture row y: the store is bottom-up.
    auto sourceRow = [&](int32_t y) {
        return image.bits + static_cast<std::ptrdiff_t>(image.height - 1 - y) * stride + left * 4;
    };

    Visual* visual = static_cast<Visual*>(target->visual);
    GC gc = static_cast<GC>(target->gc);
    if (target->fastPixels) {
        target->rows.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; y++) {
            const uint8_t* s = sourceRow(top + y);
            uint32_t* d = target->rows.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            for (int32_t x = 0; x < width; x++, s += 4)
                d[x] = 0xff000000u | (uint32_t(s[2]) << 16) | (uint32_t(s[1]) << 8) | uint32_t(s[0]);
        }
        XImage* ximage = XCreateImage(display, visual, static_cast<unsigned>(target->depth), ZPixmap, 0,
                                      reinterpret_cast<char*>(target->rows.data()), static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 32, width * 4);
        if (ximage && ximage->bits_per_pixel == 32) {
            ximage->byte_order = hostIsLittleEndian() ? LSBFirst : MSBFirst;
            XPutImage(display, windowId(window), gc, ximage, 0, 0, left, top, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        }
        if (ximage) {
            ximage->data = nullptr;  // ours, not Xlib's to free
            XDestroyImage(ximage);
            XFlush(display);
            return;
        }
    }

    // Any other visual: pixel by pixel through the visual's masks.
    XImage* ximage = XCreateImage(display, visual, static_cast<unsigned>(target->depth), ZPixmap, 0, nullptr,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!ximage)
        return;
    ximage->data = static_cast<char*>(std::malloc(static_cast<size_t>(ximage->bytes_per_line) * height));
    if (!ximage->data) {
        XDestroyImage(ximage);
        return;
    }
    int redShift, redBits, greenShift, greenBits, blueShift, blueBits;
    maskPlacement(target->redMask, redShift, redBits);
    maskPlacement(target->greenMask, greenShift, greenBits);
    maskPlacement(target->blueMask, blueShift, blueBits);
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* s = sourceRow(top + y);
        for (int32_t x = 0; x < width; x++, s += 4) {
            const unsigned long pixel = placeChannel(s[2], redShift, redBits) |
                                        placeChannel(s[1], greenShift, greenBits) |
                                        placeChannel(s[0], blueShift, blueBits);
            XPutPixel(ximage, x, y, pixel);
        }
    }
    XPutImage(display, windowId(window), gc, ximage, 0, 0, left, top, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XDestroyImage(ximage);  // frees the malloc'd pixels
    XFlush(display);
}

void X11Platform::getCursorPosition(int32_t& x, int32_t& y) {
    x = y = 0;
    if (!display)
        return;
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    if (XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &mask)) {
        x = rootX;
        y = rootY;
    }
}

namespace {

// The toolkit's mask for an X state mask. The server applies the user's
// button mapping: Button1 is already the primary button.
int32_t toolkitButtons(unsigned int mask) {
    int32_t buttons = 0;
    if (mask & Button1Mask)
        buttons |= kPrimaryButton;
    if (mask & Button2Mask)
        buttons |= kMiddleButton;
    if (mask & Button3Mask)
        buttons |= kSecondaryButton;
    if (mask & ShiftMask)
        buttons |= kShiftKey;
    if (mask & ControlMask)
        buttons |= kControlKey;
    if (mask & Mod1Mask)
        buttons |= kAltKey;
    return buttons;
}

}  // namespace

int32_t X11Platform::getMouseButtons() {
    if (!display)
        return 0;
    if (pressStatePending) {
        // The first question while a press is handled gets the state the
        // press was made with: a quick click may be over by the time its
        // event is read, and would otherwise be lost.
        pressStatePending = false;
        return pressState;
    }
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &mask))
        return 0;
    return toolkitButtons(mask);
}

void X11Platform::setCursor(void* window, int32_t type) {
    if (!display || !find(window))
        return;
    unsigned int shape = 0;
    switch (type) {
        case kCursorWait:
            shape = XC_watch;
            break;
        case kCursorHSize:
            shape = XC_sb_h_double_arrow;
            break;
        case kCursorVSize:
            shape = XC_sb_v_double_arrow;
            break;
        case kCursorSizeAll:
            shape = XC_fleur;
            break;
        case kCursorNESWSize:
            shape = XC_bottom_left_corner;
            break;
        case kCursorNWSESize:
            shape = XC_bottom_right_corner;
            break;
        case kCursorNotAllowed:
            shape = XC_X_cursor;
            break;
        case kCursorHand:
            shape = XC_hand2;
            break;
        default:
            XUndefineCursor(display, windowId(window));
            XFlush(display);
            return;
    }
    auto it = cursors.find(type);
    if (it == cursors.end())
        it = cursors.emplace(type, XCreateFontCursor(display, shape)).first;
    XDefineCursor(display, windowId(window), it->second);
    XFlush(display);
}

uint32_t X11Platform::getTicks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // wraps at 2^32 like any tick count
}

bool X11Platform::dispatchOnePaint() {
    if (!display)
        return false;
    dispatching++;
    bool painted = false;
    XEvent event;
    // Expose events come in runs (count > 0 means more of the run follow);
    // the paint happens at the end of a run, so take events until one paints.
    while (!painted && display && XCheckTypedEvent(display, Expose, &event)) {
        handleEvent(&event);
        painted = event.xexpose.count == 0 && windows.count(event.xexpose.window) != 0;
    }
    dispatching--;
    closeDisplayIfUnused();
    return painted;
}

void X11Platform::processEvents() {
    if (!display)
        return;
    dispatching++;
    while (display && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        handleEvent(&event);
    }
    dispatching--;
    closeDisplayIfUnused();
}

void X11Platform::handleEvent(void* rawEvent) {
    XEvent& event = *static_cast<XEvent*>(rawEvent);
    switch (event.type) {
        case Expose: {
            FrameWindow* target = find(windowHandle(event.xexpose.window));
            if (!target)
                return;
            const PlatformRect area{event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                    event.xexpose.y + event.xexpose.height};
            if (!target->exposePending) {
                target->expose = area;
                target->exposePending = true;
            } else {
                if (area.left < target->expose.left)
                    target->expose.left = area.left;
                if (area.top < target->expose.top)
                    target->expose.top = area.top;
                if (area.right > target->expose.right)
                    target->expose.right = area.right;
                if (area.bottom > target->expose.bottom)
                    target->expose.bottom = area.bottom;
            }
            if (event.xexpose.count > 0)
                return;  // more of this run follow
            const PlatformRect invalid = target->expose;
            target->exposePending = false;
            target->sink->platformPaint(invalid);
            return;
        }
        case ButtonPress: {
            FrameWindow* target = find(windowHandle(event.xbutton.window));
            if (!target)
                return;
            FrameWindowSink* sink = target->sink;
            const int32_t x = event.xbutton.x;
            const int32_t y = event.xbutton.y;
            // The event's state is from just before the press: add the button.
            const int32_t before = toolkitButtons(event.xbutton.state);
            auto press = [&](int32_t button) {
                pressState = before | button;
                pressStatePending = true;
                sink->platformButtonPress(x, y, button);
                pressStatePending = false;
            };
            switch (event.xbutton.button) {
                case Button1:
                    press(kPrimaryButton);
                    break;
                case Button2:
                    press(kMiddleButton);
                    break;
                case Button3:
                    press(kSecondaryButton);
                    break;
                case Button4:
                    sink->platformWheel(x, y, false, 1.0f);
                    break;  // wheel away from the user
                case Button5:
                    sink->platformWheel(x, y, false, -1.0f);
                    break;  // wheel towards the user
                default:
                    break;  // 6 and 7 are the horizontal wheel: not used
            }
            return;
        }
        case ClientMessage:
            handleDndMessage(&event.xclient);
            return;
        case SelectionNotify:
            handleDropData(&event.xselection);
            return;
        case DestroyNotify: {
            // The window went with the host's window before the editor closed.
            // The frame forgets it and will not ask us to destroy it again.
            const unsigned long window = event.xdestroywindow.window;
            FrameWindow* target = find(windowHandle(window));
            if (!target)
                return;
            FrameWindowSink* sink = target->sink;
            forgetWindow(window);
            sink->platformWindowDestroyed();
            return;
        }
        default:
            return;
    }
}

unsigned long X11Platform::atom(const char* name) {
    auto it = atoms.find(name);
    if (it != atoms.end())
        return it->second;
    const Atom value = XInternAtom(display, name, False);
    atoms[name] = value;
    return value;
}

void X11Platform::sendDndReply(unsigned long target, long type, long l1, long l4) {
    XEvent reply{};
    reply.xclient.type = ClientMessage;
    reply.xclient.display = display;
    reply.xclient.window = drop.source;
    reply.xclient.message_type = static_cast<Atom>(type);
    reply.xclient.format = 32;
    reply.xclient.data.l[0] = static_cast<long>(target);
    reply.xclient.data.l[1] = l1;
    reply.xclient.data.l[4] = l4;
    XSendEvent(display, drop.source, False, NoEventMask, &reply);
    syncFailed(display);  // the source may have gone
}

void X11Platform::handleDndMessage(void* rawEvent) {
    const XClientMessageEvent& message = *static_cast<XClientMessageEvent*>(rawEvent);
    FrameWindow* target = find(windowHandle(message.window));
    if (!target || message.format != 32)
        return;
    const Atom type = message.message_type;
    const unsigned long source = static_cast<unsigned long>(message.data.l[0]);
    const Atom uriList = atom("text/uri-list");
    if (type == atom("XdndEnter")) {
        drop = DropExchange();
        drop.source = source;
        drop.target = message.window;
        drop.version = static_cast<int>((static_cast<unsigned long>(message.data.l[1]) >> 24) & 0xff);
        if (message.data.l[1] & 1) {
            // More than three types: the list is on the source's window.
            Atom actualType = 0;
            int actualFormat = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, source, atom("XdndTypeList"), 0, 1024, False, XA_ATOM, &actualType,
                                   &actualFormat, &count, &after, &data) == Success &&
                data && actualFormat == 32) {
                const long* types = reinterpret_cast<const long*>(data);  // format 32 is stored as long
                for (unsigned long i = 0; i < count; ++i)
                    drop.offersFiles |= static_cast<Atom>(types[i]) == uriList;
            }
            if (data)
                XFree(data);
            syncFailed(display);
        } else {
            for (int i = 2; i < 5; ++i)
                drop.offersFiles |= static_cast<Atom>(message.data.l[i]) == uriList;
        }
        return;
    }
    if (source != drop.source || message.window != drop.target)
        return;  // not the exchange in progress
    if (type == atom("XdndPosition")) {
        // Accepted anywhere on the window (bit 0); no rectangle to stay
        // quiet in, so positions keep coming (bit 1).
        sendDndReply(message.window, static_cast<long>(atom("XdndStatus")), drop.offersFiles ? 3 : 2,
                     drop.offersFiles ? static_cast<long>(atom("XdndActionCopy")) : 0);
    } else if (type == atom("XdndLeave")) {
        drop = DropExchange();
    } else if (type == atom("XdndDrop")) {
        if (!drop.offersFiles) {
            sendDndReply(message.window, static_cast<long>(atom("XdndFinished")), 0, 0);
            drop = DropExchange();
            return;
        }
        // The data arrives as a SelectionNotify (handleDropData).
        const Time time = drop.version >= 1 ? static_cast<Time>(message.data.l[2]) : CurrentTime;
        drop.waitingForData = true;
        XConvertSelection(display, atom("XdndSelection"), uriList, atom("CORVEX_DROP"), message.window, time);
        XFlush(display);
    }
}

void X11Platform::handleDropData(void* rawEvent) {
    const XSelectionEvent& event = *static_cast<XSelectionEvent*>(rawEvent);
    if (!drop.waitingForData || event.requestor != drop.target || event.selection != atom("XdndSelection"))
        return;
    std::string list;
    if (event.property != None) {
        Atom actualType = 0;
        int actualFormat = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        // At most 1 MiB of names.
        if (XGetWindowProperty(display, event.requestor, event.property, 0, 1 << 18, True, AnyPropertyType,
                               &actualType, &actualFormat, &count, &after, &data) == Success &&
            data && actualFormat == 8)
            list.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        syncFailed(display);
    }
    const unsigned long target = drop.target;
    const std::vector<std::string> files = filesOfUriList(list);
    bool accepted = false;
    FrameWindow* frame = find(windowHandle(target));
    if (frame && !files.empty()) {
        FrameWindowSink* sink = frame->sink;
        if (sink->platformDrag(PlatformDragEvent::enter, &files) != 0)
            accepted = sink->platformDrag(PlatformDragEvent::drop, nullptr) != 0;
    }
    if (drop.source)
        sendDndReply(target, static_cast<long>(atom("XdndFinished")), accepted ? 1 : 0,
                     accepted ? static_cast<long>(atom("XdndActionCopy")) : 0);
    drop = DropExchange();
}

std::vector<std::string> X11Platform::filesOfUriList(const std::string& list) {
    std::vector<std::string> files;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        std::string line = list.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\0'))
            line.pop_back();
        if (line.empty() || line[0] == '#' || line.compare(0, 5, "file:") != 0)
            continue;
        std::string rest = line.substr(5);
        if (rest.compare(0, 2, "//") == 0) {
            const size_t slash = rest.find('/', 2);
            if (slash == std::string::npos)
                continue;
            const std::string host = rest.substr(2, slash - 2);
            if (!host.empty() && host != "localhost")
                continue;  // another machine's file
            rest = rest.substr(slash);
        }
        if (rest.empty() || rest[0] != '/')
            continue;
        std::string path;
        bool bad = false;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '%') {
                auto hex = [](char c) {
                    return c >= '0' && c <= '9' ? c - '0'
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
                };
                const int high = i + 2 < rest.size() ? hex(rest[i + 1]) : -1;
                const int low = i + 2 < rest.size() ? hex(rest[i + 2]) : -1;
                if (high < 0 || low < 0 || (high == 0 && low == 0)) {
                    bad = true;
                    break;
                }
                path += static_cast<char>(high * 16 + low);
                i += 2;
            } else {
                path += rest[i];
            }
        }
        if (!bad)
            files.push_back(path);
    }
    return files;
}

int X11Platform::eventDescriptor() const {
    return display ? ConnectionNumber(display) : -1;
}

namespace {
// Installed by the static initializer below; at unload its destructor closes
// what is left and puts the null platform back.
X11Platform theLayer;
const bool installed = (setPlatform(&theLayer), true);
}  // namespace

}  // namespace VSTGUI
