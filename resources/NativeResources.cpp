// On Windows the images are native resources (windres compiles corvex.rc into
// the DLL), so the lookup behind findEmbeddedResource reads them from there
// instead of from a generated table: from the plug-in DLL when the load hook
// has stored its module handle, otherwise from the running program, which is
// where the test programs carry the same resources.
#include "resources/EmbeddedResources.h"

#include <windows.h>

#include <cstring>

#include "common/ModuleHandle.h"

namespace corvex {

// Any thread: resource data stays mapped for as long as the module is loaded.
ResourceData findEmbeddedResource(const char* type, int id) {
    if (!type || id < 1 || id > 0xFFFF)
        return {nullptr, 0};
    HMODULE module = static_cast<HMODULE>(corvexModuleHandle());  // null: the program itself
    // BITMAP is the standard bitmap type; any other type is a named one ("PNG").
    LPCSTR resourceType = std::strcmp(type, "BITMAP") == 0 ? MAKEINTRESOURCEA(2) : type;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), resourceType);
    if (!info)
        return {nullptr, 0};
    HGLOBAL handle = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const void* bytes = handle ? LockResource(handle) : nullptr;
    if (!bytes || size == 0)
        return {nullptr, 0};
    return {static_cast<const unsigned char*>(bytes), static_cast<std::size_t>(size)};
}

}  // namespace corvex
