// Every fact about each of the effect's thirteen parameters, in one table:
// the effect's names, defaults, display and behaviour, and where the front
// panel puts its control. The index in the table is the parameter index and
// the control's tag. Plain constants with no dependencies, so that every
// description of the plug-in (the effect, the editor, the artwork generator,
// other plug-in formats) reads the same facts.
#pragma once

namespace corvex {

// What setting the parameter does besides storing its value.
enum class ParameterRole {
    perChannel,     // remembered separately for each preamp channel
    shared,         // one value for both channels
    channelSwitch,  // selects the preamp channel and re-applies its values
    onOffSwitch,    // off below 0.5, on from 0.5
};

// How the host is shown the value (getParameterDisplay).
enum class DisplayKind {
    number,    // the stored value, 0 to 1
    decibels,  // 20 log10 of the stored value
};

// The front panel's control and its image.
enum class ControlKind { knob, mixKnob, toggle, lamp, slide };

struct ParameterInfo {
    const char* name;    // whole (up to 11 characters), never cut to 8
    float defaultValue;  // of the "Init" program
    const char* label;   // the unit, "" for none
    DisplayKind display;
    ParameterRole role;
    ControlKind control;
    int left;  // the control's top-left corner on the panel (pixels)
    int top;
};

// The front panel's size in pixels: the background image's, so the size
// every editor (VST, CLAP, LV2) reports to its host.
constexpr int kPanelWidth = 660;
constexpr int kPanelHeight = 248;

enum ParameterIndex : int {
    kInput = 0,
    kChannel,
    kDrive,
    kMixPls,
    kLow,
    kMid,
    kHigh,
    kContour,
    kPowerAmp,
    kVolume,
    kMonoStereo,
    kQuality,
    kBoost,
    kNumParameters
};

constexpr ParameterInfo kParameterTable[kNumParameters] = {
    {"Input", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 62, 176},
    {"Channel", 0.0f, "", DisplayKind::number, ParameterRole::channelSwitch, ControlKind::toggle, 100, 192},
    {"Drive", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 185, 176},
    {"Mix PLS", 0.5f, "", DisplayKind::number, ParameterRole::shared, ControlKind::mixKnob, 237, 176},
    {"Low", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 351, 176},
    {"Mid", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 400, 176},
    {"High", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 449, 176},
    {"Contour", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 300, 176},
    {"Power Amp", 0.5f, "", DisplayKind::number, ParameterRole::perChannel, ControlKind::knob, 499, 176},
    {"Volume", 0.5f, "dB", DisplayKind::decibels, ParameterRole::perChannel, ControlKind::knob, 549, 176},
    {"Mono/Stereo", 0.0f, "", DisplayKind::number, ParameterRole::onOffSwitch, ControlKind::slide, 551, 128},
    {"LowQ/HighQ", 0.0f, "", DisplayKind::number, ParameterRole::onOffSwitch, ControlKind::slide, 551, 108},
    {"TQZ Boost", 0.0f, "", DisplayKind::number, ParameterRole::onOffSwitch, ControlKind::lamp, 158, 200},
};

// The panel's controls by tag in creation order, which is also drawing order
// (later ones on top) and, reversed, the order in which they are offered a
// press. Two pairs overlap: the channel switch covers the input knob's right
// edge, and the quality switch the top of the mono/stereo switch; the later
// one of each pair wins.
constexpr int kControlOrder[kNumParameters] = {
    kInput, kChannel, kBoost, kMonoStereo, kDrive, kMixPls, kContour, kLow, kMid, kHigh, kPowerAmp, kVolume, kQuality,
};

// The order in which a channel switch re-applies the channel's own values
// (every per-channel parameter once).
constexpr int kChannelReapplyOrder[] = {kInput, kDrive, kLow, kMid, kHigh, kContour, kVolume, kPowerAmp};

constexpr bool isKnob(ControlKind kind) {
    return kind == ControlKind::knob || kind == ControlKind::mixKnob;
}

}  // namespace corvex
