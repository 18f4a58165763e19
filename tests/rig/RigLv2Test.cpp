// CorvexRig.lv2 through lilv, as an LV2 host runs it: the description, the
// head's samples with the gate open and the cabinet off, the impulse set as
// a patch:Set path through the worker, and the state that carries it after
// the file is deleted.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RigTestSupport.h"
#include "lv2/rig/RigLv2Ids.h"
#include "rig/RigEngine.h"

namespace {

namespace ids = corvex_rig_lv2;
using corvex::RigEngine;

class Host {
public:
    Host() {
        setenv("LV2_PATH", CORVEX_LV2_PATH, 1);
        world = lilv_world_new();
        lilv_world_load_all(world);
        mapFeature = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Host*>(h)->map(uri); }};
        unmapFeature = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<Host*>(h)->unmap(id); }};
        schedule = {this, [](LV2_Worker_Schedule_Handle h, uint32_t size, const void* data) {
                        auto* self = static_cast<Host*>(h);
                        self->jobs.emplace_back((const char*)data, (const char*)data + size);
                        return LV2_WORKER_SUCCESS;
                    }};
        features[0] = {LV2_URID__map, &mapFeature};
        features[1] = {LV2_URID__unmap, &unmapFeature};
        features[2] = {LV2_WORKER__schedule, &schedule};
        list = {&features[0], &features[1], &features[2], nullptr};
    }
    ~Host() { lilv_world_free(world); }
    const LilvPlugin* plugin(const char* uri) {
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        return p;
    }
    LV2_URID map(const char* uri) {
        auto found = urids.find(uri);
        if (found != urids.end())
            return found->second;
        names.push_back(uri);
        return urids[uri] = (LV2_URID)names.size();
    }
    const char* unmap(LV2_URID id) { return id >= 1 && id <= names.size() ? names[id - 1].c_str() : nullptr; }

    LilvWorld* world;
    LV2_URID_Map mapFeature;
    LV2_URID_Unmap unmapFeature;
    LV2_Worker_Schedule schedule;
    LV2_Feature features[3];
    std::vector<const LV2_Feature*> list;
    std::vector<std::vector<char>> jobs;

private:
    std::map<std::string, LV2_URID> urids;
    std::vector<std::string> names;
};

// One instance with its ports connected; controls by index.
struct Instance {
    Instance(Host& h, const LilvPlugin* p, uint32_t controlCount)
        : host(h), plugin(p), controls(controlCount, 0.0f), outputs(8, 0.0f) {
        instance = lilv_plugin_instantiate(p, 48000.0, h.list.data());
        if (!instance)
            return;
        for (uint32_t i = 0; i < controlCount; ++i) {
            LilvNode* def = nullptr;
            lilv_port_get_range(p, lilv_plugin_get_port_by_index(p, i), &def, nullptr, nullptr);
            controls[i] = def ? lilv_node_as_float(def) : 0.0f;
            lilv_node_free(def);
            lilv_instance_connect_port(instance, i, &controls[i]);
        }
        lilv_instance_activate(instance);
    }
    ~Instance() {
        if (instance) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
    }
    // Runs in blocks of 128, the rig's atom ports fed each block.
    void run(const std::vector<float>& in, std::vector<float>& left, std::vector<float>& right, bool rig) {
        left.assign(in.size(), 0.0f);
        right.assign(in.size(), 0.0f);
        std::vector<float> inL(in), inR(in);
        for (std::size_t at = 0; at <= in.size(); at += 128) {
            const uint32_t n = (uint32_t)std::min<std::size_t>(128, in.size() - at);
            const uint32_t base = rig ? ids::kAudioIn0 : 13;
            lilv_instance_connect_port(instance, base, inL.data() + at);
            lilv_instance_connect_port(instance, base + 1, inR.data() + at);
            lilv_instance_connect_port(instance, base + 2, left.data() + at);
            lilv_instance_connect_port(instance, base + 3, right.data() + at);
            if (rig)
                connectRigPorts();
            lilv_instance_run(instance, n);
            if (rig)
                serviceWorker();
            if (n == 0)
                break;
        }
    }
    void connectRigPorts() {
        // Control in: whatever message is pending, then empty.
        lilv_instance_connect_port(instance, ids::kControlIn, controlIn.data());
        notify.assign(8192, 0);
        auto* seq = (LV2_Atom_Sequence*)notify.data();
        seq->atom.size = (uint32_t)notify.size() - sizeof(LV2_Atom);
        seq->atom.type = host.map(LV2_ATOM__Chunk);
        lilv_instance_connect_port(instance, ids::kNotifyOut, notify.data());
        for (uint32_t p = ids::kLatencyOut; p < ids::kNumPorts; ++p)
            lilv_instance_connect_port(instance, p, &outputs[p - ids::kLatencyOut]);
    }
    void serviceWorker() {
        const LV2_Worker_Interface* worker =
            (const LV2_Worker_Interface*)lilv_instance_get_extension_data(instance, LV2_WORKER__interface);
        auto jobs = std::move(host.jobs);
        host.jobs.clear();
        for (auto& job : jobs) {
            responses.clear();
            worker->work(
                lilv_instance_get_handle(instance),
                [](LV2_Worker_Respond_Handle h, uint32_t size, const void* data) {
                    static_cast<Instance*>(h)->responses.emplace_back((const char*)data, (const char*)data + size);
                    return LV2_WORKER_SUCCESS;
                },
                this, (uint32_t)job.size(), job.data());
            for (auto& r : responses)
                worker->work_response(lilv_instance_get_handle(instance), (uint32_t)r.size(), r.data());
        }
        emptyControl();
    }
    void emptyControl() {
        controlIn.assign(8192, 0);
        lv2_atom_forge_init(&forge, &host.mapFeature);
        lv2_atom_forge_set_buffer(&forge, controlIn.data(), controlIn.size());
        LV2_Atom_Forge_Frame frame;
        lv2_atom_forge_sequence_head(&forge, &frame, 0);
        lv2_atom_forge_pop(&forge, &frame);
    }
    void sendPath(const std::string& path) {
        controlIn.assign(8192, 0);
        lv2_atom_forge_init(&forge, &host.mapFeature);
        lv2_atom_forge_set_buffer(&forge, controlIn.data(), controlIn.size());
        LV2_Atom_Forge_Frame seq, obj;
        lv2_atom_forge_sequence_head(&forge, &seq, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &obj, 0, host.map(LV2_PATCH__Set));
        lv2_atom_forge_key(&forge, host.map(LV2_PATCH__property));
        lv2_atom_forge_urid(&forge, host.map(ids::kImpulseUri));
        lv2_atom_forge_key(&forge, host.map(LV2_PATCH__value));
        lv2_atom_forge_path(&forge, path.c_str(), (uint32_t)path.size());
        lv2_atom_forge_pop(&forge, &obj);
        lv2_atom_forge_pop(&forge, &seq);
    }
    // The path of a patch:Set the plug-in last sent, or "".
    std::string notifiedPath() {
        const auto* seq = (const LV2_Atom_Sequence*)notify.data();
        std::string found;
        LV2_ATOM_SEQUENCE_FOREACH(seq, ev) {
            const auto* obj = (const LV2_Atom_Object*)&ev->body;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get(obj, host.map(LV2_PATCH__value), &value, 0);
            if (value && value->type == host.map(LV2_ATOM__Path))
                found = (const char*)LV2_ATOM_BODY_CONST(value);
        }
        return found;
    }

    Host& host;
    const LilvPlugin* plugin;
    LilvInstance* instance = nullptr;
    std::vector<float> controls;
    std::vector<float> outputs;  // latency, peaks, lamp
    std::vector<uint8_t> controlIn = std::vector<uint8_t>(8192, 0);
    std::vector<uint8_t> notify;
    std::vector<std::vector<char>> responses;
    LV2_Atom_Forge forge;
};

TEST(RigLv2, DescribedWithItsPortsAndPresets) {
    Host host;
    const LilvPlugin* rig = host.plugin(ids::kPluginUri);
    ASSERT_TRUE(rig);
    LilvNode* name = lilv_plugin_get_name(rig);
    EXPECT_STREQ(lilv_node_as_string(name), "Corvex Rig");
    lilv_node_free(name);
    EXPECT_EQ(lilv_plugin_get_num_ports(rig), ids::kNumPorts);
    EXPECT_EQ(lilv_plugin_get_latency_port_index(rig), ids::kLatencyOut);
    LilvNode* presetClass = lilv_new_uri(host.world, LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(rig, presetClass);
    EXPECT_EQ(lilv_nodes_size(presets), 10u);
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
}

TEST(RigLv2, GateOpenCabinetOffGivesTheHeadsSamples) {
    Host host;
    const LilvPlugin* rigPlugin = host.plugin(ids::kPluginUri);
    const LilvPlugin* headPlugin = host.plugin("https://ardex-plugins.example/corvex");
    ASSERT_TRUE(rigPlugin);
    ASSERT_TRUE(headPlugin);
    Instance rig(host, rigPlugin, ids::kNumControls);
    Instance head(host, headPlugin, 13);
    ASSERT_TRUE(rig.instance && head.instance);
    rig.emptyControl();
    std::vector<float> l, r, hl, hr;
    // Both channels' knobs the same on both, channel by channel.
    for (float channel : {1.0f, 0.0f}) {
        for (Instance* i : {&rig, &head}) {
            i->controls[1] = channel;
            for (int k : {0, 2, 4, 5, 6, 7, 8, 9})
                i->controls[(size_t)k] = 0.3f + 0.05f * (float)k + 0.1f * channel;
            i->controls[3] = 0.4f;
            i->controls[10] = 1.0f;
        }
        rig.controls[corvex::kGateThreshold] = 0.0f;
        rig.controls[corvex::kCabinetOn] = 0.0f;
        rig.run({}, l, r, true);
        head.run({}, hl, hr, false);
    }
    const auto in = rigtest::guitar(24000, 48000.0, 2);
    rig.run(in, l, r, true);
    head.run(in, hl, hr, false);
    EXPECT_EQ(0, std::memcmp(l.data(), hl.data(), l.size() * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(r.data(), hr.data(), r.size() * sizeof(float)));
    EXPECT_EQ(rig.outputs[0], 0.0f) << "latency reported";
    EXPECT_GT(rig.outputs[ids::kOutputPeak - ids::kLatencyOut], 0.0f) << "the output meter moves";
}

const void* portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto* self = static_cast<Instance*>(user);
    const LilvPlugin* p = self->plugin;
    LilvNode* sym = lilv_new_string(self->host.world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(p, sym);
    lilv_node_free(sym);
    if (!port)
        return nullptr;
    const uint32_t index = lilv_port_get_index(p, port);
    if (index >= ids::kNumControls)
        return nullptr;
    *size = sizeof(float);
    *type = self->host.map(LV2_ATOM__Float);
    return &self->controls[index];
}

void setPort(const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
    auto* self = static_cast<Instance*>(user);
    LilvNode* sym = lilv_new_string(self->host.world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(self->plugin, sym);
    lilv_node_free(sym);
    if (port && size == sizeof(float) && lilv_port_get_index(self->plugin, port) < ids::kNumControls)
        std::memcpy(&self->controls[lilv_port_get_index(self->plugin, port)], value, sizeof(float));
}

TEST(RigLv2, ImpulseByPathThenStateAfterTheFileIsDeleted) {
    Host host;
    const LilvPlugin* plugin = host.plugin(ids::kPluginUri);
    ASSERT_TRUE(plugin);
    const std::string path = rigtest::tempPath("lv2 cabinet.flac");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(6000, 41), rigtest::testResponse(6000, 42)}, 44100,
                                    SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
    Instance first(host, plugin, ids::kNumControls);
    ASSERT_TRUE(first.instance);
    first.controls[corvex::kCabinetModel] = RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet);
    first.sendPath(path);
    std::vector<float> l, r, l2, r2;
    // The first block hands the path to the worker, the next (empty) one
    // tells the host what was loaded.
    first.run(std::vector<float>(128, 0.0f), l, r, true);
    EXPECT_EQ(first.notifiedPath(), path);
    // A bad file: refused, the host hears the path in use again.
    const std::string bad = rigtest::tempPath("lv2-bad.wav");
    ASSERT_TRUE(rigtest::writeAudio(bad, {std::vector<float>(100, 0.0f)}, 48000));
    first.sendPath(bad);
    first.run(std::vector<float>(128, 0.0f), l, r, true);
    EXPECT_EQ(first.notifiedPath(), path);

    const std::string dir = rigtest::tempPath("lv2-state");
    LilvState* state = lilv_state_new_from_instance(plugin, first.instance, &host.mapFeature, nullptr, nullptr,
                                                    nullptr, dir.c_str(), portValue, &first, 0, nullptr);
    ASSERT_TRUE(state);
    std::filesystem::remove(path);

    Instance second(host, plugin, ids::kNumControls);
    ASSERT_TRUE(second.instance);
    lilv_state_restore(state, second.instance, setPort, &second, 0, nullptr);
    lilv_state_free(state);
    // Both from here: the first plays on, the second starts fresh; compare
    // the second against a third restored the same way.
    LilvState* again = lilv_state_new_from_instance(plugin, second.instance, &host.mapFeature, nullptr, nullptr,
                                                    nullptr, dir.c_str(), portValue, &second, 0, nullptr);
    ASSERT_TRUE(again);
    Instance third(host, plugin, ids::kNumControls);
    lilv_state_restore(again, third.instance, setPort, &third, 0, nullptr);
    lilv_state_free(again);
    const auto in = rigtest::guitar(12000, 48000.0, 6);
    second.emptyControl();
    third.emptyControl();
    second.run(in, l, r, true);
    third.run(in, l2, r2, true);
    EXPECT_EQ(l, l2);
    EXPECT_EQ(second.controls[corvex::kCabinetModel], RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    // The user's cabinet plays: not the dry amp.
    Instance dry(host, plugin, ids::kNumControls);
    dry.emptyControl();
    dry.controls = second.controls;
    dry.controls[corvex::kCabinetOn] = 0.0f;
    dry.run(in, l2, r2, true);
    EXPECT_NE(l, l2);
}

}  // namespace

// A preset or state that names only an impulse file (no saved rig state)
// loads that file, as a patch:Set of it would; one naming a missing file, or
// a path of the wrong type, changes nothing.
TEST(RigLv2, StateNamingOnlyAnImpulseFileLoadsIt) {
    Host host;
    const LilvPlugin* plugin = host.plugin(ids::kPluginUri);
    ASSERT_TRUE(plugin);
    const std::string path = rigtest::tempPath("lv2-named-impulse.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(4000, 17)}, 48000));
    const std::string missing = rigtest::tempPath("lv2-no-such-impulse.wav");
    std::filesystem::remove(missing);
    auto stateNaming = [&](const std::string& object) {
        const std::string ttl =
            "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
            "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
            "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
            "<urn:corvex-test:named> a pset:Preset ; lv2:appliesTo <" +
            std::string(ids::kPluginUri) + "> ;\n    state:state [ <" + ids::kImpulseUri + "> " + object + " ] .\n";
        return lilv_state_new_from_string(host.world, &host.mapFeature, ttl.c_str());
    };
    const auto in = rigtest::guitar(12000, 48000.0, 9);
    std::vector<float> l, r, l2, r2;

    // The reference: the same file set through the path parameter.
    Instance bySet(host, plugin, ids::kNumControls);
    ASSERT_TRUE(bySet.instance);
    bySet.controls[corvex::kCabinetModel] = RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet);
    bySet.sendPath(path);
    bySet.run(std::vector<float>(128, 0.0f), l, r, true);
    ASSERT_EQ(bySet.notifiedPath(), path);

    Instance byState(host, plugin, ids::kNumControls);
    ASSERT_TRUE(byState.instance);
    byState.controls[corvex::kCabinetModel] = RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet);
    byState.emptyControl();
    byState.run(std::vector<float>(128, 0.0f), l, r, true);  // as far on as the other
    LilvState* named = stateNaming("<file://" + path + ">");
    ASSERT_TRUE(named);
    lilv_state_restore(named, byState.instance, setPort, &byState, 0, nullptr);
    lilv_state_free(named);
    byState.run({}, l, r, true);  // one empty block: the host hears the path
    EXPECT_EQ(byState.notifiedPath(), path);
    bySet.emptyControl();
    byState.emptyControl();
    bySet.run(in, l, r, true);
    byState.run(in, l2, r2, true);
    EXPECT_EQ(l, l2);

    // A missing file and a path given as text: the cabinet in use stays.
    for (const std::string& object : {"<file://" + missing + ">", "\"" + path + "\""}) {
        SCOPED_TRACE(object);
        Instance kept(host, plugin, ids::kNumControls);
        ASSERT_TRUE(kept.instance);
        kept.controls[corvex::kCabinetModel] = RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet);
        kept.sendPath(path);
        kept.run(std::vector<float>(128, 0.0f), l, r, true);
        LilvState* bad = stateNaming(object);
        ASSERT_TRUE(bad);
        lilv_state_restore(bad, kept.instance, setPort, &kept, 0, nullptr);
        lilv_state_free(bad);
        kept.emptyControl();
        kept.run(std::vector<float>(128, 0.0f), l, r, true);
        Instance reference(host, plugin, ids::kNumControls);
        reference.controls[corvex::kCabinetModel] = RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet);
        reference.sendPath(path);
        reference.run(std::vector<float>(128, 0.0f), l, r, true);
        reference.emptyControl();
        reference.run(std::vector<float>(128, 0.0f), l, r, true);
        kept.emptyControl();
        reference.emptyControl();
        kept.run(in, l, r, true);
        reference.run(in, l2, r2, true);
        EXPECT_EQ(l, l2);
    }
    std::filesystem::remove(path);
}
