// Where the editor puts its controls on the panel (frame coordinates, origin
// at the panel's top left), read from the parameter table the editor reads. The panel lettering is laid out around
// these rectangles and the preview composites the control images onto them.
#pragma once

#include "model/ParameterTable.h"

namespace artwork {

constexpr int kPanelWidth = 660;
constexpr int kPanelHeight = 248;
constexpr int kKnobSize = 45;
constexpr int kKnobFrames = 63;
constexpr int kSwitchWidth = 50;
constexpr int kSwitchHeight = 26;
constexpr int kLampSize = 8;

using ControlKind = corvex::ControlKind;

struct ControlPlace {
    ControlKind kind;
    int left, top;
    const char* label;  // main label (the channel, mix and slide switches have extra ones)
};

// The panel lettering under each control, by parameter index; null where the
// control's own image carries it.
constexpr const char* kPanelLabels[corvex::kNumParameters] = {
    "INPUT", nullptr,     "DRIVE",  "PLS MIX", "LOW",   "MID",   "HIGH",
    "CONT",  "POWER AMP", "OUTPUT", nullptr,   nullptr, nullptr,
};

constexpr ControlPlace placeOf(int tag) {
    return {corvex::kParameterTable[tag].control, corvex::kParameterTable[tag].left, corvex::kParameterTable[tag].top,
            kPanelLabels[tag]};
}

// In the editor's creation (and drawing) order: the places are the ones the
// editor uses (model/ParameterTable.h).
constexpr ControlPlace kControls[] = {
    placeOf(corvex::kControlOrder[0]),  placeOf(corvex::kControlOrder[1]),  placeOf(corvex::kControlOrder[2]),
    placeOf(corvex::kControlOrder[3]),  placeOf(corvex::kControlOrder[4]),  placeOf(corvex::kControlOrder[5]),
    placeOf(corvex::kControlOrder[6]),  placeOf(corvex::kControlOrder[7]),  placeOf(corvex::kControlOrder[8]),
    placeOf(corvex::kControlOrder[9]),  placeOf(corvex::kControlOrder[10]), placeOf(corvex::kControlOrder[11]),
    placeOf(corvex::kControlOrder[12]),
};
static_assert(sizeof kControls / sizeof kControls[0] == corvex::kNumParameters, "one place per parameter");

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
