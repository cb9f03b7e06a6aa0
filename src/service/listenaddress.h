#pragma once
#include <sys/socket.h>

#include <optional>
#include <string>

namespace tornavel::service {

// Where the metrics endpoint listens: a numeric IPv4 address or a bracketed
// IPv6 address, and a port, e.g. 127.0.0.1:9184 or [::1]:9184.
struct ListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string text;  // as given, for messages
};

inline constexpr const char* kDefaultListen = "127.0.0.1:9184";

// Nothing for a text that is not HOST:PORT as above (names are not looked up:
// a service must not depend on the resolver to start).
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

}  // namespace tornavel::service
