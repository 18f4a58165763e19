// A built VST 2 plug-in library loaded as a host loads it: LoadLibrary or
// dlopen by path, the entry point looked up by name. The one loader the
// hosts, the soak tool and the tests that load the plug-in share. It knows
// the plug-in interface's record only; nothing of the effect.
#pragma once

#include <string>

#include "shell/vst2.h"

namespace corvex {

using PluginEntryProc = AEffect* (*)(audioMasterCallback);

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary() { close(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The loading thread. Loads the library at `path` (a path without a
    // directory is taken from the current directory, never searched for; on
    // Windows the path is UTF-8); false, with the system's reason in `error`,
    // when it cannot.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return handle != nullptr; }

    // The entry point under `name`, or null.
    PluginEntryProc symbol(const char* name) const;
    // VSTPluginMain, or for older plug-ins main; null when neither exists.
    PluginEntryProc entry() const;

    // Unloads the library (after every effect it made is closed); true when
    // the system agreed or nothing was loaded.
    bool close();

private:
    void* handle = nullptr;
};

}  // namespace corvex
