// The amp model side of Corvex: sample-rate dependent design and the audio
// block. Until the circuit model is wired in, the oversampling choice is made
// here and a block produces silence.
#include <algorithm>

#include "model/Corvex.h"

void Corvex::clearDspState() {
    oversampling = 4;
    oversampledPeriod = 0.0;
    oversampledRate = 0.0;
}

void Corvex::setSampleRate(float newSampleRate) {
    AudioEffectX::setSampleRate(newSampleRate);
    designDsp();
}

void Corvex::designDsp() {
    // 4x below 50 kHz, 2x from there up; "LowQ/HighQ" doubles it.
    oversampling = 2;
    if (sampleRate < 50000.0f)
        oversampling = 4;
    if (highQuality.load(std::memory_order_relaxed) > 0)
        oversampling *= 2;
    oversampledPeriod = 1.0 / (static_cast<double>(sampleRate) * oversampling);
    oversampledRate = 1.0 / oversampledPeriod;
}

void Corvex::designTriodeStages() {}

void Corvex::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    (void)inputs;
    if (sampleFrames <= 0 || !outputs)
        return;
    for (int side = 0; side < 2; ++side) {
        if (float* out = outputs[side])
            std::fill(out, out + sampleFrames, 0.0f);
    }
}
