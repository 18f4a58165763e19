// corvex-live: the amp head played live through JACK. The process callback
// only hands JACK's buffers to the LiveEngine; everything that may allocate,
// lock, wait or print (rate and period changes, the editor, the status line,
// the saved session) runs on the main thread, which wakes every 20 ms.
#include <jack/jack.h>
#include <jack/thread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cabinet/ImpulseResponse.h"
#include "cabinet/LoudnessMeter.h"
#include "host/EditorWindow.h"
#include "host/HostPlatform.h"
#include "host/PluginHost.h"
#include "host/PrintableText.h"
#include "live/LiveEngine.h"
#include "live/LiveOptions.h"
#include "live/LiveState.h"

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr auto tick = std::chrono::milliseconds(20);
constexpr double statusEvery = 0.5;   // seconds between status lines
constexpr double sessionEvery = 2.0;  // seconds between checks for a changed bank or program

volatile std::sig_atomic_t signalled = 0;
void onSignal(int) {
    signalled = 1;
}

// What JACK's threads tell the main thread. Plain atomics: the callbacks
// set them and return.
struct JackNews {
    std::atomic<int> period{0};
    std::atomic<int> rate{0};
    std::atomic<long> xruns{0};
    std::atomic<bool> serverGone{false};
};

struct Ports {
    jack_port_t* in[2] = {nullptr, nullptr};
    jack_port_t* out[2] = {nullptr, nullptr};
};

struct CallbackContext {
    live::LiveEngine* engine = nullptr;
    Ports* ports = nullptr;
    JackNews* news = nullptr;
};

// JACK's process thread: the engine's process() and nothing else.
int processCallback(jack_nframes_t frames, void* arg) {
    auto* c = static_cast<CallbackContext*>(arg);
    const float* in0 = static_cast<const float*>(jack_port_get_buffer(c->ports->in[0], frames));
    const float* in1 =
        c->ports->in[1] ? static_cast<const float*>(jack_port_get_buffer(c->ports->in[1], frames)) : nullptr;
    float* out0 = static_cast<float*>(jack_port_get_buffer(c->ports->out[0], frames));
    float* out1 = static_cast<float*>(jack_port_get_buffer(c->ports->out[1], frames));
    c->engine->process(in0, in1, out0, out1, (int)frames);
    return 0;
}

// JACK's threads (process or notification): note the news, nothing more.
int bufferSizeCallback(jack_nframes_t frames, void* arg) {
    static_cast<CallbackContext*>(arg)->news->period.store((int)frames);
    return 0;
}
int sampleRateCallback(jack_nframes_t rate, void* arg) {
    static_cast<CallbackContext*>(arg)->news->rate.store((int)rate);
    return 0;
}
int xrunCallback(void* arg) {
    static_cast<CallbackContext*>(arg)->news->xruns.fetch_add(1);
    return 0;
}
void shutdownCallback(void* arg) {
    static_cast<CallbackContext*>(arg)->news->serverGone.store(true);
}

jack_client_t* openClient(const live::LiveOptions& options, std::string& error) {
    jack_status_t status{};
    int flags = JackNoStartServer;
    if (!options.server.empty())
        flags |= JackServerName;
    jack_client_t* client =
        options.server.empty()
            ? jack_client_open(options.clientName.c_str(), (jack_options_t)flags, &status)
            : jack_client_open(options.clientName.c_str(), (jack_options_t)flags, &status, options.server.c_str());
    if (client == nullptr)
        error = "no JACK server to join" + (options.server.empty() ? std::string() : " named " + options.server) +
                " (start one: jackd -d alsa, or PipeWire's pipewire-jack)";
    return client;
}

void listPorts(jack_client_t* client) {
    const char** names = jack_get_ports(client, nullptr, nullptr, 0);
    for (size_t i = 0; names != nullptr && names[i] != nullptr; i++) {
        jack_port_t* port = jack_port_by_name(client, names[i]);
        const int flags = port ? jack_port_flags(port) : 0;
        std::printf("%-40s %s%s %s\n", names[i], (flags & JackPortIsInput) ? "input" : "output",
                    (flags & JackPortIsPhysical) ? " physical" : "", port ? jack_port_type(port) : "");
    }
    if (names != nullptr)
        jack_free(names);
}

// Connects one port pair; a refused connection is reported, not fatal.
void connectPair(jack_client_t* client, const char* from, const char* to) {
    const int r = jack_connect(client, from, to);
    if (r != 0 && r != EEXIST)
        std::fprintf(stderr, "corvex-live: cannot connect %s to %s\n", from, to);
}

void connectPorts(jack_client_t* client, const live::LiveOptions& options, const Ports& ports, int inputs) {
    std::vector<std::string> sources = options.connectIn, sinks = options.connectOut;
    if (options.autoConnect && sources.empty()) {
        const char** capture =
            jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput);
        for (size_t i = 0; capture && capture[i] && (int)i < inputs; i++)
            sources.push_back(capture[i]);
        if (capture)
            jack_free(capture);
    }
    if (options.autoConnect && sinks.empty()) {
        const char** playback =
            jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
        for (size_t i = 0; playback && playback[i] && i < 2; i++)
            sinks.push_back(playback[i]);
        if (playback)
            jack_free(playback);
    }
    for (size_t i = 0; i < sources.size() && i < 2 && ports.in[i]; i++)
        connectPair(client, sources[i].c_str(), jack_port_name(ports.in[i]));
    for (size_t i = 0; i < sinks.size() && i < 2; i++)
        connectPair(client, jack_port_name(ports.out[i]), sinks[i].c_str());
    // One playback port given: both sides go to it.
    if (sinks.size() == 1)
        connectPair(client, jack_port_name(ports.out[1]), sinks[0].c_str());
}

std::string dbText(float linear) {
    if (!(linear > 0.0f))
        return "  -inf";
    char text[16];
    std::snprintf(text, sizeof text, "%6.1f", 20.0 * std::log10((double)linear));
    return text;
}

// A signal that arrived during start-up ends the run as one during play
// does: with its own message and status, whatever step it cut short.
int interruptedDuringStartUp() {
    std::printf("corvex-live: ended: interrupted (during start-up)\n");
    std::fflush(stdout);
    return 0;
}

int run(const live::LiveOptions& options) {
    std::string error;
    cabinet::ImpulseResponse cabinetFile;
    // A cabinet may be named by its file name alone (corvex-4x12): found
    // among the installed data when it is not in the current folder.
    const std::string cabinetPath =
        hostplatform::findDataFile(hostplatform::executablePath(), "cabinet", options.cabinet, ".wav");
    if (!options.cabinet.empty() && !cabinet::loadImpulseResponse(cabinetPath, cabinetFile, error)) {
        if (signalled)
            return interruptedDuringStartUp();
        std::fprintf(stderr, "corvex-live: error: %s\n", error.c_str());
        return exitFailure;
    }
    if (signalled)
        return interruptedDuringStartUp();

    jack_client_t* client = openClient(options, error);
    // Joining the server waits on its socket; a signal there makes the
    // join fail, which is no missing server.
    if (signalled) {
        if (client != nullptr)
            jack_client_close(client);
        return interruptedDuringStartUp();
    }
    if (client == nullptr) {
        std::fprintf(stderr, "corvex-live: error: %s\n", error.c_str());
        return exitFailure;
    }
    // From here on every way out of start-up closes the client.
    auto endStartUp = [&](int code, const std::string& message) {
        jack_client_close(client);
        if (signalled)
            return interruptedDuringStartUp();
        std::fprintf(stderr, "corvex-live: error: %s\n", message.c_str());
        return code;
    };
    if (options.listPorts) {
        listPorts(client);
        jack_client_close(client);
        return 0;
    }

    const std::string pluginPath = options.pluginPath.empty() ? hostplatform::builtPluginPath() : options.pluginPath;
    PluginHost plugin;
    if (!plugin.load(pluginPath, error))
        return endStartUp(exitFailure, error);
    if (options.program >= plugin.numPrograms()) {
        return endStartUp(exitUsage, "--program " + std::to_string(options.program) + " is out of range (0 to " +
                                         std::to_string(plugin.numPrograms() - 1) + ")");
    }
    // The session belongs to the name JACK gave this client: a second
    // corvex-live on the same server gets a name, and a session, of its own.
    live::Session session(plugin, options.remember ? live::configFolder() : std::string(),
                          jack_get_client_name(client));
    if (!session.claim(error))
        return endStartUp(exitFailure, error);
    std::string sessionMessage;
    if (session.restore(sessionMessage) == live::LoadResult::refused)
        std::fprintf(stderr, "corvex-live: %s\n", sessionMessage.c_str());
    if (options.program >= 0)
        plugin.setProgram(options.program);
    if (signalled)
        return endStartUp(exitFailure, "");

    live::LiveEngine engine(plugin);
    const int rtPriority = jack_client_real_time_priority(client);
    engine.setCabinet(options.cabinet.empty() ? nullptr : &cabinetFile, options.cabinetTrimDb,
                      rtPriority > 1 ? rtPriority - 1 : 0);
    JackNews news;
    Ports ports;
    CallbackContext context{&engine, &ports, &news};
    const char* inNames[2] = {options.inputs == 2 ? "in_left" : "in", "in_right"};
    for (int i = 0; i < options.inputs; i++)
        ports.in[i] = jack_port_register(client, inNames[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    ports.out[0] = jack_port_register(client, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    ports.out[1] = jack_port_register(client, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!ports.in[0] || (options.inputs == 2 && !ports.in[1]) || !ports.out[0] || !ports.out[1])
        return endStartUp(exitFailure, "JACK refused our ports");
    int rate = (int)jack_get_sample_rate(client), period = (int)jack_get_buffer_size(client);
    news.rate.store(rate);
    news.period.store(period);
    if (signalled || !engine.start(rate, period, error))
        return endStartUp(exitFailure, error);
    jack_set_process_callback(client, processCallback, &context);
    jack_set_buffer_size_callback(client, bufferSizeCallback, &context);
    jack_set_sample_rate_callback(client, sampleRateCallback, &context);
    jack_set_xrun_callback(client, xrunCallback, &context);
    jack_on_shutdown(client, shutdownCallback, &context);
    if (signalled || jack_activate(client) != 0) {
        engine.stop();
        return endStartUp(exitFailure, "JACK did not activate the client");
    }
    connectPorts(client, options, ports, options.inputs);

    // The editor, in a window of its own; without a display, headless.
    hostwindow::EditorWindow window;
    bool editorOpen = false;
    AEffect* effect = plugin.effect();
    if (options.editor && (effect->flags & effFlagsHasEditor)) {
        ERect* rect = nullptr;
        effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f);
        std::string windowError;
        if (rect != nullptr &&
            window.open(rect->right - rect->left, rect->bottom - rect->top, 0, 0, "Corvex live", windowError)) {
            effect->dispatcher(effect, effEditOpen, 0, 0, window.handle(), 0.0f);
            editorOpen = true;
        } else {
            std::fprintf(stderr, "corvex-live: no editor (%s); running headless\n",
                         windowError.empty() ? "the plug-in reports no editor size" : windowError.c_str());
        }
    }

    std::printf("corvex-live: %s at %d Hz, %d frames per period (%.2f ms), %s%s%s\n", jack_get_client_name(client),
                rate, period, 1000.0 * period / rate, editorOpen ? "editor open" : "headless",
                engine.hasCabinet() ? ", cabinet " : "", engine.hasCabinet() ? options.cabinet.c_str() : "");
    std::fflush(stdout);

    std::string lastSessionError;
    auto saveSession = [&]() {
        std::string sessionError;
        if (!session.saveIfChanged(sessionError) && sessionError != lastSessionError) {
            std::fprintf(stderr, "\ncorvex-live: %s\n", sessionError.c_str());
            lastSessionError = sessionError;
        }
    };

    cabinet::LoudnessMeter meter;
    meter.start(rate);
    const bool statusLine = isatty(fileno(stderr)) != 0;
    const auto startTime = std::chrono::steady_clock::now();
    double lastStatus = 0.0, lastSession = 0.0, maxLoad = 0.0;
    long startupXruns = -1;  // joining the graph may cost the server a cycle or two
    float peakSinceStatus = 0.0f;
    std::string why = "interrupted";
    for (;;) {
        std::this_thread::sleep_for(tick);
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
        if (signalled)
            break;
        if (news.serverGone.load()) {
            why = "the JACK server went away";
            break;
        }
        if (editorOpen) {
            if (!window.pump()) {
                why = "the window was closed";
                break;
            }
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        }
        const int newRate = news.rate.load(), newPeriod = news.period.load();
        if (newRate != rate || newPeriod != period) {
            engine.drainTo(meter);
            if (!engine.start(newRate, newPeriod, error)) {
                std::fprintf(stderr, "\ncorvex-live: error: %s\n", error.c_str());
                why = "the new session could not start";
                break;
            }
            if (newRate != rate)
                meter.start(newRate);
            rate = newRate;
            period = newPeriod;
            std::printf("%scorvex-live: now %d Hz, %d frames per period\n", statusLine ? "\n" : "", rate, period);
            std::fflush(stdout);
        }
        engine.drainTo(meter);
        const double load = jack_cpu_load(client);
        if (now > 1.0 && startupXruns < 0)
            startupXruns = news.xruns.load();
        if (now > 1.0 && load > maxLoad)
            maxLoad = load;  // the first second includes start-up
        peakSinceStatus = std::max(peakSinceStatus, engine.takePeak());
        if (statusLine && now - lastStatus >= statusEvery) {
            std::fprintf(stderr, "\rDSP %5.1f %%  xruns %ld  peak %s dBFS  %d Hz / %d  program %d %-24s", load,
                         news.xruns.load(), dbText(peakSinceStatus).c_str(), rate, period, plugin.currentProgram(),
                         printableText(plugin.programName()).c_str());
            std::fflush(stderr);
            peakSinceStatus = 0.0f;
            lastStatus = now;
        }
        if (now - lastSession >= sessionEvery) {
            saveSession();
            lastSession = now;
        }
        if (options.seconds > 0.0 && now >= options.seconds) {
            why = "time is up";
            break;
        }
    }
    const bool serverGone = news.serverGone.load();
    if (!serverGone)
        jack_deactivate(client);
    engine.stop();
    engine.drainTo(meter);
    saveSession();
    if (editorOpen) {
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
        window.close();
    }
    const double ran = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    if (statusLine)
        std::fprintf(stderr, "\n");
    std::printf("corvex-live: ended: %s\n", why.c_str());
    std::printf("Ran:       %.1f s, %d Hz, %d frames per period\n", ran, rate, period);
    const long xruns = news.xruns.load();
    std::printf("Program:   %d %s\n", plugin.currentProgram(), printableText(plugin.programName()).c_str());
    std::printf("Xruns:     %ld (%ld after the first second)\n", xruns, startupXruns < 0 ? 0 : xruns - startupXruns);
    std::printf("DSP load:  %.1f %% at most (JACK's figure)\n", maxLoad);
    std::fputs(cabinet::loudnessSummary(meter).c_str(), stdout);
    if (engine.hasCabinet())
        std::printf("Cabinet:   %s (latency %d frames, %ld late cycles)\n", options.cabinet.c_str(),
                    engine.cabinetLatency(), engine.cabinetLateCycles());
    if (session.enabled())
        std::printf("Session:   %s%s\n", session.path().c_str(),
                    session.keptAside() ? " (not saved: it could not be restored, so it is kept as it was)" : "");
    std::fputs(cabinet::clippingWarning(meter).c_str(), stderr);
    std::fflush(stdout);
    jack_client_close(client);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so that a signal at any point of start-up is ours to report.
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    live::LiveOptions options;
    std::string error;
    if (!live::parseLiveOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "corvex-live: error: %s\n", error.c_str());
        return exitUsage;
    }
    if (options.help) {
        std::fputs(live::liveUsage().c_str(), stdout);
        return 0;
    }
    return run(options);
}
