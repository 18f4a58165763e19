// corvex-factory-bank: makes the factory bank from measurements. Each recipe
// fixes the character of a program (channel, drive, tone); this tool plays
// the demo riff, normalised to a -12 dBFS peak like a healthy DI, through the
// built plug-in on both channels of every program and sets each channel's
// Volume so that all of them reach the same integrated loudness (EBU R128)
// with every true peak at or below -1 dBTP. The common loudness is the
// loudest that every channel can reach under those two limits and with
// Volume at most 1, rounded down to a whole LU.
//
//   corvex-factory-bank            writes resources/presets/*.fxb and *.fxp
//   corvex-factory-bank --check    compares them with a fresh run instead
//   corvex-factory-bank --survey   the distortion figures behind the recipes
//
// The output depends only on the plug-in and the riff: the same bytes on
// every run. Volumes are rounded to 1/10000 so that the last bits of a
// measurement never reach the files.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/PluginPresets.h"
#include "host/PresetFile.h"
#include "tools/presets/BankComposer.h"
#include "tools/presets/ProgramMeasure.h"
#include "tools/presets/Survey.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTruePeakLimitDb = -1.0;
constexpr double kLoudnessTolerance = 0.1;  // LU from the common loudness
constexpr int kMaxRounds = 6;

struct Settings {
    std::string pluginPath = CORVEX_PLUGIN_PATH;
    std::string diPath = CORVEX_SOURCE_DIR "/resources/demo/demo-riff.wav";
    std::string outDir = CORVEX_SOURCE_DIR "/resources/presets";
    bool check = false;
    bool survey = false;
};

const char* const kUsage =
    "Usage: corvex-factory-bank [--check | --survey] [--plugin PATH] [--di FILE] [--out DIR]\n"
    "Measures the factory programs through the plug-in and writes the bank\n"
    "(Corvex-factory.fxb) and one .fxp per program into DIR; --check compares\n"
    "instead of writing (exit 1 on any difference).\n";

bool parseArgs(int argc, char** argv, Settings& s, std::string& error) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (a == "--check") {
            s.check = true;
        } else if (a == "--survey") {
            s.survey = true;
        } else if (a == "--plugin") {
            if (!next(s.pluginPath))
                return false;
        } else if (a == "--di") {
            if (!next(s.diPath))
                return false;
        } else if (a == "--out") {
            if (!next(s.outDir))
                return false;
        } else {
            error = "unknown argument " + a;
            return false;
        }
    }
    return true;
}

float quantisedVolume(double v) {
    return (float)(std::round(std::fmin(v, 1.0) * 10000.0) / 10000.0);
}

using Levels = std::vector<std::array<LevelReport, 2>>;

// Both channels of every program: the stored one as the host selects it,
// the other with the channel switch moved, as a player would.
bool measureAll(const Settings& s, const DiSignal& di, const std::vector<FactoryRecipe>& recipes,
                const std::vector<uint8_t>& bank, Levels& levels, std::string& error) {
    levels.assign(recipes.size(), {});
    for (size_t i = 0; i < recipes.size(); i++) {
        for (int c = 0; c < 2; c++) {
            int channel = c == recipes[i].channel ? -1 : c;
            if (!measureProgram(s.pluginPath, bank, (int)i, channel, di, levels[i][(size_t)c], error))
                return false;
        }
    }
    return true;
}

// The volumes that bring every channel to one loudness, and that loudness.
bool findVolumes(const Settings& s, const DiSignal& di, const std::vector<FactoryRecipe>& recipes,
                 std::vector<ChannelVolumes>& volumes, std::vector<uint8_t>& bank, Levels& levels, double& target,
                 std::string& error) {
    volumes.assign(recipes.size(), ChannelVolumes{0.5f, 0.5f});
    if (!composeBank(s.pluginPath, di.rate, recipes, volumes, bank, error))
        return false;
    if (!measureAll(s, di, recipes, bank, levels, error))
        return false;
    // Loudness and peaks scale with Volume, the last multiplier of the chain.
    double reachable = INFINITY;
    for (size_t i = 0; i < recipes.size(); i++) {
        for (size_t c = 0; c < 2; c++) {
            const LevelReport& l = levels[i][c];
            double headroom = std::fmin(toDb(1.0 / volumes[i][c]), kTruePeakLimitDb - l.truePeakDb);
            reachable = std::fmin(reachable, l.integratedLufs + headroom);
        }
    }
    target = std::floor(reachable);
    for (int round = 0; round < kMaxRounds; round++) {
        bool settled = true;
        for (size_t i = 0; i < recipes.size(); i++) {
            for (size_t c = 0; c < 2; c++) {
                const LevelReport& l = levels[i][c];
                if (std::fabs(l.integratedLufs - target) <= kLoudnessTolerance && l.truePeakDb <= kTruePeakLimitDb) {
                    continue;
                }
                settled = false;
                volumes[i][c] = quantisedVolume(volumes[i][c] * std::pow(10.0, (target - l.integratedLufs) / 20.0));
            }
        }
        if (settled)
            return true;
        if (!composeBank(s.pluginPath, di.rate, recipes, volumes, bank, error))
            return false;
        if (!measureAll(s, di, recipes, bank, levels, error))
            return false;
    }
    error = "the volumes did not settle within " + std::to_string(kMaxRounds) + " rounds";
    return false;
}

struct OutputFile {
    fs::path path;
    std::vector<uint8_t> bytes;
};

// The bank as the plug-in saves it (program 0 current), then each program.
bool presetFiles(const Settings& s, int rate, const std::vector<FactoryRecipe>& recipes,
                 const std::vector<uint8_t>& bank, std::vector<OutputFile>& files, std::string& error) {
    PluginHost plugin;
    if (!loadPluginWithBank(plugin, s.pluginPath, rate, bank, error))
        return false;
    plugin.setProgram(0);
    presetfile::PresetFile file;
    if (!capturePreset(plugin, true, file, error))
        return false;
    files.push_back({fs::path(s.outDir) / "Corvex-factory.fxb", presetfile::serialize(file)});
    for (size_t i = 0; i < recipes.size(); i++) {
        plugin.setProgram((int)i);
        if (!capturePreset(plugin, false, file, error))
            return false;
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02d-", (int)i + 1);
        files.push_back({fs::path(s.outDir) / (prefix + recipes[i].fileStem + ".fxp"), presetfile::serialize(file)});
    }
    return true;
}

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void printTable(const std::vector<FactoryRecipe>& recipes, const std::vector<ChannelVolumes>& volumes,
                const Levels& levels, double target) {
    std::printf("DI: demo riff at %.0f dBFS peak; common loudness %.1f LUFS; true-peak limit %.1f dBTP\n", kDiPeakDb,
                target, kTruePeakLimitDb);
    std::printf(" #  %-24s ch   channel 0: Volume  LUFS   dBTP    channel 1: Volume  LUFS   dBTP\n", "program");
    double lo = INFINITY, hi = -INFINITY, peak = -INFINITY, truePeak = -INFINITY, loAll = INFINITY, hiAll = -INFINITY;
    for (size_t i = 0; i < recipes.size(); i++) {
        std::printf("%2d  %-24s %2d ", (int)i, recipes[i].name.c_str(), recipes[i].channel);
        for (size_t c = 0; c < 2; c++) {
            const LevelReport& l = levels[i][c];
            std::printf("   %c         %6.4f %6.2f %6.2f", (int)c == recipes[i].channel ? '*' : ' ', volumes[i][c],
                        l.integratedLufs, l.truePeakDb);
            loAll = std::fmin(loAll, l.integratedLufs);
            hiAll = std::fmax(hiAll, l.integratedLufs);
            peak = std::fmax(peak, l.samplePeakDb);
            truePeak = std::fmax(truePeak, l.truePeakDb);
            if ((int)c == recipes[i].channel) {
                lo = std::fmin(lo, l.integratedLufs);
                hi = std::fmax(hi, l.integratedLufs);
            }
        }
        std::printf("\n");
    }
    std::printf("Loudness spread: %.2f LU over the ten programs (%.2f LU over both channels of each)\n", hi - lo,
                hiAll - loAll);
    std::printf("Highest peak (both channels of every program): %.2f dBFS sample, %.2f dBTP true\n", peak, truePeak);
    std::printf("(* the channel the program plays on; the other is its partner on the channel switch)\n");
}

}  // namespace

int main(int argc, char** argv) {
    Settings s;
    std::string error;
    if (argc > 1 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!parseArgs(argc, argv, s, error)) {
        std::fprintf(stderr, "corvex-factory-bank: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    DiSignal di;
    if (!loadDi(s.diPath, kDiPeakDb, di, error)) {
        std::fprintf(stderr, "corvex-factory-bank: %s\n", error.c_str());
        return 1;
    }
    if (s.survey) {
        if (runSurvey(s.pluginPath, di, error))
            return 0;
        std::fprintf(stderr, "corvex-factory-bank: %s\n", error.c_str());
        return 1;
    }
    const std::vector<FactoryRecipe>& recipes = factoryRecipes();
    std::vector<ChannelVolumes> volumes;
    std::vector<uint8_t> bank;
    Levels levels;
    double target = 0.0;
    std::vector<OutputFile> files;
    if (!findVolumes(s, di, recipes, volumes, bank, levels, target, error) ||
        !presetFiles(s, di.rate, recipes, bank, files, error)) {
        std::fprintf(stderr, "corvex-factory-bank: %s\n", error.c_str());
        return 1;
    }
    printTable(recipes, volumes, levels, target);

    int differences = 0;
    std::error_code ec;
    if (!s.check)
        fs::create_directories(s.outDir, ec);
    for (const OutputFile& f : files) {
        if (s.check) {
            if (readBytes(f.path) != f.bytes) {
                std::printf("differs: %s\n", f.path.string().c_str());
                differences++;
            }
            continue;
        }
        std::ofstream out(f.path, std::ios::binary | std::ios::trunc);
        out.write((const char*)f.bytes.data(), (std::streamsize)f.bytes.size());
        if (!out) {
            std::fprintf(stderr, "corvex-factory-bank: cannot write %s\n", f.path.string().c_str());
            return 1;
        }
        std::printf("wrote %s\n", f.path.string().c_str());
    }
    if (s.check) {
        if (differences) {
            std::printf("%d of %zu files differ from a fresh run\n", differences, files.size());
        } else {
            std::printf("all %zu files are up to date\n", files.size());
        }
    }
    return differences ? 1 : 0;
}
