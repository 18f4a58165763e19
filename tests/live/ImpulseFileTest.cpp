// Impulse-response files: the bundled cabinet loads and has the shape it
// claims; files a guitarist might pass by mistake get a one-line refusal.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "cabinet/ImpulseResponse.h"
#include "cabinet/LoudnessMeter.h"

namespace {

namespace fs = std::filesystem;

class Scratch {
public:
    Scratch() {
        root = fs::temp_directory_path() / ("corvex-cab-" + std::to_string((long)getpid()));
        fs::create_directories(root);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string path(const std::string& name) const { return (root / name).string(); }

private:
    fs::path root;
};

bool writeWav(const std::string& path, int channels, int rate, const std::vector<float>& interleaved) {
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    sf_writef_float(f, interleaved.data(), (sf_count_t)(interleaved.size() / (size_t)channels));
    return sf_close(f) == 0;
}

// Level of the response at one frequency, in dB.
double levelAt(const std::vector<float>& h, double rate, double hz) {
    std::complex<double> sum = 0.0;
    for (size_t i = 0; i < h.size(); i++)
        sum += (double)h[i] * std::polar(1.0, -2.0 * M_PI * hz * (double)i / rate);
    return 20.0 * std::log10(std::abs(sum) + 1e-30);
}

// The level over a sixth of an octave either side, as an ear hears a band.
double bandLevel(const std::vector<float>& h, double rate, double hz) {
    double power = 0.0;
    const int points = 12;
    for (int i = 0; i < points; i++) {
        const double f = hz * std::pow(2.0, (i - (points - 1) / 2.0) / (6.0 * (points - 1) / 2.0));
        power += std::pow(10.0, levelAt(h, rate, f) / 10.0);
    }
    return 10.0 * std::log10(power / points);
}

TEST(ImpulseFile, BundledCabinetIsAClosedBackFourByTwelve) {
    cabinet::ImpulseResponse ir;
    std::string error;
    ASSERT_TRUE(cabinet::loadImpulseResponse(CORVEX_CABINET_PATH, ir, error)) << error;
    EXPECT_EQ(ir.rate, 48000);
    EXPECT_FALSE(ir.stereo());
    const double ms = 1000.0 * (double)ir.frames() / ir.rate;
    EXPECT_GE(ms, 20.0);
    EXPECT_LE(ms, 50.0);
    const auto& h = ir.channels[0];
    const double low = bandLevel(h, ir.rate, 110), mid = bandLevel(h, ir.rate, 450),
                 presence = bandLevel(h, ir.rate, 2500);
    EXPECT_GT(low, bandLevel(h, ir.rate, 40) + 12.0) << "a sealed box falls away below its resonance";
    EXPECT_GT(low, mid + 3.0);
    EXPECT_GT(presence, mid + 3.0);
    EXPECT_LT(levelAt(h, ir.rate, 8000), presence - 30.0) << "steep roll-off above 5 kHz";
    EXPECT_LT(levelAt(h, ir.rate, 12000), presence - 50.0);
    // Nothing louder than 0 dB, so the cabinet itself never pushes into clipping.
    for (double hz = 50; hz < 20000; hz *= 1.05)
        EXPECT_LT(levelAt(h, ir.rate, hz), 0.3) << hz;
    // Minimum-phase-ish: most of the energy in the first few milliseconds.
    double early = 0.0, all = 0.0;
    for (size_t i = 0; i < h.size(); i++) {
        all += (double)h[i] * h[i];
        if (i < 48 * 5)
            early += (double)h[i] * h[i];
    }
    EXPECT_GT(early / all, 0.8);
}

TEST(ImpulseFile, BadFilesAreRefusedOnOneLine) {
    Scratch dir;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ASSERT_TRUE(writeWav(dir.path("empty.wav"), 1, 48000, {}));
    ASSERT_TRUE(writeWav(dir.path("nan.wav"), 1, 48000, {0.5f, 0.2f, nan, 0.1f}));
    ASSERT_TRUE(writeWav(dir.path("silent.wav"), 2, 48000, std::vector<float>(200, 0.0f)));
    ASSERT_TRUE(writeWav(dir.path("three.wav"), 3, 48000, std::vector<float>(300, 0.1f)));
    ASSERT_TRUE(writeWav(dir.path("long.wav"), 1, 8000, std::vector<float>(8000 * 11, 0.01f)));
    std::ofstream(dir.path("notes.wav")) << "this is not audio\n";

    struct Case {
        std::string file, says;
    } cases[] = {
        {"empty.wav", "empty"},       {"nan.wav", "non-finite"},
        {"silent.wav", "silent"},     {"three.wav", "3 channels"},
        {"long.wav", "too long"},     {"notes.wav", "not an audio file"},
        {"missing.wav", "not found"}, {"", "folder"},
    };
    for (const Case& c : cases) {
        cabinet::ImpulseResponse ir;
        std::string error;
        const std::string path = c.file.empty() ? dir.path("") : dir.path(c.file);
        EXPECT_FALSE(cabinet::loadImpulseResponse(path, ir, error)) << c.file;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.file << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(ir.frames(), 0);
    }
}

TEST(LoudnessMeter, SineLevelsPeaksAndTheClippingWarning) {
    cabinet::LoudnessMeter meter;
    ASSERT_TRUE(meter.start(48000));
    // A 1 kHz sine at amplitude 0.1 on both channels reads about -20 LUFS.
    std::vector<float> l(48000 * 3), r(48000 * 3);
    for (size_t i = 0; i < l.size(); i++)
        l[i] = r[i] = 0.1f * (float)std::sin(2.0 * M_PI * 1000.0 * i / 48000.0);
    meter.add(l.data(), r.data(), (int)l.size());
    EXPECT_NEAR(meter.integratedLufs(), -20.0, 0.5);
    EXPECT_NEAR(meter.samplePeak(), 0.1, 1e-3);
    EXPECT_GE(meter.truePeak(), meter.samplePeak());
    EXPECT_TRUE(cabinet::clippingWarning(meter).empty());
    EXPECT_NE(cabinet::loudnessSummary(meter).find("LUFS"), std::string::npos);

    // One sample above full scale (and a NaN, which is ignored) is warned about.
    l[1000] = 1.5f;
    r[1000] = std::numeric_limits<float>::quiet_NaN();
    meter.add(l.data(), r.data(), 2000);
    EXPECT_NEAR(meter.samplePeak(), 1.5, 1e-6);
    EXPECT_NE(cabinet::clippingWarning(meter).find("above 0 dBFS"), std::string::npos);

    ASSERT_TRUE(meter.start(44100));
    EXPECT_FALSE(std::isfinite(meter.integratedLufs())) << "nothing measured yet";
    EXPECT_EQ(cabinet::dbfsText(0.0), "-inf dBFS");
}

}  // namespace
