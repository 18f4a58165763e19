// The amp model side of Corvex: the design that follows the sample rate and
// the quality switch, and the audio block. The model itself is AmpModel.
#include <cmath>
#include <initializer_list>

#include "model/Corvex.h"
#include "model/StageDesign.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

// Host thread, or whichever thread sets "LowQ/HighQ". A rate that is not a
// positive finite number is refused: the effect keeps its rate and designs.
// Waits for the audio block in progress, if any.
void Corvex::setSampleRate(float newSampleRate) {
    if (!(newSampleRate > 0.0f) || !std::isfinite(newSampleRate)) {
        return;
    }
    AudioEffectX::setSampleRate(newSampleRate);
    amp.design(newSampleRate, highQuality.load(kRelaxed));
}

ChainSettings Corvex::chainSettings() const {
    ChainSettings s;
    s.input = parameter(kInput);
    s.low = parameter(kLow);
    s.mid = parameter(kMid);
    s.high = parameter(kHigh);
    s.contour = parameter(kContour);
    s.powerAmp = parameter(kPowerAmp);
    s.volume = parameter(kVolume);
    s.mix = parameter(kMixPls);
    s.driveGain = driveGain.load(kRelaxed);
    s.activeChannel = activeChannel.load(kRelaxed);
    s.boost = boost.load(kRelaxed);
    s.stereo = stereo.load(kRelaxed);
    return s;
}

// Audio thread. The host may pass the same buffers as inputs and outputs.
// Every value a block reads is taken once at its start; a parameter set
// from another thread during a block takes effect from the next one.
void Corvex::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (sampleFrames <= 0 || !outputs) {
        return;
    }
    float* outLeft = outputs[0];
    float* outRight = outputs[1];
    const bool isStereo = stereo.load(kRelaxed) != 0;
    const bool inputsPresent = inputs && inputs[0] && (!isStereo || inputs[1]);
    if (outLeft && outRight && inputsPresent) {
        ChainSettings settings = chainSettings();
        settings.stereo = isStereo ? 1 : 0;
        if (amp.process(settings, inputs[0], isStereo ? inputs[1] : nullptr, outLeft, outRight, sampleFrames))
            return;
    }
    // Missing channels, or a redesign in progress: silence on whatever
    // outputs exist, and the amp state untouched.
    for (float* out : {outLeft, outRight}) {
        if (out) {
            for (VstInt32 i = 0; i < sampleFrames; ++i) {
                out[i] = 0.0f;
            }
        }
    }
}
