// Smoke test of the Windows plug-in as a host meets it: loads Corvex.dll with
// LoadLibrary/GetProcAddress, checks the record, compares what the host sees
// and what the plug-in renders with a reference written by the Linux build,
// round-trips a bank, and (when the plug-in has an editor and a display is
// there) opens the editor in a window and drags a knob with xdotool.
//
// Built as smoke32.exe for the shipped 32-bit DLL, which this machine can only
// run under wine32 in qemu-i386 (about a minute per start, so everything is
// checked in one run), and as smoke64.exe, which the mingw-x64 suite runs
// under wine64.
//
// Usage: smoke32.exe PLUGIN.dll REFERENCE.f32 [--expect-editor] [--no-editor]
// Exit status 0 when every check passed.
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "PluginHarness.h"

#if defined(_WIN32)
#include "EditorDrive.h"
#endif

using namespace corvex::harness;

namespace {

// Largest difference allowed between the Windows and Linux renders: the C
// runtimes' exp, sin and tan may differ in the last bit, nothing else.
constexpr double kAudioTolerance = 1e-6;

struct StepResult {
    std::string name;
    bool ok;
    double seconds;
    std::vector<std::string> problems;
    std::string note;
};

std::vector<StepResult> results;

// Every line also goes to the file named by CORVEX_SMOKE_REPORT, opened and
// closed per line. Under wine32 in qemu-i386 this program's standard output
// is lost once it has started xdotool (the spawned Unix child takes the
// parent's descriptors with it under emulation); the file keeps the report.
#if defined(__MINGW32__)
void report(const char* fmt, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
#else
void report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#endif
void report(const char* fmt, ...) {
    char line[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (const char* path = std::getenv("CORVEX_SMOKE_REPORT")) {
        if (std::FILE* f = std::fopen(nativePath(path).c_str(), "a")) {
            std::fputs(line, f);
            std::fclose(f);
        }
    }
}

// Runs one named step; the step fills `problems` and may leave a note.
void step(const char* name, const std::function<void(std::vector<std::string>&, std::string&)>& body) {
    const auto start = std::chrono::steady_clock::now();
    StepResult r{name, true, 0.0, {}, {}};
    body(r.problems, r.note);
    r.ok = r.problems.empty();
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    report("%-6s %-28s %7.2f s%s%s\n", r.ok ? "ok" : "FAILED", name, r.seconds, r.note.empty() ? "" : "  ",
           r.note.c_str());
    for (const std::string& p : r.problems)
        report("         - %s\n", p.c_str());
    results.push_back(std::move(r));
}

VstIntPtr VSTCALLBACK refusingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) {
    return 0;
}

// First line where two multi-line texts differ, for a readable report.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    size_t a = 0, b = 0;
    while (a < expected.size() || b < actual.size()) {
        const size_t ea = expected.find('\n', a), eb = actual.find('\n', b);
        const std::string la = expected.substr(a, ea == std::string::npos ? std::string::npos : ea - a);
        const std::string lb = actual.substr(b, eb == std::string::npos ? std::string::npos : eb - b);
        if (la != lb)
            return "expected [" + la + "] got [" + lb + "]";
        if (ea == std::string::npos || eb == std::string::npos)
            break;
        a = ea + 1;
        b = eb + 1;
    }
    return "texts differ in length";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PLUGIN REFERENCE [--expect-editor] [--no-editor]\n", argv[0]);
        return 2;
    }
    const std::string pluginPath = argv[1];
    const std::string referencePath = argv[2];
    bool expectEditor = false, skipEditor = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect-editor") == 0)
            expectEditor = true;
        if (std::strcmp(argv[i], "--no-editor") == 0)
            skipEditor = true;
    }
    report("smoke test of %s (%d-bit)\n", pluginPath.c_str(), static_cast<int>(sizeof(void*) * 8));

    PluginLibrary library;
    bool loaded = false;
    step("load library", [&](std::vector<std::string>& problems, std::string&) {
        std::string error;
        loaded = library.load(pluginPath, error);
        if (!loaded) {
            problems.push_back(error);
            return;
        }
        if (!library.mainEntry()) {
            problems.push_back("\"main\" is not exported");
            return;
        }
        Instance viaMain(library.mainEntry());
        if (!viaMain || viaMain.effect()->uniqueID != vstFourCC('C', 'R', 'V', 'X'))
            problems.push_back("\"main\" does not create the effect");
    });
    if (!loaded)
        return 1;
    const PluginEntryProc entry = library.vstPluginMain();

    step("entry point refusals", [&](std::vector<std::string>& problems, std::string&) {
        if (entry(nullptr) != nullptr)
            problems.push_back("a null host callback got an instance");
        if (entry(refusingHost) != nullptr)
            problems.push_back("a host answering version 0 got an instance");
    });

    bool hasEditor = false;
    step("record", [&](std::vector<std::string>& problems, std::string& note) {
        Instance instance(entry);
        if (!instance) {
            problems.push_back("the entry point returned null");
            return;
        }
        checkRecord(*instance.effect(), expectEditor, problems);
        hasEditor = (instance.effect()->flags & effFlagsHasEditor) != 0;
        char flags[32];
        std::snprintf(flags, sizeof flags, "flags 0x%x", static_cast<unsigned>(instance.effect()->flags));
        note = flags;
    });

    Reference reference;
    bool haveReference = false;
    step("read reference", [&](std::vector<std::string>& problems, std::string&) {
        std::string error;
        haveReference = readReference(referencePath, reference, error);
        if (!haveReference)
            problems.push_back(error);
    });

    if (haveReference) {
        step("host view against Linux", [&](std::vector<std::string>& problems, std::string&) {
            const std::string view = describeHostView(entry);
            if (view != reference.hostView)
                problems.push_back(firstDifference(reference.hostView, view));
        });
        step("bank against Linux", [&](std::vector<std::string>& problems, std::string&) {
            compareBanks(reference.bank, editedBank(entry), problems);
        });
    }

    step("bank round trip",
         [&](std::vector<std::string>& problems, std::string&) { checkBankRoundTrip(entry, problems); });

    step("render all modes", [&](std::vector<std::string>& problems, std::string& note) {
        std::vector<float> audio;
        for (const RenderMode& mode : kRenderModes) {
            std::vector<float> out;
            std::string error;
            if (!renderMode(entry, mode, out, error)) {
                problems.push_back(error);
                return;
            }
            audio.insert(audio.end(), out.begin(), out.end());
        }
        checkRenderSane(audio, problems);
        if (!haveReference)
            return;
        AudioDifference diff;
        std::string error;
        if (!compareAudio(reference.audio, audio, diff, error)) {
            problems.push_back(error);
            return;
        }
        char text[160];
        std::snprintf(text, sizeof text, "largest difference from Linux %.3g", diff.maxAbs);
        note = text;
        if (!(diff.maxAbs < kAudioTolerance)) {
            std::snprintf(text, sizeof text, "%s: difference %.3g at frame %d, %s channel (limit %g)",
                          kRenderModes[diff.mode].name, diff.maxAbs, diff.frame, diff.channel ? "right" : "left",
                          kAudioTolerance);
            problems.push_back(text);
        }
    });

#if defined(_WIN32)
    const char* display = std::getenv("DISPLAY");
    if (skipEditor) {
        report("skip   editor                 (--no-editor)\n");
    } else if (!hasEditor) {
        report("skip   editor                 (the plug-in reports no editor)\n");
    } else if (!display || !*display) {
        report("skip   editor                 (no DISPLAY)\n");
    } else {
        step("editor",
             [&](std::vector<std::string>& problems, std::string& note) { runEditorChecks(entry, problems, note); });
    }
#else
    (void)skipEditor;
    (void)hasEditor;
#endif

    // A host unloads the library when it is done with it: every instance is
    // closed by now, so nothing of the plug-in may still be running.
    step("unload library", [&](std::vector<std::string>& problems, std::string&) {
        if (!library.unload())
            problems.push_back("the library could not be unloaded");
    });

    int failed = 0;
    for (const StepResult& r : results)
        failed += !r.ok;
    report("%d of %zu checks passed\n", static_cast<int>(results.size()) - failed, results.size());
    return failed == 0 ? 0 : 1;
}
