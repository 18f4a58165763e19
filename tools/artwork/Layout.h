// Where the editor puts its controls on the panel (frame coordinates, origin
// at the panel's top left). The panel lettering is laid out around these
// rectangles and the preview composites the control images onto them.
#pragma once

namespace artwork {

constexpr int kPanelWidth = 660;
constexpr int kPanelHeight = 248;
constexpr int kKnobSize = 45;
constexpr int kKnobFrames = 63;
constexpr int kSwitchWidth = 50;
constexpr int kSwitchHeight = 26;
constexpr int kLampSize = 8;

enum class ControlKind { Knob, MixKnob, Toggle, Lamp, Slide };

struct ControlPlace {
    ControlKind kind;
    int left, top;
    const char* label;  // main label (the channel, mix and slide switches have extra ones)
};

// In the editor's creation (and drawing) order.
constexpr ControlPlace kControls[] = {
    {ControlKind::Knob, 62, 176, "INPUT"},
    {ControlKind::Toggle, 100, 192, nullptr},
    {ControlKind::Lamp, 158, 200, nullptr},
    {ControlKind::Slide, 551, 128, nullptr},  // mono/stereo
    {ControlKind::Knob, 185, 176, "DRIVE"},
    {ControlKind::MixKnob, 237, 176, "PLS MIX"},
    {ControlKind::Knob, 300, 176, "CONT"},
    {ControlKind::Knob, 351, 176, "LOW"},
    {ControlKind::Knob, 400, 176, "MID"},
    {ControlKind::Knob, 449, 176, "HIGH"},
    {ControlKind::Knob, 499, 176, "POWER AMP"},
    {ControlKind::Knob, 549, 176, "OUTPUT"},
    {ControlKind::Slide, 551, 108, nullptr},  // quality, drawn over the mono/stereo switch
};

// Knob pointer: frame 0 at 225 degrees (lower left), 270 degrees clockwise
// to frame 62 at -45 degrees (lower right); angles counter-clockwise from +x.
constexpr double kKnobStartDegrees = 225.0;
constexpr double kKnobRangeDegrees = 270.0;

// Inside a 45 x 45 knob frame.
constexpr double kKnobRadius = 17.0;
// Inside a 50 x 26 toggle state: the lever sits right of centre so that the
// channel names fit between it and the input knob.
constexpr double kToggleCentreX = 36.0;
constexpr double kToggleCentreY = 13.0;
constexpr double kToggleLeverLength = 9.5;
// Inside a 50 x 26 slide state: the body keeps to rows 6..20 because the two
// slide switches on the panel overlap by six rows.
constexpr double kSlideCentreY = 13.0;
constexpr double kSlideSlotLeft = 10.5;
constexpr double kSlideSlotRight = 39.5;

}  // namespace artwork
