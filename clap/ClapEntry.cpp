// The library's one export, clap_entry, its plug-in factory with one
// plug-in, and the factory programs' preset-discovery factory. The descriptor's name, vendor and version are the engine's
// identity strings; no amp is made to read them.
#include <cstdio>
#include <cstring>
#include <new>

#include "clap/ClapAbi.h"
#include "clap/ClapExtensions.h"
#include "clap/ClapFactoryPresets.h"
#include "clap/ClapPlugin.h"
#include "model/AmpEngine.h"

#if defined(_WIN32)
#define CORVEX_CLAP_EXPORT __declspec(dllexport)
#else
#define CORVEX_CLAP_EXPORT __attribute__((visibility("default")))
#endif

namespace {

const char* const kPluginId = kClapPluginId;
const char* const kFeatures[] = {"audio-effect", "distortion", "stereo", nullptr};

// Filled at entry init, read by the host for as long as the library is loaded.
char effectName[64];
char vendorName[128];
char versionText[32];
clap_plugin_descriptor descriptor;
int initCount = 0;

void fillDescriptor() {
    using corvex::AmpEngine;
    std::snprintf(effectName, sizeof(effectName), "%s", AmpEngine::effectName());
    std::snprintf(vendorName, sizeof(vendorName), "%s", AmpEngine::vendorName());
    std::snprintf(versionText, sizeof(versionText), "%s", AmpEngine::versionText());
    descriptor.clap_version = CLAP_VERSION_OURS;
    descriptor.id = kPluginId;
    descriptor.name = effectName;
    descriptor.vendor = vendorName;
    descriptor.url = "";
    descriptor.manual_url = "";
    descriptor.support_url = "";
    descriptor.version = versionText;
    descriptor.description = "Valve guitar amp head";
    descriptor.features = kFeatures;
}

// ---- factory: main thread ----
uint32_t CLAP_CALL factoryCount(const clap_plugin_factory*) {
    return 1;
}

const clap_plugin_descriptor* CLAP_CALL factoryDescriptor(const clap_plugin_factory*, uint32_t index) {
    if (index != 0)
        return nullptr;
    if (!descriptor.id)
        fillDescriptor();  // a host that skipped init
    return &descriptor;
}

const clap_plugin* CLAP_CALL factoryCreate(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (!host || !id || std::strcmp(id, kPluginId) != 0 || !clapVersionIsCompatible(host->clap_version))
        return nullptr;
    if (!descriptor.id)
        fillDescriptor();
    ClapPlugin* plugin = new (std::nothrow) ClapPlugin(host, &descriptor);
    return plugin ? plugin->clapPlugin() : nullptr;
}

const clap_plugin_factory kFactory = {factoryCount, factoryDescriptor, factoryCreate};

// ---- entry: main thread ----
bool CLAP_CALL entryInit(const char*) {
    if (initCount++ == 0)
        fillDescriptor();
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
        return &kFactory;
    // The factory programs for a host's preset browser (under the id of the
    // final interface and the draft's, which some hosts still ask for).
    if (isClapPresetDiscoveryId(id))
        return &kClapPresetDiscovery;
    return nullptr;
}

}  // namespace

extern "C" CORVEX_CLAP_EXPORT const clap_plugin_entry clap_entry = {CLAP_VERSION_OURS, entryInit, entryDeinit,
                                                                    entryGetFactory};
