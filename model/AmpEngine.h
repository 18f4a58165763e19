// AmpEngine: the whole amp head without any plug-in format. The thirteen
// parameters by index, the memory of the two preamp channels, the ten
// programs and the current one, the saved state, the displays and the text
// a host may type back, the identity strings, and the amp's DSP behind one
// process call. Every plug-in format (VST 2.4, CLAP, LV2, VST3) is a thin
// adapter over one engine per instance.
//
// Threads. The engine knows three kinds of caller:
//
//   audio   the thread that runs process(). Also applyEvent() between two
//           process() calls of the same host block (sample-accurate host
//           events) and endBlock() after the last. Never waits, never
//           allocates, never designs a filter. flush() does the same work
//           without audio, on whichever thread the host then designates
//           (it waits for a block in progress, should there be one).
//   control any other thread of the host (main thread, UI thread, a host's
//           worker): post(), postProgram(), loadState(), saveState(),
//           setSampleRate() and every reader. post() and postProgram() are
//           lock-free and may be called from several threads at once.
//   direct  the VST 2.4 face's single writer (see model/Corvex.h): the
//           setSampleRateAsGiven(), setParameter(), selectProgram(),
//           renameProgram() and chunk calls under "Direct face". They run on
//           the calling thread; their callers promise that no two of them
//           run at the same time. A format uses either these or the queue.
//
// The rule kept by construction: during a block the audio thread is the
// only writer of what it reads. Changes from control threads reach it
// through a fixed-size lock-free queue (parameters, program selection) and
// a one-slot mailbox (a loaded state); process() applies them at the start
// of the next block, flush() when no audio runs. The filter designs for a
// sample rate are computed on the control thread that sets the rate, for
// both positions of "LowQ/HighQ" at once, so a quality switch anywhere only
// copies a prepared design into the running chain.
//
// Change notifications. A Listener hears every parameter value the engine
// stores, on the thread that stored it (the audio thread for events, queued
// changes and states applied in process(); the flushing thread; the direct
// caller). Besides that, takeChangedMask() collects the indexes changed
// since it was last read, and value() reads any of them, for adapters that
// poll (and tell their hosts of the values the engine changed itself).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "model/AmpModel.h"
#include "model/ParameterTable.h"
#include "model/Programs.h"

namespace corvex {

class AmpEngine {
public:
    static constexpr int kParameterCount = kNumParameters;
    static constexpr int kProgramCount = kNumCorvexPrograms;
    // The largest state saveState() writes; loadState() takes older layouts
    // of other sizes too.
    static constexpr std::size_t kStateSize = 24 + kBankChunkSize;  // model/AmpState.h
    // Lowest and highest sample rate the amp is designed for.
    static constexpr double kMinSampleRate = 1000.0;
    static constexpr double kMaxSampleRate = 1536000.0;

    // Hears every value the engine stores (see "Change notifications").
    // Called on the thread that stores it; on the audio thread it must not
    // wait, allocate or call the host.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void parameterChanged(int index, float value) = 0;
    };

    // ---- identity (any thread) ----
    static const char* effectName();   // "Vantor_Corvex_Head_v1_0"
    static const char* vendorName();   // "Ardex Plugins"
    static int vendorVersion();        // 1000
    static const char* versionText();  // "1.0.0"

    // ---- parameter facts (any thread) ----
    static bool isParameter(int index) { return index >= 0 && index < kParameterCount; }
    // The table entry (name, default, unit, display, role); null for any
    // other index.
    static const ParameterInfo* info(int index);
    // 1 for the switches (Channel and the three on/off ones), 0 for knobs.
    static int stepCount(int index);
    // The display the VST 2.4 build shows for `value` ("0.500000", "-6.02060",
    // "-oo"), at most 8 characters, with " dB" after it when `withUnit` and
    // the parameter has a unit. False (text untouched) for an unknown index,
    // a null text or a capacity of 0; a short capacity cuts the text.
    static bool displayText(int index, float value, char* text, std::size_t capacity, bool withUnit);
    // Reads what displayText gives back, and plain numbers; decibels
    // ("-6.02", "-oo", with or without "dB") where the parameter displays
    // them. Independent of the C locale. The result is held to 0..1.
    static bool textToValue(int index, const char* text, double& value);
    // A host value on its way in: NaN refused (false), anything else held
    // to the declared 0..1.
    static bool holdToRange(double in, float& out);

    // ---- life ----
    // Any thread, before the engine is shared. The engine at 44100 Hz with
    // program 0 ("Init", every parameter at its default) applied and the
    // amp designed.
    AmpEngine();
    ~AmpEngine();
    AmpEngine(const AmpEngine&) = delete;
    AmpEngine& operator=(const AmpEngine&) = delete;

    // Control thread, one at a time. Designs the amp for `rate` (both
    // quality positions) and swaps the design in, waiting for the block in
    // progress. False, with nothing changed, for a rate outside
    // kMinSampleRate..kMaxSampleRate (NaN and infinities included).
    bool setSampleRate(double rate);
    double sampleRate() const { return rate.load(std::memory_order_relaxed); }
    int oversampling() const { return amp.oversampling(); }

    // Listener for every stored value (null: none). Set before the engine
    // is shared.
    void setListener(Listener* listener) { this->listener = listener; }

    // ---- audio thread ----
    // One block: applies what the control threads queued, then runs the
    // amp. `inR` may be null: the right side then takes the left input.
    // In-place buffers (out == in) are fine. Mono mode processes the left
    // input and writes the result to both outputs. frames <= 0 does
    // nothing; a null output gets nothing. A block that finds a direct
    // caller holding the amp (a quality switch or a rate change being
    // copied in) writes silence.
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames);
    // A host event between two process() calls: held to 0..1 (NaN and
    // unknown indexes refused, false), then stored exactly as setParameter
    // stores it; a quality switch takes effect from the next process().
    bool applyEvent(int index, double value);
    // After the last process() of a host block: applies what is queued and
    // publishes what applyEvent() stored after the last sample, for the
    // control threads' readers. Never waits.
    void endBlock();
    // Applies what the control threads queued without audio. Called by the
    // thread that would run process() while the host runs no audio (or
    // any thread: it waits for a block in progress).
    void flush();

    // ---- control threads ----
    // Queues a value for the next block or flush (held to 0..1; NaN and
    // unknown indexes refused). False as well when the queue is full.
    bool post(int index, double value);
    // Queues a program selection; false for an index outside 0..9.
    bool postProgram(int program);

    // The current value of a parameter as last stored; 0 for any other index.
    float value(int index) const;
    // The indexes (bit i for parameter i) changed since the last call;
    // one reader.
    uint32_t takeChangedMask() { return changed.exchange(0, std::memory_order_acq_rel); }
    // The current program, 0..9.
    int currentProgram() const { return publishedProgram.load(std::memory_order_acquire); }
    // Copies program `index`'s name (at most 24 characters) with a zero
    // after it, cut to `capacity`. False for an unknown index or no room.
    bool programName(int index, char* text, std::size_t capacity) const;

    // The state: the ten programs (both channels of each) and the current
    // program, in the engine's own versioned layout. Writes kStateSize bytes
    // and answers that size; 0 when `capacity` is too small.
    std::size_t saveState(unsigned char* out, std::size_t capacity) const;
    // Reads a state of this layout or of the layouts CLAP ("CRVXCLAP") and
    // LV2 ("CVXB") builds wrote before it. A blob that is short, long, of
    // another version, or holds a NaN, an infinity, a value outside 0..1 or
    // a program index outside 0..9 is refused (false) and changes nothing.
    // An accepted one takes effect at the next block or flush.
    bool loadState(const void* data, std::size_t size);
    // The same checks without taking the state (any thread).
    static bool isValidState(const void* data, std::size_t size);

    // ---- direct face (the VST 2.4 build's single writer) ----
    // The rate as a VST 2.4 host gives it: any positive finite rate is
    // designed for (absurd ones too, as that build always did); anything
    // else is ignored. Waits for the block in progress.
    void setSampleRateAsGiven(float rate);
    // Stores `value` exactly as given (no clamp), writes it through into the
    // current program, derives the channel and switch states; a Channel
    // change re-applies that channel's eight values first. A quality switch
    // copies the prepared design in, waiting for the block in progress.
    // Unknown indexes store nothing.
    void setParameter(int index, float value);
    // Makes `program` current and applies every one of its values through
    // setParameter. Indexes outside 0..9 are ignored.
    void selectProgram(int program);
    // At most 24 characters into the current program's name, the rest of
    // the field zero.
    void renameProgram(const char* name);
    // The program records in chunk layout (the VST 2.4 chunk points here).
    CorvexProgram* programRecords() { return programs; }
    const CorvexProgram* programRecords() const { return programs; }
    // Replaces the current program's record (208 bytes) or the whole bank
    // (2080 bytes), then re-applies the current program. False for any other
    // size or a null pointer, with nothing changed. Values are taken as
    // they are, as VST 2.4 hosts expect of a chunk.
    bool loadChunk(const void* data, std::size_t size, bool program);

    // ---- the engine's state, for the VST 2.4 face and the tests ----
    // Read from any thread through the atomics; written only as described
    // above.
    std::atomic<float> parameters[kParameterCount];
    std::atomic<int32_t> activeChannel{0};  // 0 or 1
    std::atomic<int32_t> stereo{0};         // 1 when "Mono/Stereo" >= 0.5
    std::atomic<int32_t> highQuality{0};    // 1 when "LowQ/HighQ" >= 0.5
    std::atomic<int32_t> boost{0};          // 1 when "TQZ Boost" >= 0.5
    std::atomic<double> driveGain{0.0};     // taper of "Drive"
    ChannelSettings channelSettings[2];     // the working copy of both channels
    CorvexProgram programs[kProgramCount];
    int programIndex = 0;  // the current program (the model's writer)
    AmpModel amp;

private:
    struct Impl;
    Impl* impl;  // queue, mailbox, prepared designs, published bank
    Listener* listener = nullptr;
    std::atomic<double> rate{44100.0};
    std::atomic<int> publishedProgram{0};
    std::atomic<uint32_t> changed{0};

    void store(int index, float value, bool mayWait);
    void select(int program, bool mayWait);
    void adoptDesign(int quality);  // caller holds the amp
    void drainQueued();             // caller holds the amp
    void publish();
    void noteChanged(int index, float value);
};

}  // namespace corvex
