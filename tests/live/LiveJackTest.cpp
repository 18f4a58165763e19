// corvex-live under a JACK server of the test's own (dummy driver, 48 kHz,
// 64 frames, a name no other test uses), one scenario per run:
//   run       plays for CORVEX_LIVE_TEST_SECONDS (default 20) without xruns
//   match     a feeder client plays a known signal into corvex-live, a
//             recorder client takes its output; it equals corvex-render's
//             output for the same input and cabinet, once the two are aligned
//   bufsize   the period goes to 256 frames and back while it plays
//   shutdown  the server goes away under it; it ends cleanly
//   editor    under Xvfb, the editor opens in a window of its own
//   session   a damaged session file (a byte too many, a NaN in a channel
//             that is not selected) survives a run byte for byte; a session
//             that is a symbolic link is saved through it and stays a link
//   twice     two corvex-live under one client name keep a session each
//   startup   SIGTERM at many points of start-up ends it as "interrupted"
// Exits 77 (skipped) without jackd.
#include <errno.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int skipped = 77;
constexpr int rate = 48000;

int failures = 0;
#define CHECK(cond, ...)                                                         \
    do {                                                                         \
        if (!(cond)) {                                                           \
            std::fprintf(stderr, "FAIL %s:%d: %s: ", __FILE__, __LINE__, #cond); \
            std::fprintf(stderr, __VA_ARGS__);                                   \
            std::fprintf(stderr, "\n");                                          \
            failures++;                                                          \
        }                                                                        \
    } while (0)

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / name).c_str(), X_OK) == 0)
            return (fs::path(dir) / name).string();
    return std::string();
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A child process with its output in a file.
struct Child {
    pid_t pid = -1;
    std::string log;
    int status = -1;

    bool start(const std::vector<std::string>& args, const std::string& logFile) {
        log = logFile;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int r = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return r == 0;
    }
    // Waits up to `seconds`; false if it is still running.
    bool wait(double seconds) {
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (pid > 0) {
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                pid = -1;
                return true;
            }
            if (Clock::now() > until)
                return false;
            sleepMs(20);
        }
        return true;
    }
    void stop(int sig) {
        if (pid <= 0)
            return;
        kill(pid, sig);
        if (!wait(5.0)) {
            kill(pid, SIGKILL);
            wait(5.0);
        }
    }
    int exitCode() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
    std::string output() const { return readText(log); }
    // A polite stop first, so that a server unregisters itself.
    ~Child() { stop(SIGTERM); }
};

struct Server {
    std::string name;
    Child process;

    // A synchronous server (-S) waits for every client in each cycle, so a
    // late cycle on a busy machine delays the signal instead of losing a
    // period of it.
    bool start(const std::string& folder, bool synchronous) {
        // One name for every run (the scenarios run one at a time): JACK
        // takes back the registry slot of a name whose server has gone, where
        // a new name each run would keep a dead server's slot for ever (the
        // registry holds eight).
        name = "corvex-live-test";
        const std::string jackd = findInPath("jackd");
        std::vector<std::string> args = {jackd, "-n", name};
        if (synchronous)
            args.push_back("-S");
        for (const char* a : {"-d", "dummy", "-r", "48000", "-p", "64"})
            args.push_back(a);
        if (!process.start(args, folder + "/jackd.log"))
            return false;
        for (int i = 0; i < 100; i++) {  // up to 10 s on a loaded machine
            jack_status_t status{};
            jack_client_t* probe = jack_client_open(
                "corvex-probe", (jack_options_t)(JackNoStartServer | JackServerName), &status, name.c_str());
            if (probe != nullptr) {
                jack_client_close(probe);
                return true;
            }
            sleepMs(100);
        }
        return false;
    }
};

// The test's own clients: a feeder with one output and a recorder with two
// inputs, each a client of its own so the graph has no loop.
struct Rig {
    jack_client_t* feeder = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* out = nullptr;
    jack_port_t* in[2] = {nullptr, nullptr};
    std::vector<float> signal;  // played once `playing` is set; silence before and after
    std::atomic<bool> playing{false};
    std::atomic<size_t> played{0};
    std::vector<float> recorded[2];  // room for a minute
    std::atomic<size_t> recordedFrames{0};
    std::atomic<bool> recording{false};
    std::atomic<long> xruns{0};
    float tone = 0.0f;  // amplitude of a steady tone when no signal is set
    double phase = 0.0;

    static int feed(jack_nframes_t n, void* arg) {
        Rig* r = static_cast<Rig*>(arg);
        float* out = static_cast<float*>(jack_port_get_buffer(r->out, n));
        for (jack_nframes_t i = 0; i < n; i++) {
            float s = 0.0f;
            if (r->tone > 0.0f) {
                s = r->tone * (float)std::sin(r->phase);
                r->phase += 2.0 * M_PI * 220.0 / rate;
            } else if (r->playing.load()) {
                const size_t at = r->played.load();
                s = at < r->signal.size() ? r->signal[at] : 0.0f;
                r->played.store(at + 1);
            }
            out[i] = s;
        }
        return 0;
    }
    static int record(jack_nframes_t n, void* arg) {
        Rig* r = static_cast<Rig*>(arg);
        if (!r->recording.load())
            return 0;
        const float* a = static_cast<const float*>(jack_port_get_buffer(r->in[0], n));
        const float* b = static_cast<const float*>(jack_port_get_buffer(r->in[1], n));
        size_t at = r->recordedFrames.load();
        for (jack_nframes_t i = 0; i < n && at < r->recorded[0].size(); i++, at++) {
            r->recorded[0][at] = a[i];
            r->recorded[1][at] = b[i];
        }
        r->recordedFrames.store(at);
        return 0;
    }
    static int xrun(void* arg) {
        static_cast<Rig*>(arg)->xruns.fetch_add(1);
        return 0;
    }

    bool open(const std::string& server, const std::string& liveName) {
        recorded[0].assign(60 * rate, 0.0f);
        recorded[1].assign(60 * rate, 0.0f);
        const auto options = (jack_options_t)(JackNoStartServer | JackServerName);
        feeder = jack_client_open("feeder", options, nullptr, server.c_str());
        recorder = jack_client_open("recorder", options, nullptr, server.c_str());
        if (!feeder || !recorder) {
            std::fprintf(stderr, "the test's JACK clients could not join %s\n", server.c_str());
            return false;
        }
        out = jack_port_register(feeder, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        in[0] = jack_port_register(recorder, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        in[1] = jack_port_register(recorder, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(feeder, feed, this);
        jack_set_process_callback(recorder, record, this);
        jack_set_xrun_callback(recorder, xrun, this);
        if (jack_activate(feeder) || jack_activate(recorder)) {
            std::fprintf(stderr, "the test's JACK clients could not activate\n");
            return false;
        }
        // corvex-live's ports appear when it registers them, but connections
        // are only taken once it has activated: try until they are.
        const std::pair<std::string, std::string> links[] = {{"feeder:out", liveName + ":in"},
                                                             {liveName + ":out_left", "recorder:left"},
                                                             {liveName + ":out_right", "recorder:right"}};
        for (const auto& link : links) {
            int r = -1;
            for (int i = 0; i < 300 && r != 0; i++) {
                r = jack_connect(recorder, link.first.c_str(), link.second.c_str());
                if (r == EEXIST)
                    r = 0;
                if (r != 0)
                    sleepMs(50);
            }
            if (r != 0) {
                std::fprintf(stderr, "cannot connect %s to %s within 15 s\n", link.first.c_str(), link.second.c_str());
                return false;
            }
        }
        return true;
    }
    void close() {
        if (feeder)
            jack_client_close(feeder);
        if (recorder)
            jack_client_close(recorder);
        feeder = recorder = nullptr;
    }
    ~Rig() { close(); }
};

struct Scratch {
    std::string dir;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "corvex-live-XXXXXX").string();
        std::vector<char> b(pattern.begin(), pattern.end());
        b.push_back(0);
        if (mkdtemp(b.data()))
            dir = b.data();
    }
    ~Scratch() {
        std::error_code ignored;
        if (!dir.empty() && !std::getenv("CORVEX_KEEP_TEST_FILES"))
            fs::remove_all(dir, ignored);
    }
};

std::vector<std::string> liveCommand(const Server& server, const std::string& name, double seconds,
                                     const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {CORVEX_LIVE_PATH, "--server",     server.name,    "--name",   name,
                                     "--no-editor",    "--no-connect", "--no-session", "--plugin", CORVEX_PLUGIN_PATH};
    if (seconds > 0) {
        args.push_back("--seconds");
        args.push_back(std::to_string(seconds));
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

long numberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atol(text.c_str() + at + label.size());
}

bool machineIsQuiet() {
    double load = 99.0;
    std::ifstream("/proc/loadavg") >> load;
    return load < (double)std::thread::hardware_concurrency();
}

int scenarioRun(Server& server, const std::string& dir) {
    const char* env = std::getenv("CORVEX_LIVE_TEST_SECONDS");
    const double seconds = env ? std::atof(env) : 20.0;
    Child live;
    CHECK(live.start(liveCommand(server, "corvex-run", seconds, {"--cab", CORVEX_CABINET_PATH}), dir + "/live.log"),
          "spawn");
    CHECK(live.wait(seconds + 30.0), "corvex-live did not end after --seconds %g", seconds);
    const std::string out = live.output();
    std::printf("%s", out.c_str());
    CHECK(live.exitCode() == 0, "exit code %d", live.exitCode());
    CHECK(out.find("ended: time is up") != std::string::npos, "no clean end");
    const size_t at = out.find("Xruns:");
    CHECK(at != std::string::npos, "no xrun count");
    const long settled = at == std::string::npos ? -1 : numberAfter(out.substr(at), "(");
    // Xruns under the dummy driver come from the scheduler as much as from our
    // work (a 1.33 ms period without real-time priority), so the count is a
    // measurement; it fails the run only when asked for on a quiet machine.
    const char* strict = std::getenv("CORVEX_LIVE_XRUN_CHECK");
    if (strict && *strict == '1' && machineIsQuiet()) {
        CHECK(settled == 0, "%ld xruns after the first second at low load", settled);
    } else {
        std::printf("note: %ld xruns after the first second (held against the run only with "
                    "CORVEX_LIVE_XRUN_CHECK=1 on a quiet machine)\n",
                    settled);
    }
    return 0;
}

std::vector<float> testSignal() {
    // Plucked notes: a sharp start the alignment can find, then decays.
    std::vector<float> s((size_t)rate * 3, 0.0f);
    const double notes[] = {82.4, 110.0, 146.8, 196.0, 110.0, 82.4};
    for (size_t n = 0; n < 6; n++) {
        const size_t start = n * (size_t)rate / 2;
        for (size_t i = 0; i < (size_t)rate / 2 && start + i < s.size(); i++) {
            const double t = (double)i / rate;
            double v = 0.0;
            for (int h = 1; h <= 6; h++)
                v += std::sin(2.0 * M_PI * notes[n] * h * t) / h;
            s[start + i] = (float)(0.3 * v * std::exp(-4.0 * t));
        }
    }
    return s;
}

bool writeWav(const std::string& path, const std::vector<float>& mono) {
    SF_INFO info = {};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_writef_float(f, mono.data(), (sf_count_t)mono.size());
    return sf_close(f) == 0;
}

bool readStereo(const std::string& path, std::vector<float>& left, std::vector<float>& right) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f || info.channels != 2)
        return false;
    std::vector<float> all((size_t)info.frames * 2);
    sf_readf_float(f, all.data(), info.frames);
    sf_close(f);
    left.resize((size_t)info.frames);
    right.resize((size_t)info.frames);
    for (size_t i = 0; i < left.size(); i++) {
        left[i] = all[2 * i];
        right[i] = all[2 * i + 1];
    }
    return true;
}

size_t onset(const std::vector<float>& x, size_t from, float threshold) {
    for (size_t i = from; i < x.size(); i++)
        if (std::fabs(x[i]) > threshold)
            return i;
    return x.size();
}

// One attempt; answers the relative RMS difference (or a negative number
// when something other than the audio failed) and the xruns seen meanwhile.
double matchOnce(Server& server, const std::string& dir, long& xruns) {
    const std::vector<float> signal = testSignal();
    // The render hears the silence the live host heard before the notes.
    const size_t lead = (size_t)rate;
    std::vector<float> input(lead, 0.0f);
    input.insert(input.end(), signal.begin(), signal.end());
    const std::string in = dir + "/input.wav", rendered = dir + "/rendered.wav";
    if (!writeWav(in, input))
        return -1;
    Child render;
    render.start(
        {CORVEX_RENDER_PATH, "--plugin", CORVEX_PLUGIN_PATH, "-q", "--cab", CORVEX_CABINET_PATH, in, "-o", rendered},
        dir + "/render.log");
    if (!render.wait(60) || render.exitCode() != 0)
        return -1;
    std::vector<float> refLeft, refRight;
    if (!readStereo(rendered, refLeft, refRight))
        return -1;

    Child live;
    live.start(liveCommand(server, "corvex-match", 0, {"--cab", CORVEX_CABINET_PATH}), dir + "/live.log");
    Rig rig;
    rig.signal = signal;
    if (!rig.open(server.name, "corvex-match"))
        return -1;
    sleepMs(1500);  // at least the render's second of silence
    rig.recording.store(true);
    rig.playing.store(true);
    while (rig.played.load() < signal.size() + (size_t)rate / 2)
        sleepMs(50);
    rig.recording.store(false);
    xruns = rig.xruns.load();
    live.stop(SIGINT);
    rig.close();

    const size_t frames = rig.recordedFrames.load();
    std::vector<float> got(rig.recorded[0].begin(), rig.recorded[0].begin() + (long)frames);
    std::vector<float> gotRight(rig.recorded[1].begin(), rig.recorded[1].begin() + (long)frames);
    // Align on the first note, then refine by the least difference nearby.
    const size_t a = onset(got, 0, 1e-3f), b = onset(refLeft, lead, 1e-3f);
    if (a >= got.size() || b >= refLeft.size())
        return -1;
    const size_t span = signal.size() - 2 * (size_t)rate / 10;
    double best = 1e30;
    long bestShift = 0;
    for (long shift = -64; shift <= 64; shift++) {
        const long start = (long)a - (long)(b - lead) + shift;
        if (start < 0 || (size_t)start + span > frames)
            continue;
        double diff = 0.0;
        for (size_t i = 0; i < span; i += 7) {
            const double d = got[(size_t)start + i] - refLeft[lead + i];
            diff += d * d;
        }
        if (diff < best) {
            best = diff;
            bestShift = start;
        }
    }
    double diff = 0.0, power = 0.0;
    for (size_t i = 0; i < span; i++) {
        for (int c = 0; c < 2; c++) {
            const double want = c == 0 ? refLeft[lead + i] : refRight[lead + i];
            const double have = c == 0 ? got[(size_t)bestShift + i] : gotRight[(size_t)bestShift + i];
            diff += (have - want) * (have - want);
            power += want * want;
        }
    }
    std::printf("aligned at recorded frame %ld; relative RMS difference %.3g; %ld xruns\n", bestShift,
                std::sqrt(diff / std::max(power, 1e-30)), xruns);
    return std::sqrt(diff / std::max(power, 1e-30));
}

int scenarioMatch(Server& server, const std::string& dir) {
    for (int attempt = 0; attempt < 3; attempt++) {
        long xruns = 0;
        const double difference = matchOnce(server, dir, xruns);
        CHECK(difference >= 0.0, "the rig or the render failed (see %s)", dir.c_str());
        if (difference < 0.0)
            return 0;
        if (difference < 1e-4)
            return 0;
        if (xruns == 0) {
            CHECK(difference < 1e-4, "live output differs from the render by %.3g (relative RMS)", difference);
            return 0;
        }
        std::printf("xruns during the take; again\n");
    }
    std::printf("SKIP: every take had xruns (a busy machine); the comparison did not run cleanly\n");
    return skipped;
}

double rms(const Rig& rig, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t i = from; i < to; i++) {
        if (!std::isfinite(rig.recorded[0][i]))
            return -1.0;
        sum += (double)rig.recorded[0][i] * rig.recorded[0][i];
    }
    return to > from ? std::sqrt(sum / (double)(to - from)) : 0.0;
}

int scenarioBufsize(Server& server, const std::string& dir) {
    Child live;
    CHECK(live.start(liveCommand(server, "corvex-period", 0, {"--cab", CORVEX_CABINET_PATH}), dir + "/live.log"),
          "spawn");
    Rig rig;
    rig.tone = 0.2f;
    CHECK(rig.open(server.name, "corvex-period"), "rig");
    rig.recording.store(true);
    for (int period : {256, 1024, 64}) {
        CHECK(jack_set_buffer_size(rig.feeder, (jack_nframes_t)period) == 0, "JACK refused %d frames", period);
        const std::string told = "now 48000 Hz, " + std::to_string(period) + " frames per period";
        for (int i = 0; i < 100 && live.output().find(told) == std::string::npos; i++)
            sleepMs(50);
        CHECK(live.output().find(told) != std::string::npos, "corvex-live did not follow to %d frames", period);
        sleepMs(300);
        const size_t from = rig.recordedFrames.load();
        sleepMs(500);
        const double level = rms(rig, from, rig.recordedFrames.load());
        CHECK(level > 1e-3, "silent or broken output after the change to %d frames (RMS %g)", period, level);
    }
    live.stop(SIGINT);
    const std::string out = live.output();
    std::printf("%s", out.c_str());
    CHECK(live.exitCode() == 0, "exit code %d", live.exitCode());
    CHECK(out.find("ended: interrupted") != std::string::npos, "no clean end on SIGINT");
    return 0;
}

int scenarioShutdown(Server& server, const std::string& dir) {
    Child live;
    CHECK(live.start(liveCommand(server, "corvex-gone", 0), dir + "/live.log"), "spawn");
    Rig rig;
    CHECK(rig.open(server.name, "corvex-gone"), "rig");
    sleepMs(500);
    rig.close();
    server.process.stop(SIGTERM);
    CHECK(live.wait(15.0), "corvex-live still running 15 s after the server went away");
    const std::string out = live.output();
    std::printf("%s", out.c_str());
    CHECK(live.exitCode() == 0, "exit code %d", live.exitCode());
    CHECK(out.find("ended: the JACK server went away") != std::string::npos, "no word of the server's end");
    return 0;
}

int scenarioEditor(Server& server, const std::string& dir) {
    const std::string xvfb = findInPath("xvfb-run");
    if (xvfb.empty()) {
        std::printf("SKIP: xvfb-run is not installed (package xvfb)\n");
        return skipped;
    }
    std::vector<std::string> args = liveCommand(server, "corvex-editor", 2.0);
    args.erase(std::find(args.begin(), args.end(), std::string("--no-editor")));
    args.insert(args.begin(), {xvfb, "-a"});
    // xvfb-run -a picks its display number before its server holds it, so a
    // server started elsewhere at that moment can leave the program without
    // a display: that (and only that) is tried again, twice at most.
    std::string out;
    int exitCode = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Child live;
        CHECK(live.start(args, dir + "/live.log"), "spawn");
        CHECK(live.wait(60.0), "corvex-live did not end");
        out = live.output();
        exitCode = live.exitCode();
        std::printf("%s", out.c_str());
        if (out.find("cannot open the X display") == std::string::npos)
            break;
        std::printf("(no X display from xvfb-run: trying again)\n");
    }
    CHECK(exitCode == 0, "exit code %d", exitCode);
    CHECK(out.find("editor open") != std::string::npos, "the editor did not open");
    CHECK(out.find("ended: time is up") != std::string::npos, "no clean end");
    return 0;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

// The current program a version 2 bank file stores (big-endian, at 28).
int currentProgramOf(const std::vector<uint8_t>& bank) {
    if (bank.size() < 32)
        return -1;
    return (int)((uint32_t)bank[28] << 24 | (uint32_t)bank[29] << 16 | (uint32_t)bank[30] << 8 | bank[31]);
}

// corvex-live with its session (liveCommand's --no-session taken out).
std::vector<std::string> sessionCommand(const Server& server, const std::string& name, double seconds,
                                        const std::vector<std::string>& more) {
    std::vector<std::string> args = liveCommand(server, name, seconds, more);
    args.erase(std::find(args.begin(), args.end(), std::string("--no-session")));
    return args;
}

// A bank saved by corvex-render with `program` current.
bool saveBank(const std::string& dir, int program, std::vector<uint8_t>& bank) {
    Child render;
    const std::string path = dir + "/saved.fxb";
    if (!render.start({CORVEX_RENDER_PATH, "--plugin", CORVEX_PLUGIN_PATH, "--program", std::to_string(program),
                       "--save-fxb", path, "--force"},
                      dir + "/render.log") ||
        !render.wait(60.0) || render.exitCode() != 0)
        return false;
    bank = readBytes(path);
    return bank.size() == 156 + 4 + 2080;
}

int scenarioSession(Server& server, const std::string& dir) {
    const std::string folder = dir + "/corvex";
    fs::create_directories(folder);
    std::vector<uint8_t> bank;
    CHECK(saveBank(dir, 3, bank), "corvex-render saved no bank");
    if (bank.empty())
        return 1;

    // Damaged two ways; each run changes the program, which would be saved.
    std::vector<uint8_t> longer = bank;
    longer.push_back(0);
    std::vector<uint8_t> nan = bank;
    // Program 0 plays channel 0; its channel 1's Volume (a double at 80 + 64 + 48 of the record).
    const size_t volume = 160 + 80 + 64 + 48;
    for (int i = 0; i < 8; i++)
        nan[volume + (size_t)i] = i == 7 ? 0x7F : (i == 6 ? 0xF8 : 0x00);
    struct Damaged {
        const char* name;
        const char* file;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    for (const Damaged& d : {Damaged{"corvex", "live-session.fxb", longer, "wrong size"},
                             Damaged{"corvex-nan", "live-session-corvex-nan.fxb", nan, "channel 1: \"Volume\" is NaN"}}) {
        const std::string file = folder + "/" + d.file;
        writeBytes(file, d.bytes);
        Child live;
        CHECK(live.start(sessionCommand(server, d.name, 1.5, {"--program", "5"}), dir + "/live.log"), "spawn");
        CHECK(live.wait(60.0), "corvex-live did not end");
        const std::string out = live.output();
        std::printf("%s", out.c_str());
        CHECK(live.exitCode() == 0, "%s: exit code %d", d.name, live.exitCode());
        CHECK(out.find("was not restored") != std::string::npos, "%s: no word of the refusal", d.name);
        CHECK(out.find(d.reason) != std::string::npos, "%s: the reason is not named", d.name);
        CHECK(out.find("kept as it is") != std::string::npos, "%s: no word of keeping it", d.name);
        CHECK(readBytes(file) == d.bytes, "%s: the damaged session was written over", d.name);
    }

    // A session that is a link to a bank kept elsewhere.
    fs::create_directories(dir + "/elsewhere");
    writeBytes(dir + "/elsewhere/my-bank.fxb", bank);
    const std::string link = folder + "/live-session-corvex-linked.fxb";
    fs::create_symlink("../elsewhere/my-bank.fxb", link);
    Child live;
    CHECK(live.start(sessionCommand(server, "corvex-linked", 1.5, {"--program", "6"}), dir + "/live.log"), "spawn");
    CHECK(live.wait(60.0), "corvex-live did not end");
    std::printf("%s", live.output().c_str());
    CHECK(live.exitCode() == 0, "linked: exit code %d", live.exitCode());
    CHECK(fs::is_symlink(fs::symlink_status(link)), "the session is no longer a link");
    CHECK(fs::read_symlink(link) == "../elsewhere/my-bank.fxb", "the link leads elsewhere now");
    CHECK(currentProgramOf(readBytes(dir + "/elsewhere/my-bank.fxb")) == 6, "the bank the link leads to was not saved");
    return 0;
}

int scenarioTwice(Server& server, const std::string& dir) {
    const std::string folder = dir + "/corvex";
    Child first, second;
    CHECK(first.start(sessionCommand(server, "corvex-twin", 3.0, {"--program", "2"}), dir + "/first.log"), "spawn");
    sleepMs(700);
    CHECK(second.start(sessionCommand(server, "corvex-twin", 3.0, {"--program", "7"}), dir + "/second.log"),
          "spawn");
    CHECK(first.wait(60.0) && second.wait(60.0), "corvex-live did not end");
    std::printf("%s%s", first.output().c_str(), second.output().c_str());
    CHECK(first.exitCode() == 0 && second.exitCode() == 0, "exit codes %d %d", first.exitCode(),
          second.exitCode());
    // Each kept its own session: one saved with program 2, one with program 7.
    std::vector<int> programs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("live-session-corvex-twin", 0) == 0 && entry.path().extension() == ".fxb")
            programs.push_back(currentProgramOf(readBytes(entry.path().string())));
    }
    std::sort(programs.begin(), programs.end());
    CHECK(programs == (std::vector<int>{2, 7}), "%zu session files, not one per instance", programs.size());
    return 0;
}

int scenarioStartup(Server& server, const std::string& dir) {
    for (int delay : {0, 1, 2, 4, 6, 8, 10, 12, 15, 20, 30, 50, 80, 120, 200, 400}) {
        Child live;
        CHECK(live.start(liveCommand(server, "corvex-early", 10.0), dir + "/live.log"), "spawn");
        sleepMs(delay);
        kill(live.pid, SIGTERM);
        CHECK(live.wait(30.0), "after %d ms: corvex-live did not end", delay);
        const std::string out = live.output();
        // Before main() the signal's default action ends the process, with
        // nothing said; from main() on, it is reported.
        if (WIFSIGNALED(live.status) && WTERMSIG(live.status) == SIGTERM && out.empty())
            continue;
        CHECK(live.exitCode() == 0, "after %d ms: exit code %d:\n%s", delay, live.exitCode(), out.c_str());
        CHECK(out.find("ended: interrupted") != std::string::npos, "after %d ms: not ended as interrupted:\n%s",
              delay, out.c_str());
        CHECK(out.find("corvex-live: error") == std::string::npos, "after %d ms: an error reported:\n%s", delay,
              out.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (findInPath("jackd").empty()) {
        std::printf("SKIP: jackd is not installed (Debian package jackd2)\n");
        return skipped;
    }
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    // The readiness probe fails until the server is up; libjack says so each time.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    Scratch scratch;
    setenv("XDG_CONFIG_HOME", scratch.dir.c_str(), 1);
    Server server;
    if (!server.start(scratch.dir, scenario == "match")) {
        std::printf("SKIP: the JACK server did not start here:\n%s\n", server.process.output().c_str());
        return skipped;
    }
    int code = 0;
    if (scenario == "run")
        code = scenarioRun(server, scratch.dir);
    else if (scenario == "match")
        code = scenarioMatch(server, scratch.dir);
    else if (scenario == "bufsize")
        code = scenarioBufsize(server, scratch.dir);
    else if (scenario == "shutdown")
        code = scenarioShutdown(server, scratch.dir);
    else if (scenario == "editor")
        code = scenarioEditor(server, scratch.dir);
    else if (scenario == "session")
        code = scenarioSession(server, scratch.dir);
    else if (scenario == "twice")
        code = scenarioTwice(server, scratch.dir);
    else if (scenario == "startup")
        code = scenarioStartup(server, scratch.dir);
    else {
        std::fprintf(stderr, "usage: live_jack_tests run|match|bufsize|shutdown|editor|session|twice|startup\n");
        return 2;
    }
    server.process.stop(SIGTERM);
    if (failures > 0)
        return 1;
    return code;
}
