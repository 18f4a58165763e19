// The library's exported entry point. The host looks up "VSTPluginMain" (or,
// on older hosts, "main"), calls it with its host callback and receives the
// effect's record. Nothing else leaves the library.
#include "shell/PluginEntry.h"
#include "shell/vst2.h"

#if defined(_WIN32)
#include <windows.h>
// Exported through shell/corvex.def (both names).
#define CORVEX_EXPORT
#else
#define CORVEX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Host thread that loads the library.
CORVEX_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return pluginMain(audioMaster);
}

#if !defined(_WIN32)
// The same operation under the old name "main". The C++ name differs so that
// it is not taken for a program's main; the asm label gives the symbol.
CORVEX_EXPORT AEffect* corvexLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* corvexLegacyMain(audioMasterCallback audioMaster) {
    return pluginMain(audioMaster);
}
#endif

}  // extern "C"
