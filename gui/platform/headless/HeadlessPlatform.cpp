#include "gui/platform/headless/HeadlessPlatform.h"

#include <algorithm>
#include <cstring>

namespace VSTGUI {

namespace {

// Polls of an empty script after which a held button is let go.
constexpr int32_t kReleaseAfterIdlePolls = 100000;

const uint8_t kNothing[4] = {0, 0, 0, 0};

}  // namespace

HeadlessPlatform& headlessPlatform() {
    static HeadlessPlatform instance;
    return instance;
}

// Installed when the test program starts.
static const bool headlessInstalled = (setPlatform(&headlessPlatform()), true);

const uint8_t* HeadlessPlatform::Window::pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return kNothing;
    return pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
}

void HeadlessPlatform::reset() {
    script.clear();
    state = Step{};
    polls = 0;
    idlePolls = 0;
    ticks = 1000;
    slept = 0;
    nextOriginX = 100;
    nextOriginY = 50;
    resources.clear();
    scaleHint = 1.0;
    resetCounters();
}

void HeadlessPlatform::changeScale(void* handle, double scale) {
    if (Window* w = window(handle))
        if (w->sink)
            w->sink->platformScaleChanged(scale);
}

void HeadlessPlatform::setInput(int32_t x, int32_t y, int32_t buttons) {
    script.clear();
    state = Step{x, y, buttons};
    idlePolls = 0;
}

void HeadlessPlatform::queue(const std::vector<Step>& steps) {
    script.insert(script.end(), steps.begin(), steps.end());
}

HeadlessPlatform::Window* HeadlessPlatform::window(void* handle) {
    for (auto& w : windows)
        if (w.get() == handle)
            return w.get();
    return nullptr;
}

HeadlessPlatform::Window* HeadlessPlatform::lastWindow() {
    return windows.empty() ? nullptr : windows.back().get();
}

void HeadlessPlatform::paint(void* handle, const PlatformRect& rect) {
    Window* w = window(handle);
    if (w && w->sink)
        w->sink->platformPaint(rect);
}

void HeadlessPlatform::paintAll(void* handle) {
    Window* w = window(handle);
    if (!w)
        return;
    w->paintPending = false;
    paint(handle, PlatformRect{0, 0, w->width, w->height});
}

void HeadlessPlatform::press(void* handle, int32_t x, int32_t y, int32_t button) {
    Window* w = window(handle);
    if (w && w->sink)
        w->sink->platformButtonPress(x, y, button);
}

void HeadlessPlatform::wheel(void* handle, int32_t x, int32_t y, bool screen, float distance) {
    Window* w = window(handle);
    if (w && w->sink)
        w->sink->platformWheel(x, y, screen, distance);
}

void HeadlessPlatform::destroyBySystem(void* handle) {
    auto it = std::find_if(windows.begin(), windows.end(), [handle](const auto& w) { return w.get() == handle; });
    if (it == windows.end())
        return;
    std::unique_ptr<Window> w = std::move(*it);
    windows.erase(it);
    if (w->sink)
        w->sink->platformWindowDestroyed();
}

int32_t HeadlessPlatform::drag(void* handle, PlatformDragEvent event, const std::vector<std::string>* files) {
    Window* w = window(handle);
    if (!w || !w->sink || !w->dropRegistered)
        return 0;
    return w->sink->platformDrag(event, files);
}

void HeadlessPlatform::resetCounters() {
    for (auto& w : windows) {
        w->presentedPixels = 0;
        w->presentCount = 0;
        w->lastPresent = PlatformRect{};
    }
}

void HeadlessPlatform::addResource(const std::string& type, int32_t id, std::vector<uint8_t> bytes) {
    resources[{type, id}] = std::move(bytes);
}

void* HeadlessPlatform::createFrameWindow(void* parentWindow, int32_t width, int32_t height, FrameWindowSink* sink) {
    if (!parentWindow || !sink || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return nullptr;
    auto w = std::make_unique<Window>();
    w->sink = sink;
    w->parent = parentWindow;
    w->width = width;
    w->height = height;
    w->originX = nextOriginX;
    w->originY = nextOriginY;
    w->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    // A new visible window asks to be painted whole, as a real one would.
    w->paintPending = true;
    w->pendingPaint = PlatformRect{0, 0, width, height};
    windows.push_back(std::move(w));
    return windows.back().get();
}

void HeadlessPlatform::destroyFrameWindow(void* handle) {
    auto it = std::find_if(windows.begin(), windows.end(), [handle](const auto& w) { return w.get() == handle; });
    if (it != windows.end())
        windows.erase(it);
}

bool HeadlessPlatform::resizeFrameWindow(void* handle, int32_t width, int32_t height) {
    Window* w = window(handle);
    if (!w || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return false;
    w->width = width;
    w->height = height;
    w->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
    w->paintPending = true;
    w->pendingPaint = PlatformRect{0, 0, width, height};
    return true;
}

void HeadlessPlatform::getWindowOrigin(void* handle, int32_t& x, int32_t& y) {
    Window* w = window(handle);
    x = w ? w->originX : 0;
    y = w ? w->originY : 0;
}

void HeadlessPlatform::present(void* handle, const PixelView& image, const PlatformRect& rect) {
    Window* w = window(handle);
    if (!w || !image.bits)
        return;
    const int32_t left = std::max({rect.left, 0}), top = std::max({rect.top, 0});
    const int32_t right = std::min({rect.right, image.width, w->width});
    const int32_t bottom = std::min({rect.bottom, image.height, w->height});
    if (right <= left || bottom <= top)
        return;
    for (int32_t y = top; y < bottom; ++y) {
        // Bottom-up source: picture row y is stored (height - 1 - y) rows in.
        const uint8_t* s = image.bits +
                           static_cast<size_t>(image.height - 1 - y) * static_cast<size_t>(image.rowBytes) +
                           static_cast<size_t>(left) * 4;
        uint8_t* d =
            w->pixels.data() + (static_cast<size_t>(y) * static_cast<size_t>(w->width) + static_cast<size_t>(left)) * 4;
        std::memcpy(d, s, static_cast<size_t>(right - left) * 4);
    }
    w->presentedPixels += static_cast<int64_t>(right - left) * (bottom - top);
    ++w->presentCount;
    w->lastPresent = PlatformRect{left, top, right, bottom};
}

void HeadlessPlatform::getCursorPosition(int32_t& x, int32_t& y) {
    x = state.x;
    y = state.y;
}

int32_t HeadlessPlatform::getMouseButtons() {
    ++polls;
    if (!script.empty()) {
        state = script.front();
        script.pop_front();
        idlePolls = 0;
    } else if (state.buttons & (kPrimaryButton | kMiddleButton | kSecondaryButton)) {
        if (++idlePolls >= kReleaseAfterIdlePolls)
            state.buttons &= ~(kPrimaryButton | kMiddleButton | kSecondaryButton);
    }
    return state.buttons;
}

void HeadlessPlatform::setCursor(void* handle, int32_t type) {
    if (Window* w = window(handle))
        w->cursor = type;
}

uint32_t HeadlessPlatform::getTicks() {
    return ticks;
}

void HeadlessPlatform::sleep(uint32_t milliseconds) {
    ticks += milliseconds;
    slept += milliseconds;
}

bool HeadlessPlatform::dispatchOnePaint() {
    for (auto& w : windows) {
        if (!w->paintPending)
            continue;
        w->paintPending = false;
        if (w->sink)
            w->sink->platformPaint(w->pendingPaint);
        return true;
    }
    return false;
}

ResourceBytes HeadlessPlatform::findResource(const char* type, int32_t id) {
    if (type) {
        auto it = resources.find({std::string(type), id});
        if (it != resources.end())
            return ResourceBytes{it->second.data(), it->second.size()};
    }
    return NullPlatform::findResource(type, id);
}

bool HeadlessPlatform::registerDropTarget(void* handle) {
    Window* w = window(handle);
    if (!w)
        return false;
    w->dropRegistered = true;
    return true;
}

void HeadlessPlatform::revokeDropTarget(void* handle) {
    if (Window* w = window(handle))
        w->dropRegistered = false;
}

void HeadlessPlatform::oleInitialize() {
    ++ole;
}
void HeadlessPlatform::oleUninitialize() {
    --ole;
}

}  // namespace VSTGUI
