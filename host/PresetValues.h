// The values inside a parsed preset file, checked before any of them reaches
// the plug-in. One rule for both hosts (corvex-render and corvex-live) and
// for every program and both channels of the amp's records, selected or not:
// a value must be a finite number from 0 to 1. Anything else is refused with
// the program, the channel (where the value belongs to one) and the
// parameter named, or, only when the user asks for it, repaired.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/PresetFile.h"

namespace presetvalues {

// The amp's unique id: its chunks are records of a layout this host knows,
// so the values inside them (both channels' included) can be checked.
constexpr int32_t ampUniqueId = ('C' << 24) | ('R' << 16) | ('V' << 8) | 'X';

// A parameter's name by index, as the plug-in gives it.
using ParameterNames = std::function<std::string(int)>;

enum class Repair {
    none,   // any bad value refuses the file
    clamp,  // values outside 0 to 1 become the nearest end; non-finite ones still refuse it
};

// Checks (and with Repair::clamp mends) every value `file` holds that this
// host can see: the parameter lists of 'FxCk' programs and banks, and the
// records of the amp's chunks. Opaque chunks of other plug-ins pass; their
// values are checked in the plug-in after loading (checkPresetValues).
// `repaired` counts the values mended. False with the first bad value named.
bool checkFileValues(presetfile::PresetFile& file, const ParameterNames& names, Repair repair, int& repaired,
                     std::string& error);

// One value: empty when it is finite and within 0 to 1, else how it is not
// ("NaN", "infinity", "1e+30, outside 0 to 1").
std::string valueFault(double value);

}  // namespace presetvalues
