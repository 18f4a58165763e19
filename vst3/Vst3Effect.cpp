#include "vst3/Vst3Effect.h"

#include <thread>

#include "vst3/Vst3Ids.h"
#include "vst3/Vst3Shared.h"

using namespace v3;
using corvex::AmpEngine;
namespace ids = corvex::vst3;
using corvex::vst3::toUtf16;

namespace {

constexpr int kEngineParams = AmpEngine::kParameterCount;
constexpr size_t kMaxStateBytes = 1 << 16;  // a longer stream is not ours

static_assert(ids::kBypassId == static_cast<ParamID>(kEngineParams), "ids follow the engine's indexes");
static_assert(ids::kProgramId == ids::kBypassId + 1 && ids::kParamCount == kEngineParams + 2,
              "the bypass and the program follow the engine's parameters");

}  // namespace

Vst3Effect::Vst3Effect() : Vst3EffectBase(kEngineParams, AmpEngine::kProgramCount, kMaxStateBytes) {
    engine.setListener(this);
    showEngineValues();
    shown[ids::kBypassId].store(0.0);
}

Vst3Effect::~Vst3Effect() {
    engine.setListener(nullptr);
}

// ---- the engine's traits ----
bool Vst3Effect::loadEngineState(const unsigned char* data, std::size_t size) {
    return engine.loadState(data, size);
}

bool Vst3Effect::saveEngineState(std::vector<unsigned char>& bytes) {
    bytes.resize(AmpEngine::kStateSize);
    bytes.resize(engine.saveState(bytes.data(), bytes.size()));
    return !bytes.empty();
}

bool Vst3Effect::acceptsComponentState(const std::vector<unsigned char>& bytes) const {
    return AmpEngine::isValidState(bytes.data(), bytes.size());
}

void Vst3Effect::engineParameterInfo(int index, ParameterInfo& info) const {
    const corvex::ParameterInfo* facts = AmpEngine::info(index);
    toUtf16(facts->name, info.title, 128);
    toUtf16(facts->name, info.shortTitle, 128);
    toUtf16(facts->label, info.units, 128);
    info.stepCount = AmpEngine::stepCount(index);
    info.defaultNormalizedValue = facts->defaultValue;
    info.flags = ParameterInfo::kCanAutomate;
}

bool Vst3Effect::engineDisplayText(int index, float value, char* text, std::size_t capacity) const {
    return AmpEngine::displayText(index, value, text, capacity, false);
}

bool Vst3Effect::engineTextToValue(int index, const char* text, double& value) const {
    return AmpEngine::textToValue(index, text, value);
}

double Vst3Effect::engineSteps(int index, double value) const {
    // The amp's stepped parameters are switches: two positions.
    return AmpEngine::stepCount(index) > 0 ? (value >= 0.5 ? 1.0 : 0.0) : value;
}

bool Vst3Effect::engineProgramName(int program, char* text, std::size_t capacity) const {
    return engine.programName(program, text, capacity);
}

// ---- the audio thread ----
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

void Vst3Effect::beginBlock() {
    audioThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void Vst3Effect::applyHostValue(ParamID id, double value, int32_t offset) {
    double v = 0.0;
    if (!normalize(id, value, v))
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

void Vst3Effect::renderEngine(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    engine.process(inL, inR, outL, outR, frames);
}

void Vst3Effect::idleBlock() {
    reportOffset = 0;
    engine.flush();
}
