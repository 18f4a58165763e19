// The editor's pictures, each drawn from code at its final size: the control
// film strips (Controls.cpp) and the panel behind them (Panel.cpp).
#pragma once

#include "ImageIo.h"

namespace artwork {

// The gold knob, 63 frames from 225 degrees clockwise to -45 degrees; with
// `withScale`, a smaller knob inside a 0 to 10 scale.
// Every picture is drawn at `density` output pixels per editor pixel: 1 for
// the images the editor shows at 1x, 2 for their double-resolution twins.
FloatImage makeKnobStrip(bool withScale, int density = 1);
// Two states each, off above on: the lever switch, the slide switch, the lamp.
FloatImage makeToggleStrip(int density = 1);
FloatImage makeSlideStrip(int density = 1);
FloatImage makeLampStrip(int density = 1);

// The rig strip's font (PNG 40): characters 32..126 in cells of
// kFontCellWidth x kFontCellHeight, cream with coverage as alpha.
constexpr int kFontFirst = 32;
constexpr int kFontLast = 126;
constexpr int kFontCellWidth = 7;
constexpr int kFontCellHeight = 14;
constexpr int kFontBaseline = 11;
FloatImage makeFontStrip(int density = 1);

// The panel (bitmap 128). Adds to *problemsOut one for each piece of
// lettering that runs into other lettering or under a control.
FloatImage makePanel(int* problemsOut, int density = 1);

}  // namespace artwork
