// Images: PNG decoding and premultiplication, bitmap resources, and the
// compositor's blend, copies and rectangle drawing.
#include "GuiTestSupport.h"

#include "gui/ImageDecoders.h"

#include <array>
#include <climits>
#include <cstring>

using namespace VSTGUI;
using namespace guitest;

namespace {

// Stored bytes of pixel x, y (from the top): B, G, R, A.
std::array<int, 4> stored(const CBitmap& b, int x, int y) {
    const uint8_t* p = b.getPixelStore().pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

std::array<int, 4> at(const PixelImage& img, int x, int y) {
    const uint8_t* p = img.pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

using Px = std::array<int, 4>;

}  // namespace

// --- reference counting ------------------------------------------------------

namespace {
struct Counted : CReferenceCounter {
    explicit Counted(int& d) : destroyed(d) {}
    ~Counted() override { ++destroyed; }
    int& destroyed;
};
}  // namespace

TEST(ReferenceCounter, ForgetOnLastReferenceDestroysRememberKeepsAlive) {
    int destroyed = 0;
    auto* a = new Counted(destroyed);
    a->remember();
    a->forget();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(a->getNbReference(), 1);
    a->forget();
    EXPECT_EQ(destroyed, 1);
}

// --- PNG decoding ------------------------------------------------------------

TEST(PngDecoding, OpaqueWhiteIsStored254AndTransparentIsAllZero) {
    PngRecipe recipe;
    recipe.width = 2;
    recipe.samples = {255, 255, 255, 255, 200, 100, 50, 0};
    CBitmap b;
    const auto png = makePng(recipe);
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_FALSE(b.getNoAlpha());
    EXPECT_EQ(b.getWidth(), 2);
    EXPECT_EQ(b.getHeight(), 1);
    EXPECT_EQ(stored(b, 0, 0), (Px{254, 254, 254, 255}));
    EXPECT_EQ(stored(b, 1, 0), (Px{0, 0, 0, 0}));
}

TEST(PngDecoding, PremultipliesWithTruncatingShiftAndKeepsRowsUpright) {
    PngRecipe recipe;
    recipe.width = 1;
    recipe.height = 2;
    // Top: R 200 G 100 B 50 at alpha 128; bottom: pure blue opaque.
    recipe.samples = {200, 100, 50, 128, 0, 0, 255, 255};
    CBitmap b;
    const auto png = makePng(recipe);
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_EQ(stored(b, 0, 0), (Px{(50 * 128) >> 8, (100 * 128) >> 8, (200 * 128) >> 8, 128}));
    EXPECT_EQ(stored(b, 0, 1), (Px{254, 0, 0, 255}));
    // Bottom-up store: the first stored row is the bottom of the picture.
    EXPECT_EQ(b.getPixelStore().bits()[0], 254);
}

TEST(PngDecoding, PaletteGreyAndRgbWithoutAlphaLoadOpaqueWithTheirColours) {
    {
        PngRecipe recipe;
        recipe.colourType = PNG_COLOR_TYPE_PALETTE;
        recipe.width = 2;
        recipe.palette = {{10, 20, 30}, {40, 50, 60}};
        recipe.samples = {1, 0};
        const auto png = makePng(recipe);
        CBitmap b;
        ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
        // (v * 255) >> 8 for opaque colours.
        EXPECT_EQ(stored(b, 0, 0), (Px{(60 * 255) >> 8, (50 * 255) >> 8, (40 * 255) >> 8, 255}));
        EXPECT_EQ(stored(b, 1, 0), (Px{(30 * 255) >> 8, (20 * 255) >> 8, (10 * 255) >> 8, 255}));
    }
    {
        PngRecipe recipe;
        recipe.colourType = PNG_COLOR_TYPE_GRAY;
        recipe.samples = {100};
        const auto png = makePng(recipe);
        CBitmap b;
        ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
        const int v = (100 * 255) >> 8;
        EXPECT_EQ(stored(b, 0, 0), (Px{v, v, v, 255}));
    }
    {
        PngRecipe recipe;
        recipe.colourType = PNG_COLOR_TYPE_GRAY;
        recipe.bitDepth = 2;
        recipe.width = 4;
        recipe.samples = {0x1B};  // 0, 1, 2, 3 -> 0, 85, 170, 255
        const auto png = makePng(recipe);
        CBitmap b;
        ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
        EXPECT_EQ(stored(b, 0, 0)[0], 0);
        EXPECT_EQ(stored(b, 1, 0)[0], (85 * 255) >> 8);
        EXPECT_EQ(stored(b, 3, 0), (Px{254, 254, 254, 255}));
    }
    {
        PngRecipe recipe;
        recipe.colourType = PNG_COLOR_TYPE_RGB;
        recipe.samples = {255, 0, 128};
        const auto png = makePng(recipe);
        CBitmap b;
        ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
        EXPECT_EQ(stored(b, 0, 0), (Px{(128 * 255) >> 8, 0, 254, 255}));
    }
}

TEST(PngDecoding, TransparencyChunksBecomeAlpha) {
    PngRecipe recipe;
    recipe.colourType = PNG_COLOR_TYPE_PALETTE;
    recipe.width = 2;
    recipe.palette = {{255, 0, 0}, {0, 255, 0}};
    recipe.paletteAlpha = {0, 255};
    recipe.samples = {0, 1};
    auto png = makePng(recipe);
    CBitmap b;
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_EQ(stored(b, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(stored(b, 1, 0), (Px{0, 254, 0, 255}));

    PngRecipe grey;
    grey.colourType = PNG_COLOR_TYPE_GRAY;
    grey.width = 2;
    grey.greyKey = true;
    grey.greyKeyValue = 7;
    grey.samples = {7, 200};
    png = makePng(grey);
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_EQ(stored(b, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(stored(b, 1, 0)[3], 255);
}

TEST(PngDecoding, SixteenBitRgbaKeepsHighBytes) {
    // 8 x 16, like the lamp: every pixel R 0xAB12, G 0x3400, B 0xFF99, A 0xFFFF.
    PngRecipe recipe;
    recipe.width = 8;
    recipe.height = 16;
    recipe.bitDepth = 16;
    for (int i = 0; i < 8 * 16; ++i)
        recipe.samples.insert(recipe.samples.end(), {0xAB, 0x12, 0x34, 0x00, 0xFF, 0x99, 0xFF, 0xFF});
    const auto png = makePng(recipe);
    CBitmap b;
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_EQ(b.getWidth(), 8);
    EXPECT_EQ(b.getHeight(), 16);
    EXPECT_EQ(stored(b, 3, 9), (Px{(0xFF * 255) >> 8, (0x34 * 255) >> 8, (0xAB * 255) >> 8, 255}));
}

TEST(PngDecoding, InterlacedImagesDecodeWhole) {
    PngRecipe recipe;
    recipe.width = 9;
    recipe.height = 9;
    recipe.interlaced = true;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            recipe.samples.insert(recipe.samples.end(),
                                  {static_cast<uint8_t>(x * 20), static_cast<uint8_t>(y * 20), 0, 255});
    const auto png = makePng(recipe);
    CBitmap b;
    ASSERT_TRUE(b.loadFromPngData(png.data(), png.size()));
    EXPECT_EQ(stored(b, 5, 7), (Px{0, (140 * 255) >> 8, (100 * 255) >> 8, 255}));
}

TEST(PngDecoding, CorruptAndTruncatedDataIsRefusedSafely) {
    const auto good = solidPng(16, 16, 255, 255, 255, 255);
    CBitmap b;
    EXPECT_FALSE(b.loadFromPngData(nullptr, 0));
    EXPECT_FALSE(b.loadFromPngData(good.data(), 7));
    EXPECT_EQ(b.getWidth(), 0);
    EXPECT_FALSE(b.isLoaded());

    // Every truncation: never a crash, never more pixels than the header.
    for (size_t n = 8; n < good.size(); n += 3) {
        CBitmap t;
        t.loadFromPngData(good.data(), n);
        EXPECT_LE(t.getWidth(), 16);
        EXPECT_EQ(t.getPixelStore().width(), t.getWidth());
    }
    // A cut in the image data leaves the size and a partial, premultiplied picture.
    CBitmap partial;
    EXPECT_FALSE(partial.loadFromPngData(good.data(), good.size() - 20));
    EXPECT_FALSE(partial.getNoAlpha());

    // Flipped bytes in the data: refused or decoded, never out of bounds.
    for (size_t i = 8; i < good.size(); i += 5) {
        auto bad = good;
        bad[i] ^= 0x5A;
        CBitmap t;
        t.loadFromPngData(bad.data(), bad.size());
    }

    // A header claiming an enormous image gets no pixels and no size.
    auto huge = good;
    huge[16] = 0x00;
    huge[17] = 0x01;
    huge[18] = 0x00;
    huge[19] = 0x00;  // width 65536
    CBitmap h;
    EXPECT_FALSE(h.loadFromPngData(huge.data(), huge.size()));
    EXPECT_EQ(h.getWidth(), 0);
    EXPECT_FALSE(h.isLoaded());
}

// --- bitmap resources ----------------------------------------------------------

TEST(DibDecoding, BottomUpAndTopDownLoadUprightAndOpaque) {
    for (bool topDown : {false, true}) {
        const auto dib = makeDib(3, 2, topDown, [](int x, int y) {
            return std::array<uint8_t, 3>{static_cast<uint8_t>(10 + x), static_cast<uint8_t>(20 + y), 30};
        });
        CBitmap b;
        ASSERT_TRUE(b.loadFromDibData(dib.data(), dib.size()));
        EXPECT_TRUE(b.getNoAlpha());
        EXPECT_EQ(b.getWidth(), 3);
        EXPECT_EQ(b.getHeight(), 2);
        EXPECT_EQ(stored(b, 2, 1), (Px{30, 21, 12, 255}));
        EXPECT_EQ(stored(b, 0, 0), (Px{30, 20, 10, 255}));
    }
}

TEST(DibDecoding, BadHeadersAndShortDataAreRefused) {
    auto good = makeDib(5, 4, false, [](int, int) { return std::array<uint8_t, 3>{1, 2, 3}; });
    CBitmap b;
    EXPECT_FALSE(b.loadFromDibData(good.data(), good.size() - 1));
    EXPECT_FALSE(b.loadFromDibData(good.data(), 39));
    EXPECT_FALSE(b.loadFromDibData(nullptr, 100));
    auto bad = good;
    bad[16] = 1;  // run-length compressed
    EXPECT_FALSE(b.loadFromDibData(bad.data(), bad.size()));
    bad = good;
    bad[14] = 8;  // palette image
    EXPECT_FALSE(b.loadFromDibData(bad.data(), bad.size()));
    bad = good;
    bad[4] = 0xFF;
    bad[5] = 0xFF;
    bad[6] = 0xFF;
    bad[7] = 0x7F;  // width 2^31 - 1
    EXPECT_FALSE(b.loadFromDibData(bad.data(), bad.size()));
    bad = good;
    bad[8] = 0x00;
    bad[9] = 0x00;
    bad[10] = 0x00;
    bad[11] = 0x80;  // height -2^31
    EXPECT_FALSE(b.loadFromDibData(bad.data(), bad.size()));
    bad = good;
    bad[0] = 0xFF;
    bad[1] = 0xFF;  // header longer than the data
    EXPECT_FALSE(b.loadFromDibData(bad.data(), bad.size()));
    EXPECT_EQ(b.getWidth(), 0);
    EXPECT_FALSE(b.isLoaded());
}

TEST(BitmapResources, PngFirstThenBitmapAndMissingGivesEmpty) {
    headlessPlatform().reset();
    const auto png = solidPng(4, 2, 0, 0, 255, 255);
    const auto dib = makeDib(6, 3, false, [](int, int) { return std::array<uint8_t, 3>{9, 9, 9}; });
    headlessPlatform().addResource("PNG", 7001, png);
    headlessPlatform().addResource("BITMAP", 7001, dib);
    headlessPlatform().addResource("BITMAP", 7128, dib);

    CBitmap* fromPng = new CBitmap(7001);
    EXPECT_EQ(fromPng->getWidth(), 4);
    EXPECT_FALSE(fromPng->getNoAlpha());
    EXPECT_EQ(fromPng->getTransparentColor(), (CColor{255, 255, 255, 0}));
    fromPng->forget();

    CBitmap* fromDib = new CBitmap(7128);
    EXPECT_EQ(fromDib->getWidth(), 6);
    EXPECT_EQ(fromDib->getHeight(), 3);
    EXPECT_TRUE(fromDib->getNoAlpha());
    EXPECT_FALSE(fromDib->loadFromPath("/tmp/x.png"));
    EXPECT_EQ(fromDib->getWidth(), 0);
    fromDib->forget();

    CBitmap missing(9999);
    EXPECT_EQ(missing.getWidth(), 0);
    EXPECT_FALSE(missing.isLoaded());
    COffscreenContext ctx(nullptr, 4, 4, kBlackCColor);
    missing.draw(&ctx, CRect(0, 0, 4, 4));  // draws nothing, safely
    EXPECT_EQ(at(ctx.getImage(), 1, 1), (Px{0, 0, 0, 255}));
    headlessPlatform().reset();
}

// --- compositor ----------------------------------------------------------------

TEST(Compositor, BlendMatchesSourceOverWithRoundedDivisions) {
    PixelImage dst, src;
    ASSERT_TRUE(dst.allocate(1, 1));
    ASSERT_TRUE(src.allocate(1, 1));
    auto set = [](PixelImage& i, Px v) {
        for (int c = 0; c < 4; ++c)
            i.pixel(0, 0)[c] = static_cast<uint8_t>(v[static_cast<size_t>(c)]);
    };
    const CRect all(0, 0, 1, 1);
    // Constant alpha 255: d = s + round(d * (255 - sa) / 255).
    set(dst, {200, 200, 200, 255});
    set(src, {100, 50, 25, 128});
    pixelops::blend(dst, all, src, CPoint(), all, 255, true);
    EXPECT_EQ(at(dst, 0, 0), (Px{100 + 100, 50 + 100, 25 + 100, 255}));  // 200*127/255 = 99.6 -> 100
    // Constant alpha 128 scales the source first: s' = round(s * 128 / 255).
    set(dst, {200, 200, 200, 255});
    pixelops::blend(dst, all, src, CPoint(), all, 128, true);
    // a' = round(128*128/255) = 64; s' = 50, 25, 13; keep = 191 -> round(200*191/255) = 150
    EXPECT_EQ(at(dst, 0, 0), (Px{50 + 150, 25 + 150, 13 + 150, 64 + 191}));
    // Opaque source replaces; transparent source leaves the destination.
    set(src, {1, 2, 3, 255});
    pixelops::blend(dst, all, src, CPoint(), all, 255, true);
    EXPECT_EQ(at(dst, 0, 0), (Px{1, 2, 3, 255}));
    set(src, {0, 0, 0, 0});
    pixelops::blend(dst, all, src, CPoint(), all, 255, true);
    EXPECT_EQ(at(dst, 0, 0), (Px{1, 2, 3, 255}));
    // Without source alpha only the constant counts.
    set(dst, {0, 0, 0, 255});
    set(src, {255, 255, 255, 0});
    pixelops::blend(dst, all, src, CPoint(), all, 51, false);
    EXPECT_EQ(at(dst, 0, 0), (Px{51, 51, 51, 255}));
    // A source that is not premultiplied saturates instead of wrapping.
    set(dst, {250, 250, 250, 255});
    set(src, {200, 200, 200, 10});
    pixelops::blend(dst, all, src, CPoint(), all, 255, true);
    EXPECT_EQ(at(dst, 0, 0), (Px{255, 255, 255, 255}));
}

TEST(Compositor, CopiesClipToDestinationSourceAndClipRect) {
    PixelImage dst, src;
    ASSERT_TRUE(dst.allocate(8, 8));
    ASSERT_TRUE(src.allocate(4, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = src.pixel(x, y);
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 9;
            p[3] = 255;
        }
    // Destination hangs off every edge and reads past the source: only the overlap is written.
    const CRect written = pixelops::copy(dst, CRect(-2, 5, 10, 20), src, CPoint(1, 0), CRect(0, 0, 100, 100));
    EXPECT_EQ(written, CRect(0, 5, 1, 8));
    EXPECT_EQ(at(dst, 0, 5), (Px{3, 0, 9, 255}));
    EXPECT_EQ(at(dst, 1, 5), (Px{0, 0, 0, 0}));
    // Clip rectangle.
    const CRect clipped = pixelops::copy(dst, CRect(0, 0, 4, 4), src, CPoint(), CRect(1, 1, 2, 3));
    EXPECT_EQ(clipped, CRect(1, 1, 2, 3));
    EXPECT_EQ(at(dst, 1, 2), (Px{1, 2, 9, 255}));
    EXPECT_EQ(at(dst, 0, 0), (Px{0, 0, 0, 0}));
    // Negative source points and absurd rectangles write nothing.
    EXPECT_TRUE(pixelops::copy(dst, CRect(0, 0, 2, 2), src, CPoint(-5, -5), dst.bounds()).isEmpty());
    EXPECT_TRUE(
        pixelops::copy(dst, CRect(INT32_MIN / 2, 0, INT32_MAX / 2, 8), src, CPoint(0, 100), dst.bounds()).isEmpty());
    // Overlapping copy within one image moves the picture intact.
    PixelImage one;
    ASSERT_TRUE(one.allocate(1, 4));
    for (int y = 0; y < 4; ++y)
        one.pixel(0, y)[0] = static_cast<uint8_t>(y + 1);
    pixelops::copy(one, CRect(0, 1, 1, 4), one, CPoint(0, 0), one.bounds());
    EXPECT_EQ(one.pixel(0, 1)[0], 1);
    EXPECT_EQ(one.pixel(0, 2)[0], 2);
    EXPECT_EQ(one.pixel(0, 3)[0], 3);
}

TEST(Compositor, ColourKeyedCopySkipsTheKey) {
    PixelImage dst, src;
    ASSERT_TRUE(dst.allocate(2, 1));
    ASSERT_TRUE(src.allocate(2, 1));
    uint8_t* s = src.pixel(0, 0);
    const uint8_t bytes[8] = {255, 255, 255, 255, 1, 2, 3, 255};
    std::memcpy(s, bytes, 8);
    pixelops::fill(dst, dst.bounds(), dst.bounds(), Bgra{7, 7, 7, 255});
    pixelops::copyKeyed(dst, dst.bounds(), src, CPoint(), dst.bounds(), Bgra{255, 255, 255, 255});
    EXPECT_EQ(at(dst, 0, 0), (Px{7, 7, 7, 255}));
    EXPECT_EQ(at(dst, 1, 0), (Px{1, 2, 3, 255}));
}

TEST(DrawContext, FillLeavesOutlineRowAndColumnAndOutlineIsInclusive) {
    COffscreenContext ctx(nullptr, 6, 6, CColor{0, 0, 0, 255});
    ASSERT_TRUE(ctx.isValid());
    ctx.setFillColor(CColor{255, 0, 0, 255});
    ctx.fillRect(CRect(1, 1, 4, 4));
    const PixelImage& img = ctx.getImage();
    EXPECT_EQ(at(img, 1, 1), (Px{0, 0, 0, 255}));
    EXPECT_EQ(at(img, 2, 2), (Px{0, 0, 255, 255}));
    EXPECT_EQ(at(img, 3, 3), (Px{0, 0, 255, 255}));
    EXPECT_EQ(at(img, 4, 4), (Px{0, 0, 0, 255}));

    ctx.setFrameColor(CColor{0, 255, 0, 255});
    ctx.drawRect(CRect(0, 0, 6, 6));
    EXPECT_EQ(at(img, 0, 0), (Px{0, 255, 0, 255}));
    EXPECT_EQ(at(img, 5, 5), (Px{0, 255, 0, 255}));
    EXPECT_EQ(at(img, 5, 0), (Px{0, 255, 0, 255}));
    EXPECT_EQ(at(img, 2, 2), (Px{0, 0, 255, 255}));

    // Offset and clip move and limit drawing; getClipRect answers in offset terms.
    ctx.setOffset(CPoint(2, 2));
    ctx.setClipRect(CRect(0, 0, 1, 1));
    CRect clip;
    ctx.getClipRect(clip);
    EXPECT_EQ(clip, CRect(0, 0, 1, 1));
    ctx.setFillColor(CColor{0, 0, 255, 255});
    ctx.fillRect(CRect(-1, -1, 10, 10));
    EXPECT_EQ(at(img, 2, 2), (Px{255, 0, 0, 255}));
    EXPECT_EQ(at(img, 3, 3), (Px{0, 0, 255, 255}));

    // A line stops before its end point.
    COffscreenContext lines(nullptr, 5, 1, kBlackCColor);
    lines.setFrameColor(kWhiteCColor);
    lines.moveTo(CPoint(0, 0));
    lines.lineTo(CPoint(3, 0));
    EXPECT_EQ(at(lines.getImage(), 2, 0), (Px{255, 255, 255, 255}));
    EXPECT_EQ(at(lines.getImage(), 3, 0), (Px{0, 0, 0, 255}));
}

TEST(DrawContext, OffscreenSizeIsNormalisedAndAbsurdSizesGiveNoImage) {
    COffscreenContext inverted(nullptr, -3, -2, kWhiteCColor);
    EXPECT_EQ(inverted.getWidth(), 3);
    EXPECT_EQ(inverted.getHeight(), 2);
    EXPECT_TRUE(inverted.isValid());
    COffscreenContext huge(nullptr, 100000, 100000, kWhiteCColor);
    EXPECT_FALSE(huge.isValid());
    huge.fillRect(CRect(0, 0, 10, 10));  // nothing to draw into: no effect
    COffscreenContext zero(nullptr, 0, 0, kWhiteCColor);
    EXPECT_FALSE(zero.isValid());
}

TEST(DrawContext, BitmapDrawModesFollowTheImageKind) {
    // A PNG blends; a bitmap resource copies opaquely or skips its key colour.
    const auto png = solidPng(2, 2, 255, 255, 255, 0);  // fully transparent
    CBitmap clear;
    ASSERT_TRUE(clear.loadFromPngData(png.data(), png.size()));
    COffscreenContext ctx(nullptr, 2, 2, CColor{10, 20, 30, 255});
    clear.draw(&ctx, CRect(0, 0, 2, 2));
    EXPECT_EQ(at(ctx.getImage(), 1, 1), (Px{30, 20, 10, 255}));

    const auto dib = makeDib(2, 1, false, [](int x, int) {
        return x == 0 ? std::array<uint8_t, 3>{255, 255, 255} : std::array<uint8_t, 3>{1, 2, 3};
    });
    CBitmap plain;
    ASSERT_TRUE(plain.loadFromDibData(dib.data(), dib.size()));
    plain.drawTransparent(&ctx, CRect(0, 0, 2, 1));
    EXPECT_EQ(at(ctx.getImage(), 0, 0), (Px{30, 20, 10, 255}));
    EXPECT_EQ(at(ctx.getImage(), 1, 0), (Px{3, 2, 1, 255}));
    plain.draw(&ctx, CRect(0, 0, 2, 1));
    EXPECT_EQ(at(ctx.getImage(), 0, 0), (Px{255, 255, 255, 255}));
}
