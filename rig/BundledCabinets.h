// The rig's bundled speaker cabinets. The first is the 4x12 the render and
// live hosts use (resources/cabinet/corvex-4x12.wav, compiled in); the others
// are designed here, the same way tools/cabinet/make_cabinet_ir.py designs
// the 4x12: a sealed or open box's low resonance, the cone's presence and
// break-up, its roll-off, minimum phase (a cascade of second-order sections),
// a few darker early reflections, a short fade, and the loudest frequency at
// 0 dB. None is a measurement of any real cabinet. Control threads only.
#pragma once

#include <string>

#include "cabinet/ImpulseResponse.h"

namespace corvex {

// Names shown in hosts and on the panel; index = the model.
const char* bundledCabinetName(int model);
// The response of bundled cabinet `model` at its design rate (48 kHz).
bool bundledCabinet(int model, cabinet::ImpulseResponse& out, std::string& error);

}  // namespace corvex
