// SDEditor: the amp's front panel. Nine film-strip knobs and four switches
// over the panel image, one control per parameter, bound both ways: a
// control moved by the user sets its parameter through the effect (which
// tells the host), and a parameter set by the host moves its control.
#pragma once

#include <atomic>

#include "editor/AEffGUIEditor.h"
#include "gui/CControl.h"
#include "model/ParameterTable.h"

namespace VSTGUI {
class CBitmap;
class CFrame;
}

class SDEditor : public AEffGUIEditor, public VSTGUI::CControlListener {
public:
    static constexpr int kNumControls = corvex::kNumParameters;  // one per parameter; tag = parameter index

    // UI thread (from the effect's constructor). Loads the panel image, whose
    // size is the editor's rectangle.
    explicit SDEditor(AudioEffect* effect);
    // UI thread. The same panel for a plug-in format without an effect
    // object: values are read from and given to `port`.
    explicit SDEditor(corvex::ParameterPort& port);
    ~SDEditor() override;

    // UI thread: builds the frame in the host's window, with every control
    // at its parameter's current value. True.
    bool open(void* ptr) override;
    // UI thread: destroys the frame, its window and its controls.
    void close() override;
    // UI thread: knobs here always drag linearly; stores 2, answers true.
    bool setKnobMode(VstInt32 val) override;
    // Any thread: the effect stored a value; the control of `index` takes the
    // value as the effect stores it, and is redrawn at the next idle. While
    // the UI thread is building or tearing down the controls it leaves them
    // alone and the next idle reads every value again.
    void setParameter(VstInt32 index, float value) override;
    // UI thread: catches up with values set while the controls were busy,
    // then the frame's idle.
    void idle() override;

    // CControlListener. UI thread: the user changed a control.
    void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;

    // The control showing parameter `tag` while open; null otherwise.
    VSTGUI::CControl* getControl(VSTGUI::int32 tag) const;
    VSTGUI::CBitmap* getBackground() const { return background; }

protected:
    // Hooks for a larger panel built on this one (the rig's editor). The
    // frame is made by makeFrame at the editor's rectangle (the panel image
    // plus whatever the derived editor added below it); openExtras adds the
    // derived editor's views before the frame is published, closeExtras runs
    // before the frame is released. UI thread.
    virtual VSTGUI::CFrame* makeFrame(const VSTGUI::CRect& size, void* parentWindow);
    virtual void openExtras(VSTGUI::CFrame*) {}
    virtual void closeExtras() {}

private:
    // The frame and the controls change only on the UI thread, inside
    // lockControls/unlockControls; setParameter, which any thread may call,
    // only tries the same flag and never waits.
    void lockControls();
    void unlockControls();
    // The parameter's value as the plug-in stores it.
    float storedValue(VSTGUI::int32 tag) const;

    VSTGUI::CBitmap* background = nullptr;
    VSTGUI::CControl* controls[kNumControls] = {};
    std::atomic<bool> controlsBusy{false};
    std::atomic<bool> controlsStale{false};  // a value arrived while busy
};
