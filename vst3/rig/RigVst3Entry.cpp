// Corvex Rig's module (CorvexRig.vst3): its factory with one class, the rig,
// a component that is its own edit controller. The exports are the same as
// the head's module's (vst3/Vst3Exports.cpp).
#include <new>

#include "vst3/Vst3Shared.h"
#include "vst3/rig/RigVst3Effect.h"
#include "vst3/rig/RigVst3Ids.h"

namespace {

v3::FUnknown* createRig() {
    try {
        return static_cast<v3::IComponent*>(new RigVst3Effect());
    } catch (...) {
        return nullptr;  // out of memory: the factory says so
    }
}

}  // namespace

corvex::vst3::Factory& corvex::vst3::moduleFactory() {
    static Factory factory({rigvst3::kComponentCid, rigvst3::kClassName, rigvst3::kSubCategories, &createRig});
    return factory;
}
