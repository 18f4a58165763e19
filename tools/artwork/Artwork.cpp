// Draws the editor's images: the panel (bitmap 128) and the knob, switch and
// lamp film strips (PNG 1 to 6), and optionally a preview of the assembled
// editor.
//
//   corvex_artwork <resources-dir> [<preview.png>]
//
// Every picture is drawn from code (no input files besides the DejaVu fonts),
// so running it again gives the same bytes.
// The pictures themselves are drawn in Controls.cpp and Panel.cpp; this file
// writes them and composes the preview.
#include <algorithm>
#include <cstdio>
#include <string>

#include "Canvas.h"
#include "ImageIo.h"
#include "Layout.h"
#include "Pictures.h"

using namespace artwork;

namespace {

// ---------------------------------------------------------------------------
// Preview: the assembled editor, controls at assorted values.
// ---------------------------------------------------------------------------

void blendOver(FloatImage& dst, const FloatImage& src, int dx, int dy, int sy, int w, int h) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int tx = dx + x, ty = dy + y;
            if (tx < 0 || ty < 0 || tx >= dst.width || ty >= dst.height)
                continue;
            const float* s = src.at(x, sy + y);
            float* d = dst.at(tx, ty);
            for (int c = 0; c < 3; ++c)
                d[c] = s[c] * s[3] + d[c] * (1.0f - s[3]);
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
    if (!ok)
        std::fprintf(stderr, "artwork: cannot write %s\n", path.c_str());
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
    const FloatImage toggle = makeToggleStrip();
    const FloatImage slide = makeSlideStrip();
    const FloatImage lamp = makeLampStrip();

    bool ok = true;
    ok &= save(writeBmp24(dir + "/panel.bmp", panel), dir + "/panel.bmp");
    ok &= save(writePng(dir + "/knob.png", knob, 8), dir + "/knob.png");
    ok &= save(writePng(dir + "/knob_mix.png", knob, 8), dir + "/knob_mix.png");
    ok &= save(writePng(dir + "/knob_scale.png", knobScale, 8), dir + "/knob_scale.png");
    ok &= save(writePng(dir + "/toggle.png", toggle, 8), dir + "/toggle.png");
    ok &= save(writePng(dir + "/lamp.png", lamp, 16), dir + "/lamp.png");
    ok &= save(writePng(dir + "/slide.png", slide, 8), dir + "/slide.png");
    ok &= save(writePng(dir + "/rig_font.png", makeFontStrip(), 8), dir + "/rig_font.png");
    // The double-resolution twins (resource id + 1000), drawn from the same
    // code at twice the density.
    int problems2x = 0;
    const FloatImage panel2x = makePanel(&problems2x, 2);
    const FloatImage knob2x = makeKnobStrip(false, 2);
    ok &= save(writeBmp24(dir + "/panel_2x.bmp", panel2x), dir + "/panel_2x.bmp");
    ok &= save(writePng(dir + "/knob_2x.png", knob2x, 8), dir + "/knob_2x.png");
    ok &= save(writePng(dir + "/knob_mix_2x.png", knob2x, 8), dir + "/knob_mix_2x.png");
    ok &= save(writePng(dir + "/knob_scale_2x.png", makeKnobStrip(true, 2), 8), dir + "/knob_scale_2x.png");
    ok &= save(writePng(dir + "/toggle_2x.png", makeToggleStrip(2), 8), dir + "/toggle_2x.png");
    ok &= save(writePng(dir + "/lamp_2x.png", makeLampStrip(2), 16), dir + "/lamp_2x.png");
    ok &= save(writePng(dir + "/slide_2x.png", makeSlideStrip(2), 8), dir + "/slide_2x.png");
    ok &= save(writePng(dir + "/rig_font_2x.png", makeFontStrip(2), 8), dir + "/rig_font_2x.png");
    if (argc == 3) {
        const std::string preview = argv[2];
        const FloatImage composed = makePreview(panel, knob, toggle, lamp, slide);
        ok &= save(writePng(preview, composed, 8), preview);
        const std::string large = preview.substr(0, preview.rfind('.')) + "_x3.png";
        ok &= save(writePng(large, enlarge(composed, 3), 8), large);
    }
    if (problems)
        std::fprintf(stderr, "artwork: %d layout problem(s)\n", problems);
    return ok && problems == 0 ? 0 : 1;
}
