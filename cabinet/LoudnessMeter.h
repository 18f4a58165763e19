// What the hosts say about their output: integrated loudness (EBU R 128,
// through libebur128), the true peak (four times oversampled) and the
// largest sample. Main thread, or a render loop: adding frames may allocate
// inside libebur128, so a real-time host feeds it from a copy.
#pragma once

#include <cstdint>
#include <string>

namespace cabinet {

class LoudnessMeter {
public:
    LoudnessMeter() = default;
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Starts measuring two channels at `rate`; forgets anything before.
    bool start(double rate);
    void add(const float* left, const float* right, int frames);

    double samplePeak() const { return peak; }  // linear, both channels
    double truePeak() const;                    // linear; the sample peak if unknown
    double integratedLufs() const;              // -inf for silence or under 0.4 s
    int64_t frames() const { return count; }

private:
    void* state = nullptr;  // libebur128's state (an unnamed struct it cannot be declared by)
    double peak = 0.0;
    int64_t count = 0;
    float scratch[2 * 256];
};

// "-1.23 dBFS" / "-inf dBFS" from a linear level.
std::string dbfsText(double linear);

// The loudness lines of a summary ("Loudness: ...", "True peak: ..."), and a
// warning line when the output went above 0 dBFS (empty otherwise).
std::string loudnessSummary(const LoudnessMeter& meter);
std::string clippingWarning(const LoudnessMeter& meter);

}  // namespace cabinet
