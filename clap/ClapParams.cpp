// The params extension: the amp's thirteen parameters with ids equal to
// their indexes. Names, defaults, steps, displays and the text a host types
// back all come from the engine.
#include <cmath>
#include <cstring>

#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace {

using corvex::AmpEngine;

void copyText(char* out, uint32_t capacity, const char* text) {
    const size_t length = std::strlen(text);
    const size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
}

uint32_t CLAP_CALL paramsCount(const clap_plugin* p) {
    return ClapPlugin::from(p) ? ClapPlugin::kNumParams : 0;
}

// Main thread.
bool CLAP_CALL paramsGetInfo(const clap_plugin* p, uint32_t index, clap_param_info* info) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !info || index >= ClapPlugin::kNumParams)
        return false;
    const auto i = static_cast<int>(index);
    const corvex::ParameterInfo& facts = *AmpEngine::info(i);
    std::memset(info, 0, sizeof(*info));
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE | (AmpEngine::stepCount(i) > 0 ? CLAP_PARAM_IS_STEPPED : 0u);
    info->cookie = nullptr;
    copyText(info->name, CLAP_NAME_SIZE, facts.name);
    info->module[0] = 0;
    info->min_value = 0.0;
    info->max_value = 1.0;
    info->default_value = facts.defaultValue;
    return true;
}

// Main thread.
bool CLAP_CALL paramsGetValue(const clap_plugin* p, clap_id id, double* value) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !value || id >= ClapPlugin::kNumParams)
        return false;
    *value = self->engine()->value(static_cast<int>(id));
    return true;
}

// Main thread: the VST 2.4 build's display of the value, with its unit.
bool CLAP_CALL paramsValueToText(const clap_plugin* p, clap_id id, double value, char* buffer, uint32_t capacity) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !buffer || capacity == 0 || id >= ClapPlugin::kNumParams || !std::isfinite(value))
        return false;
    return AmpEngine::displayText(static_cast<int>(id), static_cast<float>(value), buffer, capacity, true);
}

// Main thread. Takes what value_to_text gives ("0.500000", "-6.02060 dB",
// "-oo dB") and plain numbers; decibels where the amp displays them.
bool CLAP_CALL paramsTextToValue(const clap_plugin* p, clap_id id, const char* text, double* value) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine() || !text || !value || id >= ClapPlugin::kNumParams)
        return false;
    return AmpEngine::textToValue(static_cast<int>(id), text, *value);
}

// Audio thread while active, else main thread; never during process.
void CLAP_CALL paramsFlush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->engine())
        return;
    self->reportChanges(out, 0);
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (self->applyInputEvent(in->get ? in->get(in, k) : nullptr))
            self->reportChanges(out, 0);
    }
    self->engine()->endBlock();
}

}  // namespace

const clap_plugin_params kClapParams = {paramsCount,       paramsGetInfo,     paramsGetValue,
                                        paramsValueToText, paramsTextToValue, paramsFlush};
