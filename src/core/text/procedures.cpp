#include "text/procedures.h"

#include <cstring>

namespace tornavel {

bool IsDigits(const Bytes& text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool CharInSet(char c, const Bytes& set)
{
    return set.find(c) != Bytes::npos;
}

void SplitLine(Bytes& s, Bytes& line)
{
    line.clear();
    const auto end = s.find_first_of("\r\n");
    if (end == Bytes::npos) {
        line.swap(s);
        s.clear();
        return;
    }
    line = s.substr(0, end);
    auto next = end + 1;
    if (s[end] == '\r' && next < s.size() && s[next] == '\n') ++next;
    s.erase(0, next);
}

int HexDigit(const Bytes& text)
{
    if (text.size() != 1) return 0;
    char c = text[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '\0') return 0;
    const char* found = std::strchr(kHexDigits, c);
    return found ? static_cast<int>(found - kHexDigits) : 0;
}

std::uint32_t HexToInt(const Bytes& text)
{
    if (text.empty() || text.size() > 16) return 0;
    const Bytes digits = text.size() % 2 ? "0" + text : text;
    std::uint32_t result = 0;
    for (char c : digits) result = result * 16u + static_cast<std::uint32_t>(HexDigit(Bytes(1, c)));
    return result;
}

}  // namespace tornavel
