#pragma once
#include <optional>
#include <string>

#include "bytes.h"

namespace tornavel {

// Windows-1251 is the byte encoding on the wire; the window shows UTF-8.
std::string Cp1251ToUtf8(const Bytes& bytes);
// Characters without a Windows-1251 byte become '?', and so does each byte
// of broken or overlong UTF-8 that starts no character: ASCII bytes come
// through as they are, never swallowed or made up.
Bytes Utf8ToCp1251(const std::string& utf8);
// Whether a character has a Windows-1251 byte at all.
bool HasCp1251Byte(char32_t codePoint);

}  // namespace tornavel
