// What reaches the amp from outside through the LV2 plug-in: saved sessions
// (the fixtures of tests/lv2/fixtures, saved by earlier builds, must load
// and sound as the VST 2.4 build loaded with the same bank), damaged or
// hostile state blobs (refused, nothing changed, never louder than the
// loudest valid setting), and control port values outside 0..1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "model/ParameterTable.h"
#include "model/Programs.h"
#include "tests/lv2/Lv2SavedState.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/LoadedPlugin.h"

namespace {

enum : uint32_t {
    kInput = 0,
    kChannel = 1,
    kDrive = 2,
    kMixPls = 3,
    kLow = 4,
    kMid = 5,
    kHigh = 6,
    kContour = 7,
    kPowerAmp = 8,
    kVolume = 9,
    kStereo = 10,
    kQuality = 11,
    kBoost = 12
};
constexpr size_t kBlock = 512;

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string fixture(const char* name) {
    return std::string(CORVEX_LV2_FIXTURES) + "/" + name;
}

// The bank and current program a saved blob carries, in whichever layout.
using Bank = SavedBank;

bool bankOf(const std::vector<unsigned char>& blob, Bank& bank) {
    return readSavedState(blob, bank);
}

// A loud guitar-like test signal, different on both sides.
void signal(size_t block, std::vector<float>& left, std::vector<float>& right, float gain = 0.5f) {
    left.resize(kBlock);
    right.resize(kBlock);
    for (size_t i = 0; i < kBlock; ++i) {
        const double n = static_cast<double>(block * kBlock + i);
        left[i] = gain * static_cast<float>(std::sin(0.0144 * n));
        right[i] = gain * static_cast<float>(0.7 * std::sin(0.0191 * n) + 0.3 * std::sin(0.051 * n));
    }
}

// The VST 2.4 build with the given bank and current program, at a rate.
class VstReference {
public:
    VstReference(const LoadedPlugin& plugin, float rate, const Bank& bank) {
        effect = plugin.entry() ? plugin.entry()(quietHost) : nullptr;
        if (!effect)
            return;
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        effect->dispatcher(effect, effSetProgram, 0, static_cast<VstIntPtr>(bank.current), nullptr, 0.0f);
        effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(kBankChunkSize),
                           const_cast<CorvexProgram*>(bank.programs), 0.0f);
    }
    ~VstReference() {
        if (effect)
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    void run(std::vector<float>& left, std::vector<float>& right) {
        outL.resize(kBlock);
        outR.resize(kBlock);
        float* in[2] = {left.data(), right.data()};
        float* out[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, in, out, static_cast<VstInt32>(kBlock));
    }
    AEffect* effect = nullptr;
    std::vector<float> outL, outR;
};

// The LV2 instance and the reference give the same samples for `blocks`.
void expectSameSamples(Lv2Instance& amp, VstReference& vst, int blocks, const char* what) {
    std::vector<float> left, right;
    for (int b = 0; b < blocks; ++b) {
        signal(static_cast<size_t>(b), left, right);
        amp.run(left.data(), right.data(), kBlock);
        vst.run(left, right);
        ASSERT_EQ(std::memcmp(amp.outLeft(), vst.outL.data(), kBlock * sizeof(float)), 0) << what << " block " << b;
        ASSERT_EQ(std::memcmp(amp.outRight(), vst.outR.data(), kBlock * sizeof(float)), 0) << what << " block " << b;
    }
}

// The current program's value of a parameter, as the program record holds it.
float programValue(const CorvexProgram& p, uint32_t index) {
    const float values[] = {p.input, p.channel, p.drive,  p.mixPls,     p.low,     p.mid,  p.high,
                            p.contour, p.powerAmp, p.volume, p.monoStereo, p.quality, p.boost};
    return values[index];
}

class Lv2State : public ::testing::Test {
protected:
    Lv2World world{CORVEX_LV2_PATH};
    LoadedPlugin plugin;
    void SetUp() override {
        ASSERT_NE(world.plugin, nullptr) << "the bundle is not in " << CORVEX_LV2_PATH;
        ASSERT_NE(plugin.entry(), nullptr) << "cannot load " << CORVEX_PLUGIN_PATH;
    }
};

// ---- sessions saved by earlier builds ----

struct FixtureCase {
    const char* name;
    double rate;
};
const FixtureCase kFixtures[] = {{"two-channels", 48000.0}, {"ten-programs", 44100.0}};

TEST_F(Lv2State, SavedBlobsOfEarlierBuildsLoadAndSoundAsTheVstBuildWithTheirBank) {
    for (const FixtureCase& f : kFixtures) {
        const std::vector<unsigned char> blob = readFile(fixture(f.name) + std::string(".cvxb"));
        Bank bank;
        ASSERT_TRUE(bankOf(blob, bank)) << f.name;
        Lv2Instance amp(world, f.rate);
        ASSERT_NE(amp.instance, nullptr);
        ASSERT_EQ(amp.restoreBlob(blob), LV2_STATE_SUCCESS) << f.name;
        VstReference vst(plugin, static_cast<float>(f.rate), bank);
        ASSERT_NE(vst.effect, nullptr);
        expectSameSamples(amp, vst, 12, f.name);
        for (uint32_t i = 0; i < Lv2Instance::kControls; ++i)
            EXPECT_EQ(amp.actual[i], programValue(bank.programs[bank.current], i)) << f.name << " parameter " << i;
        // Saved again, the session holds the same bank and program.
        Bank again;
        ASSERT_TRUE(bankOf(amp.savedBlob(), again)) << f.name;
        EXPECT_EQ(again.current, bank.current) << f.name;
        EXPECT_EQ(std::memcmp(again.programs, bank.programs, sizeof bank.programs), 0) << f.name;
    }
}

TEST_F(Lv2State, SessionsOfEarlierBuildsReopenThroughLilvWithTheStateWinningOverStalePorts) {
    for (const FixtureCase& f : kFixtures) {
        Bank bank;
        ASSERT_TRUE(bankOf(readFile(fixture(f.name) + std::string(".cvxb")), bank)) << f.name;
        const std::vector<unsigned char> text = readFile(fixture(f.name) + std::string(".ttl"));
        const std::string session(text.begin(), text.end());
        Lv2Instance amp(world, f.rate);
        ASSERT_NE(amp.instance, nullptr);
        LilvState* state = lilv_state_new_from_string(world.world, &world.urids.mapFeature, session.c_str());
        ASSERT_NE(state, nullptr) << f.name;
        amp.restoreState(state);
        lilv_state_free(state);
        VstReference vst(plugin, static_cast<float>(f.rate), bank);
        ASSERT_NE(vst.effect, nullptr);
        expectSameSamples(amp, vst, 12, f.name);
        const CorvexProgram& current = bank.programs[bank.current];
        for (uint32_t i = 0; i < Lv2Instance::kControls; ++i)
            EXPECT_EQ(amp.actual[i], programValue(current, i)) << f.name << " parameter " << i;
        // The other channel comes back from the state too. (The host's
        // Channel port may be stale as well: it is moved to the channel in
        // use first.)
        const int other = current.channel >= 0.5f ? 0 : 1;
        amp.controls[kChannel] = static_cast<float>(1 - other);
        amp.runSilence();
        amp.controls[kChannel] = static_cast<float>(other);
        amp.runSilence();
        EXPECT_EQ(amp.actual[kDrive], static_cast<float>(current.channelSettings[other].drive)) << f.name;
        EXPECT_EQ(amp.actual[kVolume], static_cast<float>(current.channelSettings[other].volume)) << f.name;
    }
    // The session whose host ports were stale: the second channel plays its
    // own Input, 0.5, though the host's port says the first channel's 0.62.
    Bank bank;
    ASSERT_TRUE(bankOf(readFile(fixture("two-channels.cvxb")), bank));
    EXPECT_EQ(bank.programs[0].input, 0.5f);
    EXPECT_EQ(bank.programs[0].channelSettings[0].input, static_cast<double>(0.62f));
}

TEST_F(Lv2State, EveryProgramOfASavedBankComesBack) {
    Lv2Instance amp(world, 44100.0);
    ASSERT_NE(amp.instance, nullptr);
    ASSERT_EQ(amp.restoreBlob(readFile(fixture("ten-programs.cvxb"))), LV2_STATE_SUCCESS);
    amp.runSilence();
    Bank bank;
    ASSERT_TRUE(bankOf(amp.savedBlob(), bank));
    EXPECT_EQ(bank.current, 7u);
    for (int p = 0; p < kNumCorvexPrograms; ++p) {
        EXPECT_EQ(std::string(bank.programs[p].name), "Rig " + std::to_string(p));
        EXPECT_EQ(bank.programs[p].channel, (p % 2) ? 1.0f : 0.0f) << p;
        EXPECT_NE(bank.programs[p].channelSettings[0].drive, bank.programs[p].channelSettings[1].drive) << p;
    }
    EXPECT_EQ(bank.programs[7].mid, 0.15f) << "the edit made before saving";
    EXPECT_EQ(bank.programs[7].quality, 1.0f);
}

// ---- hostile states ----

// A valid blob (of the legacy layout, whose offsets are known here) with one
// value replaced: in program `program`, the float at
// byte `offset` of the record (or the double, when `wide`).
std::vector<unsigned char> withValue(std::vector<unsigned char> blob, int program, size_t offset, double value,
                                     bool wide) {
    unsigned char* at = blob.data() + kLegacyHeaderSize + kProgramChunkSize * static_cast<size_t>(program) + offset;
    if (wide) {
        std::memcpy(at, &value, sizeof value);
    } else {
        const float narrow = static_cast<float>(value);
        std::memcpy(at, &narrow, sizeof narrow);
    }
    return blob;
}

TEST_F(Lv2State, BlobsWithValuesOutsideTheirRangeAreRefusedAndChangeNothing) {
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    amp.controls[kDrive] = 0.3f;
    amp.runSilence();
    const std::vector<unsigned char> before = amp.savedBlob();
    Bank bank;
    ASSERT_TRUE(bankOf(before, bank));
    const std::vector<unsigned char> good = legacyBlob(bank.programs, bank.current);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const size_t volume = offsetof(CorvexProgram, volume);
    const size_t mix = offsetof(CorvexProgram, mixPls);
    const size_t channelVolume = offsetof(CorvexProgram, channelSettings) + offsetof(ChannelSettings, volume);
    const size_t otherDrive =
        offsetof(CorvexProgram, channelSettings) + sizeof(ChannelSettings) + offsetof(ChannelSettings, drive);
    struct Case {
        const char* what;
        std::vector<unsigned char> blob;
    };
    const std::vector<Case> cases = {
        {"NaN Mix PLS", withValue(good, 0, mix, nan, false)},
        {"infinite Volume", withValue(good, 0, volume, inf, false)},
        {"-infinite Volume", withValue(good, 0, volume, -inf, false)},
        {"Volume -32768", withValue(good, 0, volume, -32768.0, false)},
        {"Volume 1e30", withValue(good, 0, volume, 1e30, false)},
        {"Volume 1.0001", withValue(good, 0, volume, 1.0001, false)},
        {"Mix PLS -0.001", withValue(good, 0, mix, -0.001, false)},
        {"NaN channel Volume", withValue(good, 0, channelVolume, nan, true)},
        {"channel Volume 2", withValue(good, 0, channelVolume, 2.0, true)},
        {"other channel's Drive inf", withValue(good, 0, otherDrive, inf, true)},
        {"another program's Volume 40000", withValue(good, 6, volume, 40000.0, false)},
        {"another program's NaN Drive", withValue(good, 9, otherDrive, nan, true)},
    };
    for (const Case& c : cases) {
        EXPECT_NE(amp.restoreBlob(c.blob), LV2_STATE_SUCCESS) << c.what;
        amp.runSilence();
        EXPECT_TRUE(amp.savedBlob() == before) << c.what << " changed the state";
        EXPECT_EQ(amp.actual[kDrive], 0.3f) << c.what;
    }
    // The edges of the range are values like any other.
    EXPECT_EQ(amp.restoreBlob(withValue(withValue(good, 0, volume, 1.0, false), 0, mix, 0.0, false)),
              LV2_STATE_SUCCESS);
}

// The peak of the output for two blocks of a full-scale input after the
// instance's current settings.
float peakAfter(Lv2Instance& amp, int blocks = 3) {
    std::vector<float> left, right;
    float peak = 0.0f;
    for (int b = 0; b < blocks; ++b) {
        signal(static_cast<size_t>(b), left, right, 1.0f);
        amp.run(left.data(), right.data(), kBlock);
        for (size_t i = 0; i < kBlock; ++i)
            peak = std::max({peak, std::fabs(amp.outLeft()[i]), std::fabs(amp.outRight()[i])});
        if (!std::isfinite(peak))
            return std::numeric_limits<float>::infinity();
    }
    return peak;
}

TEST_F(Lv2State, NoSingleFlippedByteOfAValidBlobMakesItLouderThanTheLoudestValidSetting) {
    // The loudest the amp gets with valid settings: every knob that adds gain
    // at an end of its range, both channels, boost off and on.
    float loudest = 0.0f;
    for (int combo = 0; combo < 64; ++combo) {
        Lv2Instance amp(world, 48000.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kInput] = 1.0f;
        amp.controls[kVolume] = 1.0f;
        amp.controls[kChannel] = static_cast<float>(combo & 1);
        amp.controls[kDrive] = static_cast<float>((combo >> 1) & 1);
        amp.controls[kPowerAmp] = static_cast<float>((combo >> 2) & 1);
        amp.controls[kContour] = static_cast<float>((combo >> 3) & 1);
        amp.controls[kBoost] = static_cast<float>((combo >> 4) & 1);
        amp.controls[kLow] = amp.controls[kMid] = amp.controls[kHigh] = static_cast<float>((combo >> 5) & 1);
        loudest = std::max(loudest, peakAfter(amp));
    }
    ASSERT_GT(loudest, 0.1f);
    // A valid session with every value away from its default.
    Lv2Instance source(world, 48000.0);
    ASSERT_NE(source.instance, nullptr);
    const float settings[13] = {0.6f, 0.0f, 0.7f, 0.4f, 0.3f, 0.6f, 0.55f, 0.45f, 0.8f, 0.9f, 1.0f, 0.0f, 1.0f};
    for (uint32_t i = 0; i < 13; ++i)
        source.controls[i] = settings[i];
    source.runSilence();
    const std::vector<unsigned char> current = source.savedBlob();
    Bank bank;
    ASSERT_TRUE(bankOf(current, bank));
    const std::vector<unsigned char> legacy = legacyBlob(bank.programs, bank.current);

    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    int accepted = 0;
    float loudestFlip = 0.0f;
    // Every byte of both layouts, complemented, and with the bit that
    // turns a float's exponent huge flipped.
    for (const std::vector<unsigned char>* good : {&current, &legacy}) {
        for (size_t at = 0; at < good->size(); ++at) {
            for (unsigned char mask : {0xffu, 0x40u}) {
                std::vector<unsigned char> flipped = *good;
                flipped[at] = static_cast<unsigned char>(flipped[at] ^ mask);
                if (amp.restoreBlob(flipped) != LV2_STATE_SUCCESS)
                    continue;
                ++accepted;
                const float peak = peakAfter(amp, 1);
                loudestFlip = std::max(loudestFlip, peak);
                ASSERT_LE(peak, loudest) << "byte " << at << " ^ " << static_cast<int>(mask);
            }
        }
    }
    EXPECT_GT(accepted, 0) << "names and values that stay in range are accepted";
    RecordProperty("loudest_valid", std::to_string(loudest));
    RecordProperty("loudest_flip", std::to_string(loudestFlip));
}

// ---- control ports ----

TEST_F(Lv2State, ControlPortsAreHeldToTheirDeclaredRange) {
    float loudest = 0.0f;
    {
        Lv2Instance amp(world, 48000.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kVolume] = 1.0f;
        loudest = peakAfter(amp);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float hostile : {1e30f, inf, 1.5f}) {
        Lv2Instance amp(world, 48000.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kVolume] = hostile;
        const float peak = peakAfter(amp);
        EXPECT_LE(peak, loudest) << "Volume " << hostile;
        EXPECT_EQ(amp.actual[kVolume], 1.0f) << "Volume " << hostile;
        Bank bank;
        ASSERT_TRUE(bankOf(amp.savedBlob(), bank));
        EXPECT_EQ(bank.programs[bank.current].volume, 1.0f) << "what is saved is the value in use";
    }
    for (float hostile : {-1e30f, -inf, -0.25f}) {
        Lv2Instance amp(world, 48000.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kDrive] = hostile;
        amp.runSilence();
        EXPECT_EQ(amp.actual[kDrive], 0.0f) << "Drive " << hostile;
    }
    // NaN is no value: the port's previous value stays in use.
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    amp.controls[kMixPls] = 0.8f;
    amp.runSilence();
    for (uint32_t i = 0; i < Lv2Instance::kControls; ++i)
        amp.controls[i] = nan;
    const float peak = peakAfter(amp);
    EXPECT_GT(peak, 0.01f) << "a NaN port silenced the amp";
    EXPECT_EQ(amp.actual[kMixPls], 0.8f);
    EXPECT_EQ(amp.actual[kVolume], corvex::kParameterTable[kVolume].defaultValue);
    Bank bank;
    ASSERT_TRUE(bankOf(amp.savedBlob(), bank));
    for (uint32_t i = 0; i < Lv2Instance::kControls; ++i)
        EXPECT_FALSE(std::isnan(programValue(bank.programs[bank.current], i))) << i;
}

}  // namespace
