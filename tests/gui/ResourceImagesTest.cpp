// The editor's own images, read through the platform from the library's
// resources (the table compiled in on this system).
#include "GuiTestSupport.h"

using namespace VSTGUI;
using namespace guitest;

namespace {

bool libraryHasImages() {
    return VSTGUI::findEmbeddedResource("BITMAP", 128).data != nullptr;
}

}  // namespace

TEST(ResourceImages, PanelFallsBackToTheBitmapResource) {
    if (!libraryHasImages())
        GTEST_SKIP() << "no images compiled into this build";
    headlessPlatform().reset();
    EXPECT_EQ(platform().findResource("PNG", 128).data, nullptr);
    CBitmap* panel = new CBitmap(128);
    EXPECT_EQ(panel->getWidth(), 660);
    EXPECT_EQ(panel->getHeight(), 248);
    EXPECT_TRUE(panel->getNoAlpha());
    // Drawn as an opaque copy: every pixel lands with alpha 255.
    COffscreenContext ctx(nullptr, 660, 248, CColor{0, 0, 0, 0});
    panel->draw(&ctx, CRect(0, 0, 660, 248));
    EXPECT_EQ(ctx.getImage().pixel(330, 124)[3], 255);
    EXPECT_EQ(ctx.getImage().pixel(0, 0)[3], 255);
    panel->forget();
}

TEST(ResourceImages, ControlImagesHaveTheirSizesAndAlpha) {
    if (!libraryHasImages())
        GTEST_SKIP() << "no images compiled into this build";
    struct Expected {
        int id, width, height;
    };
    for (const Expected e : {Expected{1, 45, 2835}, Expected{2, 45, 2835}, Expected{3, 50, 52}, Expected{4, 8, 16},
                             Expected{5, 50, 52}, Expected{6, 45, 2835}}) {
        CBitmap* image = new CBitmap(e.id);
        EXPECT_EQ(image->getWidth(), e.width) << "image " << e.id;
        EXPECT_EQ(image->getHeight(), e.height) << "image " << e.id;
        EXPECT_FALSE(image->getNoAlpha()) << "image " << e.id;
        EXPECT_TRUE(image->isLoaded()) << "image " << e.id;
        // Premultiplied: no colour byte above its alpha.
        const PixelImage& px = image->getPixelStore();
        bool premultiplied = true;
        for (int32 y = 0; y < px.height() && premultiplied; ++y)
            for (int32 x = 0; x < px.width(); ++x) {
                const uint8_t* p = px.pixel(x, y);
                if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3])
                    premultiplied = false;
            }
        EXPECT_TRUE(premultiplied) << "image " << e.id;
        image->forget();
    }
}

TEST(ResourceImages, LampBlendsOverThePanel) {
    if (!libraryHasImages())
        GTEST_SKIP() << "no images compiled into this build";
    CBitmap* lamp = new CBitmap(4);
    COffscreenContext ctx(nullptr, 8, 8, CColor{0, 0, 0, 255});
    lamp->draw(&ctx, CRect(0, 0, 8, 8), CPoint(0, 8));  // the lit state
    int lit = 0;
    for (int32 y = 0; y < 8; ++y)
        for (int32 x = 0; x < 8; ++x) {
            const uint8_t* p = ctx.getImage().pixel(x, y);
            EXPECT_EQ(p[3], 255);
            if (p[2] > p[1] && p[2] > p[0])
                ++lit;  // red dominates
        }
    EXPECT_GT(lit, 8);
    lamp->forget();
}
