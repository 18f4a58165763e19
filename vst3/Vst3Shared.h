// What every VST3 class of ours does the same way, whatever engine it runs:
// text conversions, whole-stream reads and writes, the sample-accurate
// walk through a block's parameter changes, the audio path around the
// engine (buses, bypass crossfade, silence flags) and the plug-in factory.
// The classes (Vst3Effect for the head, RigVst3Effect for the rig) keep only
// what is theirs: their engine, their parameters and their state.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vst3/Vst3Abi.h"

namespace corvex {
namespace vst3 {

// ---- text (any thread) ----
// ASCII into a host's UTF-16 field of `capacity` units, always ended.
void toUtf16(const char* text, v3::char16* out, std::size_t capacity);
// ASCII out of a host's UTF-16 text; false for anything else or no end
// within `capacity` characters.
bool fromUtf16(const v3::char16* text, char* out, std::size_t capacity);
void copyText(char* to, const char* from, std::size_t capacity);

// ---- streams (main thread) ----
// A whole host stream: false when the stream fails or holds more than
// `limit` bytes.
bool readAll(v3::IBStream* stream, std::vector<unsigned char>& bytes, std::size_t limit);
bool writeAll(v3::IBStream* stream, const unsigned char* bytes, std::size_t size);

// ---- a block (audio thread) ----
constexpr int kMaxQueues = 64;          // parameter queues looked at per block
constexpr int32_t kMaxBlock = 1 << 20;  // the largest block a host may announce

// A host's block with bus counts that have no buses taken as no bus.
v3::ProcessData checkedBuses(const v3::ProcessData& host);

// The host's values in time order across the queues, each at its sample:
// render(start, end) renders the block up to it, apply(id, value, offset)
// stores it, the rendering goes on. Offsets outside the block fall on its
// ends; one earlier than a change already applied takes effect where the
// block stands. Returns the frames rendered (all of them when the block has
// audio; 0 for a block of changes only). Allocates nothing.
template <class Render, class Apply>
int32_t walkBlock(const v3::ProcessData& data, Render&& render, Apply&& apply) {
    struct Cursor {
        v3::IParamValueQueue* queue;
        v3::ParamID id;
        v3::int32 next;
        v3::int32 count;
    };
    Cursor cursors[kMaxQueues];
    int cursorCount = 0;
    if (v3::IParameterChanges* in = data.inputParameterChanges) {
        const v3::int32 queues = std::min<v3::int32>(in->getParameterCount(), kMaxQueues);
        for (v3::int32 q = 0; q < queues; ++q) {
            v3::IParamValueQueue* queue = in->getParameterData(q);
            const v3::int32 count = queue ? queue->getPointCount() : 0;
            if (count > 0)
                cursors[cursorCount++] = {queue, queue->getParameterId(), 0, count};
        }
    }
    const int32_t frames = data.numSamples;
    const bool audio = frames > 0;
    int32_t done = 0;
    for (;;) {
        int best = -1;
        v3::int32 bestOffset = 0;
        double bestValue = 0.0;
        for (int c = 0; c < cursorCount; ++c) {
            Cursor& cursor = cursors[c];
            v3::int32 offset = 0;
            double value = 0.0;
            while (cursor.next < cursor.count && cursor.queue->getPoint(cursor.next, offset, value) != v3::kResultOk)
                ++cursor.next;  // an unreadable point is skipped
            if (cursor.next >= cursor.count)
                continue;
            if (best < 0 || offset < bestOffset) {
                best = c;
                bestOffset = offset;
                bestValue = value;
            }
        }
        if (best < 0)
            break;
        const int32_t at = std::max(done, std::min(std::max<v3::int32>(bestOffset, 0), frames));
        if (audio && at > done) {
            render(done, at);
            done = at;
        }
        apply(cursors[best].id, bestValue, frames > 0 ? std::min(at, frames - 1) : 0);
        ++cursors[best].next;
    }
    if (audio && done < frames) {
        render(done, frames);
        done = frames;
    }
    return done;
}

// Sets the silence flag of each of the output bus's two channels that holds
// only zeros (none for a block without audio).
void markSilentOutputs(v3::ProcessData& data);

// The audio around an engine: one stereo output, a stereo or mono input
// (mono feeds both sides), buffers for missing channels, and the bypass (a
// 10 ms crossfade to the dry input, the engine kept running so that leaving
// bypass does not click). Main thread while inactive: prepare(), setMono();
// audio thread: the rest.
class AudioPath {
public:
    AudioPath();
    void prepare(double sampleRate, int32_t maxFrames);
    int32_t maxFrames() const { return maxBlock; }
    bool monoInput = false;

    // The buses (main thread): one audio input, stereo or mono, and one
    // stereo output, both always active.
    v3::tresult busInfo(v3::MediaType type, v3::BusDirection dir, v3::int32 index, v3::BusInfo& bus) const;
    v3::tresult arrange(const v3::SpeakerArrangement* inputs, v3::int32 numIns, const v3::SpeakerArrangement* outputs,
                        v3::int32 numOuts);
    v3::tresult arrangement(v3::BusDirection dir, v3::int32 index, v3::SpeakerArrangement& arr) const;

    void resume() { wet = bypassTarget > 0.5f ? 0.0f : 1.0f; }  // as it stood
    void setBypass(double value) { bypassTarget = value >= 0.5 ? 1.0f : 0.0f; }

    // Frames start..end of the block through `process(inL, inR, outL, outR,
    // n)` (inR null for a mono feed) in pieces of at most maxFrames().
    template <class Process>
    void render(const v3::ProcessData& data, int32_t start, int32_t end, Process&& process) {
        Channels c = channelsOf(data);
        for (int32_t at = start; at < end;) {
            const int32_t n = std::min(end - at, maxBlock);
            const float* l = c.inL ? c.inL + at : zeros.data();
            const float* r = c.monoFeed ? nullptr : c.inR ? c.inR + at : zeros.data();
            float* ol = c.outL ? c.outL + at : spareL.data();
            float* orr = c.outR ? c.outR + at : spareR.data();
            const bool mixing = wet != 1.0f || bypassTarget != 0.0f;
            if (mixing) {
                // The dry signal first: the output may be the input's buffer.
                std::memcpy(dryL.data(), l, sizeof(float) * static_cast<std::size_t>(n));
                std::memcpy(dryR.data(), r ? r : l, sizeof(float) * static_cast<std::size_t>(n));
            }
            process(l, r, ol, orr, n);
            if (mixing)
                crossfade(ol, orr, n);
            at += n;
        }
    }

private:
    struct Channels {
        float *inL, *inR, *outL, *outR;
        bool monoFeed;
    };
    static Channels channelsOf(const v3::ProcessData& data);
    void crossfade(float* left, float* right, int32_t frames);

    int32_t maxBlock = 1024;
    float bypassTarget = 0.0f;                             // 1: bypassed
    float wet = 1.0f;                                      // 1: the engine, 0: the dry input
    float wetStep = 0.0f;                                  // per sample of the crossfade
    std::vector<float> dryL, dryR, spareL, spareR, zeros;  // maxFrames each, made while inactive
};

// ---- the factory: one class per module ----
struct ClassFacts {
    v3::Uid cid;
    const char* name;
    const char* subCategories;
    // A new instance holding one reference, or null.
    v3::FUnknown* (*create)();
};

// The module's factory over one class (main thread). A static object: its
// reference count only counts.
class Factory : public v3::IPluginFactory3 {
public:
    explicit Factory(const ClassFacts& facts) : facts(facts) {}
    v3::tresult V3_CALL queryInterface(const v3::TUID iid, void** obj) override;
    v3::uint32 V3_CALL addRef() override { return 1; }
    v3::uint32 V3_CALL release() override { return 1; }
    v3::tresult V3_CALL getFactoryInfo(v3::PFactoryInfo* info) override;
    v3::int32 V3_CALL countClasses() override { return 1; }
    v3::tresult V3_CALL getClassInfo(v3::int32 index, v3::PClassInfo* info) override;
    v3::tresult V3_CALL createInstance(v3::FIDString cid, v3::FIDString iidWanted, void** obj) override;
    v3::tresult V3_CALL getClassInfo2(v3::int32 index, v3::PClassInfo2* info) override;
    v3::tresult V3_CALL getClassInfoUnicode(v3::int32 index, v3::PClassInfoW* info) override;
    // The context is the host application; the instances get theirs in
    // initialize.
    v3::tresult V3_CALL setHostContext(v3::FUnknown*) override { return v3::kResultOk; }

private:
    const ClassFacts facts;
};

// The module's one factory: each module's entry file defines it.
Factory& moduleFactory();

}  // namespace vst3
}  // namespace corvex
