#include "host/PrintableText.h"

#include <cstdio>

namespace {

void appendHex(std::string& out, unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", (unsigned)byte);
    out += text;
}

// Length of the valid UTF-8 sequence of two or more bytes at `p`, 0 if there
// is none. Overlong forms, surrogates and code points above U+10FFFF count
// as invalid.
size_t utf8Length(const unsigned char* p, size_t left, unsigned& codePoint) {
    const unsigned char b = p[0];
    size_t n = 0;
    unsigned min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        codePoint = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        codePoint = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        codePoint = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (size_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (p[i] & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return n;
}

}  // namespace

std::string printableText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char c = p[i];
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\')
                out += "\\\\";
            else
                out += (char)c;
            i++;
            continue;
        }
        switch (c) {
            case '\n': out += "\\n"; i++; continue;
            case '\r': out += "\\r"; i++; continue;
            case '\t': out += "\\t"; i++; continue;
            case 0x1B: out += "\\e"; i++; continue;
            default: break;
        }
        unsigned codePoint = 0;
        const size_t n = c >= 0x80 ? utf8Length(p + i, size - i, codePoint) : 0;
        if (n == 0 || codePoint < 0xA0) {
            // C0, DEL, a C1 control written in UTF-8 (the 8-bit escape
            // introducers), or a byte that starts no valid sequence.
            const size_t count = n == 0 ? 1 : n;
            for (size_t k = 0; k < count; k++)
                appendHex(out, p[i + k]);
            i += count;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}
