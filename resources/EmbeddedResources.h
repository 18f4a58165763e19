// Images compiled into the library on platforms without native resources
// (on Windows the same lookup answers from the native resources).
// The table behind it is generated at build time from resources/corvex.rc,
// the same script the Windows build hands to windres, so each id is bound in
// exactly one place.
#pragma once

#include <cstddef>

namespace corvex {

struct ResourceData {
    const unsigned char* data;
    std::size_t size;
};

// type is "PNG" (the PNG file's bytes) or "BITMAP" (a packed DIB: the
// BITMAPINFOHEADER, any colour table and the pixels, without the 14-byte file
// header, exactly as a Windows RT_BITMAP resource holds it). Answers
// {nullptr, 0} when the library carries no such resource.
ResourceData findEmbeddedResource(const char* type, int id);

}  // namespace corvex
