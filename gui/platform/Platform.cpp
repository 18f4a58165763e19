#include "gui/platform/Platform.h"

#include <chrono>
#include <thread>

#if defined(CORVEX_HAVE_EMBEDDED_RESOURCES)
#include "resources/EmbeddedResources.h"
#endif

namespace VSTGUI {

namespace {

NullPlatform& theNullPlatform() {
    static NullPlatform instance;
    return instance;
}

// Constant-initialised, so layers may install themselves from any static
// initializer regardless of order.
Platform* installed = nullptr;

}  // namespace

Platform& platform() {
    return installed ? *installed : theNullPlatform();
}

void setPlatform(Platform* layer) {
    installed = layer;
}

// The one place that reads the table compiled into the library.
ResourceBytes findEmbeddedResource(const char* type, int32_t id) {
#if defined(CORVEX_HAVE_EMBEDDED_RESOURCES)
    if (!type)
        return {};
    const corvex::ResourceData found = corvex::findEmbeddedResource(type, id);
    if (!found.data || found.size == 0)
        return {};
    return ResourceBytes{found.data, found.size};
#else
    (void)type;
    (void)id;
    return {};
#endif
}

void* NullPlatform::createFrameWindow(void*, int32_t, int32_t, FrameWindowSink*) {
    return nullptr;
}
void NullPlatform::destroyFrameWindow(void*) {}
bool NullPlatform::resizeFrameWindow(void*, int32_t, int32_t) {
    return false;
}

void NullPlatform::getWindowOrigin(void*, int32_t& x, int32_t& y) {
    x = y = 0;
}
void NullPlatform::present(void*, const PixelView&, const PlatformRect&) {}
void NullPlatform::getCursorPosition(int32_t& x, int32_t& y) {
    x = y = 0;
}
int32_t NullPlatform::getMouseButtons() {
    return 0;
}
void NullPlatform::setCursor(void*, int32_t) {}

uint32_t NullPlatform::getTicks() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void NullPlatform::sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool NullPlatform::dispatchOnePaint() {
    return false;
}

ResourceBytes NullPlatform::findResource(const char* type, int32_t id) {
    return findEmbeddedResource(type, id);
}

bool NullPlatform::registerDropTarget(void*) {
    return false;
}
void NullPlatform::revokeDropTarget(void*) {}
void NullPlatform::oleInitialize() {}
void NullPlatform::oleUninitialize() {}

}  // namespace VSTGUI
