// The amp model side of Corvex: the sample rate and the audio block, both
// handed to the engine.
#include <cmath>

#include "model/Corvex.h"

// Host thread. A rate that is not a positive finite number is refused: the
// effect keeps its rate and designs. Waits for the audio block in progress.
void Corvex::setSampleRate(float newSampleRate) {
    if (!(newSampleRate > 0.0f) || !std::isfinite(newSampleRate)) {
        return;
    }
    AudioEffectX::setSampleRate(newSampleRate);
    engine.setSampleRateAsGiven(newSampleRate);
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
    const bool isStereo = stereo.load(std::memory_order_relaxed) != 0;
    const bool inputsPresent = inputs && inputs[0] && (!isStereo || inputs[1]);
    // Missing channels: silence on whatever outputs exist (the engine
    // writes it), and the amp state untouched.
    engine.process(inputsPresent ? inputs[0] : nullptr, inputsPresent ? inputs[1] : nullptr, outLeft, outRight,
                   sampleFrames);
}
