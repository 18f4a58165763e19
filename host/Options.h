// The command line of corvex-render.
#pragma once

#include <string>
#include <vector>

struct ParameterSetting {
    std::string key;  // a parameter name or index, as typed
    float value = 0.0f;
};

struct Options {
    std::string input;       // audio file to render, "-" for standard input; may be empty with --list or --save-*
    std::string output;      // -o; empty: <input stem>-corvex.wav in the current folder
    std::string pluginPath;  // --plugin; empty: Corvex beside the host
    int blockSize = 512;     // --block
    double rate = 0.0;       // --rate; 0: not given
    int program = -1;        // --program; -1: not given
    std::vector<ParameterSetting> settings;  // --set, in command-line order
    std::string loadProgram, loadBank;       // --load-fxp, --load-fxb
    std::string saveProgram, saveBank;       // --save-fxp, --save-fxb
    bool list = false;
    std::string listPrograms;  // --list-programs: a bank whose program names to print
    bool help = false;
    bool quiet = false;           // -q: no summary (warnings and errors still go to stderr)
    bool force = false;           // --force: replace read-only files too
    bool acceptDamaged = false;   // --accept-damaged: render what a cut-short input holds
    bool allowNonFinite = false;  // --allow-nonfinite: keep output holding NaN or infinity
    bool repairPresets = false;   // --repair-presets: bring preset values outside 0 to 1 to the nearest end
    std::string cabinet;          // --cab: impulse response of a speaker cabinet
    double cabinetTrimDb = 0.0;   // --cab-trim
    bool cabinetTrimGiven = false;
};

constexpr int maxBlockSize = 65536;

// --cab-trim's value: a level in dB from -60 to +24.
bool parseCabinetTrim(const std::string& text, double& db, std::string& error);

// Parses argv[1..]. False with a one-line reason on a malformed command line.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// "NAME=VALUE" of --set; the value must be a finite number from 0 to 1.
bool parseSetting(const std::string& text, ParameterSetting& setting, std::string& error);

// Strict number parsing: the whole text must be the number.
bool parseInteger(const std::string& text, long& value);
bool parseReal(const std::string& text, double& value);

// The default output file: the input's file name without its extension,
// "-corvex.wav" appended, in the current folder.
std::string defaultOutputName(const std::string& input);

std::string usageText();
