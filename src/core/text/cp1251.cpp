#include "text/cp1251.h"

#include <cstdint>

namespace tornavel {

namespace {

// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are А..я in order.
// 0x98 is unassigned and shown as the replacement character.
constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char32_t CodePoint(unsigned char byte)
{
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
    return kHigh[byte - 0x80];
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::optional<char> ByteOf(char32_t cp)
{
    if (cp < 0x80) return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == cp && cp != 0xFFFD) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

// Smallest code point each UTF-8 sequence length may carry.
constexpr char32_t kShortest[5] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

bool HasCp1251Byte(char32_t codePoint)
{
    return ByteOf(codePoint).has_value();
}

std::string Cp1251ToUtf8(const Bytes& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) AppendUtf8(out, CodePoint(b));
    return out;
}

Bytes Utf8ToCp1251(const std::string& utf8)
{
    Bytes out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else {
            out += '?';
            ++i;
            continue;
        }
        if (i + len > utf8.size()) {
            out += '?';
            ++i;
            continue;
        }
        bool valid = true;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cont = static_cast<unsigned char>(utf8[i + k]);
            if ((cont & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (cont & 0x3F);
        }
        // An overlong form would smuggle in an ASCII byte (an alert
        // character, a CR) that was never typed.
        if (!valid || cp < kShortest[len]) {
            out += '?';
            ++i;
            continue;
        }
        out += ByteOf(cp).value_or('?');
        i += len;
    }
    return out;
}

}  // namespace tornavel
