#include "vst3/Vst3EffectBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "vst3/Vst3View.h"

using namespace v3;
using corvex::vst3::fromUtf16;
using corvex::vst3::readAll;
using corvex::vst3::toUtf16;
using corvex::vst3::writeAll;

namespace {
constexpr char kBypassName[] = "Bypass";
constexpr char kProgramName[] = "Program";
static_assert(std::atomic<double>::is_always_lock_free, "shown values are lock-free");
}  // namespace

Vst3EffectBase::Vst3EffectBase(int engineParamsIn, int programsIn, std::size_t maxStateBytesIn)
    : engineParams(engineParamsIn),
      programCount(programsIn),
      bypassId(static_cast<ParamID>(engineParamsIn)),
      programId(static_cast<ParamID>(engineParamsIn) + 1),
      paramCount(engineParamsIn + 2),
      maxStateBytes(maxStateBytesIn),
      shown(new std::atomic<double>[static_cast<std::size_t>(engineParamsIn) + 2]()),
      held(new bool[static_cast<std::size_t>(std::max(engineParamsIn, 1))]()) {}

Vst3EffectBase::~Vst3EffectBase() {
    if (handler)
        handler->release();
    if (context)
        context->release();
}

// ---- values ----
bool Vst3EffectBase::normalize(ParamID id, double in, double& out) const {
    if (std::isnan(in) || id >= static_cast<ParamID>(paramCount))
        return false;
    double v = std::min(1.0, std::max(0.0, in));
    if (id == bypassId)
        v = v >= 0.5 ? 1.0 : 0.0;
    else if (id == programId)
        v = std::round(v * (programCount - 1)) / (programCount - 1);
    else
        v = engineSteps(static_cast<int>(id), v);
    out = v;
    return true;
}

int Vst3EffectBase::programOf(double normalized) const {
    const double v = std::min(1.0, std::max(0.0, normalized));
    return static_cast<int>(std::lround(v * (programCount - 1)));
}

double Vst3EffectBase::programValue(int program) const {
    return static_cast<double>(program) / (programCount - 1);
}

void Vst3EffectBase::showEngineValues() {
    for (int i = 0; i < engineParams; ++i)
        shown[i].store(engineValue(i), std::memory_order_relaxed);
    shown[programId].store(programValue(engineProgram()), std::memory_order_relaxed);
}

// ---- FUnknown ----
tresult Vst3EffectBase::queryInterface(const TUID iidWanted, void** obj) {
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

uint32 Vst3EffectBase::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 Vst3EffectBase::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

// ---- IPluginBase ----
tresult Vst3EffectBase::initialize(FUnknown* hostContextIn) {
    if (context)
        return kResultFalse;  // once only
    if (hostContextIn) {
        context = hostContextIn;
        context->addRef();
    }
    return kResultOk;
}

tresult Vst3EffectBase::terminate() {
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
tresult Vst3EffectBase::getControllerClassId(TUID classId) {
    // This object is its own controller: no class to name.
    if (classId)
        std::memset(classId, 0, sizeof(TUID));
    return kResultFalse;
}

tresult Vst3EffectBase::setIoMode(IoMode mode) {
    return mode == kSimple || mode == kAdvanced || mode == kOfflineProcessing ? kResultOk : kInvalidArgument;
}

int32 Vst3EffectBase::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult Vst3EffectBase::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    return path.busInfo(type, dir, index, bus);
}

tresult Vst3EffectBase::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kResultFalse;  // no event input to route from
}

tresult Vst3EffectBase::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    // The one bus each way is always in use; hosts may say so.
    return type == kAudio && index == 0 && (dir == kInput || dir == kOutput) ? kResultOk : kInvalidArgument;
}

tresult Vst3EffectBase::setActive(TBool state) {
    if (state) {
        // Resume: the engine goes on as it stood (as the VST 2.4 build's
        // resume does); the design for the rate was made in setupProcessing.
        path.resume();
        active.store(true);
    } else {
        active.store(false);
    }
    tidy();
    return kResultOk;
}

tresult Vst3EffectBase::setComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!readAll(state, bytes, maxStateBytes) || bytes.empty())
        return kResultFalse;
    if (!loadEngineState(bytes.data(), bytes.size()))
        return kResultFalse;  // refused: nothing changed
    // Applied now, audio running or not (a block that meets the flush waits
    // for nothing: the engine gives it silence), shown now, and the host
    // told to read the values again: a host that restores its own copies of
    // the values after the state (Ardour reopening a session) must not send
    // stale ones back over a channel the state set.
    flushEngine();
    showEngineValues();
    if (handler)
        handler->restartComponent(kParamValuesChanged);
    tidy();
    return kResultOk;
}

tresult Vst3EffectBase::getComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    const bool saved = saveEngineState(bytes);
    tidy();
    if (!saved || bytes.empty() || !writeAll(state, bytes.data(), bytes.size()))
        return kResultFalse;
    return kResultOk;
}

// ---- IAudioProcessor ----
tresult Vst3EffectBase::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                           int32 numOuts) {
    return active.load() ? kResultFalse : path.arrange(inputs, numIns, outputs, numOuts);
}

tresult Vst3EffectBase::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    return path.arrangement(dir, index, arr);
}

tresult Vst3EffectBase::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 Vst3EffectBase::getLatencySamples() {
    return 0;
}

uint32 Vst3EffectBase::getTailSamples() {
    return 0;
}

tresult Vst3EffectBase::setupProcessing(ProcessSetup& setup) {
    if (active.load())
        return kResultFalse;  // only while inactive
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 ||
        setup.maxSamplesPerBlock > corvex::vst3::kMaxBlock)
        return kResultFalse;
    if (!setEngineRate(setup.sampleRate))
        return kResultFalse;  // a rate the engine is not designed for
    path.prepare(setup.sampleRate, setup.maxSamplesPerBlock);
    return kResultOk;
}

tresult Vst3EffectBase::setProcessing(TBool) {
    // Nothing to start or stop: process() runs the engine whenever it is called.
    return kResultOk;
}

tresult Vst3EffectBase::process(ProcessData& host) {
    if (host.symbolicSampleSize != kSample32 || host.numSamples < 0)
        return kInvalidArgument;
    // A bus count without its buses counts as no bus: the engine still runs
    // (into our own buffers) so that time goes on as the host expects.
    ProcessData data = corvex::vst3::checkedBuses(host);
    beginBlock();
    outChanges = data.outputParameterChanges;
    const int32_t rendered = corvex::vst3::walkBlock(
        data,
        [&](int32_t start, int32_t end) {
            path.render(data, start, end, [&](const float* l, const float* r, float* ol, float* orr, int32_t n) {
                renderEngine(l, r, ol, orr, n);
            });
        },
        [&](ParamID id, double value, int32_t offset) { applyHostValue(id, value, offset); });
    if (rendered == 0)
        idleBlock();  // no audio: what is queued still takes effect
    endBlock(data.numSamples);
    corvex::vst3::markSilentOutputs(data);  // the host's own bus records
    outChanges = nullptr;
    return kResultOk;
}

// ---- IEditController ----
tresult Vst3EffectBase::setComponentState(IBStream* state) {
    // The component's state is this object's own: already taken (or
    // refused) by setState; checked here, then the engine's values shown.
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!readAll(state, bytes, maxStateBytes) || !acceptsComponentState(bytes))
        return kResultFalse;
    showEngineValues();
    return kResultOk;
}

// The controller keeps nothing of its own beyond the component's state.
tresult Vst3EffectBase::setControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

tresult Vst3EffectBase::getControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

int32 Vst3EffectBase::getParameterCount() {
    return paramCount;
}

tresult Vst3EffectBase::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= paramCount)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = static_cast<ParamID>(paramIndex);
    info.unitId = kRootUnitId;
    if (paramIndex < engineParams) {
        engineParameterInfo(paramIndex, info);
    } else if (info.id == bypassId) {
        toUtf16(kBypassName, info.title, 128);
        toUtf16(kBypassName, info.shortTitle, 128);
        info.stepCount = 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    } else {
        toUtf16(kProgramName, info.title, 128);
        toUtf16(kProgramName, info.shortTitle, 128);
        info.stepCount = programCount - 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    }
    return kResultOk;
}

tresult Vst3EffectBase::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    double v = 0.0;
    if (!string || !normalize(id, valueNormalized, v))
        return kInvalidArgument;
    char text[64] = {};
    if (isEngineParam(id)) {
        if (!engineDisplayText(static_cast<int>(id), static_cast<float>(v), text, sizeof(text)))
            return kInvalidArgument;
    } else if (id == bypassId) {
        std::strcpy(text, v >= 0.5 ? "On" : "Off");
    } else if (!engineProgramName(programOf(v), text, sizeof(text))) {
        return kInvalidArgument;
    }
    toUtf16(text, string, 128);
    return kResultOk;
}

tresult Vst3EffectBase::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    char text[129];
    if (!fromUtf16(string, text, sizeof(text)) || id >= static_cast<ParamID>(paramCount))
        return kInvalidArgument;
    if (isEngineParam(id)) {
        double v = 0.0;
        if (!engineTextToValue(static_cast<int>(id), text, v) || !normalize(id, v, valueNormalized))
            return kResultFalse;
        return kResultOk;
    }
    if (id == bypassId) {
        if (!std::strcmp(text, "On") || !std::strcmp(text, "on") || !std::strcmp(text, "1"))
            valueNormalized = 1.0;
        else if (!std::strcmp(text, "Off") || !std::strcmp(text, "off") || !std::strcmp(text, "0"))
            valueNormalized = 0.0;
        else
            return kResultFalse;
        return kResultOk;
    }
    // A program by its name.
    for (int p = 0; p < programCount; ++p) {
        char name[32] = {};
        if (engineProgramName(p, name, sizeof(name)) && !std::strcmp(name, text)) {
            valueNormalized = programValue(p);
            return kResultOk;
        }
    }
    return kResultFalse;
}

ParamValue Vst3EffectBase::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    double v = 0.0;
    if (!normalize(id, valueNormalized, v))
        return 0.0;
    if (id == programId)
        return programOf(v);
    return isEngineParam(id) ? enginePlain(static_cast<int>(id), v) : v;
}

ParamValue Vst3EffectBase::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (std::isnan(plainValue))
        return 0.0;
    double normalized = plainValue;
    if (id == programId)
        normalized = plainValue / (programCount - 1);
    else if (isEngineParam(id))
        normalized = engineNormalized(static_cast<int>(id), plainValue);
    double v = 0.0;
    return normalize(id, normalized, v) ? v : 0.0;
}

ParamValue Vst3EffectBase::getParamNormalized(ParamID id) {
    return id < static_cast<ParamID>(paramCount) ? shown[id].load(std::memory_order_relaxed) : 0.0;
}

tresult Vst3EffectBase::setParamNormalized(ParamID id, ParamValue value) {
    double v = 0.0;
    if (!normalize(id, value, v))
        return kInvalidArgument;
    shown[id].store(v, std::memory_order_relaxed);
    return kResultOk;
}

// ---- the editor ----
IPlugView* Vst3EffectBase::createView(FIDString name) {
    if (!name || std::strcmp(name, "editor") != 0)
        return nullptr;
    return new (std::nothrow) Vst3View(*this);
}

float Vst3EffectBase::panelValue(int index) const {
    return isEngineParam(static_cast<ParamID>(index)) ? static_cast<float>(shown[index].load(std::memory_order_relaxed))
                                                      : 0.0f;
}

void Vst3EffectBase::beginPanelEdit(ParamID id) {
    if (!isPanelEdit(id))
        return;
    if (isEngineParam(id))
        held[id] = true;
    if (handler)
        handler->beginEdit(id);
}

void Vst3EffectBase::panelEdit(ParamID id, double value) {
    double v = 0.0;
    if (!isPanelEdit(id) || !normalize(id, value, v))
        return;
    const bool alone = !isHeld(static_cast<int>(id));
    shown[id].store(isEngineParam(id) ? static_cast<float>(v) : v, std::memory_order_relaxed);
    if (!handler)
        return;
    if (alone)
        handler->beginEdit(id);
    handler->performEdit(id, isEngineParam(id) ? static_cast<float>(v) : v);
    if (alone)
        handler->endEdit(id);
}

void Vst3EffectBase::endPanelEdit(ParamID id) {
    if (!isPanelEdit(id))
        return;
    if (isEngineParam(id))
        held[id] = false;
    if (handler)
        handler->endEdit(id);
}

tresult Vst3EffectBase::setComponentHandler(IComponentHandler* newHandler) {
    if (newHandler == handler)
        return kResultOk;
    if (newHandler)
        newHandler->addRef();
    if (handler)
        handler->release();
    handler = newHandler;
    return kResultOk;
}

// ---- IUnitInfo: the root unit with the programs ----
int32 Vst3EffectBase::getUnitCount() {
    return 1;
}

tresult Vst3EffectBase::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    toUtf16("Root", info.name, 128);
    info.programListId = kProgramListId;
    return kResultOk;
}

int32 Vst3EffectBase::getProgramListCount() {
    return 1;
}

tresult Vst3EffectBase::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
    if (listIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = kProgramListId;
    toUtf16("Programs", info.name, 128);
    info.programCount = programCount;
    return kResultOk;
}

tresult Vst3EffectBase::getProgramName(ProgramListID listId, int32 programIndex, String128 name) {
    char text[32] = {};
    if (listId != kProgramListId || !name || !engineProgramName(programIndex, text, sizeof(text)))
        return kInvalidArgument;
    toUtf16(text, name, 128);
    return kResultOk;
}

tresult Vst3EffectBase::getProgramInfo(ProgramListID, int32, const char*, String128) {
    return kResultFalse;  // no attributes beyond the name
}

tresult Vst3EffectBase::hasProgramPitchNames(ProgramListID, int32) {
    return kResultFalse;  // an effect: no notes
}

tresult Vst3EffectBase::getProgramPitchName(ProgramListID, int32, int16, String128) {
    return kResultFalse;
}

UnitID Vst3EffectBase::getSelectedUnit() {
    return kRootUnitId;
}

tresult Vst3EffectBase::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}

tresult Vst3EffectBase::getUnitByBus(MediaType type, BusDirection, int32 busIndex, int32, UnitID& unitId) {
    if (type != kAudio || busIndex != 0)
        return kInvalidArgument;
    unitId = kRootUnitId;
    return kResultOk;
}

tresult Vst3EffectBase::setUnitProgramData(int32, int32, IBStream*) {
    return kNotImplemented;  // programs come with the state, or from the list by the program parameter
}

// ---- IConnectionPoint: one object, so no messages between halves ----
tresult Vst3EffectBase::connect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult Vst3EffectBase::disconnect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult Vst3EffectBase::notify(IMessage* message) {
    return message ? kResultFalse : kInvalidArgument;
}
