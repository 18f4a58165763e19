// The plug-in checked from outside, loaded by path as a host loads it (the
// same checks on Linux and, under wine64, on Windows), and the harness's own
// reference file and comparisons that the Windows smoke test relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "PluginHarness.h"

using namespace corvex::harness;

namespace {

#ifndef CORVEX_EXPECT_EDITOR
#define CORVEX_EXPECT_EDITOR 0
#endif

std::string joined(const std::vector<std::string>& problems) {
    std::string all;
    for (const std::string& p : problems)
        all += p + "\n";
    return all;
}

Reference syntheticReference() {
    Reference ref;
    ref.hostView = "effect name: test\nparam 0: \"x\"\n";
    ref.bank.assign(2080, 0);
    for (size_t i = 0; i < ref.bank.size(); ++i)
        ref.bank[i] = static_cast<unsigned char>(i * 7);
    ref.audio.resize(static_cast<size_t>(kRenderModeCount) * kRenderFrames * 2);
    for (size_t i = 0; i < ref.audio.size(); ++i)
        ref.audio[i] = static_cast<float>(i % 1000) * 0.001f - 0.5f;
    return ref;
}

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(HarnessSignal, IsRepeatableBoundedAndDifferentPerSide) {
    std::vector<float> l1, r1, l2, r2;
    makeTestSignal(l1, r1);
    makeTestSignal(l2, r2);
    ASSERT_EQ(l1.size(), static_cast<size_t>(kRenderFrames));
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(r1, r2);
    EXPECT_NE(l1, r1);
    float peak = 0.0f;
    for (float v : l1)
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(peak, 1.0f);
}

TEST(HarnessReference, RoundTripsThroughAFile) {
    const std::string path = "harness-roundtrip.f32";
    const Reference written = syntheticReference();
    std::string error;
    ASSERT_TRUE(writeReference(path, written, error)) << error;
    Reference read;
    ASSERT_TRUE(readReference(path, read, error)) << error;
    EXPECT_EQ(read.hostView, written.hostView);
    EXPECT_EQ(read.bank, written.bank);
    EXPECT_EQ(read.audio, written.audio);
    std::remove(path.c_str());
}

TEST(HarnessReference, RefusesMissingAndDamagedFiles) {
    const std::string path = "harness-damaged.f32";
    std::string error;
    Reference read;
    EXPECT_FALSE(readReference("no-such-reference.f32", read, error));
    EXPECT_NE(error.find("no-such-reference"), std::string::npos);

    ASSERT_TRUE(writeReference(path, syntheticReference(), error)) << error;
    const std::vector<char> good = fileBytes(path);

    std::vector<char> bad = good;
    bad.resize(good.size() - 1);  // one sample short
    writeBytes(path, bad);
    EXPECT_FALSE(readReference(path, read, error));

    bad = good;
    bad.push_back(0);  // trailing byte
    writeBytes(path, bad);
    EXPECT_FALSE(readReference(path, read, error));

    bad = good;
    bad[0] = 'X';  // not our magic
    writeBytes(path, bad);
    EXPECT_FALSE(readReference(path, read, error));

    bad = good;
    bad[8] = bad[9] = bad[10] = bad[11] = '\xff';  // absurd text size
    writeBytes(path, bad);
    EXPECT_FALSE(readReference(path, read, error));
    std::remove(path.c_str());
}

TEST(HarnessCompare, FindsTheLargestDifferenceAndTreatsNaNAsInfinite) {
    std::vector<float> a(static_cast<size_t>(kRenderModeCount) * kRenderFrames * 2, 0.25f), b = a;
    AudioDifference diff;
    std::string error;
    ASSERT_TRUE(compareAudio(a, b, diff, error));
    EXPECT_EQ(diff.maxAbs, 0.0);

    const size_t at = static_cast<size_t>(kRenderFrames) * 2 * 3 + 2 * 100 + 1;  // mode 3, frame 100, right
    b[at] += 1e-3f;
    b[7] += 1e-5f;
    ASSERT_TRUE(compareAudio(a, b, diff, error));
    EXPECT_NEAR(diff.maxAbs, 1e-3, 1e-6);
    EXPECT_EQ(diff.mode, 3);
    EXPECT_EQ(diff.frame, 100);
    EXPECT_EQ(diff.channel, 1);

    b[11] = NAN;
    ASSERT_TRUE(compareAudio(a, b, diff, error));
    EXPECT_TRUE(std::isinf(diff.maxAbs));

    b.pop_back();
    EXPECT_FALSE(compareAudio(a, b, diff, error));
}

TEST(HarnessCompare, BanksDifferOnlyInMeaningfulBytes) {
    std::vector<unsigned char> a(2080, 0), b;
    for (int p = 0; p < 10; ++p) {
        std::snprintf(reinterpret_cast<char*>(a.data()) + 208 * p, 24, "Init");
        a[208 * p + 24] = 0x3f;
    }
    b = a;
    b[208 * 2 + 10] = 0x55;  // after the name's terminating zero
    b[208 * 2 + 77] = 0x66;  // alignment gap
    std::vector<std::string> problems;
    compareBanks(a, b, problems);
    EXPECT_TRUE(problems.empty()) << joined(problems);

    b[208 * 9 + 200] ^= 1;  // a channel setting of the last program
    b[208 * 4 + 1] = 'X';   // a name
    compareBanks(a, b, problems);
    EXPECT_EQ(problems.size(), 2u) << joined(problems);

    problems.clear();
    compareBanks(a, std::vector<unsigned char>(208), problems);
    EXPECT_EQ(problems.size(), 1u);
}

#ifdef CORVEX_PLUGIN_PATH

class PluginFromOutside : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(library.load(CORVEX_PLUGIN_PATH, error)) << error;
        entry = library.vstPluginMain();
    }
    PluginLibrary library;
    PluginEntryProc entry = nullptr;
};

TEST_F(PluginFromOutside, OldEntryNameCreatesTheSameEffect) {
    ASSERT_NE(library.mainEntry(), nullptr);
    Instance viaMain(library.mainEntry());
    ASSERT_TRUE(viaMain);
    EXPECT_EQ(viaMain.effect()->magic, kEffectMagic);
    EXPECT_EQ(viaMain.effect()->uniqueID, vstFourCC('C', 'R', 'V', 'X'));
}

VstIntPtr VSTCALLBACK refusingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) {
    return 0;
}

TEST_F(PluginFromOutside, EntryRefusesCallersThatAreNoHost) {
    EXPECT_EQ(entry(nullptr), nullptr);
    EXPECT_EQ(entry(refusingHost), nullptr);
}

TEST_F(PluginFromOutside, RecordReadsAsPublished) {
    Instance instance(entry);
    ASSERT_TRUE(instance);
    std::vector<std::string> problems;
    checkRecord(*instance.effect(), CORVEX_EXPECT_EDITOR, problems);
    EXPECT_TRUE(problems.empty()) << joined(problems);
}

TEST_F(PluginFromOutside, BankSurvivesSaveAndLoadAndRefusesWrongSizes) {
    std::vector<std::string> problems;
    checkBankRoundTrip(entry, problems);
    EXPECT_TRUE(problems.empty()) << joined(problems);
}

TEST_F(PluginFromOutside, EveryModeRendersSoundThatRepeatsExactly) {
    std::vector<float> all;
    for (const RenderMode& mode : kRenderModes) {
        std::vector<float> out;
        std::string error;
        ASSERT_TRUE(renderMode(entry, mode, out, error)) << error;
        all.insert(all.end(), out.begin(), out.end());
    }
    std::vector<std::string> problems;
    checkRenderSane(all, problems);
    EXPECT_TRUE(problems.empty()) << joined(problems);

    // A second instance alive beside a new one shares no state with it: the
    // last mode renders the same bits again.
    Instance bystander(entry);
    std::vector<float> again;
    std::string error;
    ASSERT_TRUE(renderMode(entry, kRenderModes[kRenderModeCount - 1], again, error)) << error;
    const std::vector<float> last(all.end() - static_cast<long>(again.size()), all.end());
    AudioDifference diff;
    ASSERT_TRUE(compareAudio(last, again, diff, error)) << error;
    EXPECT_EQ(diff.maxAbs, 0.0) << "at frame " << diff.frame;
}

#endif  // CORVEX_PLUGIN_PATH
