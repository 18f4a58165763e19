// The VST3 face of Corvex Rig: one object that is the component and its own
// edit controller (as the head's Vst3Effect, for the same reasons), over one
// RigEngine. The block walk, the buses, the bypass, the silence flags, the
// streams and the factory are the head's (vst3/Vst3Shared.h); what is here is
// the rig's: its parameters, programs and state.
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
#include <cstdint>
#include <memory>

#include "rig/RigEngine.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3Effect.h"
#include "vst3/Vst3Shared.h"
#include "vst3/rig/RigVst3Ids.h"

class RigVst3Effect : public Vst3ComponentPart,
                      public v3::IAudioProcessor,
                      public Vst3ControllerPart,
                      public v3::IUnitInfo,
                      public v3::IConnectionPoint,
                      public v3::IProcessContextRequirements {
public:
    RigVst3Effect();
    virtual ~RigVst3Effect();
    RigVst3Effect(const RigVst3Effect&) = delete;
    RigVst3Effect& operator=(const RigVst3Effect&) = delete;

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
                                          v3::SpeakerArrangement& arr) override;      // main
    v3::tresult V3_CALL canProcessSampleSize(v3::int32 symbolicSampleSize) override;  // main
    v3::uint32 V3_CALL getLatencySamples() override;                                  // any
    v3::tresult V3_CALL setupProcessing(v3::ProcessSetup& setup) override;            // main, inactive
    v3::tresult V3_CALL setProcessing(v3::TBool state) override;                      // audio or main
    v3::tresult V3_CALL process(v3::ProcessData& data) override;                      // audio
    v3::uint32 V3_CALL getTailSamples() override;                                     // any

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

    // ---- IUnitInfo (main thread): the root unit with the ten programs ----
    v3::int32 V3_CALL getUnitCount() override;
    v3::tresult V3_CALL getUnitInfo(v3::int32 unitIndex, v3::UnitInfo& info) override;
    v3::int32 V3_CALL getProgramListCount() override;
    v3::tresult V3_CALL getProgramListInfo(v3::int32 listIndex, v3::ProgramListInfo& info) override;
    v3::tresult V3_CALL getProgramName(v3::ProgramListID listId, v3::int32 programIndex, v3::String128 name) override;
    v3::tresult V3_CALL getProgramInfo(v3::ProgramListID listId, v3::int32 programIndex, const char* attributeId,
                                       v3::String128 attributeValue) override;
    v3::tresult V3_CALL hasProgramPitchNames(v3::ProgramListID listId, v3::int32 programIndex) override;
    v3::tresult V3_CALL getProgramPitchName(v3::ProgramListID listId, v3::int32 programIndex, v3::int16 midiPitch,
                                            v3::String128 name) override;
    v3::UnitID V3_CALL getSelectedUnit() override;
    v3::tresult V3_CALL selectUnit(v3::UnitID unitId) override;
    v3::tresult V3_CALL getUnitByBus(v3::MediaType type, v3::BusDirection dir, v3::int32 busIndex, v3::int32 channel,
                                     v3::UnitID& unitId) override;
    v3::tresult V3_CALL setUnitProgramData(v3::int32 listOrUnitId, v3::int32 programIndex, v3::IBStream* data) override;

    // ---- IConnectionPoint (main thread): nothing to exchange ----
    v3::tresult V3_CALL connect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL disconnect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL notify(v3::IMessage* message) override;

    // ---- IProcessContextRequirements (main thread) ----
    v3::uint32 V3_CALL getProcessContextRequirements() override { return 0; }

private:
    // Audio thread: one host value at a sample (its offset in the block).
    void applyHostValue(v3::ParamID id, double value, int32_t offset);
    // Audio thread: the engine's values that differ from what the host was
    // last told, sent as output changes at `offset`.
    void reportChanges(int32_t offset);
    // Main thread: the controller's values from the engine's, all at once.
    void showEngineValues();

    std::atomic<uint32_t> references{1};
    v3::FUnknown* context = nullptr;
    v3::IComponentHandler* handler = nullptr;

    std::unique_ptr<corvex::RigEngine> engine;

    // Set on the main thread while inactive, used by the audio thread.
    corvex::vst3::AudioPath path;
    std::atomic<bool> active{false};

    // What the controller shows, by parameter id (the main thread writes;
    // the audio thread writes the values it sends to the host).
    std::atomic<double> shown[corvex::rigvst3::kParamCount];
    // The engine's values as the host last heard of them (their bits).
    std::atomic<uint32_t> reported[corvex::RigEngine::kParameterCount];

    // Audio thread only: the block's output changes, during process.
    v3::IParameterChanges* outChanges = nullptr;
};
