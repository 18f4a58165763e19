// corvex-editor-host: shows a VST 2.4 plug-in's editor in a window of its
// own, without a DAW, the way Linux hosts do it: a top-level X11 window sized
// to the editor's rectangle, effEditOpen with its window id, effEditIdle
// about every 20 ms. Every automation, begin-edit and end-edit the plug-in
// sends is printed on stdout, one flushed line each:
//     automate <index> <value>
//     begin-edit <index>
//     end-edit <index>
// It ends when the window is closed, on SIGTERM or SIGINT, or after
// --seconds N; --screenshot FILE saves the editor as a PNG just before it
// closes.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "loader/PluginLibrary.h"
#include "host/EditorWindow.h"
#include "host/HostPlatform.h"
#include "shell/vst2.h"

namespace {

constexpr int kIdleMilliseconds = 20;

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

struct Options {
    std::string plugin;
    std::string screenshot;
    double seconds = 0.0;  // 0: until the window closes or a signal
    int x = 0;
    int y = 0;
    double scale = 0.0;  // 0: not told
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: corvex-editor-host [--plugin PATH] [--seconds N] [--screenshot FILE.png] [--position X,Y]\n"
                 "                          [--scale S]\n"
                 "Opens the plug-in's editor in a window of its own and prints what the plug-in tells the\n"
                 "host: 'automate <index> <value>', 'begin-edit <index>', 'end-edit <index>'.\n"
                 "  --plugin PATH        the plug-in library (default: ../plugin/Corvex.so beside this program)\n"
                 "  --seconds N          close after N seconds (default: when the window is closed, or on\n"
                 "                       SIGINT/SIGTERM)\n"
                 "  --screenshot FILE    save the editor's window as PNG just before closing\n"
                 "  --position X,Y       where to put the window on the screen (default 0,0)\n"
                 "  --scale S            the screen scale told to the editor, 1 to 4 (as a host on a\n"
                 "                       high-density screen does; default: the editor's own hint)\n");
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "corvex-editor-host: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            std::exit(0);
        } else if (arg == "--plugin") {
            const char* v = value("--plugin");
            if (!v)
                return false;
            options.plugin = v;
        } else if (arg == "--screenshot") {
            const char* v = value("--screenshot");
            if (!v)
                return false;
            options.screenshot = v;
        } else if (arg == "--seconds") {
            const char* v = value("--seconds");
            if (!v)
                return false;
            char* end = nullptr;
            errno = 0;
            options.seconds = std::strtod(v, &end);
            if (errno || end == v || *end || !(options.seconds > 0.0) || options.seconds > 86400.0) {
                std::fprintf(stderr, "corvex-editor-host: --seconds wants a number of seconds above 0, got '%s'\n", v);
                return false;
            }
        } else if (arg == "--scale") {
            const char* v = value("--scale");
            if (!v)
                return false;
            char* end = nullptr;
            options.scale = std::strtod(v, &end);
            if (end == v || *end != 0 || !(options.scale >= 1.0 && options.scale <= 4.0)) {
                std::fprintf(stderr, "corvex-editor-host: --scale wants a number from 1 to 4, got '%s'\n", v);
                return false;
            }
        } else if (arg == "--position") {
            const char* v = value("--position");
            if (!v)
                return false;
            if (std::sscanf(v, "%d,%d", &options.x, &options.y) != 2) {
                std::fprintf(stderr, "corvex-editor-host: --position wants X,Y, got '%s'\n", v);
                return false;
            }
        } else {
            std::fprintf(stderr, "corvex-editor-host: unknown option '%s' (try --help)\n", arg.c_str());
            return false;
        }
    }
    return true;
}

std::string defaultPluginPath() {
    const std::string built = hostplatform::builtPluginPath();
    return built.empty() ? "Corvex.so" : built;
}

void copyText(void* ptr, const char* text, size_t limit) {
    if (!ptr)
        return;
    std::strncpy(static_cast<char*>(ptr), text, limit - 1);
    static_cast<char*>(ptr)[limit - 1] = 0;
}

// The host callback: prints the edit traffic, answers the usual questions.
VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterCurrentId:
            return effect ? effect->uniqueID : 0;
        case audioMasterAutomate:
            std::printf("automate %d %.6f\n", static_cast<int>(index), static_cast<double>(opt));
            std::fflush(stdout);
            return 1;
        case audioMasterBeginEdit:
            std::printf("begin-edit %d\n", static_cast<int>(index));
            std::fflush(stdout);
            return 1;
        case audioMasterEndEdit:
            std::printf("end-edit %d\n", static_cast<int>(index));
            std::fflush(stdout);
            return 1;
        case audioMasterGetSampleRate:
            return 44100;
        case audioMasterGetBlockSize:
            return 512;
        case audioMasterGetVendorString:
            copyText(ptr, "Ardex Plugins", 64);
            return 1;
        case audioMasterGetProductString:
            copyText(ptr, "corvex-editor-host", 64);
            return 1;
        default:
            // Idle, display updates, window-size requests and capability
            // queries: nothing to do here.
            return 0;
    }
}

double secondsSince(const timespec& start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options))
        return 2;
    if (options.plugin.empty())
        options.plugin = defaultPluginPath();

    hostwindow::EditorWindow window;
    std::string windowError;
    if (!window.connect(windowError)) {
        std::fprintf(stderr, "corvex-editor-host: %s\n", windowError.c_str());
        return 1;
    }

    corvex::PluginLibrary library;
    std::string loadError;
    if (!library.open(options.plugin, loadError)) {
        std::fprintf(stderr, "corvex-editor-host: cannot load %s: %s\n", options.plugin.c_str(), loadError.c_str());
        return 1;
    }
    auto entry = library.entry();
    AEffect* effect = entry ? entry(hostCallback) : nullptr;
    if (!effect || effect->magic != kEffectMagic || !effect->dispatcher) {
        std::fprintf(stderr, "corvex-editor-host: %s is not a VST 2.4 plug-in that starts\n", options.plugin.c_str());
        library.close();
        return 1;
    }
    auto dispatch = [effect](VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                             float opt = 0.f) { return effect->dispatcher(effect, opcode, index, value, ptr, opt); };
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, 44100.f);
    dispatch(effSetBlockSize, 0, 512);

    int exitCode = 0;
    if (!(effect->flags & effFlagsHasEditor)) {
        std::fprintf(stderr, "corvex-editor-host: the plug-in has no editor\n");
        exitCode = 1;
    }

    // The content scale as hosts on high-density screens tell it: the
    // vendor-specific call 'PreS' / 'AeCs' with the scale, before the size.
    if (exitCode == 0 && options.scale > 0.0 &&
        dispatch(effVendorSpecific, 0x50726553, 0x41654373, nullptr, static_cast<float>(options.scale)) != 1) {
        std::fprintf(stderr, "corvex-editor-host: the plug-in refused the scale %g\n", options.scale);
        exitCode = 1;
    }

    ERect* rect = nullptr;
    int width = 0, height = 0;
    if (exitCode == 0 && dispatch(effEditGetRect, 0, 0, &rect) && rect) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    if (exitCode == 0 && (width <= 0 || height <= 0)) {
        std::fprintf(stderr, "corvex-editor-host: the plug-in reports no editor size\n");
        exitCode = 1;
    }

    if (exitCode == 0 && !window.open(width, height, options.x, options.y, "Corvex", windowError)) {
        std::fprintf(stderr, "corvex-editor-host: %s\n", windowError.c_str());
        exitCode = 1;
    }
    if (exitCode == 0) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);

        dispatch(effEditOpen, 0, 0, window.handle());
        std::printf("editor-open %lu %d %d\n", window.id(), width, height);
        std::fflush(stdout);

        timespec start{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        while (!stopRequested && window.pump()) {
            dispatch(effEditIdle);
            if (options.seconds > 0.0 && secondsSince(start) >= options.seconds)
                break;
            const timespec pause{0, kIdleMilliseconds * 1000000L};
            nanosleep(&pause, nullptr);  // a signal cuts it short
        }

        if (!options.screenshot.empty() && !window.destroyed()) {
            dispatch(effEditIdle);  // the last changes drawn
            window.sync();
            if (!window.saveScreenshot(options.screenshot)) {
                std::fprintf(stderr, "corvex-editor-host: cannot write the screenshot %s\n",
                             options.screenshot.c_str());
                exitCode = 1;
            }
        }
        dispatch(effEditClose);
        window.close();
        std::printf("editor-closed\n");
        std::fflush(stdout);
    }

    dispatch(effClose);  // deletes the effect and its editor
    library.close();
    window.close();
    return exitCode;
}
