#include "runtime/codepage.h"

#include <cstdint>

namespace wv {

namespace {

// Unicode of the bytes 0x80..0x9F. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the C1 control of the same number, so that any byte string goes
// to UTF-8 and back unchanged.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

uint32_t toUnicode(unsigned char b) {
    return b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : b;
}

// The byte for a code point, or '?' when the code page has none. Of the C1 controls only the
// five that stand for undefined bytes have one; the others share their numbers with the
// typographic characters of 0x80..0x9F.
char toByte(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return char(0x80 + i);
    return '?';
}

void putUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes one well-formed UTF-8 sequence at s[i]; returns its length, or 0 when the bytes there
// are not one (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
size_t decodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len;
    uint32_t min;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

}  // namespace

std::string toUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (char c : s) putUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string fromUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        uint32_t cp;
        size_t len = decodeUtf8(s, i, cp);
        if (len == 0) {
            // Not UTF-8 here: the byte is already a CP1252 character.
            out += s[i++];
            continue;
        }
        out += toByte(cp);
        i += len;
    }
    return out;
}

char upperCaseChar(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z') return char(b - 0x20);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return char(b - 0x20);  // 0xF7 is the division sign
    switch (b) {
        case 0x9A:
            return char(0x8A);  // š
        case 0x9C:
            return char(0x8C);  // œ
        case 0x9E:
            return char(0x8E);  // ž
        case 0xFF:
            return char(0x9F);  // ÿ
    }
    return c;
}

std::string upperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = upperCaseChar(c);
    return out;
}

char lowerCaseChar(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 'A' && b <= 'Z') return char(b + 0x20);
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return char(b + 0x20);  // 0xD7 is the times sign
    switch (b) {
        case 0x8A: return char(0x9A);  // Š
        case 0x8C: return char(0x9C);  // Œ
        case 0x8E: return char(0x9E);  // Ž
        case 0x9F: return char(0xFF);  // Ÿ
    }
    return c;
}

std::string lowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerCaseChar(c);
    return out;
}

std::string allTrim(std::string_view s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return std::string();
    size_t b = s.find_last_not_of(' ');
    return std::string(s.substr(a, b - a + 1));
}

std::string padR(std::string_view s, size_t width) {
    std::string out(s.substr(0, width));
    out.resize(width, ' ');
    return out;
}

}  // namespace wv
