// corvex-render: renders an audio file through a VST 2.4 plug-in the way a
// DAW would drive it, and writes the result as a 32-bit float stereo WAV.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "host/options.h"
#include "host/platform.h"
#include "host/plugin_host.h"
#include "host/plugin_presets.h"
#include "host/preset_file.h"
#include "host/render.h"

namespace fs = std::filesystem;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

// The error a failed step reports; main prints it on one line.
struct Failure {
    std::string message;
    int code = exitFailure;
};

void onSignal(int) { renderInterrupted = 1; }

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

std::string dbText(double db) {
    if (!std::isfinite(db)) return "-inf dBFS (silence)";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dBFS", db);
    return text;
}

bool hasWavExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = (char)std::tolower((unsigned char)c);
    return ext == ".wav";
}

std::string defaultPluginPath(std::string& error) {
    std::string exe = hostplatform::executablePath();
    if (exe.empty()) {
        error = "cannot find where corvex-render lives; pass --plugin PATH";
        return std::string();
    }
    fs::path p = fs::path(exe).parent_path().parent_path() / "plugin" / hostplatform::pluginFileName("Corvex");
    std::error_code ec;
    if (!fs::exists(p, ec)) {
        error = "no plug-in at " + p.string() + " (build the corvex_plugin target, or pass --plugin PATH)";
        return std::string();
    }
    return p.string();
}

bool loadPresetFile(PluginHost& plugin, const std::string& path, bool bank, std::string& error) {
    presetfile::PresetFile file;
    std::string reason;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        error = "preset file not found: " + path;
        return false;
    }
    if (!presetfile::readFile(path, file, reason) || !applyPreset(plugin, file, bank, reason)) {
        error = "cannot load " + path + ": " + reason;
        return false;
    }
    return true;
}

// --list-programs: the bank goes into the plug-in, which alone knows what an
// opaque bank chunk holds, and the names are what it then lists, as a DAW
// would show them.
bool listBankPrograms(PluginHost& plugin, const std::string& path, std::string& error) {
    presetfile::PresetFile file;
    std::string reason;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        error = "bank file not found: " + path;
        return false;
    }
    if (!presetfile::readFile(path, file, reason)) {
        error = "cannot read the bank " + path + ": " + reason;
        return false;
    }
    if (!file.isBank()) {
        error = path + " is a program file (.fxp); --list-programs lists the programs of a bank (.fxb)";
        return false;
    }
    if (!applyPreset(plugin, file, true, reason)) {
        error = "cannot load the bank " + path + ": " + reason;
        return false;
    }
    int count = std::min<int>(presetfile::programCount(file), plugin.numPrograms());
    for (int i = 0; i < count; i++) std::printf("%d %s\n", i, plugin.programNameIndexed(i).c_str());
    return true;
}

// Captures the current program or bank into a pending file.
bool savePresetFile(PluginHost& plugin, PendingFile& target, bool bank, std::string& error) {
    presetfile::PresetFile file;
    std::string reason;
    if (!capturePreset(plugin, bank, file, reason)) {
        error = "cannot save " + target.target() + ": " + reason;
        return false;
    }
    return writeBytes(target, presetfile::serialize(file), error);
}

void printList(PluginHost& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    std::printf("Plug-in:    %s\n", plugin.effectName().c_str());
    std::printf("Vendor:     %s (version %d)\n", plugin.vendorString().c_str(), (int)plugin.vendorVersion());
    std::printf("Product:    %s\n", plugin.productString().c_str());
    std::printf("Unique ID:  '%s' (0x%08X), plug-in version %d, VST %d\n",
                presetfile::fourCCText(e->uniqueID).c_str(), (unsigned)e->uniqueID, (int)e->version,
                (int)plugin.vstVersion());
    std::printf("Audio:      %d inputs, %d outputs%s%s\n", (int)e->numInputs, (int)e->numOutputs,
                plugin.hasChunks() ? "; programs stored as chunks" : "",
                (e->flags & effFlagsHasEditor) ? "; has an editor" : "");
    std::printf("File:       %s\n", path.c_str());
    std::printf("Parameters (%d):\n", plugin.numParams());
    for (int i = 0; i < plugin.numParams(); i++) {
        std::string label = plugin.parameterLabel(i);
        std::printf("  %3d  %-14s %s%s%s\n", i, plugin.parameterName(i).c_str(), plugin.parameterDisplay(i).c_str(),
                    label.empty() ? "" : " ", label.c_str());
    }
    int current = plugin.currentProgram();
    std::printf("Programs (%d, current %d):\n", plugin.numPrograms(), current);
    for (int i = 0; i < plugin.numPrograms(); i++) {
        std::printf("  %3d  %s%s\n", i, plugin.programNameIndexed(i).c_str(), i == current ? "  *" : "");
    }
}

bool run(const Options& options, Failure& failure) {
    std::string& error = failure.message;
    const bool rendering = !options.list && !options.input.empty();

    // Check everything that can be checked before the plug-in is loaded.
    InputAudio input;
    std::string outputPath;
    if (rendering) {
        if (!input.open(options.input, error)) return false;
        if (options.rate > 0.0 && options.rate != (double)input.sampleRate()) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "%s is at %d Hz but --rate asks for %g Hz; corvex-render processes at the file's "
                          "rate, so resample the file first (or drop --rate)",
                          options.input.c_str(), input.sampleRate(), options.rate);
            error = text;
            return false;
        }
        outputPath = options.output.empty() ? defaultOutputName(options.input) : options.output;
        if (!hasWavExtension(outputPath)) {
            error = "the output is always a WAV file: name it *.wav (got " + outputPath + ")";
            return false;
        }
        std::error_code ec;
        if (fs::exists(outputPath, ec) && fs::equivalent(outputPath, options.input, ec)) {
            error = "the output would overwrite the input " + options.input;
            return false;
        }
    }

    std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath(error) : options.pluginPath;
    if (pluginPath.empty()) return false;
    PluginHost plugin;
    if (!plugin.load(pluginPath, error)) return false;

    double rate = rendering ? input.sampleRate() : options.rate > 0.0 ? options.rate : 44100.0;
    plugin.setSampleRate(rate);
    plugin.setBlockSize(options.blockSize);

    if (!options.listPrograms.empty()) return listBankPrograms(plugin, options.listPrograms, error);
    if (!options.loadBank.empty() && !loadPresetFile(plugin, options.loadBank, true, error)) return false;
    if (options.program >= 0) {
        if (options.program >= plugin.numPrograms()) {
            error = "--program " + std::to_string(options.program) + " is out of range (the plug-in has " +
                    std::to_string(plugin.numPrograms()) + " programs, 0 to " +
                    std::to_string(plugin.numPrograms() - 1) + ")";
            return false;
        }
        plugin.setProgram(options.program);
    }
    if (!options.loadProgram.empty() && !loadPresetFile(plugin, options.loadProgram, false, error)) return false;
    for (const ParameterSetting& setting : options.settings) {
        std::string reason;
        int index = plugin.findParameter(setting.key, reason);
        if (index < 0) {
            error = "--set " + setting.key + ": " + reason;
            return false;
        }
        plugin.setParameter(index, setting.value);
    }

    if (options.list) {
        printList(plugin, pluginPath);
        return true;
    }

    // Presets are captured now (rendering does not change them) but only
    // moved into place together with the audio, once everything worked.
    std::unique_ptr<PendingFile> programFile, bankFile;
    if (!options.saveProgram.empty()) {
        programFile = std::make_unique<PendingFile>(options.saveProgram);
        if (!savePresetFile(plugin, *programFile, false, error)) return false;
    }
    if (!options.saveBank.empty()) {
        bankFile = std::make_unique<PendingFile>(options.saveBank);
        if (!savePresetFile(plugin, *bankFile, true, error)) return false;
    }

    std::unique_ptr<PendingFile> output;
    RenderStats stats;
    if (rendering) {
        output = std::make_unique<PendingFile>(outputPath);
        bool progress = hostplatform::stderrIsTerminal() && !options.quiet;
        if (!renderAudio(plugin, input, *output, options.blockSize, progress, stats, error)) {
            if (renderInterrupted) failure.code = exitInterrupted;
            return false;
        }
    }
    if (output && !output->commit(error)) return false;
    if (programFile && !programFile->commit(error)) return false;
    if (bankFile && !bankFile->commit(error)) return false;

    if (options.quiet) return true;
    if (rendering) {
        std::error_code ec;
        fs::path shown = fs::absolute(outputPath, ec);
        std::printf("Input:     %s (%s, %d Hz)\n", options.input.c_str(), input.channels() == 1 ? "mono" : "stereo",
                    input.sampleRate());
        std::printf("Plug-in:   %s (%s)\n", plugin.effectName().c_str(), pluginPath.c_str());
        std::printf("Duration:  %.3f s (%lld frames, blocks of %d)\n", stats.seconds, (long long)stats.frames,
                    options.blockSize);
        std::printf("Peak:      %s\n", dbText(stats.peakDb()).c_str());
        std::printf("RMS:       %s\n", dbText(stats.rmsDb()).c_str());
        std::printf("Speed:     %.1fx real time\n", stats.realTimeFactor());
        if (stats.nonFinite > 0) {
            std::fprintf(stderr, "corvex-render: warning: the plug-in produced %lld non-finite samples\n",
                         (long long)stats.nonFinite);
        }
        std::printf("Output:    %s\n", (ec ? outputPath : shown.string()).c_str());
    }
    if (programFile) std::printf("Program:   %s\n", programFile->target().c_str());
    if (bankFile) std::printf("Bank:      %s\n", bankFile->target().c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "corvex-render: error: %s\n", oneLine(error).c_str());
        return exitUsage;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    Failure failure;
    if (!run(options, failure)) {
        std::fprintf(stderr, "corvex-render: error: %s\n", oneLine(failure.message).c_str());
        return failure.code;
    }
    return 0;
}
