// The VST3 face of the amp: one object that is the component (the audio
// processor) and its own edit controller, over one AmpEngine.
//
// Why one object and not two. Hosts differ: most (Ardour, Reaper, Bitwig,
// the format's own validator) create a component and, when it names no
// controller class, ask the component itself for the edit controller;
// hosts that run the two halves in different processes need two classes,
// and none of the hosts we test with does. Two objects would keep two
// copies of the parameters, the channel memory and the programs in step
// through the host's messages and state calls; one object keeps one engine
// per instance, and the engine already separates the threads by
// construction (its control-thread calls are queued for the audio thread).
// What the controller shows (getParamNormalized) is kept apart from what
// the engine holds, as the format expects: the host moves the audio side
// only through process(), the controller side through setParamNormalized;
// values the engine changes itself (a Channel switch recalls eight values,
// a program or state load) are sent to the host as output parameter
// changes from process() and, after a state load, through the component
// handler's restartComponent.
//
// Threads. Audio thread: process (and setProcessing, which hosts call
// there too). Every other call: the host's main (UI) thread.
//
// Parameters: ids 0..12 are the engine's parameters by index; 13 is the
// bypass (a 10 ms crossfade to the dry input, the amp kept running so that
// leaving bypass does not click); 14 selects one of the ten programs (the
// program list's parameter).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "editor/ParameterPort.h"
#include "model/AmpEngine.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3EffectBase.h"

namespace corvex {
namespace vst3 {
constexpr v3::ParamID kBypassId = 13;
constexpr v3::ParamID kProgramId = 14;
constexpr int kParamCount = 15;
constexpr v3::ProgramListID kProgramListId = Vst3EffectBase::kProgramListId;
}  // namespace vst3
}  // namespace corvex

class Vst3Effect : public Vst3EffectBase, private corvex::AmpEngine::Listener {
public:
    Vst3Effect();
    ~Vst3Effect() override;

    // ---- for the view (UI thread): the amp's panel ----
    std::unique_ptr<corvex::Panel> makePanel() override { return corvex::createPanel(panelPort); }
    void panelSize(uint32_t& width, uint32_t& height) const override {
        width = corvex::kPanelWidth;
        height = corvex::kPanelHeight;
    }

private:
    // The panel's port (UI thread). Its values are the ones the controller
    // shows; a move goes to the host as an edit (beginEdit, performEdit,
    // endEdit), which sends it to the audio side.
    Vst3PanelPort<corvex::ParameterPort> panelPort{*this};

    // The engine's news of a stored value (audio thread inside process or
    // the thread that flushes).
    void parameterChanged(int index, float value) override;

    // The engine's traits.
    bool setEngineRate(double sampleRate) override { return engine.setSampleRate(sampleRate); }
    bool loadEngineState(const unsigned char* data, std::size_t size) override;
    bool saveEngineState(std::vector<unsigned char>& bytes) override;
    bool acceptsComponentState(const std::vector<unsigned char>& bytes) const override;
    void engineParameterInfo(int index, v3::ParameterInfo& info) const override;
    bool engineDisplayText(int index, float value, char* text, std::size_t capacity) const override;
    bool engineTextToValue(int index, const char* text, double& value) const override;
    double engineSteps(int index, double value) const override;
    float engineValue(int index) const override { return engine.value(index); }
    int engineProgram() const override { return engine.currentProgram(); }
    bool engineProgramName(int program, char* text, std::size_t capacity) const override;
    void flushEngine() override { engine.flush(); }
    void beginBlock() override;
    void applyHostValue(v3::ParamID id, double value, int32_t offset) override;
    void renderEngine(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) override;
    void idleBlock() override;

    corvex::AmpEngine engine;

    // The thread in process (the engine's news on any other is not sent).
    std::atomic<std::thread::id> audioThread{};
    // Audio thread only.
    int32_t reportOffset = 0;
    int applyingIndex = -1;  // the host's own value: not echoed back
};
