// The amp model side of Corvex: the designs that follow the sample rate and
// the quality switch, and the audio block.
#include <cmath>
#include <initializer_list>
#include <thread>

#include "model/Corvex.h"
#include "model/StageDesign.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

void Corvex::clearDspState() {
    // Every coefficient and history 0 until the first design.
    clearAmpSide(left);
    clearAmpSide(right);
    oversampling = 4;
    oversampledPeriod = 0.0;
    oversampledRate = 0.0;
}

void Corvex::acquireDsp() {
    while (dspBusy.exchange(true, std::memory_order_acquire)) {
        std::this_thread::yield();
    }
}

void Corvex::releaseDsp() { dspBusy.store(false, std::memory_order_release); }

// Host thread, or whichever thread sets "LowQ/HighQ". A rate that is not a
// positive finite number is refused: the effect keeps its rate and designs.
void Corvex::setSampleRate(float newSampleRate) {
    if (!(newSampleRate > 0.0f) || !std::isfinite(newSampleRate)) {
        return;
    }
    acquireDsp();
    AudioEffectX::setSampleRate(newSampleRate);
    designDsp();
    releaseDsp();
}

void Corvex::designDsp() {
    const OversamplingChoice choice = chooseOversampling(sampleRate, highQuality.load(kRelaxed));
    oversampling = choice.oversampling;
    oversampledPeriod = choice.oversampledPeriod;
    oversampledRate = choice.oversampledRate;

    // The stages keep their operating state; only the two rate terms move.
    refreshAmpSideStageRates(left, oversampledRate);
    refreshAmpSideStageRates(right, oversampledRate);
    // Tone stacks and biquads redesigned (histories cleared), half-band
    // coefficients reloaded (histories kept).
    designAmpSideFilters(left, oversampledRate);
    designAmpSideFilters(right, oversampledRate);
}

void Corvex::designTriodeStages() {
    acquireDsp();
    designAmpSideStages(left, AmpSideKind::left, oversampledRate);
    designAmpSideStages(right, AmpSideKind::right, oversampledRate);
    releaseDsp();
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
    s.oversampling = oversampling;
    s.oversampledRate = oversampledRate;
    s.oversampledPeriod = oversampledPeriod;
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
    if (!outLeft || !outRight || !inputsPresent || dspBusy.exchange(true, std::memory_order_acquire)) {
        // Missing channels, or a redesign in progress: silence on whatever
        // outputs exist, and the amp state untouched.
        for (float* out : {outLeft, outRight}) {
            if (out) {
                for (VstInt32 i = 0; i < sampleFrames; ++i) {
                    out[i] = 0.0f;
                }
            }
        }
        return;
    }
    ChainSettings settings = chainSettings();
    settings.stereo = isStereo ? 1 : 0;
    processChainBlock(left, right, settings, inputs[0], isStereo ? inputs[1] : nullptr, outLeft, outRight,
                      sampleFrames);
    releaseDsp();
}
