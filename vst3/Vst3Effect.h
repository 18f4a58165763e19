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
#include <cstdint>
#include <thread>
#include <vector>

#include "editor/ParameterPort.h"
#include "model/AmpEngine.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3Shared.h"

namespace corvex {
namespace vst3 {
constexpr v3::ParamID kBypassId = 13;
constexpr v3::ParamID kProgramId = 14;
constexpr int kParamCount = 15;
constexpr v3::ProgramListID kProgramListId = 1;
}  // namespace vst3
}  // namespace corvex

// The component's and the controller's getState/setState have the same
// signature; these two halves give each its own name.
class Vst3ComponentPart : public v3::IComponent {
public:
    v3::tresult V3_CALL setState(v3::IBStream* state) override { return setComponentStream(state); }
    v3::tresult V3_CALL getState(v3::IBStream* state) override { return getComponentStream(state); }
    virtual v3::tresult setComponentStream(v3::IBStream* state) = 0;
    virtual v3::tresult getComponentStream(v3::IBStream* state) = 0;
};
class Vst3ControllerPart : public v3::IEditController {
public:
    v3::tresult V3_CALL setState(v3::IBStream* state) override { return setControllerStream(state); }
    v3::tresult V3_CALL getState(v3::IBStream* state) override { return getControllerStream(state); }
    virtual v3::tresult setControllerStream(v3::IBStream* state) = 0;
    virtual v3::tresult getControllerStream(v3::IBStream* state) = 0;
};

class Vst3Effect : public Vst3ComponentPart,
                   public v3::IAudioProcessor,
                   public Vst3ControllerPart,
                   public v3::IUnitInfo,
                   public v3::IConnectionPoint,
                   public v3::IProcessContextRequirements,
                   private corvex::AmpEngine::Listener,
                   private corvex::ParameterPort {
public:
    Vst3Effect();
    virtual ~Vst3Effect();
    Vst3Effect(const Vst3Effect&) = delete;
    Vst3Effect& operator=(const Vst3Effect&) = delete;

    // ---- FUnknown (any thread) ----
    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override;
    v3::uint32 V3_CALL release() override;

    // ---- IPluginBase (main thread) ----
    v3::tresult V3_CALL initialize(v3::FUnknown* context) override;
    v3::tresult V3_CALL terminate() override;

    // ---- IComponent (main thread) ----
    v3::tresult V3_CALL getControllerClassId(v3::TUID classId) override;
    v3::tresult V3_CALL setIoMode(v3::IoMode mode) override;
    v3::int32 V3_CALL getBusCount(v3::MediaType type, v3::BusDirection dir) override;
    v3::tresult V3_CALL getBusInfo(v3::MediaType type, v3::BusDirection dir, v3::int32 index,
                                   v3::BusInfo& bus) override;
    v3::tresult V3_CALL getRoutingInfo(v3::RoutingInfo& inInfo, v3::RoutingInfo& outInfo) override;
    v3::tresult V3_CALL activateBus(v3::MediaType type, v3::BusDirection dir, v3::int32 index,
                                    v3::TBool state) override;
    v3::tresult V3_CALL setActive(v3::TBool state) override;
    v3::tresult setComponentStream(v3::IBStream* state) override;
    v3::tresult getComponentStream(v3::IBStream* state) override;

    // ---- IAudioProcessor ----
    v3::tresult V3_CALL setBusArrangements(v3::SpeakerArrangement* inputs, v3::int32 numIns,
                                           v3::SpeakerArrangement* outputs, v3::int32 numOuts) override;  // main
    v3::tresult V3_CALL getBusArrangement(v3::BusDirection dir, v3::int32 index,
                                          v3::SpeakerArrangement& arr) override;  // main
    v3::tresult V3_CALL canProcessSampleSize(v3::int32 symbolicSampleSize) override;  // main
    v3::uint32 V3_CALL getLatencySamples() override;                                  // any
    v3::tresult V3_CALL setupProcessing(v3::ProcessSetup& setup) override;             // main, inactive
    v3::tresult V3_CALL setProcessing(v3::TBool state) override;                       // audio or main
    v3::tresult V3_CALL process(v3::ProcessData& data) override;                       // audio
    v3::uint32 V3_CALL getTailSamples() override;                                      // any

    // ---- IEditController (main thread) ----
    v3::tresult V3_CALL setComponentState(v3::IBStream* state) override;
    v3::tresult setControllerStream(v3::IBStream* state) override;
    v3::tresult getControllerStream(v3::IBStream* state) override;
    v3::int32 V3_CALL getParameterCount() override;
    v3::tresult V3_CALL getParameterInfo(v3::int32 paramIndex, v3::ParameterInfo& info) override;
    v3::tresult V3_CALL getParamStringByValue(v3::ParamID id, v3::ParamValue valueNormalized,
                                              v3::String128 string) override;
    v3::tresult V3_CALL getParamValueByString(v3::ParamID id, v3::TChar* string,
                                              v3::ParamValue& valueNormalized) override;
    v3::ParamValue V3_CALL normalizedParamToPlain(v3::ParamID id, v3::ParamValue valueNormalized) override;
    v3::ParamValue V3_CALL plainParamToNormalized(v3::ParamID id, v3::ParamValue plainValue) override;
    v3::ParamValue V3_CALL getParamNormalized(v3::ParamID id) override;
    v3::tresult V3_CALL setParamNormalized(v3::ParamID id, v3::ParamValue value) override;
    v3::tresult V3_CALL setComponentHandler(v3::IComponentHandler* handler) override;
    v3::IPlugView* V3_CALL createView(v3::FIDString name) override;

    // ---- IUnitInfo (main thread) ----
    v3::int32 V3_CALL getUnitCount() override;
    v3::tresult V3_CALL getUnitInfo(v3::int32 unitIndex, v3::UnitInfo& info) override;
    v3::int32 V3_CALL getProgramListCount() override;
    v3::tresult V3_CALL getProgramListInfo(v3::int32 listIndex, v3::ProgramListInfo& info) override;
    v3::tresult V3_CALL getProgramName(v3::ProgramListID listId, v3::int32 programIndex,
                                       v3::String128 name) override;
    v3::tresult V3_CALL getProgramInfo(v3::ProgramListID listId, v3::int32 programIndex, const char* attributeId,
                                       v3::String128 attributeValue) override;
    v3::tresult V3_CALL hasProgramPitchNames(v3::ProgramListID listId, v3::int32 programIndex) override;
    v3::tresult V3_CALL getProgramPitchName(v3::ProgramListID listId, v3::int32 programIndex, v3::int16 midiPitch,
                                            v3::String128 name) override;
    v3::UnitID V3_CALL getSelectedUnit() override;
    v3::tresult V3_CALL selectUnit(v3::UnitID unitId) override;
    v3::tresult V3_CALL getUnitByBus(v3::MediaType type, v3::BusDirection dir, v3::int32 busIndex,
                                     v3::int32 channel, v3::UnitID& unitId) override;
    v3::tresult V3_CALL setUnitProgramData(v3::int32 listOrUnitId, v3::int32 programIndex,
                                           v3::IBStream* data) override;

    // ---- IConnectionPoint (main thread): nothing to exchange ----
    v3::tresult V3_CALL connect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL disconnect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL notify(v3::IMessage* message) override;

    // ---- IProcessContextRequirements (main thread) ----
    v3::uint32 V3_CALL getProcessContextRequirements() override { return 0; }

    // ---- for the view (UI thread) ----
    corvex::ParameterPort& panelPort() { return *this; }
    bool isHeld(int index) const { return index >= 0 && index < corvex::kNumParameters && held[index]; }
    v3::FUnknown* hostContext() const { return context; }

private:
    // ParameterPort: the panel's calls (UI thread). Its values are the ones
    // the controller shows; a move goes to the host as an edit (beginEdit,
    // performEdit, endEdit), which sends it to the audio side.
    float get(int index) const override;
    void set(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;

    // The engine's news of a stored value (audio thread inside process or
    // the thread that flushes).
    void parameterChanged(int index, float value) override;

    // Audio thread: one host value at a sample (its offset in the block).
    void applyHostValue(v3::ParamID id, double value, int32_t offset);
    // Main thread: the controller's values from the engine's, all at once.
    void showEngineValues();
    // Main thread: a state the engine accepted reaches the running amp and
    // the controller's values; the host is told to read them again.
    void adoptLoadedState();

    std::atomic<uint32_t> references{1};
    v3::FUnknown* context = nullptr;
    v3::IComponentHandler* handler = nullptr;
    bool held[corvex::kNumParameters] = {};  // controls the user holds (UI thread)

    corvex::AmpEngine engine;

    // Set on the main thread while inactive, used by the audio thread: the
    // buses, the bypass and the buffers around the engine.
    corvex::vst3::AudioPath path;
    std::atomic<bool> active{false};

    // What the controller shows, by parameter id (main thread writes, the
    // audio thread writes the values it sends to the host).
    std::atomic<double> shown[corvex::vst3::kParamCount];

    // The thread in process (the engine's news on any other is not sent).
    std::atomic<std::thread::id> audioThread{};
    // Audio thread only.
    v3::IParameterChanges* outChanges = nullptr;  // during process
    int32_t reportOffset = 0;
    int applyingIndex = -1;  // the host's own value: not echoed back
};
