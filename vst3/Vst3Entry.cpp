// The head's module: its factory with one class, the amp, a component that
// is its own edit controller (see Vst3Effect.h for why). The exports are
// Vst3Exports.cpp's.
#include <new>

#include "vst3/Vst3Abi.h"
#include "vst3/Vst3Effect.h"
#include "vst3/Vst3Ids.h"
#include "vst3/Vst3Shared.h"

namespace {

v3::FUnknown* createEffect() {
    Vst3Effect* effect = new (std::nothrow) Vst3Effect();
    return effect ? static_cast<v3::IComponent*>(effect) : nullptr;
}

}  // namespace

corvex::vst3::Factory& corvex::vst3::moduleFactory() {
    static Factory factory({kComponentCid, kClassName, kSubCategories, &createEffect});
    return factory;
}
