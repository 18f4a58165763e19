// The rig's LV2 plug-in: one RigEngine per instance.
//
// Control ports are the host's; run() applies only the ports whose value
// changed since the previous run, in index order (a Channel change recalls
// eight values inside the amp, which an unchanged port must not overwrite),
// as the head's LV2 build does. After a restored state the first run takes
// the ports as they are.
//
// The user's impulse is a parameter of type atom:Path: a patch:Set on the
// control port hands the path to the host's worker thread, which reads,
// checks and prepares it (RigEngine::loadImpulseFile) and lets the engine
// crossfade to it; the reply, on the audio thread, tells the host the path
// (or, for a refused file, repeats the path in use). patch:Get is answered
// with the path in use. The state carries the rig's whole state, impulse
// samples included, and the path as the host maps it.
//
// Threads, as LV2 names them: instantiation (instantiate, activate,
// deactivate, cleanup, restore), audio (run, work_response), worker (work),
// and save, which may run beside run().
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "lv2/rig/RigLv2Ids.h"
#include "rig/RigEngine.h"

using namespace corvex_rig_lv2;
using corvex::RigEngine;

namespace {

constexpr std::size_t kMaxPath = 4096;
// The worker's answers: the path loaded (two bytes or more, with its zero),
// nothing for a refused file, or this one byte when cabinets were freed.
constexpr char kCollected = 1;

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

struct Uris {
    LV2_URID atomPath, atomUrid, atomChunk, atomObject, atomSequence, atomBlank;
    LV2_URID patchSet, patchGet, patchProperty, patchValue;
    LV2_URID impulse, stateKey;
};

struct Instance {
    std::unique_ptr<RigEngine> rig;
    const float* controls[kNumControls] = {};
    const float* inputs[2] = {};
    float* outputs[2] = {};
    const LV2_Atom_Sequence* controlIn = nullptr;
    LV2_Atom_Sequence* notifyOut = nullptr;
    float* latency = nullptr;
    float* inputPeak = nullptr;
    float* outputPeak = nullptr;
    float* gateClosed = nullptr;
    uint32_t applied[kNumControls] = {};
    bool adoptPorts = false;

    LV2_URID_Map* map = nullptr;
    LV2_Worker_Schedule* schedule = nullptr;
    Uris uris{};
    LV2_Atom_Forge forge;
    // The path in use, as the audio thread knows it (set by work_response),
    // and whether the host is owed a patch:Set telling it.
    char path[kMaxPath] = {};
    bool tellPath = false;
    bool collecting = false;  // a job to free cabinets is on its way (audio thread's)
    // The same path for save(), which may run beside run() and work():
    // written by work() and restore, read by save.
    std::mutex savedPathLock;
    std::string savedPath;
};

// ---- instantiation ----

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    auto self = std::unique_ptr<Instance>(new (std::nothrow) Instance());
    if (!self)
        return nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_URID__map))
            self->map = static_cast<LV2_URID_Map*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_WORKER__schedule))
            self->schedule = static_cast<LV2_Worker_Schedule*>(features[i]->data);
    }
    try {
        self->rig = std::make_unique<RigEngine>();
    } catch (...) {
        return nullptr;
    }
    if (!self->rig->setSampleRate(rate))
        return nullptr;  // a rate the amp cannot take
    for (uint32_t i = 0; i < kNumControls; ++i)
        self->applied[i] = floatBits(self->rig->value((int)i));
    if (LV2_URID_Map* m = self->map) {
        Uris& u = self->uris;
        u.atomPath = m->map(m->handle, LV2_ATOM__Path);
        u.atomUrid = m->map(m->handle, LV2_ATOM__URID);
        u.atomChunk = m->map(m->handle, LV2_ATOM__Chunk);
        u.atomObject = m->map(m->handle, LV2_ATOM__Object);
        u.atomSequence = m->map(m->handle, LV2_ATOM__Sequence);
        u.atomBlank = m->map(m->handle, LV2_ATOM__Blank);
        u.patchSet = m->map(m->handle, LV2_PATCH__Set);
        u.patchGet = m->map(m->handle, LV2_PATCH__Get);
        u.patchProperty = m->map(m->handle, LV2_PATCH__property);
        u.patchValue = m->map(m->handle, LV2_PATCH__value);
        u.impulse = m->map(m->handle, kImpulseUri);
        u.stateKey = m->map(m->handle, kStateKey);
        lv2_atom_forge_init(&self->forge, m);
    }
    return self.release();
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    Instance* self = static_cast<Instance*>(handle);
    if (port < kNumControls)
        self->controls[port] = static_cast<const float*>(data);
    else if (port == kAudioIn0 || port == kAudioIn1)
        self->inputs[port - kAudioIn0] = static_cast<const float*>(data);
    else if (port == kAudioOut0 || port == kAudioOut1)
        self->outputs[port - kAudioOut0] = static_cast<float*>(data);
    else if (port == kControlIn)
        self->controlIn = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == kNotifyOut)
        self->notifyOut = static_cast<LV2_Atom_Sequence*>(data);
    else if (port == kLatencyOut)
        self->latency = static_cast<float*>(data);
    else if (port == kInputPeak)
        self->inputPeak = static_cast<float*>(data);
    else if (port == kOutputPeak)
        self->outputPeak = static_cast<float*>(data);
    else if (port == kGateClosed)
        self->gateClosed = static_cast<float*>(data);
}

void activate(LV2_Handle) {}
void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    delete static_cast<Instance*>(handle);
}

// ---- audio thread ----

// A patch:Set of the impulse path, or a patch:Get of it; anything else is
// ignored.
void readMessage(Instance* self, const LV2_Atom_Object* object) {
    const Uris& u = self->uris;
    if (object->body.otype == u.patchGet) {
        self->tellPath = true;
        return;
    }
    if (object->body.otype != u.patchSet)
        return;
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, u.patchProperty, &property, u.patchValue, &value, 0);
    if (!property || property->type != u.atomUrid || ((const LV2_Atom_URID*)property)->body != u.impulse)
        return;
    if (!value || value->type != u.atomPath || value->size == 0 || value->size >= kMaxPath || !self->schedule)
        return;
    // The path (with its zero) goes to the worker; the atom's body is it.
    self->schedule->schedule_work(self->schedule->handle, value->size, LV2_ATOM_BODY_CONST(value));
}

void writePath(Instance* self) {
    const Uris& u = self->uris;
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_frame_time(&self->forge, 0);
    lv2_atom_forge_object(&self->forge, &frame, 0, u.patchSet);
    lv2_atom_forge_key(&self->forge, u.patchProperty);
    lv2_atom_forge_urid(&self->forge, u.impulse);
    lv2_atom_forge_key(&self->forge, u.patchValue);
    lv2_atom_forge_path(&self->forge, self->path, (uint32_t)std::strlen(self->path));
    lv2_atom_forge_pop(&self->forge, &frame);
}

void run(LV2_Handle handle, uint32_t frames) {
    Instance* self = static_cast<Instance*>(handle);
    RigEngine& rig = *self->rig;
    // Messages in.
    if (self->controlIn && self->map) {
        LV2_ATOM_SEQUENCE_FOREACH(self->controlIn, event) {
            if (event->body.type == self->uris.atomObject || event->body.type == self->uris.atomBlank)
                readMessage(self, (const LV2_Atom_Object*)&event->body);
        }
    }
    // Ports in.
    if (self->adoptPorts) {
        self->adoptPorts = false;
        for (uint32_t i = 0; i < kNumControls; ++i)
            if (self->controls[i])
                self->applied[i] = floatBits(*self->controls[i]);
    }
    for (uint32_t i = 0; i < kNumControls; ++i) {
        if (!self->controls[i])
            continue;
        const uint32_t bits = floatBits(*self->controls[i]);
        if (bits == self->applied[i])
            continue;
        self->applied[i] = bits;
        rig.applyEvent((int)i, *self->controls[i]);
    }
    // Audio.
    if (frames > 0 && self->inputs[0] && self->outputs[0] && self->outputs[1]) {
        const uint32_t maxBlock = 0x7fffffffu;
        rig.process(self->inputs[0], self->inputs[1], self->outputs[0], self->outputs[1],
                    (int)(frames > maxBlock ? maxBlock : frames));
    }
    rig.endBlock();
    // Reports out.
    if (self->latency)
        *self->latency = (float)rig.latency();
    if (self->inputPeak)
        *self->inputPeak = rig.takeInputPeak();
    if (self->outputPeak)
        *self->outputPeak = rig.takeOutputPeak();
    if (self->gateClosed)
        *self->gateClosed = rig.gateClosed() ? 1.0f : 0.0f;
    if (self->notifyOut && self->map) {
        const uint32_t capacity = self->notifyOut->atom.size;
        lv2_atom_forge_set_buffer(&self->forge, (uint8_t*)self->notifyOut, capacity);
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_sequence_head(&self->forge, &frame, 0);
        if (self->tellPath && self->path[0]) {
            writePath(self);
            self->tellPath = false;
        }
        lv2_atom_forge_pop(&self->forge, &frame);
    }
    // Cabinets the audio thread let go of are freed by the worker.
    if (rig.hasRetired() && self->schedule && !self->collecting) {
        self->collecting = true;
        self->schedule->schedule_work(self->schedule->handle, 0, nullptr);
    }
}

// ---- worker ----

// Worker thread: loads the impulse at the path it was given (or, with no
// path, only frees what the audio thread let go of).
LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle target,
                       uint32_t size, const void* data) {
    Instance* self = static_cast<Instance*>(handle);
    self->rig->collect();
    if (size == 0 || !data) {
        const char done = kCollected;
        respond(target, 1, &done);
        return LV2_WORKER_SUCCESS;
    }
    const std::string path(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
    std::string error;
    if (self->rig->loadImpulseFile(path, error)) {
        {
            std::lock_guard<std::mutex> lock(self->savedPathLock);
            self->savedPath = path;
        }
        respond(target, (uint32_t)path.size() + 1, path.c_str());
    }
    else
        respond(target, 0, nullptr);  // refused: the host hears the path in use
    return LV2_WORKER_SUCCESS;
}

// Audio thread.
LV2_Worker_Status workResponse(LV2_Handle handle, uint32_t size, const void* data) {
    Instance* self = static_cast<Instance*>(handle);
    if (size == 1 && data && *static_cast<const char*>(data) == kCollected) {
        self->collecting = false;
        return LV2_WORKER_SUCCESS;
    }
    if (size > 0 && size <= kMaxPath && data) {
        std::memcpy(self->path, data, size);
        self->path[kMaxPath - 1] = 0;
    }
    self->tellPath = true;
    return LV2_WORKER_SUCCESS;
}

const LV2_Worker_Interface kWorker = {work, workResponse, nullptr};

// ---- state ----

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const* features) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->map)
        return LV2_STATE_ERR_NO_FEATURE;
    const std::vector<unsigned char> blob = self->rig->saveState();
    LV2_State_Status status = store(state, self->uris.stateKey, blob.data(), blob.size(), self->uris.atomChunk,
                                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    if (status != LV2_STATE_SUCCESS)
        return status;
    // The path too, for hosts and people reading the session; the samples
    // above are what a restore uses.
    std::string currentPath;
    {
        std::lock_guard<std::mutex> lock(self->savedPathLock);
        currentPath = self->savedPath;
    }
    if (currentPath.empty())
        return LV2_STATE_SUCCESS;
    const char* current = currentPath.c_str();
    LV2_State_Map_Path* mapPath = nullptr;
    LV2_State_Free_Path* freePath = nullptr;
    for (int i = 0; features && features[i]; ++i) {
        if (!std::strcmp(features[i]->URI, LV2_STATE__mapPath))
            mapPath = static_cast<LV2_State_Map_Path*>(features[i]->data);
        else if (!std::strcmp(features[i]->URI, LV2_STATE__freePath))
            freePath = static_cast<LV2_State_Free_Path*>(features[i]->data);
    }
    char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, current) : nullptr;
    const char* stored = abstract ? abstract : current;
    status = store(state, self->uris.impulse, stored, std::strlen(stored) + 1, self->uris.atomPath, LV2_STATE_IS_POD);
    if (abstract) {
        if (freePath)
            freePath->free_path(freePath->handle, abstract);
        else
            std::free(abstract);
    }
    return status;
}

// A state or preset that names only an impulse file (a hand-written preset,
// or a host that keeps the path parameter and nothing else): the file is
// read now, as a patch:Set of it would; the other settings stay. A file that
// is missing or refused changes nothing.
LV2_State_Status restoreImpulseOnly(Instance* self, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state) {
    size_t pathSize = 0;
    uint32_t type = 0, flags = 0;
    const void* path = retrieve(state, self->uris.impulse, &pathSize, &type, &flags);
    if (!path)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != self->uris.atomPath || pathSize == 0 || pathSize >= kMaxPath)
        return LV2_STATE_ERR_BAD_TYPE;
    const std::string file(static_cast<const char*>(path), strnlen(static_cast<const char*>(path), pathSize));
    std::string error;
    if (file.empty() || !self->rig->loadImpulseFile(file, error))
        return LV2_STATE_ERR_UNKNOWN;
    std::memcpy(self->path, file.c_str(), file.size() + 1);
    self->tellPath = true;
    {
        std::lock_guard<std::mutex> lock(self->savedPathLock);
        self->savedPath = file;
    }
    return LV2_STATE_SUCCESS;
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Instance* self = static_cast<Instance*>(handle);
    if (!self->map)
        return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* data = retrieve(state, self->uris.stateKey, &size, &type, &flags);
    if (!data)
        return restoreImpulseOnly(self, retrieve, state);
    if (type != self->uris.atomChunk)
        return LV2_STATE_ERR_BAD_TYPE;
    if (!self->rig->loadState(data, size))
        return LV2_STATE_ERR_UNKNOWN;
    self->rig->flush();
    // The path the session names, for patch:Get (the file itself may be gone).
    size_t pathSize = 0;
    const void* path = retrieve(state, self->uris.impulse, &pathSize, &type, &flags);
    if (path && type == self->uris.atomPath && pathSize > 0 && pathSize < kMaxPath) {
        std::memcpy(self->path, path, pathSize);
        self->path[pathSize] = 0;
    } else {
        self->path[0] = 0;
    }
    self->tellPath = self->path[0] != 0;
    {
        std::lock_guard<std::mutex> lock(self->savedPathLock);
        self->savedPath = self->path;
    }
    self->adoptPorts = true;
    return LV2_STATE_SUCCESS;
}

const LV2_State_Interface kState = {save, restore};

const void* extensionData(const char* uri) {
    if (uri && !std::strcmp(uri, LV2_STATE__interface))
        return &kState;
    if (uri && !std::strcmp(uri, LV2_WORKER__interface))
        return &kWorker;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
