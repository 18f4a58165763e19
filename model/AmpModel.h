// AmpModel: the one owner of the amp model's state. Both audio sides' chain
// records, the oversampling the host rate and the quality switch chose, and
// the guard that keeps a redesign and an audio block apart.
//
// Lifecycle: clear() once, before anything else; design() whenever the rate
// or the quality switch changes; designStages() once after the first design
// (the triode stages' operating points depend on the oversampled rate); then
// process() per block. A redesign after that keeps the stages' running state
// and moves only their two rate terms.
#pragma once

#include <atomic>

#include "model/SignalChain.h"

class AmpModel {
public:
    AmpModel() = default;
    // Copies the records and the design; the copy is not in use. Only while
    // neither is shared with another thread (tests, tools).
    AmpModel(const AmpModel& other);
    AmpModel& operator=(const AmpModel& other);

    // Any thread, while the model is not yet shared: every coefficient and
    // history 0, 4x oversampling at an unknown rate.
    void clear();

    // Any thread but the audio thread. Waits for the block in progress, then
    // chooses the oversampling for `sampleRate` and `highQuality`, moves the
    // stages' rate terms, redesigns the tone stacks and fixed filters
    // (histories cleared) and reloads the half-band coefficients (histories
    // kept). The caller has checked that the rate is positive and finite.
    void design(float sampleRate, int highQuality);

    // Any thread but the audio thread. Waits for the block in progress, then
    // designs the six triode stages of each side at the oversampled rate.
    void designStages();

    // Audio thread. One block through both sides with the settings given
    // (their oversampling fields are filled in here); allocates nothing and
    // never waits. False, with the records untouched and the outputs not
    // written, when a redesign holds the model: the caller outputs silence.
    bool process(ChainSettings settings, const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                 int frames);

    // A design prepared away from the model (AmpModel::prepare), ready to
    // be copied into the running chain by adopt().
    struct Design {
        int oversampling = 4;
        double rate = 0.0;
        double period = 0.0;
        AmpSide left{};
        AmpSide right{};
    };
    // Any thread, on records nobody else uses: designs `design` for
    // `sampleRate` and `highQuality`, the stages' rate terms computed from
    // `stageTemplate`'s sides (any model whose stages were designed once;
    // only their component values are read). The running model is not
    // touched.
    static void prepare(Design& design, const AmpModel& stageTemplate, float sampleRate, int highQuality);
    // The caller holds the model (hold/tryHold), or it is not shared. Takes
    // the prepared design: the oversampling, the stages' two rate terms
    // (their running state kept), the tone stacks and fixed filters whole
    // (histories cleared as a design clears them), the half-band
    // coefficients (histories kept). Copies only: no design is computed.
    void adopt(const Design& design);
    // Process, without the hold: for a caller that already holds it.
    void processHeld(ChainSettings settings, const float* inLeft, const float* inRight, float* outLeft,
                     float* outRight, int frames);
    // The guard, for an owner that batches several changes under one hold.
    void hold() { acquire(); }     // any thread but the audio thread: waits
    bool tryHold() { return tryAcquire(); }  // audio thread: never waits
    void releaseHold() { release(); }

    // Copies the oversampling the last design chose into `settings`.
    void applyRates(ChainSettings& settings) const;

    int oversampling() const { return oversamplingFactor; }
    double oversampledRate() const { return rate; }
    double oversampledPeriod() const { return period; }
    // True while a redesign or a block holds the model.
    bool busy() const { return held.load(std::memory_order_relaxed); }

    // The chain records. Read or change them only while the model is not
    // shared, or from inside a hold (tests set up states through them).
    AmpSide left{};
    AmpSide right{};

    // Tests: hold the model as a redesign on another thread would.
    void holdForTest() { acquire(); }
    void releaseForTest() { release(); }

private:
    void acquire();  // waits for the hold in progress, if any
    bool tryAcquire();
    void release();

    int oversamplingFactor = 4;  // 2, 4 or 8
    double rate = 0.0;           // host rate * oversampling
    double period = 0.0;         // 1 / rate
    // Written by blocks only (a copy starts without it).
    InjectedSineTable sines;

    // Held by whoever is using the records: the audio thread for a block, a
    // redesign for its duration. The audio thread only ever tries it.
    std::atomic<bool> held{false};
};

static_assert(std::atomic<bool>::is_always_lock_free, "the amp model's guard must be lock-free");

// The settings of program 0's defaults: every knob at 0.5, channel 0, no
// boost, mono; the oversampling fields from `model`.
ChainSettings defaultChainSettings(const AmpModel& model);
