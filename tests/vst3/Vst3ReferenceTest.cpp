// The VST3 build against the VST 2.4 build: the harness's eight modes (both
// channels, both qualities, mono and stereo) in its fixed pattern of uneven
// blocks, at 44100, 48000 and 96000 Hz. On Linux the VST 2.4 renders are
// made here and must match bit for bit; the Windows builds compare their
// 44100 Hz renders with the reference file the Linux build wrote, within
// 1e-6.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Vst3TestHost.h"
#include "tests/windows/PluginHarness.h"

using namespace vst3check;
namespace harness = corvex::harness;

namespace {

const int kBlockPattern[] = {1024, 1, 333, 512, 64, 7, 1024, 900, 2, 256};
constexpr int kMaxBlock = 1024;

// What harness::renderMode does through the VST record, through VST3: the
// mode and two knobs set before activation (a host's flush), then blocks.
bool renderVst3Mode(const harness::RenderMode& mode, double rate, std::vector<float>& out, std::string& error) {
    Vst3TestHost host;
    if (!host.create()) {
        error = host.error();
        return false;
    }
    ParamChanges setup;
    setup.add(harness::kParamChannel, 0, mode.channel);
    setup.add(harness::kParamQuality, 0, mode.quality);
    setup.add(harness::kParamStereo, 0, mode.stereo);
    setup.add(harness::kParamDrive, 0, 0.8f);
    setup.add(harness::kParamMid, 0, 0.3f);
    host.flush(setup);
    if (!host.start(rate, kMaxBlock)) {
        error = "start failed";
        return false;
    }
    std::vector<float> left, right;
    harness::makeTestSignal(left, right);
    std::vector<float> inL(kMaxBlock), inR(kMaxBlock), outL(kMaxBlock), outR(kMaxBlock);
    out.assign(static_cast<size_t>(harness::kRenderFrames) * 2, 0.0f);
    for (int b = 0, done = 0; done < harness::kRenderFrames; ++b) {
        const int n = std::min(kBlockPattern[b % 10], harness::kRenderFrames - done);
        std::copy(left.begin() + done, left.begin() + done + n, inL.begin());
        std::copy(right.begin() + done, right.begin() + done + n, inR.begin());
        std::fill(outL.begin(), outL.end(), 12345.0f);
        std::fill(outR.begin(), outR.end(), 12345.0f);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        if (host.process(inputs, outputs, n) != v3::kResultOk) {
            error = "process failed";
            return false;
        }
        for (int i = 0; i < n; ++i) {
            out[2 * static_cast<size_t>(done + i)] = outL[static_cast<size_t>(i)];
            out[2 * static_cast<size_t>(done + i) + 1] = outR[static_cast<size_t>(i)];
        }
        done += n;
    }
    return true;
}

#if !defined(_WIN32)
// harness::renderMode at another rate: the same calls on the VST 2.4 record.
bool renderVst2Mode(harness::PluginEntryProc entry, const harness::RenderMode& mode, double rate,
                    std::vector<float>& out) {
    AEffect* e = entry([](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) -> VstIntPtr {
        return opcode == audioMasterVersion ? 2400 : 0;
    });
    if (!e)
        return false;
    auto dispatch = [e](VstInt32 op, VstIntPtr value = 0, float opt = 0.0f) {
        return e->dispatcher(e, op, 0, value, nullptr, opt);
    };
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, static_cast<float>(rate));
    dispatch(effSetBlockSize, kMaxBlock);
    e->setParameter(e, harness::kParamChannel, mode.channel);
    e->setParameter(e, harness::kParamQuality, mode.quality);
    e->setParameter(e, harness::kParamStereo, mode.stereo);
    e->setParameter(e, harness::kParamDrive, 0.8f);
    e->setParameter(e, harness::kParamMid, 0.3f);
    dispatch(effMainsChanged, 1);
    std::vector<float> left, right;
    harness::makeTestSignal(left, right);
    std::vector<float> outL(kMaxBlock), outR(kMaxBlock);
    out.assign(static_cast<size_t>(harness::kRenderFrames) * 2, 0.0f);
    for (int b = 0, done = 0; done < harness::kRenderFrames; ++b) {
        const int n = std::min(kBlockPattern[b % 10], harness::kRenderFrames - done);
        float* inputs[2] = {left.data() + done, right.data() + done};
        float* outputs[2] = {outL.data(), outR.data()};
        e->processReplacing(e, inputs, outputs, n);
        for (int i = 0; i < n; ++i) {
            out[2 * static_cast<size_t>(done + i)] = outL[static_cast<size_t>(i)];
            out[2 * static_cast<size_t>(done + i) + 1] = outR[static_cast<size_t>(i)];
        }
        done += n;
    }
    dispatch(effMainsChanged, 0);
    dispatch(effClose);
    return true;
}
#endif

}  // namespace

TEST(Vst3Reference, EveryModeAtEveryRateRendersAsTheVst24Build) {
    std::string error;
#if defined(_WIN32)
    harness::Reference file;
    if (!harness::readReference(CORVEX_REFERENCE_FILE, file, error))
        GTEST_SKIP() << "no reference from the Linux build (" << error << "): run corvex-make-reference first";
    const double rates[] = {harness::kRenderRate};
    const double tolerance = 1e-6;
#else
    harness::PluginLibrary library;
    ASSERT_TRUE(library.load(CORVEX_PLUGIN_PATH, error)) << error;
    const double rates[] = {44100.0, 48000.0, 96000.0};
    const double tolerance = 0.0;
#endif
    for (double rate : rates) {
        std::vector<float> reference, vst3;
        for (const harness::RenderMode& mode : harness::kRenderModes) {
            std::vector<float> one;
#if defined(_WIN32)
            (void)mode;
#else
            if (rate == harness::kRenderRate)
                ASSERT_TRUE(harness::renderMode(library.vstPluginMain(), mode, one, error)) << error;
            else
                ASSERT_TRUE(renderVst2Mode(library.vstPluginMain(), mode, rate, one));
            reference.insert(reference.end(), one.begin(), one.end());
#endif
            ASSERT_TRUE(renderVst3Mode(mode, rate, one, error)) << mode.name << ": " << error;
            vst3.insert(vst3.end(), one.begin(), one.end());
        }
#if defined(_WIN32)
        reference = file.audio;
#endif
        std::vector<std::string> problems;
        harness::checkRenderSane(vst3, problems);
        for (const std::string& p : problems)
            ADD_FAILURE() << rate << " Hz: " << p;
        harness::AudioDifference diff;
        ASSERT_TRUE(harness::compareAudio(reference, vst3, diff, error)) << error;
        EXPECT_LE(diff.maxAbs, tolerance) << rate << " Hz: largest difference in "
                                          << harness::kRenderModes[std::max(diff.mode, 0)].name << " at frame "
                                          << diff.frame << ", channel " << diff.channel;
    }
}
