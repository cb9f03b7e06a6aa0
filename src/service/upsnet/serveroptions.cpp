#include "upsnet/serveroptions.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "app/monitoroptions.h"
#include "publish/credentials.h"

namespace tornavel::service::upsnet {

namespace {

// The whole file, not empty; false with the reason.
bool ReadWhole(const char* what, const std::string& path, std::string& text, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = UnreadableFile(what, path, errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    if (text.empty()) error = std::string(what) + " " + path + " is empty";
    return !text.empty();
}

}  // namespace

bool IsServerOption(const std::string& name)
{
    for (const char* known : {"--ups-listen", "--ups-allow", "--ups-users", "--ups-tls-cert", "--ups-tls-key",
                              "--ups-max-connections", "--ups-max-per-address", "--ups-idle-timeout"})
        if (name == known) return true;
    return false;
}

bool TakeServerOption(const std::string& name, const std::string& value, ServerOptions& options, std::string& error)
{
    auto number = [&](int lowest, int highest, int& into) {
        return TakeWholeNumber(name, value, lowest, highest, into, error);
    };
    if (name == "--ups-listen") {
        const auto address = ParseListenAddress(value);
        if (!address) {
            error = "--ups-listen takes ADDR:PORT with a numeric address, not '" + value + "'";
            return false;
        }
        options.listen.push_back(*address);
    } else if (name == "--ups-allow") {
        const auto range = AddressRange::Parse(value);
        if (!range) {
            error = "--ups-allow takes a numeric address or ADDR/BITS, not '" + value + "'";
            return false;
        }
        options.allow.push_back(*range);
    } else if (name == "--ups-users") {
        options.usersFile = value;
    } else if (name == "--ups-tls-cert") {
        options.certFile = value;
    } else if (name == "--ups-tls-key") {
        options.keyFile = value;
    } else if (name == "--ups-max-connections") {
        return number(1, 10000, options.maxConnections);
    } else if (name == "--ups-max-per-address") {
        return number(1, 10000, options.maxPerAddress);
    } else if (name == "--ups-idle-timeout") {
        return number(1, 86400, options.idleSeconds);
    }
    return true;
}

std::optional<std::map<std::string, std::string>> LoadUsersFile(const std::string& path, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = UnreadableFile("the users file", path, errno);
        return std::nullopt;
    }
    std::map<std::string, std::string> users;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto colon = line.find(':');
        const std::string name = line.substr(0, colon);
        const std::string hash = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (name.empty() || !IsBcryptHash(hash)) {
            error = path + ":" + std::to_string(number) + ": not a NAME:BCRYPT line (htpasswd -nB NAME makes one)";
            return std::nullopt;
        }
        // Each login pays the cost: as on the web side, a higher one would
        // let a few connections keep the monitor busy.
        if (const int cost = BcryptCost(hash); cost < 4 || cost > kMostBcryptCost) {
            error = path + ":" + std::to_string(number) + ": the bcrypt cost of '" + name + "' is " +
                    hash.substr(4, 2) + "; take one from 04 to " + std::to_string(kMostBcryptCost);
            return std::nullopt;
        }
        users[name] = hash;
    }
    return users;
}

bool LoadServerFiles(ServerOptions& options, const WebConfig& web, std::string& error)
{
    if (!options.Enabled()) return true;
    if (options.usersFile) {
        const auto users = LoadUsersFile(*options.usersFile, error);
        if (!users) return false;
        options.users = *users;
        // An unknown name is checked against this, at the users' highest
        // cost, so that it takes as long as a known one.
        int cost = 4;
        for (const auto& [name, hash] : options.users) cost = std::max(cost, BcryptCost(hash));
        options.decoyHash = DecoyHash(cost);
        if (options.decoyHash.empty()) {
            error = "cannot make a bcrypt hash to check unknown names with";
            return false;
        }
    }
    if (options.certFile.has_value() != options.keyFile.has_value()) {
        error = "--ups-tls-cert and --ups-tls-key go together";
        return false;
    }
    if (options.certFile) {
        if (!ReadWhole("--ups-tls-cert", *options.certFile, options.certPem, error) ||
            !ReadWhole("--ups-tls-key", *options.keyFile, options.keyPem, error))
            return false;
    } else {
        options.certPem = web.certPem;
        options.keyPem = web.keyPem;
    }
    if (options.allow.empty())
        for (const char* loopback : {"127.0.0.0/8", "::1"}) options.allow.push_back(*AddressRange::Parse(loopback));
    return true;
}

const char* ServerUsageText()
{
    return R"(
UPS network protocol (RFC 9271), read-only, off unless --ups-listen is given:
  --ups-listen ADDR:PORT   serve the protocol here (usual port 3493); may be
                           given more than once, as --listen
  --ups-allow ADDR[/BITS]  addresses that may read without a login (default
                           loopback only); may be given more than once
  --ups-users FILE         followers' logins: NAME:BCRYPT lines
                           (htpasswd -nB NAME); they may read and attach
  --ups-tls-cert FILE, --ups-tls-key FILE
                           the certificate for STARTTLS (default: the one of
                           --web-config; without one STARTTLS is refused)
  --ups-max-connections N  connections at once (default 64)
  --ups-max-per-address N  connections at once from one address (default 8)
  --ups-idle-timeout SEC   close a connection that sent no whole line for SEC
                           seconds (default 120)
Once this host's shutdown is decided, every unit it protects reads FSD in
ups.status; the host powers off once its attached followers have gone.
)";
}

}  // namespace tornavel::service::upsnet
