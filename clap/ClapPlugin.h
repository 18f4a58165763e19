// The CLAP face of the amp. One ClapPlugin owns one AmpEngine (made at init)
// and talks to it directly; the audio is the engine's, the same bit for bit
// as the VST 2.4 build's for the same input and parameter sequence.
//
// Threads (the CLAP names): main thread for init, activate, params' info and
// texts, state and gui; audio thread for process, start/stop processing and
// flush while active; the UI thread is the main thread.
//
// Parameter flow:
//  - host param events in process split the block at their sample positions:
//    the engine renders up to the event, the value is applied
//    (AmpEngine::applyEvent), rendering goes on. flush applies events the
//    same way, without audio.
//  - the panel's gestures and values arrive on the UI thread through the
//    ParameterPort this class implements, and are queued lock-free (one
//    producer, the UI thread); process or flush applies each value to the
//    engine and sends gestures and values to the host.
//  - values the engine changed itself (a Channel switch recalls eight, a
//    loaded state) are found by comparing what the engine holds with what
//    the host was last told, after every event and queue drain, and sent as
//    value events the host does not record.
//  - a state load is checked on the main thread and handed to the engine,
//    which applies it at its next block (or at once when no audio runs).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "clap/ClapAbi.h"
#include "clap/ClapEmbeddedGui.h"
#include "clap/EventQueue.h"
#include "editor/ParameterPort.h"
#include "model/AmpEngine.h"

class ClapPlugin : private corvex::ParameterPort {
public:
    static constexpr uint32_t kNumParams = corvex::AmpEngine::kParameterCount;
    static constexpr uint32_t kEditorWidth = corvex::kPanelWidth;
    static constexpr uint32_t kEditorHeight = corvex::kPanelHeight;

    ClapPlugin(const clap_host* host, const clap_plugin_descriptor* descriptor);
    ~ClapPlugin() override;
    ClapPlugin(const ClapPlugin&) = delete;
    ClapPlugin& operator=(const ClapPlugin&) = delete;

    const clap_plugin* clapPlugin() const { return &plugin; }
    static ClapPlugin* from(const clap_plugin* plugin);

    // ---- used by the extensions (ClapParams.cpp, ClapState.cpp, ClapGui.cpp, ClapPresets.cpp) ----
    // The engine; null before init.
    corvex::AmpEngine* engine() const { return amp.get(); }
    const clap_host* host() const { return clapHost; }
    const clap_host_params* hostParams() const { return hostParamsExt; }
    const clap_host_timer_support* hostTimers() const { return hostTimerExt; }
    const clap_host_posix_fd_support* hostFds() const { return hostFdExt; }
    const clap_host_preset_load* hostPresetLoad() const { return hostPresetLoadExt; }
    // True when the host says so, or cannot say (no thread-check).
    bool onMainThread() const;
    bool isActive() const { return active; }

    // The panel as the gui extension keeps it (main thread only).
    struct GuiState : ClapEmbeddedGui {
        // What the panel was last shown of each value, and which controls
        // the user is holding (their values are the panel's own meanwhile).
        uint32_t shown[kNumParams] = {};
        bool held[kNumParams] = {};
    };
    GuiState gui;
    // Main thread: the port the panel is bound to.
    corvex::ParameterPort& panelPort() { return *this; }
    // The embedded gui's hooks (ClapEmbeddedGui.h; ClapGui.cpp), main thread.
    const clap_host* guiHost() const { return clapHost; }
    bool guiUsable() const;
    bool makePanel();
    void panelOpened();
    void idlePanel();
    void releasePanel();

    // Any thread that may consume events (audio thread in process, flush):
    // applies one host event; true when it was a parameter value.
    bool applyInputEvent(const clap_event_header* event);
    // Same threads: applies and sends the panel's queued news, then every
    // value the engine changed on its own, to `out` (which may be null:
    // then the panel's values are applied and the host asked to rescan).
    void reportChanges(const clap_output_events* out, uint32_t time);
    // Main thread: a state was loaded. Applied at once when no audio runs
    // (the host is told to rescan); else the next block applies it and its
    // values reach the host as events.
    void stateLoaded();

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
    // ParameterPort: the panel, on the UI thread.
    float get(int index) const override;
    void set(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;

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
    const clap_host_preset_load* hostPresetLoadExt = nullptr;

    std::unique_ptr<corvex::AmpEngine> amp;

    bool active = false;
    std::atomic<bool> processing{false};
    uint32_t maxFrames = 0;
    // Silence and scratch for hosts that give fewer channels than declared
    // (made in activate, never in process).
    std::vector<float> silence;
    std::vector<float> scratch;

    ParamNewsQueue<4096> news;
    // What the host was last told of each value (bit patterns: a NaN the
    // engine holds compares equal to itself).
    std::atomic<uint32_t> reported[kNumParams];
};
