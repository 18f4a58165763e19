// What the plug-in answers by itself: the dispatcher that decodes each
// extended opcode into a virtual call, and the defaults a subclass overrides.
// The plug-in's calls to its host are in AudioEffectXHost.cpp.
#include "shell/AudioEffectX.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/TextConversion.h"

namespace {

// The key record of the two key opcodes: the character travels in index,
// the virtual key in the low byte of value, the modifiers in opt.
VstKeyCode makeKeyCode(VstInt32 index, VstIntPtr value, float opt) {
    VstKeyCode key;
    key.character = index;
    key.virt = static_cast<unsigned char>(value & 0xFF);
    // Truncated toward zero; a NaN or an out-of-range float has no integer
    // value and counts as no modifier.
    int modifiers = 0;
    if (opt > -2147483648.0f && opt < 2147483648.0f)
        modifiers = static_cast<int>(opt);
    key.modifier = static_cast<unsigned char>(modifiers & 0xFF);
    return key;
}

// Head (type, numChannels) and one 112-byte entry per speaker.
constexpr std::size_t kArrangementHead = 2 * sizeof(VstInt32);

}  // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
        case effProcessEvents:
            return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
        case effCanBeAutomated:
            return canParameterBeAutomated(index) ? 1 : 0;
        case effString2Parameter:
            return ptr && string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProgramNameIndexed:
            return ptr && getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr)) ? 1 : 0;
        case effGetInputProperties:
            return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetOutputProperties:
            return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
        case effGetPlugCategory:
            return getPlugCategory();
        case effOfflineNotify:
            return ptr && offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<VstInt32>(value), index != 0) ? 1
                                                                                                                   : 0;
        case effOfflinePrepare:
            return ptr && offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
        case effOfflineRun:
            return ptr && offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
        case effProcessVarIo:
            return ptr && processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
        case effSetSpeakerArrangement:
            return value != 0 && ptr &&
                           setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                                 static_cast<VstSpeakerArrangement*>(ptr))
                       ? 1
                       : 0;
        case effSetBypass:
            return setBypass(value != 0) ? 1 : 0;
        case effGetEffectName:
            return ptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorString:
            return ptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetProductString:
            return ptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
        case effGetVendorVersion:
            return getVendorVersion();
        case effVendorSpecific:
            return vendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return ptr ? canDo(static_cast<char*>(ptr)) : 0;
        case effGetTailSize:
            return getGetTailSize();
        case effGetParameterProperties:
            return ptr && getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
        case effGetVstVersion:
            return getVstVersion();
        case effEditKeyDown:
            if (editor) {
                VstKeyCode key = makeKeyCode(index, value, opt);
                return editor->onKeyDown(key) ? 1 : 0;
            }
            return 0;
        case effEditKeyUp:
            if (editor) {
                VstKeyCode key = makeKeyCode(index, value, opt);
                return editor->onKeyUp(key) ? 1 : 0;
            }
            return 0;
        case effSetEditKnobMode:
            return editor && editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
        case effGetMidiProgramName:
            return ptr ? getMidiProgramName(index, static_cast<MidiProgramName*>(ptr)) : 0;
        case effGetCurrentMidiProgram:
            // -1 is the interface's "no current MIDI program"; without a record
            // to fill the answer is the same.
            return ptr ? getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr)) : -1;
        case effGetMidiProgramCategory:
            return ptr ? getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr)) : 0;
        case effHasMidiProgramsChanged:
            return hasMidiProgramsChanged(index) ? 1 : 0;
        case effGetMidiKeyName:
            return ptr && getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
        case effBeginSetProgram:
            return beginSetProgram() ? 1 : 0;
        case effEndSetProgram:
            return endSetProgram() ? 1 : 0;
        case effGetSpeakerArrangement:
            // Both pointers are written through; with either missing nothing is.
            if (value == 0 || !ptr)
                return 0;
            return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                         static_cast<VstSpeakerArrangement**>(ptr))
                       ? 1
                       : 0;
        case effShellGetNextPlugin:
            return ptr ? getNextShellPlugin(static_cast<char*>(ptr)) : 0;
        case effStartProcess:
            return startProcess();
        case effStopProcess:
            return stopProcess();
        case effSetTotalSampleToProcess:
            return setTotalSampleToProcess(static_cast<VstInt32>(value));
        case effSetPanLaw:
            return setPanLaw(static_cast<VstInt32>(value), opt) ? 1 : 0;
        case effBeginLoadBank:
            return ptr ? beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr)) : 0;
        case effBeginLoadProgram:
            return ptr ? beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr)) : 0;
        case effSetProcessPrecision:
            return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
        case effGetNumMidiInputChannels:
            return getNumMidiInputChannels();
        case effGetNumMidiOutputChannels:
            return getNumMidiOutputChannels();
        default:
            // Everything below 25, above 79, and 28, 30-32, 36, 37, 43, 46,
            // 53-55 and 57.
            return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    char receiveMidi[] = "receiveVstMidiEvent";
    if ((cEffect.flags & effFlagsIsSynth) != 0 || canDo(receiveMidi) == 1)
        wantEvents(1);
}

bool AudioEffectX::canParameterBeAutomated(VstInt32) {
    return true;
}

bool AudioEffectX::string2parameter(VstInt32, char*) {
    return false;
}

bool AudioEffectX::getParameterProperties(VstInt32, VstParameterProperties*) {
    return false;
}

bool AudioEffectX::getProgramNameIndexed(VstInt32, VstInt32, char*) {
    return false;
}

bool AudioEffectX::beginSetProgram() {
    return false;
}

bool AudioEffectX::endSetProgram() {
    return false;
}

VstInt32 AudioEffectX::beginLoadBank(VstPatchChunkInfo*) {
    return 0;
}

VstInt32 AudioEffectX::beginLoadProgram(VstPatchChunkInfo*) {
    return 0;
}

bool AudioEffectX::getInputProperties(VstInt32, VstPinProperties*) {
    return false;
}

bool AudioEffectX::getOutputProperties(VstInt32, VstPinProperties*) {
    return false;
}

bool AudioEffectX::setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) {
    return false;
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput) {
    if (pluginInput)
        *pluginInput = nullptr;
    if (pluginOutput)
        *pluginOutput = nullptr;
    return false;
}

bool AudioEffectX::setBypass(bool) {
    return false;
}

bool AudioEffectX::setPanLaw(VstInt32, float) {
    return false;
}

bool AudioEffectX::setProcessPrecision(VstInt32) {
    return false;
}

VstInt32 AudioEffectX::getNumMidiInputChannels() {
    return 0;
}

VstInt32 AudioEffectX::getNumMidiOutputChannels() {
    return 0;
}

VstInt32 AudioEffectX::processEvents(VstEvents*) {
    return 0;
}

VstInt32 AudioEffectX::startProcess() {
    return 0;
}

VstInt32 AudioEffectX::stopProcess() {
    return 0;
}

bool AudioEffectX::processVariableIo(VstVariableIo*) {
    return false;
}

VstInt32 AudioEffectX::setTotalSampleToProcess(VstInt32 value) {
    return value;
}

void AudioEffectX::isSynth(bool state) {
    setFlag(effFlagsIsSynth, state);
}

void AudioEffectX::noTail(bool state) {
    setFlag(effFlagsNoSoundInStop, state);
}

VstInt32 AudioEffectX::getGetTailSize() {
    return 0;
}

bool AudioEffectX::getEffectName(char*) {
    return false;
}

bool AudioEffectX::getVendorString(char*) {
    return false;
}

bool AudioEffectX::getProductString(char*) {
    return false;
}

VstInt32 AudioEffectX::getVendorVersion() {
    return 0;
}

// The vendor-specific call by which hosts tell an editor its content scale:
// index 'PreS', value 'AeCs', the scale in the float argument. Answers 1 when
// the editor took it.
VstIntPtr AudioEffectX::vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void*, float floatArg) {
    constexpr VstInt32 kPresonusId = 0x50726553;     // 'PreS'
    constexpr VstIntPtr kContentScale = 0x41654373;  // 'AeCs'
    if (lArg == kPresonusId && lArg2 == kContentScale && editor)
        return editor->setContentScale(floatArg) ? 1 : 0;
    return 0;
}

VstInt32 AudioEffectX::canDo(char*) {
    return 0;
}

VstInt32 AudioEffectX::getVstVersion() {
    return 2400;
}

VstInt32 AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? 2 : 0;
}

VstInt32 AudioEffectX::getMidiProgramName(VstInt32, MidiProgramName*) {
    return 0;
}

VstInt32 AudioEffectX::getCurrentMidiProgram(VstInt32, MidiProgramName*) {
    return -1;
}

VstInt32 AudioEffectX::getMidiProgramCategory(VstInt32, MidiProgramCategory*) {
    return 0;
}

bool AudioEffectX::hasMidiProgramsChanged(VstInt32) {
    return false;
}

bool AudioEffectX::getMidiKeyName(VstInt32, MidiKeyName*) {
    return false;
}

VstInt32 AudioEffectX::getNextShellPlugin(char*) {
    return 0;
}

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
    if (!arrangement)
        return false;
    if (*arrangement) {
        std::free(*arrangement);
        *arrangement = nullptr;
    }
    const std::size_t maxChannels = (SIZE_MAX - kArrangementHead) / sizeof(VstSpeakerProperties);
    if (nbChannels < 0 || static_cast<std::size_t>(nbChannels) > maxChannels)
        return false;
    const std::size_t size = kArrangementHead + sizeof(VstSpeakerProperties) * static_cast<std::size_t>(nbChannels);
    void* memory = std::calloc(1, size);
    if (!memory)
        return false;
    *arrangement = static_cast<VstSpeakerArrangement*>(memory);
    (*arrangement)->numChannels = nbChannels;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (!arrangement)
        return false;
    std::free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (!to || !from)
        return false;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    corvex::copyString(to->name, from->name, sizeof(to->name) - 1);
    to->type = from->type;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    if (!to || !from)
        return false;
    // Matching an arrangement with itself would free the source first.
    if (*to == from)
        return true;
    const VstInt32 channels = from->numChannels;
    if (!allocateArrangement(to, channels))
        return false;
    (*to)->type = from->type;
    // The entries run past the declared array; indexing goes through plain
    // pointers so that no fixed bound is assumed.
    VstSpeakerProperties* target = (*to)->speakers;
    VstSpeakerProperties* source = from->speakers;
    for (VstInt32 i = 0; i < channels; ++i)
        copySpeaker(target + i, source + i);
    return true;
}

bool AudioEffectX::offlineNotify(VstAudioFile*, VstInt32, bool) {
    return false;
}

bool AudioEffectX::offlinePrepare(VstOfflineTask*, VstInt32) {
    return false;
}

bool AudioEffectX::offlineRun(VstOfflineTask*, VstInt32) {
    return false;
}

VstInt32 AudioEffectX::offlineGetNumPasses() {
    return 0;
}

VstInt32 AudioEffectX::offlineGetNumMetaPasses() {
    return 0;
}

VstInt32 AudioEffectX::getNumCategories() {
    return 1;
}

bool AudioEffectX::copyProgram(VstInt32) {
    return false;
}

void AudioEffectX::inputConnected(VstInt32, bool) {}

void AudioEffectX::outputConnected(VstInt32, bool) {}

void AudioEffectX::wantAsyncOperation(bool state) {
    setFlag(effFlagsExtIsAsync, state);
}

void AudioEffectX::hasExternalBuffer(bool state) {
    setFlag(effFlagsExtHasBuffer, state);
}

VstInt32 AudioEffectX::reportCurrentPosition() {
    return 0;
}

float* AudioEffectX::reportDestinationBuffer() {
    return nullptr;
}

void AudioEffectX::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate) {
    blockSize = newBlockSize;
    sampleRate = newSampleRate;
}

bool AudioEffectX::getErrorText(char*) {
    return false;
}

void* AudioEffectX::getIcon() {
    return nullptr;
}

bool AudioEffectX::setViewPosition(VstInt32, VstInt32) {
    return false;
}

VstInt32 AudioEffectX::fxIdle() {
    return 0;
}

bool AudioEffectX::keysRequired() {
    return false;
}
