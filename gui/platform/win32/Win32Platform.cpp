#include "gui/platform/win32/Win32Platform.h"

#include "gui/platform/win32/CDropTarget.h"
#include "common/ModuleHandle.h"

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <new>

namespace VSTGUI {

namespace {

// Process-wide state of the layer. Frame windows live on the host's UI
// thread; nothing here is touched from another thread.
char className[32] = "";
bool classRegistered = false;
int32_t liveFrameWindows = 0;
bool swapButtons = false;

// The window being painted, and its paint surface, while WM_PAINT runs:
// present() draws on that surface instead of fetching a new one.
HWND paintingWindow = nullptr;
HDC paintSurface = nullptr;

// Successful OleInitialize calls on this thread not yet balanced. A thread
// already in the multi-threaded apartment refuses OleInitialize; those calls
// must not be balanced by OleUninitialize.
thread_local int oleInitialized = 0;

HINSTANCE moduleInstance() {
    // Programs that link the core library directly have no load hook: the
    // program's own module holds the resources then.
    void* handle = corvexModuleHandle();
    return handle ? static_cast<HINSTANCE>(handle) : GetModuleHandleA(nullptr);
}

FrameWindowSink* sinkOf(HWND window) {
    return reinterpret_cast<FrameWindowSink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Per-monitor DPI (Windows 10 1607 and later), looked up at run time so the
// library still loads on older systems.
constexpr UINT kDpiChanged = 0x02E0;             // WM_DPICHANGED (top-level windows)
constexpr UINT kDpiChangedAfterParent = 0x02E3;  // WM_DPICHANGED_AFTERPARENT (child windows)
using DpiContext = HANDLE;
const DpiContext kPerMonitorAwareV2 = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-4));

template <typename F>
F user32Entry(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT dpiOfWindow(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFn getDpiForWindow = user32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    return getDpiForWindow && window ? getDpiForWindow(window) : 0;
}

// The class is registered with the first frame window. Also reads the
// user's swap-buttons setting (it is read again at the next registration).
bool registerWindowClass() {
    liveFrameWindows++;
    if (classRegistered)
        return true;
    HINSTANCE module = moduleInstance();
    std::snprintf(className, sizeof className, "Plugin%p", static_cast<void*>(module));
    WNDCLASSA windowClass = {};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass)) {
        liveFrameWindows--;
        className[0] = 0;
        return false;
    }
    classRegistered = true;
    swapButtons = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    return true;
}

// With the last frame window gone the class goes too. Called once the
// window no longer exists (UnregisterClass refuses while one does).
void unregisterWindowClassIfUnused() {
    if (liveFrameWindows > 0 || !classRegistered)
        return;
    if (UnregisterClassA(className, moduleInstance())) {
        classRegistered = false;
        className[0] = 0;
    }
}

int32_t buttonFor(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return swapButtons ? kSecondaryButton : kPrimaryButton;
        case WM_RBUTTONDOWN:
            return swapButtons ? kPrimaryButton : kSecondaryButton;
        default:
            return kMiddleButton;
    }
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        // Every frame window ends here, whether the frame destroyed it or
        // the system did with the host's window.
        liveFrameWindows--;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    FrameWindowSink* sink = sinkOf(window);
    if (!sink)
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
        case WM_DESTROY:
            // Destroyed by the system before the editor closed: the frame stops
            // drawing and forgets the window.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            RevokeDragDrop(window);
            sink->platformWindowDestroyed();
            return DefWindowProcA(window, message, wParam, lParam);

        case WM_PAINT: {
            RECT invalid;
            if (!GetUpdateRect(window, &invalid, FALSE))
                return DefWindowProcA(window, message, wParam, lParam);
            PAINTSTRUCT paint;
            HDC surface = BeginPaint(window, &paint);
            HWND outerWindow = paintingWindow;
            HDC outerSurface = paintSurface;
            paintingWindow = window;
            paintSurface = surface;
            const PlatformRect area{paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right, paint.rcPaint.bottom};
            sink->platformPaint(area);
            paintingWindow = outerWindow;
            paintSurface = outerSurface;
            EndPaint(window, &paint);
            return 0;
        }

        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // Window coordinates = frame coordinates, as unsigned 16-bit words.
            sink->platformButtonPress(static_cast<int32_t>(LOWORD(lParam)), static_cast<int32_t>(HIWORD(lParam)),
                                      buttonFor(message));
            return 0;

        case WM_MOUSEWHEEL: {
            // Screen position (signed: monitors left of or above the primary
            // one); 120 units per notch, fractions from fine-grained wheels.
            const int32_t x = static_cast<short>(LOWORD(lParam));
            const int32_t y = static_cast<short>(HIWORD(lParam));
            const float distance = static_cast<short>(HIWORD(wParam)) / 120.0f;
            sink->platformWheel(x, y, true, distance);
            // The parent hears of it too.
            return DefWindowProcA(window, message, wParam, lParam);
        }

        case kDpiChanged:
        case kDpiChangedAfterParent: {
            // The window's own DPI; a top-level message carries it in wParam.
            UINT dpi = message == kDpiChanged ? LOWORD(wParam) : dpiOfWindow(window);
            if (dpi == 0)
                dpi = dpiOfWindow(window);
            if (dpi > 0)
                sink->platformScaleChanged(dpi / 96.0);
            return message == kDpiChanged ? 0 : DefWindowProcA(window, message, wParam, lParam);
        }

        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

double Win32Platform::screenScaleHint() {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const GetDpiForSystemFn getDpiForSystem = user32Entry<GetDpiForSystemFn>("GetDpiForSystem");
    UINT dpi = getDpiForSystem ? getDpiForSystem() : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX)) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
    }
    return dpi >= 96 ? dpi / 96.0 : 1.0;
}

// UI thread.
void* Win32Platform::createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) {
    HWND parent = static_cast<HWND>(parentWindow);
    if (!parent || !sink || width <= 0 || height <= 0 || !IsWindow(parent))
        return nullptr;
    if (!registerWindowClass())
        return nullptr;
    // Our window is per-monitor DPI aware (it draws at the screen's scale
    // itself and hears of changes), whatever the host's thread is.
    using SetContextFn = DpiContext(WINAPI*)(DpiContext);
    static const SetContextFn setThreadContext = user32Entry<SetContextFn>("SetThreadDpiAwarenessContext");
    const DpiContext previous = setThreadContext ? setThreadContext(kPerMonitorAwareV2) : nullptr;
    HWND window = CreateWindowExA(0, className, "Window", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                                  0, width, height, parent, nullptr, moduleInstance(), nullptr);
    if (setThreadContext && previous)
        setThreadContext(previous);
    if (!window) {
        liveFrameWindows--;
        unregisterWindowClassIfUnused();
        return nullptr;
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink));
    return window;
}

// UI thread.
void Win32Platform::destroyFrameWindow(void* window) {
    HWND handle = static_cast<HWND>(window);
    if (!handle || !IsWindow(handle)) {
        unregisterWindowClassIfUnused();
        return;
    }
    SetWindowLongPtrA(handle, GWLP_USERDATA, 0);  // no more sink calls
    RevokeDragDrop(handle);
    DestroyWindow(handle);  // WM_NCDESTROY counts it off
    unregisterWindowClassIfUnused();
}

bool Win32Platform::resizeFrameWindow(void* window, int32_t width, int32_t height) {
    HWND handle = static_cast<HWND>(window);
    if (!handle || !IsWindow(handle) || width <= 0 || height <= 0)
        return false;
    RECT own;
    GetWindowRect(handle, &own);
    const int32_t grownX = width - (own.right - own.left);
    const int32_t grownY = height - (own.bottom - own.top);
    SetWindowPos(handle, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // The host's windows around ours grow by the same amount, keeping the
    // border each had around its child, up to the MDI client or a border
    // that shows we are no longer inside the host's editor window.
    int32_t borderX = 0, borderY = 0;
    const int32_t frameLimit = 2 * GetSystemMetrics(SM_CYDLGFRAME);
    RECT inner = own;
    for (HWND ancestor = GetParent(handle); ancestor; ancestor = GetParent(ancestor)) {
        char name[32] = "";
        GetClassNameA(ancestor, name, sizeof name);
        if (lstrcmpiA(name, "MDIClient") == 0)
            break;
        RECT outer;
        GetWindowRect(ancestor, &outer);
        borderX += (outer.right - outer.left) - (inner.right - inner.left);
        borderY += (outer.bottom - outer.top) - (inner.bottom - inner.top);
        if (borderX > 80 || borderY > 80)
            break;
        SetWindowPos(ancestor, HWND_TOP, 0, 0, (outer.right - outer.left) + grownX, (outer.bottom - outer.top) + grownY,
                     SWP_NOMOVE | SWP_NOACTIVATE);
        if (borderX >= frameLimit)
            break;
        inner = outer;
    }
    return true;
}

void Win32Platform::getWindowOrigin(void* window, int32_t& x, int32_t& y) {
    x = y = 0;
    HWND handle = static_cast<HWND>(window);
    if (!handle || !IsWindow(handle))
        return;
    POINT origin = {0, 0};
    ClientToScreen(handle, &origin);
    x = origin.x;
    y = origin.y;
}

void Win32Platform::present(void* window, const PixelView& image, const PlatformRect& rect) {
    HWND handle = static_cast<HWND>(window);
    if (!handle || !image.bits || image.width <= 0 || image.height <= 0)
        return;
    const LONG left = rect.left < 0 ? 0 : rect.left;
    const LONG top = rect.top < 0 ? 0 : rect.top;
    const LONG right = rect.right > image.width ? image.width : rect.right;
    const LONG bottom = rect.bottom > image.height ? image.height : rect.bottom;
    if (right <= left || bottom <= top)
        return;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = image.height;  // positive: bottom-up rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    const bool painting = handle == paintingWindow && paintSurface;
    HDC surface = painting ? paintSurface : GetDC(handle);
    if (!surface)
        return;
    // The source origin of a bottom-up image counts from its lowest row.
    SetDIBitsToDevice(surface, left, top, static_cast<DWORD>(right - left), static_cast<DWORD>(bottom - top), left,
                      image.height - bottom, 0, static_cast<UINT>(image.height), image.bits, &info, DIB_RGB_COLORS);
    if (!painting)
        ReleaseDC(handle, surface);
}

void Win32Platform::getCursorPosition(int32_t& x, int32_t& y) {
    POINT where = {0, 0};
    GetCursorPos(&where);
    x = where.x;
    y = where.y;
}

int32_t Win32Platform::getMouseButtons() {
    // GetAsyncKeyState reports the physical buttons: exchange them back when
    // the user swapped them, so that 1 is always the primary button.
    int32_t buttons = 0;
    const bool left = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
    const bool right = (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0;
    if (left)
        buttons |= swapButtons ? kSecondaryButton : kPrimaryButton;
    if (right)
        buttons |= swapButtons ? kPrimaryButton : kSecondaryButton;
    if (GetAsyncKeyState(VK_MBUTTON) & 0x8000)
        buttons |= kMiddleButton;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000)
        buttons |= kShiftKey;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000)
        buttons |= kControlKey;
    if (GetAsyncKeyState(VK_MENU) & 0x8000)
        buttons |= kAltKey;
    return buttons;
}

void Win32Platform::setCursor(void*, int32_t type) {
    LPCTSTR shape = IDC_ARROW;
    switch (type) {
        case kCursorWait:
            shape = IDC_WAIT;
            break;
        case kCursorHSize:
            shape = IDC_SIZEWE;
            break;
        case kCursorVSize:
            shape = IDC_SIZENS;
            break;
        case kCursorSizeAll:
            shape = IDC_SIZEALL;
            break;
        case kCursorNESWSize:
            shape = IDC_SIZENESW;
            break;
        case kCursorNWSESize:
            shape = IDC_SIZENWSE;
            break;
        case kCursorNotAllowed:
            shape = IDC_NO;
            break;
        case kCursorHand:
            shape = IDC_HAND;
            break;
        default:
            break;
    }
    SetCursor(LoadCursor(nullptr, shape));
}

uint32_t Win32Platform::getTicks() {
    return static_cast<uint32_t>(GetTickCount());
}

void Win32Platform::sleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

bool Win32Platform::dispatchOnePaint() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
        return false;
    DispatchMessageA(&message);
    return true;
}

ResourceBytes Win32Platform::findResource(const char* type, int32_t id) {
    if (!type || id < 0 || id > 0xFFFF)
        return {};
    HMODULE module = moduleInstance();
    const bool bitmap = lstrcmpA(type, "BITMAP") == 0;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), bitmap ? MAKEINTRESOURCEA(2) /* RT_BITMAP */ : type);
    if (!found)
        return findEmbeddedResource(type, id);
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0)
        return {};
    // RT_BITMAP resources are packed DIBs: header, colour table, pixels.
    return ResourceBytes{static_cast<const uint8_t*>(bytes), static_cast<std::size_t>(size)};
}

bool Win32Platform::registerDropTarget(void* window) {
    HWND handle = static_cast<HWND>(window);
    if (!handle || !IsWindow(handle))
        return false;
    CDropTarget* target = new (std::nothrow) CDropTarget(handle);
    if (!target)
        return false;
    target->AddRef();  // ours while registering
    const bool registered = RegisterDragDrop(handle, target) == S_OK;
    target->Release();  // the registration holds it now, or nobody does
    return registered;
}

void Win32Platform::revokeDropTarget(void* window) {
    HWND handle = static_cast<HWND>(window);
    if (handle && IsWindow(handle))
        RevokeDragDrop(handle);
}

void Win32Platform::oleInitialize() {
    const HRESULT result = OleInitialize(nullptr);
    if (result == S_OK || result == S_FALSE)
        oleInitialized++;
}

void Win32Platform::oleUninitialize() {
    if (oleInitialized <= 0)
        return;
    oleInitialized--;
    OleUninitialize();
}

std::string Win32Platform::windowClassName() {
    return classRegistered ? std::string(className) : std::string();
}

int32_t Win32Platform::frameWindowCount() {
    return liveFrameWindows;
}

bool Win32Platform::swappedButtons() {
    return swapButtons;
}

Win32Platform::~Win32Platform() {
    if (&platform() == this)
        setPlatform(nullptr);
    // When the host destroyed the last frame window with its own window,
    // nobody asked us to destroy it, and the class is still registered. It
    // must not outlive the library: its window procedure goes with it.
    unregisterWindowClassIfUnused();
}

namespace {
// Installed by the static initializer below; uninstalled at unload.
Win32Platform theLayer;
const bool installed = (setPlatform(&theLayer), true);
}  // namespace

}  // namespace VSTGUI
