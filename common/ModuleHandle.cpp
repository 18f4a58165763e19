#include "common/ModuleHandle.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {
// Written once by the load hook before any other code of the library runs.
std::atomic<void*> moduleHandle{nullptr};
}  // namespace

void* corvexModuleHandle() {
    return moduleHandle.load(std::memory_order_acquire);
}

void setCorvexModuleHandle(void* handle) {
    moduleHandle.store(handle, std::memory_order_release);
}

#if defined(_WIN32)
// The library's one load hook, for every plug-in format built as a DLL: it
// keeps the module handle for the resource loader. (In a program it is never
// called: programs find their resources in themselves.)
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        setCorvexModuleHandle(instance);
    return TRUE;
}
#endif
