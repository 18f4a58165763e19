// The params extension: the effect's thirteen parameters with ids equal to
// their indexes. Names, defaults, units and which ones are switches come
// from the parameter table; the displays are the effect's own texts.
#include <cmath>
#include <cstring>

#include "clap/ClapExtensions.h"
#include "clap/ClapPlugin.h"

namespace {

constexpr size_t kTextBytes = 64;  // far beyond the interface's 8-character displays

// The effect's text for `opcode` (name, display, label) of parameter `index`.
void effectText(AEffect* effect, VstInt32 opcode, uint32_t index, char (&text)[kTextBytes]) {
    std::memset(text, 0, sizeof(text));
    effect->dispatcher(effect, opcode, static_cast<VstInt32>(index), 0, text, 0.0f);
    text[kTextBytes - 1] = 0;
}

void copyText(char* out, uint32_t capacity, const char* text) {
    const size_t length = std::strlen(text);
    const size_t n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

// A decimal number ("-6.02", "0.5", "1e-3"), read without the C library so
// that the host's locale (a decimal comma) cannot change what it means.
// Advances `text` past it; false when there is none.
bool parseNumber(const char*& text, double& value) {
    const char* s = text;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    double mantissa = 0.0;
    int digits = 0, scale = 0;
    for (; *s >= '0' && *s <= '9'; ++s, ++digits)
        mantissa = mantissa * 10.0 + (*s - '0');
    if (*s == '.') {
        for (++s; *s >= '0' && *s <= '9'; ++s, ++digits, --scale)
            mantissa = mantissa * 10.0 + (*s - '0');
    }
    if (digits == 0)
        return false;
    if (*s == 'e' || *s == 'E') {
        const char* e = s + 1;
        bool negativeExponent = false;
        if (*e == '+' || *e == '-')
            negativeExponent = *e++ == '-';
        int exponent = 0;
        bool any = false;
        for (; *e >= '0' && *e <= '9' && exponent < 1000; ++e, any = true)
            exponent = exponent * 10 + (*e - '0');
        if (any) {
            scale += negativeExponent ? -exponent : exponent;
            s = e;
        }
    }
    value = mantissa * std::pow(10.0, scale);
    if (negative)
        value = -value;
    text = s;
    return true;
}

// ---- the extension's slots ----

uint32_t CLAP_CALL paramsCount(const clap_plugin* p) {
    return ClapPlugin::from(p) ? ClapPlugin::kNumParams : 0;
}

// Main thread.
bool CLAP_CALL paramsGetInfo(const clap_plugin* p, uint32_t index, clap_param_info* info) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect() || !info || index >= ClapPlugin::kNumParams)
        return false;
    const corvex::ParameterInfo& facts = ClapPlugin::info(index);
    std::memset(info, 0, sizeof(*info));
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE | (self->isStepped(index) ? CLAP_PARAM_IS_STEPPED : 0u);
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
    if (!self || !self->effect() || !value || id >= ClapPlugin::kNumParams)
        return false;
    *value = self->getParameter(id);
    return true;
}

// Main thread.
bool CLAP_CALL paramsValueToText(const clap_plugin* p, clap_id id, double value, char* buffer, uint32_t capacity) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect() || !buffer || capacity == 0 || id >= ClapPlugin::kNumParams || !std::isfinite(value) ||
        !self->onMainThread())
        return false;
    return self->displayFor(id, static_cast<float>(value), buffer, capacity);
}

// Main thread. Takes what value_to_text gives ("0.500000", "-6.02060 dB",
// "-oo dB") and plain numbers; decibels where the effect displays them.
bool CLAP_CALL paramsTextToValue(const clap_plugin* p, clap_id id, const char* text, double* value) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect() || !text || !value || id >= ClapPlugin::kNumParams)
        return false;
    const char* label = ClapPlugin::info(id).label;
    const bool decibels = ClapPlugin::info(id).display == corvex::DisplayKind::decibels;
    while (isSpace(*text))
        ++text;
    double number = 0.0;
    bool silence = false;
    if (decibels && std::strncmp(text, "-oo", 3) == 0) {
        silence = true;
        text += 3;
    } else if (!parseNumber(text, number)) {
        return false;
    }
    while (isSpace(*text))
        ++text;
    if (*text && !(label[0] && equalsIgnoringCase(text, label)))
        return false;  // something after the number that is not the unit
    double result = silence ? 0.0 : decibels ? std::pow(10.0, number / 20.0) : number;
    if (!std::isfinite(result))
        return false;
    *value = result < 0.0 ? 0.0 : result > 1.0 ? 1.0 : result;
    return true;
}

// Audio thread while active, else main thread; never during process.
void CLAP_CALL paramsFlush(const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
    ClapPlugin* self = ClapPlugin::from(p);
    if (!self || !self->effect())
        return;
    self->reportChanges(out, 0);
    const uint32_t count = in && in->size ? in->size(in) : 0;
    for (uint32_t k = 0; k < count; ++k) {
        if (self->applyInputEvent(in->get ? in->get(in, k) : nullptr))
            self->reportChanges(out, 0);
    }
}

}  // namespace

const clap_plugin_params kClapParams = {paramsCount,       paramsGetInfo,     paramsGetValue,
                                        paramsValueToText, paramsTextToValue, paramsFlush};

bool ClapPlugin::displayFor(uint32_t index, float value, char* text, uint32_t capacity) {
    AEffect* display = displayEffect;
    if (!display || index >= kNumParams)
        return false;
    const auto i = static_cast<VstInt32>(index);
    // The effect displays its current value: the second instance takes the
    // value (only when it differs, since a quality switch redesigns the amp).
    const float current = display->getParameter(display, i);
    if (std::memcmp(&current, &value, sizeof(value)) != 0)
        display->setParameter(display, i, value);
    char shown[kTextBytes], label[kTextBytes];
    effectText(display, effGetParamDisplay, index, shown);
    effectText(display, effGetParamLabel, index, label);
    char whole[2 * kTextBytes + 2];
    std::strcpy(whole, shown);
    if (label[0]) {
        std::strcat(whole, " ");
        std::strcat(whole, label);
    }
    copyText(text, capacity, whole);
    return true;
}
