// The VST3 identity of Corvex Rig: its class id (never to change: hosts
// store it in sessions), its name and categories, and the parameter ids
// beyond the engine's own.
#pragma once

#include "rig/RigEngine.h"
#include "vst3/Vst3Abi.h"

namespace corvex {
namespace rigvst3 {

// Written as four words; moduleinfo.json spells the same 32 hex digits.
constexpr v3::Uid kComponentCid = v3::makeUid(0x389745AB, 0x21D5456C, 0x8011B462, 0x76ACC22A);
constexpr char kClassName[] = "Corvex Rig";
constexpr char kSubCategories[] = "Fx|Distortion";

// Ids 0..18 are the engine's parameters by index (the head's thirteen, then
// the rig's six); then the bypass and the program list's parameter.
constexpr v3::ParamID kBypassId = RigEngine::kParameterCount;
constexpr v3::ParamID kProgramId = kBypassId + 1;
constexpr int kParamCount = static_cast<int>(kProgramId) + 1;
constexpr v3::ProgramListID kProgramListId = 1;

}  // namespace rigvst3
}  // namespace corvex
