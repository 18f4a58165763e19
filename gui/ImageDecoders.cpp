#include "gui/ImageDecoders.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace VSTGUI {
namespace decoders {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (!reader || count > reader->size - reader->position) {
        // Running off the end is an error, not a short read: libpng would
        // otherwise go on with whatever its buffer held.
        png_error(png, "truncated");
    }
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

// Errors return through libpng's long jump; nothing is printed.
void silentError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void silentWarning(png_structp, png_const_charp) {}

}  // namespace

PngResult decodePng(const uint8_t* data, size_t size, PixelImage& out) {
    out.clear();
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return PngResult::badHeader;

    MemoryReader reader{data, size, 0};
    // The version string of the libpng we were compiled against, which must
    // match the one linked.
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, silentError, silentWarning);
    if (!png)
        return PngResult::badHeader;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return PngResult::badHeader;
    }

    // Changed after setjmp and read after a long jump: volatile.
    volatile PngResult result = PngResult::badHeader;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return result;
    }

    png_set_read_fn(png, &reader, readFromMemory);
    // Refuse absurd headers before any memory is spent on them.
    png_set_user_limits(png, PixelImage::kMaxSide, PixelImage::kMaxSide);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &bitDepth, &colourType, &interlace, nullptr, nullptr);

    if (!out.allocate(static_cast<int32>(w), static_cast<int32>(h))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return PngResult::tooLarge;
    }
    result = PngResult::decodeError;

    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    else
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    if (bitDepth == 16)
        png_set_strip_16(png);
    png_set_bgr(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(out.rowBytes()) || png_get_bit_depth(png, info) != 8 ||
        png_get_channels(png, info) != 4) {
        png_error(png, "unexpected row layout");
    }

    // Rows arrive top first; row(y) places them upright in the bottom-up store.
    for (int pass = 0; pass < passes; ++pass) {
        for (int32 y = 0; y < out.height(); ++y)
            png_read_row(png, out.row(y), nullptr);
    }
    // Every row is in: a damaged tail after the image data costs nothing.
    result = PngResult::ok;
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return PngResult::ok;
}

void premultiply(PixelImage& image) {
    uint8_t* p = image.bits();
    const size_t n = image.byteSize() / 4;
    for (size_t i = 0; i < n; ++i, p += 4) {
        const uint32_t a = p[3];
        if (a == 0) {
            p[0] = p[1] = p[2] = 0;
        } else {
            p[0] = static_cast<uint8_t>((p[0] * a) >> 8);
            p[1] = static_cast<uint8_t>((p[1] * a) >> 8);
            p[2] = static_cast<uint8_t>((p[2] * a) >> 8);
        }
    }
}

namespace {

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

bool decodeDib(const uint8_t* data, size_t size, PixelImage& out) {
    out.clear();
    if (!data || size < 40)
        return false;
    const uint32_t headerSize = le32(data);
    if (headerSize < 40 || headerSize > size)
        return false;
    const int64_t w = static_cast<int32_t>(le32(data + 4));
    const int64_t rawH = static_cast<int32_t>(le32(data + 8));
    const uint16_t planes = le16(data + 12);
    const uint16_t bitCount = le16(data + 14);
    const uint32_t compression = le32(data + 16);
    const uint32_t coloursUsed = le32(data + 32);
    const bool topDown = rawH < 0;
    const int64_t h = topDown ? -rawH : rawH;
    if (planes != 1 || compression != 0 /* uncompressed */ || (bitCount != 24 && bitCount != 32))
        return false;
    if (w <= 0 || h <= 0 || w > PixelImage::kMaxSide || h > PixelImage::kMaxSide)
        return false;
    if (coloursUsed > 256)
        return false;
    const uint64_t stride = ((static_cast<uint64_t>(w) * bitCount + 31) / 32) * 4;
    const uint64_t pixelOffset = static_cast<uint64_t>(headerSize) + static_cast<uint64_t>(coloursUsed) * 4;
    if (pixelOffset + stride * static_cast<uint64_t>(h) > size)
        return false;
    if (!out.allocate(static_cast<int32>(w), static_cast<int32>(h)))
        return false;

    const int bytesPerPixel = bitCount / 8;
    for (int32 y = 0; y < out.height(); ++y) {
        // Row y of the picture (from the top) in the file.
        const int64_t fileRow = topDown ? y : h - 1 - y;
        const uint8_t* s = data + pixelOffset + stride * static_cast<uint64_t>(fileRow);
        uint8_t* d = out.row(y);
        for (int32 x = 0; x < out.width(); ++x, s += bytesPerPixel, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
    }
    return true;
}

}  // namespace decoders
}  // namespace VSTGUI
