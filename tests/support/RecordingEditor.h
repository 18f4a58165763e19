// An editor test double: attaches itself to the effect like a real editor
// and records what the effect and the dispatcher ask of it.
#pragma once

#include <utility>
#include <vector>

#include "shell/AEffEditor.h"
#include "shell/AudioEffect.h"

class RecordingEditor : public AEffEditor {
public:
    explicit RecordingEditor(AudioEffect* effect, int* destroyedCount = nullptr)
        : AEffEditor(effect), destroyedCount(destroyedCount) {
        // Takes the place of the effect's own editor.
        delete effect->getEditor();
        effect->setEditor(this);
    }
    ~RecordingEditor() override {
        if (destroyedCount)
            ++*destroyedCount;
    }

    void setParameter(VstInt32 index, float value) override { parameterCalls.emplace_back(index, value); }
    bool open(void* ptr) override {
        AEffEditor::open(ptr);
        openedWith.push_back(ptr);
        return openAnswer;
    }
    void close() override {
        AEffEditor::close();
        ++closeCount;
    }
    void idle() override { ++idleCount; }
    bool onKeyDown(VstKeyCode& key) override {
        keysDown.push_back(key);
        return keyAnswer;
    }
    bool onKeyUp(VstKeyCode& key) override {
        keysUp.push_back(key);
        return keyAnswer;
    }
    bool setKnobMode(VstInt32 mode) override {
        knobModes.push_back(mode);
        return true;
    }

    std::vector<std::pair<VstInt32, float>> parameterCalls;
    std::vector<void*> openedWith;
    std::vector<VstKeyCode> keysDown;
    std::vector<VstKeyCode> keysUp;
    std::vector<VstInt32> knobModes;
    int closeCount = 0;
    int idleCount = 0;
    bool openAnswer = true;
    bool keyAnswer = true;

private:
    int* destroyedCount;
};
