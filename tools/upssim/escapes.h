#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upssim {

// Decodes the C escapes \r \n \t \0 \\ \xHH; nullopt for a malformed escape.
std::optional<std::string> DecodeEscapes(std::string_view text);

// "53 4D 0D 0A": the bytes as upper-case hex pairs separated by spaces.
std::string HexBytes(std::string_view bytes);

}  // namespace upssim
