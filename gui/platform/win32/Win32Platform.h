// The Win32 window layer of the Windows plug-in.
//
// Frame windows are child windows of the host's editor window, of a class
// registered per loaded copy of the library ("Plugin%p" with the library's
// module handle) while at least one frame window exists. The host's message
// loop delivers their messages to the window procedure, which turns paint,
// press and wheel messages into FrameWindowSink calls. Pixels reach the
// screen with SetDIBitsToDevice straight from the frame's bottom-up 32-bit
// off-screen image. Files dragged over a frame arrive through OLE drag and
// drop (CDropTarget).
#pragma once

#include "gui/platform/Platform.h"

#include <string>

namespace VSTGUI {

class Win32Platform : public NullPlatform {
public:
    Win32Platform() = default;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void* createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) override;
    void destroyFrameWindow(void* window) override;
    bool resizeFrameWindow(void* window, int32_t width, int32_t height) override;
    void getWindowOrigin(void* window, int32_t& x, int32_t& y) override;
    void present(void* window, const PixelView& image, const PlatformRect& rect) override;
    // The DPI of the system over 96 (1 in a process Windows keeps unaware).
    double screenScaleHint() override;
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

    // For tests: the registered class name ("" while none is registered),
    // the number of frame windows alive and the swap-buttons setting read
    // at registration.
    static std::string windowClassName();
    static int32_t frameWindowCount();
    static bool swappedButtons();
};

}  // namespace VSTGUI
