// Corvex: the valve guitar amp head effect of the VST 2.4 build, the VST 2.4
// face of the format-neutral engine (model/AmpEngine.h). The engine keeps the
// thirteen parameters (model/ParameterTable.h), the memory of the two preamp
// channels, the ten programs in the chunk layout of model/Programs.h and the
// amp model; Corvex answers the host's dispatcher, chunks and displays from
// it and forwards every stored value to its editor.
//
// Threads. Three kinds of thread call in: the audio thread
// (processReplacing), the host's thread for everything else (the
// dispatcher's opcodes, automation), and the editor's UI thread, which sets
// parameters when the user moves a control. What they share:
//
//   value                       written by                 read by
//   parameters[]                setParameter               audio (once per block), any
//   activeChannel, stereo,      setParameter               audio (once per block)
//     highQuality, boost,
//     driveGain
//   channelSettings[],          setParameter, setProgram,  the same writers
//     programs[], curProgram      setChunk, setProgramName   (and the host through getChunk)
//   sampleRate                  setSampleRate              setParameter("LowQ/HighQ")
//   amp's records and design    setSampleRate (host, or    audio, inside the model's guard
//                                 the thread that flips
//                                 "LowQ/HighQ"), construction
//   editor                      construction only          setParameter (any thread)
//
// The single-writer rule: the writers in the middle column run one at a
// time. The atomics make every value the audio thread reads safe from any
// thread, but channelSettings[] and programs[] are plain data: the host's
// thread and the editor's UI thread must not set parameters, programs or
// chunks at the same instant (hosts serialise their own calls, and take a
// control's change from the UI thread in turn with them). The other formats
// do not have this caveat: they reach the engine through its queue.
//
// The audio thread never waits and never writes shared state: it reads the
// atomics once at the start of a block and only tries the amp model's
// guard; a block that finds a design being copied in outputs silence. The
// designs for both positions of "LowQ/HighQ" are computed when the rate is
// set, so a quality switch only copies one in: the UI thread that flips it
// while audio runs waits (yielding) in the guard until the block in
// progress ends.
//
// getChunk hands the host a pointer into programs[] itself, not a copy: it
// stays valid until the next setChunk, setProgram or setParameter changes
// the record under it, which hosts do not do while reading a chunk.
#pragma once

#include <atomic>

#include "model/AmpEngine.h"
#include "shell/AudioEffectX.h"

class Corvex : public AudioEffectX, private corvex::AmpEngine::Listener {
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
    // Host thread: stores the rate and designs the amp model for it (both
    // quality positions), waiting for the block in progress to copy it in.
    void setSampleRate(float sampleRate) override;

    // Host or UI thread, one writer at a time (see above): stores the value
    // as given, writes it through into the current program, derives the
    // channel and switch states, then tells the editor. "LowQ/HighQ" also
    // copies its design in, waiting for the block in progress.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;                    // any thread
    void getParameterName(VstInt32 index, char* text) override;     // any thread
    void getParameterDisplay(VstInt32 index, char* text) override;  // any thread
    void getParameterLabel(VstInt32 index, char* label) override;   // any thread

    void setProgram(VstInt32 program) override;                                          // host thread
    void setProgramName(char* name) override;                                            // host thread
    void getProgramName(char* name) override;                                            // any thread
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;  // any thread

    // Host thread. The host reads (and may keep) a pointer into the
    // effect's own program storage; nothing is copied.
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    bool getEffectName(char* name) override;     // any thread
    bool getVendorString(char* text) override;   // any thread
    bool getProductString(char* text) override;  // any thread
    VstInt32 getVendorVersion() override;        // any thread

    // The engine this effect is the face of (other adapters of the same
    // process have their own).
    corvex::AmpEngine& ampEngine() { return engine; }

protected:
    float parameter(VstInt32 index) const { return engine.parameters[index].load(std::memory_order_relaxed); }

    // The engine: parameters, channels, programs and the amp model.
    corvex::AmpEngine engine;

    // The engine's state under the names the effect has always used.
    // Parameter state: written by whichever thread sets parameters, read by
    // the audio thread: relaxed atomics, lock-free on every target.
    std::atomic<float> (&parameters)[kNumParams] = engine.parameters;
    std::atomic<VstInt32>& activeChannel = engine.activeChannel;  // 0 or 1: the selected preamp channel
    std::atomic<VstInt32>& stereo = engine.stereo;                // 1 when "Mono/Stereo" >= 0.5
    std::atomic<VstInt32>& highQuality = engine.highQuality;      // 1 when "LowQ/HighQ" >= 0.5
    std::atomic<VstInt32>& boost = engine.boost;                  // 1 when "TQZ Boost" >= 0.5
    std::atomic<double>& driveGain = engine.driveGain;            // taper of "Drive"
    // Working copy of both channels' values (the parameter writer only).
    ChannelSettings (&channelSettings)[2] = engine.channelSettings;
    // The programs in chunk layout; the host reads them in place.
    CorvexProgram (&programs)[kNumPrograms] = engine.programs;
    // The amp model: both sides' chain records, the oversampling, and the
    // guard between a design being copied in and an audio block.
    AmpModel& amp = engine.amp;

private:
    // The engine stored a value: the editor hears of it.
    void parameterChanged(int index, float value) override;
};

static_assert(std::atomic<float>::is_always_lock_free, "parameters must be lock-free");
static_assert(std::atomic<double>::is_always_lock_free, "driveGain must be lock-free");
static_assert(std::atomic<VstInt32>::is_always_lock_free, "flags must be lock-free");
