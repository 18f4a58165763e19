// corvex-render: renders an audio file through a VST 2.4 plug-in the way a
// DAW would drive it, and writes the result as a 32-bit float stereo WAV.
// Everything runs on the main thread; a signal handler (HostPlatform.h) ends the
// run at once, deleting unfinished files, even while the plug-in is busy.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cabinet/Cabinet.h"
#include "cabinet/LoudnessMeter.h"
#include "host/Options.h"
#include "host/HostPlatform.h"
#include "host/PluginHost.h"
#include "host/PluginPresets.h"
#include "host/PresetFile.h"
#include "host/PrintableText.h"
#include "host/Render.h"
#include "host/PendingFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int renderCabinetCycle = 1024;  // frames per convolver cycle; any block size feeds it

// The error a failed step reports; main prints it on one line.
struct Failure {
    std::string message;
    int code = exitFailure;
};

void warn(const std::string& text) {
    std::fprintf(stderr, "corvex-render: warning: %s\n", text.c_str());
}

// The shortest text that reads back as exactly `value` ("44100.0000001").
std::string preciseText(double value) {
    char text[64];
    for (int digits = 1; digits <= 17; digits++) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

// What to add to a refusal that --repair-presets would have mended.
std::string repairHint(const std::string& reason) {
    if (reason.find("outside 0 to 1") == std::string::npos)
        return std::string();
    return " (--repair-presets loads it with such values brought to the nearest end)";
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string dbText(double db) {
    if (!std::isfinite(db))
        return "-inf dBFS (silence)";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dBFS", db);
    return text;
}

bool hasWavExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext)
        c = (char)std::tolower((unsigned char)c);
    return ext == ".wav";
}

std::string defaultPluginPath(std::string& error) {
    const std::string exe = hostplatform::executablePath();
    if (exe.empty()) {
        error = "cannot find where corvex-render lives; pass --plugin PATH";
        return std::string();
    }
    const std::string found = hostplatform::findPlugin(exe);
    if (found.empty()) {
        std::string places;
        for (const std::string& place : hostplatform::pluginCandidates(exe))
            places += (places.empty() ? "" : " or ") + place;
        error = "no plug-in at " + places + " (build the corvex_plugin target, install Corvex, or pass --plugin PATH)";
    }
    return found;
}

// Preset and cabinet files may be named by the factory file's name alone
// ("--load-fxp 03-Crunch-Rhythm"): found among the installed data, or the
// build tree's, when no such file is in the current folder.
Options withDataFiles(Options options) {
    const std::string exe = hostplatform::executablePath();
    options.loadProgram = hostplatform::findDataFile(exe, "presets", options.loadProgram, ".fxp");
    options.loadBank = hostplatform::findDataFile(exe, "presets", options.loadBank, ".fxb");
    options.listPrograms = hostplatform::findDataFile(exe, "presets", options.listPrograms, ".fxb");
    options.cabinet = hostplatform::findDataFile(exe, "cabinet", options.cabinet, ".wav");
    return options;
}

bool loadPresetFile(PluginHost& plugin, const std::string& path, bool bank, bool repair, std::string& error) {
    presetfile::PresetFile file;
    std::string reason;
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        error = "preset file not found: " + path;
        return false;
    }
    const presetvalues::Repair mode = repair ? presetvalues::Repair::clamp : presetvalues::Repair::none;
    int mended = 0, mendedInPlugin = 0;
    if (!presetfile::readFile(path, file, reason) || !applyPreset(plugin, file, bank, reason, mode, &mended)) {
        error = "cannot load " + path + ": " + reason + (repair ? "" : repairHint(reason));
        return false;
    }
    if (!checkPresetValues(plugin, bank, mode, mendedInPlugin, reason)) {
        error = "cannot use " + path + ": " + reason + (repair ? "" : repairHint(reason));
        return false;
    }
    if (mended + mendedInPlugin > 0) {
        const int n = mended + mendedInPlugin;
        warn(path + ": " + std::to_string(n) + " value" + (n == 1 ? "" : "s") +
             " outside 0 to 1 brought to the nearest end (--repair-presets)");
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
    for (int i = 0; i < count; i++)
        std::printf("%d %s\n", i, printableText(plugin.programNameIndexed(i)).c_str());
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
    std::printf("Plug-in:    %s\n", printableText(plugin.effectName()).c_str());
    std::printf("Vendor:     %s (version %d)\n", printableText(plugin.vendorString()).c_str(), (int)plugin.vendorVersion());
    std::printf("Product:    %s\n", printableText(plugin.productString()).c_str());
    std::printf("Unique ID:  '%s' (0x%08X), plug-in version %d, VST %d\n", presetfile::fourCCText(e->uniqueID).c_str(),
                (unsigned)e->uniqueID, (int)e->version, (int)plugin.vstVersion());
    std::printf("Audio:      %d inputs, %d outputs%s%s\n", (int)e->numInputs, (int)e->numOutputs,
                plugin.hasChunks() ? "; programs stored as chunks" : "",
                (e->flags & effFlagsHasEditor) ? "; has an editor" : "");
    std::printf("File:       %s\n", path.c_str());
    std::printf("Parameters (%d):\n", plugin.numParams());
    for (int i = 0; i < plugin.numParams(); i++) {
        std::string label = printableText(plugin.parameterLabel(i));
        std::printf("  %3d  %-14s %s%s%s\n", i, printableText(plugin.parameterName(i)).c_str(),
                    printableText(plugin.parameterDisplay(i)).c_str(),
                    label.empty() ? "" : " ", label.c_str());
    }
    int current = plugin.currentProgram();
    std::printf("Programs (%d, current %d):\n", plugin.numPrograms(), current);
    for (int i = 0; i < plugin.numPrograms(); i++) {
        std::printf("  %3d  %s%s\n", i, printableText(plugin.programNameIndexed(i)).c_str(), i == current ? "  *" : "");
    }
}

bool run(const Options& given, Failure& failure) {
    const Options options = withDataFiles(given);
    std::string& error = failure.message;
    const bool rendering = !options.input.empty();

    // Check everything that can be checked before the plug-in is loaded.
    InputAudio input;
    std::string outputPath;
    if (rendering) {
        if (!input.open(options.input, error))
            return false;
        const std::string inputName = options.input == "-" ? std::string("standard input") : options.input;
        if (!input.damage().empty()) {
            if (!options.acceptDamaged) {
                error = inputName + " is damaged or cut short: " + input.damage() +
                        "; pass --accept-damaged to render what it holds";
                return false;
            }
            warn(inputName + " is damaged or cut short: " + input.damage() + "; rendering what it holds");
        }
        if (input.frames() == 0) {
            error = inputName + " holds no audio (0 frames)";
            return false;
        }
        if (options.rate > 0.0 && options.rate != (double)input.sampleRate()) {
            error = inputName + " is at " + std::to_string(input.sampleRate()) + " Hz but --rate asks for " +
                    preciseText(options.rate) +
                    " Hz; corvex-render processes at the file's rate, so resample the file first (or drop --rate)";
            return false;
        }
        outputPath = options.output.empty() ? defaultOutputName(options.input) : options.output;
        if (!hasWavExtension(outputPath)) {
            error = "the output is always a WAV file: name it *.wav (got " + outputPath + ")";
            return false;
        }
    }

    // The cabinet's file is checked before the plug-in is loaded, too.
    cabinet::ImpulseResponse cabResponse;
    cabinet::Cabinet cab;
    if (rendering && !options.cabinet.empty()) {
        cabinet::ImpulseResponse fileResponse;
        if (!cabinet::loadImpulseResponse(options.cabinet, fileResponse, error) ||
            !cabinet::resampleImpulseResponse(fileResponse, input.sampleRate(), cabResponse, error) ||
            !cab.configure(cabResponse, renderCabinetCycle, cabinet::Cabinet::Feed::buffered,
                           cabinet::Cabinet::Timing::offline, 0, error))
            return false;
        cab.setTrimDb(options.cabinetTrimDb);
    }

    std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath(error) : options.pluginPath;
    if (pluginPath.empty())
        return false;

    // Every file this run would replace, checked against every file it reads
    // and against each other before any work is done.
    std::vector<NamedFile> targets;
    if (rendering)
        targets.push_back({outputPath, options.output.empty() ? "the output" : "-o", false});
    if (!options.saveProgram.empty())
        targets.push_back({options.saveProgram, "--save-fxp", true});
    if (!options.saveBank.empty())
        targets.push_back({options.saveBank, "--save-fxb", true});
    const std::vector<NamedFile> inputs = {{options.input, "the input", false},
                                           {pluginPath, "the plug-in", false},
                                           {options.loadProgram, "--load-fxp", false},
                                           {options.loadBank, "--load-fxb", false},
                                           {options.cabinet, "--cab", false}};
    if (!checkTargets(inputs, targets, options.force, error))
        return false;
    for (const NamedFile& t : targets)
        removeStalePartials(t.path);
    std::unique_ptr<PendingFile> output, programFile, bankFile;
    if (rendering)
        output = std::make_unique<PendingFile>(outputPath);
    if (!options.saveProgram.empty())
        programFile = std::make_unique<PendingFile>(options.saveProgram);
    if (!options.saveBank.empty())
        bankFile = std::make_unique<PendingFile>(options.saveBank);

    PluginHost plugin;
    if (!plugin.load(pluginPath, error))
        return false;

    double rate = rendering ? input.sampleRate() : options.rate > 0.0 ? options.rate : 44100.0;
    plugin.setSampleRate(rate);
    plugin.setBlockSize(options.blockSize);

    if (!options.listPrograms.empty())
        return listBankPrograms(plugin, options.listPrograms, error);
    if (!options.loadBank.empty() && !loadPresetFile(plugin, options.loadBank, true, options.repairPresets, error))
        return false;
    if (options.program >= 0) {
        if (options.program >= plugin.numPrograms()) {
            error = "--program " + std::to_string(options.program) + " is out of range (the plug-in has " +
                    std::to_string(plugin.numPrograms()) + " programs, 0 to " +
                    std::to_string(plugin.numPrograms() - 1) + ")";
            return false;
        }
        plugin.setProgram(options.program);
    }
    if (!options.loadProgram.empty() && !loadPresetFile(plugin, options.loadProgram, false, options.repairPresets, error))
        return false;
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
    if (programFile && !savePresetFile(plugin, *programFile, false, error))
        return false;
    if (bankFile && !savePresetFile(plugin, *bankFile, true, error))
        return false;

    RenderStats stats;
    cabinet::LoudnessMeter meter;
    if (rendering) {
        RenderSettings settings;
        settings.blockSize = options.blockSize;
        settings.showProgress = hostplatform::stderrIsTerminal() && !options.quiet;
        settings.acceptDamaged = options.acceptDamaged;
        meter.start(input.sampleRate());
        if (!renderAudio(plugin, input, *output, settings, stats, error, cab.ready() ? &cab : nullptr, &meter))
            return false;
        if (!stats.shortInput.empty())
            warn(stats.shortInput + "; kept what was rendered");
        const char* keep = "; pass --allow-nonfinite to keep such a file";
        if (stats.nonFiniteInput > 0) {
            std::string text =
                "the input holds " + std::to_string(stats.nonFiniteInput) + " non-finite samples (NaN or infinity)";
            if (!options.allowNonFinite) {
                error = text + keep;
                return false;
            }
            warn(text);
        }
        if (stats.nonFinite > 0) {
            std::string text =
                "the plug-in produced " + std::to_string(stats.nonFinite) + " non-finite samples (NaN or infinity)";
            if (!options.allowNonFinite) {
                error = text + keep;
                return false;
            }
            warn(text);
        }
        // Above full scale even when -q hides the summary: the file would clip wherever it goes next.
        std::string clipping = cabinet::clippingWarning(meter);
        if (!clipping.empty())
            std::fprintf(stderr, "corvex-render: %s", clipping.c_str());
    }
    std::vector<PendingFile*> finished;
    for (PendingFile* f : {output.get(), programFile.get(), bankFile.get()})
        if (f != nullptr)
            finished.push_back(f);
    if (!commitAll(finished, error))
        return false;

    if (options.quiet)
        return true;
    if (rendering) {
        std::error_code ec;
        fs::path shown = fs::absolute(outputPath, ec);
        std::printf("Input:     %s (%s, %d Hz)\n", options.input == "-" ? "standard input" : options.input.c_str(),
                    input.channels() == 1 ? "mono" : "stereo", input.sampleRate());
        std::printf("Plug-in:   %s (%s)\n", printableText(plugin.effectName()).c_str(), pluginPath.c_str());
        std::printf("Duration:  %.3f s (%lld frames, blocks of %d)\n", stats.seconds, (long long)stats.frames,
                    options.blockSize);
        std::printf("Peak:      %s\n", dbText(stats.peakDb()).c_str());
        std::printf("RMS:       %s\n", dbText(stats.rmsDb()).c_str());
        std::fputs(cabinet::loudnessSummary(meter).c_str(), stdout);
        if (cab.ready())
            std::printf("Cabinet:   %s (%s, %.1f ms, trim %+.1f dB)\n", options.cabinet.c_str(),
                        cabResponse.stereo() ? "stereo" : "mono", 1000.0 * cabResponse.frames() / cabResponse.rate,
                        cab.trimDb());
        std::printf("Speed:     %.1fx real time\n", stats.realTimeFactor());
        std::printf("Output:    %s\n", (ec ? outputPath : shown.string()).c_str());
    }
    if (programFile)
        std::printf("Program:   %s\n", programFile->target().c_str());
    if (bankFile)
        std::printf("Bank:      %s\n", bankFile->target().c_str());
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
    hostplatform::installSignalCleanup();
    Failure failure;
    if (!run(options, failure)) {
        std::fprintf(stderr, "corvex-render: error: %s\n", oneLine(failure.message).c_str());
        return failure.code;
    }
    return 0;
}
