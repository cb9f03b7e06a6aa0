// The Windows-1251 conversions against a strict UTF-8 reading.
// Wire to window to wire: every byte comes back except 0x98, the one byte
// without a character, which is shown as U+FFFD and comes back as '?'.
// Window to wire: every character with a Windows-1251 byte becomes that byte,
// every other character one '?'; broken UTF-8 becomes '?' and never eats or
// invents an ASCII byte (a '!' or CR that was not typed would reach the unit).
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "text/cp1251.h"

using tornavel::Bytes;

namespace {

constexpr unsigned char kUnassigned = 0x98;

// Strict UTF-8 (shortest form, no surrogates, at most U+10FFFF); nothing for
// any broken text.
std::optional<std::vector<char32_t>> Decode(const std::string& s)
{
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t length = b < 0x80                 ? 1
                                   : b >= 0xC2 && b <= 0xDF ? 2
                                   : b >= 0xE0 && b <= 0xEF ? 3
                                   : b >= 0xF0 && b <= 0xF4 ? 4
                                                            : 0;
        if (length == 0 || i + length > s.size()) return std::nullopt;
        char32_t cp = length == 1 ? b : b & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        const char32_t shortest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
        if (cp < shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        out.push_back(cp);
        i += length;
    }
    return out;
}

std::string Encode(char32_t cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

char32_t CharacterOf(unsigned char byte)
{
    const auto decoded = Decode(tornavel::Cp1251ToUtf8(Bytes(1, static_cast<char>(byte))));
    FUZZ_CHECK(decoded && decoded->size() == 1);
    return decoded->front();
}

// Once per run: the 255 bytes with a character map to 255 different
// characters, exactly those for which HasCp1251Byte holds.
void CheckWholeTable()
{
    std::vector<char32_t> characters;
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t cp = CharacterOf(static_cast<unsigned char>(byte));
        FUZZ_CHECK(byte < 0x80 ? cp == static_cast<char32_t>(byte) : cp >= 0x80);
        FUZZ_CHECK(tornavel::HasCp1251Byte(cp) == (byte != kUnassigned));
        if (byte == kUnassigned)
            FUZZ_CHECK(cp == 0xFFFD);
        else
            characters.push_back(cp);
    }
    std::sort(characters.begin(), characters.end());
    FUZZ_CHECK(std::adjacent_find(characters.begin(), characters.end()) == characters.end());
    std::size_t mapped = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (!tornavel::HasCp1251Byte(cp)) continue;
        ++mapped;
        FUZZ_CHECK(std::binary_search(characters.begin(), characters.end(), cp));
    }
    FUZZ_CHECK(mapped == characters.size());
}

void CheckWireToWindow(const Bytes& wire)
{
    const std::string shown = tornavel::Cp1251ToUtf8(wire);
    const auto characters = Decode(shown);
    FUZZ_CHECK(characters && characters->size() == wire.size());
    Bytes back = wire;
    std::replace(back.begin(), back.end(), static_cast<char>(kUnassigned), '?');
    FUZZ_CHECK(tornavel::Utf8ToCp1251(shown) == back);
}

bool IsAsciiNotQuestion(char c)
{
    return static_cast<unsigned char>(c) < 0x80 && c != '?';
}

void CheckWindowToWire(const std::string& typed)
{
    const Bytes wire = tornavel::Utf8ToCp1251(typed);
    FUZZ_CHECK(wire.size() <= typed.size());
    Bytes typedAscii, wireAscii;
    std::copy_if(typed.begin(), typed.end(), std::back_inserter(typedAscii), IsAsciiNotQuestion);
    std::copy_if(wire.begin(), wire.end(), std::back_inserter(wireAscii), IsAsciiNotQuestion);
    FUZZ_CHECK(wireAscii == typedAscii);

    const auto characters = Decode(typed);
    if (!characters) return;
    FUZZ_CHECK(wire.size() == characters->size());
    for (std::size_t i = 0; i < wire.size(); ++i) {
        const char32_t cp = (*characters)[i];
        if (tornavel::HasCp1251Byte(cp))
            FUZZ_CHECK(CharacterOf(static_cast<unsigned char>(wire[i])) == cp);
        else
            FUZZ_CHECK(wire[i] == '?');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool tableChecked = (CheckWholeTable(), true);
    (void)tableChecked;
    const Bytes bytes(reinterpret_cast<const char*>(data), size);
    CheckWireToWindow(bytes);
    CheckWindowToWire(bytes);
    // Also as characters: the input read as code points, three bytes each.
    std::string typed;
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
        std::uint32_t cp = 0;
        for (int k = 0; k < 3; ++k) cp = (cp << 8) | data[i + k];
        cp %= 0x110000;
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        typed += Encode(cp);
    }
    CheckWindowToWire(typed);
    return 0;
}
