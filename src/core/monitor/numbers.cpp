#include <climits>
#include <cstdint>

#include "monitor/numbers.h"
#include "text/procedures.h"

namespace tornavel {

std::int32_t s2int(const Bytes& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    std::int64_t value = 0;
    for (std::size_t i = begin; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        // A digit run beyond the 32-bit range saturates at the largest value
        // rather than wrapping into a negative or arbitrary reading.
        if (value > INT32_MAX) return INT32_MAX;
    }
    return static_cast<std::int32_t>(value);
}

bool IsHexText(const Bytes& text)
{
    if (text.empty()) return false;
    for (char c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == '\0' || !CharInSet(c, kHexDigits)) return false;
    }
    return true;
}

bool IsHexByte(const Bytes& text)
{
    return text.size() <= 2 && IsHexText(text);
}

int HexByteValue(const Bytes& text)
{
    if (!IsHexByte(text)) return 0;
    const Bytes digits = text.size() == 1 ? "0" + text : text;
    return 16 * HexDigit(digits.substr(0, 1)) + HexDigit(digits.substr(1, 1));
}

}  // namespace tornavel
