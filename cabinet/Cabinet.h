// The speaker cabinet: the amp's stereo output convolved with an impulse
// response through zita-convolver's partitioned convolver, and a level trim.
//
// The convolver works in cycles of `quantum` frames (a power of two). Two
// ways of feeding it:
//   - aligned: every call brings exactly `quantum` frames (a JACK client whose
//     period is a power of two). No added latency.
//   - buffered: calls of any length; a FIFO of one quantum sits in between,
//     so the output is `latency()` frames late (render hosts drop those).
// In real-time use the later partitions of a long response run on the
// convolver's own worker threads, and a late worker is skipped for that cycle
// (the callback never waits). In offline use all partitions have the cycle's
// size and run in the caller's thread, so a render is the same on every run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cabinet/ImpulseResponse.h"

class Convproc;

namespace cabinet {

class Cabinet {
public:
    enum class Feed { aligned, buffered };
    enum class Timing { realTime, offline };

    Cabinet();
    ~Cabinet();
    Cabinet(const Cabinet&) = delete;
    Cabinet& operator=(const Cabinet&) = delete;

    // Builds the convolver for `ir` (already at the session rate). A mono
    // response feeds both sides from its one channel; a stereo one gives each
    // side its own. `quantum` must be a power of two from 64 to 8192. Workers
    // of real-time timing ask for SCHED_FIFO at `priority` (when above 0) and
    // fall back to ordinary scheduling without the right to it. Main thread; stops a
    // running convolver first.
    bool configure(const ImpulseResponse& ir, int quantum, Feed feed, Timing timing, int priority, std::string& error);

    // Level trim in dB applied to the convolved signal (from -60 to +24).
    // Main thread, while not processing.
    void setTrimDb(double db);
    double trimDb() const { return trim; }

    // Convolves two channels in place. `frames` must equal quantum() in
    // aligned feed. Audio thread: allocates, locks and logs nothing.
    void process(float* left, float* right, int frames);

    bool ready() const { return convolver != nullptr; }
    int quantum() const { return cycle; }
    int latency() const { return feed == Feed::buffered ? cycle : 0; }
    // Cycles in which a worker was late and its share skipped (real-time timing).
    long lateCycles() const { return late; }

private:
    void runCycle();
    void release();

    std::unique_ptr<Convproc> convolver;
    std::vector<float> held[2];  // the last cycle's output (buffered feed)
    Feed feed = Feed::aligned;
    Timing timing = Timing::offline;
    int cycle = 0;
    int fill = 0;  // frames in the FIFO (buffered feed)
    float gain = 1.0f;
    double trim = 0.0;
    long late = 0;
};

// Whether n is a power of two the convolver takes as its cycle (64 to 8192:
// below 64 its first partition would run a cycle behind).
bool isUsableQuantum(int n);

}  // namespace cabinet
