#pragma once

#include <optional>
#include <string>
#include <string_view>

// Decodes the C escapes \r \n \t \0 \\ \xHH; nullopt for a malformed escape.
std::optional<std::string> decodeEscapes(std::string_view text);

// "53 4D 0D 0A": the bytes as upper-case hex pairs separated by spaces.
std::string hexBytes(std::string_view bytes);
