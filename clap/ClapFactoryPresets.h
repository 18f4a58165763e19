// A plug-in's factory programs offered to a host's preset browser: a
// preset-discovery factory with one provider, whose one location is the
// plug-in itself (the programs are built into the library, so nothing
// depends on where data files were installed), and the checks every
// preset-load call makes before a plug-in loads program "0".."9".
//
// Both plug-ins (the head and the rig) describe their bank with a
// ClapFactoryBank and keep the loading itself, which only they know.
//
// Threads: the discovery calls run on whichever thread the host indexes from,
// with no plug-in made; the preset-load helpers on the host's main thread.
#pragma once

#include <cstdint>
#include <string>

#include "clap/ClapAbi.h"

struct ClapFactoryBank {
    const char* providerId;    // reverse-domain id of the provider
    const char* locationName;  // shown by the host
    const char* vendor;
    const char* pluginId;  // the CLAP id the programs apply to
    int count;             // programs, at most 10 (keys are one digit)
    std::string (*name)(int program);
};

// The entry's discovery factory for one bank; `bank` must outlive it.
struct ClapPresetDiscoveryFactory {
    clap_preset_discovery_factory factory;  // first: the host's pointer is ours
    const ClapFactoryBank* bank;
    clap_preset_discovery_provider_descriptor descriptor;
};
ClapPresetDiscoveryFactory makeClapPresetDiscovery(const ClapFactoryBank& bank);

// True when `id` names the discovery factory (current or draft id).
bool isClapPresetDiscoveryId(const char* id);

// The program a preset-load call names, or -1 with the reason in `error`
// (a file location: the programs are inside the plug-in; an unknown key).
int clapFactoryProgramOf(const ClapFactoryBank& bank, uint32_t kind, const char* key, const char*& error);

// The host's preset-load extension (current or draft id), or null.
const clap_host_preset_load* clapHostPresetLoad(const clap_host* host);

// Tell the host how the load ended (either call does nothing without the
// host's extension).
void clapReportPresetError(const clap_host* host, uint32_t kind, const char* location, const char* key,
                           const char* message);
void clapReportPresetLoaded(const clap_host* host, uint32_t kind, const char* location, const char* key);
