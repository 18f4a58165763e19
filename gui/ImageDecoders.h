// Decoders from resource bytes into the toolkit's pixel store.
#pragma once

#include "gui/PixelImage.h"

#include <cstddef>
#include <cstdint>

namespace VSTGUI {
namespace decoders {

enum class PngResult {
    ok,           // every row decoded
    badHeader,    // not a PNG, or its header is unusable: no pixels
    tooLarge,     // the pixel store could not be made: no pixels
    decodeError,  // the data broke off or is corrupt: the rows before it are in `out`
};

// Decodes a PNG from memory into `out` (blue, green, red, alpha; not yet
// premultiplied), upright in the bottom-up store. Transformations in this
// order: palette to RGB, grey to RGB, low-bit grey to 8 bits, tRNS to alpha
// or a filler alpha 255, 16-bit samples reduced to their high byte, BGR.
PngResult decodePng(const uint8_t* data, size_t size, PixelImage& out);

// Premultiplies in place: v = (v * a) >> 8 for a != 0; a = 0 gives all zero.
void premultiply(PixelImage& image);

// Decodes a packed DIB (BITMAPINFOHEADER or a larger header version, colour
// table, pixels) of 24 or 32 bits per pixel without compression, bottom-up
// or top-down, into `out` with alpha 255. False (and no pixels) for anything
// else or when the data is shorter than the header says.
bool decodeDib(const uint8_t* data, size_t size, PixelImage& out);

}  // namespace decoders
}  // namespace VSTGUI
