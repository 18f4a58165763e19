// Our own declarations of the CLAP 1.x plug-in interface, the part this
// plug-in and its test host use: the entry and factory, the plug-in and host
// records, process buffers and events, and the audio-ports, params, state,
// latency, gui, timer-support, posix-fd-support, thread-check and preset-load
// extensions, and the preset-discovery factory.
// Written from the published binary interface; the field order, sizes and
// calling convention are what hosts expect, and the layouts we depend on are
// asserted at the end for x86-64 and 32-bit x86.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CLAP_CALL __cdecl
#else
#define CLAP_CALL
#endif

extern "C" {

typedef uint32_t clap_id;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;
constexpr std::size_t CLAP_NAME_SIZE = 256;
constexpr std::size_t CLAP_PATH_SIZE = 1024;

struct clap_version {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};
// The interface revision we are written against.
constexpr clap_version CLAP_VERSION_OURS = {1, 2, 2};
// A host or plug-in of any 1.x revision speaks the same records.
inline bool clapVersionIsCompatible(const clap_version& v) {
    return v.major >= 1;
}

struct clap_host {
    clap_version clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(CLAP_CALL* get_extension)(const clap_host* host, const char* extension_id);
    void(CLAP_CALL* request_restart)(const clap_host* host);
    void(CLAP_CALL* request_process)(const clap_host* host);
    void(CLAP_CALL* request_callback)(const clap_host* host);
};

struct clap_plugin_descriptor {
    clap_version clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated
};

// ---- events -------------------------------------------------------------
struct clap_event_header {
    uint32_t size;  // of the whole event
    uint32_t time;  // sample offset within the block
    uint16_t space_id;
    uint16_t type;
    uint32_t flags;
};
constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;
enum : uint32_t { CLAP_EVENT_IS_LIVE = 1u << 0, CLAP_EVENT_DONT_RECORD = 1u << 1 };
enum : uint16_t {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
};

struct clap_event_param_value {
    clap_event_header header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;  // -1: not note-specific
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
};

struct clap_event_param_gesture {
    clap_event_header header;
    clap_id param_id;
};

struct clap_input_events {
    void* ctx;
    uint32_t(CLAP_CALL* size)(const clap_input_events* list);
    const clap_event_header*(CLAP_CALL* get)(const clap_input_events* list, uint32_t index);
};

struct clap_output_events {
    void* ctx;
    bool(CLAP_CALL* try_push)(const clap_output_events* list, const clap_event_header* event);
};

// ---- process ------------------------------------------------------------
struct clap_event_transport;  // never read

struct clap_audio_buffer {
    float** data32;
    double** data64;
    uint32_t channel_count;
    uint32_t latency;
    uint64_t constant_mask;
};

struct clap_process {
    int64_t steady_time;
    uint32_t frames_count;
    const clap_event_transport* transport;
    const clap_audio_buffer* audio_inputs;
    clap_audio_buffer* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events* in_events;
    const clap_output_events* out_events;
};

typedef int32_t clap_process_status;
enum : int32_t {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};

// ---- plug-in, factory, entry ----------------------------------------------
struct clap_plugin {
    const clap_plugin_descriptor* desc;
    void* plugin_data;
    bool(CLAP_CALL* init)(const clap_plugin* plugin);
    void(CLAP_CALL* destroy)(const clap_plugin* plugin);
    bool(CLAP_CALL* activate)(const clap_plugin* plugin, double sample_rate, uint32_t min_frames_count,
                              uint32_t max_frames_count);
    void(CLAP_CALL* deactivate)(const clap_plugin* plugin);
    bool(CLAP_CALL* start_processing)(const clap_plugin* plugin);
    void(CLAP_CALL* stop_processing)(const clap_plugin* plugin);
    void(CLAP_CALL* reset)(const clap_plugin* plugin);
    clap_process_status(CLAP_CALL* process)(const clap_plugin* plugin, const clap_process* process);
    const void*(CLAP_CALL* get_extension)(const clap_plugin* plugin, const char* id);
    void(CLAP_CALL* on_main_thread)(const clap_plugin* plugin);
};

#define CLAP_PLUGIN_FACTORY_ID "clap.plugin-factory"
struct clap_plugin_factory {
    uint32_t(CLAP_CALL* get_plugin_count)(const clap_plugin_factory* factory);
    const clap_plugin_descriptor*(CLAP_CALL* get_plugin_descriptor)(const clap_plugin_factory* factory, uint32_t index);
    const clap_plugin*(CLAP_CALL* create_plugin)(const clap_plugin_factory* factory, const clap_host* host,
                                                 const char* plugin_id);
};

struct clap_plugin_entry {
    clap_version clap_version;
    bool(CLAP_CALL* init)(const char* plugin_path);
    void(CLAP_CALL* deinit)();
    const void*(CLAP_CALL* get_factory)(const char* factory_id);
};

// ---- audio-ports ------------------------------------------------------------
#define CLAP_EXT_AUDIO_PORTS "clap.audio-ports"
#define CLAP_PORT_STEREO "stereo"
enum : uint32_t {
    CLAP_AUDIO_PORT_IS_MAIN = 1u << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3,
};
struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;
};
struct clap_plugin_audio_ports {
    uint32_t(CLAP_CALL* count)(const clap_plugin* plugin, bool is_input);
    bool(CLAP_CALL* get)(const clap_plugin* plugin, uint32_t index, bool is_input, clap_audio_port_info* info);
};

// ---- params -----------------------------------------------------------------
#define CLAP_EXT_PARAMS "clap.params"
enum : uint32_t {
    CLAP_PARAM_IS_STEPPED = 1u << 0,
    CLAP_PARAM_IS_PERIODIC = 1u << 1,
    CLAP_PARAM_IS_HIDDEN = 1u << 2,
    CLAP_PARAM_IS_READONLY = 1u << 3,
    CLAP_PARAM_IS_BYPASS = 1u << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1u << 5,
};
enum : uint32_t {
    CLAP_PARAM_RESCAN_VALUES = 1u << 0,
    CLAP_PARAM_RESCAN_TEXT = 1u << 1,
    CLAP_PARAM_RESCAN_INFO = 1u << 2,
    CLAP_PARAM_RESCAN_ALL = 1u << 3,
};
struct clap_param_info {
    clap_id id;
    uint32_t flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value;
    double max_value;
    double default_value;
};
struct clap_plugin_params {
    uint32_t(CLAP_CALL* count)(const clap_plugin* plugin);
    bool(CLAP_CALL* get_info)(const clap_plugin* plugin, uint32_t param_index, clap_param_info* info);
    bool(CLAP_CALL* get_value)(const clap_plugin* plugin, clap_id param_id, double* value);
    bool(CLAP_CALL* value_to_text)(const clap_plugin* plugin, clap_id param_id, double value, char* buffer,
                                   uint32_t capacity);
    bool(CLAP_CALL* text_to_value)(const clap_plugin* plugin, clap_id param_id, const char* text, double* value);
    void(CLAP_CALL* flush)(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out);
};
struct clap_host_params {
    void(CLAP_CALL* rescan)(const clap_host* host, uint32_t flags);
    void(CLAP_CALL* clear)(const clap_host* host, clap_id param_id, uint32_t flags);
    void(CLAP_CALL* request_flush)(const clap_host* host);
};

// ---- state ------------------------------------------------------------------
#define CLAP_EXT_STATE "clap.state"
struct clap_istream {
    void* ctx;
    // Bytes read, 0 at the end, negative on error.
    int64_t(CLAP_CALL* read)(const clap_istream* stream, void* buffer, uint64_t size);
};
struct clap_ostream {
    void* ctx;
    // Bytes written, negative on error.
    int64_t(CLAP_CALL* write)(const clap_ostream* stream, const void* buffer, uint64_t size);
};
struct clap_plugin_state {
    bool(CLAP_CALL* save)(const clap_plugin* plugin, const clap_ostream* stream);
    bool(CLAP_CALL* load)(const clap_plugin* plugin, const clap_istream* stream);
};
struct clap_host_state {
    void(CLAP_CALL* mark_dirty)(const clap_host* host);
};

// ---- latency ----------------------------------------------------------------
#define CLAP_EXT_LATENCY "clap.latency"
struct clap_plugin_latency {
    uint32_t(CLAP_CALL* get)(const clap_plugin* plugin);
};

// ---- gui --------------------------------------------------------------------
#define CLAP_EXT_GUI "clap.gui"
#define CLAP_WINDOW_API_X11 "x11"
#define CLAP_WINDOW_API_WIN32 "win32"
struct clap_window {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;
    };
};
struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
};
struct clap_plugin_gui {
    bool(CLAP_CALL* is_api_supported)(const clap_plugin* plugin, const char* api, bool is_floating);
    bool(CLAP_CALL* get_preferred_api)(const clap_plugin* plugin, const char** api, bool* is_floating);
    bool(CLAP_CALL* create)(const clap_plugin* plugin, const char* api, bool is_floating);
    void(CLAP_CALL* destroy)(const clap_plugin* plugin);
    bool(CLAP_CALL* set_scale)(const clap_plugin* plugin, double scale);
    bool(CLAP_CALL* get_size)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* can_resize)(const clap_plugin* plugin);
    bool(CLAP_CALL* get_resize_hints)(const clap_plugin* plugin, clap_gui_resize_hints* hints);
    bool(CLAP_CALL* adjust_size)(const clap_plugin* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* set_size)(const clap_plugin* plugin, uint32_t width, uint32_t height);
    bool(CLAP_CALL* set_parent)(const clap_plugin* plugin, const clap_window* window);
    bool(CLAP_CALL* set_transient)(const clap_plugin* plugin, const clap_window* window);
    void(CLAP_CALL* suggest_title)(const clap_plugin* plugin, const char* title);
    bool(CLAP_CALL* show)(const clap_plugin* plugin);
    bool(CLAP_CALL* hide)(const clap_plugin* plugin);
};
struct clap_host_gui {
    void(CLAP_CALL* resize_hints_changed)(const clap_host* host);
    bool(CLAP_CALL* request_resize)(const clap_host* host, uint32_t width, uint32_t height);
    bool(CLAP_CALL* request_show)(const clap_host* host);
    bool(CLAP_CALL* request_hide)(const clap_host* host);
    void(CLAP_CALL* closed)(const clap_host* host, bool was_destroyed);
};

// ---- timer-support, posix-fd-support, thread-check ------------------------------
#define CLAP_EXT_TIMER_SUPPORT "clap.timer-support"
struct clap_plugin_timer_support {
    void(CLAP_CALL* on_timer)(const clap_plugin* plugin, clap_id timer_id);
};
struct clap_host_timer_support {
    bool(CLAP_CALL* register_timer)(const clap_host* host, uint32_t period_ms, clap_id* timer_id);
    bool(CLAP_CALL* unregister_timer)(const clap_host* host, clap_id timer_id);
};

#define CLAP_EXT_POSIX_FD_SUPPORT "clap.posix-fd-support"
enum : uint32_t { CLAP_POSIX_FD_READ = 1u << 0, CLAP_POSIX_FD_WRITE = 1u << 1, CLAP_POSIX_FD_ERROR = 1u << 2 };
struct clap_plugin_posix_fd_support {
    void(CLAP_CALL* on_fd)(const clap_plugin* plugin, int fd, uint32_t flags);
};
struct clap_host_posix_fd_support {
    bool(CLAP_CALL* register_fd)(const clap_host* host, int fd, uint32_t flags);
    bool(CLAP_CALL* modify_fd)(const clap_host* host, int fd, uint32_t flags);
    bool(CLAP_CALL* unregister_fd)(const clap_host* host, int fd);
};

#define CLAP_EXT_THREAD_CHECK "clap.thread-check"
struct clap_host_thread_check {
    bool(CLAP_CALL* is_main_thread)(const clap_host* host);
    bool(CLAP_CALL* is_audio_thread)(const clap_host* host);
};


// ---- preset discovery (a factory of the entry) and preset-load (an extension) ----
// The discovery factory lets a host index presets without making a plug-in;
// the plug-in's preset-load extension then loads one of them by the location
// and load key the provider gave.
#define CLAP_PRESET_DISCOVERY_FACTORY_ID "clap.preset-discovery-factory/2"
#define CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT "clap.preset-discovery-factory/draft-2"
#define CLAP_EXT_PRESET_LOAD "clap.preset-load/2"
#define CLAP_EXT_PRESET_LOAD_COMPAT "clap.preset-load.draft/2"

typedef uint64_t clap_timestamp;
constexpr clap_timestamp CLAP_TIMESTAMP_UNKNOWN = 0;

enum : uint32_t {
    CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0,
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1,
};
enum : uint32_t {
    CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0,
    CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1,
    CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1u << 2,
    CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1u << 3,
};

struct clap_universal_plugin_id {
    const char* abi;  // "clap"
    const char* id;
};

struct clap_preset_discovery_metadata_receiver {
    void* receiver_data;
    void(CLAP_CALL* on_error)(const clap_preset_discovery_metadata_receiver* receiver, int32_t os_error,
                              const char* error_message);
    bool(CLAP_CALL* begin_preset)(const clap_preset_discovery_metadata_receiver* receiver, const char* name,
                                  const char* load_key);
    void(CLAP_CALL* add_plugin_id)(const clap_preset_discovery_metadata_receiver* receiver,
                                   const clap_universal_plugin_id* plugin_id);
    void(CLAP_CALL* set_soundpack_id)(const clap_preset_discovery_metadata_receiver* receiver,
                                      const char* soundpack_id);
    void(CLAP_CALL* set_flags)(const clap_preset_discovery_metadata_receiver* receiver, uint32_t flags);
    void(CLAP_CALL* add_creator)(const clap_preset_discovery_metadata_receiver* receiver, const char* creator);
    void(CLAP_CALL* set_description)(const clap_preset_discovery_metadata_receiver* receiver,
                                     const char* description);
    void(CLAP_CALL* set_timestamps)(const clap_preset_discovery_metadata_receiver* receiver,
                                    clap_timestamp creation_time, clap_timestamp modification_time);
    void(CLAP_CALL* add_feature)(const clap_preset_discovery_metadata_receiver* receiver, const char* feature);
    void(CLAP_CALL* add_extra_info)(const clap_preset_discovery_metadata_receiver* receiver, const char* key,
                                    const char* value);
};

struct clap_preset_discovery_filetype {
    const char* name;
    const char* description;
    const char* file_extension;
};

struct clap_preset_discovery_location {
    uint32_t flags;
    const char* name;
    uint32_t kind;
    const char* location;  // null for presets inside the plug-in
};

struct clap_preset_discovery_soundpack {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;
    const char* homepage_url;
    const char* vendor;
    const char* image_path;
    clap_timestamp release_timestamp;
};

struct clap_preset_discovery_provider_descriptor {
    clap_version clap_version;
    const char* id;
    const char* name;
    const char* vendor;
};

struct clap_preset_discovery_provider {
    const clap_preset_discovery_provider_descriptor* desc;
    void* provider_data;
    bool(CLAP_CALL* init)(const clap_preset_discovery_provider* provider);
    void(CLAP_CALL* destroy)(const clap_preset_discovery_provider* provider);
    bool(CLAP_CALL* get_metadata)(const clap_preset_discovery_provider* provider, uint32_t location_kind,
                                  const char* location,
                                  const clap_preset_discovery_metadata_receiver* metadata_receiver);
    const void*(CLAP_CALL* get_extension)(const clap_preset_discovery_provider* provider, const char* extension_id);
};

struct clap_preset_discovery_indexer {
    clap_version clap_version;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    void* indexer_data;
    bool(CLAP_CALL* declare_filetype)(const clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_filetype* filetype);
    bool(CLAP_CALL* declare_location)(const clap_preset_discovery_indexer* indexer,
                                      const clap_preset_discovery_location* location);
    bool(CLAP_CALL* declare_soundpack)(const clap_preset_discovery_indexer* indexer,
                                       const clap_preset_discovery_soundpack* soundpack);
    const void*(CLAP_CALL* get_extension)(const clap_preset_discovery_indexer* indexer, const char* extension_id);
};

struct clap_preset_discovery_factory {
    uint32_t(CLAP_CALL* count)(const clap_preset_discovery_factory* factory);
    const clap_preset_discovery_provider_descriptor*(CLAP_CALL* get_descriptor)(
        const clap_preset_discovery_factory* factory, uint32_t index);
    const clap_preset_discovery_provider*(CLAP_CALL* create)(const clap_preset_discovery_factory* factory,
                                                             const clap_preset_discovery_indexer* indexer,
                                                             const char* provider_id);
};

struct clap_plugin_preset_load {
    bool(CLAP_CALL* from_location)(const clap_plugin* plugin, uint32_t location_kind, const char* location,
                                   const char* load_key);
};

struct clap_host_preset_load {
    void(CLAP_CALL* on_error)(const clap_host* host, uint32_t location_kind, const char* location,
                              const char* load_key, int32_t os_error, const char* msg);
    void(CLAP_CALL* loaded)(const clap_host* host, uint32_t location_kind, const char* location,
                            const char* load_key);
};

}  // extern "C"

// ---- layouts ------------------------------------------------------------------
// Pointers are 8 or 4 bytes; 64-bit integers and doubles are 8-aligned except
// on 32-bit x86 Linux, where the System V ABI aligns them to 4 inside structs.
#define CLAP_ASSERT_OFFSET(type, field, off64, off32, off32linux)             \
    static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (off64)      \
                                            : CLAP_I386_SYSV   ? (off32linux) \
                                                               : (off32)),      \
                  #type "::" #field)
#define CLAP_ASSERT_SIZE(type, size64, size32, size32linux)           \
    static_assert(sizeof(type) == (sizeof(void*) == 8 ? (size64)      \
                                   : CLAP_I386_SYSV   ? (size32linux) \
                                                      : (size32)),      \
                  "sizeof " #type)
#if defined(__i386__) && !defined(_WIN32)
#define CLAP_I386_SYSV 1
#else
#define CLAP_I386_SYSV 0
#endif

static_assert(sizeof(clap_version) == 12, "clap_version");
static_assert(sizeof(clap_event_header) == 16, "clap_event_header");
static_assert(offsetof(clap_event_header, space_id) == 8 && offsetof(clap_event_header, flags) == 12,
              "clap_event_header");
CLAP_ASSERT_SIZE(clap_plugin_entry, 40, 24, 24);
CLAP_ASSERT_OFFSET(clap_plugin_entry, init, 16, 12, 12);
CLAP_ASSERT_SIZE(clap_host, 88, 48, 48);
CLAP_ASSERT_OFFSET(clap_host, get_extension, 56, 32, 32);
CLAP_ASSERT_SIZE(clap_plugin_descriptor, 88, 48, 48);
CLAP_ASSERT_OFFSET(clap_plugin_descriptor, features, 80, 44, 44);
CLAP_ASSERT_SIZE(clap_plugin, 96, 48, 48);
CLAP_ASSERT_OFFSET(clap_plugin, process, 72, 36, 36);
CLAP_ASSERT_OFFSET(clap_plugin, on_main_thread, 88, 44, 44);
CLAP_ASSERT_SIZE(clap_plugin_factory, 24, 12, 12);
CLAP_ASSERT_OFFSET(clap_event_param_value, param_id, 16, 16, 16);
CLAP_ASSERT_OFFSET(clap_event_param_value, cookie, 24, 20, 20);
CLAP_ASSERT_OFFSET(clap_event_param_value, note_id, 32, 24, 24);
CLAP_ASSERT_OFFSET(clap_event_param_value, key, 40, 32, 32);
CLAP_ASSERT_OFFSET(clap_event_param_value, value, 48, 40, 36);
CLAP_ASSERT_SIZE(clap_event_param_value, 56, 48, 44);
static_assert(sizeof(clap_event_param_gesture) == 20, "clap_event_param_gesture");
CLAP_ASSERT_SIZE(clap_audio_buffer, 32, 24, 24);
CLAP_ASSERT_OFFSET(clap_audio_buffer, constant_mask, 24, 16, 16);
CLAP_ASSERT_OFFSET(clap_process, frames_count, 8, 8, 8);
CLAP_ASSERT_OFFSET(clap_process, audio_inputs, 24, 16, 16);
CLAP_ASSERT_OFFSET(clap_process, audio_inputs_count, 40, 24, 24);
CLAP_ASSERT_OFFSET(clap_process, out_events, 56, 36, 36);
CLAP_ASSERT_SIZE(clap_process, 64, 40, 40);
CLAP_ASSERT_OFFSET(clap_audio_port_info, flags, 260, 260, 260);
CLAP_ASSERT_OFFSET(clap_audio_port_info, port_type, 272, 268, 268);
CLAP_ASSERT_SIZE(clap_audio_port_info, 288, 276, 276);
CLAP_ASSERT_OFFSET(clap_param_info, name, 16, 12, 12);
CLAP_ASSERT_OFFSET(clap_param_info, module, 272, 268, 268);
CLAP_ASSERT_OFFSET(clap_param_info, min_value, 1296, 1296, 1292);
CLAP_ASSERT_SIZE(clap_param_info, 1320, 1320, 1316);
CLAP_ASSERT_SIZE(clap_plugin_params, 48, 24, 24);
CLAP_ASSERT_SIZE(clap_window, 16, 8, 8);
CLAP_ASSERT_SIZE(clap_plugin_gui, 120, 60, 60);
CLAP_ASSERT_SIZE(clap_gui_resize_hints, 12, 12, 12);
CLAP_ASSERT_SIZE(clap_preset_discovery_metadata_receiver, 88, 44, 44);
CLAP_ASSERT_OFFSET(clap_preset_discovery_metadata_receiver, add_extra_info, 80, 40, 40);
CLAP_ASSERT_OFFSET(clap_preset_discovery_location, kind, 16, 8, 8);
CLAP_ASSERT_SIZE(clap_preset_discovery_location, 32, 16, 16);
CLAP_ASSERT_OFFSET(clap_preset_discovery_soundpack, release_timestamp, 56, 32, 28);
CLAP_ASSERT_SIZE(clap_preset_discovery_provider_descriptor, 40, 24, 24);
CLAP_ASSERT_SIZE(clap_preset_discovery_provider, 48, 24, 24);
CLAP_ASSERT_OFFSET(clap_preset_discovery_indexer, indexer_data, 48, 28, 28);
CLAP_ASSERT_SIZE(clap_preset_discovery_indexer, 88, 48, 48);
CLAP_ASSERT_SIZE(clap_preset_discovery_factory, 24, 12, 12);
