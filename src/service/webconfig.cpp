#include "webconfig.h"

#include <crypt.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

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
    return hash.size() == 60 && (hash.rfind("$2a$", 0) == 0 || hash.rfind("$2b$", 0) == 0 || hash.rfind("$2y$", 0) == 0);
}

std::optional<WebConfig> LoadWebConfig(const std::string& path, std::string& error)
{
    std::string text;
    if (!ReadWhole(path, text)) {
        error = "cannot read the web config " + path;
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
            config.users[key] = value;
        } else {
            return fail(number, "indented line outside a section");
        }
    }
    if (certFile.empty() != keyFile.empty()) return fail(number, "tls_server_config needs cert_file and key_file");
    if (!certFile.empty()) {
        if (!ReadWhole(certFile, config.certPem) || config.certPem.empty()) return fail(number, "cannot read " + certFile);
        if (!ReadWhole(keyFile, config.keyPem) || config.keyPem.empty()) return fail(number, "cannot read " + keyFile);
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
