// The bundle in a lilv host: the description against the effect, the
// two-channel memory with host-owned ports, state through lilv's state
// API, and blobs that must be refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/ParameterTable.h"
#include "model/Programs.h"
#include "shell/PluginEntry.h"
#include "tests/lv2/Lv2SavedState.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/LoadedPlugin.h"

namespace {

enum { kInput = 0, kChannel = 1, kDrive = 2, kMixPls = 3, kLow = 4, kVolume = 9, kStereo = 10, kBoost = 12 };

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The bank and program index of a saved blob; fails the test when the
// blob is not well formed.
struct Saved : SavedBank {
    const CorvexProgram& current() const { return currentProgram(); }
    uint32_t program = 99;
};

Saved decode(const std::vector<unsigned char>& blob) {
    Saved saved{};
    EXPECT_TRUE(readSavedState(blob, saved));
    saved.program = saved.SavedBank::current;
    return saved;
}

class Lv2Host : public ::testing::Test {
protected:
    Lv2World world{CORVEX_LV2_PATH};
    void SetUp() override { ASSERT_NE(world.plugin, nullptr) << "the bundle is not in " << CORVEX_LV2_PATH; }
};

// The port symbols sessions are saved with: renaming a parameter must not
// silently change them.
const char* const kSymbols[corvex::kNumParameters] = {"input",       "channel",    "drive",    "mix_pls",   "low",
                                                      "mid",         "high",       "contour",  "power_amp", "volume",
                                                      "mono_stereo", "lowq_highq", "tqz_boost"};

TEST_F(Lv2Host, PortsDescribeTheEffectsParameters) {
    AEffect* effect = createEffectInstance(quietHost);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(world.plugin), 30u);
    LilvNode* toggled = lilv_new_uri(world.world, LV2_CORE__toggled);
    LilvNode* control = lilv_new_uri(world.world, LV2_CORE__ControlPort);
    LilvNode* audio = lilv_new_uri(world.world, LV2_CORE__AudioPort);
    LilvNode* input = lilv_new_uri(world.world, LV2_CORE__InputPort);
    LilvNode* enumeration = lilv_new_uri(world.world, LV2_CORE__enumeration);
    for (uint32_t i = 0; i < 30; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin, i);
        if (i >= 17) {
            // The amp's actual values, in parameter order.
            EXPECT_TRUE(lilv_port_is_a(world.plugin, port, control)) << i;
            EXPECT_FALSE(lilv_port_is_a(world.plugin, port, input)) << i;
            char name[64] = {};
            effect->dispatcher(effect, effGetParamName, static_cast<VstInt32>(i - 17), 0, name, 0.0f);
            LilvNode* portName = lilv_port_get_name(world.plugin, port);
            EXPECT_EQ(std::string(lilv_node_as_string(portName)), std::string(name) + " (actual)");
            lilv_node_free(portName);
            EXPECT_EQ(std::string(lilv_node_as_string(lilv_port_get_symbol(world.plugin, port))),
                      std::string(kSymbols[i - 17]) + "_actual");
            continue;
        }
        if (i >= 13) {
            EXPECT_TRUE(lilv_port_is_a(world.plugin, port, audio)) << i;
            EXPECT_EQ(lilv_port_is_a(world.plugin, port, input), i < 15) << i;
            continue;
        }
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, control)) << i;
        EXPECT_TRUE(lilv_port_is_a(world.plugin, port, input)) << i;
        char name[64] = {};
        effect->dispatcher(effect, effGetParamName, static_cast<VstInt32>(i), 0, name, 0.0f);
        const corvex::ParameterInfo& facts = corvex::kParameterTable[i];
        EXPECT_STREQ(name, facts.name);
        LilvNode* portName = lilv_port_get_name(world.plugin, port);
        EXPECT_STREQ(lilv_node_as_string(portName), facts.name);
        lilv_node_free(portName);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(world.plugin, port, &def, &min, &max);
        ASSERT_TRUE(def && min && max) << name;
        EXPECT_EQ(lilv_node_as_float(def), facts.defaultValue) << name;
        EXPECT_EQ(lilv_node_as_float(def), effect->getParameter(effect, static_cast<VstInt32>(i))) << name;
        EXPECT_EQ(lilv_node_as_float(min), 0.0f) << name;
        EXPECT_EQ(lilv_node_as_float(max), 1.0f) << name;
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        EXPECT_EQ(lilv_port_has_property(world.plugin, port, toggled), facts.role == corvex::ParameterRole::onOffSwitch)
            << name;
        EXPECT_EQ(lilv_port_has_property(world.plugin, port, toggled), i >= 10) << name;
        EXPECT_EQ(lilv_port_has_property(world.plugin, port, enumeration),
                  facts.role == corvex::ParameterRole::channelSwitch)
            << name;
        // Symbols are the saved ones, unique and valid C identifiers.
        const char* symbol = lilv_node_as_string(lilv_port_get_symbol(world.plugin, port));
        EXPECT_STREQ(symbol, kSymbols[i]);
        for (uint32_t j = 0; j < i; ++j)
            EXPECT_STRNE(symbol, lilv_node_as_string(lilv_port_get_symbol(
                                     world.plugin, lilv_plugin_get_port_by_index(world.plugin, j))));
        EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(symbol[0])) || symbol[0] == '_') << symbol;
    }
    for (LilvNode* node : {toggled, control, audio, input, enumeration})
        lilv_node_free(node);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

TEST_F(Lv2Host, OnlyChangedPortsApplySoAChannelChangeRecallsTheOtherChannel) {
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    amp.controls[kDrive] = 0.2f;
    amp.controls[kMixPls] = 0.7f;
    amp.runSilence();
    amp.controls[kChannel] = 1.0f;  // channel 1 recalls its own Drive, 0.5
    amp.runSilence();
    Saved saved = decode(amp.savedBlob());
    EXPECT_EQ(saved.current().drive, 0.5f) << "the unchanged Drive port overwrote the recalled value";
    EXPECT_EQ(amp.actual[kDrive], 0.5f) << "the actual Drive is reported";
    EXPECT_EQ(amp.actual[kMixPls], 0.7f);
    amp.controls[kDrive] = 0.9f;
    amp.runSilence();
    amp.controls[kChannel] = 0.0f;  // back: Drive 0.2 again, though the port says 0.9
    amp.runSilence();
    saved = decode(amp.savedBlob());
    EXPECT_EQ(saved.current().drive, 0.2f);
    EXPECT_EQ(saved.current().mixPls, 0.7f) << "Mix PLS is shared by both channels";
    EXPECT_EQ(saved.current().channelSettings[1].drive, static_cast<double>(0.9f));
    // Channel and a later port in the same run: the later port wins.
    amp.controls[kChannel] = 1.0f;
    amp.controls[kVolume] = 0.3f;
    amp.runSilence();
    saved = decode(amp.savedBlob());
    EXPECT_EQ(saved.current().drive, 0.9f);
    EXPECT_EQ(saved.current().volume, 0.3f);
}

TEST_F(Lv2Host, StateSurvivesASessionThroughLilvsStateApi) {
    std::string text;
    std::vector<unsigned char> before;
    std::vector<float> left(512), right(512), expected(1024);
    for (int i = 0; i < 512; ++i) {
        left[i] = 0.5f * std::sin(0.03f * i);
        right[i] = 0.4f * std::sin(0.05f * i);
    }
    {
        Lv2Instance amp(world, 44100.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kDrive] = 0.25f;  // channel 0
        amp.runSilence();
        amp.controls[kChannel] = 1.0f;
        amp.runSilence();
        amp.controls[kDrive] = 0.85f;  // channel 1
        amp.controls[kLow] = 0.1f;
        amp.controls[kStereo] = 1.0f;
        amp.controls[kBoost] = 1.0f;
        amp.runSilence();
        before = amp.savedBlob();
        LilvState* state = amp.saveState();
        ASSERT_NE(state, nullptr);
        char* serialised = lilv_state_to_string(world.world, &world.urids.mapFeature, &world.urids.unmapFeature, state,
                                                "urn:corvex:test-session", nullptr);
        ASSERT_NE(serialised, nullptr);
        text = serialised;
        lilv_free(serialised);
        lilv_state_free(state);
    }
    ASSERT_NE(text.find("corvex#bank"), std::string::npos) << text;

    // "Reopen": a new instance, the state parsed back from its text.
    Lv2Instance amp(world, 44100.0);
    ASSERT_NE(amp.instance, nullptr);
    LilvState* state = lilv_state_new_from_string(world.world, &world.urids.mapFeature, text.c_str());
    ASSERT_NE(state, nullptr);
    amp.restoreState(state);
    lilv_state_free(state);
    EXPECT_EQ(amp.controls[kDrive], 0.85f) << "the port values come back too";
    amp.runSilence();
    EXPECT_EQ(amp.savedBlob(), before) << "every program and both channels";
    Saved saved = decode(amp.savedBlob());
    EXPECT_EQ(saved.current().channelSettings[0].drive, static_cast<double>(0.25f));
    // The channel that was not selected is recalled from the restored bank.
    amp.controls[kChannel] = 0.0f;
    amp.runSilence();
    EXPECT_EQ(decode(amp.savedBlob()).current().drive, 0.25f);
    EXPECT_EQ(amp.actual[kDrive], 0.25f);
}

// A host's ports may be stale after a channel switch (generic controls do
// not follow the recall). When a session comes back, the host restores
// those stale port values along with the state: the state must win.
TEST_F(Lv2Host, ARestoredStateWinsOverStaleHostPorts) {
    LilvState* state = nullptr;
    {
        Lv2Instance amp(world, 44100.0);
        ASSERT_NE(amp.instance, nullptr);
        amp.controls[kDrive] = 0.9f;  // channel 1
        amp.runSilence();
        amp.controls[kChannel] = 1.0f;  // channel 2 recalls Drive 0.5; the port still says 0.9
        amp.runSilence();
        state = amp.saveState();
    }
    ASSERT_NE(state, nullptr);
    Lv2Instance amp(world, 44100.0);
    ASSERT_NE(amp.instance, nullptr);
    amp.restoreState(state);
    lilv_state_free(state);
    EXPECT_EQ(amp.controls[kDrive], 0.9f);
    amp.runSilence();
    Saved saved = decode(amp.savedBlob());
    EXPECT_EQ(saved.current().drive, 0.5f) << "the stale Drive port overwrote the restored channel";
    EXPECT_EQ(saved.current().channelSettings[0].drive, static_cast<double>(0.9f));
    EXPECT_EQ(amp.actual[kDrive], 0.5f);
    // From then on the ports work as before.
    amp.controls[kDrive] = 0.6f;
    amp.runSilence();
    EXPECT_EQ(decode(amp.savedBlob()).current().drive, 0.6f);
}

// A retrieve function serving one crafted property.
struct Offered {
    std::vector<unsigned char> bytes;
    uint32_t type = 0;
    bool present = true;
};

const void* retrieveOffered(LV2_State_Handle handle, uint32_t, size_t* size, uint32_t* type, uint32_t* flags) {
    auto* offered = static_cast<Offered*>(handle);
    if (!offered->present)
        return nullptr;
    *size = offered->bytes.size();
    *type = offered->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return offered->bytes.data();
}

TEST_F(Lv2Host, HostileBlobsAreRefusedAndChangeNothing) {
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    amp.controls[kDrive] = 0.3f;
    amp.runSilence();
    const std::vector<unsigned char> before = amp.savedBlob();
    ASSERT_EQ(before.size(), corvex::AmpEngine::kStateSize);
    // The layout earlier LV2 builds saved, which must keep loading.
    const Saved saved = decode(before);
    const std::vector<unsigned char> good = legacyBlob(saved.programs, saved.program);
    const uint32_t chunk = world.urids.map(LV2_ATOM__Chunk);

    std::vector<Offered> hostile;
    hostile.push_back({good, chunk, false});                                                     // no property at all
    hostile.push_back({good, world.urids.map(LV2_ATOM__String), true});                          // wrong type
    hostile.push_back({{}, chunk, true});                                                        // empty
    hostile.push_back({std::vector<unsigned char>(good.begin(), good.end() - 1), chunk, true});  // short
    std::vector<unsigned char> longer = good;
    longer.push_back(0);
    hostile.push_back({longer, chunk, true});
    std::vector<unsigned char> bad = good;
    bad[0] = 'X';  // magic
    hostile.push_back({bad, chunk, true});
    bad = good;
    bad[4] = 2;  // a later format version
    hostile.push_back({bad, chunk, true});
    bad = good;
    bad[8] = 10;  // program index out of range
    hostile.push_back({bad, chunk, true});
    bad = good;
    bad[11] = 0x80;  // huge program index
    hostile.push_back({bad, chunk, true});
    bad = good;
    bad[12] = 0;  // bank size field
    hostile.push_back({bad, chunk, true});
    // The same cuts of today's layout.
    hostile.push_back({std::vector<unsigned char>(before.begin(), before.end() - 1), chunk, true});
    longer = before;
    longer.push_back(0);
    hostile.push_back({longer, chunk, true});
    bad = before;
    bad[0] ^= 0xff;
    hostile.push_back({bad, chunk, true});

    const LV2_State_Interface* state = amp.stateInterface();
    ASSERT_NE(state, nullptr);
    for (size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_NE(
            state->restore(lilv_instance_get_handle(amp.instance), retrieveOffered, &hostile[i], 0, world.urids.list),
            LV2_STATE_SUCCESS)
            << "blob " << i;
        amp.runSilence();
        EXPECT_TRUE(amp.savedBlob() == before) << "blob " << i << " changed the state";
    }
    // And a good blob with another program selected is taken whole.
    std::vector<unsigned char> other = good;
    other[8] = 3;
    Offered fine{other, chunk, true};
    EXPECT_EQ(state->restore(lilv_instance_get_handle(amp.instance), retrieveOffered, &fine, 0, world.urids.list),
              LV2_STATE_SUCCESS);
    EXPECT_EQ(decode(amp.savedBlob()).program, 3u);
    amp.runSilence();
    EXPECT_EQ(decode(amp.savedBlob()).program, 3u);
}

// A rate the amp cannot run at is refused when the host instantiates,
// rather than run as some other rate.
TEST_F(Lv2Host, ARateTheAmpCannotRunAtIsRefused) {
    for (double rate : {0.0, -48000.0, 500.0, 1e39, std::nan(""), HUGE_VAL, 1.0e7}) {
        LilvInstance* instance = lilv_plugin_instantiate(world.plugin, rate, world.urids.list);
        EXPECT_EQ(instance, nullptr) << rate;
        if (instance)
            lilv_instance_free(instance);
    }
    for (double rate : {8000.0, 44100.0, 192000.0, 768000.0}) {
        LilvInstance* instance = lilv_plugin_instantiate(world.plugin, rate, world.urids.list);
        EXPECT_NE(instance, nullptr) << rate;
        if (instance)
            lilv_instance_free(instance);
    }
}

TEST_F(Lv2Host, InPlaceBuffersGiveTheSameSamples) {
    for (float stereo : {0.0f, 1.0f}) {
        Lv2Instance apart(world, 44100.0);
        Lv2Instance shared(world, 44100.0);
        ASSERT_TRUE(apart.instance && shared.instance);
        shared.connectInPlace();
        std::vector<float> left(256), right(256);
        for (int block = 0; block < 8; ++block) {
            for (int i = 0; i < 256; ++i) {
                left[i] = 0.6f * std::sin(0.02f * (block * 256 + i));
                right[i] = 0.4f * std::cos(0.031f * (block * 256 + i));
            }
            apart.controls[kStereo] = shared.controls[kStereo] = stereo;
            apart.run(left.data(), right.data(), 256);
            shared.run(left.data(), right.data(), 256);
            ASSERT_EQ(std::memcmp(apart.outLeft(), shared.outLeft(), 256 * sizeof(float)), 0) << stereo;
            ASSERT_EQ(std::memcmp(apart.outRight(), shared.outRight(), 256 * sizeof(float)), 0) << stereo;
        }
    }
}

// In blocks of 512 with a change between blocks, as a DAW runs it: the same
// samples as the VST 2.4 library given the same blocks and changes.
TEST_F(Lv2Host, BlocksOf512MatchTheVstBuild) {
    LoadedPlugin plugin;
    AEffect* vst = plugin.entry() ? plugin.entry()(quietHost) : nullptr;
    ASSERT_NE(vst, nullptr);
    vst->dispatcher(vst, effOpen, 0, 0, nullptr, 0.0f);
    vst->dispatcher(vst, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    vst->dispatcher(vst, effMainsChanged, 0, 1, nullptr, 0.0f);
    Lv2Instance amp(world, 48000.0);
    ASSERT_NE(amp.instance, nullptr);
    std::vector<float> left(512), right(512), outL(512), outR(512);
    for (int block = 0; block < 40; ++block) {
        for (int i = 0; i < 512; ++i) {
            const int n = block * 512 + i;
            left[i] = 0.7f * std::sin(0.013f * n) * std::exp(-0.0001f * n);
            right[i] = 0.3f * std::sin(0.021f * n);
        }
        if (block == 10 || block == 25) {
            const float drive = block == 10 ? 0.9f : 0.35f;
            amp.controls[kChannel] = block == 10 ? 1.0f : 0.0f;
            amp.controls[kDrive] = drive;
            amp.controls[kStereo] = 1.0f;
            vst->setParameter(vst, kChannel, amp.controls[kChannel]);
            vst->setParameter(vst, kDrive, drive);
            vst->setParameter(vst, kStereo, 1.0f);
        }
        amp.run(left.data(), right.data(), 512);
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        vst->processReplacing(vst, inputs, outputs, 512);
        ASSERT_EQ(std::memcmp(amp.outLeft(), outL.data(), 512 * sizeof(float)), 0) << "block " << block;
        ASSERT_EQ(std::memcmp(amp.outRight(), outR.data(), 512 * sizeof(float)), 0) << "block " << block;
    }
    vst->dispatcher(vst, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
