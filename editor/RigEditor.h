// RigEditor: the rig's panel. The head's panel (SDEditor, bound to the same
// port) with the rig strip below it: gate threshold and its lamp, cabinet
// on/off, the cabinet's name with previous/next, a button to load an
// impulse, the trim, input and output peak meters, the program's name with
// previous/next, and one line for the last impulse refused. A file dropped
// anywhere on the panel is loaded as the impulse.
//
// Threads: everything on the UI thread; the desktop's file chooser is a
// child process whose answer the idle reads without blocking.
#pragma once

#include <memory>
#include <string>

#include "editor/RigPort.h"
#include "editor/SDEditor.h"

namespace VSTGUI {
class CView;
}

namespace corvex {

class RigStrip;
struct ChooserResult;

class RigEditor : public SDEditor {
public:
    static constexpr int kStripHeight = RigEditorStripHeight;

    explicit RigEditor(RigPort& port);
    ~RigEditor() override;

    // UI thread: the head's catch-up, then the strip's meters, lamp and names.
    void idle() override;
    // UI thread: the strip's knobs go to the port; the head's to SDEditor.
    void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;

    // UI thread: loads `path` as the impulse and shows the outcome in the
    // strip ("Loaded ..." or the refusal's one line). Also the drop's path.
    bool loadImpulse(const std::string& path);
    // UI thread: opens the desktop's file chooser (zenity, else kdialog) as
    // a child process whose answer the idle reads without waiting; without
    // either, a message in the strip. On Windows the system's open-file
    // dialog. False when none could be started or it was cancelled.
    bool chooseImpulse();
    // The strip's message line.
    const std::string& message() const { return statusLine; }
    RigStrip* strip() const { return stripView; }
    RigPort& rigPort() { return rig; }
    void setMessage(const std::string& text);

protected:
    VSTGUI::CFrame* makeFrame(const VSTGUI::CRect& size, void* parentWindow) override;
    void openExtras(VSTGUI::CFrame* frame) override;
    void closeExtras() override;

private:
    void pollChooser();  // UI thread, at idle: the chooser's answer, if any
    void stopChooser();  // UI thread: ends a chooser still open (the panel closes)

    RigPort& rig;
    RigStrip* stripView = nullptr;
    VSTGUI::CControl* rigKnobs[2] = {};  // gate threshold, trim
    static constexpr int kSeenParameters = kRigPortCabinetTrim + 1;
    float seen[kSeenParameters] = {};  // the stored values the controls last took
    std::string statusLine;
    std::shared_ptr<ChooserResult> chooser;  // the file chooser open, if any
};

}  // namespace corvex
