#pragma once
#include <sys/socket.h>

#include <array>
#include <optional>
#include <string>

namespace tornavel::service::upsnet {

// A peer's IP address, IPv4 clients of a dual-stack socket (::ffff:a.b.c.d)
// taken as the IPv4 address they are.
struct PeerAddress {
    bool v6 = false;
    std::array<unsigned char, 16> bytes{};  // the first 4 for IPv4

    static std::optional<PeerAddress> From(const sockaddr_storage& address);
    std::string Text() const;
    bool operator==(const PeerAddress&) const = default;
};

// ADDR or ADDR/BITS, IPv4 or IPv6 (unbracketed), as --ups-allow takes it.
struct AddressRange {
    PeerAddress base;
    int bits = 0;

    static std::optional<AddressRange> Parse(const std::string& text);
    bool Contains(const PeerAddress& address) const;
};

}  // namespace tornavel::service::upsnet
