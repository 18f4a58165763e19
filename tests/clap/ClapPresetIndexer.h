// A preset-discovery indexer for the tests: keeps the locations a provider
// declares and the presets it tells (name, load key, plug-in ids, flags), and
// can refuse presets after a count, as a host that wants no more does.
#pragma once

#include <string>
#include <vector>

#include "ClapTestHost.h"

namespace clapcheck {

// An indexer that keeps what the provider declares and tells.
struct Indexer {
    struct Preset {
        std::string name, key;
        std::vector<std::string> pluginIds;
        uint32_t flags = 0;
    };
    std::vector<clap_preset_discovery_location> locations;
    std::vector<Preset> presets;
    int stopAfter = -1;  // begin_preset answers false from this preset on

    clap_preset_discovery_indexer indexer{};
    clap_preset_discovery_metadata_receiver receiver{};

    Indexer() {
        indexer.clap_version = CLAP_VERSION_OURS;
        indexer.name = "test indexer";
        indexer.vendor = indexer.url = indexer.version = "";
        indexer.indexer_data = this;
        indexer.declare_filetype = [](const clap_preset_discovery_indexer*, const clap_preset_discovery_filetype*) {
            return true;
        };
        indexer.declare_location = [](const clap_preset_discovery_indexer* i,
                                      const clap_preset_discovery_location* location) {
            static_cast<Indexer*>(i->indexer_data)->locations.push_back(*location);
            return true;
        };
        indexer.declare_soundpack = [](const clap_preset_discovery_indexer*, const clap_preset_discovery_soundpack*) {
            return true;
        };
        indexer.get_extension = [](const clap_preset_discovery_indexer*, const char*) -> const void* {
            return nullptr;
        };
        receiver.receiver_data = this;
        receiver.on_error = [](const clap_preset_discovery_metadata_receiver*, int32_t, const char*) {};
        receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver* r, const char* name,
                                   const char* key) {
            Indexer& self = *static_cast<Indexer*>(r->receiver_data);
            if (self.stopAfter >= 0 && static_cast<int>(self.presets.size()) >= self.stopAfter)
                return false;
            self.presets.push_back({name ? name : "", key ? key : "", {}, 0});
            return true;
        };
        receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver* r,
                                    const clap_universal_plugin_id* id) {
            static_cast<Indexer*>(r->receiver_data)
                ->presets.back()
                .pluginIds.push_back(std::string(id->abi) + ":" + id->id);
        };
        receiver.set_flags = [](const clap_preset_discovery_metadata_receiver* r, uint32_t flags) {
            static_cast<Indexer*>(r->receiver_data)->presets.back().flags = flags;
        };
        // The optional ones left null: the provider must cope.
    }
};

inline const clap_preset_discovery_factory* discoveryOf(const ClapTestHost& host, const char* id) {
    return host.entry() ? static_cast<const clap_preset_discovery_factory*>(host.entry()->get_factory(id))
                        : nullptr;
}

}  // namespace clapcheck
