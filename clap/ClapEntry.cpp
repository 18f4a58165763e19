// The library's one export, clap_entry, its plug-in factory with one
// plug-in, and the factory programs' preset-discovery factory. The descriptor's name, vendor and version are the engine's
// identity strings; no amp is made to read them.
#include <cstring>

#include "clap/ClapAbi.h"
#include "clap/ClapExtensions.h"
#include "clap/ClapFactoryPresets.h"
#include "clap/ClapPlugin.h"
#include "clap/ClapSingleFactory.h"
#include "model/AmpEngine.h"

#if defined(_WIN32)
#define CORVEX_CLAP_EXPORT __declspec(dllexport)
#else
#define CORVEX_CLAP_EXPORT __attribute__((visibility("default")))
#endif

namespace {

struct HeadIdentity {
    static const char* id() { return kClapPluginId; }
    static const char* name() { return corvex::AmpEngine::effectName(); }
    static const char* vendor() { return corvex::AmpEngine::vendorName(); }
    static const char* version() { return corvex::AmpEngine::versionText(); }
    static const char* description() { return "Valve guitar amp head"; }
    static const char* const* features() {
        static const char* const list[] = {"audio-effect", "distortion", "stereo", nullptr};
        return list;
    }
};
using Factory = ClapSingleFactory<ClapPlugin, HeadIdentity>;

int initCount = 0;

// ---- entry: main thread ----
bool CLAP_CALL entryInit(const char*) {
    if (initCount++ == 0)
        Factory::fill();
    return true;
}

void CLAP_CALL entryDeinit() {
    if (initCount > 0)
        --initCount;
}

const void* CLAP_CALL entryGetFactory(const char* id) {
    if (!id)
        return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0)
        return &Factory::factory;
    // The factory programs for a host's preset browser (under the id of the
    // final interface and the draft's, which some hosts still ask for).
    if (isClapPresetDiscoveryId(id))
        return &kClapPresetDiscovery;
    return nullptr;
}

}  // namespace

extern "C" CORVEX_CLAP_EXPORT const clap_plugin_entry clap_entry = {CLAP_VERSION_OURS, entryInit, entryDeinit,
                                                                    entryGetFactory};
