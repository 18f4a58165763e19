// The editor's image loader on arbitrary bytes: a platform whose resource
// lookup answers the fuzz input stands in for the library's resources, and
// CBitmap loads through the very path the editor uses (loadFromResource:
// PNG first, the plain bitmap resource otherwise).
//
// Must hold: no crash, no access outside the pixel store (AddressSanitizer),
// a size that is 0 x 0 or within the store's limits and matches the pixels
// held, premultiplied pixels (no colour byte above its alpha), and drawing
// the result anywhere, partly off-image included, stays inside both images.
//
// The same bytes are also tried as the image's double-resolution twin (kept
// only at exactly twice the size), and the drawing is repeated at a screen
// scale chosen by the selector (1.25 to 2), resampled or copied, into a
// device image: it stays inside both images and keeps pixels premultiplied.
//
// Input layout: [selector][resource bytes...]; selector bit 0 serves the
// bytes as a bitmap resource instead of a PNG, bits 1-7 place the drawing.
#include <cstdint>
#include <cstring>

#include "FuzzHost.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/ScaledDrawing.h"
#include "gui/platform/Platform.h"

namespace {

using fuzzhost::check;
using namespace VSTGUI;

class FuzzResources : public NullPlatform {
public:
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    const char* type = "PNG";

    ResourceBytes findResource(const char* wanted, int32_t id) override {
        if (!wanted || id != 1 || std::strcmp(wanted, type) != 0)
            return {};
        return ResourceBytes{data, size};
    }
};

FuzzResources resources;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    resources.data = data + 1;
    resources.size = size - 1;
    resources.type = (selector & 1) ? "BITMAP" : "PNG";
    setPlatform(&resources);

    CBitmap* bitmap = new CBitmap(1);
    const int32 w = bitmap->getWidth();
    const int32 h = bitmap->getHeight();
    const PixelImage& store = bitmap->getPixelStore();
    check(w >= 0 && h >= 0, "negative size");
    check((w == 0) == (h == 0), "half an empty size");
    check(w <= PixelImage::kMaxSide && h <= PixelImage::kMaxSide, "size beyond the limit");
    check(int64_t(w) * h <= PixelImage::kMaxPixels, "pixel count beyond the limit");
    check(store.width() == w && store.height() == h, "size differs from the pixels held");
    check(store.byteSize() == std::size_t(w) * std::size_t(h) * 4u, "store size");
    if (!(selector & 1) && w > 0) {
        check(!bitmap->getNoAlpha(), "a PNG without alpha drawing");
        const uint8_t* p = store.bits();
        for (std::size_t i = 0; i < store.byteSize(); i += 4) {
            const uint8_t a = p[i + 3];
            check(p[i] <= a && p[i + 1] <= a && p[i + 2] <= a, "pixel not premultiplied");
        }
    }

    // Draw it the ways the editor does, at a place and offset from the
    // selector: inside, across the edges, or wholly outside.
    COffscreenContext context(nullptr, 48, 40);
    const int32 shift = static_cast<int32>(selector >> 1) - 64;
    const CRect rect(shift, -shift / 2, shift + 30, 20 - shift / 2);
    const CPoint offset(shift / 3, (w > 0) ? (shift % (w + 1)) : 0);
    bitmap->draw(&context, rect, offset);
    bitmap->drawTransparent(&context, rect, offset);
    bitmap->drawAlphaBlend(&context, rect, offset, static_cast<uint8_t>(selector));

    // The twin loaders on the same bytes, and the drawing at a scale.
    const bool twin = (selector & 1) ? bitmap->loadDoubleFromDibData(data + 1, size - 1)
                                     : bitmap->loadDoubleFromPngData(data + 1, size - 1);
    check(!twin || (bitmap->getDoubleStore().width() == 2 * w && bitmap->getDoubleStore().height() == 2 * h),
          "a twin kept at another size than twice the image");
    if (w > 0) {
        const double scales[4] = {1.25, 1.5, 1.75, 2.0};
        const double scale = scales[(selector >> 1) & 3];
        PixelImage device;
        if (device.allocate(scaling::toDevice(48, scale), scaling::toDevice(40, scale))) {
            CRect written = rect;
            CPoint from = offset;
            if (pixelops::clipCopy(written, from, CRect(0, 0, 48, 40), CRect(0, 0, 48, 40), store.bounds())) {
                scaling::Draw how;
                how.mode = (selector & 1) ? scaling::Mode::opaque : scaling::Mode::blend;
                const CRect picture(offset.x, offset.y, offset.x + rect.width(), offset.y + rect.height());
                scaling::repeat(device, scale, written, from, picture, store,
                                bitmap->hasDouble() ? &bitmap->getDoubleStore() : nullptr, how);
                const uint8_t* p = device.bits();
                for (std::size_t i = 0; i < device.byteSize(); i += 4) {
                    const uint8_t a = p[i + 3];
                    check((selector & 1) || (p[i] <= a && p[i + 1] <= a && p[i + 2] <= a),
                          "a scaled drawing not premultiplied");
                }
            }
        }
    }

    // Loading again over a loaded image starts from nothing.
    bitmap->loadFromResource(1);
    check(bitmap->getWidth() == w && bitmap->getHeight() == h, "reloading gave another size");
    bitmap->forget();
    return 0;
}
