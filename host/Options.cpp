#include "host/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

// Requests that cannot all be honoured are refused instead of silently
// dropping one of them.
bool checkCombination(const Options& o, std::string& error) {
    const bool saving = !o.saveProgram.empty() || !o.saveBank.empty();
    if (!o.listPrograms.empty()) {
        if (o.list || !o.input.empty() || !o.output.empty() || o.program >= 0 || !o.settings.empty() ||
            !o.loadProgram.empty() || !o.loadBank.empty() || saving || !o.cabinet.empty()) {
            return fail(error,
                        "--list-programs only prints a bank's program names; give it alone (with --plugin if need be)");
        }
        return true;
    }
    if (o.list) {
        const char* dropped = !o.input.empty()     ? "an input file"
                              : !o.output.empty()  ? "-o"
                              : !o.cabinet.empty() ? "--cab"
                              : saving             ? "--save-fxp/--save-fxb"
                                                   : nullptr;
        if (dropped != nullptr) {
            return fail(error, std::string("--list only shows the plug-in; it cannot be combined with ") + dropped +
                                   " (run the render or save separately)");
        }
        return true;
    }
    if (o.input.empty()) {
        if (!o.output.empty())
            return fail(error, "-o " + o.output + " given but no input file to render");
        if (!saving)
            return fail(error, "no input file (see --help)");
        if (!o.cabinet.empty())
            return fail(error, "--cab " + o.cabinet + " given but no input file to render");
    }
    if (o.input == "-" && o.output.empty()) {
        return fail(error, "standard input (-) has no name to derive the output from: give -o FILE.wav");
    }
    if (o.output == "-") {
        return fail(error,
                    "the output cannot be standard output: a WAV file's header is finished last, so name a file");
    }
    return true;
}

}  // namespace

bool parseInteger(const std::string& text, long& value) {
    if (text.empty() || std::isspace((unsigned char)text[0]))
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0)
        return false;
    value = v;
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty() || std::isspace((unsigned char)text[0]))
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != 0 || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseSetting(const std::string& text, ParameterSetting& setting, std::string& error) {
    // Names may hold spaces and slashes but no '=': the value follows the last one.
    size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        return fail(error, "--set wants NAME=VALUE (for example Drive=0.7 or 2=0.7), got \"" + text + "\"");
    }
    std::string valueText = text.substr(eq + 1);
    double value = 0.0;
    if (!parseReal(valueText, value)) {
        return fail(error, "--set " + text + ": \"" + valueText + "\" is not a number");
    }
    if (value < 0.0 || value > 1.0) {
        return fail(error, "--set " + text + ": parameter values run from 0 to 1");
    }
    setting.key = text.substr(0, eq);
    setting.value = (float)value;
    return true;
}

bool parseCabinetTrim(const std::string& text, double& db, std::string& error) {
    if (!parseReal(text, db) || db < -60.0 || db > 24.0)
        return fail(error, "--cab-trim wants a level in dB from -60 to +24, got \"" + text + "\"");
    return true;
}

std::string defaultOutputName(const std::string& input) {
    std::filesystem::path stem = std::filesystem::path(input).stem();
    return stem.string() + "-corvex.wav";
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options();
    bool endOfOptions = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {  // "-": standard input
            if (!options.input.empty()) {
                return fail(error, "one input file only (got \"" + options.input + "\" and \"" + arg + "\")");
            }
            options.input = arg;
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        // --name=value is the same as --name value.
        std::string name = arg, inlineValue;
        bool hasInline = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
            hasInline = true;
        }
        auto value = [&](std::string& out) {
            if (hasInline) {
                out = inlineValue;
                return true;
            }
            if (i + 1 >= argc)
                return fail(error, name + " needs a value");
            out = argv[++i];
            return true;
        };
        auto flag = [&]() {
            if (hasInline)
                return fail(error, name + " takes no value");
            return true;
        };
        // A file option given twice is refused rather than keeping the last.
        auto once = [&](std::string& out, const char* what) {
            std::string given;
            if (!value(given))
                return false;
            if (given.empty())
                return fail(error, name + " needs " + what);
            if (!out.empty())
                return fail(error, name + " given twice (\"" + out + "\" and \"" + given + "\")");
            out = given;
            return true;
        };
        std::string v;
        if (name == "-h" || name == "--help") {
            if (!flag())
                return false;
            options.help = true;
        } else if (name == "--list") {
            if (!flag())
                return false;
            options.list = true;
        } else if (name == "--list-programs") {
            if (!options.listPrograms.empty())
                return fail(error, name + " given twice");
            if (!value(options.listPrograms))
                return false;
            if (options.listPrograms.empty())
                return fail(error, name + " needs a bank file (.fxb)");
        } else if (name == "-q" || name == "--quiet") {
            if (!flag())
                return false;
            options.quiet = true;
        } else if (name == "--force") {
            if (!flag())
                return false;
            options.force = true;
        } else if (name == "--accept-damaged") {
            if (!flag())
                return false;
            options.acceptDamaged = true;
        } else if (name == "--allow-nonfinite") {
            if (!flag())
                return false;
            options.allowNonFinite = true;
        } else if (name == "--repair-presets") {
            if (!flag())
                return false;
            options.repairPresets = true;
        } else if (name == "-o" || name == "--output") {
            if (!once(options.output, "a file name"))
                return false;
        } else if (name == "--plugin") {
            if (!once(options.pluginPath, "a path"))
                return false;
        } else if (name == "--block") {
            if (!value(v))
                return false;
            long n = 0;
            if (!parseInteger(v, n) || n < 1 || n > maxBlockSize) {
                return fail(error, "--block wants a whole number of frames from 1 to " + std::to_string(maxBlockSize) +
                                       ", got \"" + v + "\"");
            }
            options.blockSize = (int)n;
        } else if (name == "--rate") {
            if (!value(v))
                return false;
            double r = 0.0;
            if (!parseReal(v, r) || r <= 0.0)
                return fail(error, "--rate wants a sample rate in Hz, got \"" + v + "\"");
            options.rate = r;
        } else if (name == "--program") {
            if (!value(v))
                return false;
            long n = 0;
            if (!parseInteger(v, n) || n < 0 || n > 1000000) {
                return fail(error, "--program wants a program number, got \"" + v + "\"");
            }
            options.program = (int)n;
        } else if (name == "--set") {
            if (!value(v))
                return false;
            ParameterSetting setting;
            if (!parseSetting(v, setting, error))
                return false;
            options.settings.push_back(setting);
        } else if (name == "--load-fxp" || name == "--load-fxb" || name == "--save-fxp" || name == "--save-fxb") {
            std::string& target = name == "--load-fxp"   ? options.loadProgram
                                  : name == "--load-fxb" ? options.loadBank
                                  : name == "--save-fxp" ? options.saveProgram
                                                         : options.saveBank;
            if (!once(target, "a file name"))
                return false;
        } else if (name == "--cab") {
            if (!once(options.cabinet, "an impulse-response file"))
                return false;
        } else if (name == "--cab-trim") {
            if (!value(v) || !parseCabinetTrim(v, options.cabinetTrimDb, error))
                return false;
            options.cabinetTrimGiven = true;
        } else {
            return fail(error, "unknown option " + name + " (see --help)");
        }
    }
    if (options.cabinetTrimGiven && options.cabinet.empty())
        return fail(error, "--cab-trim needs --cab FILE");
    return options.help || checkCombination(options, error);
}

std::string usageText() {
    return R"(Usage: corvex-render [options] INPUT [-o OUTPUT.wav]

Renders an audio file (WAV, FLAC, AIFF, ...) through a VST 2.4 plug-in, by
default the Corvex amp head built beside this program, and writes a 32-bit
float stereo WAV. Mono input feeds both plug-in inputs.

Options:
  -o, --output FILE   output file (default: INPUT's name + "-corvex.wav",
                      in the current folder); written only when all went well
  --plugin PATH       plug-in library to load (default: ../plugin/Corvex.so
                      relative to this program in a build, else the
                      installed one, e.g. /usr/lib/vst/Corvex.so)
  --block N           frames per processing call, 1 to 65536 (default 512)
  --rate HZ           expected sample rate; processing runs at the file's
                      rate, so a different rate is an error
  --program N         select program N before rendering
  --set NAME=VALUE    set a parameter by name (case-insensitive, e.g.
                      "Mix PLS=0.3", LowQ/HighQ=1) or by index (2=0.7);
                      VALUE from 0 to 1; may be repeated
  --load-fxb FILE     load a bank preset (.fxb) before rendering
  --load-fxp FILE     load a program preset (.fxp) into the current program;
                      a factory program may be named alone: 03-Crunch-Rhythm
  --save-fxp FILE     save the current program as .fxp (after the settings)
  --save-fxb FILE     save all programs as .fxb
  --cab FILE          convolve the output with a speaker cabinet's impulse
                      response (WAV, FLAC, ...; mono or stereo, up to 10 s;
                      resampled to the file's rate), e.g.
                      --cab corvex-4x12 (the bundled one, by name)
  --cab-trim DB       level trim after the cabinet, -60 to +24 (default 0)
  --list              show the plug-in, its parameters and programs; takes
                      no input, -o or --save-*
  --force             replace read-only output and preset files
  --accept-damaged    render what a cut-short or damaged input holds
                      (a warning instead of an error)
  --allow-nonfinite   keep an output holding NaN or infinite samples
                      (a warning instead of an error)
  --repair-presets    load presets holding values outside 0 to 1 with
                      those values at the nearest end (0 or 1), with a
                      warning; without it such a preset is refused. NaN or
                      infinity refuses a preset either way
  --list-programs FILE  print the program names of a bank (.fxb) as the
                      plug-in lists them once the bank is loaded, one
                      "INDEX NAME" line each (control characters in a name
                      are escaped: \n, \e, \xHH); no render
  -q, --quiet         no summary on stdout; warnings and errors still show
  -h, --help          this text

INPUT may be - for standard input (then -o is needed): WAV, RF64, AIFF and
Ogg are read as they arrive, other formats (FLAC) are first buffered whole in
a temporary file in $TMPDIR (else /tmp). Order: --load-fxb,
--program, --load-fxp, then each --set in turn. Without an INPUT,
--save-fxp/--save-fxb just write the presets. Nothing is replaced unless
every file could be made: exit 0 when all went well, 1 on an error, 2 for a
malformed command line, 128 + the signal number when interrupted (130 for
Ctrl-C, 143 for SIGTERM) or when the plug-in crashes.
)";
}
