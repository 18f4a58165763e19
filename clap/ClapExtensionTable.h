// The extensions a plug-in hands out, by id: the head's and the rig's
// plug-ins give the same set, each its own tables. Any thread.
#pragma once

#include <cstring>

#include "clap/ClapAbi.h"

struct ClapExtensionTable {
    const clap_plugin_audio_ports* audioPorts;
    const clap_plugin_params* params;
    const clap_plugin_state* state;
    const clap_plugin_latency* latency;
    const clap_plugin_gui* gui;
    const clap_plugin_timer_support* timerSupport;
    const clap_plugin_preset_load* presetLoad;
    const clap_plugin_posix_fd_support* posixFdSupport;  // not on Windows
};

inline const void* findClapExtension(const ClapExtensionTable& t, const char* id) {
    if (!id)
        return nullptr;
    if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS))
        return t.audioPorts;
    if (!std::strcmp(id, CLAP_EXT_PARAMS))
        return t.params;
    if (!std::strcmp(id, CLAP_EXT_STATE))
        return t.state;
    if (!std::strcmp(id, CLAP_EXT_LATENCY))
        return t.latency;
    if (!std::strcmp(id, CLAP_EXT_GUI))
        return t.gui;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT))
        return t.timerSupport;
    if (!std::strcmp(id, CLAP_EXT_PRESET_LOAD) || !std::strcmp(id, CLAP_EXT_PRESET_LOAD_COMPAT))
        return t.presetLoad;
#if !defined(_WIN32)
    if (!std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT))
        return t.posixFdSupport;
#endif
    return nullptr;
}
