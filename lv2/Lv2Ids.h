// The names the LV2 bundle is known by, and the port layout shared by the
// description generator, the DSP library and the UI library.
#pragma once

#include <cstdint>

#include "model/AmpEngine.h"

namespace corvex_lv2 {

#define CORVEX_LV2_URI "https://ardex-plugins.example/corvex"
constexpr const char* kPluginUri = CORVEX_LV2_URI;
constexpr const char* kUiUri = CORVEX_LV2_URI "#ui";
// The state property holding the engine's state (the bank and the current
// program). Sessions of every build name it so.
constexpr const char* kStateBankKey = CORVEX_LV2_URI "#bank";

constexpr const char* kDspBinary = "Corvex.so";
constexpr const char* kUiBinary = "CorvexUI.so";

// Control ports 0..12 are the effect's parameters, by the same index; the
// audio ports follow. Ports 17..29 report the values the amp is using, by
// the same order: after a Channel change or a restored state they differ
// from what the host's own ports hold, and the UI reads them there.
constexpr uint32_t kNumControls = static_cast<uint32_t>(corvex::AmpEngine::kParameterCount);
constexpr uint32_t kAudioIn0 = 13;
constexpr uint32_t kAudioIn1 = 14;
constexpr uint32_t kAudioOut0 = 15;
constexpr uint32_t kAudioOut1 = 16;
constexpr uint32_t kFirstActual = 17;
constexpr uint32_t kNumPorts = kFirstActual + kNumControls;

}  // namespace corvex_lv2
