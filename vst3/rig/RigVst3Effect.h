// The VST3 face of Corvex Rig: one object that is the component and its own
// edit controller (as the head's Vst3Effect, for the same reasons), over one
// RigEngine. The interfaces' plumbing is the head's (vst3/Vst3EffectBase.h),
// and so are the block walk, the buses, the bypass, the silence flags, the
// streams and the factory (vst3/Vst3Shared.h); what is here is the rig's:
// its engine, parameters, programs and state.
//
// Threads. Audio thread: process and setProcessing. Every other call: the
// host's main (UI) thread. The engine's state and impulse calls run there;
// it hands their results to the audio thread without locks.
//
// Values the engine changes itself (a Channel switch, a program) are sent to
// the host as output parameter changes from process(), at the sample where
// the change was applied; a loaded state is applied and shown at once, audio
// running or not, and the host told by restartComponent.
//
// No editor yet: createView gives none (the rig's panel comes with its strip).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "rig/RigEngine.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3EffectBase.h"
#include "vst3/rig/RigVst3Ids.h"

class RigVst3Effect : public Vst3EffectBase {
public:
    RigVst3Effect();
    ~RigVst3Effect() override;

    // The cabinet's latency (any thread).
    v3::uint32 V3_CALL getLatencySamples() override;
    // No editor yet (main thread).
    v3::IPlugView* V3_CALL createView(v3::FIDString name) override;

private:
    // The engine's traits.
    bool setEngineRate(double sampleRate) override { return engine->setSampleRate(sampleRate); }
    bool loadEngineState(const unsigned char* data, std::size_t size) override;
    bool saveEngineState(std::vector<unsigned char>& bytes) override;
    bool acceptsComponentState(const std::vector<unsigned char>& bytes) const override { return !bytes.empty(); }
    void tidy() override { engine->collect(); }  // cabinets the audio thread let go of
    void engineParameterInfo(int index, v3::ParameterInfo& info) const override;
    bool engineDisplayText(int index, float value, char* text, std::size_t capacity) const override;
    bool engineTextToValue(int index, const char* text, double& value) const override;
    double engineSteps(int index, double value) const override;
    double enginePlain(int index, double normalized) const override;
    double engineNormalized(int index, double plain) const override;
    float engineValue(int index) const override { return engine->value(index); }
    int engineProgram() const override { return engine->currentProgram(); }
    bool engineProgramName(int program, char* text, std::size_t capacity) const override;
    void flushEngine() override { engine->flush(); }
    void showEngineValues() override;
    void applyHostValue(v3::ParamID id, double value, int32_t offset) override;
    void renderEngine(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) override;
    void endBlock(int32_t frames) override;

    // Audio thread: the engine's values that differ from what the host was
    // last told, sent as output changes at `offset`.
    void reportChanges(int32_t offset);

    std::unique_ptr<corvex::RigEngine> engine;

    // The engine's values as the host last heard of them (their bits).
    std::atomic<uint32_t> reported[corvex::RigEngine::kParameterCount];
};
