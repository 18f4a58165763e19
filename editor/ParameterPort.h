// ParameterPort: what the front panel needs of the plug-in it belongs to,
// and nothing of any plug-in format. Each format implements it over its
// engine (the VST 2.4 build over its effect). The panel calls it on the UI
// thread only; the format tells the panel of values stored elsewhere by
// calling the panel's parameterChanged (any thread, see SDEditor.h).
#pragma once

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

}  // namespace corvex
