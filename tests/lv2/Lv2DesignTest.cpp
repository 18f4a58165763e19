// The quality switch during playback, through the LV2 plug-in: run() never
// designs a filter or a stage (the designs for both positions are made when
// the rate is set, and a switch only copies one in), and the switch costs
// no more than one block of silence.
//
// The plug-in's adapter is linked into this program with the engine, and
// the linker routes the amp model's design entry points through counters
// here (-Wl,--wrap, see CMakeLists.txt), which note the thread they run on.
#include <gtest/gtest.h>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/lv2/Lv2SavedState.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {
thread_local bool inRun = false;
std::atomic<int> designsInRun{0};
std::atomic<int> designsElsewhere{0};

void count() {
    (inRun ? designsInRun : designsElsewhere).fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// The wrapped entry points: AmpModel::design(float, int),
// AmpModel::designStages(), AmpModel::prepare(Design&, const AmpModel&,
// float, int), designAmpSideFilters(AmpSide&, double) and
// designAmpSideStages(AmpSide&, AmpSideKind, double).
extern "C" {
void __real__ZN8AmpModel6designEfi(void* self, float rate, int quality);
void __wrap__ZN8AmpModel6designEfi(void* self, float rate, int quality) {
    count();
    __real__ZN8AmpModel6designEfi(self, rate, quality);
}
void __real__ZN8AmpModel12designStagesEv(void* self);
void __wrap__ZN8AmpModel12designStagesEv(void* self) {
    count();
    __real__ZN8AmpModel12designStagesEv(self);
}
void __real__ZN8AmpModel7prepareERNS_6DesignERKS_fi(void* design, const void* stageTemplate, float rate, int quality);
void __wrap__ZN8AmpModel7prepareERNS_6DesignERKS_fi(void* design, const void* stageTemplate, float rate, int quality) {
    count();
    __real__ZN8AmpModel7prepareERNS_6DesignERKS_fi(design, stageTemplate, rate, quality);
}
void __real__Z20designAmpSideFiltersR7AmpSided(void* side, double rate);
void __wrap__Z20designAmpSideFiltersR7AmpSided(void* side, double rate) {
    count();
    __real__Z20designAmpSideFiltersR7AmpSided(side, rate);
}
void __real__Z19designAmpSideStagesR7AmpSide11AmpSideKindd(void* side, int kind, double rate);
void __wrap__Z19designAmpSideStagesR7AmpSide11AmpSideKindd(void* side, int kind, double rate) {
    count();
    __real__Z19designAmpSideStagesR7AmpSide11AmpSideKindd(side, kind, rate);
}
}

namespace {

constexpr uint32_t kQuality = 11;
constexpr uint32_t kFrames = 512;

class UridMapper {
public:
    UridMapper() {
        map.handle = this;
        map.map = [](LV2_URID_Map_Handle h, const char* uri) {
            auto* self = static_cast<UridMapper*>(h);
            auto found = self->ids.find(uri);
            if (found != self->ids.end())
                return found->second;
            const LV2_URID id = static_cast<LV2_URID>(self->ids.size() + 1);
            self->ids[uri] = id;
            return id;
        };
        feature = {LV2_URID__map, &map};
        features[0] = &feature;
        features[1] = nullptr;
    }
    LV2_URID_Map map;
    LV2_Feature feature;
    const LV2_Feature* features[2];
    std::map<std::string, LV2_URID> ids;
};

// One instance of the linked-in adapter, its ports at their defaults.
struct Amp {
    explicit Amp(UridMapper& urids) : descriptor(lv2_descriptor(0)) {
        handle = descriptor ? descriptor->instantiate(descriptor, 48000.0, "", urids.features) : nullptr;
        if (!handle)
            return;
        for (uint32_t i = 0; i < 13; ++i) {
            controls[i] = corvex::kParameterTable[i].defaultValue;
            descriptor->connect_port(handle, i, &controls[i]);
        }
        descriptor->connect_port(handle, 13, in[0]);
        descriptor->connect_port(handle, 14, in[1]);
        descriptor->connect_port(handle, 15, out[0]);
        descriptor->connect_port(handle, 16, out[1]);
        for (uint32_t i = 0; i < 13; ++i)
            descriptor->connect_port(handle, 17 + i, &actual[i]);
        descriptor->activate(handle);
        state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    }
    ~Amp() {
        if (handle) {
            descriptor->deactivate(handle);
            descriptor->cleanup(handle);
        }
    }
    // A block of a 110 Hz sine at 48 kHz, counted as the audio thread's.
    void run() {
        for (uint32_t i = 0; i < kFrames; ++i)
            in[0][i] = in[1][i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * 110.0 * (sample + i) / 48000.0));
        sample += kFrames;
        inRun = true;
        descriptor->run(handle, kFrames);
        inRun = false;
    }
    const LV2_Descriptor* descriptor;
    LV2_Handle handle = nullptr;
    const LV2_State_Interface* state = nullptr;
    float controls[13] = {};
    float actual[13] = {};  // what the amp uses
    float in[2][kFrames] = {};
    float out[2][kFrames] = {};
    uint64_t sample = 0;
};

TEST(Lv2Design, AQualitySwitchDuringPlaybackDesignsNothingInRunAndCostsAtMostOneBlock) {
    UridMapper urids;
    Amp amp(urids);
    ASSERT_NE(amp.handle, nullptr);
    EXPECT_GT(designsElsewhere.load(), 0) << "the design counters are not in the path (link options)";
    for (int b = 0; b < 8; ++b)
        amp.run();
    designsInRun = 0;
    int zeros = 0, longestSilence = 0, blocks = 0;
    for (int flip = 0; flip < 12; ++flip) {
        amp.controls[kQuality] = static_cast<float>(flip % 2 == 0 ? 1 : 0);
        for (int b = 0; b < 4; ++b, ++blocks) {
            amp.run();
            EXPECT_EQ(amp.actual[kQuality], amp.controls[kQuality]) << "flip " << flip;
            for (uint32_t i = 0; i < kFrames; ++i) {
                zeros = amp.out[0][i] == 0.0f ? zeros + 1 : 0;
                longestSilence = std::max(longestSilence, zeros);
            }
        }
    }
    EXPECT_EQ(designsInRun.load(), 0) << "run() designed the amp";
    EXPECT_LE(longestSilence, static_cast<int>(kFrames)) << "silence longer than one block over " << blocks
                                                         << " blocks";
}

TEST(Lv2Design, AStateInTheOtherQualityIsTakenByRunWithoutADesign) {
    UridMapper urids;
    Amp amp(urids);
    ASSERT_NE(amp.handle, nullptr);
    ASSERT_NE(amp.state, nullptr);
    amp.run();
    // The current bank with its current program in HighQ, restored while
    // audio runs (some hosts do).
    SavedBank bank;
    {
        std::vector<unsigned char> saved;
        auto store = [](LV2_State_Handle h, uint32_t, const void* value, size_t size, uint32_t, uint32_t) {
            const auto* bytes = static_cast<const unsigned char*>(value);
            static_cast<std::vector<unsigned char>*>(h)->assign(bytes, bytes + size);
            return LV2_STATE_SUCCESS;
        };
        ASSERT_EQ(amp.state->save(amp.handle, store, &saved, 0, urids.features), LV2_STATE_SUCCESS);
        ASSERT_TRUE(readSavedState(saved, bank));
    }
    bank.programs[bank.current].quality = 1.0f;
    std::vector<unsigned char> highQ = legacyBlob(bank.programs, bank.current);
    struct Offer {
        std::vector<unsigned char>* bytes;
        LV2_URID type;
    } offer{&highQ, urids.map.map(urids.map.handle, LV2_ATOM__Chunk)};
    auto retrieve = [](LV2_State_Handle h, uint32_t, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
        auto* o = static_cast<Offer*>(h);
        *size = o->bytes->size();
        *type = o->type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return o->bytes->data();
    };
    designsInRun = 0;
    ASSERT_EQ(amp.state->restore(amp.handle, retrieve, &offer, 0, urids.features), LV2_STATE_SUCCESS);
    for (int b = 0; b < 4; ++b)
        amp.run();
    EXPECT_EQ(amp.actual[kQuality], 1.0f) << "the restored program's quality is in use";
    EXPECT_EQ(designsInRun.load(), 0) << "run() designed the amp for the restored state";
}

}  // namespace
