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
// The editor: the rig's panel (the head's panel and the rig strip) in the
// view the head's plug-in uses (vst3/Vst3View.h). Its parameter moves reach
// the host as edits, as the head's do; a program step is an edit of the
// program parameter; an impulse is read and checked on the UI thread and
// handed to the audio thread by the engine, lock-free, and the cabinet
// switched to it by edits.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "rig/RigEngine.h"
#include "rig/RigEnginePort.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3EffectBase.h"
#include "vst3/rig/RigVst3Ids.h"

class RigVst3Effect : public Vst3EffectBase {
public:
    RigVst3Effect();
    ~RigVst3Effect() override;

    // The cabinet's latency (any thread).
    v3::uint32 V3_CALL getLatencySamples() override;

    // ---- for the view (UI thread): the rig's panel ----
    std::unique_ptr<corvex::Panel> makePanel() override;
    void panelSize(uint32_t& width, uint32_t& height) const override;

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

    // The rig panel's port (UI thread): the parameters as the controller
    // shows them and the user's moves as edits (Vst3PanelPort); the meters,
    // lamp, names and impulse from the engine (RigEnginePort); the program
    // as the controller shows it, stepped by an edit of the program
    // parameter.
    class PanelPort final : public Vst3PanelPort<corvex::RigEnginePort> {
    public:
        PanelPort(RigVst3Effect& owner, corvex::RigEngine& engine)
            : Vst3PanelPort<corvex::RigEnginePort>(owner, engine), rigEffect(owner) {}
        std::string programName() const override;
        void stepProgram(int delta) override;

    private:
        RigVst3Effect& rigEffect;
    };
    std::unique_ptr<PanelPort> panelPort;

    // The engine's values as the host last heard of them (their bits).
    std::atomic<uint32_t> reported[corvex::RigEngine::kParameterCount];
};
