#pragma once
#include <cstdint>

#include "bytes.h"

namespace tornavel {

// Small pure routines on byte texts; each returns a neutral value (false, 0,
// empty) for input it does not accept.

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Non-empty and every byte '0'..'9'.
bool IsDigits(const Bytes& text);
// c occurs in set (exact byte comparison).
bool CharInSet(char c, const Bytes& set);
// line := the first line of s without its line end (CR LF, CR or LF);
// s := what follows that line end.
void SplitLine(Bytes& s, Bytes& line);
// Value of a one-byte hex digit in either case; 0 for anything else.
int HexDigit(const Bytes& text);
// Value of a hex text of at most 16 digits, in 32-bit arithmetic (only the
// last 8 digits survive); non-digits count as 0; 0 for empty or too long.
std::uint32_t HexToInt(const Bytes& text);

}  // namespace tornavel
