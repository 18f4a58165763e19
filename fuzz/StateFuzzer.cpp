// Saved states from anywhere (a session file, a preset shared online): the
// bytes go to the engine's state reader, as every plug-in format hands them.
//
// What the engine is held to: a refused blob changes nothing (the state
// saved afterwards is the one saved before); an accepted blob is applied
// whole (the state saved afterwards carries the blob's bank byte for byte
// and its current program), every value it put in place is within 0..1, and
// a block of finite input comes out finite and within the amp's reach.
//
// Input: the blob itself, whole.
#include <cmath>
#include <cstring>
#include <vector>

#include "FuzzHost.h"
#include "model/AmpEngine.h"
#include "model/AmpState.h"

namespace {

using corvex::AmpEngine;
using fuzzhost::check;

AmpEngine& engine() {
    static AmpEngine* instance = new AmpEngine();  // lives for the whole run
    return *instance;
}

std::vector<unsigned char> saved() {
    std::vector<unsigned char> blob(AmpEngine::kStateSize);
    check(engine().saveState(blob.data(), blob.size()) == AmpEngine::kStateSize, "a state is saved whole");
    return blob;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AmpEngine& amp = engine();
    const std::vector<unsigned char> before = saved();
    corvex::StateContents decoded;
    const bool readable = corvex::readState(data, size, decoded);
    const bool accepted = amp.loadState(data, size);
    check(accepted == readable, "the engine takes exactly what the reader takes");
    check(AmpEngine::isValidState(data, size) == accepted, "the check agrees with the load");
    amp.flush();
    const std::vector<unsigned char> after = saved();
    if (!accepted) {
        check(after == before, "a refused state changes nothing");
        return 0;
    }
    check(std::memcmp(after.data() + corvex::kStateHeaderSize, decoded.bank, kBankChunkSize) == 0,
          "an accepted state's bank is taken byte for byte");
    check(amp.currentProgram() == static_cast<int>(decoded.currentProgram), "its current program is taken");
    for (int i = 0; i < AmpEngine::kParameterCount; ++i) {
        const float v = amp.value(i);
        check(v >= 0.0f && v <= 1.0f, "every value within 0..1");
    }
    float in[64], left[64], right[64];
    for (int i = 0; i < 64; ++i)
        in[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
    amp.process(in, in, left, right, 64);
    for (int i = 0; i < 64; ++i) {
        check(std::isfinite(left[i]) && std::isfinite(right[i]), "finite output");
        check(std::fabs(left[i]) < 64.0f && std::fabs(right[i]) < 64.0f, "output within the amp's reach");
    }
    return 0;
}
