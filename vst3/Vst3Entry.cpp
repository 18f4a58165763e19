// The module's exports and its plug-in factory with one class: the amp, a
// component that is its own edit controller (see Vst3Effect.h for why).
//   GetPluginFactory            every platform
//   ModuleEntry / ModuleExit    Linux (the host passes the library's handle)
//   InitDll / ExitDll           Windows
// All of them are called on the host's main thread.
#include <cstring>
#include <new>

#include "vst3/Vst3Abi.h"
#include "vst3/Vst3Effect.h"
#include "vst3/Vst3Ids.h"

#if defined(_WIN32)
#define CORVEX_V3_EXPORT extern "C" __declspec(dllexport)
#else
#define CORVEX_V3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace v3;

void copyText(char* to, const char* from, size_t capacity) {
    std::strncpy(to, from, capacity - 1);
    to[capacity - 1] = 0;
}

void copyText16(char16* to, const char* from, size_t capacity) {
    size_t i = 0;
    for (; i + 1 < capacity && from[i]; ++i)
        to[i] = static_cast<unsigned char>(from[i]);  // our strings are ASCII
    to[i] = 0;
}

// The factory is one static object: its reference count only counts.
class Factory : public IPluginFactory3 {
public:
    tresult V3_CALL queryInterface(const TUID iid, void** obj) override {
        if (!obj)
            return kInvalidArgument;
        if (iid::FUnknown.equals(iid) || iid::IPluginFactory.equals(iid) || iid::IPluginFactory2.equals(iid) ||
            iid::IPluginFactory3.equals(iid)) {
            addRef();
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 V3_CALL addRef() override { return 1; }
    uint32 V3_CALL release() override { return 1; }

    tresult V3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (!info)
            return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        copyText(info->vendor, corvex::vst3::kVendor, sizeof(info->vendor));
        copyText(info->url, corvex::vst3::kVendorUrl, sizeof(info->url));
        copyText(info->email, corvex::vst3::kVendorEmail, sizeof(info->email));
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 V3_CALL countClasses() override { return 1; }
    tresult V3_CALL getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0 || !info)
            return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        std::memcpy(info->cid, corvex::vst3::kComponentCid.bytes, sizeof(TUID));
        info->cardinality = PClassInfo::kManyInstances;
        copyText(info->category, kAudioEffectClass, sizeof(info->category));
        copyText(info->name, corvex::vst3::kClassName, sizeof(info->name));
        return kResultOk;
    }
    tresult V3_CALL createInstance(FIDString cid, FIDString iidWanted, void** obj) override {
        if (!obj)
            return kInvalidArgument;
        *obj = nullptr;
        if (!cid || !iidWanted || !corvex::vst3::kComponentCid.equals(cid))
            return kNoInterface;
        Vst3Effect* effect = new (std::nothrow) Vst3Effect();
        if (!effect)
            return kOutOfMemory;
        // The new object holds one reference; queryInterface adds the
        // caller's, and our own is given up either way.
        const tresult result = effect->queryInterface(iidWanted, obj);
        effect->release();
        return result;
    }
    tresult V3_CALL getClassInfo2(int32 index, PClassInfo2* info) override {
        if (index != 0 || !info)
            return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        std::memcpy(info->cid, corvex::vst3::kComponentCid.bytes, sizeof(TUID));
        info->cardinality = PClassInfo::kManyInstances;
        copyText(info->category, kAudioEffectClass, sizeof(info->category));
        copyText(info->name, corvex::vst3::kClassName, sizeof(info->name));
        info->classFlags = 0;  // one object: not distributable
        copyText(info->subCategories, corvex::vst3::kSubCategories, sizeof(info->subCategories));
        copyText(info->vendor, corvex::vst3::kVendor, sizeof(info->vendor));
        copyText(info->version, corvex::vst3::kVersion, sizeof(info->version));
        copyText(info->sdkVersion, corvex::vst3::kInterfaceVersion, sizeof(info->sdkVersion));
        return kResultOk;
    }
    tresult V3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        if (index != 0 || !info)
            return kInvalidArgument;
        std::memset(info, 0, sizeof(*info));
        std::memcpy(info->cid, corvex::vst3::kComponentCid.bytes, sizeof(TUID));
        info->cardinality = PClassInfo::kManyInstances;
        copyText(info->category, kAudioEffectClass, sizeof(info->category));
        copyText16(info->name, corvex::vst3::kClassName, 64);
        info->classFlags = 0;
        copyText(info->subCategories, corvex::vst3::kSubCategories, sizeof(info->subCategories));
        copyText16(info->vendor, corvex::vst3::kVendor, 64);
        copyText16(info->version, corvex::vst3::kVersion, 64);
        copyText16(info->sdkVersion, corvex::vst3::kInterfaceVersion, 64);
        return kResultOk;
    }
    // The context is the host application; nothing here needs it (the
    // instances get theirs in initialize).
    tresult V3_CALL setHostContext(FUnknown*) override { return kResultOk; }
};

Factory factory;

}  // namespace

// Hosts call these with no arguments, so the convention does not matter.
CORVEX_V3_EXPORT IPluginFactory* GetPluginFactory() {
    factory.addRef();
    return &factory;
}

#if defined(_WIN32)
CORVEX_V3_EXPORT bool InitDll() {
    return true;
}
CORVEX_V3_EXPORT bool ExitDll() {
    return true;
}
#else
CORVEX_V3_EXPORT bool ModuleEntry(void*) {
    return true;
}
CORVEX_V3_EXPORT bool ModuleExit() {
    return true;
}
#endif
