#include "upsnet/upsurl.h"

namespace tornavel::service::upsnet {

namespace {

constexpr const char* kScheme = "ups://";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescaped(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const char c = static_cast<char>(high * 16 + low);
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // no control character in a name
        out += c;
        i += 2;
    }
    return out;
}

}  // namespace

bool IsUpsUrl(const std::string& text)
{
    return text.rfind(kScheme, 0) == 0;
}

std::optional<UpsUrl> ParseUpsUrl(const std::string& text)
{
    if (!IsUpsUrl(text)) return std::nullopt;
    const std::string rest = text.substr(std::string(kScheme).size());
    const auto slash = rest.find('/');
    if (slash == std::string::npos) return std::nullopt;
    std::string authority = rest.substr(0, slash);
    UpsUrl url;
    const auto name = Unescaped(rest.substr(slash + 1));
    if (!name || name->empty()) return std::nullopt;
    url.name = *name;
    if (const auto at = authority.rfind('@'); at != std::string::npos) {
        url.user = authority.substr(0, at);
        authority = authority.substr(at + 1);
        if (url.user.empty()) return std::nullopt;
    }
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        url.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return std::nullopt;
        if (!after.empty()) portText = after.substr(1);
        if (!after.empty() && portText.empty()) return std::nullopt;
    } else {
        const auto colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
    }
    if (url.host.empty()) return std::nullopt;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        url.port = std::stoi(portText);
        if (url.port < 1 || url.port > 65535) return std::nullopt;
    }
    return url;
}

}  // namespace tornavel::service::upsnet
