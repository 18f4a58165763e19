// The names the rig's LV2 bundle (CorvexRig.lv2) is known by, and its port
// layout, shared by the description generator and the DSP library.
#pragma once

#include <cstdint>

namespace corvex_rig_lv2 {

#define CORVEX_RIG_LV2_URI "https://ardex-plugins.example/corvex-rig"
constexpr const char* kPluginUri = CORVEX_RIG_LV2_URI;
// The user's impulse, a parameter of type atom:Path (patch:Set / patch:Get).
constexpr const char* kImpulseUri = CORVEX_RIG_LV2_URI "#impulse";
// The state property holding the rig's whole state (impulse samples too).
constexpr const char* kStateKey = CORVEX_RIG_LV2_URI "#state";
constexpr const char* kDspBinary = "CorvexRig.so";
// The rig's panel, an X11 UI in a library of its own.
constexpr const char* kUiUri = CORVEX_RIG_LV2_URI "#ui";
constexpr const char* kUiBinary = "CorvexRigUi.so";

// Control ports 0..18 are the rig's parameters by the same index (0..1).
constexpr uint32_t kNumControls = 19;
constexpr uint32_t kAudioIn0 = 19;
constexpr uint32_t kAudioIn1 = 20;
constexpr uint32_t kAudioOut0 = 21;
constexpr uint32_t kAudioOut1 = 22;
constexpr uint32_t kControlIn = 23;   // atom sequence: patch messages in
constexpr uint32_t kNotifyOut = 24;   // atom sequence: patch messages out
constexpr uint32_t kLatencyOut = 25;  // lv2:reportsLatency
constexpr uint32_t kInputPeak = 26;   // meters: highest |sample| of the block
constexpr uint32_t kOutputPeak = 27;
constexpr uint32_t kGateClosed = 28;  // 1 while the gate is closed
constexpr uint32_t kNumPorts = 29;

}  // namespace corvex_rig_lv2
