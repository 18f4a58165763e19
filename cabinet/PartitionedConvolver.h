// A uniformly partitioned FFT convolver over FFTW (single precision), for
// the builds where zita-convolver is not available (Windows).
//
// The response is cut into partitions of `quantum` taps; each cycle takes
// `quantum` new input frames per channel (written to inpdata()) and gives,
// in outdata(), the convolution's output for those same frames: no latency
// beyond the cycle itself, the contract the rig's zero-latency convolver
// builds on. Work runs in the caller's thread; nothing waits.
//
// Threads: configure() allocates and plans FFTs (any thread but the audio
// thread; planning is serialised inside, FFTW's planner not being
// reentrant). inpdata(), outdata(), process() and reset() are the audio
// thread's: they allocate, lock and log nothing.
#pragma once

#include <cstddef>
#include <vector>

namespace cabinet {

class PartitionedConvolver {
public:
    PartitionedConvolver();
    ~PartitionedConvolver();
    PartitionedConvolver(const PartitionedConvolver&) = delete;
    PartitionedConvolver& operator=(const PartitionedConvolver&) = delete;

    // Two channels, each convolved with its own response (`taps` taps of
    // `left` and `right`), in cycles of `quantum` frames (a power of two,
    // 16 to 16384). False, with nothing allocated, when the shape is not usable.
    bool configure(const float* left, const float* right, long taps, int quantum);

    float* inpdata(int channel) { return input[channel]; }
    const float* outdata(int channel) const { return output[channel]; }
    // Convolves the cycle's inputs into outdata().
    void process();
    // Forgets every past input.
    void reset();

private:
    void release();

    int quantum = 0;
    int partitions = 0;
    int slot = 0;                 // where the newest input spectrum goes in the delay line
    void* forward = nullptr;      // r2c plan, 2 * quantum points
    void* inverse = nullptr;      // c2r plan
    float* time = nullptr;        // 2 * quantum: the last two cycles of input, then the inverse's output
    float* spectrumSum = nullptr; // (quantum + 1) complex
    float* input[2] = {nullptr, nullptr};   // quantum each
    float* output[2] = {nullptr, nullptr};  // quantum each
    float* history[2] = {nullptr, nullptr}; // the previous cycle's input, quantum each
    // Per channel: the responses' spectra, partitions * (quantum + 1)
    // complex, pre-scaled by 1 / (2 * quantum); and the delay line of input
    // spectra, the same size.
    float* responseSpectra[2] = {nullptr, nullptr};
    float* inputSpectra[2] = {nullptr, nullptr};
};

}  // namespace cabinet
