#include "Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace artwork {

Rgb rgb255(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double clamp01(double v) {
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

double smoothstep(double edge0, double edge1, double x) {
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

Rgb ramp(const RampStop* stops, int count, double t) {
    if (t <= stops[0].at)
        return stops[0].colour;
    for (int i = 1; i < count; ++i) {
        if (t <= stops[i].at) {
            const double span = stops[i].at - stops[i - 1].at;
            return mix(stops[i - 1].colour, stops[i].colour, (t - stops[i - 1].at) / span);
        }
    }
    return stops[count - 1].colour;
}

Canvas::Canvas(int width, int height, int scale)
    : width_(width),
      height_(height),
      scale_(scale),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale)),
      cr_(cairo_create(surface_)) {
    cairo_scale(cr_, scale, scale);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, scale == 1 ? CAIRO_HINT_STYLE_SLIGHT : CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

void Canvas::shade(double x0, double y0, double x1, double y1,
                   const std::function<bool(double, double, Rgb&, double&)>& shader) {
    cairo_surface_flush(surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const int w = width_ * scale_, h = height_ * scale_;
    const int px0 = std::max(0, static_cast<int>(std::floor(x0 * scale_)));
    const int py0 = std::max(0, static_cast<int>(std::floor(y0 * scale_)));
    const int px1 = std::min(w, static_cast<int>(std::ceil(x1 * scale_)));
    const int py1 = std::min(h, static_cast<int>(std::ceil(y1 * scale_)));
    for (int py = py0; py < py1; ++py) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(py) * stride);
        for (int px = px0; px < px1; ++px) {
            Rgb c{0, 0, 0};
            double a = 1.0;
            if (!shader((px + 0.5) / scale_, (py + 0.5) / scale_, c, a))
                continue;
            a = clamp01(a);
            if (a <= 0.0)
                continue;
            const std::uint32_t d = row[px];
            const double da = ((d >> 24) & 0xFF) / 255.0, dr = ((d >> 16) & 0xFF) / 255.0,
                         dg = ((d >> 8) & 0xFF) / 255.0, db = (d & 0xFF) / 255.0;
            const double k = 1.0 - a;
            auto q = [](double v) { return static_cast<std::uint32_t>(std::lround(clamp01(v) * 255.0)); };
            row[px] = (q(a + da * k) << 24) | (q(clamp01(c.r) * a + dr * k) << 16) |
                      (q(clamp01(c.g) * a + dg * k) << 8) | q(clamp01(c.b) * a + db * k);
        }
    }
    cairo_surface_mark_dirty(surface_);
}

FloatImage Canvas::resolve(int density) const {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const int box = scale_ / density;  // backing pixels per output pixel, each way
    FloatImage out(width_ * density, height_ * density);
    const double n = static_cast<double>(box) * box;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            double sum[4] = {0, 0, 0, 0};  // premultiplied r, g, b, a
            for (int sy = 0; sy < box; ++sy) {
                const auto* row =
                    reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y * box + sy) * stride);
                for (int sx = 0; sx < box; ++sx) {
                    const std::uint32_t p = row[x * box + sx];
                    sum[0] += (p >> 16) & 0xFF;
                    sum[1] += (p >> 8) & 0xFF;
                    sum[2] += p & 0xFF;
                    sum[3] += (p >> 24) & 0xFF;
                }
            }
            float* o = out.at(x, y);
            const double a = sum[3] / (n * 255.0);
            o[3] = static_cast<float>(a);
            for (int c = 0; c < 3; ++c) {
                o[c] = a > 0.0 ? static_cast<float>(clamp01(sum[c] / (n * 255.0) / a)) : 0.0f;
            }
        }
    }
    return out;
}

void blurSurface(cairo_surface_t* surface, int radius) {
    if (radius <= 0)
        return;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    std::vector<double> buf(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                buf[(static_cast<std::size_t>(y) * w + x) * 4 + c] = data[y * stride + x * 4 + c];
    std::vector<double> tmp(buf.size());
    auto pass = [&](bool horizontal) {
        const int lines = horizontal ? h : w, len = horizontal ? w : h;
        for (int l = 0; l < lines; ++l) {
            for (int i = 0; i < len; ++i) {
                double acc[4] = {0, 0, 0, 0};
                for (int k = -radius; k <= radius; ++k) {
                    const int j = std::clamp(i + k, 0, len - 1);
                    const std::size_t idx =
                        horizontal ? (static_cast<std::size_t>(l) * w + j) : (static_cast<std::size_t>(j) * w + l);
                    for (int c = 0; c < 4; ++c)
                        acc[c] += buf[idx * 4 + c];
                }
                const std::size_t o =
                    horizontal ? (static_cast<std::size_t>(l) * w + i) : (static_cast<std::size_t>(i) * w + l);
                for (int c = 0; c < 4; ++c)
                    tmp[o * 4 + c] = acc[c] / (2 * radius + 1);
            }
        }
        buf.swap(tmp);
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c)
                data[y * stride + x * 4 + c] = static_cast<unsigned char>(
                    std::lround(std::clamp(buf[(static_cast<std::size_t>(y) * w + x) * 4 + c], 0.0, 255.0)));
    cairo_surface_mark_dirty(surface);
}

void setSource(cairo_t* cr, const Rgb& c, double alpha) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void addStop(cairo_pattern_t* p, double offset, const Rgb& c, double alpha) {
    cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, alpha);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    const double pi = 3.14159265358979323846;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, pi / 2, pi);
    cairo_arc(cr, x + r, y + r, r, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

void selectFont(cairo_t* cr, const FontSpec& font) {
    cairo_select_font_face(cr, font.family, font.slant, font.weight);
    cairo_set_font_size(cr, font.size);
}

double textWidth(cairo_t* cr, const FontSpec& font, const std::string& text) {
    selectFont(cr, font);
    double width = 0.0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string ch = text.substr(i, 1);
        cairo_text_extents_t e;
        cairo_text_extents(cr, ch.c_str(), &e);
        width += e.x_advance + (i + 1 < text.size() ? font.tracking : 0.0);
    }
    if (font.tracking == 0.0) {
        // Without tracking, measure the whole string so kerning applies.
        cairo_text_extents_t e;
        cairo_text_extents(cr, text.c_str(), &e);
        width = e.x_advance;
    }
    return width;
}

double textPath(cairo_t* cr, const FontSpec& font, const std::string& text, double x, double y, Align align) {
    const double w = textWidth(cr, font, text);
    double left = x;
    if (align == Align::Centre)
        left = x - w / 2.0;
    if (align == Align::Right)
        left = x - w;
    selectFont(cr, font);
    if (font.tracking == 0.0) {
        cairo_move_to(cr, left, y);
        cairo_text_path(cr, text.c_str());
        return left;
    }
    double pen = left;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string ch = text.substr(i, 1);
        cairo_text_extents_t e;
        cairo_text_extents(cr, ch.c_str(), &e);
        cairo_move_to(cr, pen, y);
        cairo_text_path(cr, ch.c_str());
        pen += e.x_advance + font.tracking;
    }
    return left;
}

}  // namespace artwork
