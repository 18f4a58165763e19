// A uniformly partitioned FFT convolver over FFTW (single precision): the
// rig's zero-latency convolver's partitioned parts, on every platform.
//
// The response is cut into partitions of `quantum` taps; each cycle takes
// `quantum` new input frames per channel (written to inpdata()) and gives,
// in outdata(), the convolution's output for those same frames: no latency
// beyond the cycle itself, the contract the rig's zero-latency convolver
// builds on. Work runs in the caller's thread; nothing waits.
//
// Spectra are kept split (real parts, then imaginary parts), so the
// multiply-add over partitions runs lane by lane; each bin sums its
// partitions in order, the same way wherever the bin falls in a share of
// the work, so the samples do not depend on the block size. The widest
// path the processor has is chosen once (the AVX2 and AVX-512 ones with
// fused multiply-adds): every plug-in format on one machine runs the same one.
//
// Threads: configure() allocates and plans FFTs (any thread but the audio
// thread; planning is serialised inside, FFTW's planner not being
// reentrant). inpdata(), outdata(), process(), reset() and
// copyLeftToRight() are the audio thread's: they allocate, lock and log
// nothing.
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

    float* inpdata(int channel) { return frame[channel] == nullptr ? nullptr : frame[channel] + quantum; }
    const float* outdata(int channel) const { return result[channel] == nullptr ? nullptr : result[channel] + quantum; }
    // Optional, between cycles: `filled` frames of the cycle's inputs are
    // in; does that share of the cycle's work on the older partitions (which
    // need no new input), so the block that completes a cycle carries less
    // of it. The samples do not depend on whether or how often it is called.
    void advance(int filled, int channels = 2);
    // Convolves the cycle's inputs into outdata(), which holds them until
    // the next process() (advance() leaves it alone). With `channels` 1 only
    // the left channel runs: the right one's past is then stale until
    // copyLeftToRight() (for a caller that knows both are the same).
    void process(int channels = 2);
    // Forgets every past input.
    void reset();
    // The right channel's past inputs (and its last output) become the
    // left's, as if the right had been fed the left's inputs all along.
    void copyLeftToRight();
    int partitionCount() const { return partitions; }

    // Multiply-add of the partitions' spectra over `count` bins (a multiple
    // of 16): yr += hr*xr - hi*xi, yi += hr*xi + hi*xr, summed over
    // `parts` partitions (response p with input line entry at(p)).
    using SpectrumSum = void (*)(const float* const* h, const float* const* x, int parts, std::size_t count,
                                 std::size_t half, float* yr, float* yi);

private:
    void release();
    // The half-size complex transform, `quantum` points, forward or backward.
    void transform(const float* in, float* out, bool backward) const;
    void split(float* spectrum) const;
    void join(int channel);
    void pointTo(int channel, std::size_t offset);
    void sumOlder(int channel, std::size_t from, std::size_t to);

    int quantum = 0;
    int partitions = 0;
    int slot = 0;                 // where the newest input spectrum goes in the delay line
    std::size_t half = 0;         // floats from a spectrum's real parts to its imaginary parts
    void* forward = nullptr;      // r2c plan, 2 * quantum points
    void* inverse = nullptr;      // c2r plan
    float* sum = nullptr;         // 2 * half: the summed spectrum (real, then imaginary)
    float* packed = nullptr;      // 2 * quantum: the half-size complex transform's bins (interleaved)
    float* twiddle = nullptr;     // 2 * quantum: cos and sin of pi k / quantum
    float* fftTables = nullptr;   // our own 64-point transform's, when it runs (else FFTW's)
    // Per channel: the older partitions' (all but the newest) sum for the
    // next cycle, 2 * half, done for its first olderDone bins.
    float* older[2] = {nullptr, nullptr};
    std::size_t olderDone = 0;
    // Per channel: the last cycle's input then this one's (2 * quantum; the
    // second half is inpdata()); the inverse transform's output (2 * quantum;
    // the second half is outdata()).
    float* frame[2] = {nullptr, nullptr};
    float* result[2] = {nullptr, nullptr};
    // Per channel: the responses' spectra, partitions * 2 * half, pre-scaled
    // by 1 / (2 * quantum); and the delay line of input spectra, the same size.
    float* responseSpectra[2] = {nullptr, nullptr};
    float* inputSpectra[2] = {nullptr, nullptr};
    // Per partition, where its response and its input are this cycle (audio thread's scratch).
    std::vector<const float*> responseAt, inputAt;
    SpectrumSum spectrumSum = nullptr;
    bool wideTwiddles = false;  // split() and join() sixteen bins at a time (the same bits)
};

}  // namespace cabinet
