// The rig's readers of outside data on arbitrary bytes: an impulse file
// (any format libsndfile opens, read from memory as the rig reads it) and
// the rig's saved state, which carries an impulse of its own.
//
// Must hold: no crash, no access outside any buffer (AddressSanitizer); an
// accepted impulse has one or two channels of equal, bounded length, a
// usable rate and finite samples, and prepares into a convolver; a refusal
// comes with one line of explanation; an accepted state saves to a state
// that loads and saves back to the very same bytes.
//
// Input layout: [selector][bytes...]; selector bit 0 picks the state reader.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cabinet/ImpulseResponse.h"
#include "cabinet/ZeroLatencyConvolver.h"
#include "rig/RigEngine.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_impulse: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool state = data[0] & 1;
    ++data;
    --size;
    if (state) {
        static corvex::RigEngine* rig = new corvex::RigEngine();
        if (rig->loadState(data, size)) {
            // The head's part may come in an older layout and is saved in
            // the current one: what the rig saves must load and save again
            // to the very same bytes.
            rig->flush();
            const std::vector<unsigned char> saved = rig->saveState();
            check(rig->loadState(saved.data(), saved.size()), "a saved state is refused");
            rig->flush();
            check(rig->saveState() == saved, "state saved back differs");
        }
        return 0;
    }
    cabinet::ImpulseResponse ir;
    std::string error;
    if (!cabinet::readImpulseResponse(data, size, "fuzz", ir, error)) {
        check(!error.empty() && error.find('\n') == std::string::npos, "a refusal without one line");
        return 0;
    }
    check(ir.channels.size() == 1 || ir.channels.size() == 2, "channels");
    check(ir.frames() > 0 && ir.frames() <= cabinet::maxFrames, "length");
    check(ir.rate >= 1000.0 && ir.rate <= 768000.0, "rate");
    for (const auto& c : ir.channels) {
        check((long)c.size() == ir.frames(), "channel lengths");
        for (float s : c)
            check(std::isfinite(s), "finite samples");
    }
    // Short enough ones go all the way to a convolver, as the rig takes them.
    if (ir.frames() <= 20000) {
        cabinet::ImpulseResponse atRate;
        if (cabinet::resampleImpulseResponse(ir, 48000.0, atRate, error)) {
            cabinet::ZeroLatencyConvolver conv;
            if (atRate.frames() <= 200000 && conv.configure(atRate, error)) {
                float l[256] = {1.0f}, r[256] = {1.0f};
                conv.process(l, r, l, r, 256);
                for (int i = 0; i < 256; ++i)
                    check(std::isfinite(l[i]) && std::isfinite(r[i]), "finite output");
            }
        }
    }
    return 0;
}
