// The saved state of the amp: the ten programs in their chunk layout (both
// channels of each) and the current program. One layout, versioned, written
// by every plug-in format; the reader also takes the layouts earlier CLAP
// and LV2 builds wrote, so their sessions keep loading.
//
// Layout (little-endian), 2104 bytes:
//   0   8  "CRVXAMPS"
//   8   4  version, 2
//   12  4  current program, 0..9
//   16  4  number of programs, 10
//   20  4  bytes per program, 208
//   24     the ten program records back to back (2080 bytes)
// Earlier layouts read: "CRVXCLAP", version 1, current program, bank bytes
// (20-byte header); "CVXB", version 1, current program, bank bytes (16).
//
// Pure functions on plain bytes: any thread, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/Programs.h"

namespace corvex {

struct StateContents {
    unsigned char bank[kBankChunkSize];
    uint32_t currentProgram;
};

constexpr uint32_t kStateVersion = 2;
constexpr std::size_t kStateHeaderSize = 24;
constexpr std::size_t kStateBytes = kStateHeaderSize + kBankChunkSize;

// Writes the state; answers kStateBytes, or 0 (nothing written) when
// `capacity` is smaller.
std::size_t writeState(const StateContents& contents, unsigned char* out, std::size_t capacity);

// Reads a state of the current or an earlier layout. Refused (false,
// `contents` untouched): a null pointer, a size other than the layout's, an
// unknown marker or version, a program index outside 0..9, and any value of
// any program (the thirteen parameter fields and both channels' eight) that
// is NaN, infinite or outside 0..1. The names and the alignment gap are
// taken as they are.
bool readState(const void* data, std::size_t size, StateContents& contents);

}  // namespace corvex
