// The rig's LV2 UI: the rig's panel in the host's window, bound to the DSP
// only through LV2's own means. Controls write their control ports (ui:touch
// around gestures where the host offers it); the meters and the gate's lamp
// follow the DSP's output ports; an impulse chosen or dropped here is
// checked here (the one-line refusal shown in the strip) and handed to the
// DSP as a patch:Set of its path on the control port, whose worker loads it;
// the DSP's patch:Set notifications tell the name of the impulse in use.
// Programs are the host's presets (its preset menu): the strip says so.
//
// Threads: every entry point runs on the host's UI thread.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "editor/RigPort.h"
#include "lv2/Lv2UiHost.h"
#include "lv2/rig/RigLv2Ids.h"
#include "rig/RigEngine.h"

using namespace corvex_rig_lv2;
using corvex::RigEngine;

namespace {

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class RigUi final : public corvex::RigPort {
public:
    RigUi() {
        for (uint32_t i = 0; i < kNumControls; ++i)
            values[i] = RigEngine::defaultValue(static_cast<int>(i));
    }

    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    LV2_URID_Map* map = nullptr;
    std::unique_ptr<corvex::Panel> panel;
    LV2_URID eventTransfer = 0, atomPath = 0, atomObject = 0, atomBlank = 0, patchSet = 0, patchProperty = 0,
             patchValue = 0, impulseKey = 0;

    float get(int index) const override { return valid(index) ? values[index] : 0.f; }
    void set(int index, float value) override {
        if (!valid(index))
            return;
        values[index] = std::clamp(value, 0.f, 1.f);
        write(controller, static_cast<uint32_t>(index), sizeof(float), 0, &values[index]);
    }
    void beginGesture(int index) override { gesture(index, true); }
    void endGesture(int index) override { gesture(index, false); }

    float takeInputPeak() override { return std::exchange(inputPeak, 0.f); }
    float takeOutputPeak() override { return std::exchange(outputPeak, 0.f); }
    bool gateClosed() const override { return closed; }
    std::string cabinetName() const override {
        const int model = RigEngine::cabinetModelOf(values[corvex::kCabinetModel]);
        if (model == RigEngine::kUserCabinet)
            return impulse.empty() ? std::string("User (none loaded)") : impulse;
        const char* name = RigEngine::cabinetName(model);
        return name ? name : "";
    }
    void stepCabinet(int delta) override {
        const int choices = impulse.empty() ? RigEngine::kBundledCabinets : RigEngine::kCabinetChoices;
        int model = RigEngine::cabinetModelOf(values[corvex::kCabinetModel]);
        model = ((model + delta) % choices + choices) % choices;
        set(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(model));
    }
    std::string programName() const override { return "in the host's preset menu"; }
    void stepProgram(int) override {}
    bool loadImpulse(const std::string& path, std::string& error) override {
        // Checked here first by the engine's own rule, so a refusal is
        // explained in the strip; the DSP reads it again on its worker.
        if (!RigEngine::checkImpulseFile(path, error))
            return false;
        if (path.size() >= 4000) {
            error = "The file's path is too long";
            return false;
        }
        std::vector<uint8_t> buffer(path.size() + 256);
        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, map);
        lv2_atom_forge_set_buffer(&forge, buffer.data(), buffer.size());
        LV2_Atom_Forge_Frame frame;
        LV2_Atom_Forge_Ref ref = lv2_atom_forge_object(&forge, &frame, 0, patchSet);
        ref = ref && lv2_atom_forge_key(&forge, patchProperty);
        ref = ref && lv2_atom_forge_urid(&forge, impulseKey);
        ref = ref && lv2_atom_forge_key(&forge, patchValue);
        ref = ref && lv2_atom_forge_path(&forge, path.c_str(), static_cast<uint32_t>(path.size() + 1));
        if (!ref) {
            error = "The file's path is too long";
            return false;
        }
        lv2_atom_forge_pop(&forge, &frame);
        const LV2_Atom* message = reinterpret_cast<const LV2_Atom*>(buffer.data());
        write(controller, kControlIn, lv2_atom_total_size(message), eventTransfer, message);
        impulse = baseName(path);
        set(corvex::kCabinetModel, RigEngine::valueOfCabinetModel(RigEngine::kUserCabinet));
        if (values[corvex::kCabinetOn] < 0.5f)
            set(corvex::kCabinetOn, 1.f);
        return true;
    }

    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        if (!buffer)
            return;
        if (format == 0 && size == sizeof(float)) {
            float v;
            std::memcpy(&v, buffer, sizeof v);
            if (!(v == v))
                return;  // NaN
            if (port < kNumControls)
                values[port] = std::clamp(v, 0.f, 1.f);
            else if (port == kInputPeak)
                inputPeak = std::max(inputPeak, v);
            else if (port == kOutputPeak)
                outputPeak = std::max(outputPeak, v);
            else if (port == kGateClosed)
                closed = v >= 0.5f;
            return;
        }
        if (format == eventTransfer && port == kNotifyOut && size >= sizeof(LV2_Atom))
            notification(static_cast<const LV2_Atom*>(buffer), size);
    }

private:
    static bool valid(int index) { return index >= 0 && static_cast<uint32_t>(index) < kNumControls; }

    void gesture(int index, bool begin) {
        if (valid(index) && touch && touch->touch)
            touch->touch(touch->handle, static_cast<uint32_t>(index), begin);
    }

    // A patch:Set of the impulse's path from the DSP: the impulse in use.
    void notification(const LV2_Atom* atom, uint32_t size) {
        if (lv2_atom_total_size(atom) > size || (atom->type != atomObject && atom->type != atomBlank))
            return;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
        if (object->body.otype != patchSet)
            return;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(object, patchProperty, &property, patchValue, &value, 0);
        if (!property || property->type != map->map(map->handle, LV2_ATOM__URID) ||
            reinterpret_cast<const LV2_Atom_URID*>(property)->body != impulseKey)
            return;
        if (!value || value->type != atomPath || value->size == 0)
            return;
        const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
        impulse = baseName(std::string(text, strnlen(text, value->size)));
    }

    float values[kNumControls];
    float inputPeak = 0.f, outputPeak = 0.f;
    bool closed = false;
    std::string impulse;  // the name of the user's impulse in use
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (!write || !widget || !pluginUri || std::strcmp(pluginUri, kPluginUri) != 0)
        return nullptr;
    const corvex_lv2::Lv2UiHost host = corvex_lv2::readLv2UiHost(features);
    void* parent = host.parent;
    std::unique_ptr<RigUi> ui(new (std::nothrow) RigUi);
    if (!ui)
        return nullptr;
    ui->touch = host.touch;
    ui->resize = host.resize;
    ui->map = host.map;
    if (!parent || !ui->map)  // (a map the host gave without its function is left out as missing)
        return nullptr;
    LV2_URID_Map* m = ui->map;
    ui->eventTransfer = m->map(m->handle, LV2_ATOM__eventTransfer);
    ui->atomPath = m->map(m->handle, LV2_ATOM__Path);
    ui->atomObject = m->map(m->handle, LV2_ATOM__Object);
    ui->atomBlank = m->map(m->handle, LV2_ATOM__Blank);
    ui->patchSet = m->map(m->handle, LV2_PATCH__Set);
    ui->patchProperty = m->map(m->handle, LV2_PATCH__property);
    ui->patchValue = m->map(m->handle, LV2_PATCH__value);
    ui->impulseKey = m->map(m->handle, kImpulseUri);
    ui->write = write;
    ui->controller = controller;
    ui->panel = corvex::createRigPanel(*ui);
    // The host's screen scale (ui:scaleFactor) at instantiation; one the
    // panel cannot show leaves 1.
    double scale = 1.0;
    corvex_lv2::takeLv2Scale(host.options, corvex_lv2::lv2ScaleKeys(m), ui->panel.get(), scale);
    void* window = ui->panel && ui->panel->open(parent) ? ui->panel->nativeWindow() : nullptr;
    if (!window)
        return nullptr;  // no display, or the server refused the window
    corvex_lv2::announceLv2UiSize(ui->resize, corvex::kPanelWidth, corvex::kPanelHeight + corvex::RigEditorStripHeight,
                                  scale);
    *widget = window;
    return ui.release();
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<RigUi*>(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    static_cast<RigUi*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
    RigUi* ui = static_cast<RigUi*>(handle);
    if (ui->panel)
        ui->panel->idle();
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
