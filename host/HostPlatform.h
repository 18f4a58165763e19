// The few operating-system services the command-line host needs, behind one
// small interface: the path of the running executable, whether stderr is a
// terminal, process ids, and removing unfinished files when a signal ends the
// process. One implementation per platform (HostPlatformPosix.cpp,
// HostPlatformWin32.cpp). The plug-in library itself is loaded by the shared
// loader (loader/PluginLibrary).
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace hostplatform {

// Full path of the running executable, or an empty string if unknown.
std::string executablePath();

// The file name a plug-in library has on this platform ("Corvex.so").
std::string pluginFileName(const std::string& baseName);

// Where an installed host finds the plug-in and the shared data (factory
// programs, cabinet responses), relative to the folder it is installed in.
// The build sets both for the install layout it was configured with
// (cmake/CorvexInstall.cmake); these are the system layout's.
#ifndef CORVEX_PLUGIN_DIR_FROM_BIN
#define CORVEX_PLUGIN_DIR_FROM_BIN "../lib/vst"
#endif
#ifndef CORVEX_DATA_DIR_FROM_BIN
#define CORVEX_DATA_DIR_FROM_BIN "../share/corvex"
#endif

// The places the plug-in may be for a host at `exe`, first choice first:
// the one the build puts beside its hosts (<build>/plugin/Corvex.so for a
// host in <build>/host), then the installed one (<prefix>/lib/vst/Corvex.so
// for a host in <prefix>/bin, or the user layout's). Empty for an empty `exe`.
inline std::vector<std::string> pluginCandidates(const std::string& exe) {
    std::vector<std::string> places;
    if (exe.empty())
        return places;
    const std::filesystem::path bin = std::filesystem::path(exe).parent_path();
    const std::string file = pluginFileName("Corvex");
    places.push_back((bin.parent_path() / "plugin" / file).string());
    places.push_back((bin / CORVEX_PLUGIN_DIR_FROM_BIN / file).lexically_normal().string());
    return places;
}

// The first of pluginCandidates(exe) that is a file; empty when none is.
inline std::string findPlugin(const std::string& exe) {
    for (const std::string& place : pluginCandidates(exe)) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(place, ec))
            return place;
    }
    return std::string();
}

// The plug-in a host uses without --plugin: the first that exists, else the
// build tree's place (so that the error names it). Empty when the
// executable's own path is unknown.
inline std::string builtPluginPath() {
    const std::string exe = executablePath();
    const std::string found = findPlugin(exe);
    if (!found.empty())
        return found;
    const std::vector<std::string> places = pluginCandidates(exe);
    return places.empty() ? std::string() : places.front();
}

// The folders holding the shared data for a host at `exe`: <build>/share/corvex
// in the build tree (it points at resources/), and the installed one.
inline std::vector<std::string> dataDirs(const std::string& exe) {
    std::vector<std::string> dirs;
    if (exe.empty())
        return dirs;
    const std::filesystem::path bin = std::filesystem::path(exe).parent_path();
    dirs.push_back((bin.parent_path() / "share" / "corvex").string());
    const std::string installed = (bin / CORVEX_DATA_DIR_FROM_BIN).lexically_normal().string();
    if (installed != dirs.front())
        dirs.push_back(installed);
    return dirs;
}

// A data file named on the command line: `name` itself when it is a file or
// names a folder (a path is taken as the user wrote it), otherwise the first
// <data>/<kind>/<name> or <data>/<kind>/<name><extension> that is a file
// ("--load-fxp 03-Crunch-Rhythm", "--cab corvex-4x12"). Answers `name`
// unchanged when nothing matches, so the caller's error names what was given.
inline std::string findDataFile(const std::string& exe, const std::string& kind, const std::string& name,
                                const std::string& extension) {
    std::error_code ec;
    if (name.empty() || name == "-" || std::filesystem::exists(name, ec))
        return name;
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        return name;
    for (const std::string& dir : dataDirs(exe)) {
        for (const std::string& candidate : {name, name + extension}) {
            const std::filesystem::path path = std::filesystem::path(dir) / kind / candidate;
            if (std::filesystem::is_regular_file(path, ec))
                return path.string();
        }
    }
    return name;
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
