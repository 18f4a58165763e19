// The ten programs of the factory bank as a guitarist would describe them:
// which channel plays, and how each channel's knobs are set. The output
// Volume of every channel is not part of a recipe: the bank tool measures
// it (see FactoryBank.cpp).
#pragma once

#include <string>
#include <vector>

// The eight values a channel remembers, Volume aside.
struct ChannelKnobs {
    float input, drive, low, mid, high, contour, powerAmp;
};

struct FactoryRecipe {
    std::string name;      // at most 24 characters, what the host lists
    std::string fileStem;  // of its .fxp
    int channel;           // 0 or 1: the channel the program plays on
    float mixPls;          // shared; only channel 0 blends its branches
    bool highQuality;
    bool boost;             // shared; only channel 1 is boosted
    ChannelKnobs knobs[2];  // channel 0, channel 1; both are stored
};

const std::vector<FactoryRecipe>& factoryRecipes();
