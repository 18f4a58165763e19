// The VST3 identity of the amp: its class id (never to change: hosts store
// it in sessions), the names and categories the factory reports, and the
// parameter ids beyond the effect's own thirteen.
#pragma once

#include "vst3/Vst3Abi.h"

namespace corvex {
namespace vst3 {

// Written as four words; moduleinfo.json spells the same 32 hex digits.
constexpr v3::Uid kComponentCid = v3::makeUid(0x1C63CDA6, 0xCC4946BC, 0x98BA574F, 0x3185125A);
#define CORVEX_VST3_CID_TEXT "1C63CDA6CC4946BC98BA574F3185125A"

constexpr char kClassName[] = "Vantor_Corvex_Head_v1_0";
constexpr char kVendor[] = "Ardex Plugins";
constexpr char kVendorUrl[] = "";
constexpr char kVendorEmail[] = "";
constexpr char kVersion[] = "1.0.0";
constexpr char kSubCategories[] = "Fx|Distortion";
// The interface revision these declarations follow.
constexpr char kInterfaceVersion[] = "VST 3.7.0";

}  // namespace vst3
}  // namespace corvex
