// The few operating-system services the command-line host needs, behind one
// small interface: loading a plug-in library and finding a symbol in it, the
// path of the running executable, and whether stderr is a terminal. One
// implementation per platform (HostPlatformPosix.cpp, HostPlatformWin32.cpp).
#pragma once

#include <memory>
#include <string>

namespace hostplatform {

// A loaded dynamic library; unloaded when the object goes away.
class Library {
public:
    virtual ~Library() = default;
    // Address of an exported symbol, or null when the library has none.
    virtual void* symbol(const char* name) = 0;
};

// Loads the library at `path`. On failure answers null and puts the system's
// reason in `error`.
std::unique_ptr<Library> loadLibrary(const std::string& path, std::string& error);

// Full path of the running executable, or an empty string if unknown.
std::string executablePath();

// The file name a plug-in library has on this platform ("Corvex.so").
std::string pluginFileName(const std::string& baseName);

bool stderrIsTerminal();

}  // namespace hostplatform
