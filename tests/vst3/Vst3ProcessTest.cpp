// process() as hosts and the format's validator call it: zero frames, null
// buffers, silence flags, parameter changes at the first and the last
// sample of a block (compared with the VST 2.4 build splitting its block
// there), a mono input, the bypass, and activation and sample-rate changes
// in the orders hosts use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Vst3TestHost.h"
#include "tests/clap/VstReference.h"

using namespace vst3check;
using namespace v3;

namespace {

struct Signal {
    explicit Signal(int frames, float level = 0.3f) : l(static_cast<size_t>(frames)), r(l.size()) {
        for (int i = 0; i < frames; ++i) {
            l[static_cast<size_t>(i)] = level * static_cast<float>(std::sin(i * 0.05));
            r[static_cast<size_t>(i)] = level * static_cast<float>(std::sin(i * 0.031 + 1.0));
        }
    }
    float* ch[2];
    float** io() {
        ch[0] = l.data();
        ch[1] = r.data();
        return ch;
    }
    std::vector<float> l, r;
};

bool finite(const std::vector<float>& v) {
    for (float x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

}  // namespace

TEST(Vst3Process, ChangesAtTheFirstAndLastSampleMatchTheVst24Build) {
    LoadedPlugin library;
    ASSERT_NE(library.handle, nullptr);
    for (double rate : {44100.0, 96000.0}) {
        clapcheck::VstReference vst(library, static_cast<float>(rate), 512);
        ASSERT_NE(vst.effect(), nullptr);
        Vst3TestHost host;
        ASSERT_TRUE(host.create()) << host.error();
        ASSERT_TRUE(host.start(rate, 512));
        // Each block: its changes (VST 2.4 time order), same for both.
        const std::vector<std::vector<clapcheck::TimedChange>> blocks = {
            {{0, 2, 0.9f}, {511, 9, 0.3f}},
            {{0, 1, 1.0f}, {0, 11, 1.0f}},  // channel 1 and HighQ at the first sample
            {{255, 5, 0.1f}, {511, 1, 0.0f}},  // channel 0 again at the last sample
            {},
            {{0, 10, 1.0f}, {511, 12, 1.0f}},
            {{1, 0, 0.2f}, {510, 11, 0.0f}},
        };
        for (size_t b = 0; b < blocks.size(); ++b) {
            Signal in(512);
            std::vector<float> refL(512), refR(512);
            float* refOut[2] = {refL.data(), refR.data()};
            vst.block(in.io(), refOut, 512, blocks[b]);
            ParamChanges changes;
            for (const clapcheck::TimedChange& c : blocks[b])
                changes.add(c.param, static_cast<int32_t>(c.time), c.value);
            Signal in3(512);
            std::vector<float> outL(512), outR(512);
            float* out[2] = {outL.data(), outR.data()};
            ASSERT_EQ(host.process(in3.io(), out, 512, &changes), kResultOk);
            ASSERT_EQ(outL, refL) << "block " << b << " at " << rate;
            ASSERT_EQ(outR, refR) << "block " << b << " at " << rate;
        }
    }
}

TEST(Vst3Process, ZeroFramesNullBuffersAndSilenceFlags) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    ASSERT_TRUE(host.start(48000.0, 1024));
    Signal s(1024);

    // Zero frames: the parameter changes still land (a host's flush).
    ParamChanges changes;
    changes.add(2, 0, 0.77);
    ASSERT_EQ(host.process(s.io(), s.io(), 0, &changes), kResultOk);
    EXPECT_NEAR(host.controller->getParamNormalized(2), 0.77, 1e-6);
    ASSERT_EQ(host.flush(changes), kResultOk);

    // Null channel pointers and a null buffer table: no crash, real output
    // where there is an output.
    float* nulls[2] = {nullptr, nullptr};
    EXPECT_EQ(host.process(nulls, nulls, 256), kResultOk);
    EXPECT_EQ(host.process(nullptr, nullptr, 256), kResultOk);
    std::vector<float> outL(1024, 5.0f), outR(1024, 5.0f);
    float* out[2] = {outL.data(), outR.data()};
    EXPECT_EQ(host.process(nulls, out, 1024), kResultOk);
    EXPECT_TRUE(finite(outL) && finite(outR));
    EXPECT_NE(outL[0], 5.0f);

    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = 64;
    EXPECT_EQ(host.processor->process(data), kResultOk);  // no buses at all
    data.numInputs = data.numOutputs = 1;
    EXPECT_EQ(host.processor->process(data), kResultOk);  // a bus count with no buses: none
    data.numInputs = data.numOutputs = 0;
    data.symbolicSampleSize = kSample64;
    EXPECT_NE(host.processor->process(data), kResultOk);
    data.symbolicSampleSize = kSample32;
    data.numSamples = -5;
    EXPECT_NE(host.processor->process(data), kResultOk);

    // Silence flags out say which outputs hold only zeros. The amp's valve
    // bias never leaves a true zero, so the bypass gives one: silence in,
    // silence out, flagged.
    auto allZero = [](const std::vector<float>& v, int n) {
        return std::all_of(v.begin(), v.begin() + n, [](float x) { return x == 0.0f; });
    };
    std::vector<float> zl(1024, 0.0f), zr(1024, 0.0f);
    float* zero[2] = {zl.data(), zr.data()};
    uint64_t flags = 0;
    host.process(zero, out, 1024, nullptr, nullptr, 3, &flags);
    EXPECT_EQ(flags, allZero(outL, 1024) && allZero(outR, 1024) ? 3u : 0u);
    ParamChanges bypass;
    bypass.add(13, 0, 1.0);
    host.process(zero, out, 1024, &bypass, nullptr, 3, &flags);
    host.process(zero, out, 1024, nullptr, nullptr, 3, &flags);
    EXPECT_EQ(flags, 3u);
    // Flags set on an input that is not silent: the input is taken as silence.
    Signal loud(1024, 0.9f);
    host.process(loud.io(), out, 1024, nullptr, nullptr, 3, &flags);
    EXPECT_EQ(flags, 3u);
    EXPECT_TRUE(allZero(outL, 1024));
    // Signal again: no silence claimed.
    host.process(loud.io(), out, 1024, nullptr, nullptr, 0, &flags);
    EXPECT_EQ(flags, 0u);
    bypass.clear();
    bypass.add(13, 0, 0.0);
    host.process(loud.io(), out, 1024, &bypass, nullptr, 0, &flags);

    // Longer than announced: still rendered.
    std::vector<float> bigL(4096, 0.2f), bigR(4096, 0.2f);
    float* big[2] = {bigL.data(), bigR.data()};
    EXPECT_EQ(host.process(big, big, 4096), kResultOk);
    EXPECT_TRUE(finite(bigL) && finite(bigR));

    // Hostile points: NaN, unknown ids, offsets outside the block, out of order.
    ParamChanges odd;
    odd.add(2, -10, std::nan(""));
    odd.add(99, 3, 0.5);
    odd.add(9, 5000, 0.4);
    odd.add(3, 100, 0.2);
    odd.queues.back().points.push_back({50, 0.6});
    EXPECT_EQ(host.process(s.io(), s.io(), 512, &odd), kResultOk);
    EXPECT_TRUE(finite(s.l) && finite(s.r));
    EXPECT_NEAR(host.controller->getParamNormalized(2), 0.77, 1e-6);
    EXPECT_NEAR(host.controller->getParamNormalized(9), 0.4, 1e-6);
    EXPECT_NEAR(host.controller->getParamNormalized(3), 0.6, 1e-6);
}

TEST(Vst3Process, MonoInputFeedsBothSides) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    SpeakerArrangement mono = speaker::kMono, stereo = speaker::kStereo;
    ASSERT_EQ(host.processor->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
    ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
    ASSERT_EQ(host.processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(host.component->setActive(1), kResultOk);
    host.active = true;
    ParamChanges st;
    st.add(10, 0, 1.0);  // stereo: both sides run
    Signal s(512);
    std::vector<float> outL(512), outR(512);
    float* out[2] = {outL.data(), outR.data()};
    AudioBusBuffers in{};
    in.numChannels = 1;
    float* inCh[1] = {s.l.data()};
    in.channelBuffers32 = inCh;
    AudioBusBuffers o{};
    o.numChannels = 2;
    o.channelBuffers32 = out;
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = 512;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &o;
    data.inputParameterChanges = &st;
    ASSERT_EQ(host.processor->process(data), kResultOk);
    EXPECT_EQ(outL, outR);
    EXPECT_NE(outL, std::vector<float>(512, 0.0f));
}

TEST(Vst3Process, BypassFadesToTheDryInputAndBack) {
    // Two instances on the same input, one bypassed after a block: its
    // output moves from the amp's to the dry input's, every sample between
    // the two, and is exactly the input after the 10 ms fade.
    Vst3TestHost host, twin;
    ASSERT_TRUE(host.create() && twin.create()) << host.error();
    ASSERT_TRUE(host.start(48000.0, 2048) && twin.start(48000.0, 2048));
    Signal s(2048);
    std::vector<float> outL(2048), outR(2048), ampL(2048), ampR(2048);
    float* out[2] = {outL.data(), outR.data()};
    float* amp[2] = {ampL.data(), ampR.data()};
    host.process(s.io(), out, 2048);
    twin.process(s.io(), amp, 2048);
    ParamChanges on;
    on.add(13, 0, 1.0);
    host.process(s.io(), out, 2048, &on);
    twin.process(s.io(), amp, 2048);
    double lastWeight = 1.0;
    for (size_t i = 0; i < 2048; ++i) {
        const float lo = std::min(ampL[i], s.l[i]), hi = std::max(ampL[i], s.l[i]);
        ASSERT_GE(outL[i], lo - 1e-6f) << i;
        ASSERT_LE(outL[i], hi + 1e-6f) << i;
        if (std::fabs(ampL[i] - s.l[i]) > 0.05f) {
            const double weight = (outL[i] - s.l[i]) / static_cast<double>(ampL[i] - s.l[i]);
            EXPECT_LE(weight, lastWeight + 1e-3) << i;  // only ever towards the dry signal
            lastWeight = weight;
        }
        if (i >= 480) {
            ASSERT_EQ(outL[i], s.l[i]) << i;
            ASSERT_EQ(outR[i], s.r[i]) << i;
        }
    }
    EXPECT_GT(outL[1], s.l[1] == ampL[1] ? -1.0f : std::min(ampL[1], s.l[1]));
    host.process(s.io(), out, 2048);
    EXPECT_EQ(outL, s.l);
    EXPECT_EQ(outR, s.r);
    ParamChanges off;
    off.add(13, 0, 0.0);
    host.process(s.io(), out, 2048, &off);
    EXPECT_NE(outL[1000], s.l[1000]);
    EXPECT_EQ(host.controller->getParamNormalized(13), 0.0);
}

TEST(Vst3Process, ActivationAndSampleRateChangesInEveryOrder) {
    Vst3TestHost host;
    ASSERT_TRUE(host.create()) << host.error();
    IAudioProcessor* p = host.processor;
    IComponent* c = host.component;
    Signal s(512);
    auto block = [&]() {
        std::vector<float> l(512), r(512);
        float* out[2] = {l.data(), r.data()};
        EXPECT_EQ(host.process(s.io(), out, 512), kResultOk);
        return finite(l) && finite(r);
    };
    // Process before any setup (some hosts do): the default rate.
    EXPECT_TRUE(block());
    for (double rate : {44100.0, 48000.0, 96000.0, 22050.0, 192000.0, 44100.0}) {
        ProcessSetup setup{kRealtime, kSample32, 512, rate};
        ASSERT_EQ(p->setupProcessing(setup), kResultOk) << rate;
        ASSERT_EQ(c->setActive(1), kResultOk);
        // Refused while active: the rate cannot change under the audio.
        ProcessSetup other{kRealtime, kSample32, 512, rate * 2};
        EXPECT_NE(p->setupProcessing(other), kResultOk);
        EXPECT_EQ(p->setProcessing(1), kResultOk);
        EXPECT_TRUE(block());
        EXPECT_EQ(p->setProcessing(0), kResultOk);
        EXPECT_EQ(p->setProcessing(1), kResultOk);  // stop and start without deactivating
        EXPECT_TRUE(block());
        EXPECT_EQ(p->setProcessing(0), kResultOk);
        EXPECT_EQ(c->setActive(0), kResultOk);
        EXPECT_EQ(c->setActive(0), kResultOk);  // twice is harmless
    }
    // Activated twice, deactivated while processing, offline mode.
    ASSERT_EQ(c->setActive(1), kResultOk);
    ASSERT_EQ(c->setActive(1), kResultOk);
    EXPECT_EQ(p->setProcessing(1), kResultOk);
    EXPECT_TRUE(block());
    EXPECT_EQ(c->setActive(0), kResultOk);
    EXPECT_EQ(p->setProcessing(0), kResultOk);
    ProcessSetup offline{kOffline, kSample32, 8192, 48000.0};
    ASSERT_EQ(p->setupProcessing(offline), kResultOk);
    ASSERT_EQ(c->setActive(1), kResultOk);
    EXPECT_TRUE(block());
    EXPECT_EQ(c->setActive(0), kResultOk);
    // A rate the amp cannot take is refused; the last good one stays.
    for (double bad : {0.0, -48000.0, 1e39, std::nan(""), static_cast<double>(INFINITY)}) {
        ProcessSetup setup{kRealtime, kSample32, 512, bad};
        EXPECT_NE(p->setupProcessing(setup), kResultOk) << bad;
    }
    ASSERT_EQ(c->setActive(1), kResultOk);
    EXPECT_TRUE(block());

    // A suspend and a resume (with the rate set again while suspended) do
    // to the amp what they do in the VST 2.4 build.
    LoadedPlugin library;
    ASSERT_NE(library.handle, nullptr);
    clapcheck::VstReference vst(library, 48000.0f, 512);
    Vst3TestHost a;
    ASSERT_TRUE(a.create());
    ASSERT_TRUE(a.start(48000.0, 512));
    for (int round = 0; round < 3; ++round) {
        Signal in2(512, 0.9f), in3(512, 0.9f);
        std::vector<float> l(512), r(512), l2(512), r2(512);
        float* out[2] = {l.data(), r.data()};
        float* out2[2] = {l2.data(), r2.data()};
        a.process(in2.io(), out, 512);
        vst.block(in3.io(), out2, 512, {});
        ASSERT_EQ(l, l2) << round;
        ASSERT_EQ(r, r2) << round;
        a.stop();
        vst.dispatch(effStopProcess);
        vst.dispatch(effMainsChanged, 0, 0);
        if (round == 1) {
            vst.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        } else {
            vst.dispatch(effMainsChanged, 0, 1);
            vst.dispatch(effStopProcess);
            vst.dispatch(effMainsChanged, 0, 0);
        }
        vst.dispatch(effMainsChanged, 0, 1);
        vst.dispatch(effStartProcess);
        if (round == 1) {
            ASSERT_TRUE(a.start(48000.0, 512));  // setupProcessing again, as hosts do
        } else {
            ASSERT_EQ(a.component->setActive(1), kResultOk);
            ASSERT_EQ(a.component->setActive(0), kResultOk);
            ASSERT_EQ(a.component->setActive(1), kResultOk);
            a.active = true;
            ASSERT_EQ(a.processor->setProcessing(1), kResultOk);
            a.processing = true;
        }
    }
}
