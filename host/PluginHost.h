// One VST 2.4 plug-in instance as a host sees it: loaded from its library
// through the exported entry point, reached only through its AEffect record,
// and closed again when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "loader/PluginLibrary.h"
#include "shell/vst2.h"

class PluginHost {
public:
    PluginHost();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library, calls VSTPluginMain (or main) with our host callback,
    // checks the record and sends effOpen. Main thread.
    bool load(const std::string& path, std::string& error);

    AEffect* effect() const { return aeffect; }

    // Main thread; all of these only while suspended.
    void setSampleRate(double rate);
    void setBlockSize(int frames);
    void resume();   // effMainsChanged 1, then effStartProcess
    void suspend();  // effStopProcess, then effMainsChanged 0
    bool isResumed() const { return resumed; }

    // Identity and parameter texts, as the plug-in answers them. Main thread.
    std::string effectName();
    std::string vendorString();
    std::string productString();
    int32_t vendorVersion();
    int32_t vstVersion();
    std::string parameterName(int index);
    std::string parameterDisplay(int index);
    std::string parameterLabel(int index);
    float getParameter(int index);
    void setParameter(int index, float value);

    // Programs. Main thread.
    int numPrograms() const { return aeffect->numPrograms; }
    int numParams() const { return aeffect->numParams; }
    int currentProgram();
    void setProgram(int index);
    std::string programName();  // the current program's name
    void setProgramName(const std::string& name);
    // Name of program `index`; falls back to switching programs for plug-ins
    // that do not answer effGetProgramNameIndexed (and switches back).
    std::string programNameIndexed(int index);

    // Chunks (effGetChunk / effSetChunk): index 1 for one program, 0 for the
    // bank. getChunk copies the plug-in's bytes; false if it offers none.
    bool hasChunks() const { return (aeffect->flags & effFlagsProgramChunks) != 0; }
    bool getChunk(bool program, std::vector<uint8_t>& bytes);
    bool setChunk(bool program, const std::vector<uint8_t>& bytes);

    // Finds a parameter by index ("2") or by name, case-insensitively; names
    // that differ only in spaces and punctuation match too when that is not
    // ambiguous ("mix_pls" finds "Mix PLS"). -1 and a reason when not found.
    int findParameter(const std::string& key, std::string& error);

    // Audio thread: one block through processReplacing (or, for plug-ins
    // without it, through the accumulating process onto cleared outputs).
    void process(float** inputs, float** outputs, int frames);

    // Values the host callback answers. Read by the callback on any thread.
    double hostSampleRate() const { return sampleRate; }
    int hostBlockSize() const { return blockSize; }
    // A live host processes in real time; a render host offline (the default).
    // Main thread, before resume().
    void setRealtime(bool live) { realtime = live; }
    bool isRealtime() const { return realtime; }

private:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    std::string text(VstInt32 opcode, VstInt32 index);
    void close();

    corvex::PluginLibrary library;
    AEffect* aeffect = nullptr;
    bool resumed = false;
    bool realtime = false;
    double sampleRate = 44100.0;
    int blockSize = 512;
};
