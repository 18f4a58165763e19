// A tiny VST 2.4 plug-in for testing the host: it passes audio through,
// scaled by twice its "Gain" parameter (unity at the default 0.5), keeps three
// programs that it stores as chunks, and checks how the host drives it. At
// effClose it writes what happened to the file named by FAKE_PLUGIN_LOG.
// FAKE_PLUGIN_FAULT makes its processing misbehave the way broken plug-ins
// do: "hang" (never returns), "segv" (writes through a null pointer),
// "abort", or "nan" (outputs NaN).
//
// Built in variants by compile definition:
//   FAKE_NULL_ENTRY   the entry point refuses to create an instance
//   FAKE_MAIN_ONLY    only the old entry name "main" is exported
//   FAKE_NO_CHUNKS    programs are plain parameter lists (no chunk flag)
//   FAKE_BAD_MAGIC    the record carries a wrong magic number
//   FAKE_NO_ENTRY     no entry point is exported at all
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "shell/vst2.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#if defined(FAKE_NULL_ENTRY)
constexpr bool refuseToStart = true;
#else
constexpr bool refuseToStart = false;
#endif

constexpr int numParams = 3;
constexpr int numPrograms = 3;

enum class Fault { none, hang, segv, abort, nan };

struct FakeProgram {
    char name[24];
    float params[numParams];
};

struct Fake {
    AEffect effect;
    audioMasterCallback host;
    FakeProgram programs[numPrograms];
    int current = 0;
    float sampleRate = 0.0f;
    int blockSize = 0;
    bool resumed = false;
    long processCalls = 0;
    int maxFrames = 0;
    int violations = 0;
    Fault fault = Fault::none;
    char log[8192];
    size_t logUsed = 0;

    void note(const char* format, double a = 0.0, double b = 0.0) {
        if (logUsed + 128 >= sizeof log)
            return;
        int n = std::snprintf(log + logUsed, sizeof log - logUsed, format, a, b);
        if (n > 0)
            logUsed += (size_t)n;
    }
};

const char* const paramNames[numParams] = {"Gain", "Mix PLS", "LowQ/HighQ"};
const char* const programNames[numPrograms] = {"Clean", "Boost", "Quiet"};
const float programGains[numPrograms] = {0.5f, 1.0f, 0.25f};

Fake* fakeOf(AEffect* e) {
    return static_cast<Fake*>(e->object);
}

void copyName(void* ptr, const char* text, size_t size) {
    char* out = static_cast<char*>(ptr);
    std::strncpy(out, text, size);
    out[size] = 0;
}

void writeLog(Fake* f) {
    f->note("process calls=%.0f max=%.0f", (double)f->processCalls, (double)f->maxFrames);
    f->note(" violations=%.0f\nclose\n", (double)f->violations);
    const char* path = std::getenv("FAKE_PLUGIN_LOG");
    if (path == nullptr)
        return;
    if (FILE* out = std::fopen(path, "w")) {
        std::fwrite(f->log, 1, f->logUsed, out);
        std::fclose(out);
    }
}

VstIntPtr VSTCALLBACK dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    Fake* f = fakeOf(e);
    FakeProgram& program = f->programs[f->current];
    switch (opcode) {
        case effOpen:
            f->note("open\n");
            return 0;
        case effClose:
            if (f->resumed)
                f->violations++;  // closed while still running
            writeLog(f);
            delete f;
            return 1;
        case effSetProgram:
            if (value >= 0 && value < numPrograms)
                f->current = (int)value;
            f->note("program %.0f\n", (double)value);
            return 0;
        case effGetProgram:
            return f->current;
        case effSetProgramName:
            std::strncpy(program.name, static_cast<const char*>(ptr), sizeof program.name);
            return 0;
        case effGetProgramName:
            copyName(ptr, program.name, 24);
            return 0;
        case effGetParamLabel:
            if (index == 0)
                std::strcpy(static_cast<char*>(ptr), "x");
            return 0;  // the others leave the host's buffer as it is
        case effGetParamDisplay:
            if (index >= 0 && index < numParams)
                std::snprintf(static_cast<char*>(ptr), 9, "%.3f", program.params[index]);
            return 0;
        case effGetParamName:
            if (index >= 0 && index < numParams)
                std::strcpy(static_cast<char*>(ptr), paramNames[index]);
            return 0;
        case effSetSampleRate:
            if (f->resumed)
                f->violations++;
            f->sampleRate = opt;
            f->note("rate %.0f\n", opt);
            return 0;
        case effSetBlockSize:
            if (f->resumed)
                f->violations++;
            f->blockSize = (int)value;
            f->note("block %.0f\n", (double)value);
            return 0;
        case effMainsChanged:
            f->resumed = value != 0;
            f->note("mains %.0f\n", (double)value);
            return 0;
        case effGetChunk: {
            if (ptr == nullptr)
                return 0;
            f->note("getchunk %.0f\n", (double)index);
            if (index != 0) {
                *static_cast<void**>(ptr) = &program;
                return sizeof(FakeProgram);
            }
            *static_cast<void**>(ptr) = f->programs;
            return sizeof f->programs;
        }
        case effSetChunk: {
            f->note("setchunk %.0f %.0f\n", (double)index, (double)value);
            size_t wanted = index != 0 ? sizeof(FakeProgram) : sizeof f->programs;
            if (ptr == nullptr || (size_t)value != wanted)
                return 0;
            std::memcpy(index != 0 ? (void*)&program : (void*)f->programs, ptr, wanted);
            return 1;
        }
        case effGetProgramNameIndexed:
            if (index < 0 || index >= numPrograms)
                return 0;
            copyName(ptr, f->programs[index].name, 24);
            return 1;
        case effGetEffectName:
        case effGetProductString:
            std::strcpy(static_cast<char*>(ptr), "Fake Through");
            return 1;
        case effGetVendorString:
            std::strcpy(static_cast<char*>(ptr), "Test Bench");
            return 1;
        case effGetVendorVersion:
            return 7;
        case effGetVstVersion:
            return 2400;
        default:
            return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    Fake* f = fakeOf(e);
    f->processCalls++;
    if (frames > f->maxFrames)
        f->maxFrames = frames;
    if (!f->resumed || frames <= 0 || frames > f->blockSize || f->sampleRate <= 0.0f || inputs == nullptr ||
        outputs == nullptr) {
        f->violations++;
        return;
    }
    switch (f->fault) {
        case Fault::hang:
            for (;;) {
#if !defined(_WIN32)
                sleep(1);
#endif
            }
        case Fault::segv: {
            // An unmapped address near zero, as a stale pointer gives; read
            // from a volatile so neither the compiler nor a sanitizer sees it coming.
            static volatile uintptr_t staleAddress = 64;
            volatile int* nowhere = reinterpret_cast<volatile int*>(staleAddress);
            *nowhere = 1;
            break;
        }
        case Fault::abort:
            std::abort();
        case Fault::nan:
            for (int c = 0; c < 2; c++)
                for (int i = 0; i < frames; i++)
                    outputs[c][i] = std::nanf("");
            return;
        case Fault::none:
            break;
    }
    const float gain = 2.0f * f->programs[f->current].params[0];
    for (int c = 0; c < 2; c++)
        for (int i = 0; i < frames; i++)
            outputs[c][i] = inputs[c][i] * gain;
}

void VSTCALLBACK processAccumulating(AEffect*, float**, float**, VstInt32) {}

void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float value) {
    Fake* f = fakeOf(e);
    if (index >= 0 && index < numParams)
        f->programs[f->current].params[index] = value;
}

float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) {
    Fake* f = fakeOf(e);
    return index >= 0 && index < numParams ? f->programs[f->current].params[index] : 0.0f;
}

AEffect* createFake(audioMasterCallback host) {
    if (host == nullptr)
        return nullptr;
    VstIntPtr version = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    if (version == 0)
        return nullptr;
    if (refuseToStart)
        return nullptr;
#if defined(FAKE_BAD_MAGIC)
    // A host never closes a record it cannot trust, so this one is not on the heap.
    static Fake unclosable;
    Fake* f = &unclosable;
#else
    Fake* f = new Fake();
#endif
    std::memset(&f->effect, 0, sizeof f->effect);
    f->host = host;
    f->note("version %.0f\n", (double)version);
    if (const char* fault = std::getenv("FAKE_PLUGIN_FAULT")) {
        f->fault = std::strcmp(fault, "hang") == 0    ? Fault::hang
                   : std::strcmp(fault, "segv") == 0  ? Fault::segv
                   : std::strcmp(fault, "abort") == 0 ? Fault::abort
                   : std::strcmp(fault, "nan") == 0   ? Fault::nan
                                                      : Fault::none;
    }
    for (int p = 0; p < numPrograms; p++) {
        std::memset(&f->programs[p], 0, sizeof f->programs[p]);
        std::strcpy(f->programs[p].name, programNames[p]);
        f->programs[p].params[0] = programGains[p];
        f->programs[p].params[1] = 0.5f;
    }
    AEffect& e = f->effect;
    e.magic = kEffectMagic;
#if defined(FAKE_BAD_MAGIC)
    e.magic = vstFourCC('N', 'o', 'p', 'e');
#endif
    e.dispatcher = dispatcher;
    e.process = processAccumulating;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.processReplacing = processReplacing;
    e.numPrograms = numPrograms;
    e.numParams = numParams;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
#if !defined(FAKE_NO_CHUNKS)
    e.flags |= effFlagsProgramChunks;
#endif
    e.ioRatio = 1.0f;
    e.object = f;
    e.uniqueID = vstFourCC('F', 'A', 'K', 'E');
    e.version = 3;
    return &e;
}

}  // namespace

#if defined(FAKE_NO_ENTRY)
// Something is exported, just not an entry point.
FAKE_EXPORT AEffect* notAnEntryPoint(audioMasterCallback host) {
    return createFake(host);
}
#elif defined(FAKE_MAIN_ONLY)
// The pre-2.4 entry name; C++ does not let a function be called main, so the
// symbol is named through the assembler.
FAKE_EXPORT AEffect* fakeOldMain(audioMasterCallback host) __asm__("main");
FAKE_EXPORT AEffect* fakeOldMain(audioMasterCallback host) {
    return createFake(host);
}
#else
FAKE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    return createFake(host);
}
#endif
