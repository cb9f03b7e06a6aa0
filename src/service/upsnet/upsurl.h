#pragma once
#include <optional>
#include <string>

namespace tornavel::service::upsnet {

// ups://[USER@]HOST[:PORT]/NAME: a unit of a UPS network protocol server to
// follow. HOST is a name, an IPv4 address or a bracketed IPv6 address; PORT
// defaults to 3493; NAME may hold %XX escapes (%20 for a space).
struct UpsUrl {
    std::string user;  // empty: read without a login
    std::string host;  // without brackets
    int port = 3493;
    std::string name;
};

std::optional<UpsUrl> ParseUpsUrl(const std::string& text);
bool IsUpsUrl(const std::string& text);

}  // namespace tornavel::service::upsnet
