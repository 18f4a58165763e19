// RigEngine: a finished guitar tone without any plug-in format. A noise gate
// keyed from the guitar's DI, the amp head (AmpEngine: its thirteen
// parameters, channel memory and sound), a speaker cabinet (one of the
// bundled responses or the user's impulse) with its trim, and a master level;
// input and output peak meters; ten programs holding all of it; a saved state
// that carries the user's impulse itself, so a session opens with the same
// cabinet after the file moved or was deleted.
//
// Parameters 0..12 are the head's, with the same indexes, values and
// meanings; the rig's own follow (RigParameter).
//
// Threads, as AmpEngine names them:
//   audio    process(), applyEvent(), endBlock(); flush() when no audio runs.
//            Never waits, allocates, designs or logs.
//   control  every other call: post(), postProgram(), the readers,
//            setSampleRate() (only while no process() runs: a host's
//            activation), loadImpulse*(), loadState(), saveState(),
//            collect(). The impulse calls and the state calls may run on a
//            worker thread while the audio thread processes; calls of this
//            group are serialised by the engine itself.
//
// With the gate off, the cabinet off and the master at 0 dB the output is
// the head's, bit for bit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cabinet/ImpulseResponse.h"
#include "model/AmpEngine.h"
#include "rig/NoiseGate.h"

namespace cabinet {
class ZeroLatencyConvolver;
}

namespace corvex {

enum RigParameter : int {
    kGateThreshold = AmpEngine::kParameterCount,  // 0: off; else -90..-10 dB
    kGateRelease,                                 // 5 ms .. 2 s
    kCabinetOn,                                   // switch
    kCabinetModel,                                // the bundled responses, then "User"
    kCabinetTrim,                                 // -24..+12 dB
    kMaster,                                      // -24..+12 dB
    kRigParameterCount
};

class RigEngine {
public:
    static constexpr int kParameterCount = kRigParameterCount;
    static constexpr int kRigOwnParameters = kRigParameterCount - AmpEngine::kParameterCount;
    static constexpr int kProgramCount = AmpEngine::kProgramCount;
    static constexpr int kBundledCabinets = 5;
    static constexpr int kCabinetChoices = kBundledCabinets + 1;  // the last: the user's impulse
    static constexpr int kUserCabinet = kBundledCabinets;
    // The longest impulse taken, in seconds at its own rate.
    static constexpr double kMaxImpulseSeconds = 4.0;
    // Frames of the crossfade when the cabinet changes.
    static constexpr int kCrossfadeFrames = 1024;

    // ---- identity and parameter facts (any thread) ----
    static const char* effectName();  // "Corvex Rig"
    static const char* vendorName();
    static const char* versionText();
    static bool isParameter(int index) { return index >= 0 && index < kParameterCount; }
    static const char* parameterName(int index);  // null for an unknown index
    static float defaultValue(int index);
    // 0 for continuous parameters, else the number of steps (choices - 1).
    static int stepCount(int index);
    // The value as a host shows it, with its unit ("-40.0 dB", "Off",
    // "4x12 Closed"); the head's parameters as the head shows them.
    static bool displayText(int index, float value, char* text, std::size_t capacity);
    static bool textToValue(int index, const char* text, double& value);
    static const char* cabinetName(int model);  // null outside 0..kCabinetChoices-1
    // Value <-> meaning of the rig's own parameters.
    static int cabinetModelOf(float value);
    static float valueOfCabinetModel(int model);
    static double levelDbOf(float value);  // trim and master
    static double thresholdDbOf(float value);
    static double releaseMsOf(float value);

    // ---- life ----
    RigEngine();  // 44100 Hz, the factory bank, program 0
    ~RigEngine();
    RigEngine(const RigEngine&) = delete;
    RigEngine& operator=(const RigEngine&) = delete;

    // Control thread, no process() running. Designs the amp and prepares
    // every cabinet (the user's impulse resampled) for `rate`. False, with
    // nothing changed, for a rate the amp cannot take.
    bool setSampleRate(double rate);
    double sampleRate() const { return head.sampleRate(); }
    // The delay the rig adds, in frames: none, at any block size.
    int latency() const { return 0; }

    // ---- audio thread ----
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames);
    bool applyEvent(int index, double value);
    void endBlock() { head.endBlock(); }
    void flush();

    // ---- control threads ----
    bool post(int index, double value);
    bool postProgram(int program);
    float value(int index) const;
    int currentProgram() const { return head.currentProgram(); }
    bool programName(int index, char* text, std::size_t capacity) const {
        return head.programName(index, text, capacity);
    }
    // Replaces the current program with factory program `factory` (0..9):
    // its amp settings and name and its gate, cabinet, trim and master, as a
    // preset browser's load does; the other programs and the user's impulse
    // stay. Takes effect at the next block or flush. False, nothing changed,
    // for an index outside the bank.
    bool loadFactoryProgram(int factory);
    // The meters: the highest absolute sample since the last read (0..),
    // one reader each.
    float takeInputPeak() { return inputPeak.exchange(0.0f, std::memory_order_acq_rel); }
    float takeOutputPeak() { return outputPeak.exchange(0.0f, std::memory_order_acq_rel); }
    bool gateClosed() const { return gateIsClosed.load(std::memory_order_relaxed); }

    // Reads, checks and prepares the user's impulse, then hands it to the
    // audio thread, which crossfades to it when the cabinet plays it. On any
    // fault: false, a one-line reason in `error`, the cabinet in use kept.
    bool loadImpulseFile(const std::string& path, std::string& error);
    bool loadImpulseData(const void* data, std::size_t size, const std::string& name, std::string& error);
    // Any thread: whether loadImpulseFile would take the file at `path`
    // (read and checked, nothing kept), with the same one-line reason.
    static bool checkImpulseFile(const std::string& path, std::string& error);
    // The user's impulse's file name (no folder); empty when none.
    std::string impulseName() const;
    bool hasImpulse() const;
    // The last refusal of an impulse (for the editor), empty when none.
    std::string lastImpulseError() const;

    // The state: the head's state, the rig's values of every program, and the
    // user's impulse (its name and samples at its own rate).
    std::vector<unsigned char> saveState() const;
    // A state that fails any check changes nothing (false). An accepted one
    // takes effect at the next block or flush.
    bool loadState(const void* data, std::size_t size);

    // Frees cabinets the audio thread has let go of. Any control thread, now
    // and then (every impulse or state load does it too).
    void collect();
    // Whether collect() has something to free (any thread, lock-free).
    bool hasRetired() const { return retired.load(std::memory_order_acquire) != nullptr; }

    // The amp inside (tests compare it with a head).
    AmpEngine& amp() { return head; }

private:
    using Convolver = cabinet::ZeroLatencyConvolver;
    struct UserImpulse {
        std::string name;
        cabinet::ImpulseResponse response;  // at its own rate
    };
    struct RigValues {
        float gateThreshold, gateRelease, cabinetOn, cabinetModel, cabinetTrim, master;
    };

    bool prepare(const cabinet::ImpulseResponse& ir, std::unique_ptr<Convolver>& out, std::string& error) const;
    bool adoptImpulse(UserImpulse impulse, std::string& error);  // control lock held
    void storeRig(int index, float value);                        // audio or flushing thread
    void applyPending(bool withState);                            // audio or flushing thread
    void updateDsp();                                             // audio thread
    void runCabinet(float* left, float* right, int frames);       // audio thread
    Convolver* wantedCabinet() const;                             // audio thread (null: dry)
    static float gainOf(double db);

    AmpEngine head;

    // Rig values: current ones, and every program's (written through).
    std::atomic<float> rigValue[kRigOwnParameters];
    std::atomic<float> programValue[kProgramCount][kRigOwnParameters];
    std::atomic<int> pendingProgram{-1};
    std::atomic<bool> pendingState{false};
    std::atomic<uint64_t> postedMask{0};
    std::atomic<float> postedValue[kRigOwnParameters];

    // Cabinets. The bundled ones are prepared at setSampleRate; the user's
    // reaches the audio thread through `incoming` and leaves it through
    // `retired` (each a one-slot mailbox).
    std::unique_ptr<Convolver> bundled[kBundledCabinets];
    std::atomic<Convolver*> incoming{nullptr};
    std::atomic<Convolver*> retired{nullptr};
    Convolver* userCabinet = nullptr;  // audio thread's (owned)
    Convolver* leaving = nullptr;      // a replaced user cabinet, fading out (owned)

    // Audio thread's.
    Convolver* playing = nullptr;  // null: dry
    Convolver* fadingTo = nullptr;
    bool fading = false;
    bool fresh = true;  // no block since the rate was set
    int fadePosition = 0;
    NoiseGate gate;
    float trimGain = 1.0f, trimTarget = 1.0f;
    float masterGain = 1.0f, masterTarget = 1.0f;
    float smoothing = 0.001f;
    bool gateOn = false;
    float designed[4] = {-1.0f, -1.0f, -1.0f, -1.0f};  // threshold, release, trim, master as last designed
    double designedRate = 0.0;
    float scratch[2][256];
    float dry[2][256];

    std::atomic<float> inputPeak{0.0f};
    std::atomic<float> outputPeak{0.0f};
    std::atomic<bool> gateIsClosed{false};

    // Control side.
    mutable std::mutex control;
    UserImpulse user;
    bool hasUser = false;
    std::string impulseError;
};

}  // namespace corvex
