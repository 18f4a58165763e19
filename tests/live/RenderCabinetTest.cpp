// corvex-render's cabinet: --cab with a unit impulse must leave the render
// exactly as it was (the convolver's delay taken out, the file as long as
// its input), --cab-trim scales it, a bad file is refused on one line before
// anything is written, and the summary reports loudness and true peak.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome render(const std::vector<std::string>& args, const fs::path& dir) {
    std::string command = std::string(CORVEX_RENDER_PATH) + " --plugin " + CORVEX_PLUGIN_PATH;
    for (const std::string& a : args)
        command += " '" + a + "'";
    command += " >" + (dir / "out.txt").string() + " 2>" + (dir / "err.txt").string();
    Outcome r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream o(dir / "out.txt"), e(dir / "err.txt");
    std::stringstream so, se;
    so << o.rdbuf();
    se << e.rdbuf();
    r.out = so.str();
    r.err = se.str();
    return r;
}

bool writeWav(const fs::path& path, int channels, int rate, const std::vector<float>& data) {
    SF_INFO info = {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    sf_writef_float(f, data.data(), (sf_count_t)(data.size() / (size_t)channels));
    return sf_close(f) == 0;
}

std::vector<float> readWav(const fs::path& path) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        return {};
    std::vector<float> data((size_t)(info.frames * info.channels));
    sf_readf_float(f, data.data(), info.frames);
    sf_close(f);
    return data;
}

struct Folder {
    fs::path root;
    Folder() {
        root = fs::temp_directory_path() / ("corvex-rcab-" + std::to_string((long)getpid()));
        fs::create_directories(root);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

TEST(RenderCabinet, UnitImpulseLeavesTheRenderAsItWas) {
    Folder dir;
    std::vector<float> input(44100 / 2 + 123);
    for (size_t i = 0; i < input.size(); i++)
        input[i] = 0.3f * (float)std::sin(0.03 * (double)i);
    ASSERT_TRUE(writeWav(dir.root / "in.wav", 1, 44100, input));
    ASSERT_TRUE(writeWav(dir.root / "unit.wav", 1, 44100, {1.0f}));

    for (const char* block : {"512", "37"}) {
        Outcome dry =
            render({(dir.root / "in.wav").string(), "--block", block, "-o", (dir.root / "dry.wav").string()}, dir.root);
        ASSERT_EQ(dry.code, 0) << dry.err;
        Outcome wet = render({(dir.root / "in.wav").string(), "--block", block, "--cab",
                              (dir.root / "unit.wav").string(), "-o", (dir.root / "wet.wav").string()},
                             dir.root);
        ASSERT_EQ(wet.code, 0) << wet.err;
        const std::vector<float> a = readWav(dir.root / "dry.wav"), b = readWav(dir.root / "wet.wav");
        ASSERT_EQ(a.size(), input.size() * 2) << "blocks of " << block;
        ASSERT_EQ(b.size(), a.size()) << "blocks of " << block;
        double worst = 0.0;
        for (size_t i = 0; i < a.size(); i++)
            worst = std::max(worst, (double)std::fabs(a[i] - b[i]));
        EXPECT_LT(worst, 1e-6) << "blocks of " << block;
        EXPECT_NE(wet.out.find("Loudness:"), std::string::npos) << wet.out;
        EXPECT_NE(wet.out.find("True peak:"), std::string::npos) << wet.out;
        EXPECT_NE(wet.out.find("Cabinet:"), std::string::npos) << wet.out;
    }

    // -6 dB of trim halves the wet signal (near enough).
    Outcome trimmed = render({(dir.root / "in.wav").string(), "--cab", (dir.root / "unit.wav").string(), "--cab-trim",
                              "-6.0206", "-o", (dir.root / "trim.wav").string()},
                             dir.root);
    ASSERT_EQ(trimmed.code, 0) << trimmed.err;
    const std::vector<float> a = readWav(dir.root / "dry.wav"), t = readWav(dir.root / "trim.wav");
    ASSERT_EQ(a.size(), t.size());
    for (size_t i = 0; i < a.size(); i += 101)
        EXPECT_NEAR(t[i], 0.5f * a[i], 1e-5f);
}

TEST(RenderCabinet, BadImpulseFilesAreRefusedBeforeAnythingIsWritten) {
    Folder dir;
    ASSERT_TRUE(writeWav(dir.root / "in.wav", 1, 44100, std::vector<float>(4410, 0.1f)));
    ASSERT_TRUE(writeWav(dir.root / "nan.wav", 1, 44100, {0.5f, NAN}));
    ASSERT_TRUE(writeWav(dir.root / "empty.wav", 1, 44100, {}));
    std::ofstream(dir.root / "text.wav") << "not audio";
    for (const char* bad : {"nan.wav", "empty.wav", "text.wav", "missing.wav"}) {
        Outcome r = render(
            {(dir.root / "in.wav").string(), "--cab", (dir.root / bad).string(), "-o", (dir.root / "out.wav").string()},
            dir.root);
        EXPECT_EQ(r.code, 1) << bad;
        EXPECT_NE(r.err.find("corvex-render: error: cabinet"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(dir.root / "out.wav")) << bad;
    }
    Outcome r =
        render({(dir.root / "in.wav").string(), "--cab-trim", "-3", "-o", (dir.root / "out.wav").string()}, dir.root);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--cab-trim needs --cab"), std::string::npos) << r.err;
}

TEST(RenderCabinet, WarnsWhenTheOutputGoesAboveFullScale) {
    Folder dir;
    std::vector<float> input(44100);
    for (size_t i = 0; i < input.size(); i++)
        input[i] = 0.9f * (float)std::sin(0.05 * (double)i);
    ASSERT_TRUE(writeWav(dir.root / "in.wav", 1, 44100, input));
    ASSERT_TRUE(writeWav(dir.root / "unit.wav", 1, 44100, {1.0f}));
    Outcome loud = render({(dir.root / "in.wav").string(), "--cab", (dir.root / "unit.wav").string(), "--cab-trim",
                           "+20", "-o", (dir.root / "loud.wav").string()},
                          dir.root);
    ASSERT_EQ(loud.code, 0) << loud.err;
    EXPECT_NE(loud.err.find("above 0 dBFS"), std::string::npos) << loud.err;
    Outcome quiet = render({(dir.root / "in.wav").string(), "--cab", (dir.root / "unit.wav").string(), "--cab-trim",
                            "-40", "-o", (dir.root / "quiet.wav").string()},
                           dir.root);
    ASSERT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("above 0 dBFS"), std::string::npos) << quiet.err;
}

}  // namespace
