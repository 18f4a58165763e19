#include "shell/AEffEditor.h"

#include "shell/AudioEffectX.h"

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect), parentWindow(nullptr) {}

AEffEditor::~AEffEditor() = default;

AudioEffect* AEffEditor::getEffect() {
    return effect;
}

bool AEffEditor::getRect(ERect** rect) {
    if (rect)
        *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* ptr) {
    parentWindow = ptr;
    return false;
}

void AEffEditor::close() {
    parentWindow = nullptr;
}

bool AEffEditor::isOpen() {
    return parentWindow != nullptr;
}

void AEffEditor::idle() {}

bool AEffEditor::onKeyDown(VstKeyCode&) {
    return false;
}

bool AEffEditor::onKeyUp(VstKeyCode&) {
    return false;
}

bool AEffEditor::onWheel(float) {
    return false;
}

bool AEffEditor::setKnobMode(VstInt32) {
    return false;
}

void AEffEditor::setParameter(VstInt32, float) {}

void AEffEditor::beginEdit(VstInt32 index) {
    // Begin and end edit belong to the extended interface; an effect
    // without it has no host gesture to report.
    if (auto* effectX = dynamic_cast<AudioEffectX*>(effect))
        effectX->beginEdit(index);
}

void AEffEditor::endEdit(VstInt32 index) {
    if (auto* effectX = dynamic_cast<AudioEffectX*>(effect))
        effectX->endEdit(index);
}

void AEffEditor::runIdle() {}

bool AEffEditor::setContentScale(float) {
    return false;
}
