// Hosts that do what hosts should not: blocks larger than announced, odd
// frame counts, sample rates from telephone to far beyond studio (and some
// that are no rates at all), parameter values that are no knob positions,
// closing the effect with its editor open, opening the editor a thousand
// times, and two instances running on two threads at once.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestHost.h"

namespace {

using namespace reliability;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Processes `seconds` of a 220 Hz sine in blocks of `frames`; answers the rms
// of the last block and checks every block on the way.
double playSine(Instance& instance, float rate, double seconds, int frames, float amplitude = 0.3f,
                float* peakOut = nullptr) {
    Block block(frames);
    const long total = static_cast<long>(seconds * rate);
    double rms = 0.0;
    float peak = 0.0f;
    for (long done = 0; done < total; done += frames) {
        block.fillSine(220.0, rate, amplitude, done);
        block.runThrough(instance);
        EXPECT_TRUE(block.outputFinite()) << "rate " << rate << " at frame " << done;
        if (!block.outputFinite())
            return -1.0;
        peak = std::max(peak, block.outputPeak());
        rms = block.outputRms();
    }
    if (peakOut)
        *peakOut = peak;
    return rms;
}

TEST(HostileHost, BlockLargerThanAnnounced) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    instance.dispatch(effSetBlockSize, 0, 64);
    instance.dispatch(effMainsChanged, 0, 1);
    Block block(8192);
    block.fillSine(220.0, 44100.0, 0.3f);
    block.runThrough(instance);
    EXPECT_TRUE(block.outputFinite());
    EXPECT_GT(block.outputRms(), 1e-3);
}

// One block of 8192 frames and 8192 blocks of one frame give the same sound:
// nothing depends on the block boundaries but the injected anti-denormal
// sine, whose phase restarts with each block (1e-10 at the input).
TEST(HostileHost, FrameCountsOfOneAnd8192Agree) {
    for (int stereo = 0; stereo < 2; ++stereo) {
        for (int channel = 0; channel < 2; ++channel) {
            Instance whole, single;
            ASSERT_TRUE(whole.valid() && single.valid());
            for (Instance* i : {&whole, &single}) {
                i->set(kMonoStereo, float(stereo));
                i->set(kChannel, float(channel));
            }
            Block big(8192);
            big.fillSine(330.0, 44100.0, 0.4f);
            big.runThrough(whole);
            ASSERT_TRUE(big.outputFinite());

            Block one(1);
            double worst = 0.0;
            for (int f = 0; f < 8192; ++f) {
                one.inLeft[0] = big.inLeft[f];
                one.inRight[0] = big.inRight[f];
                one.runThrough(single);
                ASSERT_TRUE(one.outputFinite());
                worst = std::max(worst, double(std::fabs(one.outLeft[0] - big.outLeft[f])));
                worst = std::max(worst, double(std::fabs(one.outRight[0] - big.outRight[f])));
            }
            EXPECT_LT(worst, 1e-4) << "stereo " << stereo << " channel " << channel;
        }
    }
}

TEST(HostileHost, EmptyBlocksAndMissingBuffersTouchNothing) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    Block block(16);
    block.fillSine(220.0, 44100.0, 0.3f);
    for (VstInt32 frames : {0, -1, -8192, INT_MIN}) {
        std::fill(block.outLeft.begin(), block.outLeft.end(), 7.0f);
        std::fill(block.outRight.begin(), block.outRight.end(), 7.0f);
        instance.process(block.inLeft.data(), block.inRight.data(), block.outLeft.data(), block.outRight.data(),
                         frames);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(block.outLeft[i], 7.0f);
            EXPECT_EQ(block.outRight[i], 7.0f);
        }
    }
    // A host that hands no channel arrays at all is refused, not followed.
    AEffect* e = instance.record();
    e->processReplacing(e, nullptr, nullptr, 16);
    float* outputs[2] = {block.outLeft.data(), block.outRight.data()};
    e->processReplacing(e, nullptr, outputs, 16);
    float* inputs[2] = {block.inLeft.data(), block.inRight.data()};
    e->processReplacing(e, inputs, nullptr, 16);
    // Still in working order afterwards.
    block.runThrough(instance);
    EXPECT_TRUE(block.outputFinite());
}

TEST(HostileHost, SampleRatesFrom8kTo384k) {
    const float rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
    for (float quality : {0.0f, 1.0f}) {
        Instance instance;
        ASSERT_TRUE(instance.valid());
        instance.set(kQuality, quality);
        for (float rate : rates) {
            instance.setSampleRate(rate);
            EXPECT_EQ(instance.object()->getSampleRate(), rate);
            float peak = 0.0f;
            const double rms = playSine(instance, rate, 0.2, 512, 0.3f, &peak);
            EXPECT_GT(rms, 1e-3) << rate << " Hz, quality " << quality;
            EXPECT_LT(peak, 4.0f) << rate << " Hz, quality " << quality;
        }
    }
}

// 0, negative, NaN and infinite rates are refused: the rate stays, and the
// sound is bit for bit that of an instance that was never asked.
TEST(HostileHost, RatesThatAreNoRatesAreRefused) {
    Instance asked, untouched;
    ASSERT_TRUE(asked.valid() && untouched.valid());
    asked.setSampleRate(48000.0f);
    untouched.setSampleRate(48000.0f);
    const float bad[] = {0.0f, -0.0f, -44100.0f, kNaN, -kNaN, kInf, -kInf};
    Block a(512), b(512);
    for (int round = 0; round < 4; ++round) {
        for (float rate : bad)
            asked.setSampleRate(rate);
        EXPECT_EQ(asked.object()->getSampleRate(), 48000.0f);
        a.fillSine(220.0, 48000.0, 0.3f, round * 512L);
        b.inLeft = a.inLeft;
        b.inRight = a.inRight;
        a.runThrough(asked);
        b.runThrough(untouched);
        for (int i = 0; i < 512; ++i) {
            ASSERT_TRUE(sameBits(a.outLeft[i], b.outLeft[i])) << "round " << round << " frame " << i;
            ASSERT_TRUE(sameBits(a.outRight[i], b.outRight[i])) << "round " << round << " frame " << i;
        }
    }
    // The same refusal when the effect is asked directly, not through the
    // dispatcher (the path a derived host adapter or the quality switch takes).
    for (float rate : bad)
        asked.object()->setSampleRate(rate);
    EXPECT_EQ(asked.object()->getSampleRate(), 48000.0f);
    EXPECT_GT(playSine(asked, 48000.0f, 0.1, 512), 1e-3);
}

// Finite rates nobody records at: nothing sensible to play, but never a
// non-finite sample, and a sane rate afterwards brings the sound back.
TEST(HostileHost, AbsurdFiniteRatesStayFiniteAndRecover) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    const float absurd[] = {FLT_TRUE_MIN, FLT_MIN, 1.0f, 100.0f, 1000.0f, 1e7f, 1e30f, FLT_MAX};
    for (float rate : absurd) {
        instance.setSampleRate(rate);
        Block block(256);
        std::mt19937 rng(5);
        for (int n = 0; n < 8; ++n) {
            block.fillNoise(rng, 0.5f);
            block.runThrough(instance);
            ASSERT_TRUE(block.outputFinite()) << "rate " << rate;
        }
        instance.setSampleRate(44100.0f);
        EXPECT_GT(playSine(instance, 44100.0f, 0.25, 512), 1e-3) << "after rate " << rate;
    }
}

TEST(HostileHost, ParameterValuesAreStoredAsGiven) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    const float values[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, FLT_MAX, FLT_TRUE_MIN, -0.0f, 2.5f, -3.0f};
    for (VstInt32 p = 0; p < kNumParams; ++p) {
        for (float v : values) {
            // Switch the channel back so that per-channel values are read in
            // the channel they were stored in.
            instance.set(kChannel, 0.0f);
            instance.set(p, v);
            const float got = instance.get(p);
            if (std::isnan(v))
                EXPECT_TRUE(std::isnan(got)) << "parameter " << p;
            else
                EXPECT_TRUE(sameBits(got, v)) << "parameter " << p << " value " << v << " read " << got;
            // The display stays inside its 8 characters and terminating zero.
            char text[64];
            std::memset(text, 0x55, sizeof(text));
            instance.dispatch(effGetParamDisplay, p, 0, text);
            EXPECT_LE(std::strlen(text), 8u) << "parameter " << p << " value " << v;
            for (std::size_t i = 9; i < sizeof(text); ++i)
                ASSERT_EQ(text[i], 0x55) << "parameter " << p << " value " << v << " wrote byte " << i;
        }
    }
}

TEST(HostileHost, IndexesOutsideTheParametersChangeNothing) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    float before[kNumParams];
    for (int p = 0; p < kNumParams; ++p)
        before[p] = instance.get(p);
    for (VstInt32 index : {-1, 13, 14, 1000, INT_MAX, INT_MIN}) {
        instance.set(index, 0.75f);
        EXPECT_EQ(instance.get(index), 0.0f);
        char text[64] = "untouched";
        instance.dispatch(effGetParamName, index, 0, text);
        instance.dispatch(effGetParamDisplay, index, 0, text);
        EXPECT_STREQ(text, "untouched");
    }
    for (int p = 0; p < kNumParams; ++p)
        EXPECT_TRUE(sameBits(instance.get(p), before[p])) << p;
}

// A knob sent to NaN, infinity or 1e30 may silence the amp, never make it
// emit a non-finite sample; once the knob is back the sound returns.
TEST(HostileHost, HostileParameterValuesKeepOutputFiniteAndRecover) {
    const float hostile[] = {kNaN, kInf, -kInf, 1e30f, -1e30f};
    const Param knobs[] = {kInput, kDrive, kMixPls, kLow, kMid, kHigh, kContour, kPowerAmp, kVolume};
    Instance reference;
    ASSERT_TRUE(reference.valid());
    const double normalRms = playSine(reference, 44100.0f, 0.25, 512);
    ASSERT_GT(normalRms, 1e-3);

    for (float channel : {0.0f, 1.0f}) {
        Instance instance;
        ASSERT_TRUE(instance.valid());
        instance.set(kChannel, channel);
        instance.set(kMonoStereo, 1.0f);
        for (Param p : knobs) {
            for (float v : hostile) {
                const float previous = instance.get(p);
                instance.set(p, v);
                const std::string what =
                    "channel " + std::to_string(int(channel)) + " parameter " + std::to_string(p) + " = " + std::to_string(v);
                Block block(512);
                std::mt19937 rng(p);
                for (int n = 0; n < 4; ++n) {
                    block.fillNoise(rng, 0.5f);
                    block.runThrough(instance);
                    ASSERT_TRUE(block.outputFinite()) << what;
                }
                instance.set(p, previous);
                const double rms = playSine(instance, 44100.0f, 0.25, 512);
                EXPECT_GT(rms, 0.2 * normalRms) << what << ", then back to " << previous;
            }
        }
    }
}

// Infinite or NaN samples from the host are no reason to emit them.
TEST(HostileHost, NonFiniteInputSamples) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    for (float stereo : {0.0f, 1.0f}) {
        instance.set(kMonoStereo, stereo);
        for (float v : {kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX}) {
            Block block(64);
            block.fillSine(220.0, 44100.0, 0.3f);
            block.inLeft[10] = v;
            block.inRight[20] = v;
            block.runThrough(instance);
            EXPECT_TRUE(block.outputFinite()) << "input sample " << v;
        }
        EXPECT_GT(playSine(instance, 44100.0f, 0.25, 512), 1e-3);
    }
}

TEST(HostileHost, CloseWithTheEditorOpen) {
    for (int round = 0; round < 3; ++round) {
        Instance instance;
        ASSERT_TRUE(instance.valid());
        int parentWindow = 0;  // any non-null token is a window to the headless layer
        ERect* rect = nullptr;
        instance.dispatch(effEditGetRect, 0, 0, &rect);
        instance.dispatch(effEditOpen, 0, 0, &parentWindow);
        instance.dispatch(effEditIdle);
        instance.set(kDrive, 0.8f);  // the open editor hears of it
        instance.close();            // deletes effect and editor with the frame still up
    }
}

TEST(HostileHost, EditorOpenedAndClosedAThousandTimes) {
    Instance instance;
    ASSERT_TRUE(instance.valid());
    const bool hasEditor = (instance.record()->flags & effFlagsHasEditor) != 0;
    int parentWindow = 0;
    instance.set(kVolume, 0.3f);
    for (int n = 0; n < 1000; ++n) {
        ERect* rect = nullptr;
        const VstIntPtr gotRect = instance.dispatch(effEditGetRect, 0, 0, &rect);
        const VstIntPtr opened = instance.dispatch(effEditOpen, 0, 0, &parentWindow);
        if (hasEditor) {
            ASSERT_EQ(gotRect, 1) << "opening " << n;
            ASSERT_NE(rect, nullptr);
            EXPECT_EQ(rect->right - rect->left, 660);
            EXPECT_EQ(rect->bottom - rect->top, 248);
            ASSERT_EQ(opened, 1) << "opening " << n;
        }
        instance.dispatch(effEditIdle);
        instance.dispatch(effEditClose);
        // Closing twice in a row is harmless.
        if (n % 100 == 0)
            instance.dispatch(effEditClose);
    }
    EXPECT_EQ(instance.get(kVolume), 0.3f);
    EXPECT_GT(playSine(instance, 44100.0f, 0.1, 512), 1e-4);
}

// Two instances share nothing: run side by side on two threads they give
// exactly what they give one after the other.
TEST(HostileHost, TwoInstancesOnTwoThreadsMatchSequentialRuns) {
    struct Setup {
        float channel, stereo, quality, drive;
        unsigned seed;
    };
    const Setup setups[2] = {{0.0f, 1.0f, 1.0f, 0.9f, 1u}, {1.0f, 0.0f, 0.0f, 0.3f, 2u}};
    const int blocks = 200, frames = 256;

    auto run = [&](Instance& instance, const Setup& s, std::vector<float>& out) {
        instance.set(kChannel, s.channel);
        instance.set(kMonoStereo, s.stereo);
        instance.set(kQuality, s.quality);
        instance.set(kDrive, s.drive);
        std::mt19937 rng(s.seed);
        Block block(frames);
        for (int n = 0; n < blocks; ++n) {
            block.fillNoise(rng, 0.6f);
            block.runThrough(instance);
            out.insert(out.end(), block.outLeft.begin(), block.outLeft.end());
            out.insert(out.end(), block.outRight.begin(), block.outRight.end());
        }
    };

    std::vector<float> sequential[2], parallel[2];
    for (int k = 0; k < 2; ++k) {
        Instance instance;
        ASSERT_TRUE(instance.valid());
        run(instance, setups[k], sequential[k]);
    }
    {
        Instance first, second;
        ASSERT_TRUE(first.valid() && second.valid());
        std::thread a([&] { run(first, setups[0], parallel[0]); });
        std::thread b([&] { run(second, setups[1], parallel[1]); });
        a.join();
        b.join();
    }
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(parallel[k].size(), sequential[k].size());
        for (std::size_t i = 0; i < parallel[k].size(); ++i)
            ASSERT_TRUE(sameBits(parallel[k][i], sequential[k][i])) << "instance " << k << " sample " << i;
    }
}

}  // namespace
