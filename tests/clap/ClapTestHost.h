// A small CLAP host for the tests: loads a .clap by path through clap_entry,
// creates the plug-in from its factory and offers the host extensions a
// plug-in asks for (params, thread-check, timer-support), recording what the
// plug-in tells it. The thread that loads is the main thread; process()
// marks the calling thread as the audio thread while it runs.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "clap/ClapAbi.h"

namespace clapcheck {

// An event the plug-in sent, flattened.
struct SentEvent {
    uint16_t type;
    uint32_t time;
    uint32_t flags;
    uint32_t param;
    double value;  // value events only
};

// The host's input event list: param value events, in time order.
class InputEvents {
public:
    void add(uint32_t time, uint32_t param, double value);
    void clear() { events.clear(); }
    const clap_input_events* list() const { return &table; }

private:
    static uint32_t CLAP_CALL sizeOf(const clap_input_events* list);
    static const clap_event_header* CLAP_CALL get(const clap_input_events* list, uint32_t index);
    std::vector<clap_event_param_value> events;
    clap_input_events table{this, sizeOf, get};
};

// Collects what the plug-in pushes.
class OutputEvents {
public:
    std::vector<SentEvent> events;
    const clap_output_events* list() const { return &table; }

private:
    static bool CLAP_CALL tryPush(const clap_output_events* list, const clap_event_header* event);
    clap_output_events table{this, tryPush};
};

class ClapTestHost {
public:
    explicit ClapTestHost(const std::string& path);
    ~ClapTestHost();
    ClapTestHost(const ClapTestHost&) = delete;
    ClapTestHost& operator=(const ClapTestHost&) = delete;

    // The library and its entry; null when it did not load.
    const clap_plugin_entry* entry() const { return clapEntry; }
    const clap_plugin_factory* factory() const { return clapFactory; }
    const std::string& error() const { return problem; }

    // Creates and initialises the one plug-in; null (and error()) on failure.
    const clap_plugin* create();
    const clap_plugin* plugin() const { return instance; }
    template <typename T>
    const T* extension(const char* id) const {
        return instance ? static_cast<const T*>(instance->get_extension(instance, id)) : nullptr;
    }

    bool activate(double rate, uint32_t maxFrames);
    void deactivate();
    // One block: channel pointers of the one stereo input and output port.
    clap_process_status process(float** in, float** out, uint32_t frames, const InputEvents& events,
                                OutputEvents& sent);
    // What a host does on request_flush while not processing.
    void flush(const InputEvents& events, OutputEvents& sent);

    // What the plug-in asked of the host.
    int rescans = 0;
    uint32_t lastRescanFlags = 0;
    int flushRequests = 0;
    struct Timer {
        clap_id id;
        uint32_t period;
    };
    std::vector<Timer> timers;  // registered and not yet unregistered
    int threadChecks = 0;       // calls of thread-check
    bool offerTimers = true;    // timer-support offered
    bool offerFds = false;      // posix-fd-support offered
    std::vector<int> fds;       // registered and not yet unregistered
    // What the plug-in told of preset loads (the host's preset-load extension).
    int presetsLoaded = 0;
    std::vector<std::string> presetErrors;

    // Calls on_timer for every registered timer.
    void fireTimers();

private:
    static const void* CLAP_CALL getExtension(const clap_host* host, const char* id);
    static void CLAP_CALL requestNothing(const clap_host*) {}
    static void CLAP_CALL rescan(const clap_host* host, uint32_t flags);
    static void CLAP_CALL clear(const clap_host*, clap_id, uint32_t) {}
    static void CLAP_CALL requestFlush(const clap_host* host);
    static bool CLAP_CALL isMainThread(const clap_host* host);
    static bool CLAP_CALL isAudioThread(const clap_host* host);
    static bool CLAP_CALL registerTimer(const clap_host* host, uint32_t period, clap_id* id);
    static bool CLAP_CALL unregisterTimer(const clap_host* host, clap_id id);
    static bool CLAP_CALL registerFd(const clap_host* host, int fd, uint32_t flags);
    static bool CLAP_CALL modifyFd(const clap_host* host, int fd, uint32_t flags);
    static bool CLAP_CALL unregisterFd(const clap_host* host, int fd);
    static void CLAP_CALL presetError(const clap_host* host, uint32_t kind, const char* location,
                                      const char* key, int32_t osError, const char* message);
    static void CLAP_CALL presetLoaded(const clap_host* host, uint32_t kind, const char* location,
                                       const char* key);
    static ClapTestHost& of(const clap_host* host) { return *static_cast<ClapTestHost*>(host->host_data); }

    void* library = nullptr;
    const clap_plugin_entry* clapEntry = nullptr;
    const clap_plugin_factory* clapFactory = nullptr;
    const clap_plugin* instance = nullptr;
    bool active = false;
    bool processing = false;
    std::string problem;
    std::thread::id mainThread;
    std::thread::id audioThread;
    clap_id nextTimer = 7;

    clap_host host;
    clap_host_params paramsExt{rescan, clear, requestFlush};
    clap_host_thread_check threadExt{isMainThread, isAudioThread};
    clap_host_timer_support timerExt{registerTimer, unregisterTimer};
    clap_host_posix_fd_support fdExt{registerFd, modifyFd, unregisterFd};
    clap_host_preset_load presetLoadExt{presetError, presetLoaded};
};

// Memory streams for the state extension.
struct MemoryOut {
    std::vector<unsigned char> bytes;
    size_t chunkLimit = SIZE_MAX;  // largest write accepted at once
    clap_ostream stream{this, write};
    static int64_t CLAP_CALL write(const clap_ostream* s, const void* buffer, uint64_t size);
};
struct MemoryIn {
    explicit MemoryIn(std::vector<unsigned char> data, size_t chunk = SIZE_MAX)
        : bytes(std::move(data)), chunkLimit(chunk) {}
    std::vector<unsigned char> bytes;
    size_t chunkLimit;
    size_t position = 0;
    clap_istream stream{this, read};
    static int64_t CLAP_CALL read(const clap_istream* s, void* buffer, uint64_t size);
};

}  // namespace clapcheck
