#include "shell/PluginEntry.h"

AEffect* pluginMain(audioMasterCallback audioMaster) {
    if (!audioMaster)
        return nullptr;
    // A host that does not answer the version query is no VST 2 host.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    return createEffectInstance(audioMaster);
}
