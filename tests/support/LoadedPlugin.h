// The built plug-in library loaded exactly as a host loads it: LoadLibrary or
// dlopen of CORVEX_PLUGIN_PATH, entry points looked up by name.
#pragma once

#include "shell/vst2.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using EntryPoint = AEffect* (*)(audioMasterCallback);

class LoadedPlugin {
public:
    LoadedPlugin() {
#if defined(_WIN32)
        handle = LoadLibraryA(CORVEX_PLUGIN_PATH);
#else
        handle = dlopen(CORVEX_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~LoadedPlugin() {
        if (!handle)
            return;
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle));
#else
        dlclose(handle);
#endif
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    EntryPoint entry(const char* name = "VSTPluginMain") const {
        if (!handle)
            return nullptr;
#if defined(_WIN32)
        // Through void*: FARPROC's own signature has nothing to do with ours.
        return reinterpret_cast<EntryPoint>(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)));
#else
        return reinterpret_cast<EntryPoint>(dlsym(handle, name));
#endif
    }

    void* handle = nullptr;
};
