#include "vst3/rig/RigVst3Effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

using namespace v3;
using corvex::AmpEngine;
using corvex::RigEngine;
namespace ids = corvex::rigvst3;
namespace shared = corvex::vst3;

namespace {

constexpr int kEngineParams = RigEngine::kParameterCount;
// The largest state taken: the longest impulse of the widest kind, and room.
constexpr size_t kMaxStateBytes = size_t(64) << 20;
constexpr char kBypassName[] = "Bypass";
constexpr char kProgramName[] = "Program";

static_assert(std::atomic<double>::is_always_lock_free, "shown values are lock-free");

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

bool isSwitch(ParamID id) {
    return id == ids::kBypassId;
}

// A host's normalized value for one of our parameters: NaN refused, the
// rest held to 0..1, stepped ones to their steps.
bool normalizeFor(ParamID id, double in, double& out) {
    if (std::isnan(in) || id >= static_cast<ParamID>(ids::kParamCount))
        return false;
    double v = std::min(1.0, std::max(0.0, in));
    if (isSwitch(id)) {
        v = v >= 0.5 ? 1.0 : 0.0;
    } else if (id == ids::kProgramId) {
        v = std::round(v * (RigEngine::kProgramCount - 1)) / (RigEngine::kProgramCount - 1);
    } else if (const int steps = RigEngine::stepCount(static_cast<int>(id))) {
        v = steps == 1 ? (v >= 0.5 ? 1.0 : 0.0) : std::round(v * steps) / steps;
    }
    out = v;
    return true;
}

int programOf(double normalized) {
    const double v = std::min(1.0, std::max(0.0, normalized));
    return static_cast<int>(std::lround(v * (RigEngine::kProgramCount - 1)));
}

double programValue(int program) {
    return static_cast<double>(program) / (RigEngine::kProgramCount - 1);
}

}  // namespace

RigVst3Effect::RigVst3Effect() : engine(new corvex::RigEngine()) {
    showEngineValues();
    shown[ids::kBypassId].store(0.0);
}

RigVst3Effect::~RigVst3Effect() {
    if (handler)
        handler->release();
    if (context)
        context->release();
}

// ---- FUnknown ----
tresult RigVst3Effect::queryInterface(const TUID iidWanted, void** obj) {
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!iidWanted)
        return kInvalidArgument;
    if (iid::FUnknown.equals(iidWanted) || iid::IPluginBase.equals(iidWanted) || iid::IComponent.equals(iidWanted))
        *obj = static_cast<IComponent*>(this);
    else if (iid::IAudioProcessor.equals(iidWanted))
        *obj = static_cast<IAudioProcessor*>(this);
    else if (iid::IEditController.equals(iidWanted))
        *obj = static_cast<IEditController*>(this);
    else if (iid::IUnitInfo.equals(iidWanted))
        *obj = static_cast<IUnitInfo*>(this);
    else if (iid::IConnectionPoint.equals(iidWanted))
        *obj = static_cast<IConnectionPoint*>(this);
    else if (iid::IProcessContextRequirements.equals(iidWanted))
        *obj = static_cast<IProcessContextRequirements*>(this);
    else
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 RigVst3Effect::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 RigVst3Effect::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

// ---- IPluginBase ----
tresult RigVst3Effect::initialize(FUnknown* hostContextIn) {
    if (context)
        return kResultFalse;  // once only
    if (hostContextIn) {
        context = hostContextIn;
        context->addRef();
    }
    return kResultOk;
}

tresult RigVst3Effect::terminate() {
    if (active.load())
        setActive(0);
    if (handler) {
        handler->release();
        handler = nullptr;
    }
    if (context) {
        context->release();
        context = nullptr;
    }
    return kResultOk;
}

// ---- IComponent ----
tresult RigVst3Effect::getControllerClassId(TUID classId) {
    // This object is its own controller: no class to name.
    if (classId)
        std::memset(classId, 0, sizeof(TUID));
    return kResultFalse;
}

tresult RigVst3Effect::setIoMode(IoMode mode) {
    return mode == kSimple || mode == kAdvanced || mode == kOfflineProcessing ? kResultOk : kInvalidArgument;
}

int32 RigVst3Effect::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult RigVst3Effect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    return path.busInfo(type, dir, index, bus);
}

tresult RigVst3Effect::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kResultFalse;  // no event input to route from
}

tresult RigVst3Effect::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    return type == kAudio && index == 0 && (dir == kInput || dir == kOutput) ? kResultOk : kInvalidArgument;
}

tresult RigVst3Effect::setActive(TBool state) {
    if (state) {
        path.resume();
        active.store(true);
    } else {
        active.store(false);
    }
    engine->collect();  // cabinets the audio thread let go of
    return kResultOk;
}

tresult RigVst3Effect::setComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!shared::readAll(state, bytes, kMaxStateBytes) || bytes.empty())
        return kResultFalse;
    if (!engine->loadState(bytes.data(), bytes.size()))
        return kResultFalse;  // refused: nothing changed
    // Applied now, audio running or not, shown now, and the host told to
    // read the values again: a host that restores its own copies of the
    // values after the state (Ardour reopening a session) must not send
    // stale ones back over a channel the state set. The amp's flush waits
    // for a block in progress; the rig's own loaded values are taken once,
    // by whichever thread comes first, and every one of them is atomic.
    engine->flush();
    showEngineValues();
    if (handler)
        handler->restartComponent(kParamValuesChanged);
    engine->collect();
    return kResultOk;
}

tresult RigVst3Effect::getComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    const std::vector<unsigned char> bytes = engine->saveState();
    engine->collect();
    if (bytes.empty() || !shared::writeAll(state, bytes.data(), bytes.size()))
        return kResultFalse;
    return kResultOk;
}

// ---- IAudioProcessor ----
tresult RigVst3Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                          int32 numOuts) {
    return active.load() ? kResultFalse : path.arrange(inputs, numIns, outputs, numOuts);
}

tresult RigVst3Effect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    return path.arrangement(dir, index, arr);
}

tresult RigVst3Effect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 RigVst3Effect::getLatencySamples() {
    // The cabinet's convolver adds no delay at any block size.
    return static_cast<uint32>(engine->latency());
}

uint32 RigVst3Effect::getTailSamples() {
    return 0;
}

tresult RigVst3Effect::setupProcessing(ProcessSetup& setup) {
    if (active.load())
        return kResultFalse;  // only while inactive
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 ||
        setup.maxSamplesPerBlock > shared::kMaxBlock)
        return kResultFalse;
    if (!engine->setSampleRate(setup.sampleRate))
        return kResultFalse;  // a rate the amp is not designed for
    path.prepare(setup.sampleRate, setup.maxSamplesPerBlock);
    return kResultOk;
}

tresult RigVst3Effect::setProcessing(TBool) {
    // Nothing to start or stop: process() runs the rig whenever it is called.
    return kResultOk;
}

void RigVst3Effect::reportChanges(int32_t offset) {
    for (int i = 0; i < kEngineParams; ++i) {
        const float now = engine->value(i);
        if (bitsOf(now) == reported[i].load(std::memory_order_relaxed))
            continue;
        reported[i].store(bitsOf(now), std::memory_order_relaxed);
        shown[i].store(now, std::memory_order_relaxed);
        int32 queueIndex = 0;
        if (outChanges) {
            if (IParamValueQueue* queue = outChanges->addParameterData(static_cast<ParamID>(i), queueIndex)) {
                int32 pointIndex = 0;
                queue->addPoint(offset, now, pointIndex);
            }
        }
    }
    const double program = programValue(engine->currentProgram());
    if (shown[ids::kProgramId].load(std::memory_order_relaxed) != program) {
        shown[ids::kProgramId].store(program, std::memory_order_relaxed);
        int32 queueIndex = 0;
        if (outChanges) {
            if (IParamValueQueue* queue = outChanges->addParameterData(ids::kProgramId, queueIndex)) {
                int32 pointIndex = 0;
                queue->addPoint(offset, program, pointIndex);
            }
        }
    }
}

void RigVst3Effect::applyHostValue(ParamID id, double value, int32_t offset) {
    double v = 0.0;
    if (!normalizeFor(id, value, v))
        return;  // NaN or an unknown id: ignored
    if (id < static_cast<ParamID>(kEngineParams)) {
        if (!engine->applyEvent(static_cast<int>(id), v))
            return;
        // The host's own value is not echoed back; what it moved with it
        // (a Channel switch recalls the channel's values) is.
        const float stored = engine->value(static_cast<int>(id));
        reported[id].store(bitsOf(stored), std::memory_order_relaxed);
        shown[id].store(stored, std::memory_order_relaxed);
    } else if (id == ids::kBypassId) {
        path.setBypass(v);
        shown[id].store(v, std::memory_order_relaxed);
    } else if (id == ids::kProgramId) {
        const int program = programOf(v);
        shown[id].store(programValue(program), std::memory_order_relaxed);
        if (program != engine->currentProgram()) {
            engine->postProgram(program);
            engine->flush();
        }
    }
    reportChanges(offset);
}

tresult RigVst3Effect::process(ProcessData& host) {
    if (host.symbolicSampleSize != kSample32 || host.numSamples < 0)
        return kInvalidArgument;
    // A bus count without its buses counts as no bus: the rig still runs
    // (into our own buffers) so that time goes on as the host expects.
    ProcessData data = shared::checkedBuses(host);
    outChanges = data.outputParameterChanges;
    const int32_t frames = data.numSamples;
    const int32_t rendered = shared::walkBlock(
        data,
        [&](int32_t start, int32_t end) {
            path.render(data, start, end, [&](const float* l, const float* r, float* ol, float* orr, int32_t n) {
                engine->process(l, r, ol, orr, n);
            });
        },
        [&](ParamID id, double value, int32_t offset) { applyHostValue(id, value, offset); });
    if (rendered == 0)
        engine->flush();  // no audio: what is queued still takes effect
    engine->endBlock();
    // A program or state the engine took in this block, and values it
    // changed itself, reach the host.
    reportChanges(frames > 0 ? frames - 1 : 0);
    shared::markSilentOutputs(data);  // the host's own bus records
    outChanges = nullptr;
    return kResultOk;
}

// ---- IEditController ----
void RigVst3Effect::showEngineValues() {
    for (int i = 0; i < kEngineParams; ++i) {
        const float v = engine->value(i);
        shown[i].store(v, std::memory_order_relaxed);
        reported[i].store(bitsOf(v), std::memory_order_relaxed);
    }
    shown[ids::kProgramId].store(programValue(engine->currentProgram()), std::memory_order_relaxed);
}

tresult RigVst3Effect::setComponentState(IBStream* state) {
    // The component's state is this object's own: already taken (or
    // refused) by setState; the controller shows what the engine holds.
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!shared::readAll(state, bytes, kMaxStateBytes) || bytes.empty())
        return kResultFalse;
    showEngineValues();
    return kResultOk;
}

// The controller keeps nothing of its own beyond the component's state.
tresult RigVst3Effect::setControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

tresult RigVst3Effect::getControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

int32 RigVst3Effect::getParameterCount() {
    return ids::kParamCount;
}

tresult RigVst3Effect::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= ids::kParamCount)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = static_cast<ParamID>(paramIndex);
    info.unitId = kRootUnitId;
    if (paramIndex < kEngineParams) {
        const char* name = RigEngine::parameterName(paramIndex);
        shared::toUtf16(name, info.title, 128);
        shared::toUtf16(name, info.shortTitle, 128);
        if (AmpEngine::isParameter(paramIndex))
            shared::toUtf16(AmpEngine::info(paramIndex)->label, info.units, 128);
        info.stepCount = RigEngine::stepCount(paramIndex);
        info.defaultNormalizedValue = RigEngine::defaultValue(paramIndex);
        info.flags = ParameterInfo::kCanAutomate;
        if (paramIndex == corvex::kCabinetModel)
            info.flags |= ParameterInfo::kIsList;
    } else if (info.id == ids::kBypassId) {
        shared::toUtf16(kBypassName, info.title, 128);
        shared::toUtf16(kBypassName, info.shortTitle, 128);
        info.stepCount = 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    } else {
        shared::toUtf16(kProgramName, info.title, 128);
        shared::toUtf16(kProgramName, info.shortTitle, 128);
        info.stepCount = RigEngine::kProgramCount - 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    }
    return kResultOk;
}

tresult RigVst3Effect::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    double v = 0.0;
    if (!string || !normalizeFor(id, valueNormalized, v))
        return kInvalidArgument;
    char text[64] = {};
    if (id < static_cast<ParamID>(kEngineParams)) {
        if (!RigEngine::displayText(static_cast<int>(id), static_cast<float>(v), text, sizeof(text)))
            return kInvalidArgument;
    } else if (id == ids::kBypassId) {
        std::strcpy(text, v >= 0.5 ? "On" : "Off");
    } else if (!engine->programName(programOf(v), text, sizeof(text))) {
        return kInvalidArgument;
    }
    shared::toUtf16(text, string, 128);
    return kResultOk;
}

tresult RigVst3Effect::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    char text[129];
    if (!shared::fromUtf16(string, text, sizeof(text)) || id >= static_cast<ParamID>(ids::kParamCount))
        return kInvalidArgument;
    if (id < static_cast<ParamID>(kEngineParams)) {
        double v = 0.0;
        if (!RigEngine::textToValue(static_cast<int>(id), text, v) || !normalizeFor(id, v, valueNormalized))
            return kResultFalse;
        return kResultOk;
    }
    if (id == ids::kBypassId) {
        if (!std::strcmp(text, "On") || !std::strcmp(text, "on") || !std::strcmp(text, "1"))
            valueNormalized = 1.0;
        else if (!std::strcmp(text, "Off") || !std::strcmp(text, "off") || !std::strcmp(text, "0"))
            valueNormalized = 0.0;
        else
            return kResultFalse;
        return kResultOk;
    }
    for (int p = 0; p < RigEngine::kProgramCount; ++p) {
        char name[32] = {};
        if (engine->programName(p, name, sizeof(name)) && !std::strcmp(name, text)) {
            valueNormalized = programValue(p);
            return kResultOk;
        }
    }
    return kResultFalse;
}

ParamValue RigVst3Effect::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    double v = 0.0;
    if (!normalizeFor(id, valueNormalized, v))
        return 0.0;
    if (id == ids::kProgramId)
        return programOf(v);
    if (id == static_cast<ParamID>(corvex::kCabinetModel))
        return RigEngine::cabinetModelOf(static_cast<float>(v));
    return v;
}

ParamValue RigVst3Effect::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (std::isnan(plainValue))
        return 0.0;
    double normalized = plainValue;
    if (id == ids::kProgramId)
        normalized = plainValue / (RigEngine::kProgramCount - 1);
    else if (id == static_cast<ParamID>(corvex::kCabinetModel))
        normalized = plainValue / (RigEngine::kCabinetChoices - 1);
    double v = 0.0;
    return normalizeFor(id, normalized, v) ? v : 0.0;
}

ParamValue RigVst3Effect::getParamNormalized(ParamID id) {
    return id < static_cast<ParamID>(ids::kParamCount) ? shown[id].load(std::memory_order_relaxed) : 0.0;
}

tresult RigVst3Effect::setParamNormalized(ParamID id, ParamValue value) {
    double v = 0.0;
    if (!normalizeFor(id, value, v))
        return kInvalidArgument;
    shown[id].store(v, std::memory_order_relaxed);
    return kResultOk;
}

tresult RigVst3Effect::setComponentHandler(IComponentHandler* newHandler) {
    if (newHandler == handler)
        return kResultOk;
    if (newHandler)
        newHandler->addRef();
    if (handler)
        handler->release();
    handler = newHandler;
    return kResultOk;
}

IPlugView* RigVst3Effect::createView(FIDString) {
    return nullptr;  // no editor yet: hosts show their own controls
}

// ---- IUnitInfo ----
int32 RigVst3Effect::getUnitCount() {
    return 1;
}

tresult RigVst3Effect::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    shared::toUtf16("Root", info.name, 128);
    info.programListId = ids::kProgramListId;
    return kResultOk;
}

int32 RigVst3Effect::getProgramListCount() {
    return 1;
}

tresult RigVst3Effect::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
    if (listIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = ids::kProgramListId;
    shared::toUtf16("Programs", info.name, 128);
    info.programCount = RigEngine::kProgramCount;
    return kResultOk;
}

tresult RigVst3Effect::getProgramName(ProgramListID listId, int32 programIndex, String128 name) {
    char text[32] = {};
    if (listId != ids::kProgramListId || !name || !engine->programName(programIndex, text, sizeof(text)))
        return kInvalidArgument;
    shared::toUtf16(text, name, 128);
    return kResultOk;
}

tresult RigVst3Effect::getProgramInfo(ProgramListID, int32, const char*, String128) {
    return kResultFalse;  // no attributes beyond the name
}

tresult RigVst3Effect::hasProgramPitchNames(ProgramListID, int32) {
    return kResultFalse;
}

tresult RigVst3Effect::getProgramPitchName(ProgramListID, int32, int16, String128) {
    return kResultFalse;
}

UnitID RigVst3Effect::getSelectedUnit() {
    return kRootUnitId;
}

tresult RigVst3Effect::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}

tresult RigVst3Effect::getUnitByBus(MediaType type, BusDirection, int32 busIndex, int32, UnitID& unitId) {
    if (type != kAudio || busIndex != 0)
        return kInvalidArgument;
    unitId = kRootUnitId;
    return kResultOk;
}

tresult RigVst3Effect::setUnitProgramData(int32, int32, IBStream*) {
    return kNotImplemented;  // programs come with the state, or from the list by the program parameter
}

// ---- IConnectionPoint ----
tresult RigVst3Effect::connect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult RigVst3Effect::disconnect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult RigVst3Effect::notify(IMessage* message) {
    return message ? kResultFalse : kInvalidArgument;
}
