#include "vst3/Vst3Shared.h"

#include <new>

#include "vst3/Vst3Ids.h"

using namespace v3;

namespace corvex {
namespace vst3 {

namespace {
constexpr double kBypassFadeSeconds = 0.01;
}

void toUtf16(const char* text, char16* out, std::size_t capacity) {
    if (!out || capacity == 0)
        return;
    std::size_t i = 0;
    for (; text && i + 1 < capacity && text[i]; ++i)
        out[i] = static_cast<unsigned char>(text[i]);  // our strings are ASCII
    out[i] = 0;
}

bool fromUtf16(const char16* text, char* out, std::size_t capacity) {
    if (!text)
        return false;
    for (std::size_t i = 0; i < capacity; ++i) {
        if (text[i] >= 0x80)
            return false;
        out[i] = static_cast<char>(text[i]);
        if (!text[i])
            return true;
    }
    return false;
}

void copyText(char* to, const char* from, std::size_t capacity) {
    std::strncpy(to, from, capacity - 1);
    to[capacity - 1] = 0;
}

bool readAll(IBStream* stream, std::vector<unsigned char>& bytes, std::size_t limit) {
    bytes.clear();
    unsigned char chunk[4096];
    while (bytes.size() <= limit) {
        int32 got = 0;
        const bool more = stream->read(chunk, static_cast<int32>(sizeof(chunk)), &got) == kResultOk;
        if (got > static_cast<int32>(sizeof(chunk)))
            return false;  // a stream that claims more than it was asked for
        if (got > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        if (!more || got <= 0)
            return bytes.size() <= limit;  // the end (some hosts answer kResultFalse there)
    }
    return false;
}

bool writeAll(IBStream* stream, const unsigned char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        int32 wrote = 0;
        const auto want = static_cast<int32>(std::min<std::size_t>(size - done, 1 << 20));
        if (stream->write(const_cast<unsigned char*>(bytes + done), want, &wrote) != kResultOk || wrote <= 0 ||
            wrote > want)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

ProcessData checkedBuses(const ProcessData& host) {
    ProcessData data = host;
    if (!data.inputs)
        data.numInputs = 0;
    if (!data.outputs)
        data.numOutputs = 0;
    return data;
}

void markSilentOutputs(ProcessData& data) {
    if (data.numOutputs <= 0 || !data.outputs)
        return;
    AudioBusBuffers& out = data.outputs[0];
    uint64 flags = 0;
    if (data.numSamples > 0 && out.channelBuffers32) {
        // Only the bus's two channels: a host's larger count is not trusted.
        for (int32 c = 0; c < out.numChannels && c < 2; ++c) {
            const float* samples = out.channelBuffers32[c];
            if (!samples)
                continue;
            bool zero = true;
            for (int32 i = 0; i < data.numSamples && zero; ++i)
                zero = samples[i] == 0.0f;
            if (zero)
                flags |= uint64(1) << c;
        }
    }
    out.silenceFlags = flags;
}

// ---- AudioPath ----
AudioPath::AudioPath() {
    prepare(44100.0, maxBlock);
}

void AudioPath::prepare(double sampleRate, int32_t maxFrames) {
    maxBlock = std::max<int32_t>(1, maxFrames);
    const std::size_t n = static_cast<std::size_t>(maxBlock);
    for (std::vector<float>* buffer : {&dryL, &dryR, &spareL, &spareR, &zeros})
        buffer->assign(n, 0.0f);
    wetStep = static_cast<float>(1.0 / (kBypassFadeSeconds * sampleRate));
}

tresult AudioPath::busInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) const {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    std::memset(&bus, 0, sizeof(bus));
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = dir == kInput && monoInput ? 1 : 2;
    toUtf16(dir == kInput ? "Input" : "Output", bus.name, 128);
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult AudioPath::arrange(const SpeakerArrangement* inputs, int32 numIns, const SpeakerArrangement* outputs,
                           int32 numOuts) {
    if (!inputs || !outputs || numIns != 1 || numOuts != 1)
        return kResultFalse;
    if (outputs[0] != speaker::kStereo || (inputs[0] != speaker::kStereo && inputs[0] != speaker::kMono))
        return kResultFalse;
    monoInput = inputs[0] == speaker::kMono;
    return kResultTrue;
}

tresult AudioPath::arrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) const {
    if (index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    arr = dir == kInput && monoInput ? speaker::kMono : speaker::kStereo;
    return kResultOk;
}

AudioPath::Channels AudioPath::channelsOf(const ProcessData& data) {
    const AudioBusBuffers* inBus = data.numInputs > 0 ? data.inputs : nullptr;
    const AudioBusBuffers* outBus = data.numOutputs > 0 ? data.outputs : nullptr;
    auto channel = [](const AudioBusBuffers* bus, int c) -> float* {
        if (!bus || !bus->channelBuffers32 || bus->numChannels <= c)
            return nullptr;
        return bus->channelBuffers32[c];
    };
    auto silent = [](const AudioBusBuffers* bus, int c) { return bus && c < 64 && (bus->silenceFlags >> c) & 1u; };
    Channels c;
    c.inL = silent(inBus, 0) ? nullptr : channel(inBus, 0);
    c.inR = silent(inBus, 1) ? nullptr : channel(inBus, 1);
    c.monoFeed = !inBus || inBus->numChannels == 1;
    c.outL = channel(outBus, 0);
    c.outR = channel(outBus, 1);
    return c;
}

void AudioPath::crossfade(float* left, float* right, int32_t frames) {
    const float target = 1.0f - bypassTarget;
    for (int32_t i = 0; i < frames; ++i) {
        if (wet < target)
            wet = std::min(target, wet + wetStep);
        else if (wet > target)
            wet = std::max(target, wet - wetStep);
        const std::size_t k = static_cast<std::size_t>(i);
        left[k] = wet == 0.0f ? dryL[k] : wet * left[k] + (1.0f - wet) * dryL[k];
        right[k] = wet == 0.0f ? dryR[k] : wet * right[k] + (1.0f - wet) * dryR[k];
    }
}

// ---- Factory ----
namespace {
// The fields every kind of class record shares: the one class (index 0),
// many instances of it, an audio effect. False for any other index.
template <class Info>
bool startClassInfo(int32 index, Info* info, const ClassFacts& facts) {
    if (index != 0 || !info)
        return false;
    std::memset(info, 0, sizeof(*info));
    std::memcpy(info->cid, facts.cid.bytes, sizeof(TUID));
    info->cardinality = PClassInfo::kManyInstances;
    copyText(info->category, kAudioEffectClass, sizeof(info->category));
    return true;
}
}  // namespace

tresult Factory::queryInterface(const TUID iidWanted, void** obj) {
    if (!obj)
        return kInvalidArgument;
    if (iid::FUnknown.equals(iidWanted) || iid::IPluginFactory.equals(iidWanted) ||
        iid::IPluginFactory2.equals(iidWanted) || iid::IPluginFactory3.equals(iidWanted)) {
        addRef();
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult Factory::getFactoryInfo(PFactoryInfo* info) {
    if (!info)
        return kInvalidArgument;
    std::memset(info, 0, sizeof(*info));
    copyText(info->vendor, kVendor, sizeof(info->vendor));
    copyText(info->url, kVendorUrl, sizeof(info->url));
    copyText(info->email, kVendorEmail, sizeof(info->email));
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
}

tresult Factory::getClassInfo(int32 index, PClassInfo* info) {
    if (!startClassInfo(index, info, facts))
        return kInvalidArgument;
    copyText(info->name, facts.name, sizeof(info->name));
    return kResultOk;
}

tresult Factory::createInstance(FIDString cid, FIDString iidWanted, void** obj) {
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iidWanted || !facts.cid.equals(cid))
        return kNoInterface;
    FUnknown* instance = facts.create();
    if (!instance)
        return kOutOfMemory;
    // The new object holds one reference; queryInterface adds the caller's,
    // and our own is given up either way.
    const tresult result = instance->queryInterface(iidWanted, obj);
    instance->release();
    return result;
}

tresult Factory::getClassInfo2(int32 index, PClassInfo2* info) {
    if (!startClassInfo(index, info, facts))
        return kInvalidArgument;
    copyText(info->name, facts.name, sizeof(info->name));
    info->classFlags = 0;  // one object: not distributable
    copyText(info->subCategories, facts.subCategories, sizeof(info->subCategories));
    copyText(info->vendor, kVendor, sizeof(info->vendor));
    copyText(info->version, kVersion, sizeof(info->version));
    copyText(info->sdkVersion, kInterfaceVersion, sizeof(info->sdkVersion));
    return kResultOk;
}

tresult Factory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    if (!startClassInfo(index, info, facts))
        return kInvalidArgument;
    toUtf16(facts.name, info->name, 64);
    info->classFlags = 0;
    copyText(info->subCategories, facts.subCategories, sizeof(info->subCategories));
    toUtf16(kVendor, info->vendor, 64);
    toUtf16(kVersion, info->version, 64);
    toUtf16(kInterfaceVersion, info->sdkVersion, 64);
    return kResultOk;
}

}  // namespace vst3
}  // namespace corvex
