#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "publish/listenaddress.h"
#include "publish/webconfig.h"
#include "upsnet/peeraddress.h"

namespace tornavel::service::upsnet {

// The UPS network protocol server, off unless --ups-listen is given.
struct ServerOptions {
    std::vector<ListenAddress> listen;
    std::vector<AddressRange> allow;       // anonymous reads; loopback when none given
    std::optional<std::string> usersFile;  // NAME:BCRYPT lines, as htpasswd -B writes them
    std::map<std::string, std::string> users;
    std::string decoyHash;                         // checked for a name that is not a user
    std::optional<std::string> certFile, keyFile;  // for STARTTLS; else --web-config's
    std::string certPem, keyPem;
    int maxConnections = 64;
    int maxPerAddress = 8;
    int idleSeconds = 120;  // without a whole line

    bool Enabled() const { return !listen.empty(); }
};

bool IsServerOption(const std::string& name);
// Takes one option (all take a value); false with a one-line error.
bool TakeServerOption(const std::string& name, const std::string& value, ServerOptions& options, std::string& error);
// Reads the users file and the certificate (its own, else the web config's);
// gives loopback the anonymous reads when --ups-allow was not given.
bool LoadServerFiles(ServerOptions& options, const WebConfig& web, std::string& error);
// NAME:BCRYPT per line; blank lines and # comments skipped.
std::optional<std::map<std::string, std::string>> LoadUsersFile(const std::string& path, std::string& error);
const char* ServerUsageText();

}  // namespace tornavel::service::upsnet
