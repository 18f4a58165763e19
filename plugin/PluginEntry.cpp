// The plug-in library: the effect joined with its front panel. This is the
// one place that knows both; the effect links no GUI and the editor knows
// the effect only through the plug-in interface.
#include "shell/PluginEntry.h"

#include <new>

#include "editor/SDEditor.h"
#include "model/Corvex.h"
#include "plugin/FrontPanel.h"

void makeFrontPanel(AudioEffect* effect) {
    new SDEditor(effect);
}

AEffect* pluginMain(audioMasterCallback audioMaster) {
    if (!audioMaster)
        return nullptr;
    // A host that does not answer the version query is no VST 2 host.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    return createEffectInstance(audioMaster);
}

AEffect* createEffectInstance(audioMasterCallback audioMaster) {
    try {
        Corvex* effect = new (std::nothrow) Corvex(audioMaster, &makeFrontPanel);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        // Nothing crosses the plug-in interface as an exception.
        return nullptr;
    }
}
