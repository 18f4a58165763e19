// AEffEditor: the base of the effect's editor. The dispatcher reaches the
// editor only through these virtual operations; the base answers "no editor
// here" (false, null) and remembers the host's parent window.
#pragma once

#include "shell/vst2.h"

class AudioEffect;

class AEffEditor {
public:
    // The editor does not attach itself: a derived editor calls
    // effect->setEditor(this) from its constructor when it is ready.
    explicit AEffEditor(AudioEffect* effect);
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // The virtual operations, in slot order.
    virtual ~AEffEditor();

    virtual AudioEffect* getEffect();
    // UI thread: stores the editor's rectangle (null here) and says whether
    // there is one.
    virtual bool getRect(ERect** rect);
    // UI thread: remembers the host's window; the base builds nothing.
    virtual bool open(void* ptr);
    virtual void close();  // UI thread
    virtual bool isOpen();
    virtual void idle();                          // UI thread
    virtual bool onKeyDown(VstKeyCode& keyCode);  // UI thread
    virtual bool onKeyUp(VstKeyCode& keyCode);    // UI thread
    virtual bool onWheel(float distance);         // UI thread
    virtual bool setKnobMode(VstInt32 val);       // UI thread
    // Any thread: the effect reports a parameter value it has stored.
    virtual void setParameter(VstInt32 index, float value);
    // UI thread: a control starts or ends a gesture; forwarded to the
    // effect, which tells the host.
    virtual void beginEdit(VstInt32 index);
    virtual void endEdit(VstInt32 index);
    // UI thread: paced idle while the mouse is held; nothing in the base.
    virtual void runIdle();
    // UI thread: the host's content scale for the editor (2 = twice the
    // pixels). The base shows no scale: false.
    virtual bool setContentScale(float scale);

protected:
    AudioEffect* effect;
    void* parentWindow;
};
