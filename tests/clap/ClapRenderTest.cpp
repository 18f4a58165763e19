// The CLAP build renders exactly what the VST 2.4 build renders: every mode
// (channel, quality, mono/stereo, boost) at 44.1, 48 and 96 kHz, on the same
// input and the same parameter changes at the same samples, compared bit for
// bit. The CLAP side runs in place (input and output the same buffers), the
// VST side from separate buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ClapTestHost.h"
#include "VstReference.h"

using namespace clapcheck;

namespace {

const uint32_t kBlocks[] = {256, 512, 64, 1000, 333, 512, 1024, 397};
constexpr uint32_t kMaxBlock = 1024;

struct Mode {
    float channel, quality, stereo, boost;
};

// The changes of block `b`; the mode's switches come first, at sample 0.
std::vector<TimedChange> changesOf(int b, const Mode& mode) {
    const float otherChannel = mode.channel < 0.5f ? 1.0f : 0.0f;
    switch (b) {
        case 0:
            return {
                {0, 1, mode.channel}, {0, 11, mode.quality}, {0, 10, mode.stereo}, {0, 12, mode.boost}, {37, 2, 0.8f}};
        case 1:
            return {{0, 9, 0.7f}, {200, 0, 0.3f}, {200, 4, 0.2f}};
        case 2:
            return {{10, 5, 0.9f}, {10, 7, 0.25f}, {63, 6, 0.6f}};
        case 3:
            return {{50, 1, otherChannel}, {51, 2, 0.25f}, {700, 8, 0.75f}};
        case 4:
            return {{100, 3, 0.35f}};
        case 5:
            return {{300, 1, mode.channel}, {301, 9, 0.6f}};
        case 6:
            return {{900, 2, 1.0f}};
        default:
            return {{0, 0, 0.55f}};
    }
}

// A decaying sawtooth chord with a little noise: integer arithmetic and
// plain doubles only.
void makeInput(std::vector<float>& left, std::vector<float>& right, size_t frames, double rate) {
    left.resize(frames);
    right.resize(frames);
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double a = std::fmod(t * 110.0, 1.0) - 0.5, b = std::fmod(t * 164.8, 1.0) - 0.5;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
        const double envelope = 1.0 / (1.0 + 8.0 * t);
        left[i] = static_cast<float>(0.6 * envelope * (a + 0.5 * b) + n);
        right[i] = static_cast<float>(0.6 * envelope * (b - 0.3 * a) - n);
    }
}

struct Render {
    std::vector<float> left, right;
};

bool renderClap(double rate, const Mode& mode, const std::vector<float>& inL, const std::vector<float>& inR,
                Render& out, std::string& error) {
    ClapTestHost host(CORVEX_CLAP_PATH);
    if (!host.create() || !host.activate(rate, kMaxBlock)) {
        error = "CLAP: " + host.error();
        return false;
    }
    out.left = inL;  // in place: the plug-in reads and writes these
    out.right = inR;
    size_t position = 0;
    for (int b = 0; b < static_cast<int>(sizeof(kBlocks) / sizeof(kBlocks[0])); ++b) {
        InputEvents events;
        for (const TimedChange& c : changesOf(b, mode))
            events.add(c.time, c.param, c.value);
        OutputEvents sent;
        float* channels[2] = {out.left.data() + position, out.right.data() + position};
        if (host.process(channels, channels, kBlocks[b], events, sent) != CLAP_PROCESS_CONTINUE) {
            error = "CLAP process failed";
            return false;
        }
        position += kBlocks[b];
    }
    return true;
}

bool renderVst(float rate, const Mode& mode, const std::vector<float>& inL, const std::vector<float>& inR, Render& out,
               std::string& error) {
    LoadedPlugin library;
    VstReference vst(library, rate, kMaxBlock);
    if (!vst.effect()) {
        error = "cannot load " CORVEX_PLUGIN_PATH;
        return false;
    }
    std::vector<float> l = inL, r = inR;
    out.left.assign(inL.size(), 0.0f);
    out.right.assign(inR.size(), 0.0f);
    size_t position = 0;
    for (int b = 0; b < static_cast<int>(sizeof(kBlocks) / sizeof(kBlocks[0])); ++b) {
        float* in[2] = {l.data() + position, r.data() + position};
        float* o[2] = {out.left.data() + position, out.right.data() + position};
        vst.block(in, o, static_cast<int>(kBlocks[b]), changesOf(b, mode));
        position += kBlocks[b];
    }
    return true;
}

size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0)
            return i;
    }
    return a.size();
}

}  // namespace

TEST(ClapRender, EveryModeAtEveryRateEqualsTheVstBuildBitForBit) {
    size_t frames = 0;
    for (uint32_t b : kBlocks)
        frames += b;
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        std::vector<float> inL, inR;
        makeInput(inL, inR, frames, rate);
        for (int m = 0; m < 16; ++m) {
            const Mode mode{float(m & 1), float((m >> 1) & 1), float((m >> 2) & 1), float((m >> 3) & 1)};
            SCOPED_TRACE(testing::Message() << rate << " Hz, channel " << mode.channel << ", quality " << mode.quality
                                            << ", stereo " << mode.stereo << ", boost " << mode.boost);
            Render clap, vst;
            std::string error;
            ASSERT_TRUE(renderClap(rate, mode, inL, inR, clap, error)) << error;
            ASSERT_TRUE(renderVst(static_cast<float>(rate), mode, inL, inR, vst, error)) << error;
            double energy = 0.0;
            for (float v : vst.left) {
                ASSERT_TRUE(std::isfinite(v));
                energy += std::fabs(v);
            }
            EXPECT_GT(energy / frames, 1e-4) << "the reference render is (nearly) silent";
            const size_t left = firstDifference(vst.left, clap.left);
            const size_t right = firstDifference(vst.right, clap.right);
            EXPECT_EQ(left, frames) << "left differs first at frame " << left;
            EXPECT_EQ(right, frames) << "right differs first at frame " << right;
        }
    }
}
