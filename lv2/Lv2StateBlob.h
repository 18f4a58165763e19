// The blob the LV2 state carries: the whole bank of ten programs (the
// 2080-byte chunk the VST 2.4 build gives its host) and the current
// program's index, behind a small versioned header so that a blob from a
// later layout, or anything else, is recognised and refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/Programs.h"

namespace corvex_lv2 {

// Layout, little-endian: "CVXB", format version (uint32), current program
// (uint32), bank size (uint32), then the bank.
constexpr uint32_t kStateVersion = 1;
constexpr std::size_t kStateHeaderSize = 16;
constexpr std::size_t kStateBlobSize = kStateHeaderSize + kBankChunkSize;

struct StateBlob {
    unsigned char bytes[kStateBlobSize];
};

// Any thread: fills `blob` from a bank of kBankChunkSize bytes.
void encodeState(StateBlob& blob, const void* bank, uint32_t currentProgram);

// Any thread: checks a blob from outside. True when it is exactly our
// layout and version with a program index 0..9; then `bank` points into
// `data` and `currentProgram` holds the index. False leaves both alone.
bool decodeState(const void* data, std::size_t size, const unsigned char*& bank, uint32_t& currentProgram);

}  // namespace corvex_lv2
