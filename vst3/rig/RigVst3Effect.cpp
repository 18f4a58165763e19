#include "vst3/rig/RigVst3Effect.h"

#include <cmath>
#include <cstring>

using namespace v3;
using corvex::AmpEngine;
using corvex::RigEngine;
namespace ids = corvex::rigvst3;
namespace shared = corvex::vst3;

namespace {

constexpr int kEngineParams = RigEngine::kParameterCount;
// The largest state taken: the longest impulse of the widest kind, and room.
constexpr size_t kMaxStateBytes = size_t(64) << 20;

static_assert(ids::kBypassId == static_cast<ParamID>(kEngineParams) && ids::kProgramId == ids::kBypassId + 1 &&
                  ids::kParamCount == kEngineParams + 2 && ids::kProgramListId == Vst3EffectBase::kProgramListId,
              "the bypass and the program follow the engine's parameters");

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

}  // namespace

RigVst3Effect::RigVst3Effect()
    : Vst3EffectBase(kEngineParams, RigEngine::kProgramCount, kMaxStateBytes),
      engine(new corvex::RigEngine()),
      panelPort(new PanelPort(*this, *engine)) {
    showEngineValues();
    shown[ids::kBypassId].store(0.0);
}

RigVst3Effect::~RigVst3Effect() = default;

uint32 RigVst3Effect::getLatencySamples() {
    // The cabinet's convolver adds no delay at any block size.
    return static_cast<uint32>(engine->latency());
}

// ---- the editor ----
std::unique_ptr<corvex::Panel> RigVst3Effect::makePanel() {
    return corvex::createRigPanel(*panelPort);
}

void RigVst3Effect::panelSize(uint32_t& width, uint32_t& height) const {
    width = corvex::kPanelWidth;
    height = corvex::kPanelHeight + corvex::RigEditorStripHeight;
}

std::string RigVst3Effect::PanelPort::programName() const {
    return numberedProgramName(rigEffect.programOf(rigEffect.shown[ids::kProgramId].load(std::memory_order_relaxed)));
}

void RigVst3Effect::PanelPort::stepProgram(int delta) {
    const int count = RigEngine::kProgramCount;
    const int current = rigEffect.programOf(rigEffect.shown[ids::kProgramId].load(std::memory_order_relaxed));
    const int next = ((current + delta) % count + count) % count;
    effect.panelEdit(ids::kProgramId, rigEffect.programValue(next));
}

// ---- the engine's traits ----
bool RigVst3Effect::loadEngineState(const unsigned char* data, std::size_t size) {
    // The amp's flush (next) waits for a block in progress; the rig's own
    // loaded values are taken once, by whichever thread comes first, and
    // every one of them is atomic.
    return engine->loadState(data, size);
}

bool RigVst3Effect::saveEngineState(std::vector<unsigned char>& bytes) {
    bytes = engine->saveState();
    return !bytes.empty();
}

void RigVst3Effect::engineParameterInfo(int index, ParameterInfo& info) const {
    const char* name = RigEngine::parameterName(index);
    shared::toUtf16(name, info.title, 128);
    shared::toUtf16(name, info.shortTitle, 128);
    if (AmpEngine::isParameter(index))
        shared::toUtf16(AmpEngine::info(index)->label, info.units, 128);
    info.stepCount = RigEngine::stepCount(index);
    info.defaultNormalizedValue = RigEngine::defaultValue(index);
    info.flags = ParameterInfo::kCanAutomate;
    if (index == corvex::kCabinetModel)
        info.flags |= ParameterInfo::kIsList;
}

bool RigVst3Effect::engineDisplayText(int index, float value, char* text, std::size_t capacity) const {
    return RigEngine::displayText(index, value, text, capacity);
}

bool RigVst3Effect::engineTextToValue(int index, const char* text, double& value) const {
    return RigEngine::textToValue(index, text, value);
}

double RigVst3Effect::engineSteps(int index, double value) const {
    const int steps = RigEngine::stepCount(index);
    if (steps == 0)
        return value;
    return steps == 1 ? (value >= 0.5 ? 1.0 : 0.0) : std::round(value * steps) / steps;
}

double RigVst3Effect::enginePlain(int index, double normalized) const {
    return index == corvex::kCabinetModel ? RigEngine::cabinetModelOf(static_cast<float>(normalized)) : normalized;
}

double RigVst3Effect::engineNormalized(int index, double plain) const {
    return index == corvex::kCabinetModel ? plain / (RigEngine::kCabinetChoices - 1) : plain;
}

bool RigVst3Effect::engineProgramName(int program, char* text, std::size_t capacity) const {
    return engine->programName(program, text, capacity);
}

void RigVst3Effect::showEngineValues() {
    for (int i = 0; i < kEngineParams; ++i) {
        const float v = engine->value(i);
        shown[i].store(v, std::memory_order_relaxed);
        reported[i].store(bitsOf(v), std::memory_order_relaxed);
    }
    shown[ids::kProgramId].store(programValue(engine->currentProgram()), std::memory_order_relaxed);
}

// ---- the audio thread ----
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
    if (!normalize(id, value, v))
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

void RigVst3Effect::renderEngine(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    engine->process(inL, inR, outL, outR, frames);
}

void RigVst3Effect::endBlock(int32_t frames) {
    engine->endBlock();
    // A program or state the engine took in this block, and values it
    // changed itself, reach the host.
    reportChanges(frames > 0 ? frames - 1 : 0);
}
