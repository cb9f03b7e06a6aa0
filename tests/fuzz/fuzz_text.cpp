// The line and number helpers against plain reference readings built on the
// C library (strtoull), on any bytes a unit might send.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_check.h"
#include "monitor/numbers.h"
#include "text/procedures.h"

using tornavel::Bytes;

namespace {

bool IsDecimal(char c)
{
    return c >= '0' && c <= '9';
}
bool IsHex(char c)
{
    return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool AllHex(const Bytes& t)
{
    return !t.empty() && std::all_of(t.begin(), t.end(), IsHex);
}

// Value of a text of hex digits only, by the C library.
unsigned long long Strtoull(const Bytes& digits, int base)
{
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, base);
    return errno == ERANGE ? ULLONG_MAX : value;
}

void CheckIsDigits(const Bytes& t)
{
    FUZZ_CHECK(tornavel::IsDigits(t) == (!t.empty() && std::all_of(t.begin(), t.end(), IsDecimal)));
}

void CheckCharInSet(const Bytes& t)
{
    if (t.empty()) return;
    const Bytes set = t.substr(1);
    const bool expected = std::memchr(set.data(), t[0], set.size()) != nullptr;
    FUZZ_CHECK(tornavel::CharInSet(t[0], set) == expected);
}

// Splitting line after line gives back the text without its line ends, one
// line per line end (CR LF counting once) plus an unterminated tail, and
// every call takes something away.
void CheckSplitLine(const Bytes& t)
{
    Bytes s = t;
    Bytes joined;
    std::size_t lines = 0;
    while (!s.empty()) {
        const std::size_t before = s.size();
        Bytes line = "stale";
        tornavel::SplitLine(s, line);
        FUZZ_CHECK(line.find_first_of("\r\n") == Bytes::npos);
        FUZZ_CHECK(s.size() < before);
        // Only the one line end between them is gone.
        const std::size_t gone = before - s.size() - line.size();
        FUZZ_CHECK(gone <= 2);
        FUZZ_CHECK(gone > 0 || s.empty());
        joined += line;
        ++lines;
    }
    Bytes withoutEnds;
    std::size_t ends = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r' || t[i] == '\n') {
            ++ends;
            if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else {
            withoutEnds += t[i];
        }
    }
    const bool openTail = !t.empty() && t.back() != '\r' && t.back() != '\n';
    FUZZ_CHECK(joined == withoutEnds);
    FUZZ_CHECK(lines == ends + (openTail ? 1 : 0));

    Bytes empty;
    Bytes line = "stale";
    tornavel::SplitLine(empty, line);
    FUZZ_CHECK(line.empty() && empty.empty());
}

void CheckHexDigit(const Bytes& t)
{
    const Bytes one = t.substr(0, 1);
    const int expected = one.size() == 1 && IsHex(one[0]) ? static_cast<int>(Strtoull(one, 16)) : 0;
    FUZZ_CHECK(tornavel::HexDigit(one) == expected);
    if (t.size() != 1) FUZZ_CHECK(tornavel::HexDigit(t) == 0);
}

// Non-digits count as 0 and only the low 32 bits survive.
void CheckHexToInt(const Bytes& t)
{
    std::uint32_t expected = 0;
    if (!t.empty() && t.size() <= 16) {
        Bytes digits = t;
        for (char& c : digits)
            if (!IsHex(c)) c = '0';
        expected = static_cast<std::uint32_t>(Strtoull(digits, 16));
    }
    FUZZ_CHECK(tornavel::HexToInt(t) == expected);
}

// Trimmed of bytes up to 32 (as unsigned bytes) at both ends, the leading
// decimal run, saturating at the largest 32-bit value.
void CheckS2int(const Bytes& t)
{
    std::size_t begin = 0;
    std::size_t end = t.size();
    while (begin < end && static_cast<unsigned char>(t[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(t[end - 1]) <= 32) --end;
    std::size_t run = begin;
    while (run < end && IsDecimal(t[run])) ++run;
    const unsigned long long value = Strtoull(t.substr(begin, run - begin), 10);
    const std::int32_t expected = value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
    FUZZ_CHECK(tornavel::s2int(t) == expected);
}

void CheckHexText(const Bytes& t)
{
    FUZZ_CHECK(tornavel::IsHexText(t) == AllHex(t));
    const int expected = t.size() <= 2 && AllHex(t) ? static_cast<int>(Strtoull(t, 16)) : 0;
    const int value = tornavel::HexByteValue(t);
    FUZZ_CHECK(value == expected);
    FUZZ_CHECK(value >= 0 && value <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes text(reinterpret_cast<const char*>(data), size);
    CheckIsDigits(text);
    CheckCharInSet(text);
    CheckSplitLine(text);
    CheckHexDigit(text);
    CheckHexToInt(text);
    CheckS2int(text);
    CheckHexText(text);
    return 0;
}
