// Windows services of the host: the module file name, the console check and
// the file and process checks. Paths arrive as UTF-8 and are widened.
#include "host/HostPlatform.h"

#include <windows.h>
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace hostplatform {

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

std::string narrow(const wchar_t* text, size_t length) {
    if (length == 0)
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, nullptr, 0, nullptr, nullptr);
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, (int)length, &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::string executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), (DWORD)buffer.size());
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return narrow(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::string pluginFileName(const std::string& baseName) {
    return baseName + ".dll";
}

bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

long processId() {
    return (long)GetCurrentProcessId();
}

bool processAlive(long pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool isWritable(const std::string& path) {
    return _waccess(widen(path).c_str(), 2) == 0;
}

unsigned newFileMode() {
    return 0666u;
}

namespace {

constexpr size_t cleanupPathSize = MAX_PATH * 4;
char cleanupPaths[maxCleanupFiles][cleanupPathSize];
volatile std::sig_atomic_t cleanupUsed[maxCleanupFiles];

void onCleanupSignal(int signal) {
    for (int i = 0; i < maxCleanupFiles; i++)
        if (cleanupUsed[i])
            DeleteFileA(cleanupPaths[i]);
    const char* text = signal == SIGINT ? "\ncorvex-render: interrupted; no file was replaced\n"
                                        : "corvex-render: error: ended by a signal or a crash; no file was replaced\n";
    _write(2, text, (unsigned)std::strlen(text));
    _exit(128 + signal);
}

}  // namespace

void installSignalCleanup() {
    for (int s : {SIGINT, SIGTERM, SIGSEGV, SIGFPE, SIGILL, SIGABRT})
        std::signal(s, onCleanupSignal);
}

int addCleanupFile(const std::string& path) {
    if (path.size() >= cleanupPathSize)
        return -1;
    for (int i = 0; i < maxCleanupFiles; i++) {
        if (cleanupUsed[i])
            continue;
        std::memcpy(cleanupPaths[i], path.c_str(), path.size() + 1);
        cleanupUsed[i] = 1;
        return i;
    }
    return -1;
}

void removeCleanupFile(int slot) {
    if (slot >= 0 && slot < maxCleanupFiles)
        cleanupUsed[slot] = 0;
}

void holdSignals(bool) {}

}  // namespace hostplatform
