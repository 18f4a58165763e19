#include "Vst3TestHost.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vst3check {

using namespace v3;

std::string fromUtf16(const char16* text, size_t capacity) {
    std::string out;
    for (size_t i = 0; i < capacity && text[i]; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

void toUtf16(const std::string& text, char16* out, size_t capacity) {
    size_t i = 0;
    for (; i + 1 < capacity && i < text.size(); ++i)
        out[i] = static_cast<unsigned char>(text[i]);
    out[i] = 0;
}

namespace {
template <typename Self>
tresult answer(Self* self, const Uid& own, const TUID iid, void** obj) {
    if (!obj)
        return kInvalidArgument;
    if (iid::FUnknown.equals(iid) || own.equals(iid)) {
        *obj = self;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}
}  // namespace

// ---- MemoryStream ----
tresult MemoryStream::queryInterface(const TUID iid, void** obj) {
    return answer(this, iid::IBStream, iid, obj);
}
tresult MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytes < 0 || (!buffer && numBytes > 0))
        return kInvalidArgument;
    const int64_t left = std::max<int64_t>(0, static_cast<int64_t>(bytes.size()) - position);
    const int32 n = static_cast<int32>(std::min<int64_t>({left, numBytes, chunkLimit}));
    if (n > 0)
        std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(n));
    position += n;
    if (numBytesRead)
        *numBytesRead = n;
    return kResultOk;
}
tresult MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytes < 0 || (!buffer && numBytes > 0))
        return kInvalidArgument;
    if (refuseWrites) {
        if (numBytesWritten)
            *numBytesWritten = 0;
        return kResultFalse;
    }
    const int32 n = std::min(numBytes, chunkLimit);
    if (bytes.size() < static_cast<size_t>(position + n))
        bytes.resize(static_cast<size_t>(position + n));
    std::memcpy(bytes.data() + position, buffer, static_cast<size_t>(n));
    position += n;
    if (numBytesWritten)
        *numBytesWritten = n;
    return kResultOk;
}
tresult MemoryStream::seek(int64 pos, int32 mode, int64* result) {
    int64 base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : static_cast<int64>(bytes.size());
    if (base + pos < 0)
        return kInvalidArgument;
    position = base + pos;
    if (result)
        *result = position;
    return kResultOk;
}
tresult MemoryStream::tell(int64* pos) {
    if (!pos)
        return kInvalidArgument;
    *pos = position;
    return kResultOk;
}

// ---- ValueQueue / ParamChanges ----
tresult ValueQueue::queryInterface(const TUID iid, void** obj) {
    return answer(this, iid::IParamValueQueue, iid, obj);
}
tresult ValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= static_cast<int32>(points.size()))
        return kInvalidArgument;
    sampleOffset = points[static_cast<size_t>(index)].offset;
    value = points[static_cast<size_t>(index)].value;
    return kResultOk;
}
tresult ValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    if (points.size() == points.capacity())
        return kResultFalse;  // full: a host's preallocated queue
    index = static_cast<int32>(points.size());
    points.push_back({sampleOffset, value});
    return kResultOk;
}

ParamChanges::ParamChanges() {
    queues.reserve(64);
    spare.resize(64);
    for (ValueQueue& q : spare)
        q.points.reserve(64);
}
void ParamChanges::add(uint32_t id, int32_t offset, double value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    if (queue)
        queue->addPoint(offset, value, index);
}
void ParamChanges::clear() {
    for (ValueQueue& q : queues) {
        q.points.clear();
        spare.push_back(std::move(q));
    }
    queues.clear();
}
double ParamChanges::last(uint32_t id) const {
    for (const ValueQueue& q : queues)
        if (q.id == id && !q.points.empty())
            return q.points.back().value;
    return -1.0;
}
tresult ParamChanges::queryInterface(const TUID iid, void** obj) {
    return answer(this, iid::IParameterChanges, iid, obj);
}
IParamValueQueue* ParamChanges::getParameterData(int32 index) {
    return index >= 0 && index < static_cast<int32>(queues.size()) ? &queues[static_cast<size_t>(index)] : nullptr;
}
IParamValueQueue* ParamChanges::addParameterData(const ParamID& id, int32& index) {
    for (size_t i = 0; i < queues.size(); ++i) {
        if (queues[i].id == id) {
            index = static_cast<int32>(i);
            return &queues[i];
        }
    }
    if (spare.empty() || queues.size() == queues.capacity())
        return nullptr;  // full, as a host's fixed lists are
    index = static_cast<int32>(queues.size());
    queues.push_back(std::move(spare.back()));
    spare.pop_back();
    queues.back().id = id;
    return &queues.back();
}

// ---- RecordingHandler / HostApplication ----
tresult RecordingHandler::queryInterface(const TUID iid, void** obj) {
    return answer(this, iid::IComponentHandler, iid, obj);
}
tresult RecordingHandler::beginEdit(ParamID id) {
    edits.push_back({'b', id, 0.0});
    return kResultOk;
}
tresult RecordingHandler::performEdit(ParamID id, ParamValue value) {
    edits.push_back({'p', id, value});
    return kResultOk;
}
tresult RecordingHandler::endEdit(ParamID id) {
    edits.push_back({'e', id, 0.0});
    return kResultOk;
}
tresult RecordingHandler::restartComponent(int32 flags) {
    restarts.push_back(flags);
    return kResultOk;
}
tresult HostApplication::queryInterface(const TUID iid, void** obj) {
    return answer(this, iid::IHostApplication, iid, obj);
}
tresult HostApplication::getName(String128 name) {
    toUtf16("vst3-check", name);
    return kResultOk;
}
tresult HostApplication::createInstance(TUID, TUID, void** obj) {
    if (obj)
        *obj = nullptr;
    return kNotImplemented;
}

// ---- the module ----
std::string moduleInBundle(const std::string& bundle) {
    // The module is named as its bundle: Corvex.vst3 holds Corvex.so.
    std::string name = bundle;
    while (!name.empty() && (name.back() == '/' || name.back() == '\\'))
        name.pop_back();
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0)
        name.resize(name.size() - 5);
#if defined(_WIN32) && defined(_WIN64)
    return bundle + "/Contents/x86_64-win/" + name + ".vst3";
#elif defined(_WIN32)
    return bundle + "/Contents/x86-win/" + name + ".vst3";
#else
    return bundle + "/Contents/x86_64-linux/" + name + ".so";
#endif
}

Vst3Module& Vst3Module::shared() {
    static Vst3Module module(CORVEX_VST3_BUNDLE);
    return module;
}

Vst3Module::Vst3Module(const std::string& bundle) {
    const std::string path = moduleInBundle(bundle);
#if defined(_WIN32)
    library = LoadLibraryA(path.c_str());
    auto symbol = [this](const char* name) {
        return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
    };
#else
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto symbol = [this](const char* name) { return library ? dlsym(library, name) : nullptr; };
#endif
    if (!library) {
        problem = "cannot load " + path;
        return;
    }
#if defined(_WIN32)
    auto init = reinterpret_cast<bool (*)()>(symbol("InitDll"));
    if (!init || !init()) {
        problem = "no InitDll, or it failed";
        return;
    }
#else
    auto init = reinterpret_cast<bool (*)(void*)>(symbol("ModuleEntry"));
    if (!init || !init(library)) {
        problem = "no ModuleEntry, or it failed";
        return;
    }
#endif
    auto get = reinterpret_cast<V3GetFactoryProc>(symbol("GetPluginFactory"));
    pluginFactory = get ? get() : nullptr;
    if (!pluginFactory)
        problem = "no GetPluginFactory, or no factory";
}

Vst3Module::~Vst3Module() {
    if (pluginFactory)
        pluginFactory->release();
    if (!library)
        return;
#if defined(_WIN32)
    if (auto exit = reinterpret_cast<bool (*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(library), "ExitDll"))))
        exit();
    FreeLibrary(static_cast<HMODULE>(library));
#else
    if (auto exit = reinterpret_cast<bool (*)()>(dlsym(library, "ModuleExit")))
        exit();
    dlclose(library);
#endif
}

// ---- the host ----
Vst3TestHost::Vst3TestHost() = default;

Vst3TestHost::~Vst3TestHost() {
    if (processing || active)
        stop();
    if (controller) {
        controller->setComponentHandler(nullptr);
        if (separateController)
            controller->terminate();
        controller->release();
    }
    if (processor)
        processor->release();
    if (component) {
        component->terminate();
        component->release();
    }
}

bool Vst3TestHost::create() {
    return create(Vst3Module::shared());
}

bool Vst3TestHost::create(Vst3Module& module) {
    IPluginFactory* factory = module.factory();
    if (!factory) {
        problem = module.error();
        return false;
    }
    // The first audio-module class, as a host picks it from the list.
    PClassInfo info{};
    bool found = false;
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        if (factory->getClassInfo(i, &info) == kResultOk && std::strcmp(info.category, kAudioEffectClass) == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        problem = "no audio module class";
        return false;
    }
    void* obj = nullptr;
    if (factory->createInstance(info.cid, iid::IComponent.bytes, &obj) != kResultOk || !obj) {
        problem = "createInstance(IComponent) failed";
        return false;
    }
    component = static_cast<IComponent*>(obj);
    if (component->initialize(&context) != kResultOk) {
        problem = "initialize failed";
        return false;
    }
    obj = nullptr;
    if (component->queryInterface(iid::IAudioProcessor.bytes, &obj) != kResultOk || !obj) {
        problem = "no IAudioProcessor";
        return false;
    }
    processor = static_cast<IAudioProcessor*>(obj);
    // The controller: its own class when the component names one, else the
    // component itself.
    TUID controllerId{};
    if (component->getControllerClassId(controllerId) == kResultOk) {
        obj = nullptr;
        if (factory->createInstance(controllerId, iid::IEditController.bytes, &obj) == kResultOk && obj) {
            controller = static_cast<IEditController*>(obj);
            separateController = true;
            controller->initialize(&context);
        }
    }
    if (!controller) {
        obj = nullptr;
        if (component->queryInterface(iid::IEditController.bytes, &obj) != kResultOk || !obj) {
            problem = "no edit controller";
            return false;
        }
        controller = static_cast<IEditController*>(obj);
    }
    controller->setComponentHandler(&handler);
    // Hosts hand the component's state to the controller after creation.
    MemoryStream state;
    component->getState(&state);
    state.position = 0;
    controller->setComponentState(&state);
    return true;
}

bool Vst3TestHost::start(double rate, int32_t maxFrames, int32_t mode) {
    SpeakerArrangement in = speaker::kStereo, out = speaker::kStereo;
    processor->setBusArrangements(&in, 1, &out, 1);
    ProcessSetup setup{mode, kSample32, maxFrames, rate};
    if (processor->setupProcessing(setup) != kResultOk)
        return false;
    if (component->setActive(1) != kResultOk)
        return false;
    active = true;
    processor->setProcessing(1);
    processing = true;
    return true;
}

void Vst3TestHost::stop() {
    if (processing)
        processor->setProcessing(0);
    processing = false;
    if (active)
        component->setActive(0);
    active = false;
}

tresult Vst3TestHost::process(float** in, float** out, int32_t frames, ParamChanges* changes, ParamChanges* outChanges,
                              uint64_t inSilence, uint64_t* outSilence) {
    AudioBusBuffers inputs{};
    inputs.numChannels = 2;
    inputs.silenceFlags = inSilence;
    inputs.channelBuffers32 = in;
    AudioBusBuffers outputs{};
    outputs.numChannels = 2;
    outputs.channelBuffers32 = out;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &inputs;
    data.outputs = &outputs;
    data.inputParameterChanges = changes;
    data.outputParameterChanges = outChanges;
    const tresult result = processor->process(data);
    if (outSilence)
        *outSilence = outputs.silenceFlags;
    return result;
}

tresult Vst3TestHost::flush(ParamChanges& changes, ParamChanges* outChanges) {
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.inputParameterChanges = &changes;
    data.outputParameterChanges = outChanges;
    return processor->process(data);
}

std::vector<unsigned char> Vst3TestHost::saveState() {
    MemoryStream stream;
    if (component->getState(&stream) != kResultOk)
        return {};
    return stream.bytes;
}

tresult Vst3TestHost::loadState(const std::vector<unsigned char>& bytes) {
    MemoryStream stream(bytes);
    const tresult result = component->setState(&stream);
    if (result != kResultOk)
        return result;
    MemoryStream again(bytes);
    return controller->setComponentState(&again);
}

}  // namespace vst3check
