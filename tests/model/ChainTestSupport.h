// A chain designed the way the effect designs it, for tests that run the DSP
// without the plug-in shell.
#pragma once

#include <cstring>

#include "model/AmpModel.h"

struct TestChain {
    AmpModel model;
    AmpSide& left = model.left;
    AmpSide& right = model.right;
    ChainSettings settings;

    TestChain() = default;
    TestChain(const TestChain& other) : model(other.model), settings(other.settings) {}
    TestChain& operator=(const TestChain& other) {
        model = other.model;
        settings = other.settings;
        return *this;
    }
};

// Designs both sides for a host rate and fills the settings with the
// defaults of program 0 ("Volume" etc. at 0.5, channel 0, mono).
inline void setUpTestChain(TestChain& chain, float sampleRate, int highQuality = 0) {
    chain.model.clear();
    chain.model.design(sampleRate, highQuality);
    chain.model.designStages();
    chain.settings = defaultChainSettings(chain.model);
}

// A byte-for-byte copy, padding included, so that the two chains compare
// equal with memcmp until one of them processes.
inline void copyChain(TestChain& to, const TestChain& from) {
    to.model = from.model;
    std::memcpy(&to.model.left, &from.model.left, sizeof(AmpSide));
    std::memcpy(&to.model.right, &from.model.right, sizeof(AmpSide));
    std::memcpy(&to.settings, &from.settings, sizeof(ChainSettings));
}
