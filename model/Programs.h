// The program record of the effect, which is also the chunk format the host
// stores: 208 bytes per program, a bank of ten back to back (2080 bytes, no
// header). Little-endian IEEE 754 floats; the layout is fixed on every
// platform we build for.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the chunk format is little-endian; a big-endian target needs byte swapping"
#endif

// The eight values each preamp channel remembers for itself.
struct ChannelSettings {
    double input;
    double drive;
    double contour;
    double low;
    double mid;
    double high;
    double volume;
    double powerAmp;
};

struct CorvexProgram {
    char name[24];     // zero-padded; 24 characters fill it with no terminator
    float input;       // parameter 0
    float channel;     // parameter 1
    float drive;       // parameter 2
    float mixPls;      // parameter 3
    float low;         // parameter 4
    float mid;         // parameter 5
    float high;        // parameter 6
    float contour;     // parameter 7
    float volume;      // parameter 9
    float monoStereo;  // parameter 10
    float quality;     // parameter 11
    float powerAmp;    // parameter 8
    float boost;       // parameter 12
    // Alignment gap: never read, copied along when a chunk is loaded. Spelt
    // out so that targets aligning doubles to 4 bytes keep the same layout.
    unsigned char gap[4];
    ChannelSettings channelSettings[2];  // channel 0, channel 1
};

constexpr int kNumCorvexPrograms = 10;
constexpr std::size_t kProgramChunkSize = 208;
constexpr std::size_t kBankChunkSize = kProgramChunkSize * kNumCorvexPrograms;

static_assert(sizeof(float) == 4 && sizeof(double) == 8, "IEEE 754 single and double");
static_assert(sizeof(ChannelSettings) == 64, "eight doubles");
static_assert(offsetof(ChannelSettings, input) == 0, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, drive) == 8, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, contour) == 16, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, low) == 24, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, mid) == 32, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, high) == 40, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, volume) == 48, "ChannelSettings layout");
static_assert(offsetof(ChannelSettings, powerAmp) == 56, "ChannelSettings layout");

static_assert(offsetof(CorvexProgram, name) == 0, "program layout");
static_assert(offsetof(CorvexProgram, input) == 24, "program layout");
static_assert(offsetof(CorvexProgram, channel) == 28, "program layout");
static_assert(offsetof(CorvexProgram, drive) == 32, "program layout");
static_assert(offsetof(CorvexProgram, mixPls) == 36, "program layout");
static_assert(offsetof(CorvexProgram, low) == 40, "program layout");
static_assert(offsetof(CorvexProgram, mid) == 44, "program layout");
static_assert(offsetof(CorvexProgram, high) == 48, "program layout");
static_assert(offsetof(CorvexProgram, contour) == 52, "program layout");
static_assert(offsetof(CorvexProgram, volume) == 56, "program layout");
static_assert(offsetof(CorvexProgram, monoStereo) == 60, "program layout");
static_assert(offsetof(CorvexProgram, quality) == 64, "program layout");
static_assert(offsetof(CorvexProgram, powerAmp) == 68, "program layout");
static_assert(offsetof(CorvexProgram, boost) == 72, "program layout");
static_assert(offsetof(CorvexProgram, gap) == 76, "program layout");
static_assert(offsetof(CorvexProgram, channelSettings) == 80, "program layout");
static_assert(offsetof(CorvexProgram, channelSettings) + sizeof(ChannelSettings) == 144, "program layout");
static_assert(sizeof(CorvexProgram) == kProgramChunkSize, "a program is 208 bytes");
static_assert(sizeof(CorvexProgram[kNumCorvexPrograms]) == kBankChunkSize, "a bank is 2080 bytes");
