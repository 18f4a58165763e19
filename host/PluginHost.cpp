#include "host/PluginHost.h"

#include <cctype>
#include <cstring>

namespace {

constexpr size_t textSize = 256;  // generous: some plug-ins write past the published limits
constexpr VstIntPtr hostVstVersion = 2400;
constexpr VstIntPtr processLevelUser = 1;
constexpr VstIntPtr processLevelRealtime = 2;
constexpr VstIntPtr processLevelOffline = 4;
constexpr VstIntPtr languageEnglish = 1;

// The host that is loading a plug-in right now: the entry point may call back
// before the record exists, so the record's resvd1 cannot lead to it yet.
PluginHost* loadingHost = nullptr;

PluginHost* hostOf(AEffect* effect) {
    if (effect != nullptr && effect->resvd1 != 0)
        return reinterpret_cast<PluginHost*>(effect->resvd1);
    return loadingHost;
}

void copyText(void* ptr, const char* text, size_t limit) {
    if (ptr == nullptr)
        return;
    std::strncpy(static_cast<char*>(ptr), text, limit - 1);
    static_cast<char*>(ptr)[limit - 1] = 0;
}

// The host callback. Any thread, the audio thread included: it answers from
// plain values, allocates nothing, locks nothing and logs nothing.
VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/, void* ptr,
                                   float /*opt*/) {
    PluginHost* host = hostOf(effect);
    switch (opcode) {
        case audioMasterVersion:
            return hostVstVersion;
        case audioMasterCurrentId:
            return effect != nullptr ? effect->uniqueID : 0;
        case audioMasterGetSampleRate:
            return host != nullptr ? (VstIntPtr)host->hostSampleRate() : 0;
        case audioMasterGetBlockSize:
            return host != nullptr ? (VstIntPtr)host->hostBlockSize() : 0;
        case audioMasterGetCurrentProcessLevel:
            if (host == nullptr || !host->isResumed())
                return processLevelUser;
            return host->isRealtime() ? processLevelRealtime : processLevelOffline;
        case audioMasterGetAutomationState:
            return 1;  // automation off
        case audioMasterWillReplaceOrAccumulate:
            return 1;  // replacing
        case audioMasterGetLanguage:
            return languageEnglish;
        case audioMasterGetVendorString:
            copyText(ptr, "Ardex Plugins", 64);
            return 1;
        case audioMasterGetProductString:
            copyText(ptr, "corvex-render", 64);
            return 1;
        case audioMasterGetVendorVersion:
            return 1000;
        default:
            // Automation, idle, edit brackets, window requests, time info and
            // every capability query: nothing to do for a command-line render.
            return 0;
    }
}

std::string lowered(const std::string& s) {
    std::string out;
    for (char c : s)
        out += (char)std::tolower((unsigned char)c);
    return out;
}

std::string trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string alphanumeric(const std::string& s) {
    std::string out;
    for (char c : s)
        if (std::isalnum((unsigned char)c))
            out += (char)std::tolower((unsigned char)c);
    return out;
}

}  // namespace

PluginHost::PluginHost() = default;

PluginHost::~PluginHost() {
    close();
}

bool PluginHost::load(const std::string& path, std::string& error) {
    std::string loaderError;
    if (!library.open(path, loaderError)) {
        error = "cannot load plug-in " + path + ": " + loaderError;
        return false;
    }
    corvex::PluginEntryProc pluginMain = library.entry();
    if (pluginMain == nullptr) {
        error = "not a VST 2 plug-in: " + path + " exports neither VSTPluginMain nor main";
        library.close();
        return false;
    }
    loadingHost = this;
    AEffect* created = pluginMain(hostCallback);
    loadingHost = nullptr;
    if (created == nullptr) {
        error = "the plug-in " + path + " refused to start (its entry point returned no instance)";
        library.close();
        return false;
    }
    if (created->magic != kEffectMagic || created->dispatcher == nullptr) {
        // Not a record we can talk to; leave it alone rather than call into it.
        error = "the plug-in " + path + " returned an invalid record (no 'VstP' magic)";
        library.close();
        return false;
    }
    if (created->numInputs < 0 || created->numOutputs < 1 || created->numInputs > 64 || created->numOutputs > 64 ||
        created->numParams < 0 || created->numPrograms < 0) {
        aeffect = created;
        error = "the plug-in " + path + " declares an unusable layout (" + std::to_string(created->numInputs) +
                " inputs, " + std::to_string(created->numOutputs) + " outputs)";
        close();
        return false;
    }
    aeffect = created;
    aeffect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    dispatch(effOpen);
    return true;
}

void PluginHost::close() {
    if (aeffect != nullptr) {
        if (resumed)
            suspend();
        // effClose deletes the instance; the record is gone afterwards.
        dispatch(effClose);
        aeffect = nullptr;
    }
    library.close();
}

VstIntPtr PluginHost::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return aeffect->dispatcher(aeffect, opcode, index, value, ptr, opt);
}

void PluginHost::setSampleRate(double rate) {
    sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, (float)rate);
}

void PluginHost::setBlockSize(int frames) {
    blockSize = frames;
    dispatch(effSetBlockSize, 0, frames);
}

void PluginHost::resume() {
    if (resumed)
        return;
    dispatch(effMainsChanged, 0, 1);
    dispatch(effStartProcess);
    resumed = true;
}

void PluginHost::suspend() {
    if (!resumed)
        return;
    dispatch(effStopProcess);
    dispatch(effMainsChanged, 0, 0);
    resumed = false;
}

std::string PluginHost::text(VstInt32 opcode, VstInt32 index) {
    // Zero-filled: a plug-in may leave the buffer as it found it.
    char buffer[textSize] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[textSize - 1] = 0;
    return trimmed(buffer);
}

std::string PluginHost::effectName() {
    return text(effGetEffectName, 0);
}
std::string PluginHost::vendorString() {
    return text(effGetVendorString, 0);
}
std::string PluginHost::productString() {
    return text(effGetProductString, 0);
}
int32_t PluginHost::vendorVersion() {
    return (int32_t)dispatch(effGetVendorVersion);
}
int32_t PluginHost::vstVersion() {
    return (int32_t)dispatch(effGetVstVersion);
}
std::string PluginHost::parameterName(int index) {
    return text(effGetParamName, index);
}
std::string PluginHost::parameterDisplay(int index) {
    return text(effGetParamDisplay, index);
}
std::string PluginHost::parameterLabel(int index) {
    return text(effGetParamLabel, index);
}

float PluginHost::getParameter(int index) {
    return aeffect->getParameter(aeffect, index);
}

void PluginHost::setParameter(int index, float value) {
    aeffect->setParameter(aeffect, index, value);
}

int PluginHost::currentProgram() {
    return (int)dispatch(effGetProgram);
}

void PluginHost::setProgram(int index) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, index);
    dispatch(effEndSetProgram);
}

std::string PluginHost::programName() {
    return text(effGetProgramName, 0);
}

void PluginHost::setProgramName(const std::string& name) {
    char buffer[textSize] = {};
    std::strncpy(buffer, name.c_str(), 24);  // the published program-name limit
    dispatch(effSetProgramName, 0, 0, buffer);
}

std::string PluginHost::programNameIndexed(int index) {
    char buffer[textSize] = {};
    if (dispatch(effGetProgramNameIndexed, index, -1, buffer) != 0) {
        buffer[textSize - 1] = 0;
        return trimmed(buffer);
    }
    int current = currentProgram();
    setProgram(index);
    std::string name = programName();
    setProgram(current);
    return name;
}

bool PluginHost::getChunk(bool program, std::vector<uint8_t>& bytes) {
    void* data = nullptr;
    VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr)
        return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.assign(p, p + size);  // the plug-in's own storage: copy it at once
    return true;
}

bool PluginHost::setChunk(bool program, const std::vector<uint8_t>& bytes) {
    // Some plug-ins keep the pointer while reading: hand them a private copy.
    std::vector<uint8_t> copy(bytes);
    if (program)
        dispatch(effBeginSetProgram);
    VstIntPtr answer = dispatch(effSetChunk, program ? 1 : 0, (VstIntPtr)copy.size(), copy.data());
    if (program)
        dispatch(effEndSetProgram);
    return answer != 0;
}

int PluginHost::findParameter(const std::string& key, std::string& error) {
    std::string wanted = trimmed(key);
    if (wanted.empty()) {
        error = "empty parameter name";
        return -1;
    }
    if (wanted.find_first_not_of("0123456789") == std::string::npos) {
        long index = wanted.size() > 9 ? -1 : std::stol(wanted);
        if (index < 0 || index >= numParams()) {
            error = "parameter index " + wanted + " is out of range (the plug-in has " + std::to_string(numParams()) +
                    " parameters, 0 to " + std::to_string(numParams() - 1) + ")";
            return -1;
        }
        return (int)index;
    }
    std::string exact = lowered(wanted);
    std::string loose = alphanumeric(wanted);
    int looseMatch = -1, looseCount = 0;
    for (int i = 0; i < numParams(); i++) {
        std::string name = parameterName(i);
        if (lowered(name) == exact)
            return i;
        if (!loose.empty() && alphanumeric(name) == loose) {
            looseMatch = i;
            looseCount++;
        }
    }
    if (looseCount == 1)
        return looseMatch;
    std::string names;
    for (int i = 0; i < numParams(); i++)
        names += (i ? ", \"" : "\"") + parameterName(i) + "\"";
    error = (looseCount > 1 ? "ambiguous parameter name \"" : "unknown parameter \"") + wanted +
            "\"; the plug-in's parameters are " + names;
    return -1;
}

void PluginHost::process(float** inputs, float** outputs, int frames) {
    if ((aeffect->flags & effFlagsCanReplacing) != 0 && aeffect->processReplacing != nullptr) {
        aeffect->processReplacing(aeffect, inputs, outputs, frames);
        return;
    }
    for (int c = 0; c < aeffect->numOutputs; c++)
        std::memset(outputs[c], 0, sizeof(float) * (size_t)frames);
    if (aeffect->process != nullptr)
        aeffect->process(aeffect, inputs, outputs, frames);
}
