// The gui extension: the amp's front panel, embedded in the host's window
// (an X11 window on Linux, an HWND on Windows) at its fixed 660 x 248 times
// the scale the host sets (both window APIs count physical pixels, so the
// host tells its screen's scale through set_scale; get_size follows it),
// bound to the plug-in's parameter port. The panel draws and reads the
// mouse when it is idled: the host's timer idles it every kIdlePeriodMs. A
// Linux host without timers but with fd support gets the panel's event
// descriptor (the X connection) to watch instead. Each idle also shows the
// panel the values the engine stored since the last one.
#include <cstring>

#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace {

constexpr uint32_t kIdlePeriodMs = 30;

bool apiMatches(const char* api) {
    return api && std::strcmp(api, clapWindowApi()) == 0;
}

void startIdle(ClapPlugin& self) {
    ClapPlugin::GuiState& gui = self.gui;
    const clap_host_timer_support* timers = self.hostTimers();
    if (timers && timers->register_timer && timers->register_timer(self.host(), kIdlePeriodMs, &gui.timer))
        return;
    gui.timer = CLAP_INVALID_ID;
    const clap_host_posix_fd_support* fds = self.hostFds();
    const int fd = gui.panel ? gui.panel->eventDescriptor() : -1;
    if (fds && fds->register_fd && fd >= 0 && fds->register_fd(self.host(), fd, CLAP_POSIX_FD_READ))
        gui.fd = fd;
}

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// The values the engine stored since the panel was last told, except those
// of controls the user is holding.
void showStoredValues(ClapPlugin& self) {
    ClapPlugin::GuiState& gui = self.gui;
    if (!gui.panel || !self.engine())
        return;
    for (uint32_t i = 0; i < ClapPlugin::kNumParams; ++i) {
        const float value = self.engine()->value(static_cast<int>(i));
        if (!gui.held[i] && bitsOf(value) != gui.shown[i]) {
            gui.shown[i] = bitsOf(value);
            gui.panel->parameterChanged(static_cast<int>(i), value);
        }
    }
}

void idlePanel(ClapPlugin& self) {
    showStoredValues(self);
    self.gui.panel->idle();
}

void stopIdle(ClapPlugin& self) {
    ClapPlugin::GuiState& gui = self.gui;
    if (gui.timer != CLAP_INVALID_ID) {
        const clap_host_timer_support* timers = self.hostTimers();
        if (timers && timers->unregister_timer)
            timers->unregister_timer(self.host(), gui.timer);
        gui.timer = CLAP_INVALID_ID;
    }
    if (gui.fd >= 0) {
        const clap_host_posix_fd_support* fds = self.hostFds();
        if (fds && fds->unregister_fd)
            fds->unregister_fd(self.host(), gui.fd);
        gui.fd = -1;
    }
}

bool openEditor(ClapPlugin& self) {
    ClapPlugin::GuiState& gui = self.gui;
    if (gui.open)
        return true;
    if (!gui.created || !gui.parent)
        return false;
    if (!gui.panel)
        gui.panel = corvex::createPanel(self.panelPort());
    if (gui.panel)
        gui.panel->setScale(gui.scale);
    if (!gui.panel || !gui.panel->open(gui.parent))
        return false;
    for (uint32_t i = 0; i < ClapPlugin::kNumParams; ++i) {
        gui.shown[i] = bitsOf(self.engine()->value(static_cast<int>(i)));
        gui.held[i] = false;
    }
    gui.open = true;
    startIdle(self);
    return true;
}

ClapPlugin* mainThreadSelf(const clap_plugin* p) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self && self->engine() && self->onMainThread() ? self : nullptr;
}

// ---- slots, all on the main thread ----

bool CLAP_CALL guiIsApiSupported(const clap_plugin* p, const char* api, bool isFloating) {
    return ClapPlugin::from(p) && !isFloating && apiMatches(api);
}

bool CLAP_CALL guiGetPreferredApi(const clap_plugin*, const char** api, bool* isFloating) {
    if (!api || !isFloating)
        return false;
    *api = clapWindowApi();
    *isFloating = false;
    return true;
}

bool CLAP_CALL guiCreate(const clap_plugin* p, const char* api, bool isFloating) {
    ClapPlugin* self = mainThreadSelf(p);
    if (!self || isFloating || !apiMatches(api) || self->gui.created)
        return false;
    self->gui.created = true;
    return true;
}

void CLAP_CALL guiDestroy(const clap_plugin* p) {
    if (ClapPlugin* self = mainThreadSelf(p)) {
        closeClapEditor(*self);
        self->gui.panel.reset();
        self->gui.created = false;
        self->gui.parent = nullptr;
        self->gui.scale = 1.0;
    }
}

// The panel draws at 1 to 4 times its size, from images drawn at twice the
// resolution above 1; other scales are refused and the last one stays.
bool CLAP_CALL guiSetScale(const clap_plugin* p, double scale) {
    ClapPlugin* self = mainThreadSelf(p);
    if (!self || !corvex::isPanelScale(scale))
        return false;
    if (self->gui.panel && !self->gui.panel->setScale(scale))
        return false;
    self->gui.scale = scale;
    return true;
}

bool CLAP_CALL guiGetSize(const clap_plugin* p, uint32_t* width, uint32_t* height) {
    ClapPlugin* self = mainThreadSelf(p);
    if (!self || !width || !height)
        return false;
    *width = corvex::scaledPanelSide(ClapPlugin::kEditorWidth, self->gui.scale);
    *height = corvex::scaledPanelSide(ClapPlugin::kEditorHeight, self->gui.scale);
    return true;
}

bool CLAP_CALL guiCanResize(const clap_plugin*) {
    return false;
}

bool CLAP_CALL guiGetResizeHints(const clap_plugin*, clap_gui_resize_hints*) {
    return false;
}

bool CLAP_CALL guiAdjustSize(const clap_plugin*, uint32_t*, uint32_t*) {
    return false;
}

bool CLAP_CALL guiSetSize(const clap_plugin* p, uint32_t width, uint32_t height) {
    uint32_t w = 0, h = 0;
    return guiGetSize(p, &w, &h) && w == width && h == height;
}

bool CLAP_CALL guiSetParent(const clap_plugin* p, const clap_window* window) {
    ClapPlugin* self = mainThreadSelf(p);
    if (!self || !self->gui.created || !window || !apiMatches(window->api))
        return false;
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
    if (!parent)
        return false;
    closeClapEditor(*self);
    self->gui.parent = parent;
    return openEditor(*self);
}

bool CLAP_CALL guiSetTransient(const clap_plugin*, const clap_window*) {
    return false;  // embedded only
}

void CLAP_CALL guiSuggestTitle(const clap_plugin*, const char*) {}

bool CLAP_CALL guiShow(const clap_plugin* p) {
    ClapPlugin* self = mainThreadSelf(p);
    return self && openEditor(*self);
}

bool CLAP_CALL guiHide(const clap_plugin* p) {
    ClapPlugin* self = mainThreadSelf(p);
    if (!self || !self->gui.created)
        return false;
    closeClapEditor(*self);
    return true;
}

// Main thread: the host's timer.
void CLAP_CALL onTimer(const clap_plugin* p, clap_id timer) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (self && self->gui.open && timer == self->gui.timer)
        idlePanel(*self);
}

// Main thread: the X connection has something to read.
void CLAP_CALL onFd(const clap_plugin* p, int fd, uint32_t) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (self && self->gui.open && fd == self->gui.fd)
        idlePanel(*self);
}

}  // namespace

const clap_plugin_gui kClapGui = {guiIsApiSupported, guiGetPreferredApi, guiCreate,         guiDestroy,    guiSetScale,
                                  guiGetSize,        guiCanResize,       guiGetResizeHints, guiAdjustSize, guiSetSize,
                                  guiSetParent,      guiSetTransient,    guiSuggestTitle,   guiShow,       guiHide};
const clap_plugin_timer_support kClapTimerSupport = {onTimer};
const clap_plugin_posix_fd_support kClapPosixFdSupport = {onFd};

const char* clapWindowApi() {
#if defined(_WIN32)
    return CLAP_WINDOW_API_WIN32;
#else
    return CLAP_WINDOW_API_X11;
#endif
}

void closeClapEditor(ClapPlugin& self) {
    if (!self.gui.open)
        return;
    stopIdle(self);
    if (self.gui.panel)
        self.gui.panel->close();
    self.gui.open = false;
}
