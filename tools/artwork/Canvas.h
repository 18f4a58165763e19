// A cairo drawing surface with an optional supersampling factor, plus the few
// pixel-level helpers the artwork needs beyond cairo's paths and text.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>

#include "ImageIo.h"

namespace artwork {

struct Rgb {
    double r, g, b;
};

Rgb rgb255(int r, int g, int b);
Rgb mix(const Rgb& a, const Rgb& b, double t);
double clamp01(double v);
double smoothstep(double edge0, double edge1, double x);

// Colour ramp: sorted stops (position, colour), linear in between.
struct RampStop {
    double at;
    Rgb colour;
};
Rgb ramp(const RampStop* stops, int count, double t);

class Canvas {
public:
    // width and height are in logical pixels; the backing store is
    // width * scale by height * scale and cairo is scaled so that paths are
    // given in logical pixels.
    Canvas(int width, int height, int scale);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int scale() const { return scale_; }

    // Composites a per-pixel colour over the canvas inside the logical
    // rectangle x0,y0 .. x1,y1. shader(x, y, rgb, alpha) receives the logical
    // centre of each backing pixel and returns false to leave it untouched.
    void shade(double x0, double y0, double x1, double y1,
               const std::function<bool(double, double, Rgb&, double&)>& shader);

    // Box-filters the backing store down to logical size times `density`
    // (straight alpha); `density` must divide the scale.
    FloatImage resolve(int density = 1) const;

private:
    int width_, height_, scale_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

// Blurs an ARGB32 surface in place with three box passes of the given radius.
void blurSurface(cairo_surface_t* surface, int radius);

void setSource(cairo_t* cr, const Rgb& c, double alpha = 1.0);
void addStop(cairo_pattern_t* p, double offset, const Rgb& c, double alpha = 1.0);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);

enum class Align { Left, Centre, Right };
struct FontSpec {
    const char* family;
    cairo_font_slant_t slant;
    cairo_font_weight_t weight;
    double size;
    double tracking;  // extra space after each character, in pixels
};
void selectFont(cairo_t* cr, const FontSpec& font);
double textWidth(cairo_t* cr, const FontSpec& font, const std::string& text);
// Adds the text's outline to the current path, anchored at baseline y.
// Answers the left edge actually used.
double textPath(cairo_t* cr, const FontSpec& font, const std::string& text, double x, double y, Align align);

}  // namespace artwork
