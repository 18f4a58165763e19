// The rig strip's lettering: the printable ASCII characters (32 to 126) of
// DejaVu Sans Mono Bold, each in a fixed cell, side by side in one strip.
// The editor draws its text a character at a time from this strip.
// `density` 2 draws the double-resolution twin: the same glyphs laid out in
// the same logical cells, rendered on a backing store twice as fine.
#include "Canvas.h"
#include "Pictures.h"

namespace artwork {

FloatImage makeFontStrip(int density) {
    const int count = kFontLast - kFontFirst + 1;
    Canvas canvas(count * kFontCellWidth, kFontCellHeight, density);
    cairo_t* cr = canvas.cr();
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    const FontSpec font{"DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 11.0, 0.0};
    selectFont(cr, font);
    setSource(cr, rgb255(242, 230, 200));  // the strip's cream
    for (int i = 0; i < count; ++i) {
        const char text[2] = {static_cast<char>(kFontFirst + i), 0};
        cairo_text_extents_t e;
        cairo_text_extents(cr, text, &e);
        // Centred in its cell on a common baseline.
        const double x = i * kFontCellWidth + (kFontCellWidth - e.x_advance) / 2.0;
        // Placed on the 1x pixel grid at every density, so the twin's
        // glyphs sit where the 1x ones do.
        cairo_move_to(cr, static_cast<int>(x + 0.5), kFontBaseline);
        cairo_show_text(cr, text);
    }
    return canvas.resolve(density);
}

}  // namespace artwork
