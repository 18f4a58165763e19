// Writers for the editor's image files: PNG through libpng (8 or 16 bits per
// channel, RGBA) and the panel as an uncompressed 24-bit BMP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace artwork {

// Straight (not premultiplied) RGBA pixels, rows top-down, channels 0..1.
struct FloatImage {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;  // width * height * 4

    FloatImage() = default;
    FloatImage(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4, 0.0f) {}
    float* at(int x, int y) { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
    const float* at(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

// Writes a colour-type-6 PNG with the given bit depth (8 or 16). No time or
// text chunks, so the same pixels always give the same bytes.
bool writePng(const std::string& path, const FloatImage& image, int bitDepth);

// Writes a bottom-up 24-bit BMP with a BITMAPINFOHEADER; alpha is ignored.
bool writeBmp24(const std::string& path, const FloatImage& image);

}  // namespace artwork
