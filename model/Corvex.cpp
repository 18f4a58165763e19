#include "model/Corvex.h"

#include "CorvexVersion.h"

#include <cstring>

#include "shell/AEffEditor.h"
#include "shell/TextConversion.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

const char kEffectName[] = "Vantor_Corvex_Head_v1_0";
const char kVendorName[] = "Ardex Plugins";
constexpr VstInt32 kVendorVersion = CORVEX_VERSION_NUMBER;
constexpr std::size_t kEffectNameLength = 32;
constexpr std::size_t kVendorStringLength = 64;
constexpr std::size_t kProgramNameLength = sizeof(CorvexProgram::name);

using corvex::kParameterTable;
using corvex::ParameterRole;

// Where each parameter is kept: the program record's float field, and the
// channel's own value for the per-channel parameters (else null).
struct ParameterStorage {
    float CorvexProgram::*programField;
    double ChannelSettings::*channelField;
};

constexpr ParameterStorage kStorage[Corvex::kNumParams] = {
    {&CorvexProgram::input, &ChannelSettings::input},
    {&CorvexProgram::channel, nullptr},
    {&CorvexProgram::drive, &ChannelSettings::drive},
    {&CorvexProgram::mixPls, nullptr},
    {&CorvexProgram::low, &ChannelSettings::low},
    {&CorvexProgram::mid, &ChannelSettings::mid},
    {&CorvexProgram::high, &ChannelSettings::high},
    {&CorvexProgram::contour, &ChannelSettings::contour},
    {&CorvexProgram::powerAmp, &ChannelSettings::powerAmp},
    {&CorvexProgram::volume, &ChannelSettings::volume},
    {&CorvexProgram::monoStereo, nullptr},
    {&CorvexProgram::quality, nullptr},
    {&CorvexProgram::boost, nullptr},
};

// A channel field exactly for the parameters the table calls per-channel.
constexpr bool storageMatchesRoles() {
    for (int i = 0; i < Corvex::kNumParams; ++i) {
        const bool perChannel = kParameterTable[i].role == ParameterRole::perChannel;
        if (perChannel != (kStorage[i].channelField != nullptr))
            return false;
    }
    return true;
}
static_assert(storageMatchesRoles(), "every per-channel parameter, and only those, has a channel field");

bool isParameter(VstInt32 index) {
    return index >= 0 && index < Corvex::kNumParams;
}

// Every program starts as "Init": the default values, both channels at 0.5.
void initProgram(CorvexProgram& program) {
    std::memset(&program, 0, sizeof(program));
    std::memcpy(program.name, "Init", 5);
    for (int i = 0; i < Corvex::kNumParams; ++i)
        program.*kStorage[i].programField = kParameterTable[i].defaultValue;
    for (ChannelSettings& channel : program.channelSettings)
        channel = ChannelSettings{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
}

}  // namespace

Corvex::Corvex(audioMasterCallback audioMaster, EditorFactory makeEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams),
      activeChannel(0),
      stereo(0),
      highQuality(0),
      boost(0),
      driveGain(0.0),
      channelSettings(),
      programs() {
    for (std::atomic<float>& value : parameters)
        value.store(0.0f, kRelaxed);

    // The amp model's records start cleared, so that the design below finds
    // zero histories and coefficients.
    amp.clear();

    // Ten identical "Init" programs.
    for (CorvexProgram& program : programs)
        initProgram(program);

    // Program 0 reaches every parameter through setParameter; this also
    // designs the amp model at the current rate (through "LowQ/HighQ").
    setProgram(0);

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

    // Last, the triode stages at the oversampled rate the program's quality
    // switch chose: their operating points depend on it.
    amp.designStages();
}

CorvexProgram& Corvex::currentProgram() {
    // curProgram only ever holds a valid index (setProgram refuses others).
    return programs[curProgram];
}

void Corvex::setParameter(VstInt32 index, float value) {
    if (isParameter(index)) {
        const ParameterStorage& storage = kStorage[index];
        CorvexProgram& program = currentProgram();
        parameters[index].store(value, kRelaxed);
        program.*storage.programField = value;

        if (kParameterTable[index].role == ParameterRole::perChannel) {
            if (index == kDrive)
                driveGain.store(driveTaper(value), kRelaxed);
            const VstInt32 channel = activeChannel.load(kRelaxed);
            channelSettings[channel].*storage.channelField = value;
            program.channelSettings[channel].*storage.channelField = value;
        } else if (kParameterTable[index].role == ParameterRole::channelSwitch) {
            // Not below 0.5 (NaN included) selects channel 1.
            const VstInt32 channel = value < 0.5f ? 0 : 1;
            activeChannel.store(channel, kRelaxed);
            for (VstInt32 reapplied : corvex::kChannelReapplyOrder)
                setParameter(reapplied, static_cast<float>(channelSettings[channel].*kStorage[reapplied].channelField));
        } else if (index == kMonoStereo) {
            stereo.store(value >= 0.5f ? 1 : 0, kRelaxed);
        } else if (index == kQuality) {
            highQuality.store(value >= 0.5f ? 1 : 0, kRelaxed);
            setSampleRate(sampleRate);
        } else if (index == kBoost) {
            boost.store(value >= 0.5f ? 1 : 0, kRelaxed);
        }
        // kMixPls: stored above, shared by both channels.
    }
    // The editor hears of every index, even those that store nothing.
    if (editor)
        editor->setParameter(index, value);
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
    const CorvexProgram& selected = programs[program];
    channelSettings[0] = selected.channelSettings[0];
    channelSettings[1] = selected.channelSettings[1];
    // The channel switch re-applies that channel's eight values.
    setParameter(kChannel, selected.channel);
    // Copies: setParameter writes into the same record.
    const float mixPls = selected.mixPls;
    const float monoStereo = selected.monoStereo;
    const float quality = selected.quality;
    const float boostValue = selected.boost;
    setParameter(kMixPls, mixPls);
    setParameter(kMonoStereo, monoStereo);
    setParameter(kQuality, quality);
    setParameter(kBoost, boostValue);
}

void Corvex::setProgramName(char* name) {
    if (!name)
        return;
    // At most 24 characters, the rest of the field zero; never beyond it.
    char* field = currentProgram().name;
    std::size_t n = 0;
    for (; n < kProgramNameLength && name[n] != 0; ++n)
        field[n] = name[n];
    for (; n < kProgramNameLength; ++n)
        field[n] = 0;
}

void Corvex::getProgramName(char* name) {
    // 25 bytes: a full 24-character name has no zero of its own.
    corvex::copyString(name, currentProgram().name, kProgramNameLength);
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
        *data = &currentProgram();
        return static_cast<VstInt32>(kProgramChunkSize);
    }
    *data = programs;
    return static_cast<VstInt32>(kBankChunkSize);
}

VstInt32 Corvex::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    const std::size_t expected = isPreset ? kProgramChunkSize : kBankChunkSize;
    if (!data || byteSize < 0 || static_cast<std::size_t>(byteSize) != expected)
        return 0;
    void* target = isPreset ? static_cast<void*>(&currentProgram()) : static_cast<void*>(programs);
    // A host may hand back the very pointer getChunk gave it: memmove.
    std::memmove(target, data, expected);
    setProgram(curProgram);
    return 1;
}

bool Corvex::getEffectName(char* name) {
    if (!name)
        return false;
    corvex::copyString(name, kEffectName, kEffectNameLength);
    return true;
}

bool Corvex::getVendorString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, kVendorName, kVendorStringLength);
    return true;
}

bool Corvex::getProductString(char* text) {
    if (!text)
        return false;
    corvex::copyString(text, kEffectName, kVendorStringLength);
    return true;
}

VstInt32 Corvex::getVendorVersion() {
    return kVendorVersion;
}
