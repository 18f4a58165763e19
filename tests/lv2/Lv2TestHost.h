// A small LV2 host on lilv for the tests: loads the bundle from LV2_PATH,
// maps URIs, runs an instance in blocks and saves and restores its state
// through lilv's state API.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class UridMap {
public:
    UridMap() {
        mapFeature.handle = this;
        mapFeature.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); };
        unmapFeature.handle = this;
        unmapFeature.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<UridMap*>(h)->unmap(id); };
        features[0] = {LV2_URID__map, &mapFeature};
        features[1] = {LV2_URID__unmap, &unmapFeature};
        list[0] = &features[0];
        list[1] = &features[1];
        list[2] = nullptr;
    }
    LV2_URID map(const char* uri) {
        auto found = ids.find(uri);
        if (found != ids.end())
            return found->second;
        uris.push_back(uri);
        return ids[uri] = static_cast<LV2_URID>(uris.size());
    }
    const char* unmap(LV2_URID id) const { return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr; }

    LV2_URID_Map mapFeature;
    LV2_URID_Unmap unmapFeature;
    LV2_Feature features[2];
    const LV2_Feature* list[3];

private:
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
};

class Lv2World {
public:
    explicit Lv2World(const char* lv2Path) {
        setenv("LV2_PATH", lv2Path, 1);
        world = lilv_world_new();
        lilv_world_load_all(world);
        LilvNode* uri = lilv_new_uri(world, "https://ardex-plugins.example/corvex");
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Lv2World() { lilv_world_free(world); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    UridMap urids;
};

// One running instance with 13 control values and stereo buffers.
class Lv2Instance {
public:
    static constexpr uint32_t kControls = 13;

    Lv2Instance(Lv2World& w, double rate, uint32_t maxBlock = 512) : world(w), in(2 * maxBlock), out(2 * maxBlock) {
        instance = lilv_plugin_instantiate(w.plugin, rate, w.urids.list);
        if (!instance)
            return;
        for (uint32_t i = 0; i < kControls; ++i) {
            LilvNode* def = nullptr;
            lilv_port_get_range(w.plugin, lilv_plugin_get_port_by_index(w.plugin, i), &def, nullptr, nullptr);
            controls[i] = def ? lilv_node_as_float(def) : 0.0f;
            lilv_node_free(def);
            lilv_instance_connect_port(instance, i, &controls[i]);
        }
        lilv_instance_connect_port(instance, 13, in.data());
        lilv_instance_connect_port(instance, 14, in.data() + maxBlock);
        lilv_instance_connect_port(instance, 15, out.data());
        lilv_instance_connect_port(instance, 16, out.data() + maxBlock);
        for (uint32_t i = 0; i < kControls; ++i)
            lilv_instance_connect_port(instance, 17 + i, &actual[i]);
        this->maxBlock = maxBlock;
        lilv_instance_activate(instance);
    }
    ~Lv2Instance() {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    // Runs `frames` (at most maxBlock) of the given input; output in out.
    void run(const float* left, const float* right, uint32_t frames) {
        std::memcpy(in.data(), left, frames * sizeof(float));
        std::memcpy(in.data() + maxBlock, right, frames * sizeof(float));
        lilv_instance_run(instance, frames);
    }
    void runSilence(uint32_t frames = 1) {
        std::vector<float> zero(frames);
        run(zero.data(), zero.data(), frames);
    }
    // Hosts may hand the same buffers for input and output.
    void connectInPlace() {
        lilv_instance_connect_port(instance, 15, in.data());
        lilv_instance_connect_port(instance, 16, in.data() + maxBlock);
        inPlace = true;
    }
    const float* outLeft() const { return inPlace ? in.data() : out.data(); }
    const float* outRight() const { return inPlace ? in.data() + maxBlock : out.data() + maxBlock; }

    const LV2_State_Interface* stateInterface() const {
        return static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    }

    // The plug-in's state blob, through its own save (the host side of
    // lilv is not needed for that).
    std::vector<unsigned char> savedBlob() {
        std::vector<unsigned char> blob;
        auto store = [](LV2_State_Handle h, uint32_t, const void* value, size_t size, uint32_t, uint32_t) {
            auto* target = static_cast<std::vector<unsigned char>*>(h);
            const auto* bytes = static_cast<const unsigned char*>(value);
            target->assign(bytes, bytes + size);
            return LV2_STATE_SUCCESS;
        };
        stateInterface()->save(lilv_instance_get_handle(instance), store, &blob, 0, world.urids.list);
        return blob;
    }

    // Offers `bytes` as the plug-in's state property (any key the plug-in
    // asks for gets them), with `type` (0: atom:Chunk), to its restore.
    LV2_State_Status restoreBlob(const std::vector<unsigned char>& bytes, uint32_t type = 0) {
        struct Offer {
            const std::vector<unsigned char>* bytes;
            uint32_t type;
        } offer{&bytes, type ? type : world.urids.map(LV2_ATOM__Chunk)};
        auto retrieve = [](LV2_State_Handle h, uint32_t, size_t* size, uint32_t* t, uint32_t* flags) -> const void* {
            const auto* o = static_cast<const Offer*>(h);
            *size = o->bytes->size();
            *t = o->type;
            *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
            return o->bytes->data();
        };
        return stateInterface()->restore(lilv_instance_get_handle(instance), retrieve, &offer, 0, world.urids.list);
    }

    // lilv's state API: a state of this instance, ports and properties.
    LilvState* saveState() {
        return lilv_state_new_from_instance(world.plugin, instance, &world.urids.mapFeature, nullptr, nullptr, nullptr,
                                            nullptr, getPort, this, 0, world.urids.list);
    }
    void restoreState(const LilvState* state) {
        lilv_state_restore(state, instance, setPort, this, 0, world.urids.list);
    }

    Lv2World& world;
    LilvInstance* instance = nullptr;
    float controls[kControls] = {};
    float actual[kControls] = {};  // what the amp reports it is using
    std::vector<float> in, out;
    uint32_t maxBlock = 0;
    bool inPlace = false;

private:
    static uint32_t portIndex(Lv2Instance* self, const char* symbol) {
        LilvNode* sym = lilv_new_string(self->world.world, symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(self->world.plugin, sym);
        lilv_node_free(sym);
        return port ? lilv_port_get_index(self->world.plugin, port) : UINT32_MAX;
    }
    static const void* getPort(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
        auto* self = static_cast<Lv2Instance*>(user);
        const uint32_t index = portIndex(self, symbol);
        if (index >= kControls)
            return nullptr;
        *size = sizeof(float);
        *type = self->world.urids.map(LV2_ATOM__Float);
        return &self->controls[index];
    }
    static void setPort(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
        auto* self = static_cast<Lv2Instance*>(user);
        const uint32_t index = portIndex(self, symbol);
        if (index < kControls && size == sizeof(float) && type == self->world.urids.map(LV2_ATOM__Float))
            std::memcpy(&self->controls[index], value, sizeof(float));
    }
};
