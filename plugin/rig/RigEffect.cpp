#include "plugin/rig/RigEffect.h"

#include <cstdio>
#include <cstring>

#include "common/TextConversion.h"
#include "editor/RigEditor.h"

namespace {

using corvex::RigEngine;

constexpr std::size_t kShortText = 8;  // what VST 2.4 hosts make room for
constexpr std::size_t kProgramNameLength = 24;

}  // namespace

RigEffect::RigEffect(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    canProcessReplacing(true);
    programsAreChunks(true);
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(vstFourCC('C', 'V', 'R', 'G'));
    setInitialDelay(rig.latency());
    setEditor(new corvex::RigEditor(port));
}

RigEffect::~RigEffect() {
    AEffEditor* panel = editor;
    setEditor(nullptr);
    delete panel;
}

void RigEffect::EditorPort::programChanged(int program) {
    effect.setProgram(program);
    effect.updateDisplay();
}

void RigEffect::resume() {
    running.store(true);
}

void RigEffect::suspend() {
    running.store(false);
    rig.collect();
}

void RigEffect::applyIfSuspended() {
    if (!running.load())
        rig.flush();
}

void RigEffect::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (!outputs || !outputs[0] || !outputs[1] || sampleFrames <= 0)
        return;
    const float* inL = inputs && inputs[0] ? inputs[0] : nullptr;
    const float* inR = inputs && inputs[1] ? inputs[1] : inL;
    if (!inL) {
        std::memset(outputs[0], 0, sizeof(float) * (std::size_t)sampleFrames);
        std::memset(outputs[1], 0, sizeof(float) * (std::size_t)sampleFrames);
        return;
    }
    rig.process(inL, inR, outputs[0], outputs[1], sampleFrames);
    rig.endBlock();
}

void RigEffect::setSampleRate(float sampleRate) {
    AudioEffectX::setSampleRate(sampleRate);
    rig.setSampleRate(sampleRate);  // a rate the amp cannot take is ignored
    rig.collect();
}

void RigEffect::setParameter(VstInt32 index, float value) {
    rig.post(index, value);
    applyIfSuspended();
}

float RigEffect::getParameter(VstInt32 index) {
    return rig.value(index);
}

void RigEffect::getParameterName(VstInt32 index, char* text) {
    if (text && RigEngine::isParameter(index))
        std::strcpy(text, RigEngine::parameterName(index));  // at most 14 characters
}

void RigEffect::getParameterDisplay(VstInt32 index, char* text) {
    if (!text || !RigEngine::isParameter(index))
        return;
    if (corvex::AmpEngine::isParameter(index)) {
        corvex::AmpEngine::displayText(index, rig.value(index), text, kShortText + 1, false);
        return;
    }
    char full[64];
    RigEngine::displayText(index, rig.value(index), full, sizeof full);
    // The number without its unit (the label carries it), cut to 8.
    if (char* unit = std::strstr(full, " dB"))
        *unit = 0;
    if (char* unit = std::strstr(full, " ms"))
        *unit = 0;
    corvex::copyString(text, full, kShortText);
}

void RigEffect::getParameterLabel(VstInt32 index, char* label) {
    if (!label || !RigEngine::isParameter(index))
        return;
    if (corvex::AmpEngine::isParameter(index)) {
        std::strcpy(label, corvex::AmpEngine::info(index)->label);
        return;
    }
    const bool decibels = index == corvex::kCabinetTrim || index == corvex::kMaster ||
                          (index == corvex::kGateThreshold && rig.value(index) > 0.0f);
    std::strcpy(label, decibels ? "dB" : index == corvex::kGateRelease ? "ms" : "");
}

void RigEffect::setProgram(VstInt32 program) {
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram = program;
    rig.postProgram(program);
    applyIfSuspended();
}

void RigEffect::getProgramName(char* name) {
    if (name)
        rig.programName(curProgram, name, kProgramNameLength + 1);
}

bool RigEffect::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    return text && rig.programName(index, text, kProgramNameLength + 1);
}

VstInt32 RigEffect::getChunk(void** data, bool) {
    if (!data)
        return 0;
    chunk = rig.saveState();
    *data = chunk.data();
    return (VstInt32)chunk.size();
}

VstInt32 RigEffect::setChunk(void* data, VstInt32 byteSize, bool) {
    if (!data || byteSize <= 0)
        return 0;
    if (!rig.loadState(data, (std::size_t)byteSize))
        return 0;
    applyIfSuspended();
    curProgram = rig.currentProgram();
    return 1;
}

bool RigEffect::getEffectName(char* name) {
    if (!name)
        return false;
    corvex::copyString(name, RigEngine::effectName(), 32);
    return true;
}

bool RigEffect::getVendorString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, RigEngine::vendorName(), 64);
    return true;
}

bool RigEffect::getProductString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, RigEngine::effectName(), 64);
    return true;
}

VstInt32 RigEffect::getVendorVersion() {
    return corvex::AmpEngine::vendorVersion();
}
