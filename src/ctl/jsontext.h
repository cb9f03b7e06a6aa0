#pragma once
#include <cstdio>
#include <string>

namespace tornavel::ctl {

// A JSON string literal for UTF-8 text; control bytes are escaped.
inline std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace tornavel::ctl
