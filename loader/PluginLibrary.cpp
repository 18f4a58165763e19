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

#if defined(_WIN32)
// Paths arrive as UTF-8 (as the hosts' command lines hand them on), so the
// wide LoadLibrary is used: the ANSI one would garble any non-ASCII name.
std::wstring widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

// The system's own words for a failure, in UTF-8, without the trailing line
// break FormatMessage adds.
std::string systemMessage(DWORD code) {
    wchar_t* message = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, (LPWSTR)&message, 0, nullptr);
    std::string text;
    if (n != 0) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, message, (int)n, nullptr, 0, nullptr, nullptr);
        text.assign((size_t)size, '\0');
        WideCharToMultiByte(CP_UTF8, 0, message, (int)n, &text[0], size, nullptr, nullptr);
    } else {
        text = "LoadLibrary failed with error " + std::to_string((unsigned long)code);
    }
    if (message)
        LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}
#endif

}  // namespace

bool PluginLibrary::open(const std::string& path, std::string& error) {
    close();
    const std::string target = withDirectory(path);
#if defined(_WIN32)
    handle = LoadLibraryW(widen(target).c_str());
    if (!handle)
        error = systemMessage(GetLastError());
#else
    dlerror();  // a stale message from an earlier call must not be reported
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
