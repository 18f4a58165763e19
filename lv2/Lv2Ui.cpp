// The LV2 UI: the amp's own editor in the host's window. The UI keeps a
// "shadow" effect of its own that owns the editor, so the editor works
// exactly as in the VST 2.4 build; it talks to the DSP only through the
// port protocol. Port values the host sends go to the shadow with
// setParameter (which moves the controls); what the user does becomes
// write_function calls, and begin/end of a gesture become ui:touch calls
// where the host offers them.
//
// The two-channel memory: a Channel change makes the DSP recall the other
// channel's values while the host's ports still show the old ones. The
// shadow recalls the same values, and the UI writes them to the host's
// ports so that the host shows what the amp does.

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <new>

#include "editor/AEffGUIEditor.h"
#include "gui/CFrame.h"
#include "lv2/Lv2Ids.h"
#include "model/Corvex.h"
#include "shell/AudioEffect.h"
#include "shell/PluginEntry.h"

using namespace corvex_lv2;

namespace {

const VstInt32 kPerChannel[] = {Corvex::kInput, Corvex::kDrive,   Corvex::kLow,    Corvex::kMid,
                                Corvex::kHigh,  Corvex::kContour, Corvex::kVolume, Corvex::kPowerAmp};

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

VstIntPtr VSTCALLBACK uiHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

struct Ui {
    AEffect* effect = nullptr;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    bool open = false;

    // The host sends every port's value after instantiation. Until the
    // first idle those values are only collected and then applied Channel
    // first, so that the host's values land in the host's channel and
    // nothing is written back.
    bool syncing = true;
    bool received[kNumControls] = {};
    float hostValue[kNumControls] = {};

    float value(VstInt32 index) const { return effect->getParameter(effect, index); }
    void set(VstInt32 index, float v) { effect->setParameter(effect, index, v); }

    void writePort(VstInt32 index, float v) {
        if (index < 0 || static_cast<uint32_t>(index) >= kNumControls)
            return;
        hostValue[index] = v;
        write(controller, static_cast<uint32_t>(index), sizeof(float), 0, &v);
    }

    // The channel's eight values, as the shadow recalled them, to the host.
    void writeRecalled() {
        for (VstInt32 index : kPerChannel)
            writePort(index, value(index));
    }

    // UI thread: a value from the host.
    void portEvent(uint32_t port, float v) {
        if (syncing) {
            received[port] = true;
            hostValue[port] = v;
            return;
        }
        hostValue[port] = v;
        if (sameBits(v, value(static_cast<VstInt32>(port))))
            return;  // our own write coming back, or nothing new
        set(static_cast<VstInt32>(port), v);
        if (port == Corvex::kChannel)
            writeRecalled();
    }

    void endSync() {
        syncing = false;
        if (received[Corvex::kChannel])
            set(Corvex::kChannel, hostValue[Corvex::kChannel]);
        for (uint32_t i = 0; i < kNumControls; ++i)
            if (received[i] && i != Corvex::kChannel)
                set(static_cast<VstInt32>(i), hostValue[i]);
    }

    // UI thread: the shadow effect's calls to its host.
    VstIntPtr fromEffect(VstInt32 opcode, VstInt32 index, float opt) {
        switch (opcode) {
        case audioMasterAutomate:
            writePort(index, opt);
            if (index == Corvex::kChannel)
                writeRecalled();
            return 0;
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
            if (touch && index >= 0 && static_cast<uint32_t>(index) < kNumControls)
                touch->touch(touch->handle, static_cast<uint32_t>(index), opcode == audioMasterBeginEdit);
            return 1;
        case audioMasterSizeWindow:
            return resize ? resize->ui_resize(resize->handle, kUiWidth, kUiHeight) == 0 : 0;
        default:
            return 0;
        }
    }
};

VstIntPtr VSTCALLBACK uiHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion)
        return 2400;
    Ui* ui = effect ? static_cast<Ui*>(effect->user) : nullptr;
    return ui ? ui->fromEffect(opcode, index, opt) : 0;
}

// The editor's own X window inside the host's, for the host to embed.
void* editorWindow(AEffect* effect) {
    AudioEffect* object = static_cast<AudioEffect*>(effect->object);
    AEffGUIEditor* editor = object ? dynamic_cast<AEffGUIEditor*>(object->getEditor()) : nullptr;
    return editor && editor->getFrame() ? editor->getFrame()->getWindow() : nullptr;
}

void destroy(Ui* ui) {
    if (ui->effect) {
        if (ui->open)
            ui->effect->dispatcher(ui->effect, effEditClose, 0, 0, nullptr, 0.0f);
        ui->effect->dispatcher(ui->effect, effClose, 0, 0, nullptr, 0.0f);
    }
    delete ui;
}

// UI thread.
LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!write || !widget || !pluginUri || std::strcmp(pluginUri, kPluginUri) != 0)
        return nullptr;
    void* parent = nullptr;
    Ui* ui = new (std::nothrow) Ui;
    if (!ui)
        return nullptr;
    for (int i = 0; features && features[i]; ++i) {
        const char* uri = features[i]->URI;
        if (std::strcmp(uri, LV2_UI__parent) == 0)
            parent = features[i]->data;
        else if (std::strcmp(uri, LV2_UI__touch) == 0)
            ui->touch = static_cast<const LV2UI_Touch*>(features[i]->data);
        else if (std::strcmp(uri, LV2_UI__resize) == 0)
            ui->resize = static_cast<const LV2UI_Resize*>(features[i]->data);
    }
    ui->write = write;
    ui->controller = controller;
    ui->effect = parent ? createEffectInstance(uiHost) : nullptr;
    if (!ui->effect || !(ui->effect->flags & effFlagsHasEditor)) {
        destroy(ui);
        return nullptr;
    }
    ui->effect->user = ui;
    for (uint32_t i = 0; i < kNumControls; ++i)
        ui->hostValue[i] = ui->value(static_cast<VstInt32>(i));
    ui->effect->dispatcher(ui->effect, effEditOpen, 0, 0, parent, 0.0f);
    void* window = editorWindow(ui->effect);
    if (!window) {
        destroy(ui);  // no display, or the server refused the window
        return nullptr;
    }
    ui->open = true;
    if (ui->resize)
        ui->resize->ui_resize(ui->resize->handle, kUiWidth, kUiHeight);
    *widget = window;
    return ui;
}

// UI thread.
void cleanup(LV2UI_Handle handle) {
    destroy(static_cast<Ui*>(handle));
}

// UI thread.
void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (port >= kNumControls || format != 0 || size != sizeof(float) || !buffer)
        return;
    float v;
    std::memcpy(&v, buffer, sizeof v);
    static_cast<Ui*>(handle)->portEvent(port, v);
}

// UI thread: the window's events and redraws. 0 while the UI lives.
int idle(LV2UI_Handle handle) {
    Ui* ui = static_cast<Ui*>(handle);
    if (ui->syncing)
        ui->endSync();
    ui->effect->dispatcher(ui->effect, effEditIdle, 0, 0, nullptr, 0.0f);
    return 0;
}

const LV2UI_Idle_Interface kIdle = {idle};

// Any thread.
const void* extensionData(const char* uri) {
    if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &kIdle;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

// Discovery thread.
extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
