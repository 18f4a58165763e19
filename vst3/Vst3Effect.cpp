#include "vst3/Vst3Effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "vst3/Vst3Ids.h"
#include "vst3/Vst3Shared.h"
#include "vst3/Vst3View.h"

using namespace v3;
using corvex::AmpEngine;
namespace ids = corvex::vst3;
using corvex::vst3::fromUtf16;
using corvex::vst3::readAll;
using corvex::vst3::toUtf16;
using corvex::vst3::writeAll;

namespace {

constexpr int kEngineParams = AmpEngine::kParameterCount;
constexpr size_t kMaxStateBytes = 1 << 16;  // a longer stream is not ours
constexpr char kBypassName[] = "Bypass";
constexpr char kProgramName[] = "Program";

static_assert(ids::kBypassId == static_cast<ParamID>(kEngineParams), "ids follow the engine's indexes");
static_assert(std::atomic<double>::is_always_lock_free, "shown values are lock-free");

bool isStepped(ParamID id) {
    return id == ids::kBypassId || (id < static_cast<ParamID>(kEngineParams) &&
                                    AmpEngine::stepCount(static_cast<int>(id)) > 0);
}

// A host's normalized value for one of our parameters: NaN refused, the
// rest held to 0..1, switches to their two positions.
bool normalizeFor(ParamID id, double in, double& out) {
    if (std::isnan(in) || id >= static_cast<ParamID>(ids::kParamCount))
        return false;
    double v = std::min(1.0, std::max(0.0, in));
    if (isStepped(id))
        v = v >= 0.5 ? 1.0 : 0.0;
    else if (id == ids::kProgramId)
        v = std::round(v * (AmpEngine::kProgramCount - 1)) / (AmpEngine::kProgramCount - 1);
    out = v;
    return true;
}

int programOf(double normalized) {
    const double v = std::min(1.0, std::max(0.0, normalized));
    return static_cast<int>(std::lround(v * (AmpEngine::kProgramCount - 1)));
}

}  // namespace

Vst3Effect::Vst3Effect() {
    engine.setListener(this);
    showEngineValues();
    shown[ids::kBypassId].store(0.0);
}

Vst3Effect::~Vst3Effect() {
    engine.setListener(nullptr);
    if (handler)
        handler->release();
    if (context)
        context->release();
}

// ---- FUnknown ----
tresult Vst3Effect::queryInterface(const TUID iidWanted, void** obj) {
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

uint32 Vst3Effect::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 Vst3Effect::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

// ---- IPluginBase ----
tresult Vst3Effect::initialize(FUnknown* hostContextIn) {
    if (context)
        return kResultFalse;  // once only
    if (hostContextIn) {
        context = hostContextIn;
        context->addRef();
    }
    return kResultOk;
}

tresult Vst3Effect::terminate() {
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
tresult Vst3Effect::getControllerClassId(TUID classId) {
    // This object is its own controller: no class to name.
    if (classId)
        std::memset(classId, 0, sizeof(TUID));
    return kResultFalse;
}

tresult Vst3Effect::setIoMode(IoMode mode) {
    return mode == kSimple || mode == kAdvanced || mode == kOfflineProcessing ? kResultOk : kInvalidArgument;
}

int32 Vst3Effect::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult Vst3Effect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    return path.busInfo(type, dir, index, bus);
}

tresult Vst3Effect::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kResultFalse;  // no event input to route from
}

tresult Vst3Effect::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    // The one bus each way is always in use; hosts may say so.
    return type == kAudio && index == 0 && (dir == kInput || dir == kOutput) ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::setActive(TBool state) {
    if (state) {
        // Resume: the amp goes on as it stood (as the VST 2.4 build's
        // resume does); the design for the rate was made in setupProcessing.
        path.resume();
        active.store(true);
    } else {
        active.store(false);
    }
    return kResultOk;
}

tresult Vst3Effect::setComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!readAll(state, bytes, kMaxStateBytes) || bytes.empty())
        return kResultFalse;
    if (!engine.loadState(bytes.data(), bytes.size()))
        return kResultFalse;  // refused: nothing changed
    adoptLoadedState();
    return kResultOk;
}

tresult Vst3Effect::getComponentStream(IBStream* state) {
    if (!state)
        return kInvalidArgument;
    unsigned char bytes[AmpEngine::kStateSize];
    const size_t size = engine.saveState(bytes, sizeof(bytes));
    if (size == 0 || !writeAll(state, bytes, size))
        return kResultFalse;
    return kResultOk;
}

// ---- IAudioProcessor ----
tresult Vst3Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                       int32 numOuts) {
    return active.load() ? kResultFalse : path.arrange(inputs, numIns, outputs, numOuts);
}

tresult Vst3Effect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    return path.arrangement(dir, index, arr);
}

tresult Vst3Effect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 Vst3Effect::getLatencySamples() {
    return 0;
}

uint32 Vst3Effect::getTailSamples() {
    return 0;
}

tresult Vst3Effect::setupProcessing(ProcessSetup& setup) {
    if (active.load())
        return kResultFalse;  // only while inactive
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 ||
        setup.maxSamplesPerBlock > corvex::vst3::kMaxBlock)
        return kResultFalse;
    if (!engine.setSampleRate(setup.sampleRate))
        return kResultFalse;  // a rate the amp is not designed for
    path.prepare(setup.sampleRate, setup.maxSamplesPerBlock);
    return kResultOk;
}

tresult Vst3Effect::setProcessing(TBool) {
    // Nothing to start or stop: process() runs the amp whenever it is called.
    return kResultOk;
}

void Vst3Effect::parameterChanged(int index, float value) {
    if (index < 0 || index >= kEngineParams)
        return;
    shown[index].store(value, std::memory_order_relaxed);
    // Inside process: the host hears of the values the engine changed on
    // its own, at the sample where it happened.
    if (std::this_thread::get_id() != audioThread.load(std::memory_order_relaxed))
        return;
    IParameterChanges* out = outChanges;
    if (!out || index == applyingIndex)
        return;
    int32 queueIndex = 0;
    const ParamID id = static_cast<ParamID>(index);
    if (IParamValueQueue* queue = out->addParameterData(id, queueIndex)) {
        int32 pointIndex = 0;
        queue->addPoint(reportOffset, value, pointIndex);
    }
}

void Vst3Effect::applyHostValue(ParamID id, double value, int32_t offset) {
    double v = 0.0;
    if (!normalizeFor(id, value, v))
        return;  // NaN or an unknown id: ignored
    reportOffset = offset;
    if (id < static_cast<ParamID>(kEngineParams)) {
        applyingIndex = static_cast<int>(id);
        engine.applyEvent(static_cast<int>(id), v);
        applyingIndex = -1;
        v = engine.value(static_cast<int>(id));  // as stored: a float
    } else if (id == ids::kBypassId) {
        path.setBypass(v);
    } else if (id == ids::kProgramId) {
        const int program = programOf(v);
        if (program != engine.currentProgram()) {
            // Its thirteen values are sent to the host as they are stored.
            engine.postProgram(program);
            engine.flush();
        }
    }
    shown[id].store(v, std::memory_order_relaxed);
}

tresult Vst3Effect::process(ProcessData& host) {
    if (host.symbolicSampleSize != kSample32 || host.numSamples < 0)
        return kInvalidArgument;
    // A bus count without its buses counts as no bus: the amp still runs
    // (into our own buffers) so that time goes on as the host expects.
    ProcessData data = corvex::vst3::checkedBuses(host);
    audioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    outChanges = data.outputParameterChanges;
    const int32_t rendered = corvex::vst3::walkBlock(
        data,
        [&](int32_t start, int32_t end) {
            path.render(data, start, end, [&](const float* l, const float* r, float* ol, float* orr, int32_t n) {
                engine.process(l, r, ol, orr, n);
            });
        },
        [&](ParamID id, double value, int32_t offset) { applyHostValue(id, value, offset); });
    if (rendered == 0) {
        reportOffset = 0;
        engine.flush();  // no audio: what is queued still takes effect
    }
    corvex::vst3::markSilentOutputs(data);  // the host's own bus records
    outChanges = nullptr;
    return kResultOk;
}

// ---- IEditController ----
void Vst3Effect::showEngineValues() {
    for (int i = 0; i < kEngineParams; ++i)
        shown[i].store(engine.value(i), std::memory_order_relaxed);
    shown[ids::kProgramId].store(static_cast<double>(engine.currentProgram()) / (AmpEngine::kProgramCount - 1),
                                 std::memory_order_relaxed);
}

void Vst3Effect::adoptLoadedState() {
    // Applied now, whether audio runs or not (a block that meets the flush
    // waits for nothing: the engine gives it silence), so that the values
    // the host reads next are the loaded ones.
    engine.flush();
    showEngineValues();
    if (handler)
        handler->restartComponent(kParamValuesChanged);
}

tresult Vst3Effect::setComponentState(IBStream* state) {
    // The component's state is this object's own: checked, then shown.
    if (!state)
        return kInvalidArgument;
    std::vector<unsigned char> bytes;
    if (!readAll(state, bytes, kMaxStateBytes) || !AmpEngine::isValidState(bytes.data(), bytes.size()))
        return kResultFalse;
    showEngineValues();
    return kResultOk;
}

// The controller keeps nothing of its own beyond the component's state.
tresult Vst3Effect::setControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::getControllerStream(IBStream* state) {
    return state ? kResultOk : kInvalidArgument;
}

int32 Vst3Effect::getParameterCount() {
    return ids::kParamCount;
}

tresult Vst3Effect::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= ids::kParamCount)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = static_cast<ParamID>(paramIndex);
    info.unitId = kRootUnitId;
    if (paramIndex < kEngineParams) {
        const corvex::ParameterInfo* facts = AmpEngine::info(paramIndex);
        toUtf16(facts->name, info.title, 128);
        toUtf16(facts->name, info.shortTitle, 128);
        toUtf16(facts->label, info.units, 128);
        info.stepCount = AmpEngine::stepCount(paramIndex);
        info.defaultNormalizedValue = facts->defaultValue;
        info.flags = ParameterInfo::kCanAutomate;
    } else if (info.id == ids::kBypassId) {
        toUtf16(kBypassName, info.title, 128);
        toUtf16(kBypassName, info.shortTitle, 128);
        info.stepCount = 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    } else {
        toUtf16(kProgramName, info.title, 128);
        toUtf16(kProgramName, info.shortTitle, 128);
        info.stepCount = AmpEngine::kProgramCount - 1;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    }
    return kResultOk;
}

tresult Vst3Effect::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    double v = 0.0;
    if (!string || !normalizeFor(id, valueNormalized, v))
        return kInvalidArgument;
    char text[64] = {};
    if (id < static_cast<ParamID>(kEngineParams)) {
        if (!AmpEngine::displayText(static_cast<int>(id), static_cast<float>(v), text, sizeof(text), false))
            return kInvalidArgument;
    } else if (id == ids::kBypassId) {
        std::strcpy(text, v >= 0.5 ? "On" : "Off");
    } else if (!engine.programName(programOf(v), text, sizeof(text))) {
        return kInvalidArgument;
    }
    toUtf16(text, string, 128);
    return kResultOk;
}

tresult Vst3Effect::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    char text[129];
    if (!fromUtf16(string, text, sizeof(text)) || id >= static_cast<ParamID>(ids::kParamCount))
        return kInvalidArgument;
    if (id < static_cast<ParamID>(kEngineParams)) {
        double v = 0.0;
        if (!AmpEngine::textToValue(static_cast<int>(id), text, v) || !normalizeFor(id, v, valueNormalized))
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
    // A program by its name.
    for (int p = 0; p < AmpEngine::kProgramCount; ++p) {
        char name[32] = {};
        if (engine.programName(p, name, sizeof(name)) && !std::strcmp(name, text)) {
            valueNormalized = static_cast<double>(p) / (AmpEngine::kProgramCount - 1);
            return kResultOk;
        }
    }
    return kResultFalse;
}

ParamValue Vst3Effect::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    double v = 0.0;
    if (!normalizeFor(id, valueNormalized, v))
        return 0.0;
    return id == ids::kProgramId ? programOf(v) : v;
}

ParamValue Vst3Effect::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (std::isnan(plainValue))
        return 0.0;
    double v = 0.0;
    const double normalized = id == ids::kProgramId ? plainValue / (AmpEngine::kProgramCount - 1) : plainValue;
    return normalizeFor(id, normalized, v) ? v : 0.0;
}

ParamValue Vst3Effect::getParamNormalized(ParamID id) {
    return id < static_cast<ParamID>(ids::kParamCount) ? shown[id].load(std::memory_order_relaxed) : 0.0;
}

tresult Vst3Effect::setParamNormalized(ParamID id, ParamValue value) {
    double v = 0.0;
    if (!normalizeFor(id, value, v))
        return kInvalidArgument;
    shown[id].store(v, std::memory_order_relaxed);
    return kResultOk;
}

tresult Vst3Effect::setComponentHandler(IComponentHandler* newHandler) {
    if (newHandler == handler)
        return kResultOk;
    if (newHandler)
        newHandler->addRef();
    if (handler)
        handler->release();
    handler = newHandler;
    return kResultOk;
}

IPlugView* Vst3Effect::createView(FIDString name) {
    // The one view hosts ask for by name: "editor".
    if (!name || std::strcmp(name, "editor") != 0)
        return nullptr;
    return new (std::nothrow) Vst3View(*this);
}

// ---- ParameterPort: the panel ----
float Vst3Effect::get(int index) const {
    return AmpEngine::isParameter(index) ? static_cast<float>(shown[index].load(std::memory_order_relaxed)) : 0.0f;
}

void Vst3Effect::set(int index, float value) {
    double v = 0.0;
    if (!AmpEngine::isParameter(index) || !normalizeFor(static_cast<ParamID>(index), value, v))
        return;
    shown[index].store(static_cast<float>(v), std::memory_order_relaxed);
    if (handler)
        handler->performEdit(static_cast<ParamID>(index), static_cast<float>(v));
}

void Vst3Effect::beginGesture(int index) {
    if (!AmpEngine::isParameter(index))
        return;
    held[index] = true;
    if (handler)
        handler->beginEdit(static_cast<ParamID>(index));
}

void Vst3Effect::endGesture(int index) {
    if (!AmpEngine::isParameter(index))
        return;
    held[index] = false;
    if (handler)
        handler->endEdit(static_cast<ParamID>(index));
}

// ---- IUnitInfo: the root unit with the ten programs ----
int32 Vst3Effect::getUnitCount() {
    return 1;
}

tresult Vst3Effect::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    toUtf16("Root", info.name, 128);
    info.programListId = ids::kProgramListId;
    return kResultOk;
}

int32 Vst3Effect::getProgramListCount() {
    return 1;
}

tresult Vst3Effect::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
    if (listIndex != 0)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof(info));
    info.id = ids::kProgramListId;
    toUtf16("Programs", info.name, 128);
    info.programCount = AmpEngine::kProgramCount;
    return kResultOk;
}

tresult Vst3Effect::getProgramName(ProgramListID listId, int32 programIndex, String128 name) {
    char text[32] = {};
    if (listId != ids::kProgramListId || !name || !engine.programName(programIndex, text, sizeof(text)))
        return kInvalidArgument;
    toUtf16(text, name, 128);
    return kResultOk;
}

tresult Vst3Effect::getProgramInfo(ProgramListID, int32, const char*, String128) {
    return kResultFalse;  // no attributes beyond the name
}

tresult Vst3Effect::hasProgramPitchNames(ProgramListID, int32) {
    return kResultFalse;  // an effect: no notes
}

tresult Vst3Effect::getProgramPitchName(ProgramListID, int32, int16, String128) {
    return kResultFalse;
}

UnitID Vst3Effect::getSelectedUnit() {
    return kRootUnitId;
}

tresult Vst3Effect::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::getUnitByBus(MediaType type, BusDirection, int32 busIndex, int32, UnitID& unitId) {
    if (type != kAudio || busIndex != 0)
        return kInvalidArgument;
    unitId = kRootUnitId;
    return kResultOk;
}

tresult Vst3Effect::setUnitProgramData(int32, int32, IBStream*) {
    return kNotImplemented;  // programs come with the state, or from the list by the program parameter
}

// ---- IConnectionPoint: one object, so no messages between halves ----
tresult Vst3Effect::connect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::disconnect(IConnectionPoint* other) {
    return other ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::notify(IMessage* message) {
    return message ? kResultFalse : kInvalidArgument;
}
