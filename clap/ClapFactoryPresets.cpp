#include "clap/ClapFactoryPresets.h"

#include <cstring>
#include <new>

namespace {

const ClapPresetDiscoveryFactory* outerOf(const clap_preset_discovery_factory* f) {
    return reinterpret_cast<const ClapPresetDiscoveryFactory*>(f);
}

struct Provider {
    clap_preset_discovery_provider provider;
    const clap_preset_discovery_indexer* indexer;
    const ClapFactoryBank* bank;
};

bool CLAP_CALL providerInit(const clap_preset_discovery_provider* p) {
    const Provider* self = static_cast<const Provider*>(p->provider_data);
    if (!self->indexer->declare_location)
        return false;
    const clap_preset_discovery_location location = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT,
                                                     self->bank->locationName, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                                     nullptr};
    return self->indexer->declare_location(self->indexer, &location);
}

void CLAP_CALL providerDestroy(const clap_preset_discovery_provider* p) {
    if (p)
        delete static_cast<Provider*>(p->provider_data);
}

bool CLAP_CALL providerGetMetadata(const clap_preset_discovery_provider* p, uint32_t kind, const char*,
                                   const clap_preset_discovery_metadata_receiver* receiver) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || !receiver || !receiver->begin_preset)
        return false;
    const ClapFactoryBank& bank = *static_cast<const Provider*>(p->provider_data)->bank;
    const clap_universal_plugin_id plugin = {"clap", bank.pluginId};
    for (int program = 0; program < bank.count && program < 10; ++program) {
        const std::string name = bank.name(program);
        const char key[2] = {static_cast<char>('0' + program), '\0'};
        if (!receiver->begin_preset(receiver, name.c_str(), key))
            break;  // the host wants no more
        if (receiver->add_plugin_id)
            receiver->add_plugin_id(receiver, &plugin);
        if (receiver->set_flags)
            receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        if (receiver->add_creator)
            receiver->add_creator(receiver, bank.vendor);
    }
    return true;
}

const void* CLAP_CALL providerGetExtension(const clap_preset_discovery_provider*, const char*) {
    return nullptr;
}

uint32_t CLAP_CALL discoveryCount(const clap_preset_discovery_factory*) {
    return 1;
}

const clap_preset_discovery_provider_descriptor* CLAP_CALL discoveryDescriptor(const clap_preset_discovery_factory* f,
                                                                               uint32_t index) {
    return f && index == 0 ? &outerOf(f)->descriptor : nullptr;
}

const clap_preset_discovery_provider* CLAP_CALL discoveryCreate(const clap_preset_discovery_factory* f,
                                                                const clap_preset_discovery_indexer* indexer,
                                                                const char* id) {
    if (!f || !indexer || !id)
        return nullptr;
    const ClapPresetDiscoveryFactory* outer = outerOf(f);
    if (std::strcmp(id, outer->bank->providerId) != 0 || !clapVersionIsCompatible(indexer->clap_version))
        return nullptr;
    Provider* self = new (std::nothrow) Provider;
    if (!self)
        return nullptr;
    self->indexer = indexer;
    self->bank = outer->bank;
    self->provider = {&outer->descriptor,  self, providerInit, providerDestroy, providerGetMetadata,
                      providerGetExtension};
    return &self->provider;
}

}  // namespace

ClapPresetDiscoveryFactory makeClapPresetDiscovery(const ClapFactoryBank& bank) {
    ClapPresetDiscoveryFactory f;
    f.factory = {discoveryCount, discoveryDescriptor, discoveryCreate};
    f.bank = &bank;
    f.descriptor = {CLAP_VERSION_OURS, bank.providerId, bank.locationName, bank.vendor};
    return f;
}

bool isClapPresetDiscoveryId(const char* id) {
    return id && (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
                  std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0);
}

int clapFactoryProgramOf(const ClapFactoryBank& bank, uint32_t kind, const char* key, const char*& error) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        error = "the factory programs are inside the plug-in: no file to load";
        return -1;
    }
    // Exactly one digit.
    if (!key || key[0] < '0' || key[0] > '9' || key[1] != '\0' || key[0] - '0' >= bank.count) {
        error = "no factory program has this load key";
        return -1;
    }
    error = nullptr;
    return key[0] - '0';
}

const clap_host_preset_load* clapHostPresetLoad(const clap_host* host) {
    if (!host || !host->get_extension)
        return nullptr;
    const void* ext = host->get_extension(host, CLAP_EXT_PRESET_LOAD);
    if (!ext)
        ext = host->get_extension(host, CLAP_EXT_PRESET_LOAD_COMPAT);
    return static_cast<const clap_host_preset_load*>(ext);
}

void clapReportPresetError(const clap_host* host, uint32_t kind, const char* location, const char* key,
                           const char* message) {
    const clap_host_preset_load* ext = clapHostPresetLoad(host);
    if (ext && ext->on_error)
        ext->on_error(host, kind, location, key, 0, message);
}

void clapReportPresetLoaded(const clap_host* host, uint32_t kind, const char* location, const char* key) {
    const clap_host_preset_load* ext = clapHostPresetLoad(host);
    if (ext && ext->loaded)
        ext->loaded(host, kind, location, key);
}
