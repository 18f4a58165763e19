#include "EditorDrive.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>

namespace corvex::harness {

namespace {

// Where the host window sits on the screen (no window manager under Xvfb, so
// the position is exactly what is asked for).
constexpr int kHostLeft = 40, kHostTop = 40;
constexpr int kEditorWidth = 660, kEditorHeight = 248;

// Panel positions (frame coordinates) of the controls the test moves.
constexpr int kDriveX = 185 + 22, kDriveY = 176 + 22;    // "Drive" knob, tag 2
constexpr int kVolumeX = 549 + 22, kVolumeY = 176 + 22;  // "Volume" knob, tag 9
constexpr int kStereoX = 551 + 25, kStereoY = 136 + 8;   // "Mono/Stereo" switch, tag 10, below the quality switch
constexpr int kDragPixels = 40;                          // straight up: +40/200 of the range

// Under qemu every step of wine is slow; the pauses between the pointer
// actions give the knob's polling loop time to see each position.
const bool emulated = sizeof(void*) == 4;

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL CALLBACK findPluginChild(HWND child, LPARAM param) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    if (std::strncmp(name, "Plugin", 6) == 0) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}

HWND pluginChild(HWND host) {
    HWND found = nullptr;
    EnumChildWindows(host, findPluginChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Dispatches messages and sends the host's editor idle every 50 ms until
// `done` answers true or the time is up; answers whether `done` came true.
bool pump(const Instance& instance, DWORD milliseconds, const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    DWORD lastIdle = start;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD now = GetTickCount();
        if (now - lastIdle >= 50) {
            instance.dispatch(effEditIdle);
            lastIdle = now;
        }
        if (done && done())
            return true;
        if (now - start >= milliseconds)
            return false;
        Sleep(5);
    }
}

// The editor's pixels as they reached the screen, 0x00RRGGBB each.
std::vector<uint32_t> grabPixels(HWND child) {
    std::vector<uint32_t> pixels;
    HDC windowDc = GetDC(child);
    if (!windowDc)
        return pixels;
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kEditorWidth;
    info.bmiHeader.biHeight = -kEditorHeight;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memoryDc && dib && bits) {
        HGDIOBJ old = SelectObject(memoryDc, dib);
        BitBlt(memoryDc, 0, 0, kEditorWidth, kEditorHeight, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* p = static_cast<const uint32_t*>(bits);
        pixels.assign(p, p + kEditorWidth * kEditorHeight);
        for (uint32_t& v : pixels)
            v &= 0xFFFFFFu;
        SelectObject(memoryDc, old);
    }
    if (dib)
        DeleteObject(dib);
    if (memoryDc)
        DeleteDC(memoryDc);
    ReleaseDC(child, windowDc);
    return pixels;
}

size_t distinctColours(std::vector<uint32_t> pixels) {
    std::sort(pixels.begin(), pixels.end());
    return static_cast<size_t>(std::unique(pixels.begin(), pixels.end()) - pixels.begin());
}

// Writes the grabbed editor as a 24-bit BMP for a person to look at.
void saveBitmap(const std::vector<uint32_t>& pixels, const char* path) {
    if (pixels.size() != static_cast<size_t>(kEditorWidth) * kEditorHeight)
        return;
    std::FILE* f = std::fopen(nativePath(path).c_str(), "wb");
    if (!f)
        return;
    const uint32_t rowBytes = (kEditorWidth * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * kEditorHeight;
    unsigned char header[54] = {'B', 'M'};
    auto put32 = [&header](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(2, 54 + imageBytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, kEditorWidth);
    put32(22, kEditorHeight);
    header[26] = 1;
    header[28] = 24;
    put32(34, imageBytes);
    std::fwrite(header, 1, sizeof header, f);
    std::vector<unsigned char> row(rowBytes, 0);
    for (int y = kEditorHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kEditorWidth; ++x) {
            const uint32_t v = pixels[static_cast<size_t>(y) * kEditorWidth + x];
            row[3 * x] = static_cast<unsigned char>(v);
            row[3 * x + 1] = static_cast<unsigned char>(v >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(v >> 16);
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

// Starts a Unix program (wine runs ELF files given by their drive-Z path);
// its exit status cannot be read, so callers check for its effects.
bool launch(std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

struct Gesture {
    int begins = 0, ends = 0, automations = 0, othersBetween = 0;
    float lastValue = NAN;
    bool ordered = true;  // begin first, end last
};

// What the host saw for one parameter.
Gesture gestureOf(const std::vector<HostEvent>& events, VstInt32 index) {
    Gesture g;
    for (const HostEvent& e : events) {
        if (e.index != index)
            continue;
        if (e.opcode == audioMasterBeginEdit) {
            if (g.begins != g.ends)
                g.ordered = false;
            ++g.begins;
        } else if (e.opcode == audioMasterEndEdit) {
            ++g.ends;
            if (g.ends > g.begins)
                g.ordered = false;
        } else if (e.opcode == audioMasterAutomate) {
            ++g.automations;
            if (g.begins == g.ends)
                g.ordered = false;
            g.lastValue = e.value;
        }
    }
    return g;
}

std::string describe(const Gesture& g) {
    char text[160];
    std::snprintf(text, sizeof text, "%d begin-edit, %d automation, %d end-edit, last value %.4g%s", g.begins,
                  g.automations, g.ends, g.lastValue, g.ordered ? "" : ", out of order");
    return text;
}

}  // namespace

void runEditorChecks(PluginEntryProc entry, std::vector<std::string>& problems, std::string& note) {
    Instance instance(entry);
    if (!instance) {
        problems.push_back("the entry point returned null");
        return;
    }
    ERect* rect = nullptr;
    if (!instance.dispatch(effEditGetRect, 0, 0, &rect) || !rect) {
        problems.push_back("effEditGetRect gave no rectangle");
        return;
    }
    if (rect->top != 0 || rect->left != 0 || rect->bottom != kEditorHeight || rect->right != kEditorWidth) {
        char text[96];
        std::snprintf(text, sizeof text, "editor rectangle is %d,%d,%d,%d, not 0,0,248,660", rect->top, rect->left,
                      rect->bottom, rect->right);
        problems.push_back(text);
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "CorvexSmokeHost";
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);
    HWND host =
        CreateWindowExA(0, windowClass.lpszClassName, "Corvex smoke host", WS_POPUP | WS_VISIBLE, kHostLeft, kHostTop,
                        kEditorWidth, kEditorHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!host) {
        problems.push_back("cannot create the host window (is the X display reachable?)");
        return;
    }
    pump(instance, 200, nullptr);

    if (instance.dispatch(effEditOpen, 0, 0, host) == 0)
        problems.push_back("effEditOpen answered 0");
    HWND child = pluginChild(host);
    if (!child) {
        problems.push_back("no child window of class \"Plugin...\" in the host window");
        instance.dispatch(effEditClose);
        DestroyWindow(host);
        return;
    }
    RECT client = {};
    GetClientRect(child, &client);
    if (client.right != kEditorWidth || client.bottom != kEditorHeight) {
        char text[96];
        std::snprintf(text, sizeof text, "the editor window is %ldx%ld, not 660x248", client.right, client.bottom);
        problems.push_back(text);
    }

    // The panel is drawn: many colours, not a flat background.
    std::vector<uint32_t> pixels;
    pump(instance, emulated ? 30000 : 10000, [&] {
        pixels = grabPixels(child);
        return distinctColours(pixels) >= 64;
    });
    const size_t colours = distinctColours(pixels);
    if (colours < 64)
        problems.push_back("the editor shows only " + std::to_string(colours) + " colours");
    if (const char* shot = std::getenv("CORVEX_SMOKE_SCREENSHOT"))
        saveBitmap(pixels, shot);

    // Drag Drive 40 pixels up, turn the wheel up over Volume, click the
    // mono/stereo switch: one chain of pointer actions. Controls read the
    // button state when they handle the press, so every press is held for a
    // moment as a hand would (an instant click is gone before it is seen).
    POINT drive = {kDriveX, kDriveY}, volume = {kVolumeX, kVolumeY}, stereo = {kStereoX, kStereoY};
    ClientToScreen(child, &drive);
    ClientToScreen(child, &volume);
    ClientToScreen(child, &stereo);
    const float driveBefore = instance.getParameter(kParamDrive);
    const float volumeBefore = instance.getParameter(kParamVolume);
    const float stereoBefore = instance.getParameter(kParamStereo);
    const char* pause = emulated ? "1.5" : "0.4";
    char command[768];
    std::snprintf(command, sizeof command,
                  "Z:\\usr\\bin\\xdotool mousemove %ld %ld sleep %s mousedown 1 sleep %s mousemove %ld %ld sleep %s "
                  "mousemove %ld %ld sleep %s sleep %s mouseup 1 sleep %s mousemove %ld %ld sleep %s click 4 sleep %s "
                  "mousemove %ld %ld sleep %s mousedown 1 sleep %s mouseup 1",
                  drive.x, drive.y, pause, pause, drive.x, drive.y - kDragPixels / 2, pause, drive.x,
                  drive.y - kDragPixels, pause, pause, pause, volume.x, volume.y, pause, pause, stereo.x, stereo.y,
                  pause, pause);
    clearHostEvents();
    if (!launch(command)) {
        problems.push_back("cannot start xdotool");
    } else {
        auto finished = [] {
            const std::vector<HostEvent> events = hostEvents();
            const Gesture d = gestureOf(events, kParamDrive), s = gestureOf(events, kParamStereo);
            return d.ends >= 1 && gestureOf(events, kParamVolume).automations >= 1 && s.ends >= 1;
        };
        pump(instance, emulated ? 120000 : 30000, finished);
        const std::vector<HostEvent> events = hostEvents();

        const Gesture d = gestureOf(events, kParamDrive);
        const float driveWanted = driveBefore + kDragPixels / 200.0f;
        if (d.begins != 1 || d.ends != 1 || d.automations < 1 || !d.ordered)
            problems.push_back("knob drag: the host saw " + describe(d));
        if (!(std::fabs(instance.getParameter(kParamDrive) - driveWanted) < 1e-3f) ||
            d.lastValue != instance.getParameter(kParamDrive)) {
            char text[160];
            std::snprintf(text, sizeof text, "knob drag: Drive went from %.4g to %.4g (host saw %.4g), wanted %.4g",
                          driveBefore, instance.getParameter(kParamDrive), d.lastValue, driveWanted);
            problems.push_back(text);
        }

        const Gesture v = gestureOf(events, kParamVolume);
        if (v.automations != 1 || !v.ordered || !(std::fabs(v.lastValue - (volumeBefore + 0.1f)) < 1e-4f))
            problems.push_back("wheel over Volume (from " + std::to_string(volumeBefore) + "): the host saw " +
                               describe(v));

        const Gesture s = gestureOf(events, kParamStereo);
        const float stereoWanted = stereoBefore >= 0.5f ? 0.0f : 1.0f;
        if (s.automations < 1 || !s.ordered || s.lastValue != stereoWanted)
            problems.push_back("click on Mono/Stereo: the host saw " + describe(s));

        char text[200];
        std::snprintf(text, sizeof text, "%zu colours; drag %d steps to %.4g, wheel to %.4g, switch to %.4g", colours,
                      d.automations, d.lastValue, v.lastValue, s.lastValue);
        note = text;
    }

    instance.dispatch(effEditClose);
    if (IsWindow(child))
        problems.push_back("the editor window survived effEditClose");

    // Opened again, the editor rebuilds its window with the values of now.
    if (instance.dispatch(effEditOpen, 0, 0, host) == 0 || !pluginChild(host))
        problems.push_back("the editor did not open a second time");
    pump(instance, 200, nullptr);
    instance.dispatch(effEditClose);
    DestroyWindow(host);
    pump(instance, 100, nullptr);
}

}  // namespace corvex::harness
