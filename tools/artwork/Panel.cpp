// The panel behind the controls (bitmap 128): red tolex with its piping and
// screws, the logo, the dark inset of the switches and the cream label strip,
// with every piece of lettering checked against the others and the controls.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Layout.h"
#include "Pictures.h"
#include "Style.h"

namespace artwork {

namespace {

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
                    std::fprintf(stderr, "artwork: label \"%s\" overlaps \"%s\"\n", names_[i].c_str(),
                                 names_[j].c_str());
                    ++problems;
                }
            }
            for (const Box& c : controls) {
                if (c.round ? hitRound(boxes_[i], c) : hit(boxes_[i], c)) {
                    std::fprintf(stderr, "artwork: label \"%s\" runs under a control at %.0f,%.0f\n", names_[i].c_str(),
                                 c.x0, c.y0);
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
    cairo_surface_t* layer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas.width() * canvas.scale(),
                                                        canvas.height() * canvas.scale());
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
    // The grain is computed per backing pixel: at a higher density the same
    // pebbles, drawn finer. Slopes are per editor pixel at every density.
    const int s = canvas.scale();
    const int w = canvas.width() * s, h = canvas.height() * s;
    // Height field of the pebbled grain, then lit from the upper left.
    std::vector<double> height(static_cast<std::size_t>(w + 2) * (h + 2));
    for (int y = -1; y <= h; ++y) {
        for (int x = -1; x <= w; ++x) {
            const double px = (x + 0.5) / s, py = (y + 0.5) / s;
            const double border = cellBorderDistance(px, py, 3.4, 11);
            double v = smoothstep(0.0, 1.1, border);
            v += 0.35 * (valueNoise(px * 0.9, py * 0.9, 21) - 0.5);
            v += 0.25 * (valueNoise(px * 0.13, py * 0.13, 31) - 0.5);
            height[static_cast<std::size_t>(y + 1) * (w + 2) + (x + 1)] = v;
        }
    }
    auto H = [&](int x, int y) { return height[static_cast<std::size_t>(y + 1) * (w + 2) + (x + 1)]; };
    const Rgb top = rgb255(184, 30, 36), bottom = rgb255(118, 13, 20);
    const double logicalW = canvas.width(), logicalH = canvas.height();
    canvas.shade(0, 0, logicalW, logicalH, [&](double fx, double fy, Rgb& c, double& a) {
        const int x = static_cast<int>(fx * s), y = static_cast<int>(fy * s);
        double gx = H(x + 1, y) - H(x - 1, y), gy = H(x, y + 1) - H(x, y - 1);
        if (s != 1) {
            gx *= s;
            gy *= s;
        }
        const double lit = -(gx * kLightX + gy * kLightY);  // slope facing the light
        const double t = fy / logicalH;
        Rgb base = mix(top, bottom, smoothstep(0.0, 1.0, t));
        const double sheen = 0.10 * std::exp(-std::pow((fy - 34.0) / 40.0, 2.0));
        const double edge = std::pow(std::fabs(fx - logicalW / 2.0) / (logicalW / 2.0), 6.0);
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

}  // namespace

FloatImage makePanel(int* problemsOut, int density) {
    Canvas canvas(kPanelWidth, kPanelHeight, density);
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
    dropShadow(
        canvas,
        [&](cairo_t* c) {
            logoPath(c);
            swooshPath(c);
        },
        2.0, 3.0, 2, 0.65);
    // Embossed gold: a light rim up-left, a dark rim down-right, then the face.
    for (int pass = 0; pass < 3; ++pass) {
        cairo_save(cr);
        if (pass == 0)
            cairo_translate(cr, -0.8, -0.8);
        if (pass == 1)
            cairo_translate(cr, 0.9, 1.0);
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
        dropShadow(
            canvas, [&](cairo_t* c) { roundedRect(c, x - 2, y - 2, w + 4, h + 4, 6); }, 1.0, 2.0, 2, 0.7);
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
    controlBoxes.push_back(
        {slideLeft + kSlideSlotLeft - 2.5, 108 + 6.0, slideLeft + kSlideSlotRight + 2.5, 108 + 20.0});
    controlBoxes.push_back(
        {slideLeft + kSlideSlotLeft - 2.5, 128 + 6.0, slideLeft + kSlideSlotRight + 2.5, 128 + 20.0});

    // --- Cream strip -----------------------------------------------------------
    const Box strip{13.0, 166.0, kPanelWidth - 13.0, 239.0};
    {
        const double x = strip.x0, y = strip.y0, w = strip.x1 - strip.x0, h = strip.y1 - strip.y0;
        dropShadow(
            canvas, [&](cairo_t* c) { roundedRect(c, x, y, w, h, 5); }, 0.0, 2.0, 2, 0.75);
        const Rgb creamTop = rgb255(242, 232, 204), creamBottom = rgb255(222, 206, 166);
        canvas.shade(x, y, x + w, y + h, [&](double fx, double fy, Rgb& c, double& a) {
            const double dx = std::max({x + 5 - fx, fx - (x + w - 5), 0.0});
            const double dy = std::max({y + 5 - fy, fy - (y + h - 5), 0.0});
            a = clamp01(5.0 - std::hypot(dx, dy) + 0.5);
            if (a <= 0.0)
                return false;
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
        if (place.kind != ControlKind::knob && place.kind != ControlKind::mixKnob)
            continue;
        const double cx = place.left + kKnobSize / 2.0, cy = place.top + kKnobSize / 2.0;
        // The knob with its shadow.
        controlBoxes.push_back({cx - 18.0, cy - 18.0, cx + 18.0, cy + 18.0, true});
        for (int i = 0; i <= 10; ++i) {
            // The mix knob's top carries the 50/50 lettering instead of marks.
            if (place.kind == ControlKind::mixKnob && i >= 4 && i <= 6)
                continue;
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
        controlBoxes.push_back(
            {leverX - 6.6, leverY - kToggleLeverLength - 3.0, leverX + 6.6, leverY + kToggleLeverLength + 3.0});
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
        dropShadow(
            canvas, [&](cairo_t* c) { cairo_arc(c, lampCx, lampCy, 6.4, 0, 2 * kPi); }, 0.6, 1.0, 1, 0.6);
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
    return canvas.resolve(density);
}

}  // namespace artwork
