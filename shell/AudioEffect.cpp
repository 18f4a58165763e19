#include "shell/AudioEffect.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/TextConversion.h"

namespace {

// The record's function slots. Each finds the instance through the record's
// `object` field; a null record or object answers 0 and does nothing.

AudioEffect* instanceOf(AEffect* effect) {
    return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

VstIntPtr VSTCALLBACK dispatchTrampoline(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt) {
    AudioEffect* instance = instanceOf(effect);
    if (!instance)
        return 0;
    if (opcode == effClose) {
        instance->dispatcher(opcode, index, value, ptr, opt);
        delete instance;
        return 1;
    }
    return instance->dispatcher(opcode, index, value, ptr, opt);
}

void VSTCALLBACK processTrampoline(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* instance = instanceOf(effect))
        instance->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processReplacingTrampoline(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* instance = instanceOf(effect))
        instance->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK processDoubleReplacingTrampoline(AEffect* effect, double** inputs, double** outputs,
                                                  VstInt32 sampleFrames) {
    if (AudioEffect* instance = instanceOf(effect))
        instance->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK setParameterTrampoline(AEffect* effect, VstInt32 index, float value) {
    if (AudioEffect* instance = instanceOf(effect))
        instance->setParameter(index, value);
}

float VSTCALLBACK getParameterTrampoline(AEffect* effect, VstInt32 index) {
    AudioEffect* instance = instanceOf(effect);
    return instance ? instance->getParameter(index) : 0.0f;
}

// Sizes and counts arrive in pointer-sized values; anything outside the
// 32-bit range of the interface is refused rather than truncated.
bool fitsInt32(VstIntPtr value) {
    const long long wide = value;
    return wide >= INT32_MIN && wide <= INT32_MAX;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchTrampoline;
    cEffect.process = processTrampoline;
    cEffect.setParameter = setParameterTrampoline;
    cEffect.getParameter = getParameterTrampoline;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingTrampoline;
    cEffect.processDoubleReplacing = processDoubleReplacingTrampoline;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            if (value >= 0 && value < numPrograms)
                setProgram(static_cast<VstInt32>(value));
            return 0;
        case effGetProgram:
            return getProgram();
        case effSetProgramName:
            if (ptr)
                setProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetProgramName:
            if (ptr)
                getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            if (ptr)
                getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            if (ptr)
                getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            if (ptr)
                getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case effSetSampleRate:
            // A rate that is not a positive finite number would poison every
            // design computed from it; the current rate is kept instead.
            if (std::isfinite(opt) && opt > 0.0f)
                setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            if (value > 0 && fitsInt32(value))
                setBlockSize(static_cast<VstInt32>(value));
            return 0;
        case effMainsChanged:
            if (value == 0)
                suspend();
            else
                resume();
            return 0;
        case effEditGetRect:
            if (editor && ptr)
                return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
            return 0;
        case effEditOpen:
            if (editor)
                return editor->open(ptr) ? 1 : 0;
            return 0;
        case effEditClose:
            if (editor)
                editor->close();
            return 0;
        case effEditIdle:
            if (editor)
                editor->idle();
            return 0;
        case effIdentify:
            return vstFourCC('N', 'v', 'E', 'f');
        case effGetChunk:
            if (!ptr)
                return 0;
            return getChunk(static_cast<void**>(ptr), index != 0);
        case effSetChunk:
            // The size travels in a pointer-sized value: anything that does not
            // fit the 32-bit size of the interface is refused before truncation.
            if (!ptr || value < 0 || !fitsInt32(value))
                return 0;
            return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
        default:
            // effGetVu, effEditDraw/Mouse/Key/Top/Sleep and every unknown opcode.
            return 0;
    }
}

void AudioEffect::setSampleRate(float newSampleRate) {
    sampleRate = newSampleRate;
}

void AudioEffect::setBlockSize(VstInt32 newBlockSize) {
    blockSize = newBlockSize;
}

void AudioEffect::processDoubleReplacing(double**, double**, VstInt32) {}

void AudioEffect::setParameter(VstInt32, float) {}

float AudioEffect::getParameter(VstInt32) {
    return 0.0f;
}

VstIntPtr AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    return callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getProgram() {
    return curProgram;
}

void AudioEffect::setProgram(VstInt32 program) {
    curProgram = program;
}

void AudioEffect::setProgramName(char*) {}

void AudioEffect::getProgramName(char* name) {
    if (name)
        *name = 0;
}

void AudioEffect::getParameterLabel(VstInt32, char* label) {
    if (label)
        *label = 0;
}

void AudioEffect::getParameterDisplay(VstInt32, char* text) {
    if (text)
        *text = 0;
}

void AudioEffect::getParameterName(VstInt32, char* text) {
    if (text)
        *text = 0;
}

VstInt32 AudioEffect::getChunk(void**, bool) {
    return 0;
}

VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) {
    return 0;
}

void AudioEffect::setUniqueID(VstInt32 iD) {
    cEffect.uniqueID = iD;
}

void AudioEffect::setNumInputs(VstInt32 inputs) {
    cEffect.numInputs = inputs;
}

void AudioEffect::setNumOutputs(VstInt32 outputs) {
    cEffect.numOutputs = outputs;
}

void AudioEffect::canProcessReplacing(bool state) {
    setFlag(effFlagsCanReplacing, state);
}

void AudioEffect::canDoubleReplacing(bool state) {
    setFlag(effFlagsCanDoubleReplacing, state);
}

void AudioEffect::programsAreChunks(bool state) {
    setFlag(effFlagsProgramChunks, state);
}

void AudioEffect::setInitialDelay(VstInt32 delay) {
    cEffect.initialDelay = delay;
}

AEffEditor* AudioEffect::getEditor() {
    return editor;
}

AEffect* AudioEffect::getAeffect() {
    return &cEffect;
}

float AudioEffect::getSampleRate() {
    return sampleRate;
}

VstInt32 AudioEffect::getBlockSize() {
    return blockSize;
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr version = callHost(audioMasterVersion);
    return version == 0 ? 1 : static_cast<VstInt32>(version);
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    corvex::dB2string(value, text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    corvex::Hz2string(samples, getSampleRate(), text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    corvex::ms2string(samples, getSampleRate(), text, maxLen);
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    corvex::float2string(value, text, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    corvex::int2string(value, text, maxLen);
}

void AudioEffect::process(float**, float**, VstInt32) {}

float AudioEffect::getVu() {
    return 0.0f;
}

void AudioEffect::hasVu(bool state) {
    setFlag(effFlagsHasVu, state);
}

void AudioEffect::hasClip(bool state) {
    setFlag(effFlagsHasClip, state);
}

void AudioEffect::canMono(bool state) {
    setFlag(effFlagsCanMono, state);
}

void AudioEffect::setRealtimeQualities(VstInt32 qualities) {
    cEffect.realQualities = qualities;
}

void AudioEffect::setOfflineQualities(VstInt32 qualities) {
    cEffect.offQualities = qualities;
}

bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}
