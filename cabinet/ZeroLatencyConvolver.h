// A stereo convolver that adds no latency at any block size, for a plug-in
// whose host gives blocks of any length.
//
// The response is cut into three pieces that together give the full
// convolution, sample for sample:
//   - its first kDirectTaps taps, convolved directly, sample by sample;
//   - the taps from kDirectTaps to kLongPartition, through
//     PartitionedConvolver (FFTW underneath, on every platform) in cycles of
//     kDirectTaps frames behind a FIFO: that FIFO delays its output by
//     exactly kDirectTaps frames, which is where those taps start;
//   - the taps from kLongPartition on, the same way in cycles of
//     kLongPartition frames. While a long cycle fills, its sum over the
//     older partitions is done a share per block, so the block that
//     completes it carries less.
// A response of up to kShortOnly taps (the bundled cabinets) runs in short
// cycles only, with no long part: no block pays for a long cycle's
// transforms, and a few more short partitions' multiply-adds cost less
// than the long cycle's share.
// Both partitioned parts run in the caller's thread (no worker threads), so
// the output is the same on every run, and nothing in process() waits.
//
// One channel's work for two: with one response for both sides (a mono
// impulse) and the same samples on both inputs (an amp in mono), the right
// side's output is the left's. Once both inputs have been the same for
// longer than anything the convolver remembers, both sides' pasts are the
// same bits, and only the left side is computed, its output copied to the
// right; the first chunk whose inputs differ first copies the left side's
// past into the right's, so the output is the two-channel output, bit for
// bit, at every switch.
//
// Threads: configure() allocates and designs (any thread but the audio
// thread); process() and clear() are the audio thread's (they allocate,
// lock and log nothing).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cabinet/ImpulseResponse.h"

namespace cabinet {

class ZeroLatencyConvolver {
public:
    static constexpr int kDirectTaps = 64;
    static constexpr int kLongPartition = 1024;
    static constexpr int kShortOnly = 2048;

    ZeroLatencyConvolver();
    ~ZeroLatencyConvolver();
    ZeroLatencyConvolver(const ZeroLatencyConvolver&) = delete;
    ZeroLatencyConvolver& operator=(const ZeroLatencyConvolver&) = delete;

    // Builds the convolver for `ir` (already at the session rate; mono feeds
    // both sides from its one channel). Not the audio thread.
    bool configure(const ImpulseResponse& ir, std::string& error);

    // Convolves `frames` frames; in place (out == in) is fine. Audio thread.
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames);
    // Forgets every past input, as if silence had played for ever. Audio thread.
    void clear();

    long length() const { return taps; }
    // True while only one side is computed (see above); for tests.
    bool sharingOneSide() const { return mirrored; }

private:
    static constexpr int kChunk = 256;  // frames per pass
    struct Stage;                        // one partitioned part: its convolver and FIFO
    bool buildStage(std::unique_ptr<Stage>& stage, const ImpulseResponse& ir, long from, long to, int quantum,
                    std::string& error);
    static void runStage(Stage& stage, const float* const* in, float* const* out, int frames, int channels);
    void copyLeftToRight();

    // The direct part's loop, the widest the processor runs (chosen in
    // configure, never on the audio thread).
    using DirectTaps = void (*)(const float* h, int taps, const float* x, float* y, int n);
    static DirectTaps widestDirectTaps();
    DirectTaps directTaps = nullptr;

    long taps = 0;
    std::vector<float> head[2];  // the first kDirectTaps taps (zeros past the response's end)
    // The last kDirectTaps - 1 inputs, then the chunk being worked on.
    std::vector<float> work[2];
    std::vector<float> sum[2];  // the chunk's output
    std::unique_ptr<Stage> shortStage;
    std::unique_ptr<Stage> longStage;

    bool sameResponse = false;  // one response for both sides
    bool mirrored = false;      // the right side's past is the left's (only the left is computed)
    long sameRun = 0;           // frames since the two inputs last differed (held at `settle`)
    long settle = 0;            // frames after which every past the convolver keeps is the same on both sides
};

}  // namespace cabinet
