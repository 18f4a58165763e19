// The CLAP state: the whole bank of ten programs (both channels of each) and
// the current program, carried in the effect's own chunk records, so a bank
// made in the VST 2.4 build loads into the CLAP build unchanged. States are
// saved in the engine's layout shared by every format ("CRVXAMPS", 24-byte
// header); the "CRVXCLAP" layout earlier builds saved still loads. A blob
// that is damaged in any way is refused and changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "ClapTestHost.h"
#include "VstReference.h"

using namespace clapcheck;

namespace {

constexpr size_t kHeader = 20, kBank = 2080, kProgram = 208;
constexpr size_t kSavedHeader = 24;  // the layout states are saved in

void putU32(std::vector<unsigned char>& blob, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        blob[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// The state a CLAP host would store for `bank` with `program` current.
std::vector<unsigned char> stateFor(const unsigned char* bank, uint32_t program) {
    std::vector<unsigned char> blob(kHeader + kBank);
    std::memcpy(blob.data(), "CRVXCLAP", 8);
    putU32(blob, 8, 1);
    putU32(blob, 12, program);
    putU32(blob, 16, kBank);
    std::memcpy(blob.data() + kHeader, bank, kBank);
    return blob;
}

// A bank made in the VST build: every program named and edited on both
// channels, each left on a different channel; program 3 current.
float editedValue(int k, int program, int channel) {
    return 0.05f * float(k + 1) + 0.01f * float(program) + 0.3f * float(channel);
}

std::vector<unsigned char> editedVstState(std::vector<float>& currentValues) {
    LoadedPlugin library;
    VstReference vst(library, 44100.0f, 512);
    AEffect* e = vst.effect();
    if (!e)
        return {};
    const int perChannel[] = {0, 2, 4, 5, 6, 7, 8, 9};
    for (int p = 0; p < 10; ++p) {
        vst.dispatch(effSetProgram, 0, p);
        char name[32];
        std::snprintf(name, sizeof(name), "Sound %d", p);
        vst.dispatch(effSetProgramName, 0, 0, name);
        for (int channel : {1, 0}) {
            e->setParameter(e, 1, float(channel));
            for (int k = 0; k < 8; ++k)
                e->setParameter(e, perChannel[k], editedValue(k, p, channel));
        }
        e->setParameter(e, 1, float(p % 2));
        e->setParameter(e, 3, 0.1f * float(p));
        e->setParameter(e, 10, float(p % 3 == 0));
        e->setParameter(e, 12, float(p % 4 == 1));
    }
    vst.dispatch(effSetProgram, 0, 3);
    currentValues.assign(13, 0.0f);
    for (int i = 0; i < 13; ++i)
        currentValues[i] = e->getParameter(e, i);
    void* bank = nullptr;
    if (vst.dispatch(effGetChunk, 0, 0, &bank) != static_cast<VstIntPtr>(kBank) || !bank)
        return {};
    return stateFor(static_cast<const unsigned char*>(bank), 3);
}

std::vector<unsigned char> save(ClapTestHost& host) {
    MemoryOut out;
    out.chunkLimit = 100;  // hosts may take a state in pieces
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    EXPECT_TRUE(state && state->save(host.plugin(), &out.stream));
    return out.bytes;
}

bool load(ClapTestHost& host, const std::vector<unsigned char>& blob, size_t chunk = SIZE_MAX) {
    MemoryIn in(blob, chunk);
    auto* state = host.extension<clap_plugin_state>(CLAP_EXT_STATE);
    return state && state->load(host.plugin(), &in.stream);
}

std::vector<double> values(ClapTestHost& host) {
    auto* params = host.extension<clap_plugin_params>(CLAP_EXT_PARAMS);
    std::vector<double> v(13);
    for (uint32_t i = 0; i < 13; ++i)
        params->get_value(host.plugin(), i, &v[i]);
    return v;
}

}  // namespace

TEST(ClapState, AVstBankLoadsAndSavesBackUnchangedWithBothChannels) {
    std::vector<float> expected;
    const std::vector<unsigned char> blob = editedVstState(expected);
    ASSERT_EQ(blob.size(), kHeader + kBank);

    ClapTestHost first(CORVEX_CLAP_PATH);
    ASSERT_NE(first.create(), nullptr) << first.error();
    ASSERT_TRUE(load(first, blob, 7));  // read in small pieces
    EXPECT_EQ(first.rescans, 1);
    EXPECT_NE(first.lastRescanFlags & CLAP_PARAM_RESCAN_VALUES, 0u);
    const std::vector<double> now = values(first);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(now[i], expected[i]) << "parameter " << i;
    const std::vector<unsigned char> saved = save(first);
    ASSERT_EQ(saved.size(), kSavedHeader + kBank);
    EXPECT_EQ(std::memcmp(saved.data(), "CRVXAMPS\x02\0\0\0", 12), 0) << "marker, version";
    EXPECT_EQ(saved[12], 3) << "current program";
    // Every program, both channels: the records come back byte for byte.
    for (int p = 0; p < 10; ++p)
        EXPECT_EQ(
            std::memcmp(saved.data() + kSavedHeader + p * kProgram, blob.data() + kHeader + p * kProgram, kProgram), 0)
            << "program " << p;

    // A second instance from the saved state: the other channel of the
    // current program is there too.
    ClapTestHost second(CORVEX_CLAP_PATH);
    ASSERT_NE(second.create(), nullptr);
    ASSERT_TRUE(load(second, saved));
    EXPECT_EQ(values(second), now);
    InputEvents toOther;
    toOther.add(0, 1, 0.0);  // program 3 was left on channel 1
    OutputEvents sent;
    second.flush(toOther, sent);
    const std::vector<double> other = values(second);
    EXPECT_EQ(other[2], editedValue(1, 3, 0)) << "channel 0's own Drive";
    EXPECT_EQ(now[2], editedValue(1, 3, 1)) << "channel 1's Drive";
    EXPECT_FALSE(sent.events.empty()) << "the recalled values are reported";
    EXPECT_EQ(save(second).size(), saved.size());
}

TEST(ClapState, DamagedBlobsAreRefusedAndChangeNothing) {
    std::vector<float> expected;
    const std::vector<unsigned char> good = editedVstState(expected);
    ASSERT_EQ(good.size(), kHeader + kBank);

    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    InputEvents edit;
    edit.add(0, 2, 0.8);
    OutputEvents ignored;
    host.flush(edit, ignored);
    const std::vector<unsigned char> before = save(host);
    const std::vector<double> valuesBefore = values(host);

    auto damaged = [&](auto change) {
        std::vector<unsigned char> blob = good;
        change(blob);
        return blob;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<const char*, std::vector<unsigned char>>> cases = {
        {"empty", {}},
        {"header only", std::vector<unsigned char>(good.begin(), good.begin() + kHeader)},
        {"one byte short", std::vector<unsigned char>(good.begin(), good.end() - 1)},
        {"one byte long", damaged([](auto& b) { b.push_back(0); })},
        {"a bare VST bank", std::vector<unsigned char>(good.begin() + kHeader, good.end())},
        {"wrong marker", damaged([](auto& b) { b[0] = 'X'; })},
        {"version 2", damaged([](auto& b) { putU32(b, 8, 2); })},
        {"version 0", damaged([](auto& b) { putU32(b, 8, 0); })},
        {"program 10", damaged([](auto& b) { putU32(b, 12, 10); })},
        {"bank size 208", damaged([](auto& b) { putU32(b, 16, 208); })},
        {"NaN Drive in program 5",
         damaged([&](auto& b) { std::memcpy(b.data() + kHeader + 5 * kProgram + 32, &nan, 4); })},
        {"infinite channel value in program 9",
         damaged([&](auto& b) { std::memcpy(b.data() + kHeader + 9 * kProgram + 200, &inf, 8); })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_FALSE(load(host, c.second));
        EXPECT_EQ(values(host), valuesBefore);
        EXPECT_EQ(save(host), before);
    }
    EXPECT_EQ(host.rescans, 0);
    // The good one still loads afterwards.
    EXPECT_TRUE(load(host, good));
}

namespace {

std::vector<unsigned char> fixture(const char* name) {
    std::FILE* file = std::fopen((std::string(CORVEX_CLAP_FIXTURES) + "/" + name).c_str(), "rb");
    std::vector<unsigned char> bytes;
    if (!file)
        return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF)
        bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    return bytes;
}

// The loudest sample of 2048 frames of a 110 Hz sine at 0.3 in both inputs.
float peakOf(ClapTestHost& host) {
    std::vector<float> inL(256), inR(256), outL(256), outR(256);
    float* in[2] = {inL.data(), inR.data()};
    float* out[2] = {outL.data(), outR.data()};
    float peak = 0.0f;
    for (int block = 0, n = 0; block < 8; ++block) {
        for (int i = 0; i < 256; ++i, ++n)
            inL[i] = inR[i] = 0.3f * static_cast<float>(std::sin(6.283185307179586 * 110.0 * n / 44100.0));
        OutputEvents sent;
        host.process(in, out, 256, InputEvents(), sent);
        for (int i = 0; i < 256; ++i)
            peak = std::max(peak, std::max(std::fabs(outL[i]), std::fabs(outR[i])));
    }
    return peak;
}

}  // namespace

// Sessions the CLAP build saved before the engine's shared layout
// (tests/clap/fixtures): every value comes back, and the bank is saved again
// byte for byte in the shared layout.
TEST(ClapState, SessionsSavedByEarlierBuildsLoad) {
    struct Case {
        const char* file;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"clap_default.bin", {0.5, 0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0, 0, 0}},
        {"clap_two_channels.bin",
         {0.65f, 1, 0.9f, 0.25f, 0.55f, 0.15f, 0.95f, 0.05f, 0.75f, 0.4f, 1, 0, 1}},
        {"clap_high_quality_loud.bin", {0.5, 0, 1, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 1, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<unsigned char> blob = fixture(c.file);
        ASSERT_EQ(blob.size(), kHeader + kBank);
        ClapTestHost host(CORVEX_CLAP_PATH);
        ASSERT_NE(host.create(), nullptr) << host.error();
        ASSERT_TRUE(load(host, blob, 13));
        EXPECT_EQ(values(host), c.values);
        const std::vector<unsigned char> again = save(host);
        ASSERT_EQ(again.size(), kSavedHeader + kBank);
        EXPECT_EQ(std::memcmp(again.data() + kSavedHeader, blob.data() + kHeader, kBank), 0);
    }
}

// Values no knob can reach are refused like any other damage: a channel's
// Volume of -32768 or 1e30 (one flipped exponent byte), above 1, NaN.
TEST(ClapState, ValuesOutsideTheirRangeAreRefused) {
    const std::vector<unsigned char> good = fixture("clap_two_channels.bin");
    ASSERT_EQ(good.size(), kHeader + kBank);
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    const std::vector<unsigned char> before = save(host);
    const double channelVolume = kHeader + 80 + 48;  // program 0, channel 0
    for (double bad : {-32768.0, 1e30, 1.0000001, -1e-9, std::nan("")}) {
        std::vector<unsigned char> blob = good;
        std::memcpy(blob.data() + static_cast<size_t>(channelVolume), &bad, 8);
        EXPECT_FALSE(load(host, blob)) << bad;
        EXPECT_EQ(save(host), before) << bad;
    }
    for (float bad : {2.0f, -0.25f, INFINITY}) {
        std::vector<unsigned char> blob = good;
        std::memcpy(blob.data() + kHeader + 3 * kProgram + 36, &bad, 4);  // program 3's Mix PLS
        EXPECT_FALSE(load(host, blob)) << bad;
    }
    EXPECT_TRUE(load(host, good));
}

// One flipped byte anywhere in a valid state never makes the output louder
// than the loudest valid setting.
TEST(ClapState, NoFlippedByteMakesTheOutputLouderThanTheLoudestSetting) {
    ClapTestHost loudest(CORVEX_CLAP_PATH);
    ASSERT_NE(loudest.create(), nullptr) << loudest.error();
    InputEvents all;
    for (uint32_t i = 0; i < 13; ++i)
        if (i != 1 && i != 11)
            all.add(0, i, 1.0);
    OutputEvents ignored;
    loudest.flush(all, ignored);
    ASSERT_TRUE(loudest.activate(44100.0, 256));
    const float ceiling = peakOf(loudest);
    ASSERT_GT(ceiling, 0.0f);

    const std::vector<unsigned char> good = fixture("clap_two_channels.bin");
    ASSERT_EQ(good.size(), kHeader + kBank);
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    int accepted = 0;
    // The header and program 0 (current in this state), each byte flipped
    // in its top bit, its exponent-carrying bits, and whole.
    for (size_t at = 0; at < kHeader + kProgram; ++at) {
        for (unsigned char flip : {0x80, 0x7f, 0xff}) {
            std::vector<unsigned char> blob = good;
            blob[at] ^= flip;
            if (!load(host, blob))
                continue;
            ++accepted;
            ASSERT_TRUE(host.activate(44100.0, 256));
            const float peak = peakOf(host);
            host.deactivate();
            ASSERT_LE(peak, ceiling) << "byte " << at << " flipped by " << int(flip);
        }
    }
    EXPECT_GT(accepted, 50) << "names and other harmless bytes load";
}

TEST(ClapState, ActivateRefusesRatesTheAmpCannotRunAt) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    for (double rate : {1e39, 0.0, -48000.0, std::nan(""), double(INFINITY), 5e6, 10.0})
        EXPECT_FALSE(host.activate(rate, 256)) << rate;
    EXPECT_TRUE(host.activate(48000.0, 256));
    host.deactivate();
}

// A state loaded while the host plays takes effect at the next block, whose
// first events tell the host every value that changed (not to be recorded).
TEST(ClapState, AStateLoadedDuringPlaybackReachesTheHostAtTheNextBlock) {
    const std::vector<unsigned char> blob = fixture("clap_two_channels.bin");
    ASSERT_EQ(blob.size(), kHeader + kBank);
    ClapTestHost host(CORVEX_CLAP_PATH);
    ASSERT_NE(host.create(), nullptr) << host.error();
    ASSERT_TRUE(host.activate(44100.0, 64));
    std::vector<float> l(64), r(64);
    float* channels[2] = {l.data(), r.data()};
    OutputEvents before;
    host.process(channels, channels, 64, InputEvents(), before);
    ASSERT_TRUE(load(host, blob));
    OutputEvents sent;
    host.process(channels, channels, 64, InputEvents(), sent);
    const std::vector<double> now = values(host);
    EXPECT_EQ(now[2], 0.9f);
    EXPECT_EQ(now[1], 1.0);
    int reported = 0;
    for (const SentEvent& e : sent.events) {
        if (e.type != CLAP_EVENT_PARAM_VALUE)
            continue;
        EXPECT_EQ(e.time, 0u);
        EXPECT_NE(e.flags & CLAP_EVENT_DONT_RECORD, 0u);
        EXPECT_EQ(e.value, now[e.param]) << e.param;
        ++reported;
    }
    EXPECT_GE(reported, 10) << "every value the state changed";
    host.deactivate();
}
