// Turning recipes into the plug-in's own bank: every value is set through the
// plug-in's parameters, the way a player would turn the knobs, and the bank
// is the chunk the plug-in then hands out. Nothing here writes the chunk's
// bytes by hand, so the bank is whatever the plug-in itself would save.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginHost.h"
#include "tools/presets/FactoryRecipes.h"

// Output Volume per channel of one program.
using ChannelVolumes = std::array<float, 2>;

// The parameter indexes the composer turns, looked up by name once.
struct ParameterMap {
    int input, channel, drive, mixPls, low, mid, high, contour, powerAmp, volume, monoStereo, quality, boost;
    bool resolve(PluginHost& plugin, std::string& error);
};

// Writes recipe `r` with `volumes` into the plug-in's program `index`:
// first the channel the program does not play on, then the one it does, so
// the program is stored with its own channel selected. Main thread.
void composeProgram(PluginHost& plugin, const ParameterMap& map, int index, const FactoryRecipe& r,
                    const ChannelVolumes& volumes);

// All recipes into a fresh instance (at most as many as it has programs),
// program 0 selected; the resulting bank chunk in `bank`.
bool composeBank(const std::string& pluginPath, int rate, const std::vector<FactoryRecipe>& recipes,
                 const std::vector<ChannelVolumes>& volumes, std::vector<uint8_t>& bank, std::string& error);
