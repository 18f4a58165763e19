// Playing one program of a bank through the plug-in and measuring it: the
// factory-bank tool and its test share this, so the figures the tool tunes
// for are the figures the test checks.
//
// Every measurement starts from a freshly loaded plug-in instance that is
// given the bank, then the program, exactly as a host loading the .fxb
// would: no filter or valve state carries over from the previous program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginHost.h"
#include "tools/presets/Loudness.h"

// The test input: a mono DI scaled so its largest sample sits at `peakDb`.
struct DiSignal {
    std::vector<float> samples;
    int rate = 0;
};

constexpr double kDiPeakDb = -12.0;  // a guitar DI with healthy headroom
constexpr int kRenderBlock = 512;

// Reads the first channel of an audio file (libsndfile) and normalises it.
bool loadDi(const std::string& path, double peakDb, DiSignal& di, std::string& error);

// Loads the plug-in, sets the DI's rate and installs a bank chunk. Main thread.
bool loadPluginWithBank(PluginHost& plugin, const std::string& pluginPath, int rate,
                        const std::vector<uint8_t>& bankChunk, std::string& error);

// Renders the DI (on both inputs) through the plug-in as it stands into
// two output channels. False if the plug-in produced a non-finite sample.
// Main thread; resumes and suspends the plug-in.
bool renderDi(PluginHost& plugin, const DiSignal& di, std::vector<float>& left, std::vector<float>& right,
              std::string& error);

// renderDi, then the levels of its output.
bool renderAndMeasure(PluginHost& plugin, const DiSignal& di, LevelReport& report, std::string& error);

// Program `index` of `bankChunk` in a fresh instance, on its stored channel
// (channel < 0) or with the channel switch moved to `channel` first, as a
// player would.
bool measureProgram(const std::string& pluginPath, const std::vector<uint8_t>& bankChunk, int index, int channel,
                    const DiSignal& di, LevelReport& report, std::string& error);
