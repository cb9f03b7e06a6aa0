#include "publish/webconfig.h"

#include <crypt.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

#include "publish/credentials.h"

namespace tornavel::service {

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A scalar, plain or quoted; a comment after a plain value is dropped.
std::string Scalar(std::string text)
{
    text = Trimmed(text);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        return text.substr(1, text.size() - 2);
    if (const auto hash = text.find(" #"); hash != std::string::npos) text = Trimmed(text.substr(0, hash));
    return text;
}

bool ReadWhole(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

}  // namespace

bool IsBcryptHash(const std::string& hash)
{
    return hash.size() == 60 &&
           (hash.rfind("$2a$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2y$", 0) == 0);
}

int BcryptCost(const std::string& hash)
{
    if (!std::isdigit(static_cast<unsigned char>(hash[4])) || !std::isdigit(static_cast<unsigned char>(hash[5])))
        return -1;
    return (hash[4] - '0') * 10 + (hash[5] - '0');
}

std::string DecoyHash(int cost)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!::crypt_gensalt_rn("$2b$", static_cast<unsigned long>(cost), nullptr, 0, setting, sizeof setting)) return {};
    auto data = std::make_unique<crypt_data>();
    const char* hash = ::crypt_r("not a password of anyone", setting, data.get());
    return hash && IsBcryptHash(hash) ? hash : std::string();
}

std::optional<WebConfig> LoadWebConfig(const std::string& path, std::string& error)
{
    std::string text;
    if (!ReadWhole(path, text)) {
        error = UnreadableFile("the web config", path, errno);
        return std::nullopt;
    }
    auto fail = [&](int line, const std::string& why) {
        error = path + ":" + std::to_string(line) + ": " + why;
        return std::nullopt;
    };
    WebConfig config;
    std::string section, certFile, keyFile;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const std::string content = Trimmed(line);
        if (content.empty() || content[0] == '#' || content == "---") continue;
        const auto colon = content.find(':');
        if (colon == std::string::npos) return fail(number, "not a key: value line");
        const std::string key = Scalar(content.substr(0, colon));
        const std::string value = Scalar(content.substr(colon + 1));
        if (line[0] != ' ' && line[0] != '\t') {
            if (key != "tls_server_config" && key != "basic_auth_users")
                return fail(number, "unknown key '" + key + "' (tls_server_config and basic_auth_users are read)");
            if (!value.empty()) return fail(number, "'" + key + "' holds keys, not a value");
            section = key;
            continue;
        }
        if (section == "tls_server_config") {
            if (key == "cert_file")
                certFile = value;
            else if (key == "key_file")
                keyFile = value;
            else
                return fail(number, "unknown key '" + key + "' in tls_server_config (cert_file and key_file are read)");
        } else if (section == "basic_auth_users") {
            if (!IsBcryptHash(value)) return fail(number, "the password of '" + key + "' is not a bcrypt hash");
            const int cost = BcryptCost(value);
            if (cost < 4 || cost > kMostBcryptCost)
                return fail(number, "the bcrypt cost of '" + key + "' is " + value.substr(4, 2) +
                                        "; take one from 04 to " + std::to_string(kMostBcryptCost) +
                                        " (each request pays it)");
            config.users[key] = value;
        } else {
            return fail(number, "indented line outside a section");
        }
    }
    if (certFile.empty() != keyFile.empty()) return fail(number, "tls_server_config needs cert_file and key_file");
    if (!config.users.empty()) {
        int cost = 4;
        for (const auto& [name, hash] : config.users) cost = std::max(cost, BcryptCost(hash));
        config.decoyHash = DecoyHash(cost);
        if (config.decoyHash.empty()) return fail(number, "cannot make a bcrypt hash to check unknown names with");
    }
    if (!certFile.empty()) {
        const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
        for (auto [file, pem, what] : {std::tuple{&certFile, &config.certPem, "the certificate"},
                                       std::tuple{&keyFile, &config.keyPem, "the key"}}) {
            *file = CredentialPath(*file, credentials);
            if (!ReadWhole(*file, *pem)) return fail(number, UnreadableFile(what, *file, errno));
            if (pem->empty()) return fail(number, std::string(what) + " " + *file + " is empty");
        }
    }
    return config;
}

bool PasswordMatches(const std::string& hash, const std::string& password)
{
    if (!IsBcryptHash(hash)) return false;
    auto data = std::make_unique<crypt_data>();  // large: not on a thread's stack
    const char* computed = ::crypt_r(password.c_str(), hash.c_str(), data.get());
    if (!computed || std::strlen(computed) != hash.size()) return false;
    // Every byte compared, so the time taken tells nothing of the hash.
    unsigned char difference = 0;
    for (std::size_t i = 0; i < hash.size(); ++i) difference |= static_cast<unsigned char>(computed[i] ^ hash[i]);
    return difference == 0;
}

}  // namespace tornavel::service
