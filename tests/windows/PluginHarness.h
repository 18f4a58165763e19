// A minimal host for checking the built plug-in from outside, the way a real
// host sees it: the library is loaded by path, its exported entry point
// creates instances, and everything else goes through the AEffect record.
//
// The same code runs on Linux (dlopen of Corvex.so) and on Windows
// (LoadLibrary of Corvex.dll, 32-bit under wine32 and 64-bit under wine64),
// so the Linux build can write a reference of what the plug-in answers and
// renders, and the Windows builds can be compared with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/vst2.h"

namespace corvex::harness {

typedef AEffect*(VSTCALLBACK* PluginEntryProc)(audioMasterCallback host);

// Turns a path as the build system knows it into one the platform's loader
// takes: on Windows a Unix path ("/work/x") becomes a drive-Z path under wine.
std::string nativePath(const std::string& path);

// A loaded plug-in library and its two exported entry names.
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library; false with a reason in `error` when it cannot be
    // loaded or does not export VSTPluginMain.
    bool load(const std::string& path, std::string& error);
    // Unloads the library (false when the platform refuses); the entry
    // points are gone afterwards.
    bool unload();
    PluginEntryProc vstPluginMain() const { return pluginMain; }
    PluginEntryProc mainEntry() const { return mainAlias; }
    void* handle() const { return module; }

private:
    void* module = nullptr;
    PluginEntryProc pluginMain = nullptr;
    PluginEntryProc mainAlias = nullptr;
};

// What the plug-in told its host. The host callback below appends to one
// process-wide log, since a callback carries no host context of its own.
struct HostEvent {
    VstInt32 opcode;
    VstInt32 index;
    float value;
};

void clearHostEvents();
std::vector<HostEvent> hostEvents();

// Answers like a plain VST 2.4 host at 44100 Hz: version 2400, automation,
// begin/end edit and idle are logged and acknowledged, everything else 0.
VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt);

// One effect instance, closed through effClose when it goes.
class Instance {
public:
    explicit Instance(PluginEntryProc entry);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* effect() const { return record; }
    explicit operator bool() const { return record != nullptr; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;
    void setParameter(VstInt32 index, float value) const;
    float getParameter(VstInt32 index) const;
    // A dispatcher text answer (name, display, label, ...), read from a
    // zeroed buffer far larger than any limit the interface sets.
    std::string text(VstInt32 opcode, VstInt32 index = 0) const;

private:
    AEffect* record = nullptr;
};

// Parameter indexes the checks switch.
enum : VstInt32 {
    kParamInput = 0,
    kParamChannel = 1,
    kParamDrive = 2,
    kParamMid = 5,
    kParamVolume = 9,
    kParamStereo = 10,
    kParamQuality = 11
};

// The record as the host reads it right after the entry point returns.
// Failures are appended to `problems` as readable sentences.
void checkRecord(const AEffect& effect, bool expectEditor, std::vector<std::string>& problems);

// ---------------------------------------------------------------------------
// Rendering: a fixed test signal through every mode at 44100 Hz.
// ---------------------------------------------------------------------------
struct RenderMode {
    const char* name;
    float channel;
    float quality;
    float stereo;
};

constexpr int kRenderModeCount = 8;
extern const RenderMode kRenderModes[kRenderModeCount];
constexpr int kRenderFrames = 16384;
constexpr float kRenderRate = 44100.0f;

// The two input channels: decaying triangle notes with a little noise, made
// with integer and basic double arithmetic only, so every platform produces
// the same bits without relying on its C library's sin or exp.
void makeTestSignal(std::vector<float>& left, std::vector<float>& right);

// Renders one mode on a fresh instance in a fixed pattern of block sizes;
// `out` gets kRenderFrames interleaved left/right pairs.
bool renderMode(PluginEntryProc entry, const RenderMode& mode, std::vector<float>& out, std::string& error);

// ---------------------------------------------------------------------------
// What the host sees: identification strings, parameter names, displays and
// labels at a few values, program names, and a bank after a few edits.
// ---------------------------------------------------------------------------
std::string describeHostView(PluginEntryProc entry);
// The bank (2080 bytes) of a fresh instance after the fixed edits of
// describeHostView; empty when the plug-in answers another size.
std::vector<unsigned char> editedBank(PluginEntryProc entry);
// Compares two banks field by field, skipping the bytes that carry no meaning
// (name bytes after the terminating zero and the alignment gap at 76).
void compareBanks(const std::vector<unsigned char>& expected, const std::vector<unsigned char>& actual,
                  std::vector<std::string>& problems);

// Saves the bank of one instance, loads it into a fresh one and checks that
// every program came back; also that a bank of the wrong size is refused.
void checkBankRoundTrip(PluginEntryProc entry, std::vector<std::string>& problems);

// ---------------------------------------------------------------------------
// Reference file: written on Linux, read on Windows. Little-endian:
// "CRVXREF2", u32 text bytes + text, u32 bank bytes + bank,
// u32 modes, u32 frames, then modes x frames x 2 float32.
// ---------------------------------------------------------------------------
struct Reference {
    std::string hostView;
    std::vector<unsigned char> bank;
    std::vector<float> audio;  // kRenderModeCount x kRenderFrames x 2
};

bool makeReference(PluginEntryProc entry, Reference& ref, std::string& error);
bool writeReference(const std::string& path, const Reference& ref, std::string& error);
bool readReference(const std::string& path, Reference& ref, std::string& error);

// Largest absolute difference between two renders of all modes, with where
// it occurs; false (with a reason) when they cannot be compared at all.
struct AudioDifference {
    double maxAbs = 0.0;
    int mode = -1;
    int frame = -1;
    int channel = -1;
};
bool compareAudio(const std::vector<float>& expected, const std::vector<float>& actual, AudioDifference& diff,
                  std::string& error);

// Problems with a render that would make a comparison meaningless: values
// that are not finite, or a mode that renders (nearly) silence.
void checkRenderSane(const std::vector<float>& audio, std::vector<std::string>& problems);

}  // namespace corvex::harness
