// The rig against the head and against a direct convolution; its latency,
// parameters and factory bank.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "RigTestSupport.h"
#include "cabinet/ZeroLatencyConvolver.h"
#include "model/AmpEngine.h"
#include "rig/RigEngine.h"
#include "rig/RigPrograms.h"

namespace {

using corvex::AmpEngine;
using corvex::RigEngine;

// Runs `frames` through `process` in blocks of changing sizes (1 to 700).
template <typename Engine>
void render(Engine& e, const std::vector<float>& in, std::vector<float>& l, std::vector<float>& r) {
    l.assign(in.size(), 0.0f);
    r.assign(in.size(), 0.0f);
    const int sizes[] = {64, 1, 700, 128, 33, 512, 64, 257};
    std::size_t at = 0;
    for (int k = 0; at < in.size(); ++k) {
        const std::size_t n = std::min<std::size_t>((std::size_t)sizes[k % 8], in.size() - at);
        e.process(in.data() + at, in.data() + at, l.data() + at, r.data() + at, (int)n);
        at += n;
    }
}

double relativeError(const std::vector<float>& got, const std::vector<double>& want, std::size_t from = 0) {
    double peak = 0.0, worst = 0.0;
    for (std::size_t i = from; i < want.size(); ++i) {
        peak = std::max(peak, std::fabs(want[i]));
        worst = std::max(worst, std::fabs((double)got[i] - want[i]));
    }
    return peak > 0 ? worst / peak : worst;
}

TEST(RigEngine, GateOpenCabinetOffEqualsTheHeadBitForBit) {
    for (int program : {0, 5, 9}) {
        RigEngine rig;
        AmpEngine head;
        ASSERT_TRUE(head.loadChunk(corvex::rigFactoryHeadBank(), kBankChunkSize, false));
        head.selectProgram(program);
        // Set as a host restores a session, then activates.
        rig.postProgram(program);
        rig.flush();
        rig.post(corvex::kGateThreshold, 0.0);
        rig.post(corvex::kCabinetOn, 0.0);
        rig.post(corvex::kMaster, corvex::rigFactoryValues(0).master);
        rig.flush();
        ASSERT_TRUE(rig.setSampleRate(48000.0));
        ASSERT_TRUE(head.setSampleRate(48000.0));
        // A change on both, mid-stream, the same way.
        const auto in = rigtest::guitar(48000, 48000.0, 3 + (uint32_t)program);
        std::vector<float> rl, rr, hl, hr;
        render(rig, in, rl, rr);
        render(head, in, hl, hr);
        ASSERT_EQ(0, std::memcmp(rl.data(), hl.data(), rl.size() * sizeof(float))) << "program " << program;
        ASSERT_EQ(0, std::memcmp(rr.data(), hr.data(), rr.size() * sizeof(float))) << "program " << program;
        rig.post(corvex::kDrive, 0.9);
        head.post(corvex::kDrive, 0.9);
        render(rig, in, rl, rr);
        render(head, in, hl, hr);
        ASSERT_EQ(0, std::memcmp(rl.data(), hl.data(), rl.size() * sizeof(float))) << "program " << program;
    }
}

TEST(ZeroLatencyConvolver, EqualsDirectConvolutionAtAnyBlockSize) {
    for (int taps : {1, 40, 64, 65, 1000, 1024, 1025, 2047, 2048, 2049, 5000}) {
        cabinet::ImpulseResponse ir;
        ir.rate = 48000.0;
        ir.channels = {rigtest::testResponse(taps, 3), rigtest::testResponse(taps, 9)};
        cabinet::ZeroLatencyConvolver conv;
        std::string error;
        ASSERT_TRUE(conv.configure(ir, error)) << error;
        const auto x = rigtest::guitar(12000, 48000.0, 5);
        std::vector<float> l, r;
        render(conv, x, l, r);
        EXPECT_LT(relativeError(l, rigtest::convolve(x, ir.channels[0])), 1e-6) << taps;
        EXPECT_LT(relativeError(r, rigtest::convolve(x, ir.channels[1])), 1e-6) << taps;
    }
}

// A unit impulse as the cabinet: the rig's output is the head's, with no
// delay, which is the latency the rig reports.
TEST(RigEngine, ReportedLatencyIsTheMeasuredDelay) {
    RigEngine rig;
    AmpEngine head;
    ASSERT_TRUE(head.loadChunk(corvex::rigFactoryHeadBank(), kBankChunkSize, false));
    head.selectProgram(0);
    ASSERT_TRUE(head.setSampleRate(48000.0));
    std::vector<float> unit(300, 0.0f);
    unit[0] = 1.0f;
    const std::string path = rigtest::tempPath("unit.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {unit}, 48000));
    std::string error;
    ASSERT_TRUE(rig.loadImpulseFile(path, error)) << error;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    rig.post(corvex::kCabinetOn, 1.0);
    rig.post(corvex::kCabinetTrim, 24.0 / 36.0);
    rig.flush();
    ASSERT_TRUE(rig.setSampleRate(48000.0));  // starts on the user's cabinet, no fade
    const auto in = rigtest::guitar(20000, 48000.0, 11);
    std::vector<float> rl, rr, hl, hr;
    render(rig, in, rl, rr);
    render(head, in, hl, hr);
    // The delay: where the cross-correlation peaks.
    int best = -1;
    double bestSum = -1e30;
    for (int lag = 0; lag < 200; ++lag) {
        double sum = 0.0;
        for (std::size_t i = 200; i < in.size(); ++i)
            sum += (double)rl[i] * hl[i - (std::size_t)lag];
        if (sum > bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    EXPECT_EQ(best, rig.latency());
    std::vector<double> want(hl.begin(), hl.end());
    EXPECT_LT(relativeError(rl, want), 1e-6);
}

// The user's impulse through the whole rig against the head's output
// convolved directly: at the impulse's own rate and resampled.
TEST(RigEngine, UserCabinetEqualsDirectConvolution) {
    for (int fileRate : {48000, 44100}) {
        const auto response = rigtest::testResponse(fileRate / 20, 21);  // 50 ms
        const std::string path = rigtest::tempPath("cab-" + std::to_string(fileRate) + ".wav");
        ASSERT_TRUE(rigtest::writeAudio(path, {response}, fileRate));
        RigEngine rig;
        std::string error;
        ASSERT_TRUE(rig.loadImpulseFile(path, error)) << error;
        rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        rig.post(corvex::kCabinetTrim, 24.0 / 36.0);
        rig.flush();
        ASSERT_TRUE(rig.setSampleRate(48000.0));
        AmpEngine head;
        ASSERT_TRUE(head.loadChunk(corvex::rigFactoryHeadBank(), kBankChunkSize, false));
        head.selectProgram(0);
        ASSERT_TRUE(head.setSampleRate(48000.0));
        const auto in = rigtest::guitar(24000, 48000.0, 13);
        std::vector<float> rl, rr, hl, hr;
        render(rig, in, rl, rr);
        render(head, in, hl, hr);
        cabinet::ImpulseResponse file, atRate;
        file.rate = fileRate;
        file.channels = {response};
        ASSERT_TRUE(cabinet::resampleImpulseResponse(file, 48000.0, atRate, error));
        EXPECT_LT(relativeError(rl, rigtest::convolve(hl, atRate.channels[0])), 1e-6) << fileRate;
        EXPECT_LT(relativeError(rr, rigtest::convolve(hr, atRate.channels[0])), 1e-6) << fileRate;
    }
}

// Switching cabinets crossfades: no step in the output larger than the
// signal makes on its own.
TEST(RigEngine, CabinetChangesCrossfade) {
    RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    const auto in = rigtest::guitar(48000, 48000.0, 17);
    std::vector<float> l(in.size()), r(in.size());
    for (std::size_t at = 0; at < in.size(); at += 64) {
        if (at == 30016)  // mid-way through a note, not at a pluck
            rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(3));
        rig.process(in.data() + at, in.data() + at, l.data() + at, r.data() + at, 64);
    }
    // The largest step while the fade runs, against the largest of either
    // cabinet playing alone.
    double alone = 0.0, during = 0.0;
    for (std::size_t i = 1; i < in.size(); ++i) {
        const double step = std::fabs((double)l[i] - l[i - 1]);
        if (i >= 30016 && i < 30016 + RigEngine::kCrossfadeFrames + 64)
            during = std::max(during, step);
        else
            alone = std::max(alone, step);
    }
    EXPECT_LT(during, alone * 1.25);
}

TEST(RigEngine, ParametersNamesAndDisplays) {
    EXPECT_STREQ(RigEngine::effectName(), "Corvex Rig");
    EXPECT_STREQ(RigEngine::parameterName(0), "Input");
    EXPECT_STREQ(RigEngine::parameterName(corvex::kGateThreshold), "Gate Threshold");
    EXPECT_EQ(RigEngine::parameterName(RigEngine::kParameterCount), nullptr);
    char text[64];
    ASSERT_TRUE(RigEngine::displayText(corvex::kGateThreshold, 0.0f, text, sizeof text));
    EXPECT_STREQ(text, "Off");
    ASSERT_TRUE(RigEngine::displayText(corvex::kGateThreshold, 0.5f, text, sizeof text));
    EXPECT_STREQ(text, "-50.0 dB");
    ASSERT_TRUE(RigEngine::displayText(corvex::kCabinetModel, 1.0f, text, sizeof text));
    EXPECT_STREQ(text, "User Impulse");
    ASSERT_TRUE(RigEngine::displayText(corvex::kMaster, 2.0f / 3.0f, text, sizeof text));
    EXPECT_STREQ(text, "+0.0 dB");
    for (int i = 0; i < RigEngine::kParameterCount; ++i) {
        ASSERT_TRUE(RigEngine::displayText(i, RigEngine::defaultValue(i), text, sizeof text)) << i;
        double back = -1.0;
        ASSERT_TRUE(RigEngine::textToValue(i, text, back)) << i << " " << text;
        ASSERT_TRUE(RigEngine::displayText(i, (float)back, text + 32, 32)) << i;
        EXPECT_STREQ(text, text + 32) << i;
    }
    EXPECT_EQ(RigEngine::levelDbOf(2.0f / 3.0f), 0.0);
    RigEngine rig;
    EXPECT_FALSE(rig.post(corvex::kMaster, std::nan("")));
    EXPECT_FALSE(rig.post(RigEngine::kParameterCount, 0.5));
}

TEST(RigEngine, FactoryBankHasTenNamedProgramsWithTheirCabinets) {
    RigEngine rig;
    char name[32];
    ASSERT_TRUE(rig.programName(0, name, sizeof name));
    EXPECT_STREQ(name, "Glass Clean");
    for (int p = 0; p < RigEngine::kProgramCount; ++p) {
        ASSERT_TRUE(rig.programName(p, name, sizeof name));
        EXPECT_GT(std::strlen(name), 3u) << p;
        EXPECT_STRNE(name, "Init") << p;
    }
    rig.postProgram(5);
    rig.flush();
    EXPECT_EQ(rig.currentProgram(), 5);
    EXPECT_EQ(rig.value(corvex::kCabinetModel), corvex::rigFactoryValues(5).cabinetModel);
    EXPECT_EQ(rig.value(corvex::kGateThreshold), corvex::rigFactoryValues(5).gateThreshold);
    // Edits are written through into the current program.
    rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(2));
    rig.flush();
    rig.postProgram(1);
    rig.flush();
    rig.postProgram(5);
    rig.flush();
    EXPECT_EQ(RigEngine::cabinetModelOf(rig.value(corvex::kCabinetModel)), 2);
}

}  // namespace
