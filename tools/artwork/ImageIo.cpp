#include "ImageIo.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace artwork {
namespace {

unsigned quantise(float v, unsigned maxValue) {
    const float c = std::clamp(v, 0.0f, 1.0f);
    return static_cast<unsigned>(std::lround(c * static_cast<float>(maxValue)));
}

void putLe16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void putLe32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

bool writePng(const std::string& path, const FloatImage& image, int bitDepth) {
    if (bitDepth != 8 && bitDepth != 16)
        return false;
    const int bytesPerSample = bitDepth / 8;
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4 * bytesPerSample;
    std::vector<unsigned char> pixels(rowBytes * image.height);
    const unsigned maxValue = bitDepth == 16 ? 65535u : 255u;
    for (int y = 0; y < image.height; ++y) {
        unsigned char* row = &pixels[rowBytes * y];
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            const float a = p[3];
            for (int c = 0; c < 4; ++c) {
                // Fully transparent pixels carry no colour, which keeps the
                // files small and deterministic.
                const unsigned v = a <= 0.0f ? 0u : quantise(p[c], maxValue);
                if (bitDepth == 16) {
                    *row++ = static_cast<unsigned char>(v >> 8);
                    *row++ = static_cast<unsigned char>(v & 0xFF);
                } else {
                    *row++ = static_cast<unsigned char>(v);
                }
            }
        }
    }

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, image.width, image.height, bitDepth, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, &pixels[rowBytes * y]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

bool writeBmp24(const std::string& path, const FloatImage& image) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(image.height);
    std::vector<unsigned char> out;
    out.reserve(54 + imageSize);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    putLe32(out, 54 + imageSize);
    putLe32(out, 0);
    putLe32(out, 54);
    // BITMAPINFOHEADER: positive height = rows bottom-up, BI_RGB, 72 dpi.
    putLe32(out, 40);
    putLe32(out, static_cast<std::uint32_t>(image.width));
    putLe32(out, static_cast<std::uint32_t>(image.height));
    putLe16(out, 1);
    putLe16(out, 24);
    putLe32(out, 0);
    putLe32(out, imageSize);
    putLe32(out, 2835);
    putLe32(out, 2835);
    putLe32(out, 0);
    putLe32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const float* p = image.at(x, y);
            out.push_back(static_cast<unsigned char>(quantise(p[2], 255)));
            out.push_back(static_cast<unsigned char>(quantise(p[1], 255)));
            out.push_back(static_cast<unsigned char>(quantise(p[0], 255)));
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < stride; ++pad)
            out.push_back(0);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace artwork
