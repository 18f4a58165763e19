// The state extension: the engine's state (the ten programs with both
// channels of each, and the current program), in the layout every format
// shares. States the CLAP build saved before that layout still load.
#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace {

using corvex::AmpEngine;

// The largest blob read: a little more than any layout, so that a longer
// stream is seen and refused.
constexpr std::size_t kReadLimit = AmpEngine::kStateSize + 64;

// Main thread.
bool CLAP_CALL stateSave(const clap_plugin* p, const clap_ostream* stream) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !stream || !stream->write || !self->onMainThread())
        return false;
    unsigned char blob[AmpEngine::kStateSize];
    const std::size_t size = self->engine()->saveState(blob, sizeof(blob));
    if (size == 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const int64_t n = stream->write(stream, blob + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Main thread. A blob that fails any check is refused before the engine is
// touched.
bool CLAP_CALL stateLoad(const clap_plugin* p, const clap_istream* stream) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !stream || !stream->read || !self->onMainThread())
        return false;
    unsigned char blob[kReadLimit];
    std::size_t size = 0;
    while (size < sizeof(blob)) {
        const int64_t n = stream->read(stream, blob + size, sizeof(blob) - size);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n) < sizeof(blob) - size ? static_cast<std::size_t>(n) : sizeof(blob) - size;
    }
    if (!self->engine()->loadState(blob, size))
        return false;
    self->stateLoaded();
    return true;
}

}  // namespace

const clap_plugin_state kClapState = {stateSave, stateLoad};
