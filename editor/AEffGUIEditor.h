// AEffGUIEditor: an editor whose window is a toolkit frame (VSTGUI::CFrame).
// It answers the host's rectangle, key and idle requests through the frame,
// paces redraws and host idle calls while a control tracks the mouse, and is
// the frame's FrameEditor (edit brackets, paced idle, knob mode).
#pragma once

#include "editor/ParameterPort.h"
#include "gui/FrameEditor.h"
#include "shell/AEffEditor.h"

#include <cstdint>

namespace VSTGUI {
class CFrame;
}

class AEffGUIEditor : public AEffEditor, public VSTGUI::FrameEditor {
public:
    // UI thread. Registers itself with the effect (editor reference and
    // has-editor flag) and initialises the platform's OLE services.
    explicit AEffGUIEditor(AudioEffect* effect);
    // UI thread. An editor of a plug-in format without an effect object:
    // gestures, values and host idles go to `port`.
    explicit AEffGUIEditor(corvex::ParameterPort& port);
    // Destroys a frame the host left open, uninitialises OLE and detaches
    // from the effect if still attached.
    ~AEffGUIEditor() override;

    // UI thread: the editor's rectangle in the host's pixels (the 1x size
    // times the screen scale, rounded); true.
    bool getRect(ERect** rect) override;
    // UI thread: the screen scale (1..4); an open frame follows at once.
    // False, and nothing changes, for a scale outside that range.
    bool setScaleFactor(double scale);
    double getScaleFactor() const override;
    // UI thread: the screen's scale changed under the open editor (Windows'
    // per-monitor DPI): taken as setScaleFactor, unless a host set a content
    // scale itself (then the host decides).
    void screenScaleChanged(double scale) override;
    // UI thread: the host's content scale (setScaleFactor).
    bool setContentScale(float scale) override;
    // UI thread (the host's effEditIdle): handles the window layer's pending
    // events, then redraws what is dirty. Nothing while the host's idle
    // callback, called from runIdle, is running.
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;  // UI thread
    bool onKeyUp(VstKeyCode& keyCode) override;    // UI thread
    // UI thread: the wheel at the current mouse position.
    bool onWheel(float distance) override;
    // UI thread: stores the mode process-wide; true.
    bool setKnobMode(VstInt32 val) override;
    // UI thread: a control starts / ends a gesture (forwarded to the effect).
    void beginEdit(VstInt32 index) override;
    void endEdit(VstInt32 index) override;
    // UI thread: called by the frame at every step of a mouse drag. Sleeps a
    // little between steps, and about every 50 ms redraws, dispatches one
    // pending paint and lets the host idle.
    void runIdle() override;

    // FrameEditor
    VSTGUI::int32 getKnobMode() const override;
    bool sizeWindow(VSTGUI::int32 width, VSTGUI::int32 height) override;

    VSTGUI::CFrame* getFrame() const { return frame; }
    uint32_t getNextIdleTime() const { return nextIdleTime; }

    // The host's knob mode (0 circular, 1 relative circular, 2 linear),
    // shared by every editor of the process; 0 at load.
    static VstInt32 knobMode;

protected:
    ERect rect;         // the 1x size
    ERect deviceRect;   // what getRect answers: rect at scaleFactor
    // The VST 2.4 editor reads the desktop's hint on first use on the UI
    // thread (getRect or open), never at the effect's construction.
    mutable double scaleFactor = 1.0;
    mutable bool hintPending = false;
    bool hostSetScale = false;  // a host's content-scale call was taken
    VSTGUI::CFrame* frame = nullptr;
    corvex::ParameterPort* port = nullptr;  // set when there is no effect
    bool inIdle = false;
    bool pumping = false;  // the window layer's events are being handled
    uint32_t nextIdleTime = 0;
};
