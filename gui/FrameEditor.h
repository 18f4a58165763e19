// What a frame needs of the editor that owns it. The plug-in's editor base
// (AEffGUIEditor) implements it; tests use small fakes.
#pragma once

#include "gui/VSTGUITypes.h"

namespace VSTGUI {

class FrameEditor {
public:
    virtual ~FrameEditor() = default;

    // The user starts / stops changing the parameter `index` (one host
    // automation gesture). UI thread.
    virtual void beginEdit(int32 index) = 0;
    virtual void endEdit(int32 index) = 0;
    // Paced idle while the mouse is held: redraws, dispatches a paint,
    // lets the host idle. UI thread.
    virtual void runIdle() = 0;
    // The knob mode the host asked for (0 circular, 1 relative circular,
    // 2 linear). Knobs here always drag linearly.
    virtual int32 getKnobMode() const = 0;
    // Asks the host to resize its editor window to width x height; true when
    // the host can do "sizeWindow" and accepted. UI thread.
    // The screen scale the frame should show at when it opens (1 = the
    // images' own pixels). UI thread.
    virtual double getScaleFactor() const { return 1.0; }
    // The window system says the frame's screen scale changed; the editor
    // decides (and the frame follows through setScaleFactor). UI thread.
    virtual void screenScaleChanged(double scale) { (void)scale; }
    virtual bool sizeWindow(int32 width, int32 height) {
        (void)width;
        (void)height;
        return false;
    }
};

}  // namespace VSTGUI
