#pragma once
#include <sys/socket.h>

#include <optional>
#include <string>

namespace tornavel::service {

// Where the metrics endpoint listens: a numeric IPv4 address or a bracketed
// IPv6 address, and a port, e.g. 127.0.0.1:9184 or [::1]:9184. [::]:9184
// serves IPv6 and IPv4 alike; :9184 is every address too, and falls back to
// 0.0.0.0:9184 on a host without IPv6.
struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string text;        // as given, for messages
    bool anyFamily = false;  // ":PORT"

    // IPv6's unspecified address, which takes IPv4 connections too.
    bool DualStack() const;
    // For ":PORT": the same port on 0.0.0.0.
    ListenAddress Ipv4Any() const;
};

inline constexpr const char* kDefaultListen = "127.0.0.1:9184";

// Nothing for a text that is not HOST:PORT as above (names are not looked up:
// a service must not depend on the resolver to start).
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

}  // namespace tornavel::service
