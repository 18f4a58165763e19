// CorvexRig.so's (CorvexRig.dll's) exported entry points (VSTPluginMain, and "main" for older
// hosts): one RigEffect per call, for a host that answers the version query.
#include <new>

#include "plugin/rig/RigEffect.h"
#include "shell/vst2.h"

#if defined(_WIN32)
// Exported through shell/corvex.def (both names).
#define CORVEX_RIG_EXPORT
#else
#define CORVEX_RIG_EXPORT __attribute__((visibility("default")))
#endif

namespace {

AEffect* makeRig(audioMasterCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    try {
        RigEffect* effect = new (std::nothrow) RigEffect(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

CORVEX_RIG_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    return makeRig(audioMaster);
}

#if !defined(_WIN32)
CORVEX_RIG_EXPORT AEffect* corvexRigLegacyMain(audioMasterCallback audioMaster) __asm__("main");
AEffect* corvexRigLegacyMain(audioMasterCallback audioMaster) {
    return makeRig(audioMaster);
}
#endif

}  // extern "C"
