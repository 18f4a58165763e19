// The factory programs in a host's preset browser: a preset-discovery
// factory with one provider, whose one location is the plug-in itself (the
// factory bank is built into the library, so nothing depends on where the
// data files were installed), and the plug-in's preset-load extension, which
// loads one of those programs by the load key the provider gave ("0".."9").
//
// Loading a factory program replaces the current program with it, both
// channels' knobs and its name, exactly as loading the matching .fxp into the
// VST 2.4 build does; the other nine programs stay as they are. The new state
// goes to the engine the way a host's state load does (applied at the next
// block, or at once when no audio runs).
//
// Threads: everything here runs on the host's main thread (the discovery
// calls on whichever thread the host indexes from, with no plug-in made).
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "CorvexFactoryBank.inc"  // kFactoryBank: the factory bank's ten program records
#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"
#include "model/AmpEngine.h"
#include "model/AmpState.h"

namespace {

using corvex::AmpEngine;

static_assert(sizeof(kFactoryBank) == kBankChunkSize, "the factory bank is ten 208-byte programs");

const char kProviderId[] = "com.ardex-plugins.corvex.factory";
const char kLocationName[] = "Corvex factory programs";

// The program a load key names: exactly one digit, "0".."9"; -1 otherwise.
int programOfKey(const char* key) {
    if (!key || key[0] < '0' || key[0] > '9' || key[1] != '\0')
        return -1;
    const int program = key[0] - '0';
    return program < AmpEngine::kProgramCount ? program : -1;
}

// A factory program's name: the record's first 24 bytes, up to the first zero.
std::string factoryName(int program) {
    const char* field = reinterpret_cast<const char*>(kFactoryBank + program * kProgramChunkSize);
    std::size_t length = 0;
    while (length < sizeof(CorvexProgram::name) && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

// ---- discovery provider ----

clap_preset_discovery_provider_descriptor providerDescriptor() {
    return {CLAP_VERSION_OURS, kProviderId, kLocationName, AmpEngine::vendorName()};
}
const clap_preset_discovery_provider_descriptor kProviderDescriptor = providerDescriptor();

struct Provider {
    clap_preset_discovery_provider provider;
    const clap_preset_discovery_indexer* indexer;
};

bool CLAP_CALL providerInit(const clap_preset_discovery_provider* p) {
    const Provider* self = static_cast<const Provider*>(p->provider_data);
    if (!self->indexer->declare_location)
        return false;
    const clap_preset_discovery_location location = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, kLocationName,
                                                     CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return self->indexer->declare_location(self->indexer, &location);
}

void CLAP_CALL providerDestroy(const clap_preset_discovery_provider* p) {
    if (p)
        delete static_cast<Provider*>(p->provider_data);
}

bool CLAP_CALL providerGetMetadata(const clap_preset_discovery_provider*, uint32_t kind, const char*,
                                   const clap_preset_discovery_metadata_receiver* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver || !receiver->begin_preset)
        return false;
    const clap_universal_plugin_id plugin = {"clap", kClapPluginId};
    for (int program = 0; program < AmpEngine::kProgramCount; ++program) {
        const std::string name = factoryName(program);
        const char key[2] = {static_cast<char>('0' + program), '\0'};
        if (!receiver->begin_preset(receiver, name.c_str(), key))
            break;  // the host wants no more
        if (receiver->add_plugin_id)
            receiver->add_plugin_id(receiver, &plugin);
        if (receiver->set_flags)
            receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        if (receiver->add_creator)
            receiver->add_creator(receiver, AmpEngine::vendorName());
    }
    return true;
}

const void* CLAP_CALL providerGetExtension(const clap_preset_discovery_provider*, const char*) {
    return nullptr;
}

// ---- discovery factory ----

uint32_t CLAP_CALL discoveryCount(const clap_preset_discovery_factory*) {
    return 1;
}

const clap_preset_discovery_provider_descriptor* CLAP_CALL discoveryDescriptor(const clap_preset_discovery_factory*,
                                                                               uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

const clap_preset_discovery_provider* CLAP_CALL discoveryCreate(const clap_preset_discovery_factory*,
                                                                const clap_preset_discovery_indexer* indexer,
                                                                const char* id) {
    if (!indexer || !id || std::strcmp(id, kProviderId) != 0 || !clapVersionIsCompatible(indexer->clap_version))
        return nullptr;
    Provider* self = new (std::nothrow) Provider;
    if (!self)
        return nullptr;
    self->indexer = indexer;
    self->provider = {&kProviderDescriptor, self,           providerInit, providerDestroy, providerGetMetadata,
                      providerGetExtension};
    return &self->provider;
}

// ---- preset-load extension (main thread) ----

void reportError(const ClapPlugin& self, uint32_t kind, const char* location, const char* key, const char* message) {
    const clap_host_preset_load* host = self.hostPresetLoad();
    if (host && host->on_error)
        host->on_error(self.host(), kind, location, key, 0, message);
}

bool CLAP_CALL presetFromLocation(const clap_plugin* p, uint32_t kind, const char* location, const char* key) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !self->onMainThread())
        return false;
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        reportError(*self, kind, location, key, "Corvex's presets are inside the plug-in: no file to load");
        return false;
    }
    const int program = programOfKey(key);
    if (program < 0) {
        reportError(*self, kind, location, key, "no factory program has this load key (0 to 9)");
        return false;
    }
    // The engine's state with the current program's record replaced.
    unsigned char blob[AmpEngine::kStateSize];
    corvex::StateContents contents;
    const std::size_t saved = self->engine()->saveState(blob, sizeof blob);
    if (saved == 0 || !corvex::readState(blob, saved, contents) ||
        contents.currentProgram >= static_cast<uint32_t>(AmpEngine::kProgramCount)) {
        reportError(*self, kind, location, key, "the amp's state could not be read");
        return false;
    }
    std::memcpy(contents.bank + contents.currentProgram * kProgramChunkSize,
                kFactoryBank + program * kProgramChunkSize, kProgramChunkSize);
    const std::size_t size = corvex::writeState(contents, blob, sizeof blob);
    if (size == 0 || !self->engine()->loadState(blob, size)) {
        reportError(*self, kind, location, key, "the amp refused the factory program");
        return false;
    }
    self->stateLoaded();
    const clap_host_preset_load* host = self->hostPresetLoad();
    if (host && host->loaded)
        host->loaded(self->host(), kind, location, key);
    return true;
}

}  // namespace

const clap_preset_discovery_factory kClapPresetDiscovery = {discoveryCount, discoveryDescriptor, discoveryCreate};
const clap_plugin_preset_load kClapPresetLoad = {presetFromLocation};
