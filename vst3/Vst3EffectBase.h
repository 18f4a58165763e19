// What every Corvex VST3 plug-in does the same way: one object that is the
// component (the audio processor) and its own edit controller. Here are the
// COM plumbing, the buses and their arrangements, activation, the block
// walk, the normalized-value plumbing of the parameters, the state streams,
// the bypass and program parameters and the root unit with its program list.
// A plug-in derives from it and gives only what is its own: its engine (the
// hooks below), its parameter table, its state, its class and its panel.
// The view (vst3/Vst3View.h) is the same for every plug-in: it embeds the
// plug-in's panel and idles it; the panel's edits reach the host here.
//
// Parameters: ids 0..n-1 are the engine's parameters by index; n is the
// bypass (a 10 ms crossfade to the dry input, the amp kept running so that
// leaving bypass does not click); n+1 selects one of the programs (the
// program list's parameter).
//
// Threads. Audio thread: process (and setProcessing, which hosts call there
// too). Every other call: the host's main (UI) thread. Each hook below says
// which thread calls it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "editor/ParameterPort.h"
#include "vst3/Vst3Abi.h"
#include "vst3/Vst3Shared.h"

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

class Vst3EffectBase : public Vst3ComponentPart,
                       public v3::IAudioProcessor,
                       public Vst3ControllerPart,
                       public v3::IUnitInfo,
                       public v3::IConnectionPoint,
                       public v3::IProcessContextRequirements {
public:
    static constexpr v3::ProgramListID kProgramListId = 1;

    virtual ~Vst3EffectBase();
    Vst3EffectBase(const Vst3EffectBase&) = delete;
    Vst3EffectBase& operator=(const Vst3EffectBase&) = delete;

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
    // The one view hosts ask for by name, "editor": the plug-in's panel in a
    // Vst3View (vst3/Vst3View.h); none for other names.
    v3::IPlugView* V3_CALL createView(v3::FIDString name) override;
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

    // ---- IUnitInfo (main thread): the root unit with the programs ----
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

    // ---- IConnectionPoint (main thread): one object, nothing to exchange ----
    v3::tresult V3_CALL connect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL disconnect(v3::IConnectionPoint* other) override;
    v3::tresult V3_CALL notify(v3::IMessage* message) override;

    // ---- IProcessContextRequirements (main thread) ----
    v3::uint32 V3_CALL getProcessContextRequirements() override { return 0; }

    // The host's context given to initialize (main thread), or null.
    v3::FUnknown* hostContext() const { return context; }

    // ---- for the view (UI thread) ----
    // A new panel bound to the plug-in's port; null when there is none.
    virtual std::unique_ptr<corvex::Panel> makePanel() = 0;
    // The panel's size at scale 1.
    virtual void panelSize(uint32_t& width, uint32_t& height) const = 0;
    // The parameters the panel shows (the engine's), the value the
    // controller shows for one, and whether the user holds its control.
    int panelParameters() const { return engineParams; }
    float panelValue(int index) const;
    bool isHeld(int index) const { return isEngineParam(static_cast<v3::ParamID>(index)) && held[index]; }
    // Each idle of the view, after the panel's: main-thread chores (what
    // the audio thread let go of, e.g. a cabinet replaced by a loaded one).
    virtual void panelIdled() { tidy(); }
    // The panel's edits (UI thread): a control held, moved and let go reach
    // the host as beginEdit, performEdit..., endEdit, which sends them to the
    // audio side; the controller shows the value at once. An engine
    // parameter or the program; other ids are ignored. A move outside a
    // gesture (a button, a step) is one edit of its own.
    void beginPanelEdit(v3::ParamID id);
    void panelEdit(v3::ParamID id, double value);
    void endPanelEdit(v3::ParamID id);

protected:
    // `engineParams` engine parameters, then the bypass and the program;
    // `programs` programs; a state stream longer than `maxStateBytes` is
    // refused unread.
    Vst3EffectBase(int engineParams, int programs, std::size_t maxStateBytes);

    // ---- the engine's traits ----
    // Main thread.
    virtual bool setEngineRate(double sampleRate) = 0;
    virtual bool loadEngineState(const unsigned char* data, std::size_t size) = 0;
    virtual bool saveEngineState(std::vector<unsigned char>& bytes) = 0;
    // Whether the controller takes these bytes as the component's state.
    virtual bool acceptsComponentState(const std::vector<unsigned char>& bytes) const = 0;
    // After a main-thread call that may leave work behind (activation, a
    // state saved or loaded): whatever the audio thread let go of.
    virtual void tidy() {}
    // The engine's table: name, units, steps, default and flags of one
    // parameter (`info` already zeroed, its id and unit set).
    virtual void engineParameterInfo(int index, v3::ParameterInfo& info) const = 0;
    virtual bool engineDisplayText(int index, float value, char* text, std::size_t capacity) const = 0;
    virtual bool engineTextToValue(int index, const char* text, double& value) const = 0;
    // A normalized value (held to 0..1) on the parameter's steps.
    virtual double engineSteps(int index, double value) const = 0;
    // The plain value of a normalized one and back (the identity unless a
    // parameter is a list).
    virtual double enginePlain(int, double normalized) const { return normalized; }
    virtual double engineNormalized(int, double plain) const { return plain; }
    // Any thread.
    virtual float engineValue(int index) const = 0;
    virtual int engineProgram() const = 0;
    virtual bool engineProgramName(int program, char* text, std::size_t capacity) const = 0;
    // The queued changes applied now (main thread, or audio inside process).
    virtual void flushEngine() = 0;
    // Main thread: the controller's values from the engine's, all at once.
    virtual void showEngineValues();

    // Audio thread, in process: the block starts; one host value at a sample
    // (its offset in the block); the engine over n frames (inR null for a
    // mono feed); a block that rendered nothing; the block ends.
    virtual void beginBlock() {}
    virtual void applyHostValue(v3::ParamID id, double value, int32_t offset) = 0;
    virtual void renderEngine(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) = 0;
    virtual void idleBlock() { flushEngine(); }
    virtual void endBlock(int32_t) {}

    // A host's normalized value for one of our parameters: NaN and unknown
    // ids refused, the rest held to 0..1 and to the parameter's steps.
    bool normalize(v3::ParamID id, double in, double& out) const;
    int programOf(double normalized) const;
    double programValue(int program) const;
    bool isEngineParam(v3::ParamID id) const { return id < static_cast<v3::ParamID>(engineParams); }

    const int engineParams;
    const int programCount;
    const v3::ParamID bypassId;
    const v3::ParamID programId;
    const int paramCount;
    const std::size_t maxStateBytes;

    v3::FUnknown* context = nullptr;
    v3::IComponentHandler* handler = nullptr;

    // Set on the main thread while inactive, used by the audio thread: the
    // buses, the bypass and the buffers around the engine.
    corvex::vst3::AudioPath path;
    std::atomic<bool> active{false};

    // What the controller shows, by parameter id (the main thread writes;
    // the audio thread writes the values it sends to the host).
    std::unique_ptr<std::atomic<double>[]> shown;

    // Audio thread only: the block's output changes, during process.
    v3::IParameterChanges* outChanges = nullptr;

private:
    bool isPanelEdit(v3::ParamID id) const { return isEngineParam(id) || id == programId; }

    std::atomic<uint32_t> references{1};
    // The controls the user holds, by engine parameter (UI thread).
    std::unique_ptr<bool[]> held;
};

// A panel's port (`Port`: corvex::ParameterPort or one derived from it) whose
// parameter calls are the effect's: the values the controller shows, and
// the user's moves as the host's edits (UI thread).
template <class Port>
class Vst3PanelPort : public Port {
public:
    template <class... PortArgs>
    explicit Vst3PanelPort(Vst3EffectBase& owner, PortArgs&&... args)
        : Port(std::forward<PortArgs>(args)...), effect(owner) {}

    float get(int index) const override { return effect.panelValue(index); }
    void set(int index, float value) override { effect.panelEdit(static_cast<v3::ParamID>(index), value); }
    void beginGesture(int index) override { effect.beginPanelEdit(static_cast<v3::ParamID>(index)); }
    void endGesture(int index) override { effect.endPanelEdit(static_cast<v3::ParamID>(index)); }

protected:
    Vst3EffectBase& effect;
};
