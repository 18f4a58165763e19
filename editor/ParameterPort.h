// ParameterPort: what the front panel needs of the plug-in it belongs to,
// and nothing of any plug-in format. Each format without an effect object
// (CLAP, LV2, VST3) implements it over its engine and opens the panel through
// createPanel below; the VST 2.4 build's editor talks to its effect instead.
// The panel calls the port on the UI thread only; the format tells the panel
// of values stored elsewhere through Panel::parameterChanged.
#pragma once

#include <cstdint>

#include <memory>

#include "model/ParameterTable.h"

namespace corvex {

class ParameterPort {
public:
    virtual ~ParameterPort() = default;

    // UI thread: the parameter's current value.
    virtual float get(int index) const = 0;
    // UI thread: the user moved a control to `value` (0..1). The format
    // stores it (directly or queued) and tells its host.
    virtual void set(int index, float value) = 0;
    // UI thread: a control's gesture starts / ends (a host records one
    // automation gesture in between).
    virtual void beginGesture(int index) = 0;
    virtual void endGesture(int index) = 0;
    // UI thread, during a drag that holds the UI thread: lets the host
    // breathe (a VST 2.4 host's idle call). Nothing by default.
    virtual void idleHost() {}
};

// The front panel as a format sees it: a fixed kPanelWidth x kPanelHeight
// child window in the host's window.
// Screen scales a panel can show (1 = its own pixels, up to 4), and its side
// at a scale: round(side * scale), the rule the toolkit sizes its window by.
constexpr double kMinPanelScale = 1.0;
constexpr double kMaxPanelScale = 4.0;
inline bool isPanelScale(double scale) {
    return scale >= kMinPanelScale && scale <= kMaxPanelScale;  // false for NaN
}
inline uint32_t scaledPanelSide(uint32_t side, double scale) {
    return static_cast<uint32_t>(static_cast<int64_t>(side * scale + 0.5));
}

class Panel {
public:
    virtual ~Panel() = default;
    // UI thread: builds the panel in `parentWindow` (an X11 window id or an
    // HWND), every control at the port's value. False when it cannot.
    virtual bool open(void* parentWindow) = 0;
    // UI thread: removes it again; open may follow.
    virtual void close() = 0;
    // UI thread, regularly (a host timer, or when eventDescriptor is
    // readable): handles the window system's events and redraws.
    virtual void idle() = 0;
    // Any thread: the plug-in stored `value`; the control follows at the
    // next idle.
    virtual void parameterChanged(int index, float value) = 0;
    // The descriptor a host may watch instead of a timer (the X11
    // connection once a panel is open); -1 when there is none.
    virtual int eventDescriptor() const = 0;
    // UI thread: the panel's own child window while open (an X11 window id
    // or an HWND), for formats that hand it to their host; null otherwise.
    virtual void* nativeWindow() const { return nullptr; }
    // UI thread: the screen scale the host draws at (1 = the panel's own
    // pixels, 2 = twice as large and sharp). Taken at once when open, else
    // at the next open. False (and the scale unchanged) for a scale the
    // panel cannot show: below 1, above 4 or not a number.
    virtual bool setScale(double scale) {
        (void)scale;
        return false;
    }
    // The panel's size in the host's pixels at the current scale.
    virtual void size(uint32_t& width, uint32_t& height) const {
        width = 0;
        height = 0;
    }
};

// UI thread: a panel bound to `port`, which must outlive it; null when the
// panel's images cannot be made.
std::unique_ptr<Panel> createPanel(ParameterPort& port);

}  // namespace corvex
