#include "model/AmpEngine.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>
#include <thread>

#include "CorvexVersion.h"
#include "common/TextConversion.h"
#include "model/AmpState.h"
#include "model/StageDesign.h"

namespace corvex {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

const char kEffectName[] = "Vantor_Corvex_Head_v1_0";
const char kVendorName[] = "Ardex Plugins";
// The product's one version (from the build's project version).
const char kVersionText[] = CORVEX_VERSION_STRING;
constexpr int kVendorVersion = CORVEX_VERSION_NUMBER;
constexpr std::size_t kDisplayLength = 8;
constexpr std::size_t kProgramNameLength = sizeof(CorvexProgram::name);

// Where each parameter is kept: the program record's float field, and the
// channel's own value for the per-channel parameters (else null).
struct ParameterStorage {
    float CorvexProgram::*programField;
    double ChannelSettings::*channelField;
};

constexpr ParameterStorage kStorage[kNumParameters] = {
    {&CorvexProgram::input, &ChannelSettings::input},
    {&CorvexProgram::channel, nullptr},
    {&CorvexProgram::drive, &ChannelSettings::drive},
    {&CorvexProgram::mixPls, nullptr},
    {&CorvexProgram::low, &ChannelSettings::low},
    {&CorvexProgram::mid, &ChannelSettings::mid},
    {&CorvexProgram::high, &ChannelSettings::high},
    {&CorvexProgram::contour, &ChannelSettings::contour},
    {&CorvexProgram::powerAmp, &ChannelSettings::powerAmp},
    {&CorvexProgram::volume, &ChannelSettings::volume},
    {&CorvexProgram::monoStereo, nullptr},
    {&CorvexProgram::quality, nullptr},
    {&CorvexProgram::boost, nullptr},
};

// A channel field exactly for the parameters the table calls per-channel.
constexpr bool storageMatchesRoles() {
    for (int i = 0; i < kNumParameters; ++i) {
        const bool perChannel = kParameterTable[i].role == ParameterRole::perChannel;
        if (perChannel != (kStorage[i].channelField != nullptr))
            return false;
    }
    return true;
}
static_assert(storageMatchesRoles(), "every per-channel parameter, and only those, has a channel field");
static_assert(kNumParameters <= 32, "the change mask holds one bit per parameter");
static_assert(AmpEngine::kStateSize == kStateBytes, "the engine saves the state layout of model/AmpState.h");

// Every program starts as "Init": the default values, both channels at 0.5.
void initProgram(CorvexProgram& program) {
    std::memset(&program, 0, sizeof(program));
    std::memcpy(program.name, "Init", 5);
    for (int i = 0; i < kNumParameters; ++i)
        program.*kStorage[i].programField = kParameterTable[i].defaultValue;
    for (ChannelSettings& channel : program.channelSettings)
        channel = ChannelSettings{0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

// A decimal number ("-6.02", "0.5", "1e-3"), read without the C library so
// that the host's locale (a decimal comma) cannot change what it means.
// Advances `text` past it; false when there is none.
bool parseNumber(const char*& text, double& value) {
    const char* s = text;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    // The digits kept (at most 40) as a whole number and the power of ten
    // that places its point. Zeros are held back until a digit other than
    // zero follows, so that trailing zeros ("0.7500000000000000000000000")
    // never push the whole number past what a double holds exactly.
    double mantissa = 0.0;
    int digits = 0, kept = 0, zeros = 0, scale = 0;
    auto take = [&](int digit, bool fraction) {
        ++digits;
        if (kept + zeros >= 40) {
            if (!fraction)
                ++scale;  // digits beyond what a double holds only move the point
            return;
        }
        if (fraction)
            --scale;
        if (digit == 0) {
            ++zeros;
            return;
        }
        for (; zeros > 0; --zeros, ++kept)
            mantissa *= 10.0;
        mantissa = mantissa * 10.0 + digit;
        ++kept;
    };
    for (; *s >= '0' && *s <= '9'; ++s)
        take(*s - '0', false);
    if (*s == '.') {
        for (++s; *s >= '0' && *s <= '9'; ++s)
            take(*s - '0', true);
    }
    scale += zeros;  // the zeros held back
    if (digits == 0)
        return false;
    if (*s == 'e' || *s == 'E') {
        const char* e = s + 1;
        bool negativeExponent = false;
        if (*e == '+' || *e == '-')
            negativeExponent = *e++ == '-';
        int exponent = 0;
        bool any = false;
        for (; *e >= '0' && *e <= '9'; ++e, any = true) {
            if (exponent < 10000)
                exponent = exponent * 10 + (*e - '0');
        }
        if (any) {
            scale += negativeExponent ? -exponent : exponent;
            s = e;
        }
    }
    // Powers of ten up to 1e22 are exact doubles: one correctly rounded
    // multiplication or division gives the same value on every C library.
    // Larger powers are applied in exact steps of 1e22, never through pow(),
    // whose last bit differs between the C libraries we build with (the
    // MinGW runtime's is not the glibc one).
    static const double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    value = mantissa;
    for (; scale > 22 && value != 0.0 && !std::isinf(value); scale -= 22)
        value *= 1e22;
    for (; scale < -22 && value != 0.0; scale += 22)
        value /= 1e22;
    // (A scale still beyond 22 either way leaves a value already zero or
    // infinite.)
    if (scale >= 0 && scale <= 22)
        value *= kExactPowers[scale];
    else if (scale < 0 && scale >= -22)
        value /= kExactPowers[-scale];
    if (negative)
        value = -value;
    text = s;
    return true;
}

// ---- the queue from control threads ----
//
// Several producers (a UI thread, a host's main thread, a worker) and one
// consumer (whoever holds the amp: the audio thread in process, or a
// flush). A bounded ring of cells, each with a sequence number that says
// whether it is free for the producer of a given ticket or filled for the
// consumer: producers claim tickets with one compare-exchange and never
// wait for each other; the consumer never waits at all.
struct Command {
    enum Kind : uint8_t { kParameter, kProgram };
    Kind kind;
    int16_t index;
    float value;
};

class CommandQueue {
public:
    static constexpr uint32_t kCapacity = 1024;

    CommandQueue() {
        for (uint32_t i = 0; i < kCapacity; ++i)
            cells[i].sequence.store(i, kRelaxed);
    }

    bool push(const Command& command) {
        uint32_t ticket = tail.load(kRelaxed);
        for (;;) {
            Cell& cell = cells[ticket & (kCapacity - 1)];
            const uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<int32_t>(sequence - ticket);
            if (lag == 0) {
                if (tail.compare_exchange_weak(ticket, ticket + 1, kRelaxed)) {
                    cell.command = command;
                    cell.sequence.store(ticket + 1, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                return false;  // full: the consumer has not caught up
            } else {
                ticket = tail.load(kRelaxed);
            }
        }
    }

    bool pop(Command& command) {
        const uint32_t ticket = head.load(kRelaxed);
        Cell& cell = cells[ticket & (kCapacity - 1)];
        if (cell.sequence.load(std::memory_order_acquire) != ticket + 1)
            return false;
        command = cell.command;
        cell.sequence.store(ticket + kCapacity, std::memory_order_release);
        head.store(ticket + 1, kRelaxed);
        return true;
    }

private:
    struct Cell {
        std::atomic<uint32_t> sequence;
        Command command;
    };
    Cell cells[kCapacity];
    alignas(64) std::atomic<uint32_t> tail{0};
    alignas(64) std::atomic<uint32_t> head{0};
};

static_assert(std::atomic<uint32_t>::is_always_lock_free, "the queue's counters must be lock-free");

}  // namespace

struct AmpEngine::Impl {
    CommandQueue queue;

    // The mailbox of a loaded state: empty, being written (a control
    // thread), ready, being read (the amp's holder).
    enum MailState : int { kEmpty, kWriting, kReady, kReading };
    std::atomic<int> mailState{kEmpty};
    StateContents mail;

    // The designs for the current rate, both quality positions; read and
    // written under the amp's hold. `scratch` is the rate setter's own.
    AmpModel::Design prepared[2];
    AmpModel::Design scratch[2];
    // Stages designed once: only their component values are read.
    AmpModel stageTemplate;

    // What control threads read of the programs: the bank and the current
    // program as words, behind a sequence count that is odd while the
    // writer is between them.
    static constexpr std::size_t kWords = kBankChunkSize / 4;
    std::atomic<uint32_t> bankWords[kWords];
    std::atomic<uint32_t> bankProgram{0};
    std::atomic<uint32_t> bankSequence{0};

    // Something changed under the hold that the published bank lacks.
    bool dirty = false;
};

// ---- identity ----

const char* AmpEngine::effectName() {
    return kEffectName;
}
const char* AmpEngine::vendorName() {
    return kVendorName;
}
int AmpEngine::vendorVersion() {
    return kVendorVersion;
}
const char* AmpEngine::versionText() {
    return kVersionText;
}

// ---- parameter facts ----

const ParameterInfo* AmpEngine::info(int index) {
    return isParameter(index) ? &kParameterTable[index] : nullptr;
}

int AmpEngine::stepCount(int index) {
    if (!isParameter(index))
        return 0;
    const ParameterRole role = kParameterTable[index].role;
    return role == ParameterRole::channelSwitch || role == ParameterRole::onOffSwitch ? 1 : 0;
}

bool AmpEngine::displayText(int index, float value, char* text, std::size_t capacity, bool withUnit) {
    if (!isParameter(index) || !text || capacity == 0)
        return false;
    char shown[kDisplayLength + 1 + 1 + 8] = {};
    if (kParameterTable[index].display == DisplayKind::decibels)
        dB2string(value, shown, static_cast<int32_t>(kDisplayLength));
    else
        float2string(value, shown, static_cast<int32_t>(kDisplayLength));
    const char* label = kParameterTable[index].label;
    if (withUnit && label[0]) {
        appendString(shown, " ", sizeof(shown) - 1);
        appendString(shown, label, sizeof(shown) - 1);
    }
    const std::size_t length = std::strlen(shown);
    const std::size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(text, shown, n);
    text[n] = 0;
    return true;
}

bool AmpEngine::textToValue(int index, const char* text, double& value) {
    if (!isParameter(index) || !text)
        return false;
    const char* label = kParameterTable[index].label;
    const bool decibels = kParameterTable[index].display == DisplayKind::decibels;
    while (isSpace(*text))
        ++text;
    double number = 0.0;
    bool silence = false;
    if (decibels && std::strncmp(text, "-oo", 3) == 0) {
        silence = true;
        text += 3;
    } else if (!parseNumber(text, number)) {
        return false;
    }
    while (isSpace(*text))
        ++text;
    if (*text && !(label[0] && equalsIgnoringCase(text, label)))
        return false;  // something after the number that is not the unit
    const double result = silence ? 0.0 : decibels ? std::pow(10.0, number / 20.0) : number;
    if (std::isnan(result))
        return false;
    value = result < 0.0 ? 0.0 : result > 1.0 ? 1.0 : result;
    return true;
}

bool AmpEngine::holdToRange(double in, float& out) {
    if (std::isnan(in))
        return false;
    out = static_cast<float>(in < 0.0 ? 0.0 : in > 1.0 ? 1.0 : in);
    return true;
}

// ---- life ----

AmpEngine::AmpEngine() : channelSettings(), programs(), impl(new Impl) {
    for (std::atomic<float>& v : parameters)
        v.store(0.0f, kRelaxed);
    for (std::atomic<uint32_t>& word : impl->bankWords)
        word.store(0, kRelaxed);

    // Stages designed once, for their component values.
    impl->stageTemplate.clear();
    impl->stageTemplate.design(44100.0f, 0);
    impl->stageTemplate.designStages();
    for (int quality = 0; quality < 2; ++quality)
        AmpModel::prepare(impl->prepared[quality], impl->stageTemplate, 44100.0f, quality);

    // The running records start cleared, so that the design below finds zero
    // histories.
    amp.clear();
    for (CorvexProgram& program : programs)
        initProgram(program);
    // Program 0 reaches every parameter; "LowQ/HighQ" copies the design in.
    select(0, false);
    // Last, the triode stages at the oversampled rate the program's quality
    // switch chose: their operating points depend on it.
    amp.designStages();
    impl->dirty = false;
    publish();
    changed.store(0, kRelaxed);
}

AmpEngine::~AmpEngine() {
    delete impl;
}

bool AmpEngine::setSampleRate(double newRate) {
    if (!(newRate >= kMinSampleRate && newRate <= kMaxSampleRate))
        return false;  // NaN fails both comparisons
    setSampleRateAsGiven(static_cast<float>(newRate));
    return true;
}

void AmpEngine::setSampleRateAsGiven(float newRate) {
    if (!(newRate > 0.0f) || !std::isfinite(newRate))
        return;
    // The designs, away from the running amp.
    for (int quality = 0; quality < 2; ++quality)
        AmpModel::prepare(impl->scratch[quality], impl->stageTemplate, newRate, quality);
    // Copied in between two blocks.
    amp.hold();
    impl->prepared[0] = impl->scratch[0];
    impl->prepared[1] = impl->scratch[1];
    rate.store(newRate, kRelaxed);
    adoptDesign(highQuality.load(kRelaxed));
    amp.releaseHold();
}

// ---- storing values ----

void AmpEngine::adoptDesign(int quality) {
    amp.adopt(impl->prepared[quality ? 1 : 0]);
}

void AmpEngine::noteChanged(int index, float value) {
    changed.fetch_or(1u << index, std::memory_order_acq_rel);
    if (listener)
        listener->parameterChanged(index, value);
}

void AmpEngine::store(int index, float value, bool direct) {
    if (!isParameter(index))
        return;
    const ParameterStorage& storage = kStorage[index];
    CorvexProgram& program = programs[programIndex];
    parameters[index].store(value, kRelaxed);
    program.*storage.programField = value;

    const ParameterRole role = kParameterTable[index].role;
    if (role == ParameterRole::perChannel) {
        if (index == kDrive)
            driveGain.store(driveTaper(value), kRelaxed);
        const int32_t channel = activeChannel.load(kRelaxed);
        channelSettings[channel].*storage.channelField = value;
        program.channelSettings[channel].*storage.channelField = value;
    } else if (role == ParameterRole::channelSwitch) {
        // Not below 0.5 (NaN included) selects channel 1.
        const int32_t channel = value < 0.5f ? 0 : 1;
        activeChannel.store(channel, kRelaxed);
        for (int reapplied : kChannelReapplyOrder)
            store(reapplied, static_cast<float>(channelSettings[channel].*kStorage[reapplied].channelField), direct);
    } else if (index == kMonoStereo) {
        stereo.store(value >= 0.5f ? 1 : 0, kRelaxed);
    } else if (index == kQuality) {
        const int32_t quality = value >= 0.5f ? 1 : 0;
        highQuality.store(quality, kRelaxed);
        // Even the same position clears the filters' histories, as a
        // redesign does. A direct caller waits for the block in progress;
        // the amp's holder copies at once.
        if (direct)
            amp.hold();
        adoptDesign(quality);
        if (direct)
            amp.releaseHold();
    } else if (index == kBoost) {
        boost.store(value >= 0.5f ? 1 : 0, kRelaxed);
    }
    // kMixPls: stored above, shared by both channels.
    if (!direct)
        impl->dirty = true;
    noteChanged(index, value);
}

void AmpEngine::select(int program, bool direct) {
    if (program < 0 || program >= kProgramCount)
        return;
    programIndex = program;
    publishedProgram.store(program, std::memory_order_release);
    const CorvexProgram& selected = programs[program];
    channelSettings[0] = selected.channelSettings[0];
    channelSettings[1] = selected.channelSettings[1];
    // The channel switch re-applies that channel's eight values.
    store(kChannel, selected.channel, direct);
    // Copies: storing writes into the same record.
    const float mixPls = selected.mixPls;
    const float monoStereo = selected.monoStereo;
    const float quality = selected.quality;
    const float boostValue = selected.boost;
    store(kMixPls, mixPls, direct);
    store(kMonoStereo, monoStereo, direct);
    store(kQuality, quality, direct);
    store(kBoost, boostValue, direct);
    if (!direct)
        impl->dirty = true;
}

void AmpEngine::publish() {
    // The amp's holder, or the direct caller. Each write moves the count by
    // two, odd in between, so that readers retry across it; two direct
    // callers breaking the single-writer rule leave it even all the same.
    Impl& d = *impl;
    d.bankSequence.fetch_add(1, kRelaxed);
    std::atomic_thread_fence(std::memory_order_release);
    const auto* bytes = reinterpret_cast<const unsigned char*>(programs);
    for (std::size_t w = 0; w < Impl::kWords; ++w) {
        uint32_t word;
        std::memcpy(&word, bytes + 4 * w, 4);
        d.bankWords[w].store(word, kRelaxed);
    }
    d.bankProgram.store(static_cast<uint32_t>(programIndex), kRelaxed);
    d.bankSequence.fetch_add(1, std::memory_order_release);
}

// ---- audio thread ----

void AmpEngine::drainQueued() {
    Impl& d = *impl;
    int expected = Impl::kReady;
    if (d.mailState.compare_exchange_strong(expected, Impl::kReading, std::memory_order_acquire)) {
        std::memcpy(programs, d.mail.bank, kBankChunkSize);
        const int program = static_cast<int>(d.mail.currentProgram);
        d.mailState.store(Impl::kEmpty, std::memory_order_release);
        select(program, false);
    }
    Command command;
    while (d.queue.pop(command)) {
        if (command.kind == Command::kParameter)
            store(command.index, command.value, false);
        else
            select(command.index, false);
    }
}

void AmpEngine::process(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    if (frames <= 0)
        return;
    if (outL && outR && inL && amp.tryHold()) {
        drainQueued();
        if (impl->dirty) {
            impl->dirty = false;
            publish();
        }
        ChainSettings s;
        s.input = parameters[kInput].load(kRelaxed);
        s.low = parameters[kLow].load(kRelaxed);
        s.mid = parameters[kMid].load(kRelaxed);
        s.high = parameters[kHigh].load(kRelaxed);
        s.contour = parameters[kContour].load(kRelaxed);
        s.powerAmp = parameters[kPowerAmp].load(kRelaxed);
        s.volume = parameters[kVolume].load(kRelaxed);
        s.mix = parameters[kMixPls].load(kRelaxed);
        s.driveGain = driveGain.load(kRelaxed);
        s.activeChannel = activeChannel.load(kRelaxed);
        s.boost = boost.load(kRelaxed);
        s.stereo = stereo.load(kRelaxed) != 0 ? 1 : 0;
        amp.processHeld(s, inL, s.stereo ? (inR ? inR : inL) : nullptr, outL, outR, frames);
        amp.releaseHold();
        return;
    }
    // Missing buffers, or a direct caller copying a design in: silence.
    for (float* out : {outL, outR}) {
        if (out)
            std::memset(out, 0, sizeof(float) * static_cast<std::size_t>(frames));
    }
}

bool AmpEngine::applyEvent(int index, double value) {
    float held;
    if (!isParameter(index) || !holdToRange(value, held))
        return false;
    if (amp.tryHold()) {
        drainQueued();  // what was queued before comes first
        store(index, held, false);
        amp.releaseHold();
        return true;
    }
    // A direct caller holds the amp: the value follows in the next block.
    return impl->queue.push(Command{Command::kParameter, static_cast<int16_t>(index), held});
}

void AmpEngine::endBlock() {
    if (!amp.tryHold())
        return;  // a direct caller holds the amp: the next block publishes
    drainQueued();
    if (impl->dirty) {
        impl->dirty = false;
        publish();
    }
    amp.releaseHold();
}

void AmpEngine::flush() {
    amp.hold();
    drainQueued();
    if (impl->dirty) {
        impl->dirty = false;
        publish();
    }
    amp.releaseHold();
}

// ---- control threads ----

bool AmpEngine::post(int index, double value) {
    float held;
    if (!isParameter(index) || !holdToRange(value, held))
        return false;
    return impl->queue.push(Command{Command::kParameter, static_cast<int16_t>(index), held});
}

bool AmpEngine::postProgram(int program) {
    if (program < 0 || program >= kProgramCount)
        return false;
    return impl->queue.push(Command{Command::kProgram, static_cast<int16_t>(program), 0.0f});
}

float AmpEngine::value(int index) const {
    return isParameter(index) ? parameters[index].load(kRelaxed) : 0.0f;
}

namespace {

// A consistent copy of the published bank and program.
void readPublished(const std::atomic<uint32_t>* words, const std::atomic<uint32_t>& program,
                   const std::atomic<uint32_t>& sequence, unsigned char* bank, uint32_t& currentProgram) {
    for (;;) {
        const uint32_t before = sequence.load(std::memory_order_acquire);
        if (before & 1u) {
            std::this_thread::yield();
            continue;
        }
        for (std::size_t w = 0; w < kBankChunkSize / 4; ++w) {
            const uint32_t word = words[w].load(kRelaxed);
            std::memcpy(bank + 4 * w, &word, 4);
        }
        currentProgram = program.load(kRelaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load(kRelaxed) == before)
            return;
    }
}

}  // namespace

bool AmpEngine::programName(int index, char* text, std::size_t capacity) const {
    if (index < 0 || index >= kProgramCount || !text || capacity == 0)
        return false;
    StateContents contents;
    readPublished(impl->bankWords, impl->bankProgram, impl->bankSequence, contents.bank, contents.currentProgram);
    char name[kProgramNameLength + 1];
    copyString(name, reinterpret_cast<const char*>(contents.bank + kProgramChunkSize * index), kProgramNameLength);
    const std::size_t length = std::strlen(name);
    const std::size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(text, name, n);
    text[n] = 0;
    return true;
}

std::size_t AmpEngine::saveState(unsigned char* out, std::size_t capacity) const {
    if (!out || capacity < kStateSize)
        return 0;
    StateContents contents;
    readPublished(impl->bankWords, impl->bankProgram, impl->bankSequence, contents.bank, contents.currentProgram);
    return writeState(contents, out, capacity);
}

bool AmpEngine::isValidState(const void* data, std::size_t size) {
    StateContents contents;
    return readState(data, size, contents);
}

bool AmpEngine::loadState(const void* data, std::size_t size) {
    StateContents contents;
    if (!readState(data, size, contents))
        return false;
    Impl& d = *impl;
    // Take the mailbox: empty or holding an older state not yet applied;
    // wait out a reader (it only copies) or another writer.
    for (;;) {
        int state = d.mailState.load(std::memory_order_acquire);
        if ((state == Impl::kEmpty || state == Impl::kReady) &&
            d.mailState.compare_exchange_weak(state, Impl::kWriting, std::memory_order_acquire))
            break;
        std::this_thread::yield();
    }
    d.mail = contents;
    d.mailState.store(Impl::kReady, std::memory_order_release);
    return true;
}

// ---- direct face ----

void AmpEngine::setParameter(int index, float value) {
    if (!isParameter(index))
        return;
    store(index, value, true);
    publish();
}

void AmpEngine::selectProgram(int program) {
    if (program < 0 || program >= kProgramCount)
        return;
    select(program, true);
    publish();
}

void AmpEngine::renameProgram(const char* name) {
    if (!name)
        return;
    // At most 24 characters, the rest of the field zero; never beyond it.
    char* field = programs[programIndex].name;
    std::size_t n = 0;
    for (; n < kProgramNameLength && name[n] != 0; ++n)
        field[n] = name[n];
    for (; n < kProgramNameLength; ++n)
        field[n] = 0;
    publish();
}

bool AmpEngine::loadChunk(const void* data, std::size_t size, bool program) {
    const std::size_t expected = program ? kProgramChunkSize : kBankChunkSize;
    if (!data || size != expected)
        return false;
    void* target = program ? static_cast<void*>(&programs[programIndex]) : static_cast<void*>(programs);
    // A host may hand back the very pointer the chunk gave it: memmove.
    std::memmove(target, data, expected);
    select(programIndex, true);
    publish();
    return true;
}

}  // namespace corvex
