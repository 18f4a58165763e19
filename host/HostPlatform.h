// The few operating-system services the command-line host needs, behind one
// small interface: the path of the running executable, whether stderr is a
// terminal, process ids, and removing unfinished files when a signal ends the
// process. One implementation per platform (HostPlatformPosix.cpp,
// HostPlatformWin32.cpp). The plug-in library itself is loaded by the shared
// loader (loader/PluginLibrary).
#pragma once

#include <filesystem>
#include <string>

namespace hostplatform {

// Full path of the running executable, or an empty string if unknown.
std::string executablePath();

// The file name a plug-in library has on this platform ("Corvex.so").
std::string pluginFileName(const std::string& baseName);

// The plug-in the build puts beside its hosts: <build>/plugin/Corvex.so (or
// .dll) for a host in <build>/host. Empty when the executable's own path is
// unknown; the file itself is not looked for.
inline std::string builtPluginPath() {
    const std::string exe = executablePath();
    if (exe.empty())
        return std::string();
    return (std::filesystem::path(exe).parent_path().parent_path() / "plugin" / pluginFileName("Corvex")).string();
}

bool stderrIsTerminal();

// This process's id, and whether a process with the given id is running
// (false only when it surely is not).
long processId();
bool processAlive(long pid);

// Whether this user may write the existing file at `path`.
bool isWritable(const std::string& path);

// The permission bits a newly created file gets (0666 less the umask).
unsigned newFileMode();

// Unfinished files to delete when a signal ends the process. A handler for
// interrupt, termination, hang-up and quit, and for the crash signals of a
// faulty plug-in (segmentation fault, bus error, arithmetic error, illegal
// instruction, abort), deletes every registered file with async-signal-safe
// calls only, prints one line and exits at once with 128 + the signal number:
// it works while the main thread is blocked in a read or stuck inside the
// plug-in. Main thread.
constexpr int maxCleanupFiles = 16;
void installSignalCleanup();
// Registers a file; answers its slot, or -1 when all slots are taken.
int addCleanupFile(const std::string& path);
void removeCleanupFile(int slot);
// Holds back interrupt, termination, hang-up and quit while files are moved
// into place, so a run is not ended between two moves; a held signal takes
// effect on release (or never, if the process exits first).
void holdSignals(bool hold);

}  // namespace hostplatform
