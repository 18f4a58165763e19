#include "common/TextConversion.h"

#include <cmath>

namespace corvex {

namespace {

const char kHugeText[] = "Huge!";

// Exact powers of ten for the fraction digits (pow() is not exact on every C
// library we build with, and the displays must match everywhere).
const double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0, 10000000.0, 100000000.0};

}  // namespace

void copyString(char* text, const char* src, std::size_t maxLen) {
    if (!text)
        return;
    std::size_t n = 0;
    if (src) {
        while (n < maxLen && src[n] != 0) {
            text[n] = src[n];
            ++n;
        }
    }
    for (; n < maxLen; ++n)
        text[n] = 0;
    text[maxLen] = 0;
}

void appendString(char* text, const char* src, std::size_t maxLen) {
    if (!text)
        return;
    std::size_t length = 0;
    while (length < maxLen && text[length] != 0)
        ++length;
    if (src) {
        for (std::size_t i = 0; length < maxLen && src[i] != 0; ++i)
            text[length++] = src[i];
    }
    text[length] = 0;
    text[maxLen] = 0;
}

void float2string(float value, char* text, int32_t maxLen) {
    if (!text || maxLen < 0)
        return;
    const std::size_t limit = static_cast<std::size_t>(maxLen);
    double v = value;
    // NaN fails every comparison below and would reach the digit conversion
    // as an undefined integer; it gets a text of its own instead.
    if (std::isnan(v)) {
        copyString(text, "nan", limit);
        return;
    }

    int count = 0;
    bool negative = false;
    if (v < 0.0) {
        negative = true;
        v = -v;
        ++count;
        if (v > 9999999.0) {
            copyString(text, kHugeText, limit);
            return;
        }
    } else if (v > 99999999.0) {
        copyString(text, kHugeText, limit);
        return;
    }

    double integer = std::floor(v);

    // An integer part too long to leave room for the point (eight digits,
    // or seven after a minus sign) is shown whole, without a point, rather
    // than losing its leading digits.
    if (integer >= kPowersOfTen[negative ? 6 : 7]) {
        long long whole = static_cast<long long>(integer);
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole > 0);
        char wholeText[16];
        int length = 0;
        if (negative)
            wholeText[length++] = '-';
        while (n > 0)
            wholeText[length++] = digits[--n];
        wholeText[length] = 0;
        copyString(text, wholeText, limit);
        return;
    }

    // Integer digits, produced from the right; at most seven fit.
    char reversed[12];
    int digitCount = 0;
    reversed[digitCount++] = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
    count += 2;  // the digit and the decimal point
    integer /= 10.0;
    while (integer >= 1.0 && count < 8) {
        reversed[digitCount++] = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
        integer /= 10.0;
        ++count;
    }

    char head[16];
    int length = 0;
    if (negative)
        head[length++] = '-';
    while (digitCount > 0)
        head[length++] = reversed[--digitCount];
    head[length++] = '.';
    head[length] = 0;
    copyString(text, head, limit);

    if (count >= 8)
        return;

    // Fraction digits fill the text to eight characters; cut, not rounded.
    const int fractionDigits = 8 - count;
    double m = std::fmod(v, 1.0) * kPowersOfTen[fractionDigits];
    char fraction[9];
    fraction[fractionDigits] = 0;
    for (int i = fractionDigits - 1; i >= 0; --i) {
        if (m > 0.0) {
            fraction[i] = static_cast<char>('0' + static_cast<int>(std::fmod(m, 10.0)));
            m /= 10.0;
        } else {
            fraction[i] = '0';
        }
    }
    appendString(text, fraction, limit);
}

void dB2string(float value, char* text, int32_t maxLen) {
    if (!text || maxLen < 0)
        return;
    if (value <= 0.0f) {
        copyString(text, "-oo", static_cast<std::size_t>(maxLen));
        return;
    }
    const float logarithm = static_cast<float>(std::log10(static_cast<double>(value)));
    const float decibels = static_cast<float>(20.0 * static_cast<double>(logarithm));
    float2string(decibels, text, maxLen);
}

void Hz2string(float samples, float sampleRate, char* text, int32_t maxLen) {
    const float hertz = samples == 0.0f ? 0.0f : sampleRate / samples;
    float2string(hertz, text, maxLen);
}

void ms2string(float samples, float sampleRate, char* text, int32_t maxLen) {
    float2string(samples * 1000.0f / sampleRate, text, maxLen);
}

void int2string(int32_t value, char* text, int32_t maxLen) {
    if (!text || maxLen < 0)
        return;
    const std::size_t limit = static_cast<std::size_t>(maxLen);
    // Widened so that the most negative value can be made positive. A
    // magnitude of ten digits would make the first "digit" 10 or more.
    long long v = value;
    if (v >= 100000000LL || v <= -1000000000LL) {
        copyString(text, kHugeText, limit);
        return;
    }
    copyString(text, v < 0 ? "-" : "", limit);
    if (v < 0)
        v = -v;
    if (v == 0) {
        appendString(text, "0", limit);
        return;
    }
    bool seenNonZero = false;
    for (long long divisor = 100000000LL; divisor >= 1; divisor /= 10) {
        const int digit = static_cast<int>(v / divisor);
        v %= divisor;
        if (digit != 0)
            seenNonZero = true;
        if (seenNonZero) {
            const char digitText[2] = {static_cast<char>('0' + digit), 0};
            appendString(text, digitText, limit);
        }
    }
}

}  // namespace corvex
