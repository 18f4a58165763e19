#include "ClapTestHost.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace clapcheck {

void InputEvents::add(uint32_t time, uint32_t param, double value) {
    clap_event_param_value event;
    std::memset(&event, 0, sizeof(event));
    event.header.size = sizeof(event);
    event.header.time = time;
    event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    event.header.type = CLAP_EVENT_PARAM_VALUE;
    event.param_id = param;
    event.note_id = -1;
    event.port_index = event.channel = event.key = -1;
    event.value = value;
    events.push_back(event);
}

uint32_t CLAP_CALL InputEvents::sizeOf(const clap_input_events* list) {
    return static_cast<uint32_t>(static_cast<const InputEvents*>(list->ctx)->events.size());
}

const clap_event_header* CLAP_CALL InputEvents::get(const clap_input_events* list, uint32_t index) {
    const auto& events = static_cast<const InputEvents*>(list->ctx)->events;
    return index < events.size() ? &events[index].header : nullptr;
}

bool CLAP_CALL OutputEvents::tryPush(const clap_output_events* list, const clap_event_header* event) {
    auto* self = static_cast<OutputEvents*>(list->ctx);
    SentEvent sent{event->type, event->time, event->flags, CLAP_INVALID_ID, 0.0};
    if (event->type == CLAP_EVENT_PARAM_VALUE && event->size >= sizeof(clap_event_param_value)) {
        const auto* value = reinterpret_cast<const clap_event_param_value*>(event);
        sent.param = value->param_id;
        sent.value = value->value;
    } else if ((event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || event->type == CLAP_EVENT_PARAM_GESTURE_END) &&
               event->size >= sizeof(clap_event_param_gesture)) {
        sent.param = reinterpret_cast<const clap_event_param_gesture*>(event)->param_id;
    }
    self->events.push_back(sent);
    return true;
}

ClapTestHost::ClapTestHost(const std::string& path) : mainThread(std::this_thread::get_id()) {
    std::memset(&host, 0, sizeof(host));
    host.clap_version = CLAP_VERSION_OURS;
    host.host_data = this;
    host.name = "clap-check";
    host.vendor = "Ardex Plugins tests";
    host.url = "";
    host.version = "1.0";
    host.get_extension = getExtension;
    host.request_restart = requestNothing;
    host.request_process = requestNothing;
    host.request_callback = requestNothing;
#if defined(_WIN32)
    library = LoadLibraryA(path.c_str());
    void* symbol =
        library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), "clap_entry")) : nullptr;
#else
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* symbol = library ? dlsym(library, "clap_entry") : nullptr;
#endif
    if (!library) {
        problem = "cannot load " + path;
        return;
    }
    clapEntry = static_cast<const clap_plugin_entry*>(symbol);
    if (!clapEntry || !clapEntry->init || !clapEntry->init(path.c_str())) {
        problem = "no clap_entry, or its init failed";
        clapEntry = nullptr;
        return;
    }
    clapFactory = static_cast<const clap_plugin_factory*>(clapEntry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!clapFactory)
        problem = "no plug-in factory";
}

ClapTestHost::~ClapTestHost() {
    if (instance) {
        deactivate();
        instance->destroy(instance);
    }
    if (clapEntry)
        clapEntry->deinit();
    if (library) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(library));
#else
        dlclose(library);
#endif
    }
}

const clap_plugin* ClapTestHost::create() {
    if (!clapFactory || instance)
        return instance;
    const clap_plugin_descriptor* descriptor = clapFactory->get_plugin_descriptor(clapFactory, 0);
    if (!descriptor) {
        problem = "no descriptor";
        return nullptr;
    }
    const clap_plugin* made = clapFactory->create_plugin(clapFactory, &host, descriptor->id);
    if (!made || !made->init(made)) {
        problem = "the plug-in was not created or did not initialise";
        if (made)
            made->destroy(made);
        return nullptr;
    }
    instance = made;
    return instance;
}

bool ClapTestHost::activate(double rate, uint32_t maxFrames) {
    if (!instance || active)
        return false;
    active = instance->activate(instance, rate, 1, maxFrames);
    return active;
}

void ClapTestHost::deactivate() {
    if (!active)
        return;
    if (processing) {
        instance->stop_processing(instance);
        processing = false;
    }
    instance->deactivate(instance);
    active = false;
}

clap_process_status ClapTestHost::process(float** in, float** out, uint32_t frames, const InputEvents& events,
                                          OutputEvents& sent) {
    audioThread = std::this_thread::get_id();
    if (!processing) {
        instance->start_processing(instance);
        processing = true;
    }
    clap_audio_buffer input{in, nullptr, 2, 0, 0};
    clap_audio_buffer output{out, nullptr, 2, 0, 0};
    clap_process block;
    std::memset(&block, 0, sizeof(block));
    block.steady_time = -1;
    block.frames_count = frames;
    block.audio_inputs = &input;
    block.audio_outputs = &output;
    block.audio_inputs_count = 1;
    block.audio_outputs_count = 1;
    block.in_events = events.list();
    block.out_events = sent.list();
    const clap_process_status status = instance->process(instance, &block);
    audioThread = std::thread::id();
    return status;
}

void ClapTestHost::flush(const InputEvents& events, OutputEvents& sent) {
    auto* params = extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    if (params)
        params->flush(instance, events.list(), sent.list());
}

void ClapTestHost::fireTimers() {
    auto* timer = extension<clap_plugin_timer_support>(CLAP_EXT_TIMER_SUPPORT);
    const std::vector<Timer> now = timers;  // a timer may be unregistered while firing
    for (const Timer& t : now) {
        if (timer)
            timer->on_timer(instance, t.id);
    }
}

const void* CLAP_CALL ClapTestHost::getExtension(const clap_host* host, const char* id) {
    ClapTestHost& self = of(host);
    if (!std::strcmp(id, CLAP_EXT_PARAMS))
        return &self.paramsExt;
    if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK))
        return &self.threadExt;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) && self.offerTimers)
        return &self.timerExt;
    if (!std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) && self.offerFds)
        return &self.fdExt;
    if (!std::strcmp(id, CLAP_EXT_PRESET_LOAD))
        return &self.presetLoadExt;
    return nullptr;
}

void CLAP_CALL ClapTestHost::presetError(const clap_host* host, uint32_t, const char*, const char*, int32_t,
                                         const char* message) {
    of(host).presetErrors.push_back(message ? message : "");
}

void CLAP_CALL ClapTestHost::presetLoaded(const clap_host* host, uint32_t, const char*, const char*) {
    of(host).presetsLoaded++;
}

void CLAP_CALL ClapTestHost::rescan(const clap_host* host, uint32_t flags) {
    of(host).rescans++;
    of(host).lastRescanFlags = flags;
}

void CLAP_CALL ClapTestHost::requestFlush(const clap_host* host) {
    of(host).flushRequests++;
}

bool CLAP_CALL ClapTestHost::isMainThread(const clap_host* host) {
    of(host).threadChecks++;
    return std::this_thread::get_id() == of(host).mainThread;
}

bool CLAP_CALL ClapTestHost::isAudioThread(const clap_host* host) {
    return std::this_thread::get_id() == of(host).audioThread;
}

bool CLAP_CALL ClapTestHost::registerTimer(const clap_host* host, uint32_t period, clap_id* id) {
    ClapTestHost& self = of(host);
    if (!id || period == 0)
        return false;
    *id = self.nextTimer++;
    self.timers.push_back({*id, period});
    return true;
}

bool CLAP_CALL ClapTestHost::unregisterTimer(const clap_host* host, clap_id id) {
    auto& timers = of(host).timers;
    const auto it = std::find_if(timers.begin(), timers.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers.end())
        return false;
    timers.erase(it);
    return true;
}

bool CLAP_CALL ClapTestHost::registerFd(const clap_host* host, int fd, uint32_t flags) {
    if (fd < 0 || !(flags & CLAP_POSIX_FD_READ))
        return false;
    of(host).fds.push_back(fd);
    return true;
}

bool CLAP_CALL ClapTestHost::modifyFd(const clap_host* host, int fd, uint32_t) {
    const auto& fds = of(host).fds;
    return std::find(fds.begin(), fds.end(), fd) != fds.end();
}

bool CLAP_CALL ClapTestHost::unregisterFd(const clap_host* host, int fd) {
    auto& fds = of(host).fds;
    const auto it = std::find(fds.begin(), fds.end(), fd);
    if (it == fds.end())
        return false;
    fds.erase(it);
    return true;
}

int64_t CLAP_CALL MemoryOut::write(const clap_ostream* s, const void* buffer, uint64_t size) {
    auto* self = static_cast<MemoryOut*>(s->ctx);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, self->chunkLimit));
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    self->bytes.insert(self->bytes.end(), bytes, bytes + n);
    return static_cast<int64_t>(n);
}

int64_t CLAP_CALL MemoryIn::read(const clap_istream* s, void* buffer, uint64_t size) {
    auto* self = static_cast<MemoryIn*>(s->ctx);
    const size_t left = self->bytes.size() - self->position;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(size, left), self->chunkLimit));
    if (n == 0)
        return 0;
    std::memcpy(buffer, self->bytes.data() + self->position, n);
    self->position += n;
    return static_cast<int64_t>(n);
}

}  // namespace clapcheck
