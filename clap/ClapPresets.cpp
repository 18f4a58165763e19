// The head's factory programs in a host's preset browser (the discovery
// factory of clap/ClapFactoryPresets.h over the built-in factory bank) and the
// plug-in's preset-load extension, which loads one of those programs by the
// load key the provider gave ("0".."9").
//
// Loading a factory program replaces the current program with it, both
// channels' knobs and its name, exactly as loading the matching .fxp into the
// VST 2.4 build does; the other nine programs stay as they are. The new state
// goes to the engine the way a host's state load does (applied at the next
// block, or at once when no audio runs).
//
// Threads: everything here runs on the host's main thread (the discovery
// calls on whichever thread the host indexes from, with no plug-in made).
#include <cstring>
#include <string>

#include "CorvexFactoryBank.inc"  // kFactoryBank: the factory bank's ten program records
#include "clap/ClapExtensions.h"
#include "clap/ClapFactoryPresets.h"
#include "clap/ClapPlugin.h"
#include "model/AmpEngine.h"
#include "model/AmpState.h"

namespace {

using corvex::AmpEngine;

static_assert(sizeof(kFactoryBank) == kBankChunkSize, "the factory bank is ten 208-byte programs");

// A factory program's name: the record's first 24 bytes, up to the first zero.
std::string factoryName(int program) {
    const char* field = reinterpret_cast<const char*>(kFactoryBank + program * kProgramChunkSize);
    std::size_t length = 0;
    while (length < sizeof(CorvexProgram::name) && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

const ClapFactoryBank kBank = {"com.ardex-plugins.corvex.factory", "Corvex factory programs",
                               AmpEngine::vendorName(),            kClapPluginId,
                               AmpEngine::kProgramCount,           factoryName};

// ---- preset-load extension (main thread) ----

bool CLAP_CALL presetFromLocation(const clap_plugin* p, uint32_t kind, const char* location, const char* key) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !self->onMainThread())
        return false;
    const char* error = nullptr;
    const int program = clapFactoryProgramOf(kBank, kind, key, error);
    if (program < 0) {
        clapReportPresetError(self->host(), kind, location, key, error);
        return false;
    }
    // The engine's state with the current program's record replaced.
    unsigned char blob[AmpEngine::kStateSize];
    corvex::StateContents contents;
    const std::size_t saved = self->engine()->saveState(blob, sizeof blob);
    if (saved == 0 || !corvex::readState(blob, saved, contents) ||
        contents.currentProgram >= static_cast<uint32_t>(AmpEngine::kProgramCount)) {
        clapReportPresetError(self->host(), kind, location, key, "the amp's state could not be read");
        return false;
    }
    std::memcpy(contents.bank + contents.currentProgram * kProgramChunkSize,
                kFactoryBank + program * kProgramChunkSize, kProgramChunkSize);
    const std::size_t size = corvex::writeState(contents, blob, sizeof blob);
    if (size == 0 || !self->engine()->loadState(blob, size)) {
        clapReportPresetError(self->host(), kind, location, key, "the amp refused the factory program");
        return false;
    }
    self->stateLoaded();
    clapReportPresetLoaded(self->host(), kind, location, key);
    return true;
}

const ClapPresetDiscoveryFactory kDiscovery = makeClapPresetDiscovery(kBank);

}  // namespace

const clap_preset_discovery_factory& kClapPresetDiscovery = kDiscovery.factory;
const clap_plugin_preset_load kClapPresetLoad = {presetFromLocation};
