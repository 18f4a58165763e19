// Building chains the way the effect does, for tests that run the DSP
// without the plug-in shell.
#pragma once

#include "model/SignalChain.h"
#include "model/StageDesign.h"

struct TestChain {
    AmpSide left;
    AmpSide right;
    ChainSettings settings;
};

// Designs both sides for a host rate and fills the settings with the
// defaults of program 0 ("Volume" etc. at 0.5, channel 0, mono).
inline void setUpTestChain(TestChain& chain, float sampleRate, int highQuality = 0) {
    const OversamplingChoice choice = chooseOversampling(sampleRate, highQuality);
    clearAmpSide(chain.left);
    clearAmpSide(chain.right);
    designAmpSideFilters(chain.left, choice.oversampledRate);
    designAmpSideFilters(chain.right, choice.oversampledRate);
    designAmpSideStages(chain.left, AmpSideKind::left, choice.oversampledRate);
    designAmpSideStages(chain.right, AmpSideKind::right, choice.oversampledRate);
    ChainSettings& s = chain.settings;
    s.input = s.low = s.mid = s.high = s.contour = s.powerAmp = s.volume = s.mix = 0.5;
    s.driveGain = driveTaper(0.5);
    s.activeChannel = 0;
    s.boost = 0;
    s.stereo = 0;
    s.oversampling = choice.oversampling;
    s.oversampledRate = choice.oversampledRate;
    s.oversampledPeriod = choice.oversampledPeriod;
}
