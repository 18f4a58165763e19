// The VST3 face under what a host (or a damaged session) may hand it: state
// streams of arbitrary bytes that arrive in arbitrary pieces, and blocks
// whose parameter changes carry arbitrary ids, sample offsets (in any
// order, outside the block) and values (NaN, infinities, out of range),
// with arbitrary block sizes, null buffers and silence flags.
//
// What it is held to: no crash; a refused state changes nothing (the state
// saved afterwards is the one saved before); the output of finite input is
// finite; every value the controller shows is within 0..1.
//
// Input: byte 0 chooses state (even) or blocks (odd); the rest is the
// stream (its first byte the piece size) or a list of 12-byte changes
// (id, offset, value as float bits) preceded by the block size and flags.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "FuzzHost.h"
#include "vst3/Vst3Abi.h"

extern "C" v3::IPluginFactory* GetPluginFactory();

namespace {

using namespace v3;
using fuzzhost::check;

// A stream over the fuzz bytes, handing out at most `piece` at a time.
class Stream final : public IBStream {
public:
    Stream(const uint8_t* data, size_t size, int32 piece) : bytes(data), length(size), limit(piece) {}
    std::vector<unsigned char> written;
    tresult V3_CALL queryInterface(const TUID, void** obj) override {
        if (obj)
            *obj = nullptr;
        return kNoInterface;
    }
    uint32 V3_CALL addRef() override { return 1; }
    uint32 V3_CALL release() override { return 1; }
    tresult V3_CALL read(void* buffer, int32 n, int32* got) override {
        const size_t left = length - position;
        const size_t take = std::min<size_t>({left, static_cast<size_t>(n < 0 ? 0 : n), static_cast<size_t>(limit)});
        if (take)
            std::memcpy(buffer, bytes + position, take);
        position += take;
        if (got)
            *got = static_cast<int32>(take);
        return kResultOk;
    }
    tresult V3_CALL write(void* buffer, int32 n, int32* wrote) override {
        const auto* b = static_cast<const unsigned char*>(buffer);
        written.insert(written.end(), b, b + n);
        if (wrote)
            *wrote = n;
        return kResultOk;
    }
    tresult V3_CALL seek(int64, int32, int64*) override { return kResultFalse; }
    tresult V3_CALL tell(int64* pos) override {
        if (pos)
            *pos = static_cast<int64>(position);
        return kResultOk;
    }

private:
    const uint8_t* bytes;
    size_t length;
    size_t position = 0;
    int32 limit;
};

class Queue final : public IParamValueQueue {
public:
    ParamID id = 0;
    std::vector<std::pair<int32, double>> points;
    tresult V3_CALL queryInterface(const TUID, void** obj) override {
        if (obj)
            *obj = nullptr;
        return kNoInterface;
    }
    uint32 V3_CALL addRef() override { return 1; }
    uint32 V3_CALL release() override { return 1; }
    ParamID V3_CALL getParameterId() override { return id; }
    int32 V3_CALL getPointCount() override { return static_cast<int32>(points.size()); }
    tresult V3_CALL getPoint(int32 i, int32& offset, ParamValue& value) override {
        if (i < 0 || i >= getPointCount())
            return kInvalidArgument;
        offset = points[static_cast<size_t>(i)].first;
        value = points[static_cast<size_t>(i)].second;
        return kResultOk;
    }
    tresult V3_CALL addPoint(int32 offset, ParamValue value, int32& index) override {
        index = getPointCount();
        points.push_back({offset, value});
        return kResultOk;
    }
};

class Changes final : public IParameterChanges {
public:
    std::vector<Queue> queues;
    tresult V3_CALL queryInterface(const TUID, void** obj) override {
        if (obj)
            *obj = nullptr;
        return kNoInterface;
    }
    uint32 V3_CALL addRef() override { return 1; }
    uint32 V3_CALL release() override { return 1; }
    int32 V3_CALL getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* V3_CALL getParameterData(int32 i) override {
        return i >= 0 && i < getParameterCount() ? &queues[static_cast<size_t>(i)] : nullptr;
    }
    IParamValueQueue* V3_CALL addParameterData(const ParamID& id, int32& index) override {
        for (size_t i = 0; i < queues.size(); ++i)
            if (queues[i].id == id) {
                index = static_cast<int32>(i);
                return &queues[i];
            }
        if (queues.size() >= 64)
            return nullptr;
        queues.emplace_back();
        queues.back().id = id;
        index = static_cast<int32>(queues.size() - 1);
        return &queues.back();
    }
};

struct Instance {
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    Instance() {
        IPluginFactory* factory = GetPluginFactory();
        PClassInfo info{};
        check(factory->getClassInfo(0, &info) == kResultOk, "class info");
        void* obj = nullptr;
        check(factory->createInstance(info.cid, iid::IComponent.bytes, &obj) == kResultOk, "created");
        component = static_cast<IComponent*>(obj);
        component->initialize(nullptr);
        component->queryInterface(iid::IAudioProcessor.bytes, &obj);
        processor = static_cast<IAudioProcessor*>(obj);
        component->queryInterface(iid::IEditController.bytes, &obj);
        controller = static_cast<IEditController*>(obj);
        ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
        check(processor->setupProcessing(setup) == kResultOk, "setup");
        component->setActive(1);
        processor->setProcessing(1);
    }
};

Instance& instance() {
    static Instance* one = new Instance();  // lives for the whole run
    return *one;
}

std::vector<unsigned char> saved(IComponent* component) {
    Stream out(nullptr, 0, 1);
    check(component->getState(&out) == kResultOk, "a state is saved");
    return out.written;
}

uint32_t word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    Instance& one = instance();
    if ((data[0] & 1) == 0) {
        const std::vector<unsigned char> before = saved(one.component);
        Stream in(data + 2, size - 2, data[1] ? data[1] : 1);
        if (one.component->setState(&in) != kResultOk)
            check(saved(one.component) == before, "a refused state changes nothing");
    } else {
        const int32 frames = static_cast<int32>(data[1]) * 4;  // 0 .. 1020, past the announced 512
        const uint8_t flags = size > 2 ? data[2] : 0;
        Changes changes;
        for (size_t at = 3; at + 12 <= size; at += 12) {
            int32 index = 0;
            IParamValueQueue* q = changes.addParameterData(word(data + at) % 20, index);
            if (q)
                q->addPoint(static_cast<int32>(word(data + at + 4)) % 2048, fuzzhost::floatFromBits(word(data + at + 8)),
                            index);
        }
        std::vector<float> l(1024, 0.25f), r(1024, -0.25f), ol(1024), orr(1024);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        AudioBusBuffers inBus{}, outBus{};
        inBus.numChannels = (flags & 1) ? 1 : 2;
        inBus.silenceFlags = (flags >> 1) & 3;
        inBus.channelBuffers32 = (flags & 8) ? nullptr : in;
        outBus.numChannels = 2;
        outBus.channelBuffers32 = (flags & 16) ? nullptr : out;
        ProcessData block{};
        block.symbolicSampleSize = kSample32;
        block.numSamples = frames;
        block.numInputs = block.numOutputs = 1;
        block.inputs = &inBus;
        block.outputs = (flags & 32) ? nullptr : &outBus;
        block.inputParameterChanges = &changes;
        Changes sent;
        block.outputParameterChanges = &sent;
        check(one.processor->process(block) == kResultOk, "a block is processed");
        if (!(flags & 16) && !(flags & 32))
            for (int32 i = 0; i < frames; ++i)
                check(std::isfinite(ol[static_cast<size_t>(i)]) && std::isfinite(orr[static_cast<size_t>(i)]),
                      "finite in, finite out");
    }
    for (ParamID id = 0; id < 15; ++id) {
        const double v = one.controller->getParamNormalized(id);
        check(v >= 0.0 && v <= 1.0, "shown values stay within 0..1");
    }
    return 0;
}
