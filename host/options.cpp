#include "host/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

bool fail(std::string& error, const std::string& text) {
    error = text;
    return false;
}

}  // namespace

bool parseInteger(const std::string& text, long& value) {
    if (text.empty() || std::isspace((unsigned char)text[0])) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != 0) return false;
    value = v;
    return true;
}

bool parseReal(const std::string& text, double& value) {
    if (text.empty() || std::isspace((unsigned char)text[0])) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != 0 || !std::isfinite(v)) return false;
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

std::string defaultOutputName(const std::string& input) {
    std::filesystem::path stem = std::filesystem::path(input).stem();
    return stem.string() + "-corvex.wav";
}

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options();
    bool endOfOptions = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (endOfOptions || arg.empty() || arg[0] != '-' || arg == "-") {
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
            if (i + 1 >= argc) return fail(error, name + " needs a value");
            out = argv[++i];
            return true;
        };
        auto flag = [&]() {
            if (hasInline) return fail(error, name + " takes no value");
            return true;
        };
        std::string v;
        if (name == "-h" || name == "--help") {
            if (!flag()) return false;
            options.help = true;
        } else if (name == "--list") {
            if (!flag()) return false;
            options.list = true;
        } else if (name == "--list-programs") {
            if (!options.listPrograms.empty()) return fail(error, name + " given twice");
            if (!value(options.listPrograms)) return false;
            if (options.listPrograms.empty()) return fail(error, name + " needs a bank file (.fxb)");
        } else if (name == "-q" || name == "--quiet") {
            if (!flag()) return false;
            options.quiet = true;
        } else if (name == "-o" || name == "--output") {
            if (!value(options.output)) return false;
            if (options.output.empty()) return fail(error, name + " needs a file name");
        } else if (name == "--plugin") {
            if (!value(options.pluginPath)) return false;
            if (options.pluginPath.empty()) return fail(error, "--plugin needs a path");
        } else if (name == "--block") {
            if (!value(v)) return false;
            long n = 0;
            if (!parseInteger(v, n) || n < 1 || n > maxBlockSize) {
                return fail(error, "--block wants a whole number of frames from 1 to " + std::to_string(maxBlockSize) +
                                       ", got \"" + v + "\"");
            }
            options.blockSize = (int)n;
        } else if (name == "--rate") {
            if (!value(v)) return false;
            double r = 0.0;
            if (!parseReal(v, r) || r <= 0.0) return fail(error, "--rate wants a sample rate in Hz, got \"" + v + "\"");
            options.rate = r;
        } else if (name == "--program") {
            if (!value(v)) return false;
            long n = 0;
            if (!parseInteger(v, n) || n < 0 || n > 1000000) {
                return fail(error, "--program wants a program number, got \"" + v + "\"");
            }
            options.program = (int)n;
        } else if (name == "--set") {
            if (!value(v)) return false;
            ParameterSetting setting;
            if (!parseSetting(v, setting, error)) return false;
            options.settings.push_back(setting);
        } else if (name == "--load-fxp" || name == "--load-fxb" || name == "--save-fxp" || name == "--save-fxb") {
            std::string& target = name == "--load-fxp"   ? options.loadProgram
                                  : name == "--load-fxb" ? options.loadBank
                                  : name == "--save-fxp" ? options.saveProgram
                                                         : options.saveBank;
            if (!target.empty()) return fail(error, name + " given twice");
            if (!value(target)) return false;
            if (target.empty()) return fail(error, name + " needs a file name");
        } else {
            return fail(error, "unknown option " + name + " (see --help)");
        }
    }
    if (!options.listPrograms.empty() &&
        (options.list || !options.input.empty() || !options.output.empty() || options.program >= 0 ||
         !options.settings.empty() || !options.loadProgram.empty() || !options.loadBank.empty() ||
         !options.saveProgram.empty() || !options.saveBank.empty())) {
        return fail(error, "--list-programs only prints a bank's program names; give it alone (with --plugin if need be)");
    }
    if (!options.help && !options.list && options.listPrograms.empty() && options.input.empty() &&
        options.saveProgram.empty() && options.saveBank.empty()) {
        return fail(error, "no input file (see --help)");
    }
    return true;
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
                      relative to this program)
  --block N           frames per processing call, 1 to 65536 (default 512)
  --rate HZ           expected sample rate; processing runs at the file's
                      rate, so a different rate is an error
  --program N         select program N before rendering
  --set NAME=VALUE    set a parameter by name (case-insensitive, e.g.
                      "Mix PLS=0.3", LowQ/HighQ=1) or by index (2=0.7);
                      VALUE from 0 to 1; may be repeated
  --load-fxb FILE     load a bank preset (.fxb) before rendering
  --load-fxp FILE     load a program preset (.fxp) into the current program
  --save-fxp FILE     save the current program as .fxp (after the settings)
  --save-fxb FILE     save all programs as .fxb
  --list              show the plug-in, its parameters and programs; no render
  --list-programs FILE  print the program names of a bank (.fxb) as the
                      plug-in lists them once the bank is loaded, one
                      "INDEX NAME" line each; no render
  -q, --quiet         no summary on stdout
  -h, --help          this text

Order: --load-fxb, --program, --load-fxp, then each --set in turn. Without
an INPUT, --save-fxp/--save-fxb just write the presets.
)";
}
