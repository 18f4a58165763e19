// Chunks from anywhere: a bank or a program of arbitrary bytes and arbitrary
// declared size is handed to effSetChunk, then everything the host can read
// back is compared with what a faithful effect must hold, and a block is
// played.
//
// The model the effect is held to: a chunk of the wrong size changes
// nothing; a chunk of the right size replaces the record(s) byte for byte,
// and re-applying the current program then sets every parameter from it, so
// that the selected channel's eight values pass through 32-bit floats on
// their way to the parameters and back into the record. Nothing else changes:
// the other channel's values, names, the alignment gap and the other
// programs stay exactly as loaded. A block of finite input comes out finite
// whatever numbers the chunk carried.
//
// Input layout: [flags][program][frames][chunk bytes...]
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "FuzzHost.h"
#include "model/Programs.h"

namespace {

using fuzzhost::check;

constexpr int kPerChannel[8] = {0, 2, 4, 5, 6, 7, 8, 9};

float CorvexProgram::*programField(int index) {
    static float CorvexProgram::*const fields[13] = {
        &CorvexProgram::input,    &CorvexProgram::channel, &CorvexProgram::drive,      &CorvexProgram::mixPls,
        &CorvexProgram::low,      &CorvexProgram::mid,     &CorvexProgram::high,       &CorvexProgram::contour,
        &CorvexProgram::powerAmp, &CorvexProgram::volume,  &CorvexProgram::monoStereo, &CorvexProgram::quality,
        &CorvexProgram::boost};
    return fields[index];
}

double ChannelSettings::*channelField(int index) {
    switch (index) {
        case 0:
            return &ChannelSettings::input;
        case 2:
            return &ChannelSettings::drive;
        case 4:
            return &ChannelSettings::low;
        case 5:
            return &ChannelSettings::mid;
        case 6:
            return &ChannelSettings::high;
        case 7:
            return &ChannelSettings::contour;
        case 8:
            return &ChannelSettings::powerAmp;
        default:
            return &ChannelSettings::volume;
    }
}

// The record after the effect re-applied it; also gives the parameters.
CorvexProgram applied(const CorvexProgram& loaded, float parameters[13]) {
    CorvexProgram p = loaded;
    const int channel = p.channel < 0.5f ? 0 : 1;  // NaN selects channel 1
    for (int index : kPerChannel) {
        const float value = static_cast<float>(p.channelSettings[channel].*channelField(index));
        p.*programField(index) = value;
        p.channelSettings[channel].*channelField(index) = value;
    }
    for (int index = 0; index < 13; ++index)
        parameters[index] = p.*programField(index);
    return p;
}

struct Bank {
    CorvexProgram programs[kNumCorvexPrograms];
};

Bank readBank(AEffect* e) {
    void* data = nullptr;
    check(e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f) == static_cast<VstIntPtr>(kBankChunkSize),
          "bank chunk size");
    check(data != nullptr, "bank chunk pointer");
    Bank bank;
    std::memcpy(&bank, data, kBankChunkSize);
    return bank;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const int program = in.ConsumeIntegralInRange<int>(0, kNumCorvexPrograms - 1);
    const int frames = in.ConsumeIntegralInRange<int>(1, 192);
    const bool isPreset = flags & 1;
    std::vector<uint8_t> chunk = in.ConsumeRemainingBytes<uint8_t>();
    // Mostly the sizes a host would send, padded or cut; sometimes exactly
    // what arrived, whatever its length.
    const std::size_t expected = isPreset ? kProgramChunkSize : kBankChunkSize;
    if (flags & 2)
        chunk.resize(expected, static_cast<uint8_t>(flags));
    else if (flags & 4)
        chunk.resize((flags & 8) ? expected + 1 : expected - 1, 0);

    AEffect* e = pluginMain(fuzzhost::callback);
    check(e != nullptr, "no instance");
    e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f);
    if (flags & 16)
        e->setParameter(e, 1, 1.0f);  // start from channel 1

    const Bank before = readBank(e);
    float parametersBefore[13];
    for (int i = 0; i < 13; ++i)
        parametersBefore[i] = e->getParameter(e, i);

    const VstIntPtr answer = e->dispatcher(e, effSetChunk, isPreset ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
                                           chunk.empty() ? nullptr : chunk.data(), 0.0f);
    check(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f) == program, "the current program moved");

    const Bank after = readBank(e);
    float parameters[13];
    if (chunk.size() != expected) {
        check(answer == 0, "a chunk of the wrong size was accepted");
        check(std::memcmp(&before, &after, sizeof(Bank)) == 0, "a refused chunk changed the bank");
        std::memcpy(parameters, parametersBefore, sizeof(parameters));
    } else {
        check(answer == 1, "a chunk of the right size was refused");
        Bank model = before;
        if (isPreset)
            std::memcpy(&model.programs[program], chunk.data(), kProgramChunkSize);
        else
            std::memcpy(&model, chunk.data(), kBankChunkSize);
        model.programs[program] = applied(model.programs[program], parameters);
        check(std::memcmp(&model, &after, sizeof(Bank)) == 0, "the bank does not hold what was loaded");
        // The program chunk is the current record.
        void* current = nullptr;
        check(e->dispatcher(e, effGetChunk, 1, 0, &current, 0.0f) == static_cast<VstIntPtr>(kProgramChunkSize),
              "program chunk size");
        check(std::memcmp(current, &model.programs[program], kProgramChunkSize) == 0, "program chunk content");
    }
    for (int i = 0; i < 13; ++i) {
        check(fuzzhost::bitsOf(e->getParameter(e, i)) == fuzzhost::bitsOf(parameters[i]),
              "a parameter does not read back as stored");
        char display[9];
        e->dispatcher(e, effGetParamDisplay, i, 0, display, 0.0f);
        check(std::memchr(display, 0, sizeof(display)) != nullptr, "display not terminated");
    }

    // Finite in, finite out, over a couple of blocks.
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int block = 0; block < 2; ++block) {
        for (int i = 0; i < frames; ++i) {
            inL[i] = 0.8f * std::sin(0.07f * float(i + block * frames));
            inR[i] = (flags & 32) ? 1e30f * inL[i] : 0.3f;
        }
        fuzzhost::process(e, inL.data(), inR.data(), outL.data(), outR.data(), frames);
        for (int i = 0; i < frames; ++i)
            check(std::isfinite(outL[i]) && std::isfinite(outR[i]), "non-finite output for finite input");
    }
    check(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f) == 1, "effClose did not answer 1");
    return 0;
}
