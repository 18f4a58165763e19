#include "rig/RigEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define CORVEX_RIG_HAS_MXCSR 1
#endif
#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define CORVEX_RIG_SSE2 1
#endif

#include "cabinet/ZeroLatencyConvolver.h"
#include "rig/BundledCabinets.h"
#include "rig/RigPrograms.h"

namespace corvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kChunk = 256;  // frames per pass through the cabinet's scratch

const char kEffectName[] = "Corvex Rig";

struct RigParameterFacts {
    const char* name;
    float defaultValue;
    int steps;
};

// Index = parameter - AmpEngine::kParameterCount.
constexpr RigParameterFacts kRigFacts[RigEngine::kRigOwnParameters] = {
    {"Gate Threshold", 0.0f, 0},
    {"Gate Release", 0.5f, 0},
    {"Cabinet", 1.0f, 1},
    {"Cabinet Model", 0.0f, RigEngine::kCabinetChoices - 1},
    {"Cabinet Trim", 2.0f / 3.0f, 0},
    {"Master", 2.0f / 3.0f, 0},
};

int own(int index) {
    return index - AmpEngine::kParameterCount;
}

bool finiteUnit(float v) {
    return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

// Reads a number the classic way, whatever the C locale; trailing text
// (a unit) is allowed.
bool readNumber(const char* text, double& out) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> out;
    return !in.fail() && std::isfinite(out);
}

// The state's layout, little-endian.
constexpr char kStateMagic[8] = {'C', 'R', 'V', 'X', 'R', 'I', 'G', '1'};
constexpr uint32_t kStateVersion = 1;
constexpr std::size_t kMaxNameBytes = 1024;

void putU32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back((unsigned char)(v >> (8 * i)));
}
void putF32(std::vector<unsigned char>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(out, bits);
}
void putF64(std::vector<unsigned char>& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    putU32(out, (uint32_t)bits);
    putU32(out, (uint32_t)(bits >> 32));
}

struct Reader {
    const unsigned char* at;
    std::size_t left;
    bool ok = true;
    bool take(void* out, std::size_t n) {
        if (!ok || n > left)
            return ok = false;
        std::memcpy(out, at, n);
        at += n;
        left -= n;
        return true;
    }
    uint32_t u32() {
        unsigned char b[4] = {};
        take(b, 4);
        return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    }
    float f32() {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    double f64() {
        const uint64_t low = u32();
        const uint64_t high = u32();
        const uint64_t bits = low | high << 32;
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
};

}  // namespace

// ---- identity and facts ----

const char* RigEngine::effectName() {
    return kEffectName;
}
const char* RigEngine::vendorName() {
    return AmpEngine::vendorName();
}
const char* RigEngine::versionText() {
    return AmpEngine::versionText();
}

const char* RigEngine::parameterName(int index) {
    if (AmpEngine::isParameter(index))
        return AmpEngine::info(index)->name;
    return isParameter(index) ? kRigFacts[own(index)].name : nullptr;
}

float RigEngine::defaultValue(int index) {
    if (AmpEngine::isParameter(index))
        return AmpEngine::info(index)->defaultValue;
    return isParameter(index) ? kRigFacts[own(index)].defaultValue : 0.0f;
}

int RigEngine::stepCount(int index) {
    if (AmpEngine::isParameter(index))
        return AmpEngine::stepCount(index);
    return isParameter(index) ? kRigFacts[own(index)].steps : 0;
}

const char* RigEngine::cabinetName(int model) {
    if (model == kUserCabinet)
        return "User Impulse";
    return bundledCabinetName(model);
}

int RigEngine::cabinetModelOf(float value) {
    if (!std::isfinite(value))
        return 0;
    const int m = (int)std::lround(std::clamp(value, 0.0f, 1.0f) * (kCabinetChoices - 1));
    return std::clamp(m, 0, kCabinetChoices - 1);
}

float RigEngine::valueOfCabinetModel(int model) {
    return (float)std::clamp(model, 0, kCabinetChoices - 1) / (float)(kCabinetChoices - 1);
}

double RigEngine::levelDbOf(float value) {
    const double db = -24.0 + 36.0 * (double)std::clamp(std::isfinite(value) ? value : 0.0f, 0.0f, 1.0f);
    return std::fabs(db) < 1e-4 ? 0.0 : db;  // the default lands on 0 dB exactly
}

double RigEngine::thresholdDbOf(float value) {
    return -90.0 + 80.0 * (double)std::clamp(value, 0.0f, 1.0f);
}

double RigEngine::releaseMsOf(float value) {
    return 5.0 * std::pow(400.0, (double)std::clamp(value, 0.0f, 1.0f));
}

bool RigEngine::displayText(int index, float value, char* text, std::size_t capacity) {
    if (!text || capacity == 0 || !isParameter(index))
        return false;
    if (AmpEngine::isParameter(index))
        return AmpEngine::displayText(index, value, text, capacity, true);
    if (!std::isfinite(value))
        return false;
    switch (index) {
        case kGateThreshold:
            if (value <= 0.0f)
                std::snprintf(text, capacity, "Off");
            else
                std::snprintf(text, capacity, "%.1f dB", thresholdDbOf(value));
            break;
        case kGateRelease:
            std::snprintf(text, capacity, "%.0f ms", releaseMsOf(value));
            break;
        case kCabinetOn:
            std::snprintf(text, capacity, "%s", value >= 0.5f ? "On" : "Off");
            break;
        case kCabinetModel:
            std::snprintf(text, capacity, "%s", cabinetName(cabinetModelOf(value)));
            break;
        default:
            std::snprintf(text, capacity, "%+.1f dB", levelDbOf(value));
            break;
    }
    return true;
}

bool RigEngine::textToValue(int index, const char* text, double& value) {
    if (!text || !isParameter(index))
        return false;
    if (AmpEngine::isParameter(index))
        return AmpEngine::textToValue(index, text, value);
    double number = 0.0;
    switch (index) {
        case kGateThreshold:
            if (std::strncmp(text, "Off", 3) == 0 || std::strncmp(text, "off", 3) == 0) {
                value = 0.0;
                return true;
            }
            if (!readNumber(text, number))
                return false;
            value = std::clamp((number + 90.0) / 80.0, 1e-6, 1.0);
            return true;
        case kGateRelease:
            if (!readNumber(text, number) || number <= 0.0)
                return false;
            value = std::clamp(std::log(number / 5.0) / std::log(400.0), 0.0, 1.0);
            return true;
        case kCabinetOn:
            if (!std::strcmp(text, "On") || !std::strcmp(text, "on")) {
                value = 1.0;
                return true;
            }
            if (!std::strcmp(text, "Off") || !std::strcmp(text, "off")) {
                value = 0.0;
                return true;
            }
            if (!readNumber(text, number))
                return false;
            value = number >= 0.5 ? 1.0 : 0.0;
            return true;
        case kCabinetModel:
            for (int m = 0; m < kCabinetChoices; ++m)
                if (!std::strcmp(text, cabinetName(m))) {
                    value = valueOfCabinetModel(m);
                    return true;
                }
            return false;
        default:
            if (!readNumber(text, number))
                return false;
            value = std::clamp((number + 24.0) / 36.0, 0.0, 1.0);
            return true;
    }
}

// ---- life ----

RigEngine::RigEngine() {
    // The factory bank: the head's records, then the rig's values of each.
    head.loadChunk(rigFactoryHeadBank(), kBankChunkSize, false);
    for (int p = 0; p < kProgramCount; ++p) {
        const RigProgramValues& v = rigFactoryValues(p);
        const float values[kRigOwnParameters] = {v.gateThreshold, v.gateRelease, v.cabinetOn,
                                                 v.cabinetModel,  v.cabinetTrim, v.master};
        for (int k = 0; k < kRigOwnParameters; ++k)
            programValue[p][k].store(values[k], kRelaxed);
    }
    head.selectProgram(0);
    for (int k = 0; k < kRigOwnParameters; ++k) {
        rigValue[k].store(programValue[0][k].load(kRelaxed), kRelaxed);
        postedValue[k].store(0.0f, kRelaxed);
    }
    setSampleRate(44100.0);
}

RigEngine::~RigEngine() {
    collect();
    delete incoming.exchange(nullptr);
    delete userCabinet;
    delete leaving;
}

bool RigEngine::prepare(const cabinet::ImpulseResponse& ir, std::unique_ptr<Convolver>& out,
                        std::string& error) const {
    cabinet::ImpulseResponse atRate;
    if (!cabinet::resampleImpulseResponse(ir, head.sampleRate(), atRate, error))
        return false;
    auto convolver = std::make_unique<Convolver>();
    if (!convolver->configure(atRate, error))
        return false;
    out = std::move(convolver);
    return true;
}

bool RigEngine::setSampleRate(double rate) {
    std::lock_guard<std::mutex> lock(control);
    if (!head.setSampleRate(rate))
        return false;
    for (int m = 0; m < kBundledCabinets; ++m) {
        cabinet::ImpulseResponse ir;
        std::string error;
        std::unique_ptr<Convolver> prepared;
        if (bundledCabinet(m, ir, error) && prepare(ir, prepared, error))
            bundled[m] = std::move(prepared);
        else
            bundled[m].reset();  // cannot happen with the bundled designs; then that model plays dry
    }
    // No audio runs: the user's cabinet is replaced in place.
    delete incoming.exchange(nullptr);
    delete retired.exchange(nullptr);
    delete leaving;
    leaving = nullptr;
    delete userCabinet;
    userCabinet = nullptr;
    if (hasUser) {
        std::unique_ptr<Convolver> prepared;
        std::string error;
        if (prepare(user.response, prepared, error))
            userCabinet = prepared.release();
    }
    // Nothing has played yet: the wanted cabinet plays from the start.
    fadingTo = nullptr;
    fading = false;
    playing = wantedCabinet();
    if (playing)
        playing->clear();
    fresh = true;
    smoothing = (float)(1.0 - std::exp(-1.0 / (0.01 * rate)));  // 10 ms level glide
    gate.reset();
    designedRate = 0.0;  // everything designed afresh
    updateDsp();
    gate.reset();
    trimGain = trimTarget;
    masterGain = masterTarget;
    return true;
}

// ---- parameters ----

float RigEngine::value(int index) const {
    if (AmpEngine::isParameter(index))
        return head.value(index);
    return isParameter(index) ? rigValue[own(index)].load(kRelaxed) : 0.0f;
}

void RigEngine::storeRig(int index, float v) {
    const int k = own(index);
    if (index == kCabinetModel)
        v = valueOfCabinetModel(cabinetModelOf(v));
    else if (index == kCabinetOn)
        v = v >= 0.5f ? 1.0f : 0.0f;
    rigValue[k].store(v, kRelaxed);
    const int p = head.currentProgram();
    if (p >= 0 && p < kProgramCount)
        programValue[p][k].store(v, kRelaxed);
}

bool RigEngine::applyEvent(int index, double v) {
    if (AmpEngine::isParameter(index))
        return head.applyEvent(index, v);
    float held;
    if (!isParameter(index) || !AmpEngine::holdToRange(v, held))
        return false;
    applyPending(false);
    storeRig(index, held);
    return true;
}

bool RigEngine::post(int index, double v) {
    if (AmpEngine::isParameter(index))
        return head.post(index, v);
    float held;
    if (!isParameter(index) || !AmpEngine::holdToRange(v, held))
        return false;
    const int k = own(index);
    postedValue[k].store(held, kRelaxed);
    postedMask.fetch_or(1ull << k, std::memory_order_release);
    return true;
}

bool RigEngine::postProgram(int program) {
    if (program < 0 || program >= kProgramCount)
        return false;
    if (!head.postProgram(program))
        return false;
    pendingProgram.store(program, std::memory_order_release);
    return true;
}

bool RigEngine::loadFactoryProgram(int factory) {
    if (factory < 0 || factory >= kProgramCount)
        return false;
    collect();
    std::lock_guard<std::mutex> lock(control);
    // The amp's state with the current program's record replaced.
    unsigned char blob[AmpEngine::kStateSize];
    unsigned char changed[AmpEngine::kStateSize];
    const std::size_t saved = head.saveState(blob, sizeof blob);
    int p = -1;
    const std::size_t size = withFactoryProgram(blob, saved, factory, changed, sizeof changed, p);
    if (size == 0 || p < 0 || p >= kProgramCount || !head.loadState(changed, size))
        return false;
    const RigProgramValues& v = rigFactoryValues(factory);
    const float values[kRigOwnParameters] = {v.gateThreshold, v.gateRelease, v.cabinetOn,
                                             v.cabinetModel,  v.cabinetTrim, v.master};
    for (int k = 0; k < kRigOwnParameters; ++k)
        programValue[p][k].store(values[k], kRelaxed);
    pendingState.store(true, std::memory_order_release);
    return true;
}

void RigEngine::applyPending(bool withState) {
    const int program = pendingProgram.exchange(-1, std::memory_order_acq_rel);
    const bool state = withState && pendingState.exchange(false, std::memory_order_acq_rel);
    if (program >= 0 || state) {
        const int p = program >= 0 ? program : std::clamp(head.currentProgram(), 0, kProgramCount - 1);
        for (int k = 0; k < kRigOwnParameters; ++k)
            rigValue[k].store(programValue[p][k].load(kRelaxed), kRelaxed);
    }
    uint64_t mask = postedMask.exchange(0, std::memory_order_acq_rel);
    for (int k = 0; mask != 0; ++k, mask >>= 1)
        if (mask & 1)
            storeRig(AmpEngine::kParameterCount + k, postedValue[k].load(kRelaxed));
}

void RigEngine::flush() {
    head.flush();
    applyPending(true);
}

float RigEngine::gainOf(double db) {
    return db == 0.0 ? 1.0f : (float)std::pow(10.0, db / 20.0);
}

void RigEngine::updateDsp() {
    const float threshold = rigValue[own(kGateThreshold)].load(kRelaxed);
    const float release = rigValue[own(kGateRelease)].load(kRelaxed);
    const float trim = rigValue[own(kCabinetTrim)].load(kRelaxed);
    const float master = rigValue[own(kMaster)].load(kRelaxed);
    // Designed again only when a value moved (or the rate did: designedRate).
    if (threshold != designed[0] || release != designed[1] || head.sampleRate() != designedRate) {
        designed[0] = threshold;
        designed[1] = release;
        designedRate = head.sampleRate();
        const bool wasOn = gateOn;
        gateOn = threshold > 0.0f;
        gate.design(designedRate, thresholdDbOf(threshold), releaseMsOf(release));
        if (gateOn && !wasOn)
            gate.reset();
    }
    if (trim != designed[2]) {
        designed[2] = trim;
        trimTarget = gainOf(levelDbOf(trim));
    }
    if (master != designed[3]) {
        designed[3] = master;
        masterTarget = gainOf(levelDbOf(master));
    }
}

// ---- audio ----

RigEngine::Convolver* RigEngine::wantedCabinet() const {
    if (rigValue[own(kCabinetOn)].load(kRelaxed) < 0.5f)
        return nullptr;
    const int model = cabinetModelOf(rigValue[own(kCabinetModel)].load(kRelaxed));
    Convolver* wanted = model == kUserCabinet ? userCabinet : bundled[model].get();
    // "User Impulse" with none loaded plays dry.
    return wanted && wanted->length() > 0 ? wanted : nullptr;
}

void RigEngine::runCabinet(float* left, float* right, int frames) {
    Convolver* wanted = wantedCabinet();
    if (fresh) {
        // Nothing has played since the rate was set: no fade needed.
        fresh = false;
        if (wanted != playing && !fading) {
            playing = wanted;
            if (playing)
                playing->clear();
        }
    }
    if (!fading && wanted != playing) {
        fading = true;
        fadingTo = wanted;
        fadePosition = 0;
        if (fadingTo)
            fadingTo->clear();  // no stale tail from the last time it played
    }
    const bool glide = trimGain != trimTarget;
    if (!fading && !playing)
        return;  // dry: untouched
    for (int done = 0; done < frames;) {
        const int n = std::min(kChunk, frames - done);
        float* l = left + done;
        float* r = right + done;
        if (fading) {
            std::memcpy(dry[0], l, sizeof(float) * (size_t)n);
            std::memcpy(dry[1], r, sizeof(float) * (size_t)n);
        }
        if (playing) {
            playing->process(l, r, l, r, n);
            if (glide) {
                for (int i = 0; i < n; ++i) {
                    trimGain += (trimTarget - trimGain) * smoothing;
                    l[i] *= trimGain;
                    r[i] *= trimGain;
                }
            } else if (trimGain != 1.0f) {  // at 0 dB the samples stand as they are
                const float g = trimGain;
                for (int i = 0; i < n; ++i) {
                    l[i] *= g;
                    r[i] *= g;
                }
            }
        }
        if (fading) {
            if (fadingTo) {
                fadingTo->process(dry[0], dry[1], scratch[0], scratch[1], n);
                for (int i = 0; i < n; ++i) {
                    scratch[0][i] *= trimGain;
                    scratch[1][i] *= trimGain;
                }
            } else {
                std::memcpy(scratch[0], dry[0], sizeof(float) * (size_t)n);
                std::memcpy(scratch[1], dry[1], sizeof(float) * (size_t)n);
            }
            // Equal-gain raised-cosine crossfade: both sides are the same
            // signal through different cabinets, mostly in phase.
            for (int i = 0; i < n; ++i) {
                const float t = fadePosition < kCrossfadeFrames
                                    ? (float)fadePosition / (float)kCrossfadeFrames
                                    : 1.0f;
                const float in = 0.5f - 0.5f * std::cos(3.14159265f * t);
                const float out = 1.0f - in;
                const float oldL = playing ? l[i] : dry[0][i];
                const float oldR = playing ? r[i] : dry[1][i];
                l[i] = oldL * out + scratch[0][i] * in;
                r[i] = oldR * out + scratch[1][i] * in;
                if (fadePosition < kCrossfadeFrames)
                    ++fadePosition;
            }
            if (fadePosition >= kCrossfadeFrames) {
                fading = false;
                if (playing == leaving && leaving) {
                    retired.store(leaving, std::memory_order_release);
                    leaving = nullptr;
                }
                playing = fadingTo;
                fadingTo = nullptr;
            }
        }
        done += n;
    }
    if (!glide)
        return;
    if (std::fabs(trimGain - trimTarget) < 1e-6f * trimTarget)
        trimGain = trimTarget;
}

void RigEngine::process(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    if (frames <= 0 || !outL || !outR)
        return;
    applyPending(false);
    updateDsp();
    // A new user cabinet is taken when the last one replaced has gone.
    if (!fading && !leaving && retired.load(std::memory_order_acquire) == nullptr) {
        if (Convolver* fresh = incoming.exchange(nullptr, std::memory_order_acq_rel)) {
            if (userCabinet == playing)
                leaving = userCabinet;  // fades out, then retires
            else if (userCabinet)
                retired.store(userCabinet, std::memory_order_release);
            userCabinet = fresh;
        }
    }
    if (leaving && playing != leaving && !fading) {
        retired.store(leaving, std::memory_order_release);
        leaving = nullptr;
    }

    // The key: the DI before the amp (and its meter). The gain is worked
    // out for the block before the amp runs, since the amp may write in
    // place over the input.
    float peakIn = 0.0f;
    const float* keyL = inL;
    const float* keyR = inR ? inR : inL;
    float keys[kChunk];
    // The key of each frame: the larger absolute value of the two sides
    // (the right one where either is not a number); the meter's peak
    // leaves values that are not numbers out.
    auto takeKeys = [&](int from, int n) {
        int i = 0;
#if CORVEX_RIG_SSE2
        if (keyL && keyR) {
            const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
            __m128 peak = _mm_setzero_ps();
            for (; i + 4 <= n; i += 4) {
                const __m128 a = _mm_and_ps(_mm_loadu_ps(keyL + from + i), magnitude);
                const __m128 b = _mm_and_ps(_mm_loadu_ps(keyR + from + i), magnitude);
                const __m128 key = _mm_max_ps(a, b);  // a > b ? a : b
                _mm_storeu_ps(keys + i, key);
                peak = _mm_max_ps(key, peak);  // key > peak ? key : peak
            }
            float lanes[4];
            _mm_storeu_ps(lanes, peak);
            for (float v : lanes)
                peakIn = std::max(peakIn, v);
        }
#endif
        for (; i < n; ++i) {
            const float a = keyL ? std::fabs(keyL[from + i]) : 0.0f;
            const float b = keyR ? std::fabs(keyR[from + i]) : 0.0f;
            keys[i] = a > b ? a : b;
            peakIn = std::max(peakIn, keys[i]);
        }
    };
    if (!gateOn) {
        // The head as it is: one call for the whole block.
        for (int done = 0; done < frames; done += kChunk)
            takeKeys(done, std::min(kChunk, frames - done));
        head.process(inL, inR, outL, outR, frames);
    } else {
        float gains[kChunk];
        for (int done = 0; done < frames;) {
            const int n = std::min(kChunk, frames - done);
            takeKeys(done, n);
            const bool allOpen = gate.run(keys, gains, n);
            head.process(inL ? inL + done : nullptr, inR ? inR + done : nullptr, outL + done, outR + done, n);
            if (!allOpen)
                for (int i = 0; i < n; ++i) {
                    outL[done + i] *= gains[i];
                    outR[done + i] *= gains[i];
                }
            done += n;
        }
    }
    gateIsClosed.store(gateOn && !gate.open, kRelaxed);
    // A loaded state's rig values follow the head's, which the head took
    // in this block: from the next block on.
    if (pendingState.load(kRelaxed))
        applyPending(true);

#if CORVEX_RIG_HAS_MXCSR
    // The cabinet's tails die away into denormals: flushed to zero here, and
    // only here (the amp runs as the head does).
    const unsigned int mxcsr = _mm_getcsr();
    _mm_setcsr(mxcsr | 0x8040);
#endif
    runCabinet(outL, outR, frames);
    if (masterGain != 1.0f || masterTarget != 1.0f) {
        for (int i = 0; i < frames; ++i) {
            masterGain += (masterTarget - masterGain) * smoothing;
            outL[i] *= masterGain;
            outR[i] *= masterGain;
        }
        if (std::fabs(masterGain - masterTarget) < 1e-6f * masterTarget)
            masterGain = masterTarget;
    }
#if CORVEX_RIG_HAS_MXCSR
    _mm_setcsr(mxcsr);
#endif
    float peakOut = 0.0f;
    int i = 0;
#if CORVEX_RIG_SSE2
    {
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        __m128 peak = _mm_setzero_ps();
        for (; i + 4 <= frames; i += 4) {
            const __m128 a = _mm_and_ps(_mm_loadu_ps(outL + i), magnitude);
            const __m128 b = _mm_and_ps(_mm_loadu_ps(outR + i), magnitude);
            peak = _mm_max_ps(_mm_max_ps(b, a), peak);  // as the loop below, lane by lane
        }
        float lanes[4];
        _mm_storeu_ps(lanes, peak);
        for (float v : lanes)
            peakOut = std::max(peakOut, v);
    }
#endif
    for (; i < frames; ++i) {
        const float a = std::fabs(outL[i]), b = std::fabs(outR[i]);
        peakOut = std::max(peakOut, std::max(a, b));
    }
    if (peakIn > inputPeak.load(kRelaxed))
        inputPeak.store(peakIn, kRelaxed);
    if (peakOut > outputPeak.load(kRelaxed))
        outputPeak.store(peakOut, kRelaxed);
}

// ---- the user's impulse ----

bool RigEngine::adoptImpulse(UserImpulse impulse, std::string& error) {
    std::unique_ptr<Convolver> prepared;
    if (!prepare(impulse.response, prepared, error))
        return false;
    delete incoming.exchange(prepared.release(), std::memory_order_acq_rel);  // one never taken
    user = std::move(impulse);
    hasUser = true;
    return true;
}

namespace {

// The impulse in `data` read and held to the rig's limits (no allocation
// beyond the response itself); false with a one-line reason otherwise.
bool readUserResponse(const void* data, std::size_t size, const std::string& name, cabinet::ImpulseResponse& response,
                      std::string& error) {
    if (!cabinet::readImpulseResponse(data, size, name, response, error))
        return false;
    if ((double)response.frames() > RigEngine::kMaxImpulseSeconds * response.rate) {
        char text[160];
        std::snprintf(text, sizeof text, "cabinet %s: %.2f s is longer than the rig takes (%g s)", name.c_str(),
                      (double)response.frames() / response.rate, RigEngine::kMaxImpulseSeconds);
        error = text;
        return false;
    }
    return true;
}

// The whole file at `path` (UTF-8 on every platform: Windows names files in
// UTF-16), with its file name; false with a one-line reason otherwise.
bool readImpulseBytes(const std::string& path, std::string& name, std::vector<char>& bytes, std::string& error) {
    const std::filesystem::path where = std::filesystem::u8path(path);
    name = where.filename().u8string();
    std::error_code ec;
    const auto size = std::filesystem::file_size(where, ec);
    if (ec || std::filesystem::is_directory(where, ec)) {
        error = "cabinet " + name + ": cannot be read (missing, a folder, or no permission)";
        return false;
    }
    if (size > (64u << 20)) {
        error = "cabinet " + name + ": the file is far too large for a cabinet";
        return false;
    }
    std::ifstream in(where, std::ios::binary);
    bytes.assign((std::size_t)size, 0);
    if (in && in.read(bytes.data(), (std::streamsize)size))
        return true;
    error = "cabinet " + name + ": cannot be read";
    return false;
}

}  // namespace

bool RigEngine::checkImpulseFile(const std::string& path, std::string& error) {
    std::string name;
    std::vector<char> bytes;
    cabinet::ImpulseResponse response;
    return readImpulseBytes(path, name, bytes, error) &&
           readUserResponse(bytes.data(), bytes.size(), name, response, error);
}

bool RigEngine::loadImpulseData(const void* data, std::size_t size, const std::string& name, std::string& error) {
    collect();
    UserImpulse impulse;
    impulse.name = name.size() > kMaxNameBytes ? name.substr(0, kMaxNameBytes) : name;
    bool ok = readUserResponse(data, size, impulse.name, impulse.response, error);
    std::lock_guard<std::mutex> lock(control);
    if (ok)
        ok = adoptImpulse(std::move(impulse), error);
    impulseError = ok ? std::string() : error;
    return ok;
}

bool RigEngine::loadImpulseFile(const std::string& path, std::string& error) {
    std::string name;
    std::vector<char> bytes;
    if (readImpulseBytes(path, name, bytes, error))
        return loadImpulseData(bytes.data(), bytes.size(), name, error);
    std::lock_guard<std::mutex> lock(control);
    impulseError = error;
    return false;
}

std::string RigEngine::impulseName() const {
    std::lock_guard<std::mutex> lock(control);
    return hasUser ? user.name : std::string();
}

bool RigEngine::hasImpulse() const {
    std::lock_guard<std::mutex> lock(control);
    return hasUser;
}

std::string RigEngine::lastImpulseError() const {
    std::lock_guard<std::mutex> lock(control);
    return impulseError;
}

void RigEngine::collect() {
    delete retired.exchange(nullptr, std::memory_order_acq_rel);
}

// ---- state ----

std::vector<unsigned char> RigEngine::saveState() const {
    std::vector<unsigned char> out(kStateMagic, kStateMagic + 8);
    putU32(out, kStateVersion);
    unsigned char headState[AmpEngine::kStateSize];
    const std::size_t headSize = head.saveState(headState, sizeof headState);
    putU32(out, (uint32_t)headSize);
    out.insert(out.end(), headState, headState + headSize);
    for (int p = 0; p < kProgramCount; ++p)
        for (int k = 0; k < kRigOwnParameters; ++k)
            putF32(out, programValue[p][k].load(kRelaxed));
    std::lock_guard<std::mutex> lock(control);
    putU32(out, hasUser ? (uint32_t)user.name.size() : 0u);
    if (hasUser)
        out.insert(out.end(), user.name.begin(), user.name.end());
    const uint32_t channels = hasUser ? (uint32_t)user.response.channels.size() : 0u;
    putU32(out, channels);
    if (channels) {
        putF64(out, user.response.rate);
        putU32(out, (uint32_t)user.response.frames());
        for (const auto& channel : user.response.channels)
            for (float s : channel)
                putF32(out, s);
    }
    return out;
}

bool RigEngine::loadState(const void* data, std::size_t size) {
    if (!data || size < 16)
        return false;
    Reader in{static_cast<const unsigned char*>(data), size};
    char magic[8];
    if (!in.take(magic, 8) || std::memcmp(magic, kStateMagic, 8) != 0 || in.u32() != kStateVersion)
        return false;
    const uint32_t headSize = in.u32();
    if (!in.ok || headSize > in.left || !AmpEngine::isValidState(in.at, headSize))
        return false;
    const unsigned char* headState = in.at;
    in.at += headSize;
    in.left -= headSize;
    float values[kProgramCount][kRigOwnParameters];
    for (auto& program : values)
        for (float& v : program) {
            v = in.f32();
            if (!in.ok || !finiteUnit(v))
                return false;
        }
    const uint32_t nameSize = in.u32();
    if (!in.ok || nameSize > kMaxNameBytes || nameSize > in.left)
        return false;
    UserImpulse impulse;
    impulse.name.assign(reinterpret_cast<const char*>(in.at), nameSize);
    in.at += nameSize;
    in.left -= nameSize;
    const uint32_t channels = in.u32();
    if (!in.ok || channels > 2)
        return false;
    if (channels > 0) {
        const double rate = in.f64();
        const uint32_t frames = in.u32();
        if (!in.ok || !(rate >= 1000.0 && rate <= 768000.0) || frames == 0 ||
            (double)frames > kMaxImpulseSeconds * rate || (uint64_t)frames * channels * 4 != in.left)
            return false;
        impulse.response.rate = rate;
        impulse.response.channels.assign(channels, std::vector<float>(frames));
        double energy = 0.0;
        for (auto& channel : impulse.response.channels)
            for (float& s : channel) {
                s = in.f32();
                if (!std::isfinite(s) || std::fabs(s) > 1000.0f)
                    return false;
                energy += (double)s * s;
            }
        if (!(energy > 1e-20))
            return false;
    } else if (in.left != 0 || nameSize != 0) {
        return false;
    }
    collect();
    std::lock_guard<std::mutex> lock(control);
    std::string error;
    if (channels > 0) {
        if (!adoptImpulse(std::move(impulse), error))
            return false;
    } else if (hasUser) {
        // The session has no impulse of its own: neither does the rig now.
        delete incoming.exchange(new Convolver(), std::memory_order_acq_rel);
        user = UserImpulse();
        hasUser = false;
    }
    if (!head.loadState(headState, headSize))
        return false;  // cannot happen: checked above
    for (int p = 0; p < kProgramCount; ++p)
        for (int k = 0; k < kRigOwnParameters; ++k)
            programValue[p][k].store(values[p][k], kRelaxed);
    pendingState.store(true, std::memory_order_release);
    return true;
}

}  // namespace corvex
