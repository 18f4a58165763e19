// AudioEffect: the base of every effect. It owns the AEffect record handed to
// the host, answers the host's basic requests through its dispatcher, holds
// the editor and wraps the host callbacks of the basic interface. Derived
// classes replace the virtual operations they need; the base answers
// defaults.
#pragma once

#include "shell/vst2.h"

class AEffEditor;

class AudioEffect {
public:
    // Fills the record: magic, trampolines, program and parameter counts, one
    // input, two outputs, replacing processing, unique id "NoEf", version 1.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // The virtual operations, in slot order.
    virtual ~AudioEffect();  // deletes the editor

    // Any thread the host chooses (each opcode names its own thread).
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}     // host thread, after creation
    virtual void close() {}    // host thread, just before deletion
    virtual void suspend() {}  // host thread, processing stopped
    virtual void resume() {}   // host thread, processing about to start

    virtual void setSampleRate(float sampleRate);   // host thread, not during processing
    virtual void setBlockSize(VstInt32 blockSize);  // host thread, not during processing

    // Audio thread only.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames);

    virtual void setParameter(VstInt32 index, float value);  // any thread
    virtual float getParameter(VstInt32 index);              // any thread
    // UI thread: sets the parameter, then tells the host (automation).
    virtual VstIntPtr setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram();              // any thread
    virtual void setProgram(VstInt32 program);  // host thread
    virtual void setProgramName(char* name);    // host thread
    virtual void getProgramName(char* name);    // any thread; 25 bytes

    virtual void getParameterLabel(VstInt32 index, char* label);   // any thread
    virtual void getParameterDisplay(VstInt32 index, char* text);  // any thread
    virtual void getParameterName(VstInt32 index, char* text);     // any thread

    virtual VstInt32 getChunk(void** data, bool isPreset = false);                    // host thread
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false);  // host thread

    // Record set-up, called from constructors.
    virtual void setUniqueID(VstInt32 iD);
    virtual void setNumInputs(VstInt32 inputs);
    virtual void setNumOutputs(VstInt32 outputs);
    virtual void canProcessReplacing(bool state = true);
    virtual void canDoubleReplacing(bool state = true);
    virtual void programsAreChunks(bool state = true);
    virtual void setInitialDelay(VstInt32 delay);

    virtual AEffEditor* getEditor();
    virtual AEffect* getAeffect();
    virtual float getSampleRate();
    virtual VstInt32 getBlockSize();

    // Host callbacks (the thread of the caller).
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // Text conversions (any thread); maxLen characters and a zero at most.
    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    // Accumulating process (audio thread): does nothing, the outputs keep
    // what they hold.
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual float getVu();
    virtual void hasVu(bool state = true);
    virtual void hasClip(bool state = true);
    virtual void canMono(bool state = true);
    virtual void setRealtimeQualities(VstInt32 qualities);
    virtual void setOfflineQualities(VstInt32 qualities);
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    // Not virtual: an editor attaches itself here from its constructor. Sets
    // `editor` and the has-editor flag (clears the flag for null).
    void setEditor(AEffEditor* newEditor);

protected:
    // Calls the host callback with this effect's record; 0 without a host.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state);

    audioMasterCallback audioMaster;
    AEffEditor* editor;
    float sampleRate;
    VstInt32 blockSize;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram;
    AEffect cEffect;
};
