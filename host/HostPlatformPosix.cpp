// POSIX services of the host: /proc/self/exe, isatty, kill(0)
// and access for process and file checks, sigaction for the cleanup handler.
#include "host/HostPlatform.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace hostplatform {

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return std::string();
    return std::string(buffer.data(), (size_t)n);
}

std::string pluginFileName(const std::string& baseName) {
    return baseName + ".so";
}

bool stderrIsTerminal() {
    return isatty(fileno(stderr)) != 0;
}

long processId() {
    return (long)getpid();
}

bool processAlive(long pid) {
    if (pid <= 0)
        return false;
    return kill((pid_t)pid, 0) == 0 || errno != ESRCH;
}

bool isWritable(const std::string& path) {
    return access(path.c_str(), W_OK) == 0;
}

unsigned newFileMode() {
    // umask can only be read by setting it; the host has one thread here.
    mode_t mask = umask(022);
    umask(mask);
    return 0666u & ~(unsigned)mask;
}

namespace {

// The handler reads these while the main thread may be anywhere, so each
// slot's text is complete before the slot is marked used, and a slot is
// marked unused before its text changes.
constexpr size_t cleanupPathSize = PATH_MAX + 1;
char cleanupPaths[maxCleanupFiles][cleanupPathSize];
volatile sig_atomic_t cleanupUsed[maxCleanupFiles];

const int cleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void say(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// Async-signal-safe only: unlink, write, _exit.
void onCleanupSignal(int signal) {
    for (int i = 0; i < maxCleanupFiles; i++)
        if (cleanupUsed[i])
            unlink(cleanupPaths[i]);
    switch (signal) {
        case SIGINT:
            say("\ncorvex-render: interrupted; no file was replaced\n");
            break;
        case SIGTERM:
            say("corvex-render: terminated; no file was replaced\n");
            break;
        case SIGHUP:
            say("corvex-render: hang-up; no file was replaced\n");
            break;
        case SIGQUIT:
            say("corvex-render: quit; no file was replaced\n");
            break;
        case SIGSEGV:
            say("corvex-render: error: crashed (segmentation fault), most likely in the plug-in; no file was "
                "replaced\n");
            break;
        case SIGBUS:
            say("corvex-render: error: crashed (bus error), most likely in the plug-in; no file was replaced\n");
            break;
        case SIGFPE:
            say("corvex-render: error: crashed (arithmetic exception), most likely in the plug-in; no file was "
                "replaced\n");
            break;
        case SIGILL:
            say("corvex-render: error: crashed (illegal instruction), most likely in the plug-in; no file was "
                "replaced\n");
            break;
        default:
            say("corvex-render: error: aborted, most likely by the plug-in; no file was replaced\n");
            break;
    }
    _exit(128 + signal);
}

}  // namespace

void installSignalCleanup() {
    // A plug-in that overflows its stack still gets the handler run.
    static std::vector<char> altStack(64 * 1024);
    stack_t stack = {};
    stack.ss_sp = altStack.data();
    stack.ss_size = altStack.size();
    sigaltstack(&stack, nullptr);
    struct sigaction action = {};
    action.sa_handler = onCleanupSignal;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : cleanupSignals)
        sigaddset(&action.sa_mask, s);
    for (int s : cleanupSignals) {
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored: the user asked for the run to survive it.
        struct sigaction previous = {};
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN &&
            (s == SIGINT || s == SIGHUP || s == SIGQUIT || s == SIGTERM)) {
            continue;
        }
        sigaction(s, &action, nullptr);
    }
    // A blocked mask is inherited too; these must get through.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int s : cleanupSignals)
        sigaddset(&blocked, s);
    sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
}

int addCleanupFile(const std::string& path) {
    if (path.size() >= cleanupPathSize)
        return -1;
    for (int i = 0; i < maxCleanupFiles; i++) {
        if (cleanupUsed[i])
            continue;
        std::memcpy(cleanupPaths[i], path.c_str(), path.size() + 1);
        __atomic_signal_fence(__ATOMIC_SEQ_CST);
        cleanupUsed[i] = 1;
        return i;
    }
    return -1;
}

void removeCleanupFile(int slot) {
    if (slot >= 0 && slot < maxCleanupFiles)
        cleanupUsed[slot] = 0;
}

void holdSignals(bool hold) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&set, s);
    sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace hostplatform
