#pragma once
#include <map>
#include <optional>
#include <string>

namespace tornavel::service {

// --web-config: the file Prometheus exporters read for TLS and basic
// authentication, in the subset this monitor serves:
//
//   tls_server_config:
//     cert_file: /etc/tornavel/cert.pem
//     key_file: /etc/tornavel/key.pem
//   basic_auth_users:
//     prometheus: $2y$10$...   (bcrypt)
//
// Any other key is refused, so a setting the monitor would not honour is
// never silently dropped.
struct WebConfig {
    std::string certPem;  // empty: plain HTTP
    std::string keyPem;
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
    // Checked for a name that is not a user, at the highest cost of theirs,
    // so that an unknown name takes as long as a known one.
    std::string decoyHash;
};

// The highest bcrypt cost taken: each request with a password pays it, so a
// higher one would let a few requests keep the monitor busy.
inline constexpr int kMostBcryptCost = 12;

// Nothing, with a one-line reason, for a file that cannot be read or used.
std::optional<WebConfig> LoadWebConfig(const std::string& path, std::string& error);

// Whether the text is a bcrypt hash ($2a$, $2b$ or $2y$, 60 characters).
bool IsBcryptHash(const std::string& hash);
// The cost of a bcrypt hash ("$2b$10$..."): its two digits; -1 when not digits.
int BcryptCost(const std::string& hash);
// A hash of a password nobody has, at `cost`; empty when none can be made.
std::string DecoyHash(int cost);

// Whether the password matches the bcrypt hash ($2a$, $2b$ or $2y$).
bool PasswordMatches(const std::string& hash, const std::string& password);

}  // namespace tornavel::service
