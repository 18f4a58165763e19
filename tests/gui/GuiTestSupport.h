// Helpers shared by the toolkit tests: images made in memory, a recording
// editor and listener, and a frame on the headless window layer.
#pragma once

#include "gui/vstgui.h"
#include "gui/platform/headless/HeadlessPlatform.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

namespace guitest {

using namespace VSTGUI;

// A PNG written by libpng. `samples` holds the rows top first, packed as the
// colour type and bit depth say (16-bit samples big-endian).
struct PngRecipe {
    int width = 1;
    int height = 1;
    int colourType = PNG_COLOR_TYPE_RGBA;
    int bitDepth = 8;
    std::vector<uint8_t> samples;
    std::vector<png_color> palette;
    std::vector<uint8_t> paletteAlpha;  // tRNS for palette images
    bool greyKey = false;               // tRNS for a grey image
    uint16_t greyKeyValue = 0;
    bool interlaced = false;
};

inline void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
inline void noFlush(png_structp) {}

inline std::vector<uint8_t> makePng(const PngRecipe& recipe) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test image";
        return {};
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colourType,
                 recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty())
        png_set_PLTE(png, info, recipe.palette.data(), static_cast<int>(recipe.palette.size()));
    if (!recipe.paletteAlpha.empty())
        png_set_tRNS(png, info, recipe.paletteAlpha.data(), static_cast<int>(recipe.paletteAlpha.size()), nullptr);
    if (recipe.greyKey) {
        png_color_16 key{};
        key.gray = recipe.greyKeyValue;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(static_cast<size_t>(recipe.height));
    std::vector<uint8_t> samples = recipe.samples;
    samples.resize(rowBytes * static_cast<size_t>(recipe.height), 0);
    for (int y = 0; y < recipe.height; ++y)
        rows[static_cast<size_t>(y)] = samples.data() + rowBytes * static_cast<size_t>(y);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An RGBA image of one colour (8 bits per channel).
inline std::vector<uint8_t> solidPng(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    PngRecipe recipe;
    recipe.width = w;
    recipe.height = h;
    recipe.samples.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (size_t i = 0; i < recipe.samples.size(); i += 4) {
        recipe.samples[i] = r;
        recipe.samples[i + 1] = g;
        recipe.samples[i + 2] = b;
        recipe.samples[i + 3] = a;
    }
    return makePng(recipe);
}

// A packed 24-bit DIB; `pixel(x, y)` gives R, G, B of the picture (y from the top).
template <typename F>
std::vector<uint8_t> makeDib(int32_t w, int32_t h, bool topDown, F pixel) {
    const uint32_t stride = static_cast<uint32_t>(((w * 24 + 31) / 32) * 4);
    std::vector<uint8_t> d(40 + stride * static_cast<uint32_t>(h), 0);
    auto put32 = [&d](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(w));
    put32(8, static_cast<uint32_t>(topDown ? -h : h));
    d[12] = 1;
    d[14] = 24;
    put32(20, stride * static_cast<uint32_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        const int32_t fileRow = topDown ? y : h - 1 - y;
        for (int32_t x = 0; x < w; ++x) {
            const auto c = pixel(x, y);
            uint8_t* p = d.data() + 40 + stride * static_cast<uint32_t>(fileRow) + static_cast<uint32_t>(x) * 3;
            p[0] = c[2];
            p[1] = c[1];
            p[2] = c[0];
        }
    }
    return d;
}

// A film strip of `frames` frames of w x h; frame k is opaque with red = k.
inline std::vector<uint8_t> stripPng(int w, int h, int frames) {
    PngRecipe recipe;
    recipe.width = w;
    recipe.height = h * frames;
    recipe.samples.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(frames) * 4, 0);
    for (size_t i = 0; i < recipe.samples.size(); i += 4) {
        recipe.samples[i] = static_cast<uint8_t>(i / 4 / static_cast<size_t>(w * h));
        recipe.samples[i + 3] = 255;
    }
    return makePng(recipe);
}

// A shared log of what the editor and the listener hear, in order.
struct EventLog {
    std::vector<std::string> events;
    void add(const std::string& e) { events.push_back(e); }
    std::string joined() const {
        std::string s;
        for (const auto& e : events)
            s += (s.empty() ? "" : " ") + e;
        return s;
    }
};

struct RecordingEditor : FrameEditor {
    explicit RecordingEditor(EventLog& l) : log(l) {}
    void beginEdit(int32 index) override { log.add("begin" + std::to_string(index)); }
    void endEdit(int32 index) override { log.add("end" + std::to_string(index)); }
    void runIdle() override {
        ++idles;
        log.add("idle");
        if (frame)
            frame->idle();
    }
    int32 getKnobMode() const override { return 2; }
    EventLog& log;
    CFrame* frame = nullptr;
    int idles = 0;
};

struct RecordingListener : CControlListener {
    explicit RecordingListener(EventLog& l) : log(l) {}
    void valueChanged(CDrawContext*, CControl* control) override {
        values.push_back(control->getValue());
        log.add("changed" + std::to_string(control->getTag()));
    }
    int32 modifierClicked(CDrawContext*, CControl*, int32 buttons) override {
        modifierButtons.push_back(buttons);
        return consumeModifierClicks ? 1 : 0;
    }
    EventLog& log;
    std::vector<float> values;
    std::vector<int32> modifierButtons;
    bool consumeModifierClicks = false;
};

// A frame in a headless window with an editor that redraws on idle.
class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        headlessPlatform().reset();
        editor.frame = frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(0x1), &editor);
        window = headlessPlatform().window(frame->getWindow());
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (frame)
            frame->forget();
        headlessPlatform().reset();
    }
    // Screen position of a frame point.
    HeadlessPlatform::Step at(int32 x, int32 y, int32 buttons) const {
        return HeadlessPlatform::Step{x + window->originX, y + window->originY, buttons};
    }
    // Presses at frame point x, y with the given mask, then runs the script.
    void press(int32 x, int32 y, int32 buttons, const std::vector<HeadlessPlatform::Step>& then = {}) {
        std::vector<HeadlessPlatform::Step> steps{at(x, y, buttons)};
        steps.insert(steps.end(), then.begin(), then.end());
        headlessPlatform().queue(steps);
        headlessPlatform().press(frame->getWindow(), x, y, kLButton);
    }
    void firstPaint() { headlessPlatform().paintAll(frame->getWindow()); }

    EventLog log;
    RecordingEditor editor{log};
    CFrame* frame = nullptr;
    HeadlessPlatform::Window* window = nullptr;
};

}  // namespace guitest
