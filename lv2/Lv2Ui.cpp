// The LV2 UI: the amp's front panel in the host's window, bound to the
// plug-in only through LV2's own means. The UI implements the panel's
// parameter port: a control the user moves becomes a write to the
// parameter's control port (begin and end of a gesture become ui:touch
// where the host offers it); values come back as port events. No amp runs
// here: the UI keeps only the thirteen values the panel shows.
//
// The two-channel memory: a Channel change makes the amp recall the other
// channel's values while the host's ports still hold the old ones, and a
// restored state can hold values the UI has never seen. The DSP reports
// the values it uses on its "actual" output ports; the panel follows them,
// and after the amp switched channels the UI writes the recalled values to
// the host's ports so that the host shows what the amp does.
//
// Screen scale: the host's ui:scaleFactor option, at instantiation and
// later through the options interface; the panel's window is the scale
// times 660 x 248 (rounded) and ui:resize tells the host so.
//
// Threads: every entry point here runs on the host's UI thread.

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <memory>
#include <new>

#include "editor/ParameterPort.h"
#include "lv2/Lv2Ids.h"
#include "lv2/Lv2UiHost.h"

using namespace corvex_lv2;

namespace {

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The values a Channel switch recalls (the amp re-applies them in the order
// of corvex::kChannelReapplyOrder).
bool isPerChannel(uint32_t index) {
    return index < kNumControls && corvex::kParameterTable[index].role == corvex::ParameterRole::perChannel;
}

class Ui final : public corvex::ParameterPort {
public:
    Ui() {
        for (uint32_t i = 0; i < kNumControls; ++i)
            shown[i] = hostValue[i] = corvex::kParameterTable[i].defaultValue;
    }

    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    std::unique_ptr<corvex::Panel> panel;
    double scale = 1.0;
    corvex_lv2::Lv2ScaleKeys keys;  // 0 without urid:map
    float reportedScale = 1.0f;  // what the options interface last handed out

    // Takes a ui:scaleFactor option from `options`; the status of the
    // options interface.
    uint32_t takeOptions(const LV2_Options_Option* options) {
        return corvex_lv2::takeLv2Scale(options, keys, panel.get(), scale);
    }
    // Tells the host the panel's size at the current scale.
    void announceSize() { corvex_lv2::announceLv2UiSize(resize, corvex::kPanelWidth, corvex::kPanelHeight, scale); }

    // ParameterPort: the panel's calls.
    float get(int index) const override { return valid(index) ? shown[index] : 0.0f; }

    // The user moved a control: the host's port takes the value (held to
    // the port's 0..1). A Channel click writes only the Channel port: the
    // recalled values come from the amp.
    void set(int index, float value) override {
        if (!valid(index) || !(value == value))
            return;
        const float held = value < 0.0f ? 0.0f : value > 1.0f ? 1.0f : value;
        show(static_cast<uint32_t>(index), held);
        writePort(static_cast<uint32_t>(index), held);
    }
    void beginGesture(int index) override { gesture(index, true); }
    void endGesture(int index) override { gesture(index, false); }

    // The host's own port changed.
    void hostEvent(uint32_t port, float v) {
        hostValue[port] = v;
        if (syncing) {
            received[port] = true;
            return;
        }
        // The amp's actual values follow a host's Channel change and correct
        // whatever the panel shows for the recalled knobs.
        show(port, v);
    }

    // The amp reported a value it uses.
    void actualEvent(uint32_t index, float v) {
        const bool changed = !actualKnown[index] || !sameBits(actual[index], v);
        actual[index] = v;
        actualKnown[index] = true;
        if (syncing || !changed)
            return;
        if (index != corvex::kChannel) {
            follow(index);
            return;
        }
        // The amp switched channels: its recalled values, those already
        // reported and those still to come before the next idle.
        recalling = true;
        follow(corvex::kChannel);
        for (int p : corvex::kChannelReapplyOrder)
            follow(static_cast<uint32_t>(p));
    }

    // The host sends every port's value after instantiation. Until the first
    // idle those values are only collected, then shown.
    void idle() {
        if (syncing)
            endSync();
        recalling = false;
        panel->idle();
    }

private:
    static bool valid(int index) { return index >= 0 && static_cast<uint32_t>(index) < kNumControls; }

    void show(uint32_t index, float v) {
        if (sameBits(shown[index], v))
            return;
        shown[index] = v;
        if (panel)
            panel->parameterChanged(static_cast<int>(index), v);
    }

    void writePort(uint32_t index, float v) {
        hostValue[index] = v;
        write(controller, index, sizeof(float), 0, &v);
    }

    void gesture(int index, bool begin) {
        if (touch && touch->touch && valid(index))
            touch->touch(touch->handle, static_cast<uint32_t>(index), begin);
    }

    // The panel takes the amp's value of `index`; while recalling, so do the
    // host's ports.
    void follow(uint32_t index) {
        if (!actualKnown[index])
            return;
        const float v = actual[index];
        show(index, v);
        if (recalling && isPerChannel(index) && !sameBits(v, hostValue[index]))
            writePort(index, v);
    }

    void endSync() {
        syncing = false;
        for (uint32_t i = 0; i < kNumControls; ++i) {
            if (actualKnown[i])
                show(i, actual[i]);
            else if (received[i])
                show(i, hostValue[i]);
        }
        // A restored state the host's ports do not show yet.
        recalling = true;
        for (int p : corvex::kChannelReapplyOrder)
            follow(static_cast<uint32_t>(p));
        recalling = false;
    }

    float shown[kNumControls] = {};  // what the panel shows
    bool syncing = true;
    bool received[kNumControls] = {};
    float hostValue[kNumControls] = {};  // what the host's input ports hold
    bool actualKnown[kNumControls] = {};
    float actual[kNumControls] = {};  // what the amp reports it uses
    // From a change of the amp's channel to the next idle: recalled values
    // that reach us are written to the host's ports.
    bool recalling = false;
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!write || !widget || !pluginUri || std::strcmp(pluginUri, kPluginUri) != 0)
        return nullptr;
    const corvex_lv2::Lv2UiHost host = corvex_lv2::readLv2UiHost(features);
    void* parent = host.parent;
    const LV2_Options_Option* options = host.options;
    Ui* ui = new (std::nothrow) Ui;
    if (!ui)
        return nullptr;
    ui->touch = host.touch;
    ui->resize = host.resize;
    ui->keys = corvex_lv2::lv2ScaleKeys(host.map);
    ui->write = write;
    ui->controller = controller;
    if (parent) {
        try {
            ui->panel = corvex::createPanel(*ui);
            ui->takeOptions(options);  // a scale the panel cannot show leaves 1
        } catch (...) {
            ui->panel = nullptr;
        }
    }
    void* window = ui->panel && ui->panel->open(parent) ? ui->panel->nativeWindow() : nullptr;
    if (!window) {
        delete ui;  // no parent, no display, or the server refused the window
        return nullptr;
    }
    ui->announceSize();
    *widget = window;
    return ui;
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<Ui*>(handle);  // the panel closes with it
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer)
        return;
    float v;
    std::memcpy(&v, buffer, sizeof v);
    Ui* ui = static_cast<Ui*>(handle);
    if (port < kNumControls)
        ui->hostEvent(port, v);
    else if (port >= kFirstActual && port < kNumPorts)
        ui->actualEvent(port - kFirstActual, v);
}

// The window's events and redraws. 0 while the UI lives.
int idle(LV2UI_Handle handle) {
    static_cast<Ui*>(handle)->idle();
    return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

// The options interface: the host reads or changes the scale later (a
// window moved to another screen).
uint32_t optionsGet(LV2_Handle handle, LV2_Options_Option* options) {
    Ui* ui = static_cast<Ui*>(handle);
    uint32_t status = LV2_OPTIONS_SUCCESS;
    for (LV2_Options_Option* o = options; o && o->key; ++o) {
        if (!ui->keys.scaleFactor || o->key != ui->keys.scaleFactor) {
            status |= LV2_OPTIONS_ERR_BAD_KEY;
            continue;
        }
        ui->reportedScale = static_cast<float>(ui->scale);
        o->size = sizeof(float);
        o->type = ui->keys.floatType;
        o->value = &ui->reportedScale;
    }
    return status;
}

uint32_t optionsSet(LV2_Handle handle, const LV2_Options_Option* options) {
    Ui* ui = static_cast<Ui*>(handle);
    const double before = ui->scale;
    const uint32_t status = ui->takeOptions(options);
    if (ui->scale != before)
        ui->announceSize();
    return status;
}

const LV2_Options_Interface kOptions = {optionsGet, optionsSet};

// Any thread.
const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &kIdle;
    if (uri && std::strcmp(uri, LV2_OPTIONS__interface) == 0)
        return &kOptions;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// Discovery thread.
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
