#pragma once
#include <cstdint>

#include "bytes.h"

namespace tornavel {

// Leading whole number of an answer: blanks and control bytes around it are
// ignored, the digit run at the start is read, anything else gives 0.
std::int32_t s2int(const Bytes& text);
// Non-empty and every character a hex digit, either case.
bool IsHexText(const Bytes& text);
// One or two hex digits: a byte value as a unit reports a register.
bool IsHexByte(const Bytes& text);
// Value of a one- or two-digit hex text; 0 for anything else.
int HexByteValue(const Bytes& text);

}  // namespace tornavel
