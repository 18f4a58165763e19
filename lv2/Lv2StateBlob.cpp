#include "lv2/Lv2StateBlob.h"

#include <cstring>

namespace corvex_lv2 {

namespace {

const unsigned char kMagic[4] = {'C', 'V', 'X', 'B'};

void putU32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getU32(const unsigned char* at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(at[i]) << (8 * i);
    return value;
}

}  // namespace

void encodeState(StateBlob& blob, const void* bank, uint32_t currentProgram) {
    std::memcpy(blob.bytes, kMagic, 4);
    putU32(blob.bytes + 4, kStateVersion);
    putU32(blob.bytes + 8, currentProgram);
    putU32(blob.bytes + 12, static_cast<uint32_t>(kBankChunkSize));
    std::memcpy(blob.bytes + kStateHeaderSize, bank, kBankChunkSize);
}

bool decodeState(const void* data, std::size_t size, const unsigned char*& bank, uint32_t& currentProgram) {
    if (!data || size != kStateBlobSize)
        return false;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (std::memcmp(bytes, kMagic, 4) != 0 || getU32(bytes + 4) != kStateVersion ||
        getU32(bytes + 12) != kBankChunkSize)
        return false;
    const uint32_t program = getU32(bytes + 8);
    if (program >= static_cast<uint32_t>(kNumCorvexPrograms))
        return false;
    bank = bytes + kStateHeaderSize;
    currentProgram = program;
    return true;
}

}  // namespace corvex_lv2
