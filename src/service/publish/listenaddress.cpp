#include "publish/listenaddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace tornavel::service {

namespace {

std::optional<in_port_t> ParsePort(const std::string& text)
{
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) return std::nullopt;  // 0: any free port (the start line names it)
    return static_cast<in_port_t>(value);
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto port = ParsePort(text.substr(colon + 1));
    if (!port) return std::nullopt;
    const std::string host = text.substr(0, colon);
    if (host.empty()) {
        auto any = ParseListenAddress("[::]:" + text.substr(colon + 1));
        any->text = text;
        any->anyFamily = true;
        return any;
    }

    ListenAddress result;
    result.text = text;
    auto stored = [&result](const auto& address) {
        std::memcpy(&result.address, &address, sizeof address);
        result.length = sizeof address;
        return result;
    };
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(*port);
        if (::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6.sin6_addr) != 1) return std::nullopt;
        return stored(v6);
    }
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(*port);
    if (::inet_pton(AF_INET, host.c_str(), &v4.sin_addr) != 1) return std::nullopt;
    return stored(v4);
}

bool ListenAddress::DualStack() const
{
    if (address.ss_family != AF_INET6) return false;
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    return IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr);
}

ListenAddress ListenAddress::Ipv4Any() const
{
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port;
    v4.sin_addr.s_addr = htonl(INADDR_ANY);
    ListenAddress result;
    std::memcpy(&result.address, &v4, sizeof v4);
    result.length = sizeof v4;
    result.text = "0.0.0.0" + text;
    return result;
}

}  // namespace tornavel::service
