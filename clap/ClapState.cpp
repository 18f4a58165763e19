// The state extension. What is saved is the effect's own bank chunk (ten
// 208-byte program records, which carry both channels of every program) and
// the current program, behind a small versioned header, so a state moves
// between the VST 2.4 and CLAP builds without losing anything.
#include <cmath>
#include <cstring>

#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace clapstate {

namespace {

const char kMarker[8] = {'C', 'R', 'V', 'X', 'C', 'L', 'A', 'P'};
constexpr std::size_t kProgramSize = kBankSize / kNumPrograms;
// In a program record: a float32 per parameter from byte 24, 16 float64 from byte 80.
constexpr std::size_t kFloatsAt = 24, kFloatCount = ClapPlugin::kNumParams, kDoublesAt = 80, kDoubleCount = 16;
static_assert(kFloatsAt + 4 * kFloatCount <= kDoublesAt, "the parameters overrun the record's doubles");

void putU32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getU32(const unsigned char* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

}  // namespace

void write(const unsigned char* bank, uint32_t currentProgram, unsigned char* out) {
    std::memcpy(out, kMarker, sizeof(kMarker));
    putU32(out + 8, kVersion);
    putU32(out + 12, currentProgram);
    putU32(out + 16, static_cast<uint32_t>(kBankSize));
    std::memcpy(out + kHeaderSize, bank, kBankSize);
}

bool validate(const unsigned char* blob, std::size_t size, uint32_t& currentProgram) {
    if (!blob || size != kStateSize || std::memcmp(blob, kMarker, sizeof(kMarker)) != 0)
        return false;
    if (getU32(blob + 8) != kVersion || getU32(blob + 16) != kBankSize)
        return false;
    const uint32_t program = getU32(blob + 12);
    if (program >= static_cast<uint32_t>(kNumPrograms))
        return false;
    // Values above 1.0 are the effect's to keep; a NaN or an infinity is not
    // a setting anybody made.
    for (int p = 0; p < kNumPrograms; ++p) {
        const unsigned char* record = blob + kHeaderSize + p * kProgramSize;
        for (std::size_t i = 0; i < kFloatCount; ++i) {
            float value;
            std::memcpy(&value, record + kFloatsAt + 4 * i, sizeof(value));
            if (!std::isfinite(value))
                return false;
        }
        for (std::size_t i = 0; i < kDoubleCount; ++i) {
            double value;
            std::memcpy(&value, record + kDoublesAt + 8 * i, sizeof(value));
            if (!std::isfinite(value))
                return false;
        }
    }
    currentProgram = program;
    return true;
}

}  // namespace clapstate

namespace {

// Main thread.
bool CLAP_CALL stateSave(const clap_plugin* p, const clap_ostream* stream) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect() || !stream || !stream->write || !self->onMainThread())
        return false;
    void* bank = nullptr;
    const VstIntPtr size = self->dispatch(effGetChunk, 0, 0, &bank);
    const VstIntPtr program = self->dispatch(effGetProgram);
    if (!bank || size != static_cast<VstIntPtr>(clapstate::kBankSize) || program < 0 ||
        program >= clapstate::kNumPrograms)
        return false;
    unsigned char blob[clapstate::kStateSize];
    clapstate::write(static_cast<const unsigned char*>(bank), static_cast<uint32_t>(program), blob);
    std::size_t done = 0;
    while (done < sizeof(blob)) {
        const int64_t n = stream->write(stream, blob + done, sizeof(blob) - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Main thread. A blob that fails any check is refused before the effect is
// touched.
bool CLAP_CALL stateLoad(const clap_plugin* p, const clap_istream* stream) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect() || !stream || !stream->read || !self->onMainThread())
        return false;
    // One byte more than a state holds: a longer stream is refused too.
    unsigned char blob[clapstate::kStateSize + 1];
    std::size_t size = 0;
    while (size < sizeof(blob)) {
        const int64_t n = stream->read(stream, blob + size, sizeof(blob) - size);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n) < sizeof(blob) - size ? static_cast<std::size_t>(n) : sizeof(blob) - size;
    }
    uint32_t program = 0;
    if (!clapstate::validate(blob, size, program))
        return false;
    self->suspendScan();
    // The program first, then the bank: setting the chunk re-applies the
    // current program from the new records.
    self->dispatch(effSetProgram, 0, static_cast<VstIntPtr>(program));
    const bool loaded = self->dispatch(effSetChunk, 0, static_cast<VstIntPtr>(clapstate::kBankSize),
                                       blob + clapstate::kHeaderSize) == 1;
    self->valuesReplaced();
    return loaded;
}

}  // namespace

const clap_plugin_state kClapState = {stateSave, stateLoad};
