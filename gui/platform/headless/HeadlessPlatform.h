// A window system without a screen, for tests: frame windows are pixel
// buffers that record what was presented, input comes from a script the
// test queues, and time moves only when someone sleeps or the test says so.
//
// Linked into every test program (corvex_platform_headless), it installs
// itself at start-up. Tests reach it through headlessPlatform().
#pragma once

#include "gui/platform/Platform.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VSTGUI {

class HeadlessPlatform : public NullPlatform {
public:
    // One scripted input state: screen position and button/modifier mask.
    struct Step {
        int32_t x = 0;
        int32_t y = 0;
        int32_t buttons = 0;
    };

    struct Window {
        FrameWindowSink* sink = nullptr;
        void* parent = nullptr;
        int32_t width = 0;
        int32_t height = 0;
        int32_t originX = 0;  // screen position of the top-left corner
        int32_t originY = 0;
        std::vector<uint8_t> pixels;  // what the screen shows: B, G, R, A, top row first
        int64_t presentedPixels = 0;  // pixels copied by present() since the last reset
        int32_t presentCount = 0;
        PlatformRect lastPresent;
        bool paintPending = false;
        PlatformRect pendingPaint;
        bool dropRegistered = false;
        int32_t cursor = 0;

        // Pixel as shown (B, G, R, A), or all zero outside.
        const uint8_t* pixel(int32_t x, int32_t y) const;
    };

    // Puts input, ticks, counters and test resources back to their start.
    void reset();

    // --- input ---------------------------------------------------------------
    // Sets the state right away (and drops any queued steps).
    void setInput(int32_t x, int32_t y, int32_t buttons);
    // Queues steps; each getMouseButtons() poll makes the next one current,
    // so a modal drag loop sees one step per turn. With the queue empty the
    // state holds, and a button left down is released after a long run of
    // polls so that a broken script cannot hang a drag loop.
    void queue(const std::vector<Step>& steps);
    size_t queuedSteps() const { return script.size(); }
    int32_t pollCount() const { return polls; }
    Step current() const { return state; }

    // --- time ------------------------------------------------------------------
    void setTicks(uint32_t value) { ticks = value; }
    void advanceTicks(uint32_t milliseconds) { ticks += milliseconds; }
    uint32_t sleptMilliseconds() const { return slept; }

    // --- windows -----------------------------------------------------------------
    size_t windowCount() const { return windows.size(); }
    Window* window(void* handle);
    Window* lastWindow();
    // Where the next window created will sit on the screen.
    void setNextWindowOrigin(int32_t x, int32_t y) {
        nextOriginX = x;
        nextOriginY = y;
    }
    // System events for a window.
    void paint(void* handle, const PlatformRect& rect);
    void paintAll(void* handle);
    void press(void* handle, int32_t x, int32_t y, int32_t button);
    void wheel(void* handle, int32_t x, int32_t y, bool screen, float distance);
    // The system destroys the window (as with the host's window).
    void destroyBySystem(void* handle);
    int32_t drag(void* handle, PlatformDragEvent event, const std::vector<std::string>* files);
    void resetCounters();

    // --- resources -------------------------------------------------------------
    // Serves `bytes` for type/id before the library's own table.
    void addResource(const std::string& type, int32_t id, std::vector<uint8_t> bytes);
    void removeResources() { resources.clear(); }
    int32_t oleDepth() const { return ole; }
    // The desktop's scale the layer reports (1 after reset).
    void setScaleHint(double scale) { scaleHint = scale; }
    double screenScaleHint() override { return scaleHint; }
    // The window system tells a window's frame its new screen scale.
    void changeScale(void* handle, double scale);

    // Platform
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

private:
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<Step> script;
    Step state;
    int32_t polls = 0;
    int32_t idlePolls = 0;
    uint32_t ticks = 1000;
    uint32_t slept = 0;
    int32_t nextOriginX = 100;
    int32_t nextOriginY = 50;
    int32_t ole = 0;
    double scaleHint = 1.0;
    std::map<std::pair<std::string, int32_t>, std::vector<uint8_t>> resources;
};

HeadlessPlatform& headlessPlatform();

}  // namespace VSTGUI
