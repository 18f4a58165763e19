// The LV2 plug-in: the same effect the VST 2.4 library makes, driven
// through its AEffect record exactly as a VST 2.4 host drives it, so that
// both builds compute the same samples.
//
// Control ports are the host's. The effect remembers eight values per
// preamp channel, so a Channel change replaces those values inside the
// effect while the host's ports still hold the old ones. run() therefore
// applies only the ports whose value changed since the previous run, in
// index order: an unchanged port never overwrites a recalled value, and a
// port the host moved after the Channel change (a higher index) wins.
//
// A restored state is the truth about every channel, while the host's
// ports may still hold values from before a channel switch (generic
// controls do not follow the recall) and are restored along with it. So
// the first run after a restore takes whatever the ports then hold as
// already applied; only later moves of a port reach the amp.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/atom/atom.h>

#include <atomic>
#include <cstring>
#include <new>

#include "lv2/Lv2Ids.h"
#include "lv2/Lv2StateBlob.h"
#include "model/Corvex.h"

using namespace corvex_lv2;

namespace {

// The effect asks its host only for the version while it is being made and
// for nothing the DSP side has to answer later.
VstIntPtr VSTCALLBACK dspHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

struct Instance {
    AEffect* effect = nullptr;
    const float* controls[kNumControls] = {};
    const float* inputs[2] = {};
    float* outputs[2] = {};
    float* actual[kNumControls] = {};  // the values the amp uses, for the UI
    // The bits of each control port as last applied (or, before the first
    // run, the effect's own value): NaN compares equal to itself here.
    uint32_t applied[kNumControls] = {};
    bool adoptPorts = false;  // set by restore, read by the next run (never concurrent)

    LV2_URID chunkType = 0;
    LV2_URID bankKey = 0;

    // What save() hands out. save may run beside run(), which changes the
    // programs, so run publishes a copy under a sequence count (odd while
    // writing) and save retries until it reads a whole one.
    std::atomic<uint32_t> snapshotSequence{0};
    StateBlob snapshot;
    StateBlob saving;  // save's own copy (save is never called twice at once)

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    // Audio thread or instantiation: copies the bank into the snapshot.
    void publish() {
        void* bank = nullptr;
        if (dispatch(effGetChunk, 0, 0, &bank, 0.0f) != static_cast<VstIntPtr>(kBankChunkSize) || !bank)
            return;
        const uint32_t program = static_cast<uint32_t>(dispatch(effGetProgram, 0, 0, nullptr, 0.0f));
        const uint32_t sequence = snapshotSequence.load(std::memory_order_relaxed);
        snapshotSequence.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        encodeState(snapshot, bank, program);
        snapshotSequence.store(sequence + 2, std::memory_order_release);
    }

    // Save thread: a consistent copy of the snapshot into `saving`.
    void readSnapshot() {
        for (;;) {
            const uint32_t before = snapshotSequence.load(std::memory_order_acquire);
            if (before & 1u)
                continue;
            std::memcpy(saving.bytes, snapshot.bytes, sizeof saving.bytes);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (snapshotSequence.load(std::memory_order_relaxed) == before)
                return;
        }
    }
};

// Instantiation thread.
// The effect without an editor: the UI is a library of its own, and this one
// links no GUI at all.
AEffect* makeEffect() {
    try {
        Corvex* effect = new (std::nothrow) Corvex(dspHost);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;  // nothing crosses into the host as an exception
    }
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>(features[i]->data);
    // Without urid:map (lv2apply offers no features) the plug-in runs but
    // has no state to save or restore.
    if (!(rate > 0.0) || rate > 1.0e7)
        return nullptr;

    Instance* self = new (std::nothrow) Instance;
    if (!self)
        return nullptr;
    self->effect = makeEffect();
    if (!self->effect) {
        delete self;
        return nullptr;
    }
    if (map) {
        self->chunkType = map->map(map->handle, LV2_ATOM__Chunk);
        self->bankKey = map->map(map->handle, kStateBankKey);
    }
    // The order a VST 2.4 host opens an effect in.
    self->dispatch(effOpen, 0, 0, nullptr, 0.0f);
    self->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    for (uint32_t i = 0; i < kNumControls; ++i)
        self->applied[i] = floatBits(self->effect->getParameter(self->effect, static_cast<VstInt32>(i)));
    self->publish();
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
    static_cast<Instance*>(handle)->dispatch(effMainsChanged, 0, 1, nullptr, 0.0f);
}

// Audio thread: no allocation, no lock, no log.
void run(LV2_Handle handle, uint32_t frames) {
    Instance* self = static_cast<Instance*>(handle);
    AEffect* effect = self->effect;
    if (self->adoptPorts) {
        self->adoptPorts = false;
        for (uint32_t i = 0; i < kNumControls; ++i)
            if (self->controls[i])
                self->applied[i] = floatBits(*self->controls[i]);
    }
    bool changed = false;
    for (uint32_t i = 0; i < kNumControls; ++i) {
        if (!self->controls[i])
            continue;
        const float value = *self->controls[i];
        const uint32_t bits = floatBits(value);
        if (bits == self->applied[i])
            continue;
        self->applied[i] = bits;
        effect->setParameter(effect, static_cast<VstInt32>(i), value);
        changed = true;
    }
    if (changed)
        self->publish();
    for (uint32_t i = 0; i < kNumControls; ++i)
        if (self->actual[i])
            *self->actual[i] = effect->getParameter(effect, static_cast<VstInt32>(i));
    if (frames == 0)
        return;
    // The effect reads its inputs before it writes the outputs of the same
    // sample, so in-place buffers are fine.
    float* inputs[2] = {const_cast<float*>(self->inputs[0]), const_cast<float*>(self->inputs[1])};
    const uint32_t maxBlock = 0x7fffffffu;
    effect->processReplacing(effect, inputs, self->outputs,
                             static_cast<VstInt32>(frames > maxBlock ? maxBlock : frames));
}

// Instantiation thread.
void deactivate(LV2_Handle handle) {
    static_cast<Instance*>(handle)->dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
}

// Instantiation thread.
void cleanup(LV2_Handle handle) {
    Instance* self = static_cast<Instance*>(handle);
    self->dispatch(effClose, 0, 0, nullptr, 0.0f);  // deletes the effect
    delete self;
}

// Save thread (may run beside run()).
LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->bankKey)
        return LV2_STATE_ERR_NO_FEATURE;
    self->readSnapshot();
    return store(state, self->bankKey, self->saving.bytes, sizeof self->saving.bytes, self->chunkType,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// Instantiation thread (never beside run()). A blob that is not exactly
// ours is refused before anything is touched.
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->bankKey)
        return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* data = retrieve(state, self->bankKey, &size, &type, &flags);
    if (!data)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != self->chunkType)
        return LV2_STATE_ERR_BAD_TYPE;
    const unsigned char* bank = nullptr;
    uint32_t program = 0;
    if (!decodeState(data, size, bank, program))
        return LV2_STATE_ERR_UNKNOWN;
    // Select the program first, then load the bank: setChunk applies the
    // loaded copy of the now current program.
    self->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(program), nullptr, 0.0f);
    self->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(kBankChunkSize), const_cast<unsigned char*>(bank), 0.0f);
    self->publish();
    self->adoptPorts = true;
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
