#pragma once
#include <optional>
#include <string>

#include "bytes.h"

namespace tornavel {

// Windows-1251 is the byte encoding on the wire; the window shows UTF-8.
std::string Cp1251ToUtf8(const Bytes& bytes);
// Characters without a Windows-1251 byte become '?'.
Bytes Utf8ToCp1251(const std::string& utf8);
// Whether a character has a Windows-1251 byte at all.
bool HasCp1251Byte(char32_t codePoint);

}  // namespace tornavel
