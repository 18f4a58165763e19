// The VST 2.4 face of the rig: an AudioEffectX over one RigEngine, on the
// same shell classes the head's Corvex uses. Its own identity: "Corvex Rig",
// unique id 'CVRG'. Nineteen parameters (the head's thirteen, then the
// rig's), ten programs, and the rig's state as the chunk (bank and program
// chunks are the same: the whole state, impulse included).
//
// Threads: the audio thread calls processReplacing; the host's thread
// everything else (parameters may also come from any thread: they are
// queued to the engine, which takes them at the next block). setSampleRate
// comes while the effect is suspended, as hosts do.
#pragma once

#include <atomic>
#include <vector>

#include "rig/RigEngine.h"
#include "rig/RigEnginePort.h"
#include "shell/AudioEffectX.h"

class RigEffect : public AudioEffectX {
public:
    static constexpr VstInt32 kNumParams = corvex::RigEngine::kParameterCount;
    static constexpr VstInt32 kNumPrograms = corvex::RigEngine::kProgramCount;

    explicit RigEffect(audioMasterCallback audioMaster);
    // Host thread: the editor goes before the port and engine it reads.
    ~RigEffect() override;

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;  // audio
    void setSampleRate(float sampleRate) override;                                           // host, suspended
    void resume() override;   // host thread: audio about to run
    void suspend() override;  // host thread: audio stopped

    void setParameter(VstInt32 index, float value) override;  // any thread
    float getParameter(VstInt32 index) override;              // any thread
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* label) override;

    void setProgram(VstInt32 program) override;  // host thread
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Host thread. The pointer stays valid until the next getChunk.
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;

    corvex::RigEngine& engine() { return rig; }

private:
    // The editor's port: values and gestures go through the effect to the
    // host, as a host's own changes would (UI thread).
    class EditorPort : public corvex::RigEnginePort {
    public:
        EditorPort(corvex::RigEngine& engine, RigEffect& effect) : RigEnginePort(engine), effect(effect) {}
        void set(int index, float value) override { effect.setParameterAutomated(index, value); }
        void beginGesture(int index) override { effect.beginEdit(index); }
        void endGesture(int index) override { effect.endEdit(index); }
        void idleHost() override { effect.masterIdle(); }

    protected:
        void programChanged(int program) override;

    private:
        RigEffect& effect;
    };

    // While suspended no audio runs: changes are applied at once (flush), so
    // a host reading a value back sees it; while resumed the next block
    // applies them.
    void applyIfSuspended();

    corvex::RigEngine rig;
    std::atomic<bool> running{false};
    std::vector<unsigned char> chunk;  // what getChunk handed out last
    std::vector<float> silence;
    EditorPort port{rig, *this};
};
