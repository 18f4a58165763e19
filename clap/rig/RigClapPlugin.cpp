// The CLAP face of the rig: CorvexRig.clap, a library of its own (the head's
// Corvex.clap stays as it is) exporting only clap_entry, with one plug-in,
// "Corvex Rig" (id com.ardex-plugins.corvex-rig). One RigEngine per instance.
//
// Threads (the CLAP names): main thread for init, activate, params' info and
// texts, state and on_main_thread; audio thread for process, start/stop
// processing, reset, and params' flush while active.
//
// Parameter ids are the engine's indexes: the head's thirteen, then the
// rig's own. Host events split the block at their sample positions, as the
// head's CLAP build does, so with the gate open and the cabinet off the rig
// gives the head's samples for the same events. Values the engine changes
// itself (a program change, a loaded state) are sent to the host as value
// events after they took effect.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "clap/ClapAbi.h"
#include "clap/ClapAudioSpan.h"
#include "clap/ClapEmbeddedGui.h"
#include "clap/ClapExtensionTable.h"
#include "clap/ClapFactoryPresets.h"
#include "clap/ClapSingleFactory.h"
#include "editor/RigPort.h"
#include "rig/RigEngine.h"
#include "rig/RigEnginePort.h"
#include "rig/RigPrograms.h"

#if defined(_WIN32)
#define CORVEX_RIG_CLAP_EXPORT __declspec(dllexport)
#else
#define CORVEX_RIG_CLAP_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using corvex::RigEngine;

const char kPluginId[] = "com.ardex-plugins.corvex-rig";
const char* const kFeatures[] = {"audio-effect", "distortion", "stereo", nullptr};
constexpr uint32_t kNumParams = RigEngine::kParameterCount;
// The largest state read: a whole impulse of the longest kind, and room.
constexpr std::size_t kStateReadLimit = 64u << 20;

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

class RigClap {
public:
    RigClap(const clap_host* host, const clap_plugin_descriptor* descriptor);
    static RigClap* from(const clap_plugin* p) { return p ? static_cast<RigClap*>(p->plugin_data) : nullptr; }
    const clap_plugin* clapPlugin() const { return &plugin; }

    bool init();
    bool activate(double rate, uint32_t maxFramesCount);
    void deactivate() { active = false; }
    clap_process_status process(const clap_process* p);
    void flush(const clap_input_events* in, const clap_output_events* out);
    bool saveState(const clap_ostream* stream);
    bool loadState(const clap_istream* stream);
    // Main thread: a factory program replaces the current one (preset-load).
    bool loadFactoryProgram(int program);
    void onMainThread() {
        if (rig)
            rig->collect();
    }
    RigEngine* engine() const { return rig.get(); }
    const clap_host* clapHost() const { return host; }
    // Main thread: the host fetches the values the panel posted (they are
    // reported from the next flush or block) when no audio runs.
    void requestFlush() const {
        if (hostParams && hostParams->request_flush && !processing.load(std::memory_order_relaxed))
            hostParams->request_flush(host);
    }
    std::atomic<bool> processing{false};

    // The editor (main thread only).
    class PanelPort : public corvex::RigEnginePort {
    public:
        PanelPort(RigEngine& engine, const RigClap& owner) : RigEnginePort(engine), owner(owner) {}

    protected:
        void changed(int, float) override { owner.requestFlush(); }
        void programChanged(int) override { owner.requestFlush(); }

    private:
        const RigClap& owner;
    };
    struct Gui : ClapEmbeddedGui {
        std::unique_ptr<PanelPort> port;
        uint32_t shown[kNumParams] = {};
    } gui;
    static constexpr uint32_t kEditorWidth = corvex::kPanelWidth;
    static constexpr uint32_t kEditorHeight = corvex::kPanelHeight + corvex::RigEditorStripHeight;
    // The embedded gui's hooks (clap/ClapEmbeddedGui.h), main thread.
    const clap_host* guiHost() const { return host; }
    bool guiUsable() const { return rig != nullptr; }
    bool makePanel();
    void panelOpened();
    void idlePanel();
    void releasePanel();

private:
    void stateChanged();  // main thread, after a state or program load
    bool applyEvent(const clap_event_header* event);
    void reportChanges(const clap_output_events* out, uint32_t time);
    void renderSpan(const clap_process* p, uint32_t start, uint32_t end);

    clap_plugin plugin;
    const clap_host* host;
    const clap_host_params* hostParams = nullptr;
    std::unique_ptr<RigEngine> rig;
    bool active = false;
    uint32_t maxFrames = 0;
    std::vector<float> silence, scratch;
    std::atomic<uint32_t> reported[kNumParams];
};

// ---- clap_plugin slots ----
bool CLAP_CALL pluginInit(const clap_plugin* p) {
    RigClap* self = RigClap::from(p);
    return self && self->init();
}
void CLAP_CALL pluginDestroy(const clap_plugin* p) {
    if (RigClap* self = RigClap::from(p)) {
        // The panel goes before the engine its port reads.
        closeClapPanel(self->guiHost(), self->gui);
        self->releasePanel();
    }
    delete RigClap::from(p);
}
bool CLAP_CALL pluginActivate(const clap_plugin* p, double rate, uint32_t, uint32_t maxFrames) {
    RigClap* self = RigClap::from(p);
    return self && self->activate(rate, maxFrames);
}
void CLAP_CALL pluginDeactivate(const clap_plugin* p) {
    if (RigClap* self = RigClap::from(p))
        self->deactivate();
}
bool CLAP_CALL pluginStartProcessing(const clap_plugin* p) {
    RigClap* self = RigClap::from(p);
    if (self)
        self->processing.store(true);
    return self != nullptr;
}
void CLAP_CALL pluginStopProcessing(const clap_plugin* p) {
    if (RigClap* self = RigClap::from(p))
        self->processing.store(false);
}
void CLAP_CALL pluginReset(const clap_plugin*) {}
clap_process_status CLAP_CALL pluginProcess(const clap_plugin* p, const clap_process* process) {
    RigClap* self = RigClap::from(p);
    return self ? self->process(process) : CLAP_PROCESS_ERROR;
}
// ---- factory programs: the preset browser (discovery) and preset-load ----
// A factory program's name, as the rig's bank gives it.
std::string factoryName(int program) {
    return corvex::rigFactoryProgramName(program);
}

const ClapFactoryBank kBank = {"com.ardex-plugins.corvex-rig.factory", "Corvex Rig factory programs",
                               RigEngine::vendorName(),                kPluginId,
                               RigEngine::kProgramCount,               factoryName};
const ClapPresetDiscoveryFactory kDiscovery = makeClapPresetDiscovery(kBank);

// Main thread.
bool CLAP_CALL presetFromLocation(const clap_plugin* p, uint32_t kind, const char* location, const char* key) {
    RigClap* self = RigClap::from(p);
    if (!self || !self->engine())
        return false;
    const char* error = nullptr;
    const int program = clapFactoryProgramOf(kBank, kind, key, error);
    if (program < 0) {
        clapReportPresetError(self->clapHost(), kind, location, key, error);
        return false;
    }
    if (!self->loadFactoryProgram(program)) {
        clapReportPresetError(self->clapHost(), kind, location, key, "the rig refused the factory program");
        return false;
    }
    clapReportPresetLoaded(self->clapHost(), kind, location, key);
    return true;
}
const clap_plugin_preset_load kPresetLoad = {presetFromLocation};

const void* CLAP_CALL pluginGetExtension(const clap_plugin* p, const char* id);
void CLAP_CALL pluginOnMainThread(const clap_plugin* p) {
    if (RigClap* self = RigClap::from(p))
        self->onMainThread();
}

// ---- audio-ports: one stereo main input and output, in place ----
uint32_t CLAP_CALL portsCount(const clap_plugin*, bool) {
    return 1;
}
bool CLAP_CALL portsGet(const clap_plugin*, uint32_t index, bool isInput, clap_audio_port_info* info) {
    if (index != 0 || !info)
        return false;
    std::memset(info, 0, sizeof(*info));
    info->id = isInput ? 0 : 1;
    std::strncpy(info->name, isInput ? "Input" : "Output", CLAP_NAME_SIZE - 1);
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = isInput ? 1 : 0;
    return true;
}
const clap_plugin_audio_ports kAudioPorts = {portsCount, portsGet};

// ---- latency: the engine's (none) ----
uint32_t CLAP_CALL latencyGet(const clap_plugin* p) {
    RigClap* self = RigClap::from(p);
    return self && self->engine() ? (uint32_t)self->engine()->latency() : 0;
}
const clap_plugin_latency kLatency = {latencyGet};

// ---- params (main thread, flush on the audio thread while active) ----
uint32_t CLAP_CALL paramsCount(const clap_plugin* p) {
    return RigClap::from(p) ? kNumParams : 0;
}
bool CLAP_CALL paramsGetInfo(const clap_plugin* p, uint32_t index, clap_param_info* info) {
    if (!RigClap::from(p) || !info || index >= kNumParams)
        return false;
    const int i = (int)index;
    std::memset(info, 0, sizeof(*info));
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE | (RigEngine::stepCount(i) > 0 ? CLAP_PARAM_IS_STEPPED : 0u);
    std::snprintf(info->name, CLAP_NAME_SIZE, "%s", RigEngine::parameterName(i));
    std::snprintf(info->module, CLAP_PATH_SIZE, "%s", i < corvex::AmpEngine::kParameterCount ? "Amp" : "Rig");
    info->min_value = 0.0;
    info->max_value = 1.0;
    info->default_value = RigEngine::defaultValue(i);
    return true;
}
bool CLAP_CALL paramsGetValue(const clap_plugin* p, clap_id id, double* value) {
    RigClap* self = RigClap::from(p);
    if (!self || !self->engine() || !value || id >= kNumParams)
        return false;
    *value = self->engine()->value((int)id);
    return true;
}
bool CLAP_CALL paramsValueToText(const clap_plugin* p, clap_id id, double value, char* text, uint32_t capacity) {
    if (!RigClap::from(p) || !text || capacity == 0 || id >= kNumParams || !std::isfinite(value))
        return false;
    return RigEngine::displayText((int)id, (float)value, text, capacity);
}
bool CLAP_CALL paramsTextToValue(const clap_plugin* p, clap_id id, const char* text, double* value) {
    if (!RigClap::from(p) || !text || !value || id >= kNumParams)
        return false;
    return RigEngine::textToValue((int)id, text, *value);
}
void CLAP_CALL paramsFlush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
    if (RigClap* self = RigClap::from(p))
        self->flush(in, out);
}
const clap_plugin_params kParams = {paramsCount,       paramsGetInfo,     paramsGetValue,
                                    paramsValueToText, paramsTextToValue, paramsFlush};

// ---- state (main thread) ----
bool CLAP_CALL stateSave(const clap_plugin* p, const clap_ostream* stream) {
    RigClap* self = RigClap::from(p);
    return self && self->saveState(stream);
}
bool CLAP_CALL stateLoad(const clap_plugin* p, const clap_istream* stream) {
    RigClap* self = RigClap::from(p);
    return self && self->loadState(stream);
}
const clap_plugin_state kState = {stateSave, stateLoad};

// ---- gui: the rig's panel embedded in the host's window
// (clap/ClapEmbeddedGui.h) ----

bool RigClap::makePanel() {
    if (!rig)
        return false;
    if (!gui.port)
        gui.port.reset(new (std::nothrow) PanelPort(*rig, *this));
    if (gui.port && !gui.panel)
        gui.panel = corvex::createRigPanel(*gui.port);
    return gui.panel != nullptr;
}

void RigClap::panelOpened() {
    for (uint32_t i = 0; i < kNumParams; ++i)
        gui.shown[i] = bitsOf(rig->value(static_cast<int>(i)));
}

void RigClap::idlePanel() {
    if (!gui.panel || !rig)
        return;
    for (uint32_t i = 0; i < kNumParams; ++i) {
        const float value = rig->value(static_cast<int>(i));
        if (bitsOf(value) != gui.shown[i]) {
            gui.shown[i] = bitsOf(value);
            gui.panel->parameterChanged(static_cast<int>(i), value);
        }
    }
    gui.panel->idle();
    rig->collect();
}

// The panel goes before the port, and both before the engine the port reads.
void RigClap::releasePanel() {
    gui.panel.reset();
    gui.port.reset();
}

using GuiSlots = ClapGuiSlots<RigClap>;

const void* CLAP_CALL pluginGetExtension(const clap_plugin* p, const char* id) {
    static const ClapExtensionTable table = {&kAudioPorts, &kParams,      &kState,
                                             &kLatency,    &GuiSlots::gui, &GuiSlots::timerSupport,
                                             &kPresetLoad, &GuiSlots::posixFdSupport};
    return RigClap::from(p) ? findClapExtension(table, id) : nullptr;
}

RigClap::RigClap(const clap_host* clapHost, const clap_plugin_descriptor* descriptor) : host(clapHost) {
    plugin.desc = descriptor;
    plugin.plugin_data = this;
    plugin.init = pluginInit;
    plugin.destroy = pluginDestroy;
    plugin.activate = pluginActivate;
    plugin.deactivate = pluginDeactivate;
    plugin.start_processing = pluginStartProcessing;
    plugin.stop_processing = pluginStopProcessing;
    plugin.reset = pluginReset;
    plugin.process = pluginProcess;
    plugin.get_extension = pluginGetExtension;
    plugin.on_main_thread = pluginOnMainThread;
    for (auto& bits : reported)
        bits.store(0, std::memory_order_relaxed);
}

bool RigClap::init() {
    if (rig)
        return true;
    if (host && host->get_extension)
        hostParams = static_cast<const clap_host_params*>(host->get_extension(host, CLAP_EXT_PARAMS));
    rig.reset(new (std::nothrow) RigEngine());
    if (!rig)
        return false;
    for (uint32_t i = 0; i < kNumParams; ++i)
        reported[i].store(bitsOf(rig->value((int)i)), std::memory_order_relaxed);
    return true;
}

bool RigClap::activate(double rate, uint32_t maxFramesCount) {
    if (!rig || active || maxFramesCount == 0 || maxFramesCount > (1u << 24))
        return false;
    try {
        silence.assign(maxFramesCount, 0.0f);
        scratch.assign(2 * (std::size_t)maxFramesCount, 0.0f);
    } catch (...) {
        return false;
    }
    if (!rig->setSampleRate(rate))
        return false;
    maxFrames = maxFramesCount;
    active = true;
    return true;
}

void RigClap::renderSpan(const clap_process* p, uint32_t start, uint32_t end) {
    renderClapSpan(p, start, end, silence.data(), scratch.data(), maxFrames,
                   [this](const float* inL, const float* inR, float* outL, float* outR, int frames) {
                       rig->process(inL, inR, outL, outR, frames);
                   });
}

bool RigClap::applyEvent(const clap_event_header* event) {
    if (!event || event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE ||
        event->size < sizeof(clap_event_param_value))
        return false;
    const auto* change = reinterpret_cast<const clap_event_param_value*>(event);
    if (change->param_id >= kNumParams || !rig->applyEvent((int)change->param_id, change->value))
        return false;
    reported[change->param_id].store(bitsOf(rig->value((int)change->param_id)), std::memory_order_relaxed);
    return true;
}

void RigClap::reportChanges(const clap_output_events* out, uint32_t time) {
    if (!out || !out->try_push)
        return;
    for (uint32_t i = 0; i < kNumParams; ++i) {
        const float now = rig->value((int)i);
        if (bitsOf(now) == reported[i].load(std::memory_order_relaxed))
            continue;
        clap_event_param_value event;
        std::memset(&event, 0, sizeof(event));
        event.header.size = sizeof(event);
        event.header.time = time;
        event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        event.header.type = CLAP_EVENT_PARAM_VALUE;
        event.header.flags = CLAP_EVENT_DONT_RECORD;
        event.param_id = i;
        event.note_id = -1;
        event.port_index = -1;
        event.channel = -1;
        event.key = -1;
        event.value = now;
        if (out->try_push(out, &event.header))
            reported[i].store(bitsOf(now), std::memory_order_relaxed);
    }
}

clap_process_status RigClap::process(const clap_process* p) {
    if (!rig || !active || !p)
        return CLAP_PROCESS_ERROR;
    const uint32_t frames = p->frames_count;
    uint32_t done = 0;
    const clap_input_events* in = p->in_events;
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t k = 0; k < count; ++k) {
        const clap_event_header* event = in->get ? in->get(in, k) : nullptr;
        if (!event || event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE)
            continue;
        const uint32_t at = event->time < frames ? event->time : frames;
        if (at > done) {
            renderSpan(p, done, at);
            done = at;
        }
        applyEvent(event);
    }
    renderSpan(p, done, frames);
    rig->endBlock();
    reportChanges(p->out_events, frames ? frames - 1 : 0);
    // A cabinet the audio thread let go of is freed on the main thread.
    if (rig->hasRetired() && host->request_callback)
        host->request_callback(host);
    for (uint32_t port = 0; p->audio_outputs && port < p->audio_outputs_count; ++port)
        p->audio_outputs[port].constant_mask = 0;
    return CLAP_PROCESS_CONTINUE;
}

void RigClap::flush(const clap_input_events* in, const clap_output_events* out) {
    if (!rig)
        return;
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t k = 0; k < count; ++k)
        applyEvent(in->get ? in->get(in, k) : nullptr);
    if (!processing.load())
        rig->flush();
    rig->endBlock();
    reportChanges(out, 0);
}

bool RigClap::saveState(const clap_ostream* stream) {
    if (!rig || !stream || !stream->write)
        return false;
    const std::vector<unsigned char> blob = rig->saveState();
    std::size_t done = 0;
    while (done < blob.size()) {
        const int64_t n = stream->write(stream, blob.data() + done, blob.size() - done);
        if (n <= 0)
            return false;
        done += (std::size_t)n;
    }
    return true;
}

bool RigClap::loadState(const clap_istream* stream) {
    if (!rig || !stream || !stream->read)
        return false;
    std::vector<unsigned char> blob;
    unsigned char buffer[65536];
    for (;;) {
        const int64_t n = stream->read(stream, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (blob.size() + (std::size_t)n > kStateReadLimit)
            return false;
        blob.insert(blob.end(), buffer, buffer + n);
    }
    if (!rig->loadState(blob.data(), blob.size()))
        return false;
    stateChanged();
    return true;
}

bool RigClap::loadFactoryProgram(int program) {
    if (!rig || !rig->loadFactoryProgram(program))
        return false;
    stateChanged();
    return true;
}

void RigClap::stateChanged() {
    // While audio runs, the next block takes the new values and reports them.
    if (!processing.load()) {
        rig->flush();
        for (uint32_t i = 0; i < kNumParams; ++i)
            reported[i].store(bitsOf(rig->value((int)i)), std::memory_order_relaxed);
        if (hostParams && hostParams->rescan)
            hostParams->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    }
}

// ---- factory and entry (main thread) ----
struct RigIdentity {
    static const char* id() { return kPluginId; }
    static const char* name() { return RigEngine::effectName(); }
    static const char* vendor() { return RigEngine::vendorName(); }
    static const char* version() { return RigEngine::versionText(); }
    static const char* description() { return "Noise gate, valve guitar amp, speaker cabinet"; }
    static const char* const* features() { return kFeatures; }
};
using Factory = ClapSingleFactory<RigClap, RigIdentity>;

bool CLAP_CALL entryInit(const char*) {
    Factory::fill();
    return true;
}
void CLAP_CALL entryDeinit() {}
const void* CLAP_CALL entryGetFactory(const char* id) {
    if (!id)
        return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0)
        return &Factory::factory;
    if (isClapPresetDiscoveryId(id))
        return &kDiscovery.factory;
    return nullptr;
}

}  // namespace

extern "C" CORVEX_RIG_CLAP_EXPORT const clap_plugin_entry clap_entry = {CLAP_VERSION_OURS, entryInit, entryDeinit,
                                                                        entryGetFactory};
