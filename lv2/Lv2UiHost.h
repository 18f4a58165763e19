// What an LV2 UI takes from its host at instantiation, shared by the head's
// and the rig's UIs: the features it uses, the ui:scaleFactor option and the
// size it announces. Threads: the UI thread, as the host calls a UI.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>

#include "editor/ParameterPort.h"

namespace corvex_lv2 {

struct Lv2UiHost {
    void* parent = nullptr;  // ui:parent, the window to embed in
    const LV2UI_Touch* touch = nullptr;
    const LV2UI_Resize* resize = nullptr;
    const LV2_Options_Option* options = nullptr;
    LV2_URID_Map* map = nullptr;  // null when missing or without a map function
};

inline Lv2UiHost readLv2UiHost(const LV2_Feature* const* features) {
    Lv2UiHost host;
    for (int i = 0; features && features[i]; ++i) {
        const char* uri = features[i]->URI;
        void* data = features[i]->data;
        if (!uri)
            continue;
        if (std::strcmp(uri, LV2_UI__parent) == 0)
            host.parent = data;
        else if (std::strcmp(uri, LV2_UI__touch) == 0)
            host.touch = static_cast<const LV2UI_Touch*>(data);
        else if (std::strcmp(uri, LV2_UI__resize) == 0)
            host.resize = static_cast<const LV2UI_Resize*>(data);
        else if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
            host.options = static_cast<const LV2_Options_Option*>(data);
        else if (std::strcmp(uri, LV2_URID__map) == 0 && data && static_cast<LV2_URID_Map*>(data)->map)
            host.map = static_cast<LV2_URID_Map*>(data);
    }
    return host;
}

// The ui:scaleFactor keys (0 without a map).
struct Lv2ScaleKeys {
    LV2_URID scaleFactor = 0;
    LV2_URID floatType = 0;
};

inline Lv2ScaleKeys lv2ScaleKeys(LV2_URID_Map* map) {
    Lv2ScaleKeys keys;
    if (map && map->map) {
        keys.scaleFactor = map->map(map->handle, LV2_UI__scaleFactor);
        keys.floatType = map->map(map->handle, LV2_ATOM__Float);
    }
    return keys;
}

// Takes a ui:scaleFactor from `options` (an array ending in a zero key):
// `scale` becomes one the panel (if any) took. Answers LV2_OPTIONS_SUCCESS
// when every option was taken, the error bits of the refused ones otherwise.
inline uint32_t takeLv2Scale(const LV2_Options_Option* options, const Lv2ScaleKeys& keys, corvex::Panel* panel,
                             double& scale) {
    uint32_t status = LV2_OPTIONS_SUCCESS;
    for (const LV2_Options_Option* o = options; o && o->key; ++o) {
        if (!keys.scaleFactor || o->key != keys.scaleFactor) {
            status |= LV2_OPTIONS_ERR_BAD_KEY;
            continue;
        }
        if (o->type != keys.floatType || o->size != sizeof(float) || !o->value) {
            status |= LV2_OPTIONS_ERR_BAD_VALUE;
            continue;
        }
        float v;
        std::memcpy(&v, o->value, sizeof v);
        if (!corvex::isPanelScale(v) || (panel && !panel->setScale(v))) {
            status |= LV2_OPTIONS_ERR_BAD_VALUE;
            continue;
        }
        scale = v;
    }
    return status;
}

// Tells the host the panel's size (width x height at scale 1) at `scale`.
inline void announceLv2UiSize(const LV2UI_Resize* resize, uint32_t width, uint32_t height, double scale) {
    if (resize && resize->ui_resize)
        resize->ui_resize(resize->handle, static_cast<int>(corvex::scaledPanelSide(width, scale)),
                          static_cast<int>(corvex::scaledPanelSide(height, scale)));
}

}  // namespace corvex_lv2
