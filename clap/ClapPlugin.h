// The CLAP face of the effect. One ClapPlugin owns one effect instance,
// created through createEffectInstance with our own host callback, and drives
// it through its AEffect record exactly as a VST 2.4 host would: dispatcher
// opcodes, processReplacing, setParameter and getParameter. The audio is
// therefore the same, bit for bit, as the VST 2.4 build's for the same input
// and parameter sequence.
//
// Parameter flow:
//  - host param events in process split the block at their sample positions:
//    the effect renders up to the event, the value is set, rendering goes on.
//    flush applies events the same way, without audio.
//  - the editor's gestures and values arrive on the UI thread through our host
//    callback (audioMasterBeginEdit / Automate / EndEdit) and are queued
//    lock-free; process or flush sends them as gesture and value events.
//  - values the effect changes itself (a Channel switch recalls eight values)
//    are found by comparing what the effect answers with what the host was
//    last told, after every event and queue drain, and sent as value events.
//  - a state load asks the host to rescan the values.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "clap/ClapAbi.h"
#include "clap/EventQueue.h"
#include "model/ParameterTable.h"
#include "shell/vst2.h"

class ClapPlugin {
public:
    static constexpr uint32_t kNumParams = corvex::kNumParameters;
    static constexpr uint32_t kEditorWidth = corvex::kPanelWidth;
    static constexpr uint32_t kEditorHeight = corvex::kPanelHeight;

    ClapPlugin(const clap_host* host, const clap_plugin_descriptor* descriptor);
    ~ClapPlugin();
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin* clapPlugin() const { return &plugin; }
    static ClapPlugin* from(const clap_plugin* plugin);

    // ---- used by the extensions (ClapParams.cpp, ClapState.cpp, ClapGui.cpp) ----
    AEffect* effect() const { return aeffect; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const;
    float getParameter(uint32_t index) const;
    const clap_host* host() const { return clapHost; }
    const clap_host_params* hostParams() const { return hostParamsExt; }
    const clap_host_timer_support* hostTimers() const { return hostTimerExt; }
    const clap_host_posix_fd_support* hostFds() const { return hostFdExt; }
    // True when the host says so, or cannot say (no thread-check).
    bool onMainThread() const;
    bool isActive() const { return active; }

    // The editor as the gui extension keeps it (main thread only).
    struct GuiState {
        bool created = false;
        bool open = false;       // effEditOpen done, not yet closed
        void* parent = nullptr;  // X window id or HWND from set_parent
        clap_id timer = CLAP_INVALID_ID;
        int fd = -1;  // X connection watched through posix-fd-support
    };
    GuiState gui;
    // The parameter's facts (name, default, unit, role) as the table gives
    // them; `index` below kNumParams.
    static const corvex::ParameterInfo& info(uint32_t index) { return corvex::kParameterTable[index]; }
    // The switches (Channel and the on/off ones) take two positions, 0 and 1.
    static bool isStepped(uint32_t index);
    // The display the effect shows for `value` of parameter `index`, read
    // from a second instance kept for the purpose (main thread).
    bool displayFor(uint32_t index, float value, char* text, uint32_t capacity);

    // Any thread that may consume events (audio thread in process, flush):
    // applies one host event; true when it was a parameter value.
    bool applyInputEvent(const clap_event_header* event);
    // Same threads: sends the editor's queued news, then every value the
    // effect changed on its own, to `out` (which may be null: then only
    // the bookkeeping happens and the host is asked to rescan later).
    void reportChanges(const clap_output_events* out, uint32_t time);
    // Main thread: the effect's values changed wholesale (state load). The
    // host is told to rescan the values, and not sent them as events.
    void valuesReplaced();
    // Main thread, before such a load: no value scan until valuesReplaced.
    void suspendScan();

    // ---- plug-in operations (the clap_plugin slots) ----
    bool init();                                                               // main thread
    bool activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);  // main thread
    void deactivate();                                                         // main thread
    bool startProcessing();                                                    // audio thread
    void stopProcessing();                                                     // audio thread
    void reset();                                                              // audio thread
    clap_process_status process(const clap_process* process);                  // audio thread
    const void* extension(const char* id) const;                               // any thread

private:
    // The effect's calls back to us. The record's `user` field, which
    // belongs to the host, leads to the ClapPlugin.
    static VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
    VstIntPtr onEffectCall(VstInt32 opcode, VstInt32 index, float opt);
    void queueNews(const ParamNews& news);  // UI thread
    void renderSpan(const clap_process* process, uint32_t start, uint32_t end);
    bool sendValue(const clap_output_events* out, uint32_t time, uint32_t index, float value, uint32_t flags);
    bool sendGesture(const clap_output_events* out, uint32_t time, const ParamNews& gesture);

    clap_plugin plugin;
    const clap_host* clapHost;
    const clap_host_params* hostParamsExt = nullptr;
    const clap_host_thread_check* hostThreadExt = nullptr;
    const clap_host_timer_support* hostTimerExt = nullptr;
    const clap_host_posix_fd_support* hostFdExt = nullptr;

    AEffect* aeffect = nullptr;        // the effect instance
    AEffect* displayEffect = nullptr;  // a second one, for value_to_text

    bool active = false;
    double sampleRate = 44100.0;
    uint32_t maxFrames = 0;
    // Silence and scratch for hosts that give fewer channels than declared
    // (made in activate, never in process).
    std::vector<float> silence;
    std::vector<float> scratch;

    ParamNewsQueue<4096> news;
    // What the host was last told of each value (bit patterns: a NaN the
    // effect holds compares equal to itself).
    std::atomic<uint32_t> reported[kNumParams];
    std::atomic<bool> scanSuspended{false};  // a state load is replacing the values
    std::atomic<bool> rescanPending{false};
};
