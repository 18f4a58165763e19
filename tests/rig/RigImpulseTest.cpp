// The user's impulse: its formats, refusals of bad files with the cabinet
// kept, and the state that carries it after the file is gone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"

namespace {

using corvex::RigEngine;

std::vector<float> renderRig(RigEngine& rig, const std::vector<float>& in) {
    std::vector<float> l(in.size()), r(in.size());
    for (std::size_t at = 0; at < in.size(); at += 128) {
        const int n = (int)std::min<std::size_t>(128, in.size() - at);
        rig.process(in.data() + at, in.data() + at, l.data() + at, r.data() + at, n);
    }
    l.insert(l.end(), r.begin(), r.end());
    return l;
}

void useUserCabinet(RigEngine& rig) {
    rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
    rig.post(corvex::kCabinetOn, 1.0);
    rig.flush();
}

TEST(RigImpulse, ReadsEveryFormatMonoAndStereo) {
    const auto h = rigtest::testResponse(2400);
    const auto h2 = rigtest::testResponse(2400, 99);
    struct Case {
        const char* name;
        int format;
        bool stereo;
    } cases[] = {{"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, false},
                 {"b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
                 {"c.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, false},
                 {"d.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true}};
    for (const Case& c : cases) {
        const std::string path = rigtest::tempPath(c.name);
        std::vector<std::vector<float>> channels = {h};
        if (c.stereo)
            channels.push_back(h2);
        ASSERT_TRUE(rigtest::writeAudio(path, channels, 44100, c.format)) << c.name;
        RigEngine rig;
        std::string error;
        EXPECT_TRUE(rig.loadImpulseFile(path, error)) << c.name << ": " << error;
        EXPECT_EQ(rig.impulseName(), c.name);
    }
}

// Each bad file is refused with one line, and the cabinet in use plays on.
TEST(RigImpulse, BadFilesAreRefusedAndTheCabinetKept) {
    RigEngine rig;
    ASSERT_TRUE(rig.setSampleRate(48000.0));
    const std::string good = rigtest::tempPath("good.wav");
    ASSERT_TRUE(rigtest::writeAudio(good, {rigtest::testResponse(1000)}, 48000));
    std::string error;
    ASSERT_TRUE(rig.loadImpulseFile(good, error)) << error;
    useUserCabinet(rig);
    const auto in = rigtest::guitar(9600, 48000.0);
    renderRig(rig, in);  // crossfaded in
    RigEngine reference;
    ASSERT_TRUE(reference.setSampleRate(48000.0));
    ASSERT_TRUE(reference.loadImpulseFile(good, error));
    useUserCabinet(reference);
    renderRig(reference, in);

    std::vector<std::pair<std::string, std::string>> bad;  // name, why
    auto write = [&](const std::string& name, const std::vector<std::vector<float>>& ch, int rate) {
        const std::string p = rigtest::tempPath(name);
        rigtest::writeAudio(p, ch, rate);
        return p;
    };
    bad.push_back({rigtest::tempPath("missing.wav"), "missing"});
    {
        const std::string p = rigtest::tempPath("empty.wav");
        std::ofstream(p, std::ios::binary).close();
        bad.push_back({p, "empty file"});
    }
    bad.push_back({write("silent.wav", {std::vector<float>(500, 0.0f)}, 48000), "silent"});
    {
        auto h = rigtest::testResponse(500);
        h[100] = std::numeric_limits<float>::quiet_NaN();
        bad.push_back({write("nan.wav", {h}, 48000), "NaN"});
        h[100] = std::numeric_limits<float>::infinity();
        bad.push_back({write("inf.wav", {h}, 48000), "infinite"});
    }
    bad.push_back({write("long.wav", {rigtest::testResponse(48000 * 5)}, 48000), "too long"});
    {
        const std::string p = rigtest::tempPath("text.wav");
        std::ofstream(p) << "this is not audio at all, only some words in a file";
        bad.push_back({p, "not audio"});
    }
    {
        const auto h = rigtest::testResponse(500);
        bad.push_back({write("three.wav", {h, h, h}, 48000), "three channels"});
    }
    {
        // A WAV whose header says 0 Hz.
        const std::string p = write("zero-hz.wav", {rigtest::testResponse(500)}, 48000);
        std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(24);
        const char zero[4] = {0, 0, 0, 0};
        f.write(zero, 4);
        bad.push_back({p, "0 Hz"});
    }
    {
        // Cut short: the header promises more frames than the file holds.
        const std::string p = write("cut.wav", {rigtest::testResponse(4000)}, 48000);
        std::filesystem::resize_file(p, std::filesystem::file_size(p) - 6000);
        bad.push_back({p, "cut short"});
    }
    for (const auto& [path, why] : bad) {
        std::string message;
        EXPECT_FALSE(rig.loadImpulseFile(path, message)) << why;
        EXPECT_FALSE(message.empty()) << why;
        EXPECT_EQ(message.find('\n'), std::string::npos) << why << ": " << message;
        EXPECT_EQ(rig.lastImpulseError(), message) << why;
        EXPECT_EQ(rig.impulseName(), "good.wav") << why;
    }
    // Still the good cabinet, sample for sample.
    EXPECT_EQ(renderRig(rig, in), renderRig(reference, in));
}

TEST(RigImpulse, StateCarriesTheImpulseAfterTheFileIsDeleted) {
    const std::string path = rigtest::tempPath("my cabinet.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(3000, 5), rigtest::testResponse(3000, 6)}, 44100));
    RigEngine first;
    ASSERT_TRUE(first.setSampleRate(48000.0));
    std::string error;
    ASSERT_TRUE(first.loadImpulseFile(path, error)) << error;
    first.postProgram(3);
    first.flush();
    useUserCabinet(first);
    first.post(corvex::kGateRelease, 0.8);
    first.post(corvex::kDrive, 0.7);
    first.flush();
    const std::vector<unsigned char> state = first.saveState();
    std::filesystem::remove(path);

    RigEngine second;
    ASSERT_TRUE(second.setSampleRate(48000.0));
    ASSERT_TRUE(second.loadState(state.data(), state.size()));
    second.flush();
    EXPECT_EQ(second.impulseName(), "my cabinet.wav");
    EXPECT_EQ(second.currentProgram(), 3);
    for (int i = 0; i < RigEngine::kParameterCount; ++i)
        EXPECT_EQ(second.value(i), first.value(i)) << i;
    EXPECT_EQ(second.saveState(), state);
    // Same output from here on: both fresh from the same settings.
    RigEngine third;
    ASSERT_TRUE(third.loadState(state.data(), state.size()));
    third.flush();
    ASSERT_TRUE(third.setSampleRate(48000.0));
    ASSERT_TRUE(second.setSampleRate(48000.0));
    const auto in = rigtest::guitar(20000, 48000.0, 8);
    EXPECT_EQ(renderRig(second, in), renderRig(third, in));
    // And that output is the user's cabinet, not a bundled one or none.
    RigEngine dry;
    ASSERT_TRUE(dry.loadState(state.data(), state.size()));
    dry.flush();
    dry.post(corvex::kCabinetOn, 0.0);
    dry.flush();
    ASSERT_TRUE(dry.setSampleRate(48000.0));
    EXPECT_NE(renderRig(dry, in), renderRig(third, in));
}

TEST(RigImpulse, HostileStatesAreRefusedAndChangeNothing) {
    const std::string path = rigtest::tempPath("state-cab.wav");
    ASSERT_TRUE(rigtest::writeAudio(path, {rigtest::testResponse(800)}, 48000));
    RigEngine source;
    std::string error;
    ASSERT_TRUE(source.loadImpulseFile(path, error));
    const std::vector<unsigned char> good = source.saveState();

    RigEngine rig;
    rig.post(corvex::kMaster, 0.3);
    rig.flush();
    const std::vector<unsigned char> before = rig.saveState();
    auto refused = [&](std::vector<unsigned char> blob, const char* why) {
        EXPECT_FALSE(rig.loadState(blob.data(), blob.size())) << why;
        rig.flush();
        EXPECT_EQ(rig.saveState(), before) << why;
        EXPECT_EQ(rig.impulseName(), "") << why;
    };
    EXPECT_FALSE(rig.loadState(nullptr, 100));
    refused({}, "empty");
    for (std::size_t cut : {std::size_t{4}, std::size_t{12}, std::size_t{20}, std::size_t{2000}, good.size() - 1})
        refused(std::vector<unsigned char>(good.begin(), good.begin() + (std::ptrdiff_t)cut), "cut short");
    auto longer = good;
    longer.push_back(0);
    refused(longer, "one byte more");
    auto magic = good;
    magic[0] = 'X';
    refused(magic, "magic");
    auto version = good;
    version[8] = 2;
    refused(version, "version");
    const std::size_t rigValues = 16 + corvex::AmpEngine::kStateSize;
    auto nan = good;
    const float bad = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&nan[rigValues + 8], &bad, 4);
    refused(nan, "NaN value");
    auto big = good;
    const float two = 2.0f;
    std::memcpy(&big[rigValues], &two, 4);
    refused(big, "value out of range");
    const std::size_t nameAt = rigValues + 10 * 6 * 4;
    auto name = good;
    const uint32_t huge = 0x7fffffff;
    std::memcpy(&name[nameAt], &huge, 4);
    refused(name, "name size");
    // The impulse: channels, rate, frames, samples.
    const uint32_t nameSize = (uint32_t)good[nameAt] | (uint32_t)good[nameAt + 1] << 8;
    const std::size_t channelsAt = nameAt + 4 + nameSize;
    auto channels = good;
    channels[channelsAt] = 3;
    refused(channels, "three channels");
    auto rate = good;
    std::memset(&rate[channelsAt + 4], 0, 8);
    refused(rate, "0 Hz");
    auto frames = good;
    frames[channelsAt + 12] = 0xff;
    refused(frames, "frame count");
    auto sample = good;
    std::memcpy(&sample[channelsAt + 16 + 40], &bad, 4);
    refused(sample, "NaN sample");
    auto silent = good;
    std::memset(&silent[channelsAt + 16], 0, silent.size() - channelsAt - 16);
    refused(silent, "silent impulse");
    // Random bytes behind a valid magic.
    uint32_t seed = 1;
    for (int k = 0; k < 200; ++k) {
        auto noise = good;
        for (int j = 0; j < 8; ++j) {
            seed = seed * 1664525u + 1013904223u;
            noise[8 + seed % (noise.size() - 8)] ^= (unsigned char)(seed >> 24);
        }
        if (rig.loadState(noise.data(), noise.size())) {
            // Damage in sample values that stay valid may pass: then the
            // state taken is the one given.
            rig.flush();
            continue;
        }
    }
    EXPECT_TRUE(rig.loadState(good.data(), good.size()));
}

}  // namespace
