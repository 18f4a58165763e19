// The gui, timer-support and posix-fd-support extensions for a plug-in whose
// panel is embedded in the host's window (an X11 window on Linux, an HWND on
// Windows) at a fixed size times the scale the host sets (both window APIs
// count physical pixels, so the host tells its screen's scale through
// set_scale; get_size follows it). The panel draws and reads the mouse when
// it is idled: the host's timer idles it every kClapIdlePeriodMs; a Linux
// host without timers but with fd support gets the panel's event descriptor
// (the X connection) to watch instead.
//
// Shared by the head's and the rig's CLAP plug-ins: ClapGuiSlots<P> is the
// tables for a plug-in class P, which provides (all on the main thread):
//   static P* from(const clap_plugin*);
//   static constexpr uint32_t kEditorWidth, kEditorHeight;  // at scale 1
//   ClapEmbeddedGui gui;                // (a struct deriving from it)
//   const clap_host* guiHost() const;
//   bool guiUsable() const;             // made and on the main thread
//   bool makePanel();                   // gui.panel made (with its port)
//   void panelOpened();                 // the panel just opened: what it shows
//   void idlePanel();                   // values to the panel, then its idle
//   void releasePanel();                // gui.panel (and its port) gone
// Threads: every slot here is the main thread's (the CLAP gui rule).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "clap/ClapAbi.h"
#include "editor/ParameterPort.h"

constexpr uint32_t kClapIdlePeriodMs = 30;

// The window system this build embeds into: "x11" on Linux, "win32" on Windows.
inline const char* clapWindowApi() {
#if defined(_WIN32)
    return CLAP_WINDOW_API_WIN32;
#else
    return CLAP_WINDOW_API_X11;
#endif
}

// What the gui extension keeps of the embedded panel.
struct ClapEmbeddedGui {
    bool created = false;
    bool open = false;       // panel open in `parent`
    void* parent = nullptr;  // X window id or HWND from set_parent
    clap_id timer = CLAP_INVALID_ID;
    int fd = -1;         // descriptor watched through posix-fd-support
    double scale = 1.0;  // the host's set_scale
    std::unique_ptr<corvex::Panel> panel;
};

template <typename T>
const T* clapHostExtension(const clap_host* host, const char* id) {
    return host && host->get_extension ? static_cast<const T*>(host->get_extension(host, id)) : nullptr;
}

// Main thread: the host's timer for the panel's idle, else its descriptor.
inline void startClapPanelIdle(const clap_host* host, ClapEmbeddedGui& gui) {
    auto* timers = clapHostExtension<clap_host_timer_support>(host, CLAP_EXT_TIMER_SUPPORT);
    if (timers && timers->register_timer && timers->register_timer(host, kClapIdlePeriodMs, &gui.timer))
        return;
    gui.timer = CLAP_INVALID_ID;
    auto* fds = clapHostExtension<clap_host_posix_fd_support>(host, CLAP_EXT_POSIX_FD_SUPPORT);
    const int fd = gui.panel ? gui.panel->eventDescriptor() : -1;
    if (fds && fds->register_fd && fd >= 0 && fds->register_fd(host, fd, CLAP_POSIX_FD_READ))
        gui.fd = fd;
}

// Main thread: the timer and descriptor given back, the panel closed.
inline void closeClapPanel(const clap_host* host, ClapEmbeddedGui& gui) {
    if (!gui.open)
        return;
    if (gui.timer != CLAP_INVALID_ID) {
        auto* timers = clapHostExtension<clap_host_timer_support>(host, CLAP_EXT_TIMER_SUPPORT);
        if (timers && timers->unregister_timer)
            timers->unregister_timer(host, gui.timer);
        gui.timer = CLAP_INVALID_ID;
    }
    if (gui.fd >= 0) {
        auto* fds = clapHostExtension<clap_host_posix_fd_support>(host, CLAP_EXT_POSIX_FD_SUPPORT);
        if (fds && fds->unregister_fd)
            fds->unregister_fd(host, gui.fd);
        gui.fd = -1;
    }
    if (gui.panel)
        gui.panel->close();
    gui.open = false;
}

template <class P>
struct ClapGuiSlots {
    static bool apiMatches(const char* api) { return api && std::strcmp(api, clapWindowApi()) == 0; }

    static P* usable(const clap_plugin* p) {
        P* self = P::from(p);
        return self && self->guiUsable() ? self : nullptr;
    }

    static bool openPanel(P& self) {
        ClapEmbeddedGui& gui = self.gui;
        if (gui.open)
            return true;
        if (!gui.created || !gui.parent || !self.makePanel() || !gui.panel)
            return false;
        gui.panel->setScale(gui.scale);
        if (!gui.panel->open(gui.parent))
            return false;
        self.panelOpened();
        gui.open = true;
        startClapPanelIdle(self.guiHost(), gui);
        return true;
    }

    static bool CLAP_CALL isApiSupported(const clap_plugin* p, const char* api, bool isFloating) {
        return P::from(p) && !isFloating && apiMatches(api);
    }

    static bool CLAP_CALL getPreferredApi(const clap_plugin*, const char** api, bool* isFloating) {
        if (!api || !isFloating)
            return false;
        *api = clapWindowApi();
        *isFloating = false;
        return true;
    }

    static bool CLAP_CALL create(const clap_plugin* p, const char* api, bool isFloating) {
        P* self = usable(p);
        if (!self || isFloating || !apiMatches(api) || self->gui.created)
            return false;
        self->gui.created = true;
        return true;
    }

    static void CLAP_CALL destroy(const clap_plugin* p) {
        if (P* self = usable(p)) {
            closeClapPanel(self->guiHost(), self->gui);
            self->releasePanel();
            self->gui.created = false;
            self->gui.parent = nullptr;
            self->gui.scale = 1.0;
        }
    }

    // The panel draws at 1 to 4 times its size, from images drawn at twice
    // the resolution above 1; other scales are refused and the last one stays.
    static bool CLAP_CALL setScale(const clap_plugin* p, double scale) {
        P* self = usable(p);
        if (!self || !corvex::isPanelScale(scale))
            return false;
        if (self->gui.panel && !self->gui.panel->setScale(scale))
            return false;
        self->gui.scale = scale;
        return true;
    }

    static bool CLAP_CALL getSize(const clap_plugin* p, uint32_t* width, uint32_t* height) {
        P* self = usable(p);
        if (!self || !width || !height)
            return false;
        *width = corvex::scaledPanelSide(P::kEditorWidth, self->gui.scale);
        *height = corvex::scaledPanelSide(P::kEditorHeight, self->gui.scale);
        return true;
    }

    static bool CLAP_CALL canResize(const clap_plugin*) { return false; }
    static bool CLAP_CALL getResizeHints(const clap_plugin*, clap_gui_resize_hints*) { return false; }
    static bool CLAP_CALL adjustSize(const clap_plugin*, uint32_t*, uint32_t*) { return false; }

    static bool CLAP_CALL setSize(const clap_plugin* p, uint32_t width, uint32_t height) {
        uint32_t w = 0, h = 0;
        return getSize(p, &w, &h) && w == width && h == height;
    }

    static bool CLAP_CALL setParent(const clap_plugin* p, const clap_window* window) {
        P* self = usable(p);
        if (!self || !self->gui.created || !window || !apiMatches(window->api))
            return false;
#if defined(_WIN32)
        void* parent = window->win32;
#else
        void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
        if (!parent)
            return false;
        closeClapPanel(self->guiHost(), self->gui);
        self->gui.parent = parent;
        return openPanel(*self);
    }

    static bool CLAP_CALL setTransient(const clap_plugin*, const clap_window*) {
        return false;  // embedded only
    }

    static void CLAP_CALL suggestTitle(const clap_plugin*, const char*) {}

    static bool CLAP_CALL show(const clap_plugin* p) {
        P* self = usable(p);
        return self && openPanel(*self);
    }

    static bool CLAP_CALL hide(const clap_plugin* p) {
        P* self = usable(p);
        if (!self || !self->gui.created)
            return false;
        closeClapPanel(self->guiHost(), self->gui);
        return true;
    }

    // The host's timer.
    static void CLAP_CALL onTimer(const clap_plugin* p, clap_id timer) {
        P* self = P::from(p);
        if (self && self->gui.open && self->gui.panel && timer == self->gui.timer)
            self->idlePanel();
    }

    // The X connection has something to read.
    static void CLAP_CALL onFd(const clap_plugin* p, int fd, uint32_t) {
        P* self = P::from(p);
        if (self && self->gui.open && self->gui.panel && fd == self->gui.fd)
            self->idlePanel();
    }

    static constexpr clap_plugin_gui gui = {isApiSupported, getPreferredApi, create,         destroy,    setScale,
                                            getSize,        canResize,       getResizeHints, adjustSize, setSize,
                                            setParent,      setTransient,    suggestTitle,   show,       hide};
    static constexpr clap_plugin_timer_support timerSupport = {onTimer};
    static constexpr clap_plugin_posix_fd_support posixFdSupport = {onFd};
};
