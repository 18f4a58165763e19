#include "editor/AEffGUIEditor.h"

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/ScaledDrawing.h"
#include "gui/platform/Platform.h"
#include "shell/AudioEffectX.h"

VstInt32 AEffGUIEditor::knobMode = 0;

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect), rect{0, 0, 0, 0}, deviceRect{0, 0, 0, 0} {
    nextIdleTime = VSTGUI::platform().getTicks();
    // The VST 2.4 host tells no scale unless it sends the content-scale
    // call: the screen's own setting is the hint, read on first use.
    hintPending = true;
    if (effect)
        effect->setEditor(this);
    VSTGUI::platform().oleInitialize();
}

AEffGUIEditor::AEffGUIEditor(corvex::ParameterPort& port)
    : AEffEditor(nullptr), rect{0, 0, 0, 0}, deviceRect{0, 0, 0, 0}, port(&port) {
    nextIdleTime = VSTGUI::platform().getTicks();
    VSTGUI::platform().oleInitialize();
}

AEffGUIEditor::~AEffGUIEditor() {
    // A host that deletes the effect with the editor still open: the frame
    // and its window must not outlive the editor they call.
    if (frame) {
        VSTGUI::CFrame* open = frame;
        frame = nullptr;
        open->forget();
    }
    VSTGUI::platform().oleUninitialize();
    if (effect && effect->getEditor() == this)
        effect->setEditor(nullptr);
}

bool AEffGUIEditor::getRect(ERect** out) {
    if (!out)
        return false;
    using VSTGUI::scaling::toDevice;
    getScaleFactor();  // the desktop's hint, once
    deviceRect.left = static_cast<int16_t>(toDevice(rect.left, scaleFactor));
    deviceRect.top = static_cast<int16_t>(toDevice(rect.top, scaleFactor));
    deviceRect.right = static_cast<int16_t>(toDevice(rect.right, scaleFactor));
    deviceRect.bottom = static_cast<int16_t>(toDevice(rect.bottom, scaleFactor));
    *out = &deviceRect;
    return true;
}

double AEffGUIEditor::getScaleFactor() const {
    if (hintPending) {
        hintPending = false;
        const double hint = VSTGUI::platform().screenScaleHint();
        if (VSTGUI::scaling::isUsableScale(hint))
            scaleFactor = hint;
    }
    return scaleFactor;
}

bool AEffGUIEditor::setContentScale(float scale) {
    if (!setScaleFactor(scale))
        return false;
    hostSetScale = true;
    return true;
}

void AEffGUIEditor::screenScaleChanged(double scale) {
    // Formats with a parameter port hear of scales from their host only.
    if (effect && !hostSetScale)
        setScaleFactor(scale);
}

bool AEffGUIEditor::setScaleFactor(double scale) {
    if (!VSTGUI::scaling::isUsableScale(scale))
        return false;
    hintPending = false;  // a scale set outright replaces the hint
    if (scale == scaleFactor)
        return true;
    if (frame && !frame->setScaleFactor(scale))
        return false;
    scaleFactor = scale;
    // A VST 2.4 host sizes its window to the editor's rectangle: ask it to
    // follow an open editor.
    if (frame) {
        if (auto* effectX = dynamic_cast<AudioEffectX*>(effect)) {
            char capability[] = "sizeWindow";
            ERect* r = nullptr;
            if (getRect(&r) && effectX->canHostDo(capability) > 0)
                effectX->sizeWindow(r->right - r->left, r->bottom - r->top);
        }
    }
    return true;
}

void AEffGUIEditor::idle() {
    if (inIdle)
        return;
    if (!pumping) {
        // A press handled here runs its drag loop inside processEvents; the
        // idle calls of that loop must not pump again.
        pumping = true;
        VSTGUI::platform().processEvents();
        pumping = false;
    }
    if (frame)
        frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
    return frame ? frame->onKeyDown(keyCode) == 1 : false;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
    return frame ? frame->onKeyUp(keyCode) == 1 : false;
}

bool AEffGUIEditor::onWheel(float distance) {
    if (!frame)
        return false;
    VSTGUI::CDrawContext* context = new VSTGUI::CDrawContext(frame->getWindow(), frame);
    VSTGUI::CPoint where;
    frame->getCurrentLocation(where);
    const bool handled = frame->onWheel(context, where, distance);
    context->forget();
    return handled;
}

bool AEffGUIEditor::setKnobMode(VstInt32 val) {
    knobMode = val;
    return true;
}

void AEffGUIEditor::beginEdit(VstInt32 index) {
    if (port)
        port->beginGesture(index);
    else
        AEffEditor::beginEdit(index);
}

void AEffGUIEditor::endEdit(VstInt32 index) {
    if (port)
        port->endGesture(index);
    else
        AEffEditor::endEdit(index);
}

void AEffGUIEditor::runIdle() {
    VSTGUI::Platform& layer = VSTGUI::platform();
    // Tick arithmetic is unsigned 32-bit throughout, as the tick count is.
    uint32_t now = layer.getTicks();
    if (now < nextIdleTime) {
        layer.sleep(4);
        now += 4;
        if (now < nextIdleTime - 50u)
            return;
    }
    idle();
    layer.dispatchOnePaint();
    nextIdleTime = now + 100u;
    inIdle = true;
    if (effect)
        effect->masterIdle();
    else if (port)
        port->idleHost();
    inIdle = false;
}

VSTGUI::int32 AEffGUIEditor::getKnobMode() const {
    return knobMode;
}

bool AEffGUIEditor::sizeWindow(VSTGUI::int32 width, VSTGUI::int32 height) {
    auto* effectX = dynamic_cast<AudioEffectX*>(effect);
    if (!effectX)
        return false;
    char capability[] = "sizeWindow";
    using VSTGUI::scaling::toDevice;
    if (effectX->canHostDo(capability) <= 0 ||
        !effectX->sizeWindow(toDevice(width, scaleFactor), toDevice(height, scaleFactor)))
        return false;
    rect.right = static_cast<int16_t>(rect.left + width);
    rect.bottom = static_cast<int16_t>(rect.top + height);
    return true;
}
