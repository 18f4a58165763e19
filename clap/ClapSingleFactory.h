// The plug-in factory of a library that holds one plug-in class P, and its
// descriptor. Identity gives the descriptor's texts:
//   static const char* id(), *name(), *vendor(), *version(), *description();
//   static const char* const* features();
// (name, vendor and version are the engine's identity strings; no engine is
// made to read them). P is made as P(host, descriptor) and gives clapPlugin().
// Threads: the main thread, as the host calls a factory.
#pragma once

#include <cstdio>
#include <cstring>
#include <new>

#include "clap/ClapAbi.h"

template <class P, class Identity>
struct ClapSingleFactory {
    // Filled at entry init (or at first use by a host that skipped it), read
    // by the host for as long as the library is loaded.
    static inline char name[64];
    static inline char vendor[128];
    static inline char version[32];
    static inline clap_plugin_descriptor descriptor;

    static void fill() {
        std::snprintf(name, sizeof name, "%s", Identity::name());
        std::snprintf(vendor, sizeof vendor, "%s", Identity::vendor());
        std::snprintf(version, sizeof version, "%s", Identity::version());
        descriptor.clap_version = CLAP_VERSION_OURS;
        descriptor.id = Identity::id();
        descriptor.name = name;
        descriptor.vendor = vendor;
        descriptor.url = "";
        descriptor.manual_url = "";
        descriptor.support_url = "";
        descriptor.version = version;
        descriptor.description = Identity::description();
        descriptor.features = Identity::features();
    }

    static uint32_t CLAP_CALL count(const clap_plugin_factory*) { return 1; }

    static const clap_plugin_descriptor* CLAP_CALL descriptorAt(const clap_plugin_factory*, uint32_t index) {
        if (index != 0)
            return nullptr;
        if (!descriptor.id)
            fill();
        return &descriptor;
    }

    static const clap_plugin* CLAP_CALL create(const clap_plugin_factory*, const clap_host* host, const char* id) {
        if (!host || !id || std::strcmp(id, Identity::id()) != 0 || !clapVersionIsCompatible(host->clap_version))
            return nullptr;
        if (!descriptor.id)
            fill();
        P* plugin = new (std::nothrow) P(host, &descriptor);
        return plugin ? plugin->clapPlugin() : nullptr;
    }

    static constexpr clap_plugin_factory factory = {count, descriptorAt, create};
};
