// CorvexRig.so loaded as a VST 2.4 host loads it, beside the head's
// Corvex.so: identity, the head's samples with the gate open and the cabinet
// off, chunks carrying the impulse, hostile chunks refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RigTestSupport.h"
#include "host/PluginHost.h"
#include "rig/RigEngine.h"
#include "rig/RigPrograms.h"

namespace {

using corvex::RigEngine;

void start(PluginHost& plugin, const char* path) {
    std::string error;
    ASSERT_TRUE(plugin.load(path, error)) << error;
    plugin.setSampleRate(48000.0);
    plugin.setBlockSize(256);
}

std::vector<float> render(PluginHost& plugin, const std::vector<float>& in) {
    std::vector<float> out(2 * in.size());
    std::vector<float> inL(in), inR(in);
    for (std::size_t at = 0; at < in.size(); at += 256) {
        const int n = (int)std::min<std::size_t>(256, in.size() - at);
        float* ins[2] = {inL.data() + at, inR.data() + at};
        float* outs[2] = {out.data() + at, out.data() + in.size() + at};
        plugin.process(ins, outs, n);
    }
    return out;
}

TEST(RigVst, IdentityProgramsAndParameters) {
    PluginHost rig;
    start(rig, CORVEX_RIG_VST_PATH);
    EXPECT_EQ(rig.effectName(), "Corvex Rig");
    EXPECT_EQ(rig.effect()->uniqueID, ('C' << 24) | ('V' << 16) | ('R' << 8) | 'G');
    EXPECT_EQ(rig.numParams(), RigEngine::kParameterCount);
    EXPECT_EQ(rig.numPrograms(), 10);
    EXPECT_EQ(rig.programNameIndexed(5), "High Gain");
    EXPECT_EQ(rig.parameterName(corvex::kGateThreshold), "Gate Threshold");
    EXPECT_EQ(rig.parameterDisplay(corvex::kGateThreshold), "Off");
    EXPECT_EQ(rig.effect()->initialDelay, 0);
    // Suspended: a value set is read back at once.
    rig.setParameter(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(3));
    EXPECT_EQ(rig.parameterDisplay(corvex::kCabinetModel), "4x10 Bri");
    rig.setProgram(2);
    EXPECT_EQ(rig.programName(), "Crunch Rhythm");
}

TEST(RigVst, GateOpenCabinetOffGivesTheHeadsSamples) {
    PluginHost head, rig;
    start(head, CORVEX_HEAD_VST_PATH);
    start(rig, CORVEX_RIG_VST_PATH);
    // The head with the bank the rig's programs start from.
    const auto* bank = static_cast<const uint8_t*>(corvex::rigFactoryHeadBank());
    ASSERT_TRUE(head.setChunk(false, std::vector<uint8_t>(bank, bank + kBankChunkSize)));
    head.setProgram(6);
    rig.setProgram(6);
    rig.setParameter(corvex::kGateThreshold, 0.0f);
    rig.setParameter(corvex::kCabinetOn, 0.0f);
    head.resume();
    rig.resume();
    const auto in = rigtest::guitar(24000, 48000.0, 12);
    const auto a = render(head, in);
    const auto b = render(rig, in);
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float)));
}

TEST(RigVst, ChunksCarryTheImpulseAndHostileOnesAreRefused) {
    const std::string path = rigtest::tempPath("vst-cab.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(2000, 77)}, 48000));
    RigEngine engine;
    std::string error;
    ASSERT_TRUE(engine.loadImpulseFile(path, error)) << error;
    engine.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    engine.flush();
    const std::vector<unsigned char> state = engine.saveState();
    std::remove(path.c_str());

    PluginHost rig;
    start(rig, CORVEX_RIG_VST_PATH);
    ASSERT_TRUE(rig.setChunk(false, std::vector<uint8_t>(state.begin(), state.end())));
    std::vector<uint8_t> back;
    ASSERT_TRUE(rig.getChunk(false, back));
    EXPECT_EQ(back, std::vector<uint8_t>(state.begin(), state.end()));
    auto bad = back;
    bad[bad.size() / 2] ^= 0xff;
    bad.resize(bad.size() - 5);
    EXPECT_FALSE(rig.setChunk(false, bad));
    std::vector<uint8_t> after;
    ASSERT_TRUE(rig.getChunk(false, after));
    EXPECT_EQ(after, back);
}

}  // namespace

namespace {

// The rig's panel through the VST 2.4 editor calls: flagged, sized as the
// head's panel plus the strip; a parent that is no window is refused.
TEST(RigVst, HasTheRigPanel) {
    PluginHost rig;
    start(rig, CORVEX_RIG_VST_PATH);
    EXPECT_NE(rig.effect()->flags & effFlagsHasEditor, 0);
    AEffect* effect = rig.effect();
    auto dispatch = [&](VstInt32 opcode, void* ptr = nullptr) { return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.f); };
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 660);
    EXPECT_EQ(rect->bottom - rect->top, 248 + 110);
    dispatch(effEditIdle);  // closed: nothing to do
    dispatch(effEditClose);
}

}  // namespace
