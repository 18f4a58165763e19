// The format-neutral engine on its own: the same values, displays and sound
// as the VST 2.4 effect, the state it saves and the layouts it reads (with
// the CLAP build's saved sessions), the hostile states it refuses without
// changing anything, rates it cannot honour, and the lock-free queue fed
// from several threads at once.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "model/AmpEngine.h"
#include "model/AmpState.h"
#include "model/Corvex.h"

using corvex::AmpEngine;

// What every CLAP, LV2 and VST3 instance holds in place (the designs of both
// quality positions included); the CLAP instance benchmark measures the
// resident memory an instance adds.
static_assert(sizeof(AmpEngine) < 64 * 1024, "an engine keeps its own state under 64 KiB");

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::vector<unsigned char> saved(const AmpEngine& engine) {
    std::vector<unsigned char> blob(AmpEngine::kStateSize);
    EXPECT_EQ(engine.saveState(blob.data(), blob.size()), AmpEngine::kStateSize);
    return blob;
}

std::array<float, AmpEngine::kParameterCount> valuesOf(const AmpEngine& engine) {
    std::array<float, AmpEngine::kParameterCount> v{};
    for (int i = 0; i < AmpEngine::kParameterCount; ++i)
        v[i] = engine.value(i);
    return v;
}

std::vector<unsigned char> fixture(const char* name) {
    std::ifstream file(std::string(CORVEX_CLAP_FIXTURES) + "/" + name, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// An engine edited on both channels of program 0 and renamed.
void edit(AmpEngine& engine) {
    engine.post(corvex::kDrive, 0.2);
    engine.post(corvex::kContour, 0.3);
    engine.post(corvex::kChannel, 1.0);
    engine.post(corvex::kDrive, 0.9);
    engine.post(corvex::kContour, 0.7);
    engine.post(corvex::kMonoStereo, 1.0);
    engine.flush();
}

double peakOf(AmpEngine& engine, int frames) {
    std::vector<float> in(256), left(256), right(256);
    double peak = 0.0;
    for (int done = 0, n = 0; done < frames; done += 256) {
        for (float& s : in)
            s = 0.3f * static_cast<float>(std::sin(6.283185307179586 * 110.0 * n++ / 44100.0));
        engine.process(in.data(), in.data(), left.data(), right.data(), 256);
        for (int i = 0; i < 256; ++i)
            peak = std::max(peak, static_cast<double>(std::max(std::fabs(left[i]), std::fabs(right[i]))));
    }
    return peak;
}

}  // namespace

TEST(AmpEngine, SoundsAndShowsExactlyAsTheVstEffect) {
    Corvex effect(quietHost);
    AmpEngine engine;
    const std::pair<int, float> settings[] = {{corvex::kDrive, 0.8f}, {corvex::kChannel, 1.0f},
                                              {corvex::kQuality, 1.0f}, {corvex::kMonoStereo, 1.0f},
                                              {corvex::kVolume, 0.37f}};
    for (const auto& [index, value] : settings) {
        effect.setParameter(index, value);
        engine.post(index, value);
    }
    std::vector<float> inL(512), inR(512), vstL(512), vstR(512), engL(512), engR(512);
    for (int i = 0; i < 512; ++i) {
        inL[i] = 0.4f * std::sin(0.03f * i);
        inR[i] = 0.2f * std::cos(0.05f * i);
    }
    for (int block = 0; block < 4; ++block) {
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {vstL.data(), vstR.data()};
        effect.processReplacing(in, out, 512);
        engine.process(inL.data(), inR.data(), engL.data(), engR.data(), 512);
        ASSERT_EQ(std::memcmp(vstL.data(), engL.data(), 512 * sizeof(float)), 0) << "block " << block;
        ASSERT_EQ(std::memcmp(vstR.data(), engR.data(), 512 * sizeof(float)), 0) << "block " << block;
    }
    for (int i = 0; i < AmpEngine::kParameterCount; ++i) {
        EXPECT_EQ(engine.value(i), effect.getParameter(i)) << i;
        char vst[16] = {}, ours[16] = {};
        effect.getParameterDisplay(i, vst);
        ASSERT_TRUE(AmpEngine::displayText(i, engine.value(i), ours, sizeof(ours), false));
        EXPECT_STREQ(ours, vst) << i;
    }
    char name[80] = {};  // the vendor string is 64 characters and a zero
    effect.getEffectName(name);
    EXPECT_STREQ(name, AmpEngine::effectName());
    effect.getVendorString(name);
    EXPECT_STREQ(name, AmpEngine::vendorName());
    EXPECT_EQ(effect.getVendorVersion(), AmpEngine::vendorVersion());
}

// A typed value reads the same however it is written: trailing zeros, an
// exponent or a long run of digits must not leave the last bit to the C
// library's pow() (which differs between the Linux and Windows builds).
TEST(AmpEngine, TypedValuesReadExactlyHoweverWritten) {
    double v = -1.0;
    for (const char* text : {"0.75", "0.75000000000000000000000000", "75e-2", "7500e-4", "0.0075e2",
                             "750000000000000000000000000e-27", "000000000000000000000000000000.75",
                             "0.7500000000000000000000000000000000000000000000000000000001"}) {
        v = -1.0;
        ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, text, v)) << text;
        EXPECT_EQ(v, 0.75) << text;
    }
    ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, "1e-30", v));
    EXPECT_GT(v, 0.0);
    EXPECT_NEAR(v, 1e-30, 1e-44);
    ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, "0.000000000000000000000000000001", v));
    EXPECT_NEAR(v, 1e-30, 1e-44);
    ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, "1e-400", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, "0e400", v));
    EXPECT_EQ(v, 0.0);
    ASSERT_TRUE(AmpEngine::textToValue(corvex::kDrive, "1000000000000000000000000000000000000000000000000", v));
    EXPECT_EQ(v, 1.0) << "held to the range";
}

TEST(AmpEngine, DisplaysAndTypedValuesRoundTrip) {
    char text[32];
    ASSERT_TRUE(AmpEngine::displayText(corvex::kVolume, 0.5f, text, sizeof(text), true));
    EXPECT_STREQ(text, "-6.02060 dB");
    ASSERT_TRUE(AmpEngine::displayText(corvex::kVolume, 0.0f, text, sizeof(text), true));
    EXPECT_STREQ(text, "-oo dB");
    ASSERT_TRUE(AmpEngine::displayText(corvex::kDrive, 0.25f, text, 5, true));
    EXPECT_STREQ(text, "0.25") << "cut to the capacity";
    EXPECT_FALSE(AmpEngine::displayText(13, 0.5f, text, sizeof(text), true));

    double v = -1.0;
    EXPECT_TRUE(AmpEngine::textToValue(corvex::kVolume, "-6.02060 dB", v));
    EXPECT_NEAR(v, 0.5, 1e-6);
    EXPECT_TRUE(AmpEngine::textToValue(corvex::kVolume, "-oo", v));
    EXPECT_EQ(v, 0.0);
    EXPECT_TRUE(AmpEngine::textToValue(corvex::kDrive, " 0.75 ", v));
    EXPECT_EQ(v, 0.75);
    EXPECT_TRUE(AmpEngine::textToValue(corvex::kDrive, "1e400", v));
    EXPECT_EQ(v, 1.0) << "held to the range";
    EXPECT_TRUE(AmpEngine::textToValue(corvex::kDrive, "-3", v));
    EXPECT_EQ(v, 0.0);
    for (const char* bad : {"", "abc", "0.5 dB", "0,5x", "nan", "-", ".", "1e"}) {
        double untouched = 0.42;
        if (std::strcmp(bad, "1e") == 0) {
            EXPECT_TRUE(AmpEngine::textToValue(corvex::kDrive, bad, untouched) == false || untouched == 1.0);
            continue;
        }
        EXPECT_FALSE(AmpEngine::textToValue(corvex::kDrive, bad, untouched)) << bad;
        EXPECT_EQ(untouched, 0.42) << bad;
    }
    // Every one of 1000 displays reads back to within the display's precision.
    for (int k = 0; k <= 1000; ++k) {
        const float value = k / 1000.0f;
        for (int index : {corvex::kInput, corvex::kVolume}) {
            ASSERT_TRUE(AmpEngine::displayText(index, value, text, sizeof(text), true));
            double back = -1.0;
            ASSERT_TRUE(AmpEngine::textToValue(index, text, back)) << text;
            EXPECT_NEAR(back, value, index == corvex::kVolume ? 2e-5 + value * 2e-5 : 1e-6) << text;
        }
    }
}

TEST(AmpEngine, RatesItCannotHonourAreRefused) {
    AmpEngine engine;
    ASSERT_TRUE(engine.setSampleRate(48000.0));
    const std::vector<unsigned char> before = saved(engine);
    for (double rate : {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e39, 999.0, 2e6}) {
        EXPECT_FALSE(engine.setSampleRate(rate)) << rate;
        EXPECT_EQ(engine.sampleRate(), 48000.0);
        EXPECT_EQ(engine.oversampling(), 4);
    }
    EXPECT_EQ(saved(engine), before);
    EXPECT_GT(peakOf(engine, 4096), 1e-3);
}

TEST(AmpEngine, AStateSavedLoadsIntoAnotherEngineWithBothChannels) {
    AmpEngine first;
    edit(first);
    first.postProgram(4);
    first.post(corvex::kLow, 0.1);
    first.flush();
    const std::vector<unsigned char> blob = saved(first);
    EXPECT_EQ(std::memcmp(blob.data(), "CRVXAMPS", 8), 0);

    AmpEngine second;
    ASSERT_TRUE(second.loadState(blob.data(), blob.size()));
    second.flush();
    EXPECT_EQ(second.currentProgram(), 4);
    EXPECT_EQ(valuesOf(second), valuesOf(first));
    EXPECT_EQ(saved(second), blob);
    // Program 0's channel 0, which nothing showed since.
    second.postProgram(0);
    second.post(corvex::kChannel, 0.0);
    second.flush();
    EXPECT_EQ(second.value(corvex::kDrive), 0.2f);
    EXPECT_EQ(second.value(corvex::kContour), 0.3f);
    char name[32];
    ASSERT_TRUE(second.programName(9, name, sizeof(name)));
    EXPECT_STREQ(name, "Init");
}

// Sessions the CLAP build saved before the shared layout (tests/clap/fixtures).
TEST(AmpEngine, TheClapBuildsSavedStatesLoad) {
    struct Case {
        const char* file;
        std::array<float, 13> values;
    };
    const Case cases[] = {
        {"clap_default.bin", {0.5f, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 0}},
        {"clap_two_channels.bin", {0.65f, 1, 0.9f, 0.25f, 0.55f, 0.15f, 0.95f, 0.05f, 0.75f, 0.4f, 1, 0, 1}},
        {"clap_high_quality_loud.bin", {0.5f, 0, 1, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<unsigned char> blob = fixture(c.file);
        ASSERT_EQ(blob.size(), 2100u);
        AmpEngine engine;
        ASSERT_TRUE(engine.loadState(blob.data(), blob.size()));
        engine.flush();
        EXPECT_EQ(valuesOf(engine), c.values);
        // The bank inside comes back byte for byte in the new layout.
        const std::vector<unsigned char> now = saved(engine);
        EXPECT_EQ(std::memcmp(now.data() + corvex::kStateHeaderSize, blob.data() + 20, kBankChunkSize), 0);
    }
    // Channel 0 of the two-channel session kept its own values.
    const std::vector<unsigned char> blob = fixture("clap_two_channels.bin");
    AmpEngine engine;
    ASSERT_TRUE(engine.loadState(blob.data(), blob.size()));
    engine.post(corvex::kChannel, 0.0);
    engine.flush();
    EXPECT_EQ(engine.value(corvex::kDrive), 0.2f);
    EXPECT_EQ(engine.value(corvex::kLow), 0.1f);
    EXPECT_EQ(engine.value(corvex::kVolume), 0.6f);
}

TEST(AmpEngine, TheLv2BuildsLayoutLoads) {
    AmpEngine source;
    edit(source);
    const std::vector<unsigned char> ours = saved(source);
    std::vector<unsigned char> lv2(16 + kBankChunkSize);
    std::memcpy(lv2.data(), "CVXB", 4);
    const uint32_t header[3] = {1, 0, static_cast<uint32_t>(kBankChunkSize)};
    std::memcpy(lv2.data() + 4, header, sizeof(header));
    std::memcpy(lv2.data() + 16, ours.data() + corvex::kStateHeaderSize, kBankChunkSize);
    AmpEngine engine;
    ASSERT_TRUE(engine.loadState(lv2.data(), lv2.size()));
    engine.flush();
    EXPECT_EQ(valuesOf(engine), valuesOf(source));
}

TEST(AmpEngine, HostileStatesAreRefusedAndChangeNothing) {
    AmpEngine source;
    edit(source);
    const std::vector<unsigned char> good = saved(source);
    const std::vector<unsigned char> clap = fixture("clap_two_channels.bin");
    ASSERT_EQ(clap.size(), 2100u);

    auto changed = [&](const std::vector<unsigned char>& from, auto change) {
        std::vector<unsigned char> blob = from;
        change(blob);
        return blob;
    };
    auto putFloat = [](std::vector<unsigned char>& b, size_t at, float v) { std::memcpy(b.data() + at, &v, 4); };
    auto putDouble = [](std::vector<unsigned char>& b, size_t at, double v) { std::memcpy(b.data() + at, &v, 8); };
    const size_t h = corvex::kStateHeaderSize;
    const float nanF = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::pair<std::string, std::vector<unsigned char>>> cases = {
        {"empty", {}},
        {"header only", std::vector<unsigned char>(good.begin(), good.begin() + h)},
        {"one byte short", std::vector<unsigned char>(good.begin(), good.end() - 1)},
        {"one byte long", changed(good, [](auto& b) { b.push_back(0); })},
        {"a bare bank", std::vector<unsigned char>(good.begin() + h, good.end())},
        {"wrong marker", changed(good, [](auto& b) { b[3] = 'Y'; })},
        {"version 3", changed(good, [](auto& b) { b[8] = 3; })},
        {"version 1", changed(good, [](auto& b) { b[8] = 1; })},
        {"program 10", changed(good, [](auto& b) { b[12] = 10; })},
        {"program -1", changed(good, [](auto& b) { std::memset(b.data() + 12, 0xff, 4); })},
        {"eleven programs", changed(good, [](auto& b) { b[16] = 11; })},
        {"NaN Mix PLS", changed(good, [&](auto& b) { putFloat(b, h + 208 * 2 + 36, nanF); })},
        {"infinite Drive", changed(good, [&](auto& b) { putFloat(b, h + 32, INFINITY); })},
        {"Volume -32768", changed(good, [&](auto& b) { putDouble(b, h + 80 + 48, -32768.0); })},
        {"Volume 1e30", changed(good, [&](auto& b) { putDouble(b, h + 208 * 9 + 144 + 48, 1e30); })},
        {"Input 1.0001", changed(good, [&](auto& b) { putFloat(b, h + 24, 1.0001f); })},
        {"boost -0.5", changed(good, [&](auto& b) { putFloat(b, h + 72, -0.5f); })},
        {"legacy CLAP, NaN channel value", changed(clap, [&](auto& b) { putDouble(b, 20 + 104, NAN); })},
        {"legacy CLAP, Volume 2", changed(clap, [&](auto& b) { putDouble(b, 20 + 80 + 48, 2.0); })},
        {"legacy CLAP, version 2", changed(clap, [](auto& b) { b[8] = 2; })},
        {"legacy CLAP, one byte long", changed(clap, [](auto& b) { b.push_back(0); })},
    };
    AmpEngine engine;
    edit(engine);
    const std::vector<unsigned char> before = saved(engine);
    const auto valuesBefore = valuesOf(engine);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_FALSE(AmpEngine::isValidState(c.second.data(), c.second.size()));
        EXPECT_FALSE(engine.loadState(c.second.data(), c.second.size()));
        engine.flush();
        EXPECT_EQ(saved(engine), before);
        EXPECT_EQ(valuesOf(engine), valuesBefore);
    }
    EXPECT_FALSE(engine.loadState(nullptr, good.size()));
    EXPECT_TRUE(engine.loadState(good.data(), good.size()));
}

// Every single flipped bit of a saved state: refused, or every value it
// carries still within 0..1, so no flip makes the amp louder than its
// loudest valid setting.
TEST(AmpEngine, NoFlippedBitMakesTheAmpLouderThanItsLoudestSetting) {
    AmpEngine loudest;
    for (int i = 0; i < AmpEngine::kParameterCount; ++i)
        if (i != corvex::kChannel && i != corvex::kQuality)
            loudest.post(i, 1.0);
    loudest.flush();
    const double ceiling = peakOf(loudest, 8192);

    AmpEngine source;
    edit(source);
    const std::vector<unsigned char> good = saved(source);
    int accepted = 0, heard = 0;
    for (size_t byte = 0; byte < good.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<unsigned char> blob = good;
            blob[byte] ^= static_cast<unsigned char>(1u << bit);
            corvex::StateContents contents;
            if (!corvex::readState(blob.data(), blob.size(), contents))
                continue;
            ++accepted;
            // Only the current program's values reach the sound; play those.
            const size_t record = corvex::kStateHeaderSize + kProgramChunkSize * contents.currentProgram;
            if (byte < record + 24 || byte >= record + kProgramChunkSize || (byte >= record + 76 && byte < record + 80))
                continue;
            AmpEngine engine;
            ASSERT_TRUE(engine.loadState(blob.data(), blob.size()));
            engine.flush();
            ++heard;
            ASSERT_LE(peakOf(engine, 2048), ceiling * 1.0001) << "byte " << byte << " bit " << bit;
        }
    }
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(heard, 100);
}

// Three control threads post to the queue at once while the audio thread
// runs blocks: every value arrives, in each thread's order.
TEST(AmpEngine, SeveralThreadsPostWhileAudioRuns) {
    AmpEngine engine;
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> in(64, 0.1f), l(64), r(64);
        while (!stop.load())
            engine.process(in.data(), in.data(), l.data(), r.data(), 64);
    });
    const int params[3] = {corvex::kMixPls, corvex::kLow, corvex::kHigh};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t) {
        posters.emplace_back([&, t] {
            for (int k = 1; k <= 2000; ++k) {
                while (!engine.post(params[t], k / 2000.0))
                    std::this_thread::yield();  // full: the audio thread catches up
            }
        });
    }
    for (std::thread& p : posters)
        p.join();
    stop.store(true);
    audio.join();
    engine.flush();
    for (int p : params)
        EXPECT_EQ(engine.value(p), 1.0f) << p;
    EXPECT_FALSE(engine.post(13, 0.5));
    EXPECT_FALSE(engine.post(corvex::kDrive, std::nan("")));
    EXPECT_FALSE(engine.postProgram(10));
}

TEST(AmpEngine, ChangesTheEngineMadeItselfAreSeen) {
    AmpEngine engine;
    engine.takeChangedMask();
    engine.post(corvex::kDrive, 0.9);
    engine.flush();
    EXPECT_EQ(engine.takeChangedMask(), 1u << corvex::kDrive);
    engine.post(corvex::kChannel, 1.0);
    engine.flush();
    const uint32_t recalled = engine.takeChangedMask();
    for (int i : corvex::kChannelReapplyOrder)
        EXPECT_NE(recalled & (1u << i), 0u) << i;
    EXPECT_EQ(engine.value(corvex::kDrive), 0.5f) << "channel 1's own Drive";
    EXPECT_EQ(engine.takeChangedMask(), 0u);
}
