// The rig's factory bank: the head's ten factory programs (amp settings and
// names, resources/presets/Corvex-factory.fxb, compiled in), each with the
// rig's own values: gate, cabinet, trim and master. The trims level the
// programs through their cabinets to one loudness, as the head's bank is
// levelled (tests/rig checks it).
#pragma once

#include <cstddef>
#include <string>

namespace corvex {

struct RigProgramValues {
    float gateThreshold, gateRelease, cabinetOn, cabinetModel, cabinetTrim, master;
};

// The head's bank chunk: ten program records, kBankChunkSize bytes.
const void* rigFactoryHeadBank();
// Factory program `index`'s name (0..9; others give program 0's): its amp
// record's name field up to the first zero.
std::string rigFactoryProgramName(int index);
// Program `index`'s rig values (0..9; others give program 0's).
const RigProgramValues& rigFactoryValues(int index);

// The amp's state `state` (AmpEngine::saveState) with its current program's
// record replaced by factory program `factory`'s, written to `out`; answers
// its size and the current program's index in `current`, or 0 when the
// state cannot be read, `factory` is outside 0..9 or `out` is too small.
std::size_t withFactoryProgram(const void* state, std::size_t size, int factory, unsigned char* out,
                               std::size_t capacity, int& current);

}  // namespace corvex
