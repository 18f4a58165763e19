// The cabinet against our own direct convolution: the partitioned
// convolver, fed aligned or through its FIFO, must give the same numbers as
// y[n] = sum_k h[k] x[n-k] computed the slow way, for mono and stereo
// responses, at the response's own rate and resampled.
#include <gtest/gtest.h>

#include <cmath>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "cabinet/Cabinet.h"
#include "cabinet/ImpulseResponse.h"

namespace {

using cabinet::Cabinet;
using cabinet::ImpulseResponse;

std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<float>& h) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); n++) {
        double sum = 0.0;
        const size_t taps = std::min(h.size(), n + 1);
        for (size_t k = 0; k < taps; k++)
            sum += (double)h[k] * (double)x[n - k];
        y[n] = sum;
    }
    return y;
}

// Largest difference relative to the reference's largest value.
double relativeError(const std::vector<float>& got, const std::vector<double>& want) {
    double worst = 0.0, scale = 0.0;
    for (size_t i = 0; i < want.size(); i++) {
        worst = std::max(worst, std::fabs((double)got[i] - want[i]));
        scale = std::max(scale, std::fabs(want[i]));
    }
    return scale > 0.0 ? worst / scale : worst;
}

// A decaying noise burst: dense like a real cabinet response.
std::vector<float> decayingNoise(size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> h(length);
    for (size_t i = 0; i < length; i++)
        h[i] = noise(rng) * std::exp(-6.0f * (float)i / (float)length);
    return h;
}

struct Signal {
    std::vector<float> left, right;
};

Signal guitarLike(size_t frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Signal s{std::vector<float>(frames), std::vector<float>(frames)};
    for (size_t i = 0; i < frames; i++) {
        const float t = (float)i / 48000.0f;
        s.left[i] = 0.5f * std::sin(6.2831853f * 110.0f * t) * std::exp(-2.0f * std::fmod(t, 0.5f)) + 0.1f * u(rng);
        s.right[i] = 0.3f * u(rng);
    }
    return s;
}

// Runs the signal through the cabinet in blocks of `block` frames and takes
// the FIFO's latency out.
Signal throughCabinet(Cabinet& cab, const Signal& in, int block) {
    const size_t latency = (size_t)cab.latency();
    Signal padded = in;
    padded.left.resize(in.left.size() + latency, 0.0f);
    padded.right.resize(in.right.size() + latency, 0.0f);
    for (size_t at = 0; at < padded.left.size(); at += (size_t)block) {
        const int n = (int)std::min<size_t>((size_t)block, padded.left.size() - at);
        cab.process(padded.left.data() + at, padded.right.data() + at, n);
    }
    Signal out;
    out.left.assign(padded.left.begin() + (long)latency, padded.left.end());
    out.right.assign(padded.right.begin() + (long)latency, padded.right.end());
    return out;
}

TEST(Cabinet, EqualsDirectConvolutionMonoAndStereoAlignedAndBuffered) {
    const Signal input = guitarLike(96 * 256, 1);  // whole cycles for the aligned cases
    ImpulseResponse mono;
    mono.rate = 48000;
    mono.channels = {decayingNoise(2000, 2)};
    ImpulseResponse stereo;
    stereo.rate = 48000;
    stereo.channels = {decayingNoise(3000, 3), decayingNoise(3000, 4)};
    // A response of many partitions.
    ImpulseResponse longer;
    longer.rate = 48000;
    longer.channels = {decayingNoise(12000, 5)};

    struct Case {
        const ImpulseResponse* ir;
        int quantum;
        Cabinet::Feed feed;
        int block;
        const char* what;
    } cases[] = {
        {&mono, 64, Cabinet::Feed::aligned, 64, "mono, aligned 64"},
        {&mono, 256, Cabinet::Feed::aligned, 256, "mono, aligned 256"},
        {&stereo, 128, Cabinet::Feed::aligned, 128, "stereo, aligned 128"},
        {&stereo, 64, Cabinet::Feed::buffered, 37, "stereo, buffered, blocks of 37"},
        {&mono, 256, Cabinet::Feed::buffered, 1000, "mono, buffered, blocks of 1000"},
        {&longer, 64, Cabinet::Feed::aligned, 64, "long mono, aligned 64"},
    };
    for (const Case& c : cases) {
        Cabinet cab;
        std::string error;
        ASSERT_TRUE(cab.configure(*c.ir, c.quantum, c.feed, Cabinet::Timing::offline, 0, error)) << error;
        const Signal out = throughCabinet(cab, input, c.block);
        const std::vector<float>& hRight = c.ir->stereo() ? c.ir->channels[1] : c.ir->channels[0];
        EXPECT_LT(relativeError(out.left, directConvolution(input.left, c.ir->channels[0])), 1e-6) << c.what;
        EXPECT_LT(relativeError(out.right, directConvolution(input.right, hRight)), 1e-6) << c.what;
        EXPECT_EQ(cab.lateCycles(), 0) << c.what;
    }
}

TEST(Cabinet, RealTimeWorkersGiveTheSameResult) {
    // In real time the later partitions run on worker threads; unless one
    // was late (a loaded machine), the numbers are the same.
    ImpulseResponse longer;
    longer.rate = 48000;
    longer.channels = {decayingNoise(12000, 9), decayingNoise(12000, 10)};
    const Signal input = guitarLike(200 * 128, 11);
    Cabinet cab;
    std::string error;
    ASSERT_TRUE(cab.configure(longer, 128, Cabinet::Feed::aligned, Cabinet::Timing::realTime, 0, error)) << error;
    Signal out = input;
    for (size_t at = 0; at < out.left.size(); at += 128) {
        cab.process(out.left.data() + at, out.right.data() + at, 128);
        std::this_thread::sleep_for(std::chrono::microseconds(500));  // a period's worth of time for the workers
    }
    if (cab.lateCycles() > 0)
        GTEST_SKIP() << cab.lateCycles() << " late cycles on a busy machine";
    EXPECT_LT(relativeError(out.left, directConvolution(input.left, longer.channels[0])), 1e-6);
    EXPECT_LT(relativeError(out.right, directConvolution(input.right, longer.channels[1])), 1e-6);
}

TEST(Cabinet, ResampledResponseIsTheOneConvolved) {
    ImpulseResponse at44;
    at44.rate = 44100;
    at44.channels = {decayingNoise(1500, 6), decayingNoise(1500, 7)};
    ImpulseResponse at48;
    std::string error;
    ASSERT_TRUE(cabinet::resampleImpulseResponse(at44, 48000, at48, error)) << error;
    EXPECT_EQ(at48.rate, 48000);
    ASSERT_TRUE(at48.stereo());
    EXPECT_NEAR((double)at48.frames(), 1500.0 * 48000 / 44100, 2.0);

    const Signal input = guitarLike(300 * 64, 8);
    Cabinet cab;
    ASSERT_TRUE(cab.configure(at48, 64, Cabinet::Feed::aligned, Cabinet::Timing::offline, 0, error)) << error;
    const Signal out = throughCabinet(cab, input, 64);
    EXPECT_LT(relativeError(out.left, directConvolution(input.left, at48.channels[0])), 1e-6);
    EXPECT_LT(relativeError(out.right, directConvolution(input.right, at48.channels[1])), 1e-6);
}

TEST(Cabinet, ResamplingKeepsTheResponseInTimeAndLevel) {
    // A band-limited click at 44.1 kHz: at 96 kHz it must peak at the same
    // moment and pass a low tone at the same level.
    ImpulseResponse click;
    click.rate = 44100;
    click.channels = {std::vector<float>(441, 0.0f)};
    for (int i = 0; i < 441; i++) {
        const double t = (i - 100) / 4.0;
        click.channels[0][(size_t)i] = (float)(t == 0.0 ? 0.25 : std::sin(M_PI * t) / (M_PI * t) * 0.25);
    }
    ImpulseResponse up;
    std::string error;
    ASSERT_TRUE(cabinet::resampleImpulseResponse(click, 96000, up, error)) << error;
    size_t peakAt = 0;
    for (size_t i = 0; i < up.channels[0].size(); i++)
        if (std::fabs(up.channels[0][i]) > std::fabs(up.channels[0][peakAt]))
            peakAt = i;
    EXPECT_NEAR((double)peakAt, 100.0 * 96000 / 44100, 1.5);
    double sumIn = 0.0, sumOut = 0.0;  // the gain at DC
    for (float s : click.channels[0])
        sumIn += s;
    for (float s : up.channels[0])
        sumOut += s;
    EXPECT_NEAR(sumOut, sumIn, 0.01 * std::fabs(sumIn));
}

TEST(Cabinet, TrimScalesTheWetSignal) {
    ImpulseResponse unit;
    unit.rate = 48000;
    unit.channels = {std::vector<float>{1.0f, 0.0f, 0.0f}};
    Cabinet cab;
    std::string error;
    ASSERT_TRUE(cab.configure(unit, 64, Cabinet::Feed::aligned, Cabinet::Timing::offline, 0, error)) << error;
    cab.setTrimDb(-6.0);
    std::vector<float> l(64, 0.5f), r(64, -0.25f);
    cab.process(l.data(), r.data(), 64);
    EXPECT_NEAR(l[10], 0.5 * std::pow(10.0, -6.0 / 20.0), 1e-6);
    EXPECT_NEAR(r[10], -0.25 * std::pow(10.0, -6.0 / 20.0), 1e-6);
    cab.setTrimDb(NAN);
    EXPECT_EQ(cab.trimDb(), 0.0);
    cab.setTrimDb(100.0);
    EXPECT_EQ(cab.trimDb(), 24.0);
}

TEST(Cabinet, RefusesWhatItCannotRun) {
    ImpulseResponse ir;
    ir.rate = 48000;
    ir.channels = {std::vector<float>(100, 0.1f)};
    Cabinet cab;
    std::string error;
    for (int q : {0, 32, 100, 16384}) {
        EXPECT_FALSE(cab.configure(ir, q, Cabinet::Feed::aligned, Cabinet::Timing::offline, 0, error)) << q;
        EXPECT_FALSE(cab.ready());
    }
    ImpulseResponse empty;
    EXPECT_FALSE(cab.configure(empty, 64, Cabinet::Feed::aligned, Cabinet::Timing::offline, 0, error));
    // An aligned cabinet handed a block of the wrong length leaves it dry.
    ASSERT_TRUE(cab.configure(ir, 64, Cabinet::Feed::aligned, Cabinet::Timing::offline, 0, error)) << error;
    std::vector<float> l(32, 0.5f), r(32, 0.5f);
    cab.process(l.data(), r.data(), 32);
    EXPECT_EQ(l[5], 0.5f);
}

}  // namespace
