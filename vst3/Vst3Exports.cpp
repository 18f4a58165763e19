// A module's exports, the same in every bundle of ours; each module's entry
// file gives moduleFactory() its one class.
//   GetPluginFactory            every platform
//   ModuleEntry / ModuleExit    Linux (the host passes the library's handle)
//   InitDll / ExitDll           Windows
// All of them are called on the host's main thread.
#include "vst3/Vst3Shared.h"

#if defined(_WIN32)
#define CORVEX_V3_EXPORT extern "C" __declspec(dllexport)
#else
#define CORVEX_V3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Hosts call these with no arguments, so the convention does not matter.
CORVEX_V3_EXPORT v3::IPluginFactory* GetPluginFactory() {
    corvex::vst3::Factory& factory = corvex::vst3::moduleFactory();
    factory.addRef();
    return &factory;
}

#if defined(_WIN32)
CORVEX_V3_EXPORT bool InitDll() {
    return true;
}
CORVEX_V3_EXPORT bool ExitDll() {
    return true;
}
#else
CORVEX_V3_EXPORT bool ModuleEntry(void*) {
    return true;
}
CORVEX_V3_EXPORT bool ModuleExit() {
    return true;
}
#endif
