// Hosts that do what hosts should not: blocks larger than announced, odd
// frame counts, sample rates from telephone to far beyond studio (and some
// that are no rates at all), parameter values that are no knob positions,
// closing the effect with its editor open, opening the editor a thousand
// times, and two instances running on two threads at once.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
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

std::string describe(float channel, Param p, float value) {
    char text[96];
    std::snprintf(text, sizeof text, "channel %d parameter %d = %g", int(channel), int(p), double(value));
    return text;
}

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
    const float rates[] = {8000,  11025, 16000,  22050,  32000,  44100, 48000,
                           88200, 96000, 176400, 192000, 352800, 384000};
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

// The RMS of a stereo instance playing the test sine at its defaults, with
// the given channel selected.
double referenceRms(float channel) {
    Instance reference;
    reference.set(kChannel, channel);
    reference.set(kMonoStereo, 1.0f);
    return playSine(reference, 44100.0f, 0.25, 512);
}

// Plays the test sine from `startFrame` until the last `window` seconds all
// had at least half the normal RMS (checked per 512-frame block), or until
// `limit` seconds. Answers the seconds it took, or -1 when it never settled
// or a sample was non-finite.
double secondsToRecover(Instance& instance, double normalRms, double window, double limit) {
    Block block(512);
    const long windowBlocks = static_cast<long>(window * 44100.0 / 512.0);
    long goodRun = 0, frame = 0;
    while (frame < static_cast<long>(limit * 44100.0)) {
        block.fillSine(220.0, 44100.0, 0.3f, frame);
        block.runThrough(instance);
        frame += 512;
        if (!block.outputFinite())
            return -1.0;
        goodRun = block.outputRms() >= 0.5 * normalRms ? goodRun + 1 : 0;
        if (goodRun >= windowBlocks)
            return frame / 44100.0;
    }
    return -1.0;
}

// Drives the knob to `value` for four blocks of noise (each must come out
// finite), then puts it back.
void knobExcursion(Instance& instance, Param p, float value, const std::string& what) {
    const float previous = instance.get(p);
    instance.set(p, value);
    Block block(512);
    std::mt19937 rng(p);
    for (int n = 0; n < 4; ++n) {
        block.fillNoise(rng, 0.5f);
        block.runThrough(instance);
        ASSERT_TRUE(block.outputFinite()) << what;
    }
    instance.set(p, previous);
}

const Param kKnobs[] = {kInput, kDrive, kMixPls, kLow, kMid, kHigh, kContour, kPowerAmp, kVolume};

// A knob sent to NaN or infinity silences the amp (the side that went
// non-finite is put back to rest), never makes it emit a non-finite sample;
// once the knob is back the sound returns within a quarter second.
TEST(HostileHost, NonFiniteKnobValuesSilenceAndRecoverAtOnce) {
    for (float channel : {0.0f, 1.0f}) {
        const double normalRms = referenceRms(channel);
        ASSERT_GT(normalRms, 1e-2);
        Instance instance;
        ASSERT_TRUE(instance.valid());
        instance.set(kChannel, channel);
        instance.set(kMonoStereo, 1.0f);
        for (Param p : kKnobs) {
            for (float v : {kNaN, kInf, -kInf}) {
                const std::string what = describe(channel, p, v);
                knobExcursion(instance, p, v, what);
                const double took = secondsToRecover(instance, normalRms, 0.1, 0.5);
                EXPECT_GE(took, 0.0) << what << ": not back within 0.5 s";
                EXPECT_LE(took, 0.25) << what;
            }
        }
    }
}

// A knob sent to +-1e30 overdrives the circuit model into states far from
// any operating point, which it leaves by itself, slowly: the output stays
// finite throughout, and the sound is back within 20 s (the slowest case,
// "Input" at 1e30 on channel 0, takes about 15 s).
TEST(HostileHost, HugeKnobValuesStayFiniteAndRecover) {
    double worst = 0.0;
    std::string worstWhat;
    for (float channel : {0.0f, 1.0f}) {
        const double normalRms = referenceRms(channel);
        Instance instance;
        ASSERT_TRUE(instance.valid());
        instance.set(kChannel, channel);
        instance.set(kMonoStereo, 1.0f);
        for (Param p : kKnobs) {
            for (float v : {1e30f, -1e30f}) {
                const std::string what = describe(channel, p, v);
                knobExcursion(instance, p, v, what);
                const double took = secondsToRecover(instance, normalRms, 0.5, 20.0);
                EXPECT_GE(took, 0.0) << what << ": not back within 20 s";
                if (took > worst) {
                    worst = took;
                    worstWhat = what;
                }
            }
        }
    }
    std::printf("[ recover ] slowest: %s, %.2f s\n", worstWhat.c_str(), worst);
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

}  // namespace
