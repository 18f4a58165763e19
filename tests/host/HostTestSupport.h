// Helpers of the host tests: a scratch folder, small audio files, and running
// corvex-render as a child process with its output captured.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace hosttest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "corvex-host-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (mkdtemp(buffer.data()) != nullptr)
            root = buffer.data();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!root.empty())
            fs::remove_all(root, ignored);
    }
    std::string path(const std::string& name) const { return (fs::path(root) / name).string(); }
    const std::string& dir() const { return root; }

    // Names of the files in the folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string root;
};

inline bool writeAudio(const std::string& path, int channels, int rate, const std::vector<float>& interleaved,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    sf_count_t frames = (sf_count_t)(interleaved.size() / (size_t)channels);
    bool ok = sf_writef_float(f, interleaved.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

struct Audio {
    SF_INFO info = {};
    std::vector<float> samples;  // interleaved
};

inline bool readAudio(const std::string& path, Audio& audio) {
    audio = Audio();
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (f == nullptr)
        return false;
    audio.samples.resize((size_t)(audio.info.frames * audio.info.channels));
    sf_count_t n = sf_readf_float(f, audio.samples.data(), audio.info.frames);
    sf_close(f);
    return n == audio.info.frames;
}

// A deterministic test signal: a decaying tone with some noise, |x| < 0.5.
inline std::vector<float> testSignal(size_t frames, int channels, unsigned seed = 1) {
    std::vector<float> s(frames * (size_t)channels);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < frames; i++) {
        for (int c = 0; c < channels; c++) {
            state = state * 1664525u + 1013904223u;
            float noise = ((float)(state >> 8) / 16777216.0f - 0.5f) * 0.1f;
            s[i * (size_t)channels + (size_t)c] =
                0.4f * std::sin(0.05f * (float)i * (float)(c + 1)) * std::exp(-(float)i / 20000.0f) + noise;
        }
    }
    return s;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// corvex-render started as a child process in folder `cwd`, stdout and
// stderr captured in files (named so tests can tell them from outputs).
// `env` entries are NAME=VALUE. Standard input is the file `stdinFile`, or
// with stdinFile "|" a pipe the test holds open and never writes, or with
// "|FILE" a pipe a feeder process fills with FILE's bytes and then closes.
class RunningRender {
public:
    RunningRender(const std::vector<std::string>& args, const std::string& cwd,
                  const std::vector<std::string>& env = {}, const std::string& stdinFile = "") {
        char outTemplate[] = "/tmp/corvex-run-out-XXXXXX";
        char errTemplate[] = "/tmp/corvex-run-err-XXXXXX";
        outFd = mkstemp(outTemplate);
        errFd = mkstemp(errTemplate);
        outPath = outTemplate;
        errPath = errTemplate;
        int pipeFds[2] = {-1, -1};
        const bool piped = !stdinFile.empty() && stdinFile[0] == '|';
        if (piped && pipe(pipeFds) != 0)
            pipeFds[0] = pipeFds[1] = -1;
        pid = fork();
        if (pid == 0) {
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            dup2(outFd, 1);
            dup2(errFd, 2);
            if (piped) {
                dup2(pipeFds[0], 0);
                close(pipeFds[1]);
            } else if (!stdinFile.empty()) {
                int in = open(stdinFile.c_str(), O_RDONLY);
                if (in < 0)
                    _exit(125);
                dup2(in, 0);
            }
            for (const std::string& e : env)
                putenv(const_cast<char*>(e.c_str()));
            // As from an interactive shell, whatever the test runner left set.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
                ::signal(s, SIG_DFL);
            std::vector<char*> argv;
            static char name[] = CORVEX_RENDER_PATH;
            argv.push_back(name);
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(CORVEX_RENDER_PATH, argv.data());
            _exit(127);
        }
        if (pipeFds[0] >= 0)
            close(pipeFds[0]);
        stdinWriter = pipeFds[1];
        if (piped && stdinFile.size() > 1 && stdinWriter >= 0) {
            feeder = fork();
            if (feeder == 0) {
                ::signal(SIGPIPE, SIG_DFL);
                int in = open(stdinFile.c_str() + 1, O_RDONLY);
                char buffer[1000];  // small writes, as a program producing audio makes them
                for (ssize_t n; in >= 0 && (n = read(in, buffer, sizeof buffer)) > 0;)
                    if (write(stdinWriter, buffer, (size_t)n) != n)
                        _exit(1);
                _exit(0);
            }
            close(stdinWriter);
            stdinWriter = -1;
        }
    }
    ~RunningRender() {
        if (pid > 0 && !finished) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (stdinWriter >= 0)
            close(stdinWriter);
        if (feeder > 0) {
            kill(feeder, SIGKILL);
            waitpid(feeder, nullptr, 0);
        }
        close(outFd);
        close(errFd);
        unlink(outPath.c_str());
        unlink(errPath.c_str());
    }
    RunningRender(const RunningRender&) = delete;
    RunningRender& operator=(const RunningRender&) = delete;

    void signal(int number) {
        if (pid > 0 && !finished)
            kill(pid, number);
    }

    // Waits up to `seconds` for the program to end (negative: no limit). The
    // exit code is -1 if it did not end in time (it is killed then) or was
    // ended by a signal it did not handle.
    RunResult wait(double seconds = -1.0) {
        RunResult result;
        int status = 0;
        bool ended = false;
        for (int waited = 0; pid > 0;) {
            pid_t got = waitpid(pid, &status, seconds < 0.0 ? 0 : WNOHANG);
            if (got == pid) {
                ended = true;
                break;
            }
            if (got < 0 || waited >= (int)(seconds * 1000.0))
                break;
            usleep(10000);
            waited += 10;
        }
        if (!ended && pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        finished = true;
        if (ended && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = readText(outPath);
        result.err = readText(errPath);
        return result;
    }

    pid_t pid = -1;

private:
    int outFd = -1, errFd = -1, stdinWriter = -1;
    pid_t feeder = -1;
    std::string outPath, errPath;
    bool finished = false;
};

// Runs corvex-render to the end; see RunningRender.
inline RunResult runRender(const std::vector<std::string>& args, const std::string& cwd,
                           const std::vector<std::string>& env = {}, const std::string& stdinFile = "") {
    RunningRender render(args, cwd, env, stdinFile);
    return render.wait();
}

}  // namespace hosttest
