#include "PluginHarness.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvex::harness {

namespace {

#if defined(__MINGW32__)
#define HARNESS_PRINTF_FORMAT __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#else
#define HARNESS_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#endif

std::string format(const char* fmt, ...) HARNESS_PRINTF_FORMAT;

std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::mutex eventsLock;
std::vector<HostEvent> events;

}  // namespace

std::string nativePath(const std::string& path) {
#if defined(_WIN32)
    // Wine shows the Unix root as drive Z:.
    if (!path.empty() && path[0] == '/') {
        std::string converted = "Z:" + path;
        std::replace(converted.begin(), converted.end(), '/', '\\');
        return converted;
    }
#endif
    return path;
}

// ---------------------------------------------------------------------------
// Library loading
// ---------------------------------------------------------------------------
PluginLibrary::~PluginLibrary() {
    unload();
}

bool PluginLibrary::unload() {
    if (!module)
        return true;
#if defined(_WIN32)
    const bool ok = FreeLibrary(static_cast<HMODULE>(module)) != 0;
#else
    const bool ok = dlclose(module) == 0;
#endif
    module = nullptr;
    pluginMain = mainAlias = nullptr;
    return ok;
}

bool PluginLibrary::load(const std::string& path, std::string& error) {
    const std::string native = nativePath(path);
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(native.c_str());
    if (!handle) {
        error = format("LoadLibrary(%s) failed with error %lu", native.c_str(), GetLastError());
        return false;
    }
    module = handle;
    // FARPROC goes through the generic function pointer type to the entry's.
    auto lookUp = [handle](const char* name) {
        return reinterpret_cast<PluginEntryProc>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
    };
#else
    void* handle = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = format("dlopen(%s) failed: %s", native.c_str(), reason ? reason : "unknown");
        return false;
    }
    module = handle;
    auto lookUp = [handle](const char* name) { return reinterpret_cast<PluginEntryProc>(dlsym(handle, name)); };
#endif
    pluginMain = lookUp("VSTPluginMain");
    mainAlias = lookUp("main");
    if (!pluginMain) {
        error = format("%s does not export VSTPluginMain", native.c_str());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Host side
// ---------------------------------------------------------------------------
void clearHostEvents() {
    std::lock_guard<std::mutex> guard(eventsLock);
    events.clear();
}

std::vector<HostEvent> hostEvents() {
    std::lock_guard<std::mutex> guard(eventsLock);
    return events;
}

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterAutomate:
        case audioMasterBeginEdit:
        case audioMasterEndEdit: {
            std::lock_guard<std::mutex> guard(eventsLock);
            if (events.size() < 100000)
                events.push_back(HostEvent{opcode, index, opt});
            return opcode == audioMasterAutomate ? 0 : 1;
        }
        case audioMasterIdle:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(kRenderRate);
        case audioMasterGetBlockSize:
            return 1024;
        default:
            return 0;
    }
}

Instance::Instance(PluginEntryProc entry) {
    if (entry)
        record = entry(hostCallback);
}

Instance::~Instance() {
    if (record)
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

VstIntPtr Instance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
}

void Instance::setParameter(VstInt32 index, float value) const {
    record->setParameter(record, index, value);
}

float Instance::getParameter(VstInt32 index) const {
    return record->getParameter(record, index);
}

std::string Instance::text(VstInt32 opcode, VstInt32 index) const {
    char buffer[256] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

void checkRecord(const AEffect& effect, bool expectEditor, std::vector<std::string>& problems) {
    auto expect = [&problems](bool ok, std::string what) {
        if (!ok)
            problems.push_back(std::move(what));
    };
    expect(effect.magic == kEffectMagic, format("magic is 0x%08x, not 'VstP'", (unsigned)effect.magic));
    expect(effect.numPrograms == 10, format("numPrograms is %d, not 10", (int)effect.numPrograms));
    expect(effect.numParams == 13, format("numParams is %d, not 13", (int)effect.numParams));
    expect(effect.numInputs == 2, format("numInputs is %d, not 2", (int)effect.numInputs));
    expect(effect.numOutputs == 2, format("numOutputs is %d, not 2", (int)effect.numOutputs));
    const VstInt32 wanted = effFlagsCanReplacing | effFlagsProgramChunks | (expectEditor ? effFlagsHasEditor : 0);
    const VstInt32 flags = expectEditor ? effect.flags : (effect.flags & ~effFlagsHasEditor);
    expect(flags == wanted, format("flags are 0x%x, not 0x%x", (unsigned)effect.flags, (unsigned)wanted));
    expect(effect.initialDelay == 0, format("initialDelay is %d, not 0", (int)effect.initialDelay));
    expect(effect.ioRatio == 1.0f, format("ioRatio is %g, not 1", effect.ioRatio));
    expect(effect.uniqueID == vstFourCC('C', 'R', 'V', 'X'),
           format("uniqueID is 0x%08x, not 'CRVX'", (unsigned)effect.uniqueID));
    expect(effect.version == 1, format("version is %d, not 1", (int)effect.version));
    expect(effect.object != nullptr, "object is null");
    expect(effect.dispatcher && effect.process && effect.setParameter && effect.getParameter &&
               effect.processReplacing && effect.processDoubleReplacing,
           "a function slot of the record is null");
}

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------
const RenderMode kRenderModes[kRenderModeCount] = {
    {"channel 0, LowQ, mono", 0.0f, 0.0f, 0.0f},  {"channel 0, LowQ, stereo", 0.0f, 0.0f, 1.0f},
    {"channel 0, HighQ, mono", 0.0f, 1.0f, 0.0f}, {"channel 0, HighQ, stereo", 0.0f, 1.0f, 1.0f},
    {"channel 1, LowQ, mono", 1.0f, 0.0f, 0.0f},  {"channel 1, LowQ, stereo", 1.0f, 0.0f, 1.0f},
    {"channel 1, HighQ, mono", 1.0f, 1.0f, 0.0f}, {"channel 1, HighQ, stereo", 1.0f, 1.0f, 1.0f},
};

namespace {

// One voice of the test signal: a triangle from a 32-bit phase accumulator,
// retriggered every `noteLength` samples with a squared linear decay.
double triangleNote(uint32_t phase, int sampleInNote, int noteLength) {
    const uint32_t folded = phase < 0x80000000u ? phase : ~phase;  // 0 .. 2^31-1
    const double triangle = (static_cast<double>(static_cast<int32_t>(folded)) * 2.0 - 2147483647.0) / 2147483647.0;
    const double decay = 1.0 - static_cast<double>(sampleInNote) / noteLength;
    return triangle * decay * decay;
}

}  // namespace

void makeTestSignal(std::vector<float>& left, std::vector<float>& right) {
    left.assign(kRenderFrames, 0.0f);
    right.assign(kRenderFrames, 0.0f);
    // Phase steps of roughly 110, 164.8 and 220 Hz at 44100 Hz; notes of a
    // quarter second, the right side offset by an eighth.
    const uint32_t stepA = 10713069u, stepE = 16051200u, stepA2 = 21426138u;
    const int noteLength = 11025;
    uint32_t phaseA = 0, phaseE = 0x40000000u, phaseA2 = 0x12345678u;
    uint32_t noise = 0x2545F491u;
    for (int i = 0; i < kRenderFrames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(static_cast<int32_t>(noise)) / 2147483648.0) * 0.001;
        const double l = 0.45 * triangleNote(phaseA, i % noteLength, noteLength) +
                         0.25 * triangleNote(phaseE, i % noteLength, noteLength) + hiss;
        const int j = (i + noteLength / 2) % noteLength;
        const double r = 0.4 * triangleNote(phaseA2, j, noteLength) + 0.2 * triangleNote(phaseE, j, noteLength) - hiss;
        left[i] = static_cast<float>(l);
        right[i] = static_cast<float>(r);
        phaseA += stepA;
        phaseE += stepE;
        phaseA2 += stepA2;
    }
}

bool renderMode(PluginEntryProc entry, const RenderMode& mode, std::vector<float>& out, std::string& error) {
    Instance instance(entry);
    if (!instance) {
        error = format("%s: the entry point returned no instance", mode.name);
        return false;
    }
    std::vector<float> left, right;
    makeTestSignal(left, right);

    const int maxBlock = 1024;
    instance.dispatch(effOpen);
    instance.dispatch(effSetSampleRate, 0, 0, nullptr, kRenderRate);
    instance.dispatch(effSetBlockSize, 0, maxBlock);
    instance.setParameter(kParamChannel, mode.channel);
    instance.setParameter(kParamQuality, mode.quality);
    instance.setParameter(kParamStereo, mode.stereo);
    instance.setParameter(kParamDrive, 0.8f);
    instance.setParameter(kParamMid, 0.3f);
    instance.dispatch(effMainsChanged, 0, 1);

    // Uneven blocks, single frames included, so block boundaries are covered.
    static const int blockPattern[] = {1024, 1, 333, 512, 64, 7, 1024, 900, 2, 256};
    std::vector<float> inL(maxBlock), inR(maxBlock), outL(maxBlock), outR(maxBlock);
    out.assign(static_cast<size_t>(kRenderFrames) * 2, 0.0f);
    int done = 0;
    for (int b = 0; done < kRenderFrames; ++b) {
        const int n = std::min(blockPattern[b % (sizeof blockPattern / sizeof blockPattern[0])], kRenderFrames - done);
        std::copy(left.begin() + done, left.begin() + done + n, inL.begin());
        std::copy(right.begin() + done, right.begin() + done + n, inR.begin());
        std::fill(outL.begin(), outL.end(), 12345.0f);  // must be replaced, not added to
        std::fill(outR.begin(), outR.end(), 12345.0f);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        instance.effect()->processReplacing(instance.effect(), inputs, outputs, n);
        for (int i = 0; i < n; ++i) {
            out[2 * static_cast<size_t>(done + i)] = outL[i];
            out[2 * static_cast<size_t>(done + i) + 1] = outR[i];
        }
        done += n;
    }
    instance.dispatch(effMainsChanged, 0, 0);
    return true;
}

void checkRenderSane(const std::vector<float>& audio, std::vector<std::string>& problems) {
    const size_t perMode = static_cast<size_t>(kRenderFrames) * 2;
    if (audio.size() != perMode * kRenderModeCount) {
        problems.push_back(format("render has %zu values, not %zu", audio.size(), perMode * kRenderModeCount));
        return;
    }
    for (int m = 0; m < kRenderModeCount; ++m) {
        const float* data = audio.data() + perMode * m;
        double sumSquares = 0.0;
        size_t bad = 0, monoMismatch = 0;
        for (size_t i = 0; i < perMode; ++i) {
            if (!std::isfinite(data[i])) {
                ++bad;
                continue;
            }
            sumSquares += static_cast<double>(data[i]) * data[i];
        }
        if (kRenderModes[m].stereo < 0.5f) {
            for (size_t i = 0; i < perMode; i += 2)
                monoMismatch += data[i] != data[i + 1];
        }
        const double rms = std::sqrt(sumSquares / perMode);
        if (bad)
            problems.push_back(format("%s: %zu output values are not finite", kRenderModes[m].name, bad));
        if (!(rms > 1e-3))
            problems.push_back(format("%s: output is nearly silent (rms %g)", kRenderModes[m].name, rms));
        if (monoMismatch)
            problems.push_back(
                format("%s: right output differs from left in %zu frames", kRenderModes[m].name, monoMismatch));
    }
}

bool compareAudio(const std::vector<float>& expected, const std::vector<float>& actual, AudioDifference& diff,
                  std::string& error) {
    if (expected.size() != actual.size()) {
        error = format("renders differ in length: %zu against %zu values", expected.size(), actual.size());
        return false;
    }
    diff = AudioDifference{};
    for (size_t i = 0; i < expected.size(); ++i) {
        const double d = std::fabs(static_cast<double>(expected[i]) - actual[i]);
        // A NaN on either side counts as an infinite difference.
        if (!(d <= diff.maxAbs)) {
            diff.maxAbs = std::isnan(d) ? INFINITY : d;
            diff.mode = static_cast<int>(i / (static_cast<size_t>(kRenderFrames) * 2));
            diff.frame = static_cast<int>((i / 2) % kRenderFrames);
            diff.channel = static_cast<int>(i % 2);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Host view and banks
// ---------------------------------------------------------------------------
namespace {

// The same few edits wherever a bank is compared or round-tripped.
void applyBankEdits(const Instance& instance) {
    // Input and Drive are remembered per preamp channel: these belong to
    // channel 1, selected first; channel 0 keeps its own.
    instance.dispatch(effSetProgram, 0, 3);
    instance.setParameter(kParamChannel, 1.0f);
    instance.setParameter(kParamInput, 0.25f);
    instance.setParameter(kParamDrive, 0.75f);
    char name[] = "Smoke bank";
    instance.dispatch(effSetProgramName, 0, 0, name);
    instance.dispatch(effSetProgram, 0, 7);
    instance.setParameter(kParamVolume, 0.9f);
    instance.dispatch(effSetProgram, 0, 0);
}

std::vector<unsigned char> bankOf(const Instance& instance) {
    void* data = nullptr;
    const VstIntPtr size = instance.dispatch(effGetChunk, 0, 0, &data);
    if (size != 2080 || !data)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

}  // namespace

std::string describeHostView(PluginEntryProc entry) {
    Instance instance(entry);
    if (!instance)
        return "no instance";
    std::string view;
    view += "effect name: " + instance.text(effGetEffectName) + "\n";
    view += "vendor: " + instance.text(effGetVendorString) + "\n";
    view += "product: " + instance.text(effGetProductString) + "\n";
    view += format("vendor version: %ld\n", static_cast<long>(instance.dispatch(effGetVendorVersion)));
    view += format("category: %ld\n", static_cast<long>(instance.dispatch(effGetPlugCategory)));
    view += format("vst version: %ld\n", static_cast<long>(instance.dispatch(effGetVstVersion)));
    static const float values[] = {0.0f, 0.123456f, 0.37f, 0.5f, 1.0f};
    for (VstInt32 p = 0; p < 13; ++p) {
        view += format("param %d: name \"%s\" label \"%s\" default %.9g displays", (int)p,
                       instance.text(effGetParamName, p).c_str(), instance.text(effGetParamLabel, p).c_str(),
                       instance.getParameter(p));
        for (float v : values) {
            instance.setParameter(p, v);
            view += " \"" + instance.text(effGetParamDisplay, p) + "\"";
        }
        view += "\n";
    }
    for (VstInt32 p = 0; p < 10; ++p) {
        char name[256] = {};
        instance.dispatch(effGetProgramNameIndexed, p, -1, name);
        view += format("program %d: \"%s\"\n", (int)p, name);
    }
    return view;
}

std::vector<unsigned char> editedBank(PluginEntryProc entry) {
    Instance instance(entry);
    if (!instance)
        return {};
    applyBankEdits(instance);
    return bankOf(instance);
}

void compareBanks(const std::vector<unsigned char>& expected, const std::vector<unsigned char>& actual,
                  std::vector<std::string>& problems) {
    if (expected.size() != 2080 || actual.size() != 2080) {
        problems.push_back(format("bank sizes are %zu and %zu, not 2080", expected.size(), actual.size()));
        return;
    }
    for (int p = 0; p < 10; ++p) {
        const unsigned char* a = expected.data() + 208 * p;
        const unsigned char* b = actual.data() + 208 * p;
        // The name up to and including its terminating zero (or all 24 bytes).
        size_t nameLength = 0;
        while (nameLength < 24 && a[nameLength])
            ++nameLength;
        if (std::memcmp(a, b, std::min<size_t>(nameLength + 1, 24)) != 0)
            problems.push_back(format("bank program %d: names differ", p));
        if (std::memcmp(a + 24, b + 24, 52) != 0)
            problems.push_back(format("bank program %d: parameter values (bytes 24-75) differ", p));
        if (std::memcmp(a + 80, b + 80, 128) != 0)
            problems.push_back(format("bank program %d: channel settings (bytes 80-207) differ", p));
    }
}

void checkBankRoundTrip(PluginEntryProc entry, std::vector<std::string>& problems) {
    Instance source(entry), target(entry);
    if (!source || !target) {
        problems.push_back("bank round trip: the entry point returned no instance");
        return;
    }
    applyBankEdits(source);
    const std::vector<unsigned char> saved = bankOf(source);
    if (saved.empty()) {
        problems.push_back("bank round trip: getChunk did not answer a 2080-byte bank");
        return;
    }
    const std::vector<unsigned char> untouched = bankOf(target);

    // A bank one byte short is refused and changes nothing.
    std::vector<unsigned char> copy = saved;
    if (target.dispatch(effSetChunk, 0, 2079, copy.data()) != 0)
        problems.push_back("bank round trip: a 2079-byte bank was accepted");
    if (bankOf(target) != untouched)
        problems.push_back("bank round trip: a refused bank changed the programs");

    if (target.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data()) != 1)
        problems.push_back("bank round trip: setChunk refused the saved bank");
    if (bankOf(target) != saved)
        problems.push_back("bank round trip: the loaded bank differs from the saved one");

    target.dispatch(effSetProgram, 0, 3);
    if (target.getParameter(kParamInput) != 0.25f || target.getParameter(kParamChannel) != 1.0f ||
        target.getParameter(kParamDrive) != 0.75f)
        problems.push_back(format("bank round trip: program 3 came back as input %g, channel %g, drive %g",
                                  target.getParameter(kParamInput), target.getParameter(kParamChannel),
                                  target.getParameter(kParamDrive)));
    // Switching program 3 back to channel 0 shows that channel's own values.
    target.setParameter(kParamChannel, 0.0f);
    if (target.getParameter(kParamInput) == 0.25f || target.getParameter(kParamDrive) == 0.75f)
        problems.push_back("bank round trip: channel 0 of program 3 took channel 1's input or drive");
    const std::string name = target.text(effGetProgramName);
    if (name != "Smoke bank")
        problems.push_back("bank round trip: program 3 is named \"" + name + "\"");
}

// ---------------------------------------------------------------------------
// Reference file
// ---------------------------------------------------------------------------
bool makeReference(PluginEntryProc entry, Reference& ref, std::string& error) {
    ref.hostView = describeHostView(entry);
    ref.bank = editedBank(entry);
    ref.audio.clear();
    for (const RenderMode& mode : kRenderModes) {
        std::vector<float> out;
        if (!renderMode(entry, mode, out, error))
            return false;
        ref.audio.insert(ref.audio.end(), out.begin(), out.end());
    }
    return true;
}

namespace {

const char kMagic[8] = {'C', 'R', 'V', 'X', 'R', 'E', 'F', '2'};

bool writeU32(std::FILE* f, uint32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return std::fwrite(b, 1, 4, f) == 4;
}

bool readU32(std::FILE* f, uint32_t& v) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

}  // namespace

// Both sides are little-endian x86 with IEEE floats, so samples are stored
// as their in-memory bytes.
bool writeReference(const std::string& path, const Reference& ref, std::string& error) {
    std::FILE* f = std::fopen(nativePath(path).c_str(), "wb");
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    bool ok = std::fwrite(kMagic, 1, 8, f) == 8 && writeU32(f, static_cast<uint32_t>(ref.hostView.size())) &&
              std::fwrite(ref.hostView.data(), 1, ref.hostView.size(), f) == ref.hostView.size() &&
              writeU32(f, static_cast<uint32_t>(ref.bank.size())) &&
              std::fwrite(ref.bank.data(), 1, ref.bank.size(), f) == ref.bank.size() && writeU32(f, kRenderModeCount) &&
              writeU32(f, kRenderFrames) &&
              std::fwrite(ref.audio.data(), sizeof(float), ref.audio.size(), f) == ref.audio.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

bool readReference(const std::string& path, Reference& ref, std::string& error) {
    std::FILE* f = std::fopen(nativePath(path).c_str(), "rb");
    if (!f) {
        error = "cannot open the reference " + path +
                " (written on Linux by corvex-make-reference; scripts/stages/30-windows.sh makes it)";
        return false;
    }
    auto fail = [&](const std::string& why) {
        std::fclose(f);
        error = path + ": " + why;
        return false;
    };
    char magic[8];
    uint32_t textSize = 0, bankSize = 0, modes = 0, frames = 0;
    if (std::fread(magic, 1, 8, f) != 8 || std::memcmp(magic, kMagic, 8) != 0)
        return fail("not a reference file");
    if (!readU32(f, textSize) || textSize > (1u << 20))
        return fail("bad text size");
    ref.hostView.assign(textSize, '\0');
    if (textSize && std::fread(&ref.hostView[0], 1, textSize, f) != textSize)
        return fail("truncated text");
    if (!readU32(f, bankSize) || bankSize > (1u << 16))
        return fail("bad bank size");
    ref.bank.assign(bankSize, 0);
    if (bankSize && std::fread(ref.bank.data(), 1, bankSize, f) != bankSize)
        return fail("truncated bank");
    if (!readU32(f, modes) || !readU32(f, frames))
        return fail("truncated header");
    if (modes != static_cast<uint32_t>(kRenderModeCount) || frames != static_cast<uint32_t>(kRenderFrames))
        return fail(format("written for %u modes of %u frames, this program renders %d of %d", modes, frames,
                           kRenderModeCount, kRenderFrames));
    ref.audio.assign(static_cast<size_t>(modes) * frames * 2, 0.0f);
    if (std::fread(ref.audio.data(), sizeof(float), ref.audio.size(), f) != ref.audio.size())
        return fail("truncated audio");
    char extra;
    if (std::fread(&extra, 1, 1, f) != 0)
        return fail("trailing bytes");
    std::fclose(f);
    return true;
}

}  // namespace corvex::harness
