// A minimal host for the reliability tests: it loads Corvex through the same
// entry the plug-in exports, talks to it only through the AEffect record,
// and counts the callbacks it receives.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "shell/AudioEffect.h"
#include "shell/PluginEntry.h"
#include "shell/vst2.h"
#include "tests/support/QuietHost.h"

namespace reliability {

// Host callbacks seen since start-up, any thread.
inline std::atomic<long>& hostCallCount() {
    return quietHostCalls();
}

// Answers the version query with 2400 (a VST 2.4 host) and 0 to everything
// else, as a host that offers nothing.
constexpr audioMasterCallback testHostCallback = &quietHost;

// One plug-in instance as a host holds it. Closes it on destruction unless
// the test closed it already.
class Instance {
public:
    Instance() : effect(pluginMain(testHostCallback)) {}
    ~Instance() { close(); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool valid() const { return effect != nullptr; }
    AEffect* record() const { return effect; }
    // The instance behind the record, for the few checks the interface cannot make.
    AudioEffect* object() const { return static_cast<AudioEffect*>(effect->object); }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void set(VstInt32 index, float value) { effect->setParameter(effect, index, value); }
    float get(VstInt32 index) { return effect->getParameter(effect, index); }
    void setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, VstInt32 frames) {
        float* inputs[2] = {const_cast<float*>(inLeft), const_cast<float*>(inRight)};
        float* outputs[2] = {outLeft, outRight};
        effect->processReplacing(effect, inputs, outputs, frames);
    }

    // effClose through the dispatcher slot; the record is gone afterwards.
    void close() {
        if (effect) {
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
            effect = nullptr;
        }
    }

private:
    AEffect* effect;
};

// Parameter indexes, as the host sees them.
enum Param : VstInt32 {
    kInput = 0,
    kChannel = 1,
    kDrive = 2,
    kMixPls = 3,
    kLow = 4,
    kMid = 5,
    kHigh = 6,
    kContour = 7,
    kPowerAmp = 8,
    kVolume = 9,
    kMonoStereo = 10,
    kQuality = 11,
    kBoost = 12,
    kNumParams = 13
};

// A stereo block: two inputs, two outputs.
struct Block {
    explicit Block(int frames) : inLeft(frames), inRight(frames), outLeft(frames), outRight(frames) {}
    int frames() const { return static_cast<int>(inLeft.size()); }
    void runThrough(Instance& instance) {
        instance.process(inLeft.data(), inRight.data(), outLeft.data(), outRight.data(), frames());
    }
    // Uniform noise of the given peak on both inputs (different per side).
    void fillNoise(std::mt19937& rng, float peak) {
        std::uniform_real_distribution<float> d(-peak, peak);
        for (int i = 0; i < frames(); ++i) {
            inLeft[i] = d(rng);
            inRight[i] = d(rng);
        }
    }
    void fillSine(double frequency, double sampleRate, float amplitude, long startFrame = 0) {
        for (int i = 0; i < frames(); ++i) {
            const double phase = 6.283185307179586 * frequency * static_cast<double>(startFrame + i) / sampleRate;
            inLeft[i] = amplitude * static_cast<float>(std::sin(phase));
            inRight[i] = amplitude * static_cast<float>(std::cos(phase));
        }
    }
    void silence() {
        std::fill(inLeft.begin(), inLeft.end(), 0.0f);
        std::fill(inRight.begin(), inRight.end(), 0.0f);
    }
    bool outputFinite() const {
        for (int i = 0; i < frames(); ++i)
            if (!std::isfinite(outLeft[i]) || !std::isfinite(outRight[i]))
                return false;
        return true;
    }
    float outputPeak() const {
        float peak = 0.0f;
        for (int i = 0; i < frames(); ++i)
            peak = std::max(peak, std::max(std::fabs(outLeft[i]), std::fabs(outRight[i])));
        return peak;
    }
    double outputRms() const {
        double sum = 0.0;
        for (int i = 0; i < frames(); ++i)
            sum += double(outLeft[i]) * outLeft[i] + double(outRight[i]) * outRight[i];
        return std::sqrt(sum / (2.0 * frames()));
    }
    bool outputAllZero() const {
        for (int i = 0; i < frames(); ++i)
            if (outLeft[i] != 0.0f || outRight[i] != 0.0f)
                return false;
        return true;
    }

    std::vector<float> inLeft, inRight, outLeft, outRight;
};

// Bit-exact equality, NaN payloads included.
inline bool sameBits(float a, float b) {
    uint32_t x, y;
    std::memcpy(&x, &a, 4);
    std::memcpy(&y, &b, 4);
    return x == y;
}

}  // namespace reliability
