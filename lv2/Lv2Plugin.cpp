// The LV2 plug-in: an adapter over one amp engine per instance.
//
// Control ports are the host's. The engine remembers eight values per
// preamp channel, so a Channel change recalls the other channel's values
// inside the engine while the host's ports still hold the old ones. run()
// therefore applies only the ports whose value changed since the previous
// run, in index order: an unchanged port never overwrites a recalled value,
// and a port the host moved after the Channel change (a higher index) wins.
// Every port value is held to its declared 0..1 by the engine; NaN is no
// value and leaves the parameter as it was.
//
// A restored state is the truth about every channel, while the host's
// ports may still hold values from before a channel switch (generic
// controls do not follow the recall) and are restored along with it. So
// the first run after a restore takes whatever the ports then hold as
// already applied; only later moves of a port reach the amp.
//
// Threads (the LV2 classes): run() is the audio thread, the engine's only
// writer while the instance is active. restore() may come from the host's
// main thread while run() goes on (some hosts do): it only hands the state
// to the engine's mailbox, which the next block applies. save() reads the
// engine's published copy of the bank, never the audio thread's.

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "lv2/Lv2Ids.h"
#include "model/AmpEngine.h"

using namespace corvex_lv2;
using corvex::AmpEngine;

namespace {

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

struct Instance {
    AmpEngine engine;
    const float* controls[kNumControls] = {};
    const float* inputs[2] = {};
    float* outputs[2] = {};
    float* actual[kNumControls] = {};  // the values the amp uses, for the UI

    // Audio thread only: the bits of each control port as last applied (or,
    // before the first run, the engine's own value). NaN compares equal to
    // itself here, so a NaN port is looked at once.
    uint32_t applied[kNumControls] = {};

    // Set by restore (any thread), taken by the next run.
    std::atomic<bool> adoptPorts{false};
    // Between activate and deactivate run() may be called at any time.
    std::atomic<bool> active{false};
    // Restores handed to the engine, and the last of them a block has
    // applied (written by run after its block, or by restore itself when no
    // audio runs).
    std::atomic<uint32_t> restoresGiven{0};
    std::atomic<uint32_t> restoresApplied{0};

    // Main thread only (save and restore): the last state restored, saved
    // as it is should the host save before any block has applied it.
    std::vector<unsigned char> restored;
    unsigned char saving[AmpEngine::kStateSize] = {};

    LV2_URID chunkType = 0;
    LV2_URID bankKey = 0;
};

// Instantiation thread. A rate the amp cannot run at is refused.
LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (features[i]->URI && std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    // Without urid:map (lv2apply offers no features) the plug-in runs but
    // has no state to save or restore.
    Instance* self = nullptr;
    try {
        self = new Instance;
    } catch (...) {
        return nullptr;  // nothing crosses into the host as an exception
    }
    // The VST 2.4 interface hands the rate over as a 32-bit float; the LV2
    // rate is rounded the same way so that both builds design the same amp.
    const float hostRate = static_cast<float>(rate);
    if (!(rate > 0.0) || !self->engine.setSampleRate(static_cast<double>(hostRate))) {
        delete self;
        return nullptr;
    }
    if (map && map->map) {
        self->chunkType = map->map(map->handle, LV2_ATOM__Chunk);
        self->bankKey = map->map(map->handle, kStateBankKey);
    }
    for (uint32_t i = 0; i < kNumControls; ++i)
        self->applied[i] = floatBits(self->engine.value(static_cast<int>(i)));
    return self;
}

// Any thread the host connects ports on (never during run).
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    Instance* self = static_cast<Instance*>(handle);
    if (port < kNumControls)
        self->controls[port] = static_cast<const float*>(data);
    else if (port == kAudioIn0 || port == kAudioIn1)
        self->inputs[port - kAudioIn0] = static_cast<const float*>(data);
    else if (port == kAudioOut0 || port == kAudioOut1)
        self->outputs[port - kAudioOut0] = static_cast<float*>(data);
    else if (port >= kFirstActual && port < kNumPorts)
        self->actual[port - kFirstActual] = static_cast<float*>(data);
}

// Instantiation thread.
void activate(LV2_Handle handle) {
    static_cast<Instance*>(handle)->active.store(true, std::memory_order_release);
}

// Audio thread: no allocation, no lock, no design, no log.
void run(LV2_Handle handle, uint32_t frames) {
    Instance* self = static_cast<Instance*>(handle);
    AmpEngine& engine = self->engine;
    const uint32_t restores = self->restoresGiven.load(std::memory_order_acquire);
    if (self->adoptPorts.exchange(false, std::memory_order_acq_rel)) {
        for (uint32_t i = 0; i < kNumControls; ++i)
            if (self->controls[i])
                self->applied[i] = floatBits(*self->controls[i]);
    }
    for (uint32_t i = 0; i < kNumControls; ++i) {
        if (!self->controls[i])
            continue;
        const float value = *self->controls[i];
        const uint32_t bits = floatBits(value);
        if (bits == self->applied[i])
            continue;
        self->applied[i] = bits;
        engine.applyEvent(static_cast<int>(i), static_cast<double>(value));
    }
    // The block also applies a restored state (after the ports: the state
    // wins over port values restored with it). A run of no frames (hosts
    // use it to pass control values) applies the ports only.
    const int count = frames > 0x7fffffffu ? 0x7fffffff : static_cast<int>(frames);
    if (count > 0 && self->inputs[0] && self->outputs[0] && self->outputs[1]) {
        engine.process(self->inputs[0], self->inputs[1], self->outputs[0], self->outputs[1], count);
        self->restoresApplied.store(restores, std::memory_order_release);
    } else {
        for (float* out : self->outputs)
            if (out)
                std::memset(out, 0, sizeof(float) * frames);
    }
    for (uint32_t i = 0; i < kNumControls; ++i)
        if (self->actual[i])
            *self->actual[i] = engine.value(static_cast<int>(i));
}

// Instantiation thread.
void deactivate(LV2_Handle handle) {
    static_cast<Instance*>(handle)->active.store(false, std::memory_order_release);
}

// Instantiation thread.
void cleanup(LV2_Handle handle) {
    delete static_cast<Instance*>(handle);
}

// Main thread (may run beside run()).
LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->bankKey || !store)
        return LV2_STATE_ERR_NO_FEATURE;
    // A state restored a moment ago is applied by the next block; give the
    // audio thread a little time, then save the restored state itself.
    const uint32_t given = self->restoresGiven.load(std::memory_order_acquire);
    for (int wait = 0; wait < 100 && self->restoresApplied.load(std::memory_order_acquire) != given; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (self->restoresApplied.load(std::memory_order_acquire) != given && !self->restored.empty())
        return store(state, self->bankKey, self->restored.data(), self->restored.size(), self->chunkType,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    const std::size_t size = self->engine.saveState(self->saving, sizeof self->saving);
    if (size == 0)
        return LV2_STATE_ERR_UNKNOWN;
    return store(state, self->bankKey, self->saving, size, self->chunkType,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// Main thread (may run beside run()). A blob that is not exactly a state of
// ours, with every value in range, is refused before anything is touched.
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->bankKey || !retrieve)
        return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(state, self->bankKey, &size, &type, &flags);
    if (!data)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != self->chunkType)
        return LV2_STATE_ERR_BAD_TYPE;
    if (!AmpEngine::isValidState(data, size))
        return LV2_STATE_ERR_UNKNOWN;
    try {
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        self->restored.assign(bytes, bytes + size);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    if (!self->engine.loadState(data, size))
        return LV2_STATE_ERR_UNKNOWN;
    const uint32_t given = self->restoresGiven.fetch_add(1, std::memory_order_acq_rel) + 1;
    self->adoptPorts.store(true, std::memory_order_release);
    if (!self->active.load(std::memory_order_acquire)) {
        // No audio runs: the state is applied here and now.
        self->engine.flush();
        self->restoresApplied.store(given, std::memory_order_release);
    }
    return LV2_STATE_SUCCESS;
}

const LV2_State_Interface kStateInterface = {save, restore};

// Any thread.
const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0)
        return &kStateInterface;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace

// Discovery thread.
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
