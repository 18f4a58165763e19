#include "common/ModuleHandle.h"

#include <atomic>

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
