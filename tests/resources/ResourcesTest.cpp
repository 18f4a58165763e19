// The editor's images as the library carries them: compiled in from the
// resource script on Linux, native resources of the DLL on Windows. Checks the
// formats the loader and the control layout depend on, and that the pictures
// put their content where the panel layout needs it.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "resources/EmbeddedResources.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using corvex::ResourceData;

#ifdef _WIN32
// The same lookup the editor makes: the plug-in DLL's own resources.
ResourceData lookup(const char* type, int id) {
    static HMODULE module = LoadLibraryExA(CORVEX_PLUGIN_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr || type == nullptr || id < 1 || id > 0xFFFF)
        return {nullptr, 0};
    LPCSTR resourceType = std::strcmp(type, "BITMAP") == 0 ? MAKEINTRESOURCEA(2) : type;
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), resourceType);
    if (info == nullptr)
        return {nullptr, 0};
    HGLOBAL handle = LoadResource(module, info);
    if (handle == nullptr)
        return {nullptr, 0};
    return {static_cast<const unsigned char*>(LockResource(handle)), SizeofResource(module, info)};
}
#else
ResourceData lookup(const char* type, int id) {
    return corvex::findEmbeddedResource(type, id);
}
#endif

std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct PngHeader {
    bool valid = false;
    std::uint32_t width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
};

// The IHDR chunk, which a PNG must carry first.
PngHeader readHeader(const ResourceData& r) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngHeader h;
    if (r.data == nullptr || r.size < 33 || std::memcmp(r.data, signature, 8) != 0)
        return h;
    if (be32(r.data + 8) != 13 || std::memcmp(r.data + 12, "IHDR", 4) != 0)
        return h;
    h.width = be32(r.data + 16);
    h.height = be32(r.data + 20);
    h.bitDepth = r.data[24];
    h.colourType = r.data[25];
    h.valid = true;
    return h;
}

// Straight 8-bit RGBA, rows top-down.
struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* at(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
    int alpha(int x, int y) const { return at(x, y)[3]; }
    double luminance(int x, int y) const {
        const unsigned char* p = at(x, y);
        return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
    }
};

Pixels decode(int id) {
    Pixels out;
    const ResourceData r = lookup("PNG", id);
    if (r.data == nullptr)
        return out;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, r.data, r.size))
        return out;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
        png_image_free(&image);
        return out;
    }
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgba = std::move(buffer);
    return out;
}

// ---------------------------------------------------------------------------

TEST(ResourceTable, EveryPngHasTheFormatTheEditorExpects) {
    struct Expected {
        int id;
        std::uint32_t width, height;
        int bitDepth;
    };
    const Expected images[] = {
        {1, 45, 2835, 8},  // knob, 63 frames
        {2, 45, 2835, 8},  // knob with scale
        {3, 50, 52, 8},    // channel toggle, 2 states
        {4, 8, 16, 16},    // boost lamp, 16 bits per channel
        {5, 50, 52, 8},    // slide switch
        {6, 45, 2835, 8},  // mix knob
    };
    for (const Expected& e : images) {
        SCOPED_TRACE(e.id);
        const PngHeader h = readHeader(lookup("PNG", e.id));
        ASSERT_TRUE(h.valid);
        EXPECT_EQ(h.width, e.width);
        EXPECT_EQ(h.height, e.height);
        EXPECT_EQ(h.bitDepth, e.bitDepth);
        EXPECT_EQ(h.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
        const Pixels p = decode(e.id);
        EXPECT_EQ(p.width, static_cast<int>(e.width)) << "does not decode";
    }
}

TEST(ResourceTable, PanelIsAPacked24BitDibWithoutFileHeader) {
    const ResourceData r = lookup("BITMAP", 128);
    ASSERT_NE(r.data, nullptr);
    ASSERT_GE(r.size, 40u);
    EXPECT_NE(std::memcmp(r.data, "BM", 2), 0) << "the file header must be stripped";
    EXPECT_EQ(le32(r.data + 0), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(static_cast<std::int32_t>(le32(r.data + 4)), 660);
    EXPECT_EQ(static_cast<std::int32_t>(le32(r.data + 8)), 248);  // positive: rows bottom-up
    EXPECT_EQ(le16(r.data + 12), 1);
    EXPECT_EQ(le16(r.data + 14), 24);
    EXPECT_EQ(le32(r.data + 16), 0u);  // uncompressed
    const std::size_t stride = (660 * 3 + 3) & ~std::size_t(3);
    const std::uint32_t sizeImage = le32(r.data + 20);
    EXPECT_TRUE(sizeImage == 0 || sizeImage == stride * 248) << sizeImage;
    EXPECT_EQ(le32(r.data + 32), 0u) << "no colour table";
    EXPECT_EQ(r.size, 40 + stride * 248);
}

TEST(ResourceTable, PanelRowsAreStoredBottomUp) {
    const ResourceData r = lookup("BITMAP", 128);
    ASSERT_EQ(r.size, 40 + 1980u * 248);
    auto pixel = [&](int x, int y) { return r.data + 40 + static_cast<std::size_t>(247 - y) * 1980 + x * 3; };
    // The red face at the top, the cream strip under the knobs at the bottom.
    const unsigned char* face = pixel(300, 120);
    EXPECT_GT(face[2], face[1] + 60);
    EXPECT_GT(face[2], face[0] + 60);
    for (const unsigned char* strip : {pixel(50, 228), pixel(615, 182)}) {
        EXPECT_GT(strip[0], 120);
        EXPECT_GT(strip[1], 150);
        EXPECT_GT(strip[2], 170);
    }
}

TEST(ResourceTable, UnknownIdsAndTypesAnswerNothing) {
    for (int id : {0, 7, 127, 129, -1, 65536, 1 << 30}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(lookup("PNG", id).data, nullptr);
        EXPECT_EQ(lookup("PNG", id).size, 0u);
        EXPECT_EQ(lookup("BITMAP", id).data, nullptr);
    }
    EXPECT_EQ(lookup("BITMAP", 1).data, nullptr);
    EXPECT_EQ(lookup("PNG", 128).data, nullptr);
    EXPECT_EQ(lookup("ICON", 1).data, nullptr);
    EXPECT_EQ(lookup("", 1).data, nullptr);
    EXPECT_EQ(lookup(nullptr, 1).data, nullptr);
    EXPECT_EQ(lookup(nullptr, 1).size, 0u);
    // Type names ignore case, as Windows resource types do.
    EXPECT_EQ(lookup("png", 3).data, lookup("PNG", 3).data);
}

TEST(ResourceTable, MixKnobIsTheSamePictureAsTheMainKnob) {
    const Pixels knob = decode(1), mix = decode(6);
    ASSERT_FALSE(knob.rgba.empty());
    EXPECT_EQ(knob.rgba, mix.rgba);
}

// ---------------------------------------------------------------------------

// Mean brightness of the knob face along a ray from the centre of a frame,
// at radii 4 to 8 (inside the cap of both knob pictures).
double rayBrightness(const Pixels& p, int frame, double degrees) {
    const double cx = 22.5, cy = 22.5 + 45.0 * frame;
    const double a = degrees * 3.14159265358979 / 180.0;
    double sum = 0.0;
    int n = 0;
    for (double r = 4.0; r <= 8.0; r += 0.5) {
        const int x = static_cast<int>(std::floor(cx + r * std::cos(a)));
        const int y = static_cast<int>(std::floor(cy - r * std::sin(a)));
        sum += p.luminance(x, y);
        ++n;
    }
    return sum / n;
}

TEST(KnobStrips, PointerTurnsClockwiseFromLowerLeftToLowerRight) {
    for (int id : {1, 2}) {
        SCOPED_TRACE(id);
        const Pixels p = decode(id);
        ASSERT_EQ(p.height, 2835);
        // The pointer is the darkest ray: lower left at the minimum, straight
        // up in the middle (value 0.5 shows frame 31), lower right at the maximum.
        EXPECT_LT(rayBrightness(p, 0, 225), rayBrightness(p, 0, 315) - 40);
        EXPECT_LT(rayBrightness(p, 0, 225), rayBrightness(p, 0, 135) - 40);
        EXPECT_LT(rayBrightness(p, 31, 90), rayBrightness(p, 31, 270) - 40);
        EXPECT_LT(rayBrightness(p, 62, 315), rayBrightness(p, 62, 225) - 40);
        EXPECT_LT(rayBrightness(p, 62, 315), rayBrightness(p, 62, 45) - 40);
        // Each step turns the pointer: neighbouring frames are different pictures.
        for (int f = 0; f + 1 < 63; ++f) {
            const auto* a = p.at(0, 45 * f);
            const auto* b = p.at(0, 45 * (f + 1));
            EXPECT_NE(std::memcmp(a, b, 45 * 45 * 4), 0) << "frames " << f << " and " << f + 1;
        }
    }
}

TEST(KnobStrips, EveryFrameIsAnOpaqueKnobOnATransparentGround) {
    for (int id : {1, 2}) {
        SCOPED_TRACE(id);
        const Pixels p = decode(id);
        ASSERT_EQ(p.height, 2835);
        for (int f = 0; f < 63; ++f) {
            const int top = 45 * f;
            EXPECT_EQ(p.alpha(22, top + 22), 255) << "frame " << f;
            EXPECT_EQ(p.alpha(0, top), 0) << "frame " << f;
            EXPECT_EQ(p.alpha(44, top), 0) << "frame " << f;
            EXPECT_EQ(p.alpha(0, top + 44), 0) << "frame " << f;
            EXPECT_EQ(p.alpha(44, top + 44), 0) << "frame " << f;
        }
    }
}

// ---------------------------------------------------------------------------

double regionMean(const Pixels& p, int x0, int y0, int x1, int y1, bool useAlpha) {
    double sum = 0.0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += useAlpha ? p.alpha(x, y) : p.luminance(x, y) * p.alpha(x, y) / 255.0;
    return sum / ((x1 - x0) * (y1 - y0));
}

TEST(SwitchImages, OffStateOnTopOnStateBelow) {
    // Toggle: lever up when off, down when on (the lever stands in the
    // right half of the image).
    const Pixels toggle = decode(3);
    ASSERT_EQ(toggle.height, 52);
    EXPECT_GT(regionMean(toggle, 25, 0, 50, 5, true), regionMean(toggle, 25, 21, 50, 26, true) + 30);
    EXPECT_GT(regionMean(toggle, 25, 47, 50, 52, true), regionMean(toggle, 25, 26, 50, 31, true) + 30);

    // Slide: the bright thumb at the left when off, at the right when on.
    const Pixels slide = decode(5);
    ASSERT_EQ(slide.height, 52);
    EXPECT_GT(regionMean(slide, 10, 8, 25, 18, false), regionMean(slide, 25, 8, 40, 18, false) + 40);
    EXPECT_GT(regionMean(slide, 25, 34, 40, 44, false), regionMean(slide, 10, 34, 25, 44, false) + 40);

    // Lamp: dark red above, lit red below.
    const Pixels lamp = decode(4);
    ASSERT_EQ(lamp.height, 16);
    const unsigned char* off = lamp.at(4, 4);
    const unsigned char* on = lamp.at(4, 12);
    EXPECT_GT(on[0], off[0] + 80);
    EXPECT_GT(on[0], on[1]);
    EXPECT_GT(off[0], off[1]);
    EXPECT_EQ(lamp.alpha(0, 0), 0);
    EXPECT_EQ(lamp.alpha(7, 15), 0);
}

TEST(SwitchImages, OverlappingControlsHideNothingOfEachOther) {
    // The quality switch is drawn over the top six rows of the mono/stereo
    // switch, and the channel toggle over the right seven columns of the
    // input knob: those rows and columns must be empty.
    const Pixels slide = decode(5);
    ASSERT_EQ(slide.height, 52);
    for (int state = 0; state < 2; ++state)
        EXPECT_EQ(regionMean(slide, 0, 26 * state, 50, 26 * state + 6, true), 0.0);
    const Pixels toggle = decode(3);
    ASSERT_EQ(toggle.height, 52);
    EXPECT_EQ(regionMean(toggle, 0, 0, 7, 52, true), 0.0);
}

}  // namespace
