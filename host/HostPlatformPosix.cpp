// POSIX services of the host: dlopen/dlsym, /proc/self/exe, isatty.
#include "host/HostPlatform.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <vector>

namespace hostplatform {

namespace {

class PosixLibrary : public Library {
public:
    explicit PosixLibrary(void* handle) : handle(handle) {}
    ~PosixLibrary() override { dlclose(handle); }
    void* symbol(const char* name) override { return dlsym(handle, name); }

private:
    void* handle;
};

}  // namespace

std::unique_ptr<Library> loadLibrary(const std::string& path, std::string& error) {
    // A path without a slash would make dlopen search the library path.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* handle = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown loader error";
        return nullptr;
    }
    return std::make_unique<PosixLibrary>(handle);
}

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return std::string();
    return std::string(buffer.data(), (size_t)n);
}

std::string pluginFileName(const std::string& baseName) { return baseName + ".so"; }

bool stderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

}  // namespace hostplatform
