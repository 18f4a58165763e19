#include "model/AmpState.h"

#include <cstring>

namespace corvex {

namespace {

const char kMarker[8] = {'C', 'R', 'V', 'X', 'A', 'M', 'P', 'S'};
const char kClapMarker[8] = {'C', 'R', 'V', 'X', 'C', 'L', 'A', 'P'};
const char kLv2Marker[4] = {'C', 'V', 'X', 'B'};
constexpr std::size_t kClapHeaderSize = 20;
constexpr std::size_t kLv2HeaderSize = 16;

// In a program record: the parameters' float32 fields from byte 24 to the
// gap at 76, both channels' float64 values from byte 80 to the end.
constexpr std::size_t kFloatsAt = offsetof(CorvexProgram, input);
constexpr std::size_t kFloatsEnd = offsetof(CorvexProgram, gap);
constexpr std::size_t kDoublesAt = offsetof(CorvexProgram, channelSettings);

void putU32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getU32(const unsigned char* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

// NaN fails both comparisons, infinities the range.
bool inRange(double value) {
    return value >= 0.0 && value <= 1.0;
}

bool bankValuesInRange(const unsigned char* bank) {
    for (int p = 0; p < kNumCorvexPrograms; ++p) {
        const unsigned char* record = bank + kProgramChunkSize * p;
        for (std::size_t at = kFloatsAt; at < kFloatsEnd; at += 4) {
            float value;
            std::memcpy(&value, record + at, sizeof(value));
            if (!inRange(value))
                return false;
        }
        for (std::size_t at = kDoublesAt; at < kProgramChunkSize; at += 8) {
            double value;
            std::memcpy(&value, record + at, sizeof(value));
            if (!inRange(value))
                return false;
        }
    }
    return true;
}

}  // namespace

std::size_t writeState(const StateContents& contents, unsigned char* out, std::size_t capacity) {
    if (!out || capacity < kStateBytes)
        return 0;
    std::memcpy(out, kMarker, sizeof(kMarker));
    putU32(out + 8, kStateVersion);
    putU32(out + 12, contents.currentProgram);
    putU32(out + 16, static_cast<uint32_t>(kNumCorvexPrograms));
    putU32(out + 20, static_cast<uint32_t>(kProgramChunkSize));
    std::memcpy(out + kStateHeaderSize, contents.bank, kBankChunkSize);
    return kStateBytes;
}

bool readState(const void* data, std::size_t size, StateContents& contents) {
    if (!data)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint32_t program = 0;
    const unsigned char* bank = nullptr;
    if (size == kStateBytes && std::memcmp(bytes, kMarker, sizeof(kMarker)) == 0) {
        if (getU32(bytes + 8) != kStateVersion || getU32(bytes + 16) != kNumCorvexPrograms ||
            getU32(bytes + 20) != kProgramChunkSize)
            return false;
        program = getU32(bytes + 12);
        bank = bytes + kStateHeaderSize;
    } else if (size == kClapHeaderSize + kBankChunkSize && std::memcmp(bytes, kClapMarker, sizeof(kClapMarker)) == 0) {
        if (getU32(bytes + 8) != 1 || getU32(bytes + 16) != kBankChunkSize)
            return false;
        program = getU32(bytes + 12);
        bank = bytes + kClapHeaderSize;
    } else if (size == kLv2HeaderSize + kBankChunkSize && std::memcmp(bytes, kLv2Marker, sizeof(kLv2Marker)) == 0) {
        if (getU32(bytes + 4) != 1 || getU32(bytes + 12) != kBankChunkSize)
            return false;
        program = getU32(bytes + 8);
        bank = bytes + kLv2HeaderSize;
    } else {
        return false;
    }
    if (program >= static_cast<uint32_t>(kNumCorvexPrograms) || !bankValuesInRange(bank))
        return false;
    std::memcpy(contents.bank, bank, kBankChunkSize);
    contents.currentProgram = program;
    return true;
}

}  // namespace corvex
