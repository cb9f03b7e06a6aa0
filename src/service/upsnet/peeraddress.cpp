#include "upsnet/peeraddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace tornavel::service::upsnet {

std::optional<PeerAddress> PeerAddress::From(const sockaddr_storage& address)
{
    PeerAddress peer;
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(peer.bytes.data(), &v4.sin_addr, 4);
        return peer;
    }
    if (address.ss_family != AF_INET6) return std::nullopt;
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        std::memcpy(peer.bytes.data(), reinterpret_cast<const unsigned char*>(&v6.sin6_addr) + 12, 4);
        return peer;
    }
    peer.v6 = true;
    std::memcpy(peer.bytes.data(), &v6.sin6_addr, 16);
    return peer;
}

std::string PeerAddress::Text() const
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text);
    return text;
}

std::optional<AddressRange> AddressRange::Parse(const std::string& text)
{
    const auto slash = text.find('/');
    const std::string host = text.substr(0, slash);
    AddressRange range;
    if (::inet_pton(AF_INET, host.c_str(), range.base.bytes.data()) == 1) {
        range.bits = 32;
    } else if (::inet_pton(AF_INET6, host.c_str(), range.base.bytes.data()) == 1) {
        range.base.v6 = true;
        range.bits = 128;
    } else {
        return std::nullopt;
    }
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        if (bits.empty() || bits.size() > 3 || bits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const int value = std::stoi(bits);
        if (value > range.bits) return std::nullopt;
        range.bits = value;
    }
    return range;
}

bool AddressRange::Contains(const PeerAddress& address) const
{
    if (address.v6 != base.v6) return false;
    for (int bit = 0; bit < bits; ++bit) {
        const int byte = bit / 8;
        const unsigned char mask = static_cast<unsigned char>(0x80 >> (bit % 8));
        if ((address.bytes[byte] & mask) != (base.bytes[byte] & mask)) return false;
    }
    return true;
}

}  // namespace tornavel::service::upsnet
