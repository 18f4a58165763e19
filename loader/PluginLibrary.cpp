#include "loader/PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvex {

namespace {

// A bare file name would make the system search its library path and
// perhaps load some other copy.
std::string withDirectory(const std::string& path) {
#if defined(_WIN32)
    const bool hasDirectory = path.find_first_of("/\\:") != std::string::npos;
#else
    const bool hasDirectory = path.find('/') != std::string::npos;
#endif
    return hasDirectory ? path : "./" + path;
}

}  // namespace

bool PluginLibrary::open(const std::string& path, std::string& error) {
    close();
    const std::string target = withDirectory(path);
#if defined(_WIN32)
    handle = LoadLibraryA(target.c_str());
    if (!handle)
        error = "LoadLibrary failed with error " + std::to_string(GetLastError());
#else
    handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "dlopen failed";
    }
#endif
    return handle != nullptr;
}

PluginEntryProc PluginLibrary::symbol(const char* name) const {
    if (!handle || !name)
        return nullptr;
#if defined(_WIN32)
    // Through a plain function pointer: FARPROC's own signature has nothing
    // to do with ours.
    return reinterpret_cast<PluginEntryProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(handle), name)));
#else
    return reinterpret_cast<PluginEntryProc>(dlsym(handle, name));
#endif
}

PluginEntryProc PluginLibrary::entry() const {
    PluginEntryProc proc = symbol("VSTPluginMain");
    return proc ? proc : symbol("main");
}

bool PluginLibrary::close() {
    if (!handle)
        return true;
#if defined(_WIN32)
    const bool ok = FreeLibrary(static_cast<HMODULE>(handle)) != 0;
#else
    const bool ok = dlclose(handle) == 0;
#endif
    handle = nullptr;
    return ok;
}

}  // namespace corvex
