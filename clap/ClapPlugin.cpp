#include "clap/ClapPlugin.h"

#include <cmath>
#include <cstring>
#include <new>

#include "clap/ClapExtensionTable.h"
#include "clap/ClapExtensions.h"
#include "clap/ClapAudioSpan.h"

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// ---- clap_plugin slots: each finds the ClapPlugin through plugin_data ----
bool CLAP_CALL pluginInit(const clap_plugin* p) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self && self->init();
}
void CLAP_CALL pluginDestroy(const clap_plugin* p) {
    delete ClapPlugin::from(p);
}
bool CLAP_CALL pluginActivate(const clap_plugin* p, double rate, uint32_t minFrames, uint32_t maxFrames) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self && self->activate(rate, minFrames, maxFrames);
}
void CLAP_CALL pluginDeactivate(const clap_plugin* p) {
    if (ClapPlugin* self = ClapPlugin::from(p))
        self->deactivate();
}
bool CLAP_CALL pluginStartProcessing(const clap_plugin* p) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self && self->startProcessing();
}
void CLAP_CALL pluginStopProcessing(const clap_plugin* p) {
    if (ClapPlugin* self = ClapPlugin::from(p))
        self->stopProcessing();
}
void CLAP_CALL pluginReset(const clap_plugin* p) {
    if (ClapPlugin* self = ClapPlugin::from(p))
        self->reset();
}
clap_process_status CLAP_CALL pluginProcess(const clap_plugin* p, const clap_process* process) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self ? self->process(process) : CLAP_PROCESS_ERROR;
}
const void* CLAP_CALL pluginGetExtension(const clap_plugin* p, const char* id) {
    ClapPlugin* self = ClapPlugin::from(p);
    return self ? self->extension(id) : nullptr;
}
void CLAP_CALL pluginOnMainThread(const clap_plugin*) {}

// ---- audio-ports: one stereo main input, one stereo main output, in place ----
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

// ---- latency: none ----
uint32_t CLAP_CALL latencyGet(const clap_plugin*) {
    return 0;
}

}  // namespace

const clap_plugin_audio_ports kClapAudioPorts = {portsCount, portsGet};
const clap_plugin_latency kClapLatency = {latencyGet};

ClapPlugin::ClapPlugin(const clap_host* host, const clap_plugin_descriptor* descriptor) : clapHost(host) {
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

ClapPlugin::~ClapPlugin() {
    closeClapEditor(*this);
    gui.panel.reset();
    if (active)
        deactivate();
}

ClapPlugin* ClapPlugin::from(const clap_plugin* plugin) {
    return plugin ? static_cast<ClapPlugin*>(plugin->plugin_data) : nullptr;
}

bool ClapPlugin::onMainThread() const {
    return !hostThreadExt || !hostThreadExt->is_main_thread || hostThreadExt->is_main_thread(clapHost);
}

bool ClapPlugin::init() {
    if (amp || !clapHost)
        return amp != nullptr;
    if (clapHost->get_extension) {
        hostParamsExt = static_cast<const clap_host_params*>(clapHost->get_extension(clapHost, CLAP_EXT_PARAMS));
        hostThreadExt =
            static_cast<const clap_host_thread_check*>(clapHost->get_extension(clapHost, CLAP_EXT_THREAD_CHECK));
        hostTimerExt =
            static_cast<const clap_host_timer_support*>(clapHost->get_extension(clapHost, CLAP_EXT_TIMER_SUPPORT));
        hostFdExt = static_cast<const clap_host_posix_fd_support*>(
            clapHost->get_extension(clapHost, CLAP_EXT_POSIX_FD_SUPPORT));
        hostPresetLoadExt =
            static_cast<const clap_host_preset_load*>(clapHost->get_extension(clapHost, CLAP_EXT_PRESET_LOAD));
        if (!hostPresetLoadExt)
            hostPresetLoadExt = static_cast<const clap_host_preset_load*>(
                clapHost->get_extension(clapHost, CLAP_EXT_PRESET_LOAD_COMPAT));
    }
    if (!onMainThread())
        return false;
    amp.reset(new (std::nothrow) corvex::AmpEngine());
    if (!amp)
        return false;
    for (uint32_t i = 0; i < kNumParams; ++i)
        reported[i].store(bitsOf(amp->value(static_cast<int>(i))), std::memory_order_relaxed);
    return true;
}

bool ClapPlugin::activate(double rate, uint32_t, uint32_t maxFramesCount) {
    if (!amp || active || maxFramesCount == 0 || maxFramesCount > (1u << 24))
        return false;
    try {
        silence.assign(maxFramesCount, 0.0f);
        scratch.assign(2 * static_cast<size_t>(maxFramesCount), 0.0f);
    } catch (...) {
        return false;
    }
    // A rate the amp cannot be designed for is refused, not run as another.
    if (!amp->setSampleRate(rate))
        return false;
    maxFrames = maxFramesCount;
    active = true;
    return true;
}

void ClapPlugin::deactivate() {
    active = false;
}

bool ClapPlugin::startProcessing() {
    processing.store(true, std::memory_order_release);
    return true;
}

void ClapPlugin::stopProcessing() {
    processing.store(false, std::memory_order_release);
}

void ClapPlugin::reset() {
    // The amp keeps no state a host would want cleared on its own: its
    // filters settle within a few milliseconds, as after a VST 2.4 resume.
}

const void* ClapPlugin::extension(const char* id) const {
    static const ClapExtensionTable table = {&kClapAudioPorts, &kClapParams,       &kClapState,      &kClapLatency,
                                             &kClapGui,        &kClapTimerSupport, &kClapPresetLoad, &kClapPosixFdSupport};
    return findClapExtension(table, id);
}

// ---- audio ----

void ClapPlugin::renderSpan(const clap_process* p, uint32_t start, uint32_t end) {
    renderClapSpan(p, start, end, silence.data(), scratch.data(), maxFrames,
                   [this](const float* inL, const float* inR, float* outL, float* outR, int frames) {
                       amp->process(inL, inR, outL, outR, frames);
                   });
}

clap_process_status ClapPlugin::process(const clap_process* p) {
    if (!amp || !active || !p)
        return CLAP_PROCESS_ERROR;
    const uint32_t frames = p->frames_count;
    // A state loaded or values queued since the last block are applied
    // first, so that their values reach the host at this block's start.
    amp->endBlock();
    reportChanges(p->out_events, 0);
    uint32_t done = 0;
    const clap_input_events* in = p->in_events;
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t k = 0; k < count; ++k) {
        const clap_event_header* event = in->get ? in->get(in, k) : nullptr;
        if (!event || event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE)
            continue;
        // The block is split where the value changes: the engine renders up
        // to the event's sample, then takes the value for the rest.
        const uint32_t at = event->time < frames ? event->time : frames;
        if (at > done) {
            renderSpan(p, done, at);
            done = at;
        }
        if (applyInputEvent(event))
            reportChanges(p->out_events, at);
    }
    renderSpan(p, done, frames);
    // Values applied after the last sample are published for the main thread.
    amp->endBlock();
    for (uint32_t port = 0; p->audio_outputs && port < p->audio_outputs_count; ++port)
        p->audio_outputs[port].constant_mask = 0;
    return CLAP_PROCESS_CONTINUE;
}

// ---- parameter news ----

bool ClapPlugin::applyInputEvent(const clap_event_header* event) {
    if (!amp || !event || event->space_id != CLAP_CORE_EVENT_SPACE_ID || event->type != CLAP_EVENT_PARAM_VALUE ||
        event->size < sizeof(clap_event_param_value))
        return false;
    const auto* change = reinterpret_cast<const clap_event_param_value*>(event);
    if (change->param_id >= kNumParams)
        return false;
    // Held to the declared range by the engine; NaN refused.
    if (!amp->applyEvent(static_cast<int>(change->param_id), change->value))
        return false;
    // The host knows this one; what the engine changed besides is news.
    reported[change->param_id].store(bitsOf(amp->value(static_cast<int>(change->param_id))),
                                     std::memory_order_relaxed);
    return true;
}

bool ClapPlugin::sendValue(const clap_output_events* out, uint32_t time, uint32_t index, float value, uint32_t flags) {
    clap_event_param_value event;
    std::memset(&event, 0, sizeof(event));
    event.header.size = sizeof(event);
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.header.flags = flags;
    event.param_id = index;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    if (!out->try_push(out, &event.header))
        return false;
    reported[index].store(bitsOf(value), std::memory_order_relaxed);
    return true;
}

bool ClapPlugin::sendGesture(const clap_output_events* out, uint32_t time, const ParamNews& gesture) {
    clap_event_param_gesture event;
    std::memset(&event, 0, sizeof(event));
    event.header.size = sizeof(event);
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type =
        gesture.kind == ParamNews::kGestureBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
    event.param_id = gesture.param;
    return out->try_push(out, &event.header);
}

void ClapPlugin::reportChanges(const clap_output_events* out, uint32_t time) {
    if (!amp)
        return;
    const bool canSend = out && out->try_push;
    ParamNews item;
    while (news.pop(item)) {
        if (item.param >= kNumParams)
            continue;
        if (item.kind == ParamNews::kValue) {
            // The panel's value: stored now, and recorded by the host.
            if (amp->applyEvent(static_cast<int>(item.param), item.value) && canSend)
                sendValue(out, time, item.param, amp->value(static_cast<int>(item.param)), 0);
        } else if (canSend) {
            sendGesture(out, time, item);
        }
    }
    if (!canSend)
        return;
    // Values the engine changed on its own (a channel switch recalls eight,
    // a state load), sent as not to be recorded: the switch itself is what
    // a host records.
    for (uint32_t i = 0; i < kNumParams; ++i) {
        const float now = amp->value(static_cast<int>(i));
        if (bitsOf(now) != reported[i].load(std::memory_order_relaxed))
            sendValue(out, time, i, now, CLAP_EVENT_DONT_RECORD);
    }
}

void ClapPlugin::stateLoaded() {
    if (!amp)
        return;
    if (processing.load(std::memory_order_acquire))
        return;  // the next block applies it; its values reach the host as events
    amp->flush();
    for (uint32_t i = 0; i < kNumParams; ++i)
        reported[i].store(bitsOf(amp->value(static_cast<int>(i))), std::memory_order_relaxed);
    if (hostParamsExt && hostParamsExt->rescan)
        hostParamsExt->rescan(clapHost, CLAP_PARAM_RESCAN_VALUES);
}

// ---- the panel's port (UI thread) ----

float ClapPlugin::get(int index) const {
    return amp ? amp->value(index) : 0.0f;
}

void ClapPlugin::set(int index, float value) {
    if (corvex::AmpEngine::isParameter(index))
        queueNews({ParamNews::kValue, static_cast<uint32_t>(index), value});
}

void ClapPlugin::beginGesture(int index) {
    if (corvex::AmpEngine::isParameter(index)) {
        gui.held[index] = true;
        queueNews({ParamNews::kGestureBegin, static_cast<uint32_t>(index), 0.0f});
    }
}

void ClapPlugin::endGesture(int index) {
    if (corvex::AmpEngine::isParameter(index)) {
        gui.held[index] = false;
        queueNews({ParamNews::kGestureEnd, static_cast<uint32_t>(index), 0.0f});
    }
}

void ClapPlugin::queueNews(const ParamNews& item) {
    news.push(item);  // a full queue drops a value; the panel shows the stored one again
    if (hostParamsExt && hostParamsExt->request_flush)
        hostParamsExt->request_flush(clapHost);
}
