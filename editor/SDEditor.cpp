#include "editor/SDEditor.h"

#include <thread>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "model/ParameterTable.h"
#include "shell/AudioEffect.h"

using namespace VSTGUI;

namespace {

// Resource ids of the editor's images.
constexpr int32 kPanelImage = 128;
constexpr int32 kKnobImage = 1;
constexpr int32 kToggleImage = 3;
constexpr int32 kLampImage = 4;
constexpr int32 kSlideImage = 5;
constexpr int32 kMixKnobImage = 6;

constexpr int32 kKnobFrames = 63;

// The image of each kind of control (the panel's controls, their places and
// their order are in model/ParameterTable.h).
int32 imageOf(corvex::ControlKind kind) {
    switch (kind) {
        case corvex::ControlKind::knob:
            return kKnobImage;
        case corvex::ControlKind::mixKnob:
            return kMixKnobImage;
        case corvex::ControlKind::toggle:
            return kToggleImage;
        case corvex::ControlKind::lamp:
            return kLampImage;
        case corvex::ControlKind::slide:
            return kSlideImage;
    }
    return kKnobImage;
}

static_assert(SDEditor::kNumControls == corvex::kNumParameters, "one control per parameter");

}  // namespace

SDEditor::SDEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
    background = new CBitmap(kPanelImage);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(background->getHeight());
    rect.right = static_cast<int16_t>(background->getWidth());
}

SDEditor::SDEditor(corvex::ParameterPort& port) : AEffGUIEditor(port) {
    background = new CBitmap(kPanelImage);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(background->getHeight());
    rect.right = static_cast<int16_t>(background->getWidth());
}

float SDEditor::storedValue(int32 tag) const {
    if (port)
        return port->get(tag);
    return effect ? effect->getParameter(tag) : 0.f;
}

SDEditor::~SDEditor() {
    close();
    if (background)
        background->forget();
    background = nullptr;
}

void SDEditor::lockControls() {
    // A setParameter in progress on another thread holds it for a moment.
    while (controlsBusy.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
}

void SDEditor::unlockControls() {
    controlsBusy.store(false, std::memory_order_release);
}

bool SDEditor::open(void* ptr) {
    // The host opens a closed editor; a second open rebuilds from scratch.
    close();
    lockControls();
    AEffEditor::open(ptr);

    CFrame* newFrame = makeFrame(CRect(0, 0, rect.right, rect.bottom), ptr);
    newFrame->setBackground(background);

    // Image 1 is shared by the eight plain knobs; every other control loads
    // its own image. Each control holds its image; ours are dropped once the
    // controls have theirs, so the images go with the frame.
    CBitmap* knobImage = nullptr;
    for (const int32 tag : corvex::kControlOrder) {
        const corvex::ParameterInfo& place = corvex::kParameterTable[tag];
        const int32 imageId = imageOf(place.control);
        CBitmap* image = nullptr;
        if (imageId == kKnobImage) {
            if (!knobImage)
                knobImage = new CBitmap(kKnobImage);
            image = knobImage;
        } else {
            image = new CBitmap(imageId);
        }

        CControl* control = nullptr;
        if (corvex::isKnob(place.control)) {
            const int32 frameHeight = image->getHeight() / kKnobFrames;
            const CRect size(place.left, place.top, place.left + image->getWidth(), place.top + frameHeight);
            control = new CAnimKnob(size, this, tag, kKnobFrames, frameHeight, image, CPoint(0, 0));
        } else {
            const CRect size(place.left, place.top, place.left + image->getWidth(), place.top + image->getHeight() / 2);
            control = new COnOffButton(size, this, tag, image, COnOffButton::kPostListenerUpdate);
        }
        control->setValue(storedValue(tag));
        newFrame->addView(control);  // the frame releases it (and our reference) when destroyed
        controls[tag] = control;

        if (image != knobImage)
            image->forget();
    }
    if (knobImage)
        knobImage->forget();

    openExtras(newFrame);
    frame = newFrame;
    unlockControls();
    return true;
}

CFrame* SDEditor::makeFrame(const CRect& size, void* parentWindow) {
    return new CFrame(size, parentWindow, this);
}

void SDEditor::close() {
    if (frame)
        closeExtras();
    lockControls();
    CFrame* closing = frame;
    frame = nullptr;
    for (CControl*& control : controls)
        control = nullptr;
    unlockControls();
    if (!closing)
        return;
    // Removes and releases every control (and so the control images) and
    // destroys the frame's window. A press being handled holds the frame
    // until it returns. No other thread can reach the controls any more.
    closing->forget();
}

bool SDEditor::setKnobMode(VstInt32) {
    return AEffGUIEditor::setKnobMode(2);  // linear, whatever the host asks
}

void SDEditor::setParameter(VstInt32 index, float) {
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(kNumControls))
        return;
    if (controlsBusy.exchange(true, std::memory_order_acquire)) {
        // The UI thread is building or tearing down the controls.
        controlsStale.store(true, std::memory_order_relaxed);
        return;
    }
    // The control shows the value as the effect stored it, not the one the
    // host passed; it is found dirty and redrawn at the next idle.
    if (frame && controls[index] && (effect || port))
        controls[index]->setValue(storedValue(index));
    unlockControls();
}

void SDEditor::idle() {
    if (frame && (effect || port) && controlsStale.exchange(false, std::memory_order_relaxed)) {
        for (int32 tag = 0; tag < kNumControls; ++tag)
            if (controls[tag])
                controls[tag]->setValue(storedValue(tag));
    }
    AEffGUIEditor::idle();
}

void SDEditor::valueChanged(CDrawContext*, CControl* control) {
    if (!control)
        return;
    const int32 tag = control->getTag();
    if (tag < 0 || tag >= kNumControls)
        return;
    // Comes back through the effect's setter into setParameter above; a
    // port stores it its own way and tells the panel when it is stored.
    if (effect)
        effect->setParameterAutomated(tag, control->getValue());
    else if (port)
        port->set(tag, control->getValue());
    control->setDirty(true);
}

CControl* SDEditor::getControl(int32 tag) const {
    if (!frame || tag < 0 || tag >= kNumControls)
        return nullptr;
    return controls[tag];
}
