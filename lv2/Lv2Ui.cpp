// The LV2 UI: the amp's own editor in the host's window. The UI keeps a
// "shadow" effect of its own that owns the editor, so the editor works
// exactly as in the VST 2.4 build; it talks to the DSP only through the
// port protocol. Port values the host sends go to the shadow with
// setParameter (which moves the controls); what the user does becomes
// write_function calls, and begin/end of a gesture become ui:touch calls
// where the host offers them.
//
// The two-channel memory: a Channel change makes the amp recall the other
// channel's values while the host's ports still hold the old ones, and a
// restored state can hold values the UI has never seen. The DSP reports
// the values it uses on its "actual" output ports; the shadow follows
// them, and after the amp switched channels the UI writes the recalled
// values to the host's ports so that the host shows what the amp does.

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <new>

#include "editor/AEffGUIEditor.h"
#include "gui/CFrame.h"
#include "lv2/Lv2Ids.h"
#include "model/Corvex.h"
#include "model/ParameterTable.h"
#include "shell/AudioEffect.h"
#include "shell/PluginEntry.h"

using namespace corvex_lv2;

namespace {

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

VstIntPtr VSTCALLBACK uiHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

// The values a Channel switch recalls (the effect re-applies them in the
// order of corvex::kChannelReapplyOrder).
bool isPerChannel(uint32_t index) {
    return index < kNumControls && corvex::kParameterTable[index].role == corvex::ParameterRole::perChannel;
}

struct Ui {
    AEffect* effect = nullptr;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    bool open = false;

    // The host sends every port's value after instantiation. Until the
    // first idle those values are only collected, then applied Channel
    // first so that they land in the amp's channel.
    bool syncing = true;
    bool received[kNumControls] = {};
    float hostValue[kNumControls] = {};  // what the host's input ports hold
    bool actualKnown[kNumControls] = {};
    float actual[kNumControls] = {};  // what the amp reports it uses
    // From a change of the amp's channel to the next idle: recalled values
    // that reach us are written to the host's ports.
    bool recalling = false;

    float value(VstInt32 index) const { return effect->getParameter(effect, index); }
    void set(VstInt32 index, float v) { effect->setParameter(effect, index, v); }

    void writePort(uint32_t index, float v) {
        if (index >= kNumControls)
            return;
        hostValue[index] = v;
        write(controller, index, sizeof(float), 0, &v);
    }

    // The shadow takes the amp's value of `index`; while recalling, so do
    // the host's ports.
    void follow(uint32_t index) {
        if (!actualKnown[index])
            return;
        const float v = actual[index];
        if (!sameBits(v, value(static_cast<VstInt32>(index))))
            set(static_cast<VstInt32>(index), v);
        if (recalling && isPerChannel(index) && !sameBits(v, hostValue[index]))
            writePort(index, v);
    }

    // UI thread: the host's own port changed.
    void hostEvent(uint32_t port, float v) {
        hostValue[port] = v;
        if (syncing) {
            received[port] = true;
            return;
        }
        // A host's Channel change recalls in the shadow as in the amp; the
        // amp's actual values follow and correct whatever the shadow had.
        if (!sameBits(v, value(static_cast<VstInt32>(port))))
            set(static_cast<VstInt32>(port), v);
    }

    // UI thread: the amp reported a value it uses.
    void actualEvent(uint32_t index, float v) {
        const bool changed = !actualKnown[index] || !sameBits(actual[index], v);
        actual[index] = v;
        actualKnown[index] = true;
        if (syncing || !changed)
            return;
        if (index != Corvex::kChannel) {
            follow(index);
            return;
        }
        // The amp switched channels: its recalled values, those already
        // reported and those still to come before the next idle.
        recalling = true;
        follow(Corvex::kChannel);
        for (int p : corvex::kChannelReapplyOrder)
            follow(static_cast<uint32_t>(p));
    }

    void endSync() {
        syncing = false;
        auto start = [this](uint32_t i) {
            if (actualKnown[i])
                set(static_cast<VstInt32>(i), actual[i]);
            else if (received[i])
                set(static_cast<VstInt32>(i), hostValue[i]);
        };
        start(Corvex::kChannel);
        for (uint32_t i = 0; i < kNumControls; ++i)
            if (i != Corvex::kChannel)
                start(i);
        // A restored state the host's ports do not show yet.
        recalling = true;
        for (int p : corvex::kChannelReapplyOrder)
            follow(static_cast<uint32_t>(p));
        recalling = false;
    }

    // UI thread: the shadow effect's calls to its host. A Channel click
    // writes only the Channel port: the values come from the amp.
    VstIntPtr fromEffect(VstInt32 opcode, VstInt32 index, float opt) {
        switch (opcode) {
            case audioMasterAutomate:
                if (index >= 0)
                    writePort(static_cast<uint32_t>(index), opt);
                return 0;
            case audioMasterBeginEdit:
            case audioMasterEndEdit:
                if (touch && index >= 0 && static_cast<uint32_t>(index) < kNumControls)
                    touch->touch(touch->handle, static_cast<uint32_t>(index), opcode == audioMasterBeginEdit);
                return 1;
            case audioMasterSizeWindow:
                return resize ? resize->ui_resize(resize->handle, corvex::kPanelWidth, corvex::kPanelHeight) == 0 : 0;
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

// UI thread: the editor's own X window inside the host's, for the host to embed.
void* editorWindow(AEffect* effect) {
    AudioEffect* object = static_cast<AudioEffect*>(effect->object);
    AEffGUIEditor* editor = object ? dynamic_cast<AEffGUIEditor*>(object->getEditor()) : nullptr;
    return editor && editor->getFrame() ? editor->getFrame()->getWindow() : nullptr;
}

// UI thread: closes the editor, then the shadow effect.
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
        ui->resize->ui_resize(ui->resize->handle, corvex::kPanelWidth, corvex::kPanelHeight);
    *widget = window;
    return ui;
}

// UI thread.
void cleanup(LV2UI_Handle handle) {
    destroy(static_cast<Ui*>(handle));
}

// UI thread.
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

// UI thread: the window's events and redraws. 0 while the UI lives.
int idle(LV2UI_Handle handle) {
    Ui* ui = static_cast<Ui*>(handle);
    if (ui->syncing)
        ui->endSync();
    ui->recalling = false;
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
