// Parameter display texts: exact digits, cut (not rounded) fractions, the
// "Huge!" limits and that nothing is written past the terminating zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "shell/TextConversion.h"

namespace {

constexpr char kGuard = '#';

// Runs a conversion into a guarded buffer and checks that nothing beyond
// text[maxLen] was touched.
template <typename Convert>
std::string convert(Convert convertInto, int maxLen = 8) {
    char buffer[64];
    std::memset(buffer, kGuard, sizeof(buffer));
    convertInto(buffer, maxLen);
    for (int i = maxLen + 1; i < static_cast<int>(sizeof(buffer)); ++i)
        EXPECT_EQ(buffer[i], kGuard) << "byte " << i << " written beyond maxLen " << maxLen;
    EXPECT_EQ(buffer[maxLen], 0) << "no terminating zero at maxLen";
    return std::string(buffer);
}

std::string floatText(float value, int maxLen = 8) {
    return convert([value](char* text, int len) { corvex::float2string(value, text, len); }, maxLen);
}

std::string dBText(float value) {
    return convert([value](char* text, int len) { corvex::dB2string(value, text, len); });
}

std::string intText(VstInt32 value, int maxLen = 8) {
    return convert([value](char* text, int len) { corvex::int2string(value, text, len); }, maxLen);
}

}  // namespace

TEST(Float2String, FillsEightCharactersAndCutsTheFraction) {
    EXPECT_EQ(floatText(0.0f), "0.000000");
    EXPECT_EQ(floatText(0.5f), "0.500000");
    EXPECT_EQ(floatText(1.0f), "1.000000");
    EXPECT_EQ(floatText(1.5f), "1.500000");
    EXPECT_EQ(floatText(5.0f), "5.000000");
    EXPECT_EQ(floatText(0.001f), "0.001000");
    EXPECT_EQ(floatText(12.5f), "12.50000");
    EXPECT_EQ(floatText(-3.25f), "-3.25000");
    EXPECT_EQ(floatText(123456.7f), "123456.7");
    // 2/3 is cut, never rounded up.
    EXPECT_EQ(floatText(2.0f / 3.0f), "0.666666");
    EXPECT_EQ(floatText(-0.0f), "0.000000");
}

TEST(Float2String, HugeBeyondTheLimits) {
    EXPECT_EQ(floatText(100000000.0f), "Huge!");
    EXPECT_EQ(floatText(-10000000.0f), "Huge!");
    EXPECT_EQ(floatText(std::numeric_limits<float>::infinity()), "Huge!");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::infinity()), "Huge!");
    // Just inside the limits still gets digits.
    EXPECT_EQ(floatText(-9999999.0f), "-9999999");
}

TEST(Float2String, IntegerPartsWithoutRoomForThePointAreShownWhole) {
    EXPECT_EQ(floatText(9999999.0f), "9999999.");
    EXPECT_EQ(floatText(10000000.0f), "10000000");
    EXPECT_EQ(floatText(12345678.0f), "12345678");
    EXPECT_EQ(floatText(-999999.0f), "-999999.");
    EXPECT_EQ(floatText(-1234567.0f), "-1234567");
}

TEST(Float2String, NotANumberHasItsOwnText) {
    EXPECT_EQ(floatText(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::quiet_NaN()), "nan");
}

TEST(Float2String, ShortBuffersAreCutAndTerminated) {
    EXPECT_EQ(floatText(12.5f, 4), "12.5");
    EXPECT_EQ(floatText(-3.25f, 2), "-3");
    EXPECT_EQ(floatText(0.5f, 0), "");
    EXPECT_EQ(floatText(100000000.0f, 3), "Hug");
}

TEST(Float2String, NullTextOrNegativeLengthWritesNothing) {
    corvex::float2string(1.0f, nullptr, 8);
    char text[4] = {kGuard, kGuard, kGuard, kGuard};
    corvex::float2string(1.0f, text, -1);
    EXPECT_EQ(text[0], kGuard);
}

TEST(DB2String, DecibelsThroughSinglePrecision) {
    EXPECT_EQ(dBText(0.5f), "-6.02060");
    EXPECT_EQ(dBText(0.25f), "-12.0412");
    EXPECT_EQ(dBText(1.0f), "0.000000");
    EXPECT_EQ(dBText(0.0f), "-oo");
    EXPECT_EQ(dBText(-0.5f), "-oo");
    EXPECT_EQ(dBText(std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(dBText(std::numeric_limits<float>::infinity()), "Huge!");
}

TEST(HzAndMsToString, UseTheSampleRate) {
    EXPECT_EQ(convert([](char* t, int n) { corvex::Hz2string(100.0f, 44100.0f, t, n); }), "441.0000");
    EXPECT_EQ(convert([](char* t, int n) { corvex::Hz2string(0.0f, 44100.0f, t, n); }), "0.000000");
    EXPECT_EQ(convert([](char* t, int n) { corvex::ms2string(441.0f, 44100.0f, t, n); }), "10.00000");
}

TEST(Int2String, DigitsSignAndLimits) {
    EXPECT_EQ(intText(7), "7");
    EXPECT_EQ(intText(1000), "1000");
    EXPECT_EQ(intText(-123), "-123");
    EXPECT_EQ(intText(99999999), "99999999");
    EXPECT_EQ(intText(100000000), "Huge!");
    EXPECT_EQ(intText(0), "0");
    EXPECT_EQ(intText(12345, 3), "123");
    // Nine-digit negatives fit the digit loop (and are cut to maxLen) ...
    EXPECT_EQ(intText(-123456789, 12), "-123456789");
    // ... ten-digit ones and the most negative value do not.
    EXPECT_EQ(intText(-1000000000), "Huge!");
    EXPECT_EQ(intText(std::numeric_limits<VstInt32>::min()), "Huge!");
}

TEST(CopyString, ZeroFillsToTheLimitAndNeverReadsPastIt) {
    char text[12];
    std::memset(text, kGuard, sizeof(text));
    corvex::copyString(text, "ab", 8);
    EXPECT_STREQ(text, "ab");
    for (int i = 2; i <= 8; ++i)
        EXPECT_EQ(text[i], 0) << i;
    EXPECT_EQ(text[9], kGuard);

    // A source without a terminator inside the limit is read only that far.
    const char unterminated[4] = {'w', 'x', 'y', 'z'};
    corvex::copyString(text, unterminated, 4);
    EXPECT_STREQ(text, "wxyz");

    corvex::copyString(text, nullptr, 3);
    EXPECT_STREQ(text, "");
}

TEST(AppendString, KeepsTheWholeTextWithinTheLimit) {
    char text[12];
    std::memset(text, kGuard, sizeof(text));
    corvex::copyString(text, "abc", 5);
    corvex::appendString(text, "defgh", 5);
    EXPECT_STREQ(text, "abcde");
    EXPECT_EQ(text[6], kGuard);
}
