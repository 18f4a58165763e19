// The built plug-in library (CORVEX_PLUGIN_PATH) loaded exactly as a host
// loads it, through the shared loader.
#pragma once

#include <string>

#include "loader/PluginLibrary.h"

using EntryPoint = corvex::PluginEntryProc;

class LoadedPlugin {
public:
    LoadedPlugin() {
        std::string error;
        if (library.open(CORVEX_PLUGIN_PATH, error))
            handle = &library;
    }

    EntryPoint entry(const char* name = "VSTPluginMain") const { return library.symbol(name); }

    corvex::PluginLibrary library;
    const void* handle = nullptr;  // non-null once loaded
};
