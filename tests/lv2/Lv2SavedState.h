// What an LV2 state blob holds, read back through the amp engine (whatever
// layout the plug-in saved it in), and the legacy "CVXB" layout that LV2
// builds before the engine wrote, for tests that craft such blobs.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "model/AmpEngine.h"
#include "model/Programs.h"

struct SavedBank {
    CorvexProgram programs[kNumCorvexPrograms];
    uint32_t current = 99;
    const CorvexProgram& currentProgram() const { return programs[current % kNumCorvexPrograms]; }
};

// False when the engine refuses the blob.
inline bool readSavedState(const std::vector<unsigned char>& blob, SavedBank& out) {
    auto engine = std::make_unique<corvex::AmpEngine>();
    if (!engine->loadState(blob.data(), blob.size()))
        return false;
    engine->flush();
    std::memcpy(out.programs, engine->programRecords(), sizeof out.programs);
    out.current = static_cast<uint32_t>(engine->currentProgram());
    return true;
}

// "CVXB", layout 1, the current program, the bank size, then the bank; all
// little-endian.
constexpr std::size_t kLegacyHeaderSize = 16;

inline std::vector<unsigned char> legacyBlob(const CorvexProgram* bank, uint32_t current) {
    std::vector<unsigned char> blob(kLegacyHeaderSize + kBankChunkSize);
    const uint32_t fields[4] = {0x42585643u /* "CVXB" */, 1u, current, static_cast<uint32_t>(kBankChunkSize)};
    for (int f = 0; f < 4; ++f)
        for (int b = 0; b < 4; ++b)
            blob[4 * f + b] = static_cast<unsigned char>(fields[f] >> (8 * b));
    std::memcpy(blob.data() + kLegacyHeaderSize, bank, kBankChunkSize);
    return blob;
}
