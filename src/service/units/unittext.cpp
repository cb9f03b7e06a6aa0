#include "units/unittext.h"

#include "text/cp1251.h"

namespace tornavel::service {

std::string PrintableText(const std::string& utf8)
{
    std::string text;
    text.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            text += "\xEF\xBF\xBD";  // U+FFFD
        else
            text += c;
    }
    return text;
}

std::string UnitText(const Bytes& answer)
{
    return PrintableText(Cp1251ToUtf8(answer));
}

}  // namespace tornavel::service
