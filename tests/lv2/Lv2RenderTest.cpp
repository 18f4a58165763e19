// The LV2 plug-in rendered offline by lilv's lv2apply must give the same
// samples, bit for bit, as the VST 2.4 library loaded as a host loads it,
// in every mode and at the usual rates. The amp's anti-denormal sine is
// laid out from the end of each block, so the output depends on how the
// host cuts the stream: lv2apply runs the plug-in one frame at a time, and
// the VST side here is given the same one-frame blocks.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/LoadedPlugin.h"

namespace {

struct Setting {
    const char* symbol;
    VstInt32 index;
    float value;
};

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Two different guitar-like signals: a decaying pluck on the left, a
// chord-ish mix on the right, loud enough to drive the stages.
std::vector<float> makeInput(int rate, int frames) {
    std::vector<float> interleaved(2 * static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        interleaved[2 * i] = static_cast<float>(0.6 * std::exp(-4.0 * t) * std::sin(2.0 * M_PI * 110.0 * t));
        interleaved[2 * i + 1] =
            static_cast<float>(0.3 * std::sin(2.0 * M_PI * 146.8 * t) + 0.2 * std::sin(2.0 * M_PI * 220.0 * t + 0.3));
    }
    return interleaved;
}

bool writeWav(const std::string& path, int rate, const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / 2);
    const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

std::vector<float> readWav(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file || info.channels != 2)
        return {};
    std::vector<float> interleaved(2 * static_cast<size_t>(info.frames));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    return interleaved;
}

// What a VST 2.4 host does: open, rate, block size, resume, then the
// settings in index order before the first block.
std::vector<float> renderVst(const LoadedPlugin& plugin, int rate, const std::vector<Setting>& settings,
                             const std::vector<float>& interleaved, size_t block) {
    AEffect* effect = plugin.entry()(quietHost);
    if (!effect)
        return {};
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    effect->dispatcher(effect, effSetBlockSize, 0, static_cast<VstIntPtr>(block), nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    for (const Setting& s : settings)
        effect->setParameter(effect, s.index, s.value);
    const size_t frames = interleaved.size() / 2;
    std::vector<float> out(interleaved.size());
    std::vector<float> inL(block), inR(block), outL(block), outR(block);
    for (size_t start = 0; start < frames; start += block) {
        const size_t n = std::min(block, frames - start);
        for (size_t i = 0; i < n; ++i) {
            inL[i] = interleaved[2 * (start + i)];
            inR[i] = interleaved[2 * (start + i) + 1];
        }
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(n));
        for (size_t i = 0; i < n; ++i) {
            out[2 * (start + i)] = outL[i];
            out[2 * (start + i) + 1] = outR[i];
        }
    }
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return out;
}

std::string shellQuote(const std::string& text) {
    return "'" + text + "'";
}

TEST(Lv2Render, EveryModeAtEveryRateMatchesTheVstBuildBitForBit) {
    LoadedPlugin plugin;
    ASSERT_NE(plugin.entry(), nullptr) << "cannot load " << CORVEX_PLUGIN_PATH;
    ASSERT_EQ(setenv("LV2_PATH", CORVEX_LV2_PATH, 1), 0);
    const std::string work = CORVEX_LV2_WORK_DIR;
    ASSERT_EQ(std::system(("mkdir -p " + shellQuote(work)).c_str()), 0);

    int compared = 0;
    for (int rate : {44100, 48000, 96000}) {
        const std::vector<float> input = makeInput(rate, rate / 16);
        const std::string in = work + "/in-" + std::to_string(rate) + ".wav";
        ASSERT_TRUE(writeWav(in, rate, input));
        for (int mode = 0; mode < 16; ++mode) {
            const float channel = (mode & 1) ? 1.0f : 0.0f;
            const float quality = (mode & 2) ? 1.0f : 0.0f;
            const float stereo = (mode & 4) ? 1.0f : 0.0f;
            const float boost = (mode & 8) ? 1.0f : 0.0f;
            // Index order, as the LV2 side applies them; knobs away from
            // their defaults so the chain is not in its start position.
            const std::vector<Setting> settings = {{"input", 0, 0.7f},          {"channel", 1, channel},
                                                   {"drive", 2, 0.8f},          {"low", 4, 0.3f},
                                                   {"high", 6, 0.65f},          {"volume", 9, 0.9f},
                                                   {"mono_stereo", 10, stereo}, {"lowq_highq", 11, quality},
                                                   {"tqz_boost", 12, boost}};
            std::string command = "lv2apply -i " + shellQuote(in);
            const std::string out = work + "/out-" + std::to_string(rate) + "-" + std::to_string(mode) + ".wav";
            command += " -o " + shellQuote(out);
            for (const Setting& s : settings)
                command += " -c " + std::string(s.symbol) + " " + std::to_string(s.value);
            command += " https://ardex-plugins.example/corvex >/dev/null 2>&1";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;

            const std::vector<float> lv2 = readWav(out);
            const std::vector<float> vst = renderVst(plugin, rate, settings, input, 1);
            ASSERT_EQ(lv2.size(), input.size()) << out;
            ASSERT_EQ(vst.size(), input.size());
            size_t firstDifference = lv2.size();
            for (size_t i = 0; i < lv2.size() && firstDifference == lv2.size(); ++i)
                if (std::memcmp(&lv2[i], &vst[i], sizeof(float)) != 0)
                    firstDifference = i;
            EXPECT_EQ(firstDifference, lv2.size()) << "rate " << rate << " mode " << mode << ": first different sample "
                                                   << firstDifference / 2 << (firstDifference % 2 ? " right" : " left");
            // Not silence: the comparison means something.
            double energy = 0.0;
            for (float v : vst)
                energy += static_cast<double>(v) * v;
            EXPECT_GT(energy, 1e-3) << "rate " << rate << " mode " << mode;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 48);
}


// A real host's way: lv2file connects every control port at its declared
// default from the first block and changes none, and runs 512-frame blocks.
// The VST 2.4 library, driven with the same blocks and left at its own
// defaults, must give the same samples.
TEST(Lv2Render, Lv2fileAtEveryDefaultMatchesTheVstBuildBitForBit) {
    if (std::system("command -v lv2file >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "lv2file is not installed (Debian package lv2file)";
    LoadedPlugin plugin;
    ASSERT_NE(plugin.entry(), nullptr) << "cannot load " << CORVEX_PLUGIN_PATH;
    ASSERT_EQ(setenv("LV2_PATH", CORVEX_LV2_PATH, 1), 0);
    const std::string work = CORVEX_LV2_WORK_DIR;
    ASSERT_EQ(std::system(("mkdir -p " + shellQuote(work)).c_str()), 0);
    for (int rate : {44100, 48000, 96000}) {
        // Two seconds of a 110 Hz sine at -10 dBFS on both inputs.
        const int frames = 2 * rate;
        std::vector<float> input(2 * static_cast<size_t>(frames));
        const double amplitude = std::pow(10.0, -10.0 / 20.0);
        for (int i = 0; i < frames; ++i)
            input[2 * i] = input[2 * i + 1] =
                static_cast<float>(amplitude * std::sin(2.0 * M_PI * 110.0 * i / rate));
        const std::string in = work + "/sine-" + std::to_string(rate) + ".wav";
        const std::string out = work + "/sine-out-" + std::to_string(rate) + ".wav";
        ASSERT_TRUE(writeWav(in, rate, input));
        std::remove(out.c_str());
        const std::string command = "lv2file -b 512 -i " + shellQuote(in) + " -o " + shellQuote(out) +
                                    " https://ardex-plugins.example/corvex >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::vector<float> lv2 = readWav(out);
        const std::vector<float> vst = renderVst(plugin, rate, {}, input, 512);
        ASSERT_EQ(lv2.size(), input.size()) << out;
        ASSERT_EQ(vst.size(), input.size());
        size_t firstDifference = lv2.size();
        float largest = 0.0f;
        for (size_t i = 0; i < lv2.size(); ++i)
            if (std::memcmp(&lv2[i], &vst[i], sizeof(float)) != 0) {
                firstDifference = std::min(firstDifference, i);
                largest = std::max(largest, std::fabs(lv2[i] - vst[i]));
            }
        EXPECT_EQ(firstDifference, lv2.size()) << "rate " << rate << ": first different frame "
                                               << firstDifference / 2 << ", largest difference " << largest;
    }
}

}  // namespace
