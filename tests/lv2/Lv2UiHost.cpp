// A small LV2 UI host for the tests: runs the bundle's plug-in through lilv
// and opens its X11 UI through suil in a window of its own. Every loop it
// hands the UI's writes to the plug-in's ports (and echoes them to the UI,
// as hosts do), runs a block, sends the UI the output ports that changed
// and idles the UI. It prints what the UI tells it:
//   ui-open WINDOW WIDTH HEIGHT    the UI's window inside ours
//   write INDEX VALUE              write_function on a control port
//   touch INDEX 1|0                a gesture begins / ends
//   ui-resize WIDTH HEIGHT          the UI asked for this size (ui:resize)
//   ui-scale S                      the scale the UI reports through its
//                                   options interface (with --scale)
//   ui-closed
// Usage: corvex-lv2-ui-host BUNDLE_DIR SECONDS [--scale=S] [INDEX=VALUE...] [-- INDEX=VALUE...]
// With --scale=S the UI gets the ui:scaleFactor option S (and urid:map), as
// a host on a high-density screen gives it; our window is S times as large.
// The values before "--" are set one per block before the UI opens (the
// session's history); those after it when SIGUSR1 arrives, as the host's
// own automation would. SIGTERM ends it cleanly.
#include <X11/Xlib.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <suil/suil.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tests/lv2/Lv2TestHost.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t laterRequested = 0;

struct Host {
    SuilInstance* ui = nullptr;
    std::vector<std::pair<uint32_t, float>> echoes;
};

void writePort(SuilController controller, uint32_t index, uint32_t size, uint32_t protocol, const void* buffer) {
    if (protocol != 0 || size != sizeof(float))
        return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    std::printf("write %u %f\n", index, static_cast<double>(value));
    std::fflush(stdout);
    static_cast<Host*>(controller)->echoes.emplace_back(index, value);
}

void touchPort(SuilController, uint32_t index, bool grabbed) {
    std::printf("touch %u %d\n", index, grabbed ? 1 : 0);
    std::fflush(stdout);
}

// urid:map over a list of the URIs seen.
LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto* uris = static_cast<std::vector<std::string>*>(handle);
    for (size_t i = 0; i < uris->size(); ++i)
        if ((*uris)[i] == uri)
            return static_cast<LV2_URID>(i + 1);
    uris->push_back(uri);
    return static_cast<LV2_URID>(uris->size());
}

int resizeUi(LV2UI_Feature_Handle, int width, int height) {
    std::printf("ui-resize %d %d\n", width, height);
    std::fflush(stdout);
    return 0;
}

uint32_t portIndex(SuilController, const char*) {
    return LV2UI_INVALID_PORT_INDEX;
}

bool parseValue(const char* text, uint32_t& index, float& value) {
    char* end = nullptr;
    const unsigned long i = std::strtoul(text, &end, 10);
    if (!end || *end != '=')
        return false;
    index = static_cast<uint32_t>(i);
    value = std::strtof(end + 1, nullptr);
    return true;
}

double now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BUNDLE_DIR SECONDS [INDEX=VALUE...] [-- INDEX=VALUE...]\n", argv[0]);
        return 2;
    }
    const std::string bundle = std::string(argv[1]) + "/";
    const double seconds = std::atof(argv[2]);
    std::vector<std::pair<uint32_t, float>> initial, later;
    bool afterSeparator = false;
    float scale = 0.0f;  // 0: no option given
    for (int i = 3; i < argc; ++i) {
        uint32_t index;
        float value;
        if (std::strncmp(argv[i], "--scale=", 8) == 0)
            scale = std::strtof(argv[i] + 8, nullptr);
        else if (std::strcmp(argv[i], "--") == 0)
            afterSeparator = true;
        else if (parseValue(argv[i], index, value))
            (afterSeparator ? later : initial).emplace_back(index, value);
    }
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    std::signal(SIGUSR1, [](int) { laterRequested = 1; });

    // The plug-in, with the session's history applied block by block.
    const std::string lv2Path = std::string(argv[1]).substr(0, std::string(argv[1]).find_last_of('/'));
    Lv2World world(lv2Path.c_str());
    if (!world.plugin) {
        std::fprintf(stderr, "the plug-in is not in %s\n", lv2Path.c_str());
        return 1;
    }
    Lv2Instance dsp(world, 48000.0, 64);
    if (!dsp.instance)
        return 1;
    dsp.runSilence(64);
    for (const auto& [index, value] : initial) {
        if (index < Lv2Instance::kControls)
            dsp.controls[index] = value;
        dsp.runSilence(64);
    }

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const double windowScale = scale >= 1.0f ? scale : 1.0;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0,
                                              static_cast<unsigned>(660 * windowScale + 0.5),
                                              static_cast<unsigned>(248 * windowScale + 0.5), 0, 0, 0);
    XStoreName(display, window, "Corvex LV2 UI");
    XMapWindow(display, window);
    XSync(display, False);

    Host host;
    SuilHost* suil = suil_host_new(writePort, portIndex, nullptr, nullptr);
    suil_host_set_touch_func(suil, touchPort);
    const LV2_Feature parent = {LV2_UI__parent, reinterpret_cast<void*>(window)};
    std::vector<std::string> uris;
    LV2_URID_Map map = {&uris, mapUri};
    const LV2_Feature mapFeature = {LV2_URID__map, &map};
    LV2UI_Resize resize = {nullptr, resizeUi};
    const LV2_Feature resizeFeature = {LV2_UI__resize, &resize};
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, mapUri(&uris, LV2_UI__scaleFactor), sizeof(float), mapUri(&uris, LV2_ATOM__Float),
         &scale},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature optionsFeature = {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* plain[] = {&parent, nullptr};
    const LV2_Feature* scaled[] = {&parent, &mapFeature, &resizeFeature, &optionsFeature, nullptr};
    const LV2_Feature* const* features = scale > 0.0f ? scaled : plain;
    host.ui = suil_instance_new(suil, &host, LV2_UI__X11UI, "https://ardex-plugins.example/corvex",
                                "https://ardex-plugins.example/corvex#ui", LV2_UI__X11UI, bundle.c_str(),
                                (bundle + "CorvexUI.so").c_str(), features);
    if (!host.ui) {
        std::fprintf(stderr, "the UI could not be made\n");
        return 1;
    }
    const auto* idle =
        static_cast<const LV2UI_Idle_Interface*>(suil_instance_extension_data(host.ui, LV2_UI__idleInterface));
    if (!idle) {
        std::fprintf(stderr, "the UI has no idle interface\n");
        return 1;
    }
    const Window child = reinterpret_cast<Window>(suil_instance_get_widget(host.ui));
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, child, &attributes);
    std::printf("ui-open %lu %d %d\n", static_cast<unsigned long>(window), attributes.width, attributes.height);
    if (scale > 0.0f) {
        const auto* interface =
            static_cast<const LV2_Options_Interface*>(suil_instance_extension_data(host.ui, LV2_OPTIONS__interface));
        LV2_Options_Option asked[] = {{LV2_OPTIONS_INSTANCE, 0, mapUri(&uris, LV2_UI__scaleFactor), 0, 0, nullptr},
                                      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        if (interface && interface->get &&
            interface->get(suil_instance_get_handle(host.ui), asked) == LV2_OPTIONS_SUCCESS &&
            asked[0].type == mapUri(&uris, LV2_ATOM__Float) && asked[0].size == sizeof(float) && asked[0].value)
            std::printf("ui-scale %g\n", static_cast<double>(*static_cast<const float*>(asked[0].value)));
    }
    std::fflush(stdout);
    // What a host sends right after instantiation: every port's value.
    float sent[Lv2Instance::kControls];
    for (uint32_t i = 0; i < Lv2Instance::kControls; ++i)
        suil_instance_port_event(host.ui, i, sizeof(float), 0, &dsp.controls[i]);
    for (uint32_t i = 0; i < Lv2Instance::kControls; ++i) {
        sent[i] = dsp.actual[i];
        suil_instance_port_event(host.ui, 17 + i, sizeof(float), 0, &sent[i]);
    }

    const double end = now() + seconds;
    while (!stopRequested && now() < end) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
        if (laterRequested) {
            laterRequested = 0;
            for (const auto& [index, value] : later) {
                if (index < Lv2Instance::kControls)
                    dsp.controls[index] = value;
                suil_instance_port_event(host.ui, index, sizeof(float), 0, &value);
            }
        }
        std::vector<std::pair<uint32_t, float>> echoes;
        echoes.swap(host.echoes);
        for (const auto& [index, value] : echoes) {
            if (index < Lv2Instance::kControls)
                dsp.controls[index] = value;
            suil_instance_port_event(host.ui, index, sizeof(float), 0, &value);
        }
        dsp.runSilence(64);
        for (uint32_t i = 0; i < Lv2Instance::kControls; ++i) {
            if (std::memcmp(&sent[i], &dsp.actual[i], sizeof(float)) != 0) {
                sent[i] = dsp.actual[i];
                suil_instance_port_event(host.ui, 17 + i, sizeof(float), 0, &sent[i]);
            }
        }
        if (idle->idle(suil_instance_get_handle(host.ui)) != 0)
            break;
        const timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    suil_instance_free(host.ui);
    suil_host_free(suil);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    std::printf("ui-closed\n");
    std::fflush(stdout);
    return 0;
}
