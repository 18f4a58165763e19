// The toolkit at screen scales above 1: device rounding, the resampling
// filter, the frame's device image drawn from double-resolution twins, input
// mapped back to frame pixels, refused scales, and the desktop's hints.
#include "GuiTestSupport.h"

#include "gui/ScaledDrawing.h"

#include <array>
#include <cmath>
#include <limits>

using namespace VSTGUI;
using namespace guitest;

namespace {

// An image of w x h where pixel(x, y) gives B, G, R, A (premultiplied).
template <typename F>
PixelImage makeImage(int32 w, int32 h, F pixel) {
    PixelImage image;
    EXPECT_TRUE(image.allocate(w, h));
    for (int32 y = 0; y < h; ++y)
        for (int32 x = 0; x < w; ++x) {
            const Bgra p = pixel(x, y);
            uint8_t* d = image.pixel(x, y);
            d[0] = p.b;
            d[1] = p.g;
            d[2] = p.r;
            d[3] = p.a;
        }
    return image;
}

Bgra at(const PixelImage& image, int32 x, int32 y) {
    const uint8_t* p = image.pixel(x, y);
    return Bgra{p[0], p[1], p[2], p[3]};
}

bool same(const Bgra& a, const Bgra& b) {
    return a.b == b.b && a.g == b.g && a.r == b.r && a.a == b.a;
}

// A frame editor that asks for a scale.
struct ScaledEditor : RecordingEditor {
    using RecordingEditor::RecordingEditor;
    double scale = 2.0;
    double getScaleFactor() const override { return scale; }
};

}  // namespace

TEST(ScaledDrawing, DeviceSizesAreRoundedAndNeighboursStayTouching) {
    EXPECT_EQ(scaling::toDevice(CRect(0, 0, 660, 248), 2.0), CRect(0, 0, 1320, 496));
    EXPECT_EQ(scaling::toDevice(CRect(0, 0, 660, 248), 1.5), CRect(0, 0, 990, 372));
    EXPECT_EQ(scaling::toDevice(CRect(0, 0, 660, 248), 1.25), CRect(0, 0, 825, 310));
    EXPECT_EQ(scaling::toDevice(CRect(0, 0, 660, 248), 1.75), CRect(0, 0, 1155, 434));
    for (double s : {1.25, 1.5, 1.75, 2.0, 3.0}) {
        for (int32 v = -3; v < 700; ++v) {
            // Every frame pixel owns at least one device pixel, and the device
            // pixel at a frame pixel's corner maps back to it.
            ASSERT_GT(scaling::toDevice(v + 1, s), scaling::toDevice(v, s)) << s << " " << v;
            ASSERT_EQ(scaling::toFrame(scaling::toDevice(v, s), s), v) << s << " " << v;
        }
    }
    EXPECT_EQ(scaling::toFrameCovering(CRect(1, 1, 3, 3), 1.5), CRect(0, 0, 2, 2));
}

TEST(ScaledDrawing, UsableScalesAreOneToFour) {
    EXPECT_TRUE(scaling::isUsableScale(1.0));
    EXPECT_TRUE(scaling::isUsableScale(1.5));
    EXPECT_TRUE(scaling::isUsableScale(4.0));
    EXPECT_FALSE(scaling::isUsableScale(0.99));
    EXPECT_FALSE(scaling::isUsableScale(4.01));
    EXPECT_FALSE(scaling::isUsableScale(0.0));
    EXPECT_FALSE(scaling::isUsableScale(-2.0));
    EXPECT_FALSE(scaling::isUsableScale(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(scaling::isUsableScale(std::numeric_limits<double>::infinity()));
}

TEST(ScaledDrawing, ResamplingKeepsAFlatColourAndPremultipliedPixels) {
    const PixelImage flat = makeImage(40, 40, [](int32, int32) { return Bgra{30, 60, 90, 128}; });
    PixelImage out;
    ASSERT_TRUE(scaling::resample(flat, flat.bounds(), 0.0, 0.0, 2.0 / 1.5, 30, 30, out));
    for (int32 y = 0; y < 30; ++y)
        for (int32 x = 0; x < 30; ++x)
            ASSERT_TRUE(same(at(out, x, y), Bgra{30, 60, 90, 128})) << x << "," << y;
    // Hard edges of opaque colour and transparency: no colour above its alpha.
    const PixelImage edges = makeImage(40, 40, [](int32 x, int32 y) {
        return (x / 3 + y / 5) % 2 ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 0};
    });
    ASSERT_TRUE(scaling::resample(edges, edges.bounds(), 0.0, 0.0, 2.0 / 1.75, 35, 35, out));
    for (int32 y = 0; y < 35; ++y)
        for (int32 x = 0; x < 35; ++x) {
            const Bgra p = at(out, x, y);
            ASSERT_LE(std::max({p.b, p.g, p.r}), p.a) << x << "," << y;
        }
}

TEST(ScaledDrawing, ResamplingDownAveragesRatherThanPicks) {
    // One-pixel stripes of black and white drawn down to 3/4: a picking
    // filter would give pure black or white, an averaging one greys.
    const PixelImage stripes = makeImage(64, 8, [](int32 x, int32) {
        return x % 2 ? Bgra{255, 255, 255, 255} : Bgra{0, 0, 0, 255};
    });
    PixelImage out;
    ASSERT_TRUE(scaling::resample(stripes, stripes.bounds(), 0.0, 0.0, 4.0 / 3.0, 48, 6, out));
    for (int32 x = 2; x < 46; ++x) {
        const int v = at(out, x, 3).g;
        EXPECT_GT(v, 60) << x;
        EXPECT_LT(v, 195) << x;
    }
}

TEST(ScaledDrawing, AFilmStripFrameNeverTakesColourFromItsNeighbours) {
    // Two 20 x 20 frames: red above blue.
    const PixelImage strip = makeImage(20, 40, [](int32, int32 y) {
        return y < 20 ? Bgra{0, 0, 255, 255} : Bgra{255, 0, 0, 255};
    });
    PixelImage device;
    ASSERT_TRUE(device.allocate(60, 60));
    // The red frame drawn at 1.5 from a "twin" of the same size: resampled.
    scaling::Draw how;
    how.mode = scaling::Mode::blend;
    scaling::repeat(device, 1.5, CRect(0, 0, 10, 10), CPoint(0, 0), CRect(0, 0, 10, 10),
                    makeImage(10, 20, [](int32, int32 y) { return y < 10 ? Bgra{0, 0, 255, 255} : Bgra{255, 0, 0, 255}; }),
                    &strip, how);
    for (int32 y = 0; y < 15; ++y)
        for (int32 x = 0; x < 15; ++x)
            ASSERT_EQ(at(device, x, y).b, 0) << x << "," << y << ": blue from the next frame";
    EXPECT_EQ(at(device, 14, 14).r, 255);
    EXPECT_EQ(at(device, 15, 15).a, 0) << "nothing drawn outside the frame's place";
}

TEST(ScaledDrawing, AtTwoTheTwinIsCopiedPixelForPixel) {
    const PixelImage image = makeImage(8, 8, [](int32, int32) { return Bgra{0, 0, 0, 255}; });
    const PixelImage twin = makeImage(16, 16, [](int32 x, int32 y) {
        return Bgra{static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), 7, 255};
    });
    PixelImage device;
    ASSERT_TRUE(device.allocate(40, 40));
    // Frame pixels 3..6 from image point 2..5.
    scaling::repeat(device, 2.0, CRect(3, 3, 7, 7), CPoint(2, 2), CRect(0, 0, 8, 8), image, &twin, scaling::Draw{});
    for (int32 y = 6; y < 14; ++y)
        for (int32 x = 6; x < 14; ++x)
            ASSERT_TRUE(same(at(device, x, y), at(twin, x - 6 + 4, y - 6 + 4))) << x << "," << y;
    EXPECT_EQ(at(device, 5, 6).a, 0);
    EXPECT_EQ(at(device, 14, 6).a, 0);
}

TEST(ScaledDrawing, DesktopHints) {
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, nullptr), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints("2", nullptr), 2.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints("2", "Xft.dpi:\t144\n"), 2.0) << "GDK_SCALE first";
    EXPECT_EQ(scaling::scaleFromDesktopHints("", "Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 1.5);
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, "Xft.dpi:\t192"), 2.0);
    // Nonsense and out-of-range values give 1.
    EXPECT_EQ(scaling::scaleFromDesktopHints("two", nullptr), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints("9", nullptr), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints("0", "Xft.dpi:\t72\n"), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, "Xft.dpi:\tlots\n"), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, "Xft.dpi:\t5000\n"), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, "Xft.dpi:\tnan\n"), 1.0);
    EXPECT_EQ(scaling::scaleFromDesktopHints(nullptr, "XXft.dpi:\t192\n"), 1.0);
}

// --- a frame at a scale --------------------------------------------------------

class ScaledFrameTest : public ::testing::Test {
protected:
    void SetUp() override { headlessPlatform().reset(); }
    void TearDown() override {
        if (frame)
            frame->forget();
        headlessPlatform().reset();
    }
    void open(double scale) {
        editor.scale = scale;
        frame = new CFrame(CRect(0, 0, 200, 100), reinterpret_cast<void*>(0x1), &editor);
        editor.frame = frame;
        window = headlessPlatform().window(frame->getWindow());
        ASSERT_NE(window, nullptr);
    }
    EventLog log;
    ScaledEditor editor{log};
    CFrame* frame = nullptr;
    HeadlessPlatform::Window* window = nullptr;
};

TEST_F(ScaledFrameTest, TheWindowIsTheScaledSizeAndShowsTheTwin) {
    open(2.0);
    EXPECT_EQ(window->width, 400);
    EXPECT_EQ(window->height, 200);
    CRect size;
    frame->getSize(size);
    EXPECT_EQ(size, CRect(0, 0, 200, 100)) << "views keep frame pixels";
    // A grey background whose twin carries a pattern the 1x image cannot.
    CBitmap* background = new CBitmap();
    const std::vector<uint8_t> grey =
        makeDib(200, 100, false, [](int32, int32) { return std::array<uint8_t, 3>{100, 100, 100}; });
    ASSERT_TRUE(background->loadFromDibData(grey.data(), grey.size()));
    const std::vector<uint8_t> twin = makeDib(400, 200, false, [](int32 x, int32 y) {
        return std::array<uint8_t, 3>{static_cast<uint8_t>((x + y) % 2 ? 250 : 5), 0, 0};
    });
    ASSERT_TRUE(background->loadDoubleFromDibData(twin.data(), twin.size()));
    frame->setBackground(background);
    background->forget();
    headlessPlatform().paintAll(frame->getWindow());
    for (int32 y = 0; y < 200; y += 7)
        for (int32 x = 0; x < 400; x += 5)
            ASSERT_EQ(window->pixel(x, y)[2], (x + y) % 2 ? 250 : 5) << x << "," << y;
}

TEST_F(ScaledFrameTest, PressesHitWhereTheControlIsDrawn) {
    for (double scale : {1.5, 2.0, 1.25}) {
        open(scale);
        RecordingListener listener(log);
        CBitmap* image = new CBitmap();
        const std::vector<uint8_t> png = stripPng(20, 20, 2);
        ASSERT_TRUE(image->loadFromPngData(png.data(), png.size()));
        auto* button = new COnOffButton(CRect(100, 40, 120, 60), &listener, 3, image);
        image->forget();
        frame->addView(button);
        headlessPlatform().paintAll(frame->getWindow());
        // Just outside the button (at device pixels left of its drawn edge).
        const int32 left = scaling::toDevice(100, scale), top = scaling::toDevice(40, scale);
        auto click = [&](int32 x, int32 y) {
            headlessPlatform().setInput(window->originX + x, window->originY + y, 0);  // an empty queue
            headlessPlatform().queue({{window->originX + x, window->originY + y, kLButton},
                                      {window->originX + x, window->originY + y, 0}});
            headlessPlatform().press(frame->getWindow(), x, y, kLButton);
        };
        click(left - 2, top + 5);
        EXPECT_EQ(button->getValue(), 0.f) << scale << ": left of the button";
        click(left + 2, top + 5);
        EXPECT_EQ(button->getValue(), 1.f) << scale << ": on the button";
        frame->forget();
        frame = nullptr;
        headlessPlatform().reset();
    }
}

TEST_F(ScaledFrameTest, RefusedScalesLeaveTheFrameAsItWas) {
    open(2.0);
    for (double bad : {0.5, 0.0, -1.0, 4.5, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(frame->setScaleFactor(bad)) << bad;
    EXPECT_EQ(frame->getScaleFactor(), 2.0);
    EXPECT_TRUE(frame->setScaleFactor(1.5));
    EXPECT_EQ(window->width, 300);
    EXPECT_EQ(window->height, 150);
    EXPECT_TRUE(frame->setScaleFactor(1.0));
    EXPECT_EQ(window->width, 200);
    EXPECT_EQ(window->height, 100);
}

TEST_F(ScaledFrameTest, AnEditorAskingForANonsenseScaleGetsOne) {
    open(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(frame->getScaleFactor(), 1.0);
    EXPECT_EQ(window->width, 200);
}

TEST(ScaledBitmap, ATwinOfTheWrongSizeIsNotUsed) {
    CBitmap image;
    const std::vector<uint8_t> one = solidPng(10, 6, 1, 2, 3, 255);
    ASSERT_TRUE(image.loadFromPngData(one.data(), one.size()));
    const std::vector<uint8_t> triple = solidPng(30, 18, 1, 2, 3, 255);
    EXPECT_FALSE(image.loadDoubleFromPngData(triple.data(), triple.size()));
    EXPECT_FALSE(image.hasDouble());
    const std::vector<uint8_t> broken(40, 0x55);
    EXPECT_FALSE(image.loadDoubleFromPngData(broken.data(), broken.size()));
    const std::vector<uint8_t> twin = solidPng(20, 12, 1, 2, 3, 255);
    EXPECT_TRUE(image.loadDoubleFromPngData(twin.data(), twin.size()));
    EXPECT_TRUE(image.hasDouble());
    image.dispose();
    EXPECT_FALSE(image.hasDouble());
}

TEST(ScaledBitmap, EveryEditorImageHasItsTwinAtTwiceItsSize) {
    for (int32 id : {1, 2, 3, 4, 5, 6, 128}) {
        CBitmap image(id);
        ASSERT_TRUE(image.isLoaded()) << id;
        ASSERT_TRUE(image.hasDouble()) << id;
        EXPECT_EQ(image.getDoubleStore().width(), image.getWidth() * 2) << id;
        EXPECT_EQ(image.getDoubleStore().height(), image.getHeight() * 2) << id;
    }
}
