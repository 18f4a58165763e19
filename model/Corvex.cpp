#include "model/Corvex.h"

#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/TextConversion.h"

namespace {

constexpr std::size_t kEffectNameLength = 32;
constexpr std::size_t kVendorStringLength = 64;
constexpr std::size_t kProgramNameLength = sizeof(CorvexProgram::name);

using corvex::AmpEngine;
using corvex::kParameterTable;

bool isParameter(VstInt32 index) {
    return AmpEngine::isParameter(index);
}

}  // namespace

Corvex::Corvex(audioMasterCallback audioMaster, EditorFactory makeEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    // The engine starts with program 0 applied and the amp designed at
    // 44100 Hz; from now on every value it stores reaches the editor.
    engine.setListener(this);

    // What the host is told about the effect.
    canProcessReplacing(true);
    programsAreChunks(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(vstFourCC('C', 'R', 'V', 'X'));

    // The editor, after the parameters so that it opens on their values. It
    // attaches itself (editor member and has-editor flag) from its
    // constructor; when it cannot be allocated the effect runs without one
    // and the flag stays clear.
    if (makeEditor) {
        try {
            makeEditor(this);
        } catch (...) {
            setEditor(nullptr);  // the editor's own images could not be allocated
        }
    }

    // The resume step's MIDI request: Corvex is no synth and can do nothing,
    // so no request goes out.
    resume();
}

void Corvex::parameterChanged(int index, float value) {
    if (editor)
        editor->setParameter(index, value);
}

void Corvex::setParameter(VstInt32 index, float value) {
    if (isParameter(index)) {
        // The engine tells the editor of each value it stores (the eight a
        // Channel switch re-applies before the switch itself).
        engine.setParameter(index, value);
    } else if (editor) {
        // The editor hears of every index, even those that store nothing.
        editor->setParameter(index, value);
    }
}

float Corvex::getParameter(VstInt32 index) {
    return isParameter(index) ? parameter(index) : 0.0f;
}

void Corvex::getParameterName(VstInt32 index, char* text) {
    // Whole names (up to 11 characters), not cut to 8.
    if (text && isParameter(index))
        std::strcpy(text, kParameterTable[index].name);
}

void Corvex::getParameterDisplay(VstInt32 index, char* text) {
    if (!text || !isParameter(index))
        return;
    if (kParameterTable[index].display == corvex::DisplayKind::decibels)
        dB2string(parameter(index), text, 8);
    else
        float2string(parameter(index), text, 8);
}

void Corvex::getParameterLabel(VstInt32 index, char* label) {
    if (!label || !isParameter(index))
        return;
    // A parameter without a unit gets an empty label rather than whatever
    // the host's buffer held.
    std::strcpy(label, kParameterTable[index].label);
}

void Corvex::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram = program;
    engine.selectProgram(program);
}

void Corvex::setProgramName(char* name) {
    engine.renameProgram(name);
}

void Corvex::getProgramName(char* name) {
    // 25 bytes: a full 24-character name has no zero of its own.
    corvex::copyString(name, programs[curProgram].name, kProgramNameLength);
}

bool Corvex::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (!text || index < 0 || index >= kNumPrograms)
        return false;
    corvex::copyString(text, programs[index].name, kProgramNameLength);
    return true;
}

VstInt32 Corvex::getChunk(void** data, bool isPreset) {
    if (!data)
        return 0;
    if (isPreset) {
        *data = &programs[curProgram];
        return static_cast<VstInt32>(kProgramChunkSize);
    }
    *data = programs;
    return static_cast<VstInt32>(kBankChunkSize);
}

VstInt32 Corvex::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!data || byteSize < 0)
        return 0;
    return engine.loadChunk(data, static_cast<std::size_t>(byteSize), isPreset) ? 1 : 0;
}

bool Corvex::getEffectName(char* name) {
    if (!name)
        return false;
    corvex::copyString(name, AmpEngine::effectName(), kEffectNameLength);
    return true;
}

bool Corvex::getVendorString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, AmpEngine::vendorName(), kVendorStringLength);
    return true;
}

bool Corvex::getProductString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, AmpEngine::effectName(), kVendorStringLength);
    return true;
}

VstInt32 Corvex::getVendorVersion() {
    return AmpEngine::vendorVersion();
}
