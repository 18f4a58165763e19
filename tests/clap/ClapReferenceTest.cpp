// The CLAP build against the reference renders of the plug-in harness (eight
// modes at 44100 Hz in a fixed pattern of uneven blocks). On Linux the
// reference is rendered here from the VST 2.4 build and must match bit for
// bit; the Windows builds compare themselves with the reference file the
// Linux build wrote (CORVEX_REFERENCE_FILE), within 1e-6.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ClapTestHost.h"
#include "tests/windows/PluginHarness.h"

using namespace clapcheck;
namespace harness = corvex::harness;

namespace {

// What harness::renderMode does through the VST record, through CLAP: the
// mode and two knobs set before activation (by flush), then the blocks.
bool renderClapMode(const harness::RenderMode& mode, std::vector<float>& out, std::string& error) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    if (!host.create()) {
        error = host.error();
        return false;
    }
    InputEvents setup;
    setup.add(0, harness::kParamChannel, mode.channel);
    setup.add(0, harness::kParamQuality, mode.quality);
    setup.add(0, harness::kParamStereo, mode.stereo);
    setup.add(0, harness::kParamDrive, 0.8f);
    setup.add(0, harness::kParamMid, 0.3f);
    OutputEvents ignored;
    host.flush(setup, ignored);
    const int maxBlock = 1024;
    if (!host.activate(harness::kRenderRate, maxBlock)) {
        error = "activate failed";
        return false;
    }
    std::vector<float> left, right;
    harness::makeTestSignal(left, right);
    static const int blockPattern[] = {1024, 1, 333, 512, 64, 7, 1024, 900, 2, 256};
    std::vector<float> inL(maxBlock), inR(maxBlock), outL(maxBlock), outR(maxBlock);
    out.assign(static_cast<size_t>(harness::kRenderFrames) * 2, 0.0f);
    int done = 0;
    for (int b = 0; done < harness::kRenderFrames; ++b) {
        const int n = std::min(blockPattern[b % 10], harness::kRenderFrames - done);
        std::copy(left.begin() + done, left.begin() + done + n, inL.begin());
        std::copy(right.begin() + done, right.begin() + done + n, inR.begin());
        std::fill(outL.begin(), outL.end(), 12345.0f);
        std::fill(outR.begin(), outR.end(), 12345.0f);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        OutputEvents sent;
        if (host.process(inputs, outputs, static_cast<uint32_t>(n), InputEvents(), sent) != CLAP_PROCESS_CONTINUE) {
            error = "process failed";
            return false;
        }
        for (int i = 0; i < n; ++i) {
            out[2 * static_cast<size_t>(done + i)] = outL[i];
            out[2 * static_cast<size_t>(done + i) + 1] = outR[i];
        }
        done += n;
    }
    return true;
}

}  // namespace

TEST(ClapReference, TheHarnessModesRenderAsTheReference) {
    std::vector<float> reference;
    double tolerance = 0.0;
    std::string error;
#if defined(_WIN32)
    harness::Reference file;
    if (!harness::readReference(CORVEX_REFERENCE_FILE, file, error))
        GTEST_SKIP() << "no reference from the Linux build (" << error << "): run corvex-make-reference first";
    reference = file.audio;
    tolerance = 1e-6;
#else
    harness::PluginLibrary library;
    ASSERT_TRUE(library.load(CORVEX_PLUGIN_PATH, error)) << error;
    for (const harness::RenderMode& mode : harness::kRenderModes) {
        std::vector<float> one;
        ASSERT_TRUE(harness::renderMode(library.vstPluginMain(), mode, one, error)) << error;
        reference.insert(reference.end(), one.begin(), one.end());
    }
#endif
    std::vector<float> clap;
    for (const harness::RenderMode& mode : harness::kRenderModes) {
        std::vector<float> one;
        ASSERT_TRUE(renderClapMode(mode, one, error)) << mode.name << ": " << error;
        clap.insert(clap.end(), one.begin(), one.end());
    }
    std::vector<std::string> problems;
    harness::checkRenderSane(clap, problems);
    for (const std::string& p : problems)
        ADD_FAILURE() << p;
    harness::AudioDifference diff;
    ASSERT_TRUE(harness::compareAudio(reference, clap, diff, error)) << error;
    EXPECT_LE(diff.maxAbs, tolerance) << "largest difference in " << harness::kRenderModes[std::max(diff.mode, 0)].name
                                      << " at frame " << diff.frame << ", channel " << diff.channel;
}
