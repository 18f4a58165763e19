// corvex-rig-reference: renders a fixed set of rig scenes and either writes
// them (--write FILE, on Linux) or compares itself with such a file
// (--compare FILE, in the Windows builds under wine): every sample within
// 1e-6 of the Linux build's (relative to each scene's peak). The scenes use the bundled cabinets and a user
// impulse in each file format the reader takes, at another rate than the
// session's (so the resampler runs), and a state round trip that carries
// the impulse after its file is deleted.
//
// Exit status: 0 passed (or written), 1 failed, 77 no reference to compare with.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RigTestSupport.h"
#include "rig/RigEngine.h"

namespace {

using corvex::RigEngine;

constexpr double kRate = 48000.0;
constexpr int kBlock = 64;
constexpr int kSceneFrames = 24000;

void render(RigEngine& rig, const std::vector<float>& in, std::vector<float>& out) {
    std::vector<float> l(in.size()), r(in.size());
    for (std::size_t at = 0; at < in.size(); at += kBlock) {
        const int n = (int)std::min<std::size_t>(kBlock, in.size() - at);
        rig.process(in.data() + at, in.data() + at, l.data() + at, r.data() + at, n);
        rig.endBlock();
    }
    out.insert(out.end(), l.begin(), l.end());
    out.insert(out.end(), r.begin(), r.end());
}

struct Format {
    const char* name;
    int format;
};

bool scenes(std::vector<float>& out, std::string& why) {
    const std::vector<float> in = rigtest::guitar(kSceneFrames, kRate, 4);
    // Each factory program through its own bundled cabinet.
    for (int program = 0; program < 10; ++program) {
        RigEngine rig;
        if (!rig.setSampleRate(kRate)) {
            why = "setSampleRate refused";
            return false;
        }
        rig.postProgram(program);
        rig.flush();
        render(rig, in, out);
    }
    // The user's impulse, stereo at 44.1 kHz, in each format.
    const Format formats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                              {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
                              {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                              {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}};
    std::vector<unsigned char> state;
    for (const Format& f : formats) {
        const std::string path = rigtest::tempPath(std::string("reference cabinet.") + f.name);
        if (!rigtest::writeAudio(path, {rigtest::testResponse(6000, 5), rigtest::testResponse(6000, 6)}, 44100,
                                 f.format)) {
            why = std::string("cannot write a ") + f.name + " file";
            return false;
        }
        RigEngine rig;
        rig.setSampleRate(kRate);
        std::string error;
        if (!rig.loadImpulseFile(path, error)) {
            why = std::string("the ") + f.name + " impulse was refused: " + error;
            return false;
        }
        rig.postProgram(2);
        rig.flush();
        rig.post(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        rig.post(corvex::kCabinetOn, 1.0);
        rig.flush();
        render(rig, in, out);
        if (state.empty())
            state = rig.saveState();
        std::filesystem::remove(path);
    }
    // The state of the first, its file gone, into a fresh rig.
    RigEngine restored;
    if (!restored.loadState(state.data(), state.size())) {
        why = "the state with its impulse was refused";
        return false;
    }
    restored.flush();
    restored.setSampleRate(kRate);
    render(restored, in, out);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "--write") != 0 && std::strcmp(argv[1], "--compare") != 0)) {
        std::fprintf(stderr, "usage: corvex-rig-reference --write|--compare FILE\n");
        return 1;
    }
    std::vector<float> out;
    std::string why;
    if (!scenes(out, why)) {
        std::printf("FAILED: %s\n", why.c_str());
        return 1;
    }
    const std::string file = argv[2];
    if (std::strcmp(argv[1], "--write") == 0) {
        std::ofstream f(file, std::ios::binary);
        f.write(reinterpret_cast<const char*>(out.data()), (std::streamsize)(out.size() * sizeof(float)));
        if (!f) {
            std::printf("FAILED: cannot write %s\n", file.c_str());
            return 1;
        }
        std::printf("wrote %zu samples to %s\n", out.size(), file.c_str());
        return 0;
    }
    std::ifstream f(file, std::ios::binary);
    if (!f) {
        std::printf("SKIPPED: no reference at %s (written by the Linux build)\n", file.c_str());
        return 77;
    }
    std::vector<float> want(out.size() + 1);
    f.read(reinterpret_cast<char*>(want.data()), (std::streamsize)(want.size() * sizeof(float)));
    if ((std::size_t)f.gcount() != out.size() * sizeof(float)) {
        std::printf("FAILED: the reference holds %lld bytes, this build rendered %zu samples\n", (long long)f.gcount(),
                    out.size());
        return 1;
    }
    // Each scene (both channels) measured against its own peak: the FFT
    // convolvers of the two builds round differently, by a few parts in ten
    // million of the signal, as two runs with differently measured FFT
    // plans do on one machine.
    const std::size_t scene = (std::size_t)kSceneFrames * 2;
    double worst = 0.0, worstAbsolute = 0.0;
    std::size_t at = 0;
    bool finite = true;
    for (std::size_t from = 0; from < out.size(); from += scene) {
        double peak = 0.0;
        for (std::size_t i = from; i < from + scene && i < out.size(); ++i)
            peak = std::max(peak, std::fabs((double)want[i]));
        for (std::size_t i = from; i < from + scene && i < out.size(); ++i) {
            finite = finite && std::isfinite(out[i]);
            const double d = std::fabs((double)out[i] - (double)want[i]);
            worstAbsolute = std::max(worstAbsolute, d);
            const double relative = peak > 0.0 ? d / peak : d;
            if (relative > worst) {
                worst = relative;
                at = i;
            }
        }
    }
    const bool ok = finite && worst <= 1e-6;
    std::printf("%s: %zu samples, largest difference from the Linux build %.3g of its scene's peak "
                "(sample %zu; %.3g absolute)\n",
                ok ? "passed" : "FAILED", out.size(), worst, at, worstAbsolute);
    return ok ? 0 : 1;
}
