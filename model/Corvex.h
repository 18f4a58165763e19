// Corvex: the valve guitar amp head effect. Thirteen automatable parameters,
// eight of them remembered separately for each of the two preamp channels,
// ten programs kept in the chunk layout of model/Programs.h, and the
// signal-processing state of the amp model.
#pragma once

#include <atomic>

#include "model/AmpModel.h"
#include "model/ParameterTable.h"
#include "model/Programs.h"
#include "model/SignalChain.h"
#include "shell/AudioEffectX.h"

class Corvex : public AudioEffectX {
public:
    // Parameter indexes; the editor's control tags are the same numbers.
    // Everything else about each parameter is in model/ParameterTable.h.
    enum Parameter : VstInt32 {
        kInput = corvex::kInput,
        kChannel = corvex::kChannel,
        kDrive = corvex::kDrive,
        kMixPls = corvex::kMixPls,
        kLow = corvex::kLow,
        kMid = corvex::kMid,
        kHigh = corvex::kHigh,
        kContour = corvex::kContour,
        kPowerAmp = corvex::kPowerAmp,
        kVolume = corvex::kVolume,
        kMonoStereo = corvex::kMonoStereo,
        kQuality = corvex::kQuality,
        kBoost = corvex::kBoost,
        kNumParams = corvex::kNumParameters
    };
    static constexpr VstInt32 kNumPrograms = kNumCorvexPrograms;

    // Makes the effect's editor for it. The editor attaches itself to the
    // effect from its constructor; a factory that cannot make one throws or
    // attaches nothing, and the effect runs without an editor. The plug-in
    // library supplies the front panel's factory, so the effect itself links
    // no GUI.
    using EditorFactory = void (*)(AudioEffect* effect);

    // Host thread that loads the plug-in. Without a factory the effect has
    // no editor (the tests and tools that only process audio).
    explicit Corvex(audioMasterCallback audioMaster, EditorFactory makeEditor = nullptr);

    // Audio thread only.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    // Host thread (and the "LowQ/HighQ" parameter): stores the rate and
    // redesigns the amp model for it.
    void setSampleRate(float sampleRate) override;

    // Any thread: stores the value as given, writes it through into the
    // current program, derives the channel and switch states, then tells
    // the editor.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;               // any thread
    void getParameterName(VstInt32 index, char* text) override;     // any thread
    void getParameterDisplay(VstInt32 index, char* text) override;  // any thread
    void getParameterLabel(VstInt32 index, char* label) override;   // any thread

    void setProgram(VstInt32 program) override;   // host thread
    void setProgramName(char* name) override;     // host thread
    void getProgramName(char* name) override;     // any thread
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;  // any thread

    // Host thread. The host reads (and may keep) a pointer into the
    // effect's own program storage; nothing is copied.
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    bool getEffectName(char* name) override;     // any thread
    bool getVendorString(char* text) override;   // any thread
    bool getProductString(char* text) override;  // any thread
    VstInt32 getVendorVersion() override;        // any thread

protected:
    float parameter(VstInt32 index) const { return parameters[index].load(std::memory_order_relaxed); }

    // Parameter state. Written by whichever thread sets parameters, read by
    // the audio thread: relaxed atomics, lock-free on every target.
    std::atomic<float> parameters[kNumParams];
    std::atomic<VstInt32> activeChannel;  // 0 or 1: the selected preamp channel
    std::atomic<VstInt32> stereo;         // 1 when "Mono/Stereo" >= 0.5
    std::atomic<VstInt32> highQuality;    // 1 when "LowQ/HighQ" >= 0.5
    std::atomic<VstInt32> boost;          // 1 when "TQZ Boost" >= 0.5
    std::atomic<double> driveGain;        // taper of "Drive"

    // Working copy of both channels' values (parameter-setting thread only).
    ChannelSettings channelSettings[2];
    // The programs in chunk layout; the host reads them in place.
    CorvexProgram programs[kNumPrograms];

    // The amp model: both sides' chain records, the oversampling, and the
    // guard between a redesign and an audio block.
    AmpModel amp;

private:
    CorvexProgram& currentProgram();

    // The values a block reads, taken once at its start (model/CorvexDsp.cpp).
    ChainSettings chainSettings() const;
};

static_assert(std::atomic<float>::is_always_lock_free, "parameters must be lock-free");
static_assert(std::atomic<double>::is_always_lock_free, "driveGain must be lock-free");
static_assert(std::atomic<VstInt32>::is_always_lock_free, "flags must be lock-free");
