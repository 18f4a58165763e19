// The control film strips: the gold knob (with and without its scale), the
// lever and slide switches and the lamp, each frame clipped to its own cell.
#include <cairo.h>

#include <cmath>
#include <string>

#include "Canvas.h"
#include "Layout.h"
#include "Pictures.h"
#include "Style.h"

namespace artwork {

namespace {

// ---------------------------------------------------------------------------
// Knob
// ---------------------------------------------------------------------------

double knobAngleDegrees(int frame) {
    return kKnobStartDegrees - kKnobRangeDegrees * frame / (kKnobFrames - 1);
}

// A gold cap knob of radius r centred at cx, cy whose pointer is at
// angleDegrees (counter-clockwise from +x, screen y pointing down).
void drawKnob(Canvas& canvas, double cx, double cy, double r, double angleDegrees) {
    cairo_t* cr = canvas.cr();
    const double k = r / kKnobRadius;
    const double screenAngle = -rad(angleDegrees);

    // Soft contact shadow, offset down and right.
    cairo_pattern_t* shadow =
        cairo_pattern_create_radial(cx + 0.6 * k, cy + 1.7 * k, r - 2.0 * k, cx + 0.6 * k, cy + 1.7 * k, r + 3.0 * k);
    addStop(shadow, 0.0, {0, 0, 0}, 0.55);
    addStop(shadow, 0.45, {0, 0, 0}, 0.25);
    addStop(shadow, 1.0, {0, 0, 0}, 0.0);
    cairo_set_source(cr, shadow);
    cairo_arc(cr, cx + 0.6 * k, cy + 1.7 * k, r + 3.0 * k, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    const double capR = 12.4 * k, grooveR = 13.3 * k;
    const double px = 1.0 / canvas.scale();
    const int ridges = 36;
    canvas.shade(cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1, [&](double x, double y, Rgb& c, double& a) {
        const double dx = x - cx, dy = y - cy;
        const double d = std::hypot(dx, dy);
        if (d > r + px)
            return false;
        a = clamp01((r - d) / px + 0.5);
        const double phi = std::atan2(dy, dx);
        const double facing = std::cos(phi - kLightAngle);  // +1 on the rim facing the light
        if (d > grooveR) {
            // Knurled skirt: ridges turn with the knob.
            const double t = (d - grooveR) / (r - grooveR);
            const double phase = (phi - screenAngle) * ridges / (2 * kPi);
            const double f = phase - std::floor(phase);
            const double tangential = -std::sin(phi) * kLightX + std::cos(phi) * kLightY;
            const double ridge = std::sin(2 * kPi * f);
            double lum = 0.50 + 0.28 * facing + 0.16 * ridge * (0.35 + std::fabs(tangential));
            lum -= 0.30 * smoothstep(0.55, 1.0, t);                                  // rolls away at the outer edge
            lum += 0.18 * (1.0 - smoothstep(0.0, 0.25, t)) * std::max(0.0, facing);  // lip
            c = gold(lum);
        } else if (d > capR) {
            // Groove between skirt and cap.
            const double t = (d - capR) / (grooveR - capR);
            c = gold(0.16 + 0.10 * facing + 0.08 * std::sin(kPi * t));
        } else {
            // Machined top: turned rings and a broad highlight across the light axis.
            const double lin = (dx * kLightX + dy * kLightY) / capR;
            const double aniso = std::cos(2 * (phi - kLightAngle));
            double lum = 0.58 + 0.17 * lin + 0.13 * aniso * smoothstep(0.0, 0.5 * capR, d);
            lum += 0.025 * std::sin(d / k * 2 * kPi / 0.85);
            lum += 0.20 * smoothstep(capR - 1.3 * k, capR - 0.2 * k, d) * lin;  // bevelled edge
            c = gold(lum);
        }
        return true;
    });

    // Engraved pointer line from near the centre out over the skirt.
    const double ux = std::cos(screenAngle), uy = std::sin(screenAngle);
    const double r0 = 3.2 * k, r1 = r - 1.3 * k;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    // Light catches the lower edge of the groove.
    cairo_set_line_width(cr, 1.0 * k);
    setSource(cr, gold(0.98), 0.75);
    cairo_move_to(cr, cx + ux * r0 + 0.55 * k, cy + uy * r0 + 0.75 * k);
    cairo_line_to(cr, cx + ux * r1 + 0.55 * k, cy + uy * r1 + 0.75 * k);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 2.4 * k);
    setSource(cr, rgb255(22, 14, 8));
    cairo_move_to(cr, cx + ux * r0, cy + uy * r0);
    cairo_line_to(cr, cx + ux * r1, cy + uy * r1);
    cairo_stroke(cr);
}

}  // namespace

FloatImage makeKnobStrip(bool withScale, int density) {
    const int scale = 4 * density;
    Canvas canvas(kKnobSize, kKnobSize * kKnobFrames, scale);
    cairo_t* cr = canvas.cr();
    const FontSpec numbers{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 5.4, 0.0};
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        const double cx = kKnobSize / 2.0, cy = kKnobSize * frame + kKnobSize / 2.0;
        cairo_save(cr);
        cairo_rectangle(cr, 0, kKnobSize * frame, kKnobSize, kKnobSize);
        cairo_clip(cr);
        if (withScale) {
            // 0 to 10 around a smaller knob: cream marks with a dark halo so
            // they read on light and dark backgrounds alike.
            for (int pass = 0; pass < 2; ++pass) {
                for (int i = 0; i <= 10; ++i) {
                    const double a = rad(kKnobStartDegrees - kKnobRangeDegrees * i / 10.0);
                    const double ux = std::cos(a), uy = -std::sin(a);
                    cairo_move_to(cr, cx + ux * 13.6, cy + uy * 13.6);
                    cairo_line_to(cr, cx + ux * 15.6, cy + uy * 15.6);
                    const std::string label = std::to_string(i);
                    cairo_text_extents_t e;
                    selectFont(cr, numbers);
                    cairo_text_extents(cr, label.c_str(), &e);
                    const double tx = cx + ux * 19.0, ty = cy + uy * 19.0;
                    cairo_move_to(cr, tx - e.x_bearing - e.width / 2.0, ty - e.y_bearing - e.height / 2.0);
                    cairo_text_path(cr, label.c_str());
                }
                if (pass == 0) {
                    cairo_set_line_width(cr, 1.6);
                    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                    setSource(cr, {0.05, 0.03, 0.02}, 0.55);
                    cairo_stroke(cr);
                } else {
                    cairo_set_line_width(cr, 0.8);
                    setSource(cr, kCreamInk);
                    cairo_stroke_preserve(cr);
                    cairo_fill(cr);
                }
            }
            drawKnob(canvas, cx, cy, 12.4, knobAngleDegrees(frame));
        } else {
            drawKnob(canvas, cx, cy, kKnobRadius, knobAngleDegrees(frame));
        }
        cairo_restore(cr);
    }
    return canvas.resolve(density);
}

namespace {

// ---------------------------------------------------------------------------
// Switches and lamp
// ---------------------------------------------------------------------------

void drawToggle(Canvas& canvas, double oy, bool down) {
    cairo_t* cr = canvas.cr();
    const double cx = kToggleCentreX, cy = oy + kToggleCentreY;
    // Hex nut with a soft shadow.
    auto hexPath = [&](double x, double y, double r) {
        for (int i = 0; i < 6; ++i) {
            const double a = rad(30.0 + 60.0 * i);
            if (i == 0)
                cairo_move_to(cr, x + r * std::cos(a), y + r * std::sin(a));
            else
                cairo_line_to(cr, x + r * std::cos(a), y + r * std::sin(a));
        }
        cairo_close_path(cr);
    };
    cairo_pattern_t* shadow = cairo_pattern_create_radial(cx + 0.8, cy + 1.4, 4.0, cx + 0.8, cy + 1.4, 9.0);
    addStop(shadow, 0.0, {0, 0, 0}, 0.45);
    addStop(shadow, 1.0, {0, 0, 0}, 0.0);
    cairo_set_source(cr, shadow);
    cairo_arc(cr, cx + 0.8, cy + 1.4, 9.0, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    hexPath(cx, cy, 6.6);
    cairo_pattern_t* nut = cairo_pattern_create_linear(cx - 5, cy - 6, cx + 5, cy + 6);
    addStop(nut, 0.0, chrome(0.95));
    addStop(nut, 0.5, chrome(0.62));
    addStop(nut, 1.0, chrome(0.28));
    cairo_set_source(cr, nut);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(nut);
    cairo_set_line_width(cr, 0.6);
    setSource(cr, chrome(0.12), 0.9);
    cairo_stroke(cr);
    // Bushing.
    cairo_pattern_t* bush = cairo_pattern_create_linear(cx, cy - 4, cx, cy + 4);
    addStop(bush, 0.0, chrome(0.35));
    addStop(bush, 1.0, chrome(0.9));
    cairo_set_source(cr, bush);
    cairo_arc(cr, cx, cy, 3.9, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(bush);
    setSource(cr, chrome(0.05));
    cairo_arc(cr, cx, cy, 2.3, 0, 2 * kPi);
    cairo_fill(cr);

    // Lever: a tapered bat from the bushing to a ball tip.
    const double dir = down ? 1.0 : -1.0;
    const double tipY = cy + dir * kToggleLeverLength;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, 3.0);
    setSource(cr, {0, 0, 0}, 0.30);
    cairo_move_to(cr, cx + 1.3, cy + 1.6);
    cairo_line_to(cr, cx + 1.3, tipY + 1.6);
    cairo_stroke(cr);
    cairo_move_to(cr, cx - 1.7, cy);
    cairo_line_to(cr, cx - 1.2, tipY);
    cairo_line_to(cr, cx + 1.2, tipY);
    cairo_line_to(cr, cx + 1.7, cy);
    cairo_close_path(cr);
    cairo_pattern_t* lever = cairo_pattern_create_linear(cx - 1.7, 0, cx + 1.7, 0);
    addStop(lever, 0.0, chrome(0.35));
    addStop(lever, 0.35, chrome(1.0));
    addStop(lever, 0.7, chrome(0.6));
    addStop(lever, 1.0, chrome(0.22));
    cairo_set_source(cr, lever);
    cairo_fill(cr);
    cairo_pattern_destroy(lever);
    cairo_pattern_t* ball = cairo_pattern_create_radial(cx - 0.9, tipY - 0.9, 0.3, cx, tipY, 3.0);
    addStop(ball, 0.0, chrome(1.0));
    addStop(ball, 0.55, chrome(0.7));
    addStop(ball, 1.0, chrome(0.2));
    cairo_set_source(cr, ball);
    cairo_arc(cr, cx, tipY, 2.9, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(ball);
}

void drawSlide(Canvas& canvas, double oy, bool right) {
    cairo_t* cr = canvas.cr();
    const double cy = oy + kSlideCentreY;
    // Chrome escutcheon around the slot.
    roundedRect(cr, kSlideSlotLeft - 2.5 + 0.6, cy - 6.5 + 1.0, kSlideSlotRight - kSlideSlotLeft + 5.0, 13.0, 2.6);
    setSource(cr, {0, 0, 0}, 0.35);
    cairo_fill(cr);
    roundedRect(cr, kSlideSlotLeft - 2.5, cy - 6.5, kSlideSlotRight - kSlideSlotLeft + 5.0, 13.0, 2.6);
    cairo_pattern_t* plate = cairo_pattern_create_linear(0, cy - 6.5, 0, cy + 6.5);
    addStop(plate, 0.0, chrome(0.95));
    addStop(plate, 0.5, chrome(0.62));
    addStop(plate, 1.0, chrome(0.38));
    cairo_set_source(cr, plate);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(plate);
    cairo_set_line_width(cr, 0.6);
    setSource(cr, chrome(0.1), 0.8);
    cairo_stroke(cr);
    // Slot.
    roundedRect(cr, kSlideSlotLeft, cy - 3.6, kSlideSlotRight - kSlideSlotLeft, 7.2, 1.8);
    cairo_pattern_t* slot = cairo_pattern_create_linear(0, cy - 3.6, 0, cy + 3.6);
    addStop(slot, 0.0, rgb255(4, 4, 5));
    addStop(slot, 1.0, rgb255(48, 46, 46));
    cairo_set_source(cr, slot);
    cairo_fill(cr);
    // Thumb with grip ridges.
    const double tw = 12.0, th = 11.0;
    const double tx = right ? kSlideSlotRight - tw - 0.5 : kSlideSlotLeft + 0.5;
    const double ty = cy - th / 2.0;
    roundedRect(cr, tx + 0.8, ty + 1.2, tw, th, 2.0);
    setSource(cr, {0, 0, 0}, 0.45);
    cairo_fill(cr);
    roundedRect(cr, tx, ty, tw, th, 2.0);
    cairo_pattern_t* thumb = cairo_pattern_create_linear(0, ty, 0, ty + th);
    addStop(thumb, 0.0, chrome(1.0));
    addStop(thumb, 0.45, chrome(0.78));
    addStop(thumb, 1.0, chrome(0.42));
    cairo_set_source(cr, thumb);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(thumb);
    cairo_set_line_width(cr, 0.6);
    setSource(cr, chrome(0.08), 0.9);
    cairo_stroke(cr);
    for (int i = 0; i < 4; ++i) {
        const double x = tx + 3.0 + 2.0 * i;
        cairo_set_line_width(cr, 0.7);
        setSource(cr, chrome(0.15), 0.8);
        cairo_move_to(cr, x, ty + 2.2);
        cairo_line_to(cr, x, ty + th - 2.2);
        cairo_stroke(cr);
        setSource(cr, chrome(1.0), 0.8);
        cairo_move_to(cr, x + 0.7, ty + 2.2);
        cairo_line_to(cr, x + 0.7, ty + th - 2.2);
        cairo_stroke(cr);
    }
}

void drawLamp(Canvas& canvas, double oy, bool lit) {
    cairo_t* cr = canvas.cr();
    const double c = kLampSize / 2.0, cy = oy + c, r = 3.95;
    cairo_pattern_t* glass = cairo_pattern_create_radial(c - 0.5, cy - 0.7, 0.2, c, cy, r);
    if (lit) {
        addStop(glass, 0.0, rgb255(255, 214, 170));
        addStop(glass, 0.30, rgb255(255, 70, 40));
        addStop(glass, 0.75, rgb255(214, 12, 8));
        addStop(glass, 1.0, rgb255(120, 0, 0));
    } else {
        addStop(glass, 0.0, rgb255(120, 36, 30));
        addStop(glass, 0.45, rgb255(78, 10, 10));
        addStop(glass, 1.0, rgb255(30, 3, 3));
    }
    cairo_set_source(cr, glass);
    cairo_arc(cr, c, cy, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
    // Facet glint of the jewel.
    cairo_pattern_t* glint = cairo_pattern_create_radial(c - 1.3, cy - 1.4, 0.0, c - 1.3, cy - 1.4, 1.4);
    addStop(glint, 0.0, {1, 1, 1}, lit ? 0.85 : 0.45);
    addStop(glint, 1.0, {1, 1, 1}, 0.0);
    cairo_set_source(cr, glint);
    cairo_arc(cr, c - 1.3, cy - 1.4, 1.4, 0, 2 * kPi);
    cairo_fill(cr);
}

template <typename Draw>
FloatImage makeTwoStates(int width, int height, int scale, int density, Draw draw) {
    Canvas canvas(width, height * 2, scale * density);
    for (int state = 0; state < 2; ++state) {
        cairo_save(canvas.cr());
        cairo_rectangle(canvas.cr(), 0, height * state, width, height);
        cairo_clip(canvas.cr());
        draw(canvas, static_cast<double>(height * state), state == 1);
        cairo_restore(canvas.cr());
    }
    return canvas.resolve(density);
}

}  // namespace

FloatImage makeToggleStrip(int density) {
    return makeTwoStates(kSwitchWidth, kSwitchHeight, 4, density, drawToggle);
}
FloatImage makeSlideStrip(int density) {
    return makeTwoStates(kSwitchWidth, kSwitchHeight, 4, density, drawSlide);
}
FloatImage makeLampStrip(int density) {
    return makeTwoStates(kLampSize, kLampSize, 32, density, drawLamp);
}

}  // namespace artwork
