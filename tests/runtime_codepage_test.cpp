#include <gtest/gtest.h>

#include <string>

#include "runtime/codepage.h"

namespace wv {
namespace {

TEST(Codepage, HighBytesToUtf8) {
    // Every byte of 0x80..0x9F, the five undefined ones kept as the C1 control of that number.
    // clang-format off
    const char* const kExpected[32] = {
        "€",        "\xC2\x81", "‚", "ƒ", "„", "…", "†",        "‡",
        "ˆ",        "‰",        "Š", "‹", "Œ", "\xC2\x8D", "Ž",        "\xC2\x8F",
        "\xC2\x90", "‘",        "’", "“", "”", "•", "–",        "—",
        "˜",        "™",        "š", "›", "œ", "\xC2\x9D", "ž",        "Ÿ",
    };
    // clang-format on
    for (int b = 0x80; b <= 0x9F; ++b)
        EXPECT_EQ(toUtf8(std::string(1, char(b))), kExpected[b - 0x80]) << "byte " << std::hex << b;
    EXPECT_EQ(toUtf8("Empresa de Pruebas \xAE"), "Empresa de Pruebas ®");
    EXPECT_EQ(toUtf8("\xA0\xF1\xFF"), "\u00A0ñÿ");
    EXPECT_EQ(toUtf8("plain ASCII\r\n"), "plain ASCII\r\n");
}

TEST(Codepage, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Codepage, FromUtf8) {
    EXPECT_EQ(fromUtf8("€ “año” — ®"),
              "\x80 \x93"
              "a\xF1o\x94 \x97 \xAE");
    EXPECT_EQ(fromUtf8("Œuvre Ÿ"), "\x8Cuvre \x9F");
    // Characters the code page cannot hold, one '?' each whatever their length.
    EXPECT_EQ(fromUtf8("漢a😀Ā"), "?a??");
    // U+0080 shares its number with the euro sign's byte but is not the euro.
    EXPECT_EQ(fromUtf8("\xC2\x80"), "?");
}

TEST(Codepage, MalformedUtf8KeepsTheBytes) {
    EXPECT_EQ(fromUtf8("a\xF1"), "a\xF1");  // cut short at the end
    EXPECT_EQ(fromUtf8("\xF1"
                       "and\xFA"),
              "\xF1"
              "and\xFA");  // CP1252 text as it was
    EXPECT_EQ(fromUtf8("\xE9t\xE9"), "\xE9t\xE9");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), "\xC0\xAF");                  // overlong '/'
    EXPECT_EQ(fromUtf8("\xE0\x80\xAF"), "\xE0\x80\xAF");          // overlong '/', three bytes
    EXPECT_EQ(fromUtf8("\xE2\x82"), "\xE2\x82");                  // euro without its last byte
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), "\xED\xA0\x80");          // surrogate
    EXPECT_EQ(fromUtf8("\xF4\x90\x80\x80"), "\xF4\x90\x80\x80");  // beyond U+10FFFF
    EXPECT_EQ(fromUtf8("\x80"), "\x80");                          // stray continuation byte
    EXPECT_EQ(fromUtf8("ñ\xF1"), "\xF1\xF1");                     // mixed
}

TEST(Codepage, UpperCase) {
    EXPECT_EQ(upperCase("abc xyz 123"), "ABC XYZ 123");
    EXPECT_EQ(upperCase("\xE1\xE9\xED\xF3\xFA\xF1\xFC\xE7"), "\xC1\xC9\xCD\xD3\xDA\xD1\xDC\xC7");
    EXPECT_EQ(upperCase("\x9A\x9C\x9E\xFF"), "\x8A\x8C\x8E\x9F");
    // Without a capital, or not letters at all: sharp s, micro, division and multiplication.
    EXPECT_EQ(upperCase("\xDF\xB5\xF7\xD7"), "\xDF\xB5\xF7\xD7");
    EXPECT_EQ(upperCase("\xC1\xD1"), "\xC1\xD1");
}

}  // namespace
}  // namespace wv
