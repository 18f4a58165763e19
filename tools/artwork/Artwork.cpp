// Draws the editor's images: the panel (bitmap 128) and the knob, switch and
// lamp film strips (PNG 1 to 6), and optionally a preview of the assembled
// editor.
//
//   corvex_artwork <resources-dir> [<preview.png>]
//
// Every picture is drawn from code (no input files besides the DejaVu fonts),
// so running it again gives the same bytes.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Canvas.h"
#include "ImageIo.h"
#include "Layout.h"

using namespace artwork;

namespace {

constexpr double kPi = 3.14159265358979323846;
double rad(double degrees) { return degrees * kPi / 180.0; }

// Light comes from the upper left in every picture.
const double kLightX = -0.55, kLightY = -0.835;
const double kLightAngle = std::atan2(kLightY, kLightX);

std::uint32_t hash3(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}
double hash01(int x, int y, int seed) { return hash3(x, y, seed) / 4294967296.0; }

// Smooth value noise in 0..1.
double valueNoise(double x, double y, int seed) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const double fx = x - ix, fy = y - iy;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    const double c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Distance to the nearest cell border of a jittered cell pattern: the
// pebbles of the tolex.
double cellBorderDistance(double x, double y, double cell, int seed) {
    const int gx = static_cast<int>(std::floor(x / cell)), gy = static_cast<int>(std::floor(y / cell));
    double f1 = 1e9, f2 = 1e9;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int cx = gx + dx, cy = gy + dy;
            const double px = (cx + 0.1 + 0.8 * hash01(cx, cy, seed)) * cell;
            const double py = (cy + 0.1 + 0.8 * hash01(cx, cy, seed + 1)) * cell;
            const double d = std::hypot(x - px, y - py);
            if (d < f1) {
                f2 = f1;
                f1 = d;
            } else if (d < f2) {
                f2 = d;
            }
        }
    }
    return (f2 - f1) * 0.5;
}

const RampStop kGold[] = {
    {0.00, {0.11, 0.07, 0.02}}, {0.30, {0.45, 0.30, 0.09}}, {0.55, {0.78, 0.60, 0.25}},
    {0.78, {0.95, 0.82, 0.47}}, {1.00, {1.00, 0.97, 0.85}},
};
Rgb gold(double t) { return ramp(kGold, 5, clamp01(t)); }

const RampStop kChrome[] = {
    {0.00, {0.10, 0.10, 0.11}}, {0.35, {0.42, 0.43, 0.45}}, {0.65, {0.75, 0.76, 0.78}},
    {0.85, {0.92, 0.93, 0.94}}, {1.00, {1.00, 1.00, 1.00}},
};
Rgb chrome(double t) { return ramp(kChrome, 5, clamp01(t)); }

const Rgb kInk = rgb255(48, 32, 24);       // lettering on the cream strip
const Rgb kCreamInk = rgb255(238, 228, 200);  // lettering on the dark inset

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
    cairo_pattern_t* shadow = cairo_pattern_create_radial(cx + 0.6 * k, cy + 1.7 * k, r - 2.0 * k,
                                                          cx + 0.6 * k, cy + 1.7 * k, r + 3.0 * k);
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
        if (d > r + px) return false;
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
            lum -= 0.30 * smoothstep(0.55, 1.0, t);             // rolls away at the outer edge
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

FloatImage makeKnobStrip(bool withScale) {
    const int scale = 4;
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
    return canvas.resolve();
}

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
            if (i == 0) cairo_move_to(cr, x + r * std::cos(a), y + r * std::sin(a));
            else cairo_line_to(cr, x + r * std::cos(a), y + r * std::sin(a));
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
FloatImage makeTwoStates(int width, int height, int scale, Draw draw) {
    Canvas canvas(width, height * 2, scale);
    for (int state = 0; state < 2; ++state) {
        cairo_save(canvas.cr());
        cairo_rectangle(canvas.cr(), 0, height * state, width, height);
        cairo_clip(canvas.cr());
        draw(canvas, static_cast<double>(height * state), state == 1);
        cairo_restore(canvas.cr());
    }
    return canvas.resolve();
}

// ---------------------------------------------------------------------------
// Panel
// ---------------------------------------------------------------------------

struct Box {
    double x0, y0, x1, y1;
    bool round = false;  // the ellipse inscribed in the box (a knob)
};

class Lettering {
public:
    explicit Lettering(cairo_t* cr) : cr_(cr) {}
    // Fills text in the given colour and remembers its box.
    void put(const FontSpec& font, const std::string& text, double x, double y, Align align, const Rgb& colour) {
        const double left = textPath(cr_, font, text, x, y, align);
        setSource(cr_, colour);
        cairo_fill(cr_);
        boxes_.push_back({left, y - font.size * 0.75, left + textWidth(cr_, font, text), y + 0.5});
        names_.push_back(text);
    }
    // Reports lettering that runs into other lettering or a control.
    int check(const std::vector<Box>& controls) const {
        int problems = 0;
        // Lettering wants at least two pixels of air around it.
        auto hit = [](const Box& a, const Box& b) {
            const double m = 2.0;
            return a.x0 - m < b.x1 && b.x0 < a.x1 + m && a.y0 - m < b.y1 && b.y0 < a.y1 + m;
        };
        auto hitRound = [](const Box& a, const Box& circle) {
            const double cx = (circle.x0 + circle.x1) / 2, cy = (circle.y0 + circle.y1) / 2;
            const double r = (circle.x1 - circle.x0) / 2 + 2.0;
            const double nx = std::clamp(cx, a.x0, a.x1), ny = std::clamp(cy, a.y0, a.y1);
            return std::hypot(nx - cx, ny - cy) < r;
        };
        for (std::size_t i = 0; i < boxes_.size(); ++i) {
            for (std::size_t j = i + 1; j < boxes_.size(); ++j) {
                if (hit(boxes_[i], boxes_[j])) {
                    std::fprintf(stderr, "artwork: label \"%s\" overlaps \"%s\"\n", names_[i].c_str(), names_[j].c_str());
                    ++problems;
                }
            }
            for (const Box& c : controls) {
                if (c.round ? hitRound(boxes_[i], c) : hit(boxes_[i], c)) {
                    std::fprintf(stderr, "artwork: label \"%s\" runs under a control at %.0f,%.0f\n",
                                 names_[i].c_str(), c.x0, c.y0);
                    ++problems;
                }
            }
        }
        return problems;
    }

private:
    cairo_t* cr_;
    std::vector<Box> boxes_;
    std::vector<std::string> names_;
};

void drawScrew(cairo_t* cr, double x, double y, double r, double slotAngle) {
    cairo_pattern_t* shadow = cairo_pattern_create_radial(x + 0.5, y + 0.8, r * 0.6, x + 0.5, y + 0.8, r + 1.5);
    addStop(shadow, 0.0, {0, 0, 0}, 0.5);
    addStop(shadow, 1.0, {0, 0, 0}, 0.0);
    cairo_set_source(cr, shadow);
    cairo_arc(cr, x + 0.5, y + 0.8, r + 1.5, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);
    cairo_pattern_t* head = cairo_pattern_create_radial(x - r * 0.35, y - r * 0.4, 0.2, x, y, r);
    addStop(head, 0.0, chrome(1.0));
    addStop(head, 0.6, chrome(0.62));
    addStop(head, 1.0, chrome(0.3));
    cairo_set_source(cr, head);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr, r * 0.32);
    for (int i = 0; i < 2; ++i) {
        const double a = slotAngle + i * kPi / 2;
        const double ux = std::cos(a) * r * 0.72, uy = std::sin(a) * r * 0.72;
        setSource(cr, chrome(0.08), 0.85);
        cairo_move_to(cr, x - ux, y - uy);
        cairo_line_to(cr, x + ux, y + uy);
        cairo_stroke(cr);
    }
}

// Soft shadow of the current path, drawn with an offset and a blur.
void dropShadow(Canvas& canvas, const std::function<void(cairo_t*)>& path, double dx, double dy, int blur,
                double alpha) {
    cairo_surface_t* layer =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas.width() * canvas.scale(), canvas.height() * canvas.scale());
    cairo_t* lc = cairo_create(layer);
    cairo_scale(lc, canvas.scale(), canvas.scale());
    cairo_translate(lc, dx, dy);
    cairo_set_font_options(lc, nullptr);
    path(lc);
    cairo_set_source_rgba(lc, 0, 0, 0, alpha);
    cairo_fill(lc);
    cairo_destroy(lc);
    blurSurface(layer, blur * canvas.scale());
    cairo_t* cr = canvas.cr();
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, layer, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(layer);
}

void drawTolex(Canvas& canvas) {
    const int w = canvas.width(), h = canvas.height();
    // Height field of the pebbled grain, then lit from the upper left.
    std::vector<double> height(static_cast<std::size_t>(w + 2) * (h + 2));
    for (int y = -1; y <= h; ++y) {
        for (int x = -1; x <= w; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double border = cellBorderDistance(px, py, 3.4, 11);
            double v = smoothstep(0.0, 1.1, border);
            v += 0.35 * (valueNoise(px * 0.9, py * 0.9, 21) - 0.5);
            v += 0.25 * (valueNoise(px * 0.13, py * 0.13, 31) - 0.5);
            height[static_cast<std::size_t>(y + 1) * (w + 2) + (x + 1)] = v;
        }
    }
    auto H = [&](int x, int y) { return height[static_cast<std::size_t>(y + 1) * (w + 2) + (x + 1)]; };
    const Rgb top = rgb255(184, 30, 36), bottom = rgb255(118, 13, 20);
    canvas.shade(0, 0, w, h, [&](double fx, double fy, Rgb& c, double& a) {
        const int x = static_cast<int>(fx), y = static_cast<int>(fy);
        const double gx = H(x + 1, y) - H(x - 1, y), gy = H(x, y + 1) - H(x, y - 1);
        const double lit = -(gx * kLightX + gy * kLightY);  // slope facing the light
        const double t = fy / h;
        Rgb base = mix(top, bottom, smoothstep(0.0, 1.0, t));
        const double sheen = 0.10 * std::exp(-std::pow((fy - 34.0) / 40.0, 2.0));
        const double edge = std::pow(std::fabs(fx - w / 2.0) / (w / 2.0), 6.0);
        double m = 1.0 + 0.22 * lit + 0.10 * (H(x, y) - 0.5) + sheen - 0.18 * edge;
        c = {base.r * m, base.g * m, base.b * m};
        a = 1.0;
        return true;
    });
}

// The piping: a cream cord set into the tolex around the face.
void drawPiping(cairo_t* cr, double x, double y, double w, double h, double r) {
    roundedRect(cr, x + 0.7, y + 1.1, w, h, r);
    cairo_set_line_width(cr, 3.4);
    setSource(cr, {0.1, 0, 0}, 0.45);
    cairo_stroke(cr);
    roundedRect(cr, x, y, w, h, r);
    cairo_set_line_width(cr, 2.6);
    setSource(cr, rgb255(214, 196, 150));
    cairo_stroke(cr);
    roundedRect(cr, x - 0.35, y - 0.45, w, h, r);
    cairo_set_line_width(cr, 0.9);
    setSource(cr, rgb255(255, 248, 225), 0.85);
    cairo_stroke(cr);
}

FloatImage makePanel(int* problemsOut) {
    Canvas canvas(kPanelWidth, kPanelHeight, 1);
    cairo_t* cr = canvas.cr();
    drawTolex(canvas);

    const FontSpec label{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 8.0, 0.25};
    const FontSpec small{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 7.0, 0.3};
    const FontSpec insetFont{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 8.5, 0.4};
    const FontSpec logoFont{"DejaVu Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD, 54.0, 0.0};
    const FontSpec modelFont{"DejaVu Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL, 22.0, 0.5};
    Lettering letters(cr);
    std::vector<Box> controlBoxes;

    // --- Piping around the face --------------------------------------------
    drawPiping(cr, 4.5, 4.5, kPanelWidth - 9.0, kPanelHeight - 9.0, 9.0);

    // --- Logo and model line -------------------------------------------------
    const double logoX = 32.0, logoY = 80.0;
    auto logoPath = [&](cairo_t* c) { textPath(c, logoFont, "Vantor", logoX, logoY, Align::Left); };
    const double logoW = textWidth(cr, logoFont, "Vantor");
    auto swooshPath = [&](cairo_t* c) {
        const double x0 = logoX + 4.0, x1 = logoX + logoW + 14.0, y = logoY + 9.0;
        cairo_move_to(c, x0, y + 1.0);
        cairo_curve_to(c, x0 + logoW * 0.35, y + 6.0, x1 - logoW * 0.35, y - 1.5, x1, y - 5.0);
        cairo_curve_to(c, x1 - logoW * 0.35, y + 1.0, x0 + logoW * 0.35, y + 3.2, x0, y + 1.0);
        cairo_close_path(c);
    };
    dropShadow(canvas, [&](cairo_t* c) { logoPath(c); swooshPath(c); }, 2.0, 3.0, 2, 0.65);
    // Embossed gold: a light rim up-left, a dark rim down-right, then the face.
    for (int pass = 0; pass < 3; ++pass) {
        cairo_save(cr);
        if (pass == 0) cairo_translate(cr, -0.8, -0.8);
        if (pass == 1) cairo_translate(cr, 0.9, 1.0);
        logoPath(cr);
        swooshPath(cr);
        if (pass == 0) {
            setSource(cr, rgb255(255, 246, 214), 0.9);
        } else if (pass == 1) {
            setSource(cr, rgb255(70, 36, 10));
        } else {
            cairo_pattern_t* g = cairo_pattern_create_linear(0, logoY - 40, 0, logoY + 12);
            addStop(g, 0.0, gold(0.98));
            addStop(g, 0.42, gold(0.74));
            addStop(g, 0.58, gold(0.50));
            addStop(g, 1.0, gold(0.86));
            cairo_set_source(cr, g);
            cairo_pattern_destroy(g);
        }
        cairo_fill(cr);
        cairo_restore(cr);
    }

    const double modelRight = kPanelWidth - 24.0, modelY = 52.0;
    auto modelPath = [&](cairo_t* c) { textPath(c, modelFont, "Corvex Head", modelRight, modelY, Align::Right); };
    const double modelW = textWidth(cr, modelFont, "Corvex Head");
    dropShadow(canvas, modelPath, 1.2, 1.8, 1, 0.7);
    modelPath(cr);
    setSource(cr, rgb255(240, 226, 186));
    cairo_fill(cr);
    // Gold rule under the model line.
    cairo_pattern_t* rule = cairo_pattern_create_linear(modelRight - modelW, 0, modelRight, 0);
    addStop(rule, 0.0, gold(0.8), 0.0);
    addStop(rule, 0.25, gold(0.8), 1.0);
    addStop(rule, 1.0, gold(0.8), 1.0);
    cairo_set_source(cr, rule);
    cairo_rectangle(cr, modelRight - modelW, modelY + 7.0, modelW, 1.2);
    cairo_fill(cr);
    cairo_pattern_destroy(rule);

    // --- Inset switch panel ----------------------------------------------------
    const double slideLeft = 551.0, slideCx = slideLeft + kSwitchWidth / 2.0;
    const double leftLabelX = slideLeft + kSlideSlotLeft - 5.5;
    const double rightLabelX = slideLeft + kSlideSlotRight + 5.5;
    const double maxLeft = std::max(textWidth(cr, insetFont, "LowQ"), textWidth(cr, insetFont, "Mono"));
    const double maxRight = std::max(textWidth(cr, insetFont, "HighQ"), textWidth(cr, insetFont, "Stereo"));
    const double halfWidth = std::max(slideCx - (leftLabelX - maxLeft), rightLabelX + maxRight - slideCx) + 9.0;
    const Box inset{std::floor(slideCx - halfWidth), 104.0, std::ceil(slideCx + halfWidth), 160.0};
    {
        const double x = inset.x0, y = inset.y0, w = inset.x1 - inset.x0, h = inset.y1 - inset.y0;
        // Chrome bezel standing on the face.
        dropShadow(canvas, [&](cairo_t* c) { roundedRect(c, x - 2, y - 2, w + 4, h + 4, 6); }, 1.0, 2.0, 2, 0.7);
        roundedRect(cr, x - 2, y - 2, w + 4, h + 4, 6);
        cairo_pattern_t* bezel = cairo_pattern_create_linear(0, y - 2, 0, y + h + 2);
        addStop(bezel, 0.0, chrome(0.95));
        addStop(bezel, 0.5, chrome(0.55));
        addStop(bezel, 1.0, chrome(0.8));
        cairo_set_source(cr, bezel);
        cairo_fill(cr);
        cairo_pattern_destroy(bezel);
        // Brushed black plate, sunk below the bezel.
        canvas.shade(x, y, x + w, y + h, [&](double fx, double fy, Rgb& c, double& a) {
            const double streak = valueNoise(fx * 0.04, fy * 1.7, 41) * 0.6 + valueNoise(fx * 0.5, fy * 3.1, 43) * 0.4;
            const double v = 0.085 + 0.035 * streak - 0.03 * (fy - y) / h;
            const double inner = std::min({fx - x, x + w - fx, fy - y, y + h - fy});
            a = clamp01(inner + 0.5);
            const double shadow = 0.05 * (1.0 - smoothstep(0.0, 4.0, fy - y));
            c = {v - shadow, v - shadow, v * 1.04 - shadow};
            return a > 0.0;
        });
        roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 4);
        cairo_set_line_width(cr, 1.0);
        setSource(cr, {0, 0, 0}, 0.7);
        cairo_stroke(cr);
    }
    for (int row = 0; row < 2; ++row) {
        const double cy = (row == 0 ? 108.0 : 128.0) + kSlideCentreY + 3.1;
        letters.put(insetFont, row == 0 ? "LowQ" : "Mono", leftLabelX, cy, Align::Right, kCreamInk);
        letters.put(insetFont, row == 0 ? "HighQ" : "Stereo", rightLabelX, cy, Align::Left, kCreamInk);
    }
    controlBoxes.push_back({slideLeft + kSlideSlotLeft - 2.5, 108 + 6.0, slideLeft + kSlideSlotRight + 2.5, 108 + 20.0});
    controlBoxes.push_back({slideLeft + kSlideSlotLeft - 2.5, 128 + 6.0, slideLeft + kSlideSlotRight + 2.5, 128 + 20.0});

    // --- Cream strip -----------------------------------------------------------
    const Box strip{13.0, 166.0, kPanelWidth - 13.0, 239.0};
    {
        const double x = strip.x0, y = strip.y0, w = strip.x1 - strip.x0, h = strip.y1 - strip.y0;
        dropShadow(canvas, [&](cairo_t* c) { roundedRect(c, x, y, w, h, 5); }, 0.0, 2.0, 2, 0.75);
        const Rgb creamTop = rgb255(242, 232, 204), creamBottom = rgb255(222, 206, 166);
        canvas.shade(x, y, x + w, y + h, [&](double fx, double fy, Rgb& c, double& a) {
            const double dx = std::max({x + 5 - fx, fx - (x + w - 5), 0.0});
            const double dy = std::max({y + 5 - fy, fy - (y + h - 5), 0.0});
            a = clamp01(5.0 - std::hypot(dx, dy) + 0.5);
            if (a <= 0.0) return false;
            Rgb base = mix(creamTop, creamBottom, (fy - y) / h);
            const double grain = 0.018 * (valueNoise(fx * 0.6, fy * 0.6, 51) - 0.5) +
                                 0.012 * (valueNoise(fx * 0.05, fy * 0.9, 53) - 0.5);
            c = {base.r + grain, base.g + grain, base.b + grain};
            return true;
        });
        // Bevel: light top edge, darker bottom edge, then a printed border line.
        cairo_set_line_width(cr, 1.0);
        roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 4.5);
        cairo_pattern_t* bevel = cairo_pattern_create_linear(0, y, 0, y + h);
        addStop(bevel, 0.0, {1, 1, 1}, 0.8);
        addStop(bevel, 0.5, {1, 1, 1}, 0.1);
        addStop(bevel, 1.0, {0.3, 0.2, 0.1}, 0.5);
        cairo_set_source(cr, bevel);
        cairo_stroke(cr);
        cairo_pattern_destroy(bevel);
        roundedRect(cr, x + 4.5, y + 4.5, w - 9, h - 9, 2.5);
        cairo_set_line_width(cr, 0.8);
        setSource(cr, kInk, 0.75);
        cairo_stroke(cr);
    }
    drawScrew(cr, strip.x0 + 17.0, (strip.y0 + strip.y1) / 2.0, 4.0, 0.5);
    drawScrew(cr, strip.x1 - 17.0, (strip.y0 + strip.y1) / 2.0, 4.0, 1.1);

    // --- Knob scales and labels --------------------------------------------------
    const double labelBaseline = 233.0;
    for (const ControlPlace& place : kControls) {
        if (place.kind != ControlKind::knob && place.kind != ControlKind::mixKnob) continue;
        const double cx = place.left + kKnobSize / 2.0, cy = place.top + kKnobSize / 2.0;
        // The knob with its shadow.
        controlBoxes.push_back({cx - 18.0, cy - 18.0, cx + 18.0, cy + 18.0, true});
        for (int i = 0; i <= 10; ++i) {
            // The mix knob's top carries the 50/50 lettering instead of marks.
            if (place.kind == ControlKind::mixKnob && i >= 4 && i <= 6) continue;
            const double a = rad(kKnobStartDegrees - kKnobRangeDegrees * i / 10.0);
            const bool major = i == 0 || i == 5 || i == 10;
            const double r = 20.6;
            const double dotX = cx + r * std::cos(a), dotY = cy - r * std::sin(a);
            cairo_arc(cr, dotX, dotY, major ? 1.05 : 0.75, 0, 2 * kPi);
            controlBoxes.push_back({dotX - 1.0, dotY - 1.0, dotX + 1.0, dotY + 1.0});
            setSource(cr, kInk, 0.9);
            cairo_fill(cr);
        }
        letters.put(label, place.label, cx, labelBaseline, Align::Centre, kInk);
        if (place.kind == ControlKind::mixKnob) {
            letters.put(small, "50/50", cx, place.top + 1.0, Align::Centre, kInk);
            letters.put(small, "NORM", cx - 14.0, labelBaseline - 10.0, Align::Right, kInk);
            letters.put(small, "TREB", cx + 14.0, labelBaseline - 10.0, Align::Left, kInk);
        }
    }

    // --- Channel switch names and the boost lamp's bezel -------------------------
    {
        const double leverX = 100 + kToggleCentreX, leverY = 192 + kToggleCentreY;
        controlBoxes.push_back({leverX - 6.6, leverY - kToggleLeverLength - 3.0, leverX + 6.6, leverY + kToggleLeverLength + 3.0});
        const double nameX = leverX - 9.0;
        letters.put(small, "PLS", nameX, leverY - kToggleLeverLength + 2.6, Align::Right, kInk);
        letters.put(small, "TQZ", nameX, leverY + kToggleLeverLength + 2.6, Align::Right, kInk);
        // The boost lamp sits in a chrome bezel.
        const double lampCx = 158 + kLampSize / 2.0, lampCy = 200 + kLampSize / 2.0;
        controlBoxes.push_back({lampCx - 6.5, lampCy - 6.5, lampCx + 6.5, lampCy + 6.5});
        cairo_pattern_t* ring = cairo_pattern_create_linear(lampCx - 6, lampCy - 6, lampCx + 6, lampCy + 6);
        addStop(ring, 0.0, chrome(1.0));
        addStop(ring, 0.5, chrome(0.55));
        addStop(ring, 1.0, chrome(0.25));
        dropShadow(canvas, [&](cairo_t* c) { cairo_arc(c, lampCx, lampCy, 6.4, 0, 2 * kPi); }, 0.6, 1.0, 1, 0.6);
        cairo_set_source(cr, ring);
        cairo_arc(cr, lampCx, lampCy, 6.4, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(ring);
        setSource(cr, rgb255(20, 10, 8));
        cairo_arc(cr, lampCx, lampCy, 4.6, 0, 2 * kPi);
        cairo_fill(cr);
        letters.put(small, "TQZ", lampCx, labelBaseline - 9.0, Align::Centre, kInk);
        letters.put(small, "BOOST", lampCx, labelBaseline, Align::Centre, kInk);
    }

    *problemsOut = letters.check(controlBoxes);
    return canvas.resolve();
}

// ---------------------------------------------------------------------------
// Preview: the assembled editor, controls at assorted values.
// ---------------------------------------------------------------------------

void blendOver(FloatImage& dst, const FloatImage& src, int dx, int dy, int sy, int w, int h) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int tx = dx + x, ty = dy + y;
            if (tx < 0 || ty < 0 || tx >= dst.width || ty >= dst.height) continue;
            const float* s = src.at(x, sy + y);
            float* d = dst.at(tx, ty);
            for (int c = 0; c < 3; ++c) d[c] = s[c] * s[3] + d[c] * (1.0f - s[3]);
            d[3] = 1.0f;
        }
    }
}

FloatImage makePreview(const FloatImage& panel, const FloatImage& knob, const FloatImage& toggle,
                       const FloatImage& lamp, const FloatImage& slide) {
    FloatImage out = panel;
    const double values[] = {0.0, 1.0, 1.0, 0.0, 0.5, 0.25, 0.75, 0.5, 0.5, 0.6, 1.0, 0.3, 1.0};
    int i = 0;
    for (const ControlPlace& place : kControls) {
        const double v = values[i++];
        switch (place.kind) {
        case ControlKind::knob:
        case ControlKind::mixKnob: {
            const int frame = static_cast<int>(v * 2790.0) / 45;
            blendOver(out, knob, place.left, place.top, frame * kKnobSize, kKnobSize, kKnobSize);
            break;
        }
        case ControlKind::toggle:
            blendOver(out, toggle, place.left, place.top, v > 0 ? kSwitchHeight : 0, kSwitchWidth, kSwitchHeight);
            break;
        case ControlKind::lamp:
            blendOver(out, lamp, place.left, place.top, v > 0 ? kLampSize : 0, kLampSize, kLampSize);
            break;
        case ControlKind::slide:
            blendOver(out, slide, place.left, place.top, v > 0 ? kSwitchHeight : 0, kSwitchWidth, kSwitchHeight);
            break;
        }
    }
    return out;
}

FloatImage enlarge(const FloatImage& src, int factor) {
    FloatImage out(src.width * factor, src.height * factor);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            std::copy(src.at(x / factor, y / factor), src.at(x / factor, y / factor) + 4, out.at(x, y));
    return out;
}

bool save(bool ok, const std::string& path) {
    if (!ok) std::fprintf(stderr, "artwork: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <resources-dir> [<preview.png>]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    int problems = 0;

    const FloatImage panel = makePanel(&problems);
    const FloatImage knob = makeKnobStrip(false);
    const FloatImage knobScale = makeKnobStrip(true);
    const FloatImage toggle = makeTwoStates(kSwitchWidth, kSwitchHeight, 4, drawToggle);
    const FloatImage slide = makeTwoStates(kSwitchWidth, kSwitchHeight, 4, drawSlide);
    const FloatImage lamp = makeTwoStates(kLampSize, kLampSize, 32, drawLamp);

    bool ok = true;
    ok &= save(writeBmp24(dir + "/panel.bmp", panel), dir + "/panel.bmp");
    ok &= save(writePng(dir + "/knob.png", knob, 8), dir + "/knob.png");
    ok &= save(writePng(dir + "/knob_mix.png", knob, 8), dir + "/knob_mix.png");
    ok &= save(writePng(dir + "/knob_scale.png", knobScale, 8), dir + "/knob_scale.png");
    ok &= save(writePng(dir + "/toggle.png", toggle, 8), dir + "/toggle.png");
    ok &= save(writePng(dir + "/lamp.png", lamp, 16), dir + "/lamp.png");
    ok &= save(writePng(dir + "/slide.png", slide, 8), dir + "/slide.png");
    if (argc == 3) {
        const std::string preview = argv[2];
        const FloatImage composed = makePreview(panel, knob, toggle, lamp, slide);
        ok &= save(writePng(preview, composed, 8), preview);
        const std::string large = preview.substr(0, preview.rfind('.')) + "_x3.png";
        ok &= save(writePng(large, enlarge(composed, 3), 8), large);
    }
    if (problems) std::fprintf(stderr, "artwork: %d layout problem(s)\n", problems);
    return ok && problems == 0 ? 0 : 1;
}
