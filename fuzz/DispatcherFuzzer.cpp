// The host interface under arbitrary traffic: sequences of dispatcher
// opcodes with arbitrary index, value and opt, pointer payloads the fuzzer
// fills (strings, chunks of any size, rectangles, speaker arrangements,
// records of every kind; sometimes no pointer at all), interleaved with
// parameter writes and reads and blocks of audio, closed with effClose.
//
// The buffers are owned here and sized as the interface promises (25 bytes
// for a program name, 33 for the effect name, 9 for a parameter display...),
// so writing one byte more is an AddressSanitizer error. A block of finite
// input must come out finite, whatever came before it.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <memory>
#include <vector>

#include "FuzzHost.h"

namespace {

using fuzzhost::check;

// How many bytes the effect may write for each text opcode.
std::size_t textBufferSize(VstInt32 opcode) {
    switch (opcode) {
        case effGetProgramName:
        case effGetProgramNameIndexed:
            return 25;  // 24 characters and a zero
        case effGetParamLabel:
        case effGetParamDisplay:
            return 9;  // 8 characters and a zero
        case effGetParamName:
            return 12;  // whole names, "Mono/Stereo" and a zero at most
        case effGetEffectName:
            return 33;
        case effGetVendorString:
        case effGetProductString:
        case effShellGetNextPlugin:
            return 65;
        default:
            return 0;
    }
}

// Payloads live until the instance is closed: a host owns its buffers.
struct Payloads {
    std::vector<std::unique_ptr<unsigned char[]>> buffers;
    unsigned char* make(std::size_t size, FuzzedDataProvider& in, bool fill) {
        buffers.emplace_back(new unsigned char[size ? size : 1]());
        unsigned char* p = buffers.back().get();
        if (fill) {
            const std::vector<unsigned char> bytes = in.ConsumeBytes<unsigned char>(size);
            if (!bytes.empty())
                std::memcpy(p, bytes.data(), bytes.size());
        }
        return p;
    }
    // A zero-terminated string of fuzz bytes.
    char* string(FuzzedDataProvider& in) {
        const std::string s = in.ConsumeRandomLengthString(80);
        unsigned char* p = make(s.size() + 1, in, false);
        std::memcpy(p, s.data(), s.size());
        return reinterpret_cast<char*>(p);
    }
};

float consumeOpt(FuzzedDataProvider& in) {
    static const float interesting[] = {0.0f,      -0.0f, 1.0f,  0.5f,   44100.0f, 48000.0f,  96000.0f, 8000.0f,
                                        384000.0f, -1.0f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN,      1e-40f};
    if (in.ConsumeBool())
        return in.PickValueInArray(interesting);
    return fuzzhost::floatFromBits(in.ConsumeIntegral<uint32_t>());
}

VstInt32 consumeIndex(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(-2, 16) : in.ConsumeIntegral<VstInt32>();
}

VstIntPtr consumeValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return in.ConsumeIntegralInRange<VstIntPtr>(-2, 16);
        case 1:
            return in.ConsumeBool() ? 208 : 2080;
        default:
            return in.ConsumeIntegral<VstIntPtr>();
    }
}

struct Session {
    AEffect* effect;
    Payloads payloads;
    void* lastChunk = nullptr;
    VstIntPtr lastChunkSize = 0;
    int windowToken = 0;  // a parent window to the headless layer

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    void oneRequest(FuzzedDataProvider& in) {
        VstInt32 opcode =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(0, 81) : in.ConsumeIntegral<VstInt32>();
        if (opcode == effClose)
            opcode = effIdentify;  // closing is the last step of every run
        const VstInt32 index = consumeIndex(in);
        VstIntPtr value = consumeValue(in);
        const float opt = consumeOpt(in);
        const bool nullPtr = in.ConsumeIntegralInRange<int>(0, 7) == 0;
        void* ptr = nullptr;

        switch (opcode) {
            case effSetProgramName:
            case effString2Parameter:
            case effCanDo:
                ptr = nullPtr ? nullptr : payloads.string(in);
                break;
            case effGetChunk: {
                void* slot = nullptr;
                const VstIntPtr size = dispatch(opcode, index, value, nullPtr ? nullptr : &slot, opt);
                if (!nullPtr && size > 0) {
                    check(slot != nullptr, "getChunk answered a size without data");
                    // The host reads every byte it was promised.
                    const volatile unsigned char* bytes = static_cast<unsigned char*>(slot);
                    unsigned sum = 0;
                    for (VstIntPtr i = 0; i < size; ++i)
                        sum += bytes[i];
                    (void)sum;
                    lastChunk = slot;
                    lastChunkSize = size;
                }
                return;
            }
            case effSetChunk: {
                if (!nullPtr && lastChunk && in.ConsumeIntegralInRange<int>(0, 3) == 0) {
                    // Hands back the effect's own storage, as some hosts do.
                    dispatch(opcode, index, lastChunkSize, lastChunk, opt);
                    return;
                }
                std::size_t size = in.ConsumeBool() ? (in.ConsumeBool() ? 208u : 2080u)
                                                    : in.ConsumeIntegralInRange<std::size_t>(0, 4200);
                ptr = nullPtr ? nullptr : payloads.make(size, in, true);
                // The declared size never exceeds the buffer; it may fall short.
                if (value < 0 || static_cast<std::size_t>(value) > size || in.ConsumeBool())
                    value = static_cast<VstIntPtr>(size);
                break;
            }
            case effEditGetRect: {
                ERect* rect = nullptr;
                const VstIntPtr got = dispatch(opcode, index, value, nullPtr ? nullptr : &rect, opt);
                if (got && !nullPtr && rect) {
                    const volatile ERect* r = rect;
                    check(r->right - r->left >= 0 && r->bottom - r->top >= 0, "editor rectangle inverted");
                }
                return;
            }
            case effEditOpen:
                ptr = nullPtr ? nullptr : &windowToken;
                break;
            case effSetSpeakerArrangement: {
                // Two arrangements of 0 to 8 speakers each, heads consistent.
                VstSpeakerArrangement* pair[2];
                for (auto& a : pair) {
                    const VstInt32 channels = in.ConsumeIntegralInRange<VstInt32>(0, 8);
                    a = reinterpret_cast<VstSpeakerArrangement*>(
                        payloads.make(2 * sizeof(VstInt32) + channels * sizeof(VstSpeakerProperties), in, true));
                    a->numChannels = channels;
                }
                value = nullPtr ? 0 : reinterpret_cast<VstIntPtr>(pair[0]);
                ptr = in.ConsumeBool() ? pair[1] : nullptr;
                break;
            }
            case effGetSpeakerArrangement: {
                auto* slots = reinterpret_cast<VstSpeakerArrangement**>(payloads.make(2 * sizeof(void*), in, false));
                value = nullPtr ? 0 : reinterpret_cast<VstIntPtr>(&slots[0]);
                ptr = in.ConsumeBool() ? &slots[1] : nullptr;
                break;
            }
            default: {
                const std::size_t text = textBufferSize(opcode);
                if (text)
                    ptr = nullPtr ? nullptr : payloads.make(text, in, true);
                else if (!nullPtr && in.ConsumeBool())
                    // Records the effect only passes on (events, pin and
                    // parameter properties, offline tasks, MIDI names...).
                    ptr = payloads.make(in.ConsumeIntegralInRange<std::size_t>(0, 1024), in, in.ConsumeBool());
                break;
            }
        }
        dispatch(opcode, index, value, ptr, opt);
    }

    void oneBlock(FuzzedDataProvider& in) {
        const VstInt32 frames =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(-4, 512) : in.PickValueInArray({0, 1, 2, 64, 100});
        const std::size_t n = frames > 0 ? static_cast<std::size_t>(frames) : 1;
        std::vector<float> inL(n), inR(n), outL(n), outR(n);
        const bool finiteInput = in.ConsumeBool();
        for (std::size_t i = 0; i < n; ++i) {
            if (finiteInput) {
                inL[i] = 0.5f * std::sin(0.05f * float(i));
                inR[i] = 0.5f * std::cos(0.03f * float(i));
            } else {
                inL[i] = fuzzhost::floatFromBits(in.ConsumeIntegral<uint32_t>());
                inR[i] = fuzzhost::floatFromBits(in.ConsumeIntegral<uint32_t>());
            }
        }
        fuzzhost::process(effect, inL.data(), inR.data(), outL.data(), outR.data(), frames);
        if (finiteInput) {
            for (VstInt32 i = 0; i < frames; ++i)
                check(std::isfinite(outL[i]) && std::isfinite(outR[i]), "non-finite output for finite input");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Session session;
    session.effect = pluginMain(fuzzhost::callback);
    check(session.effect != nullptr, "no instance");
    AEffect* e = session.effect;

    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4:
            case 5:
                session.oneRequest(in);
                break;
            case 6:
                e->setParameter(e, consumeIndex(in), consumeOpt(in));
                break;
            case 7: {
                const VstInt32 index = consumeIndex(in);
                const float v = e->getParameter(e, index);
                if (index < 0 || index >= e->numParams)
                    check(v == 0.0f, "a parameter outside the range reads non-zero");
                break;
            }
            case 8:
                session.oneBlock(in);
                break;
            case 9: {
                // The slots that do nothing must leave the buffers alone.
                float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
                float* ins[2] = {a, a};
                float* outs[2] = {b, b};
                e->process(e, ins, outs, 4);
                double da[4] = {1, 2, 3, 4}, db[4] = {5, 6, 7, 8};
                double* dins[2] = {da, da};
                double* douts[2] = {db, db};
                e->processDoubleReplacing(e, dins, douts, 4);
                check(b[0] == 5 && b[3] == 8 && db[0] == 5 && db[3] == 8, "an inactive process slot wrote output");
                break;
            }
        }
    }
    check(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f) == 1, "effClose did not answer 1");
    return 0;
}
