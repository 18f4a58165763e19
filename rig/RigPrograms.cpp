#include "rig/RigPrograms.h"

#include <cstring>

#include "model/AmpState.h"
#include "model/Programs.h"

// The head's factory bank file, compiled in by rig/CMakeLists.txt.
extern const unsigned char kCorvexFactoryFxb[];
extern const unsigned long kCorvexFactoryFxbSize;

namespace corvex {

std::string rigFactoryProgramName(int index) {
    if (index < 0 || index >= kNumCorvexPrograms)
        index = 0;
    const char* field = static_cast<const char*>(rigFactoryHeadBank()) + (std::size_t)index * kProgramChunkSize;
    std::size_t length = 0;
    while (length < sizeof(CorvexProgram::name) && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

namespace {

// A bank file's header before its chunk (magic, size, type, version, id,
// version, count, 128 reserved bytes, chunk size).
constexpr std::size_t kBankHeader = 160;
static_assert(kBankHeader + kBankChunkSize == 2240, "the factory bank file's size");

constexpr float threshold(double db) {
    return (float)((db + 90.0) / 80.0);
}
constexpr float level(double db) {
    return (float)((db + 24.0) / 36.0);
}
constexpr float model(int m) {
    return (float)m / 5.0f;
}
constexpr float kOff = 0.0f;

// The trims bring each program, through its cabinet, to -20 LUFS on the demo
// DI riff (peak -12 dBFS), where the head's bank sits without a cabinet:
// measured by tests/rig/RigBankTest.cpp, which prints what it finds.
// Cabinets: 0 4x12 Closed, 1 2x12 Open, 2 1x12 Combo, 3 4x10 Bright, 4 1x10 Vintage.
const RigProgramValues kValues[kNumCorvexPrograms] = {
    {kOff, 0.50f, 1.0f, model(1), level(7.99), level(0.0)},            // Glass Clean
    {kOff, 0.50f, 1.0f, model(2), level(7.89), level(0.0)},            // Edge of Breakup
    {threshold(-66.0), 0.40f, 1.0f, model(0), level(7.13), level(0.0)},  // Crunch Rhythm
    {threshold(-66.0), 0.45f, 1.0f, model(0), level(6.79), level(0.0)},  // Classic Rock
    {threshold(-70.0), 0.60f, 1.0f, model(3), level(4.54), level(0.0)},  // Lead Channel 1
    {threshold(-60.0), 0.35f, 1.0f, model(0), level(6.27), level(0.0)},  // High Gain
    {threshold(-56.0), 0.30f, 1.0f, model(0), level(6.24), level(0.0)},  // Scooped Metal
    {threshold(-72.0), 0.55f, 1.0f, model(4), level(7.83), level(0.0)},  // Boosted Blues
    {threshold(-64.0), 0.45f, 1.0f, model(1), level(7.70), level(0.0)},  // Bass Heavy
    {threshold(-70.0), 0.60f, 1.0f, model(3), level(4.79), level(0.0)},  // HighQ Singing Lead
};

}  // namespace

const void* rigFactoryHeadBank() {
    return kCorvexFactoryFxb + kBankHeader;
}

const RigProgramValues& rigFactoryValues(int index) {
    return kValues[index >= 0 && index < kNumCorvexPrograms ? index : 0];
}

std::size_t withFactoryProgram(const void* state, std::size_t size, int factory, unsigned char* out,
                               std::size_t capacity, int& current) {
    current = -1;
    StateContents contents;
    if (!state || !out || factory < 0 || factory >= kNumCorvexPrograms || !readState(state, size, contents) ||
        contents.currentProgram >= static_cast<uint32_t>(kNumCorvexPrograms))
        return 0;
    std::memcpy(contents.bank + contents.currentProgram * kProgramChunkSize,
                static_cast<const unsigned char*>(rigFactoryHeadBank()) + factory * kProgramChunkSize,
                kProgramChunkSize);
    const std::size_t written = writeState(contents, out, capacity);
    if (written != 0)
        current = static_cast<int>(contents.currentProgram);
    return written;
}

}  // namespace corvex
