// The web config: the exporters' format for TLS and basic authentication;
// what the monitor cannot honour is refused, not dropped.
#include <crypt.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "publish/webconfig.h"

namespace tornavel::service {
namespace {

std::string Bcrypt(const std::string& password, int cost = 4)
{
    const char* salt = ::crypt_gensalt("$2b$", static_cast<unsigned long>(cost), nullptr, 0);
    return ::crypt(password.c_str(), salt);
}

class WebConfigFile : public ::testing::Test {
protected:
    WebConfigFile() : dir_(std::filesystem::temp_directory_path() / ("webconfig-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "cert.pem") << "CERT";
        std::ofstream(dir_ / "key.pem") << "KEY";
    }
    ~WebConfigFile() override { std::filesystem::remove_all(dir_); }

    std::optional<WebConfig> Load(const std::string& text, std::string& error)
    {
        std::ofstream(dir_ / "web.yml") << text;
        return LoadWebConfig((dir_ / "web.yml").string(), error);
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

TEST_F(WebConfigFile, TlsAndUsersAreRead)
{
    const std::string hash = Bcrypt("secret");
    std::string error;
    const auto config = Load("# monitor\ntls_server_config:\n  cert_file: " + Path("cert.pem") + "\n  key_file: \"" +
                                 Path("key.pem") + "\"\n\nbasic_auth_users:\n  prom: '" + hash +
                                 "'\n  other: " + Bcrypt("x") + "\n",
                             error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->certPem, "CERT");
    EXPECT_EQ(config->keyPem, "KEY");
    ASSERT_EQ(config->users.size(), 2u);
    EXPECT_TRUE(PasswordMatches(config->users.at("prom"), "secret"));
    EXPECT_FALSE(PasswordMatches(config->users.at("prom"), "Secret"));
    EXPECT_FALSE(PasswordMatches(config->users.at("prom"), ""));
    EXPECT_FALSE(PasswordMatches(config->users.at("other"), "secret"));
}

// Each request pays the cost: a bounded one, and an unknown name pays the
// highest cost of the known ones (checked against a decoy that nothing matches).
TEST_F(WebConfigFile, TheBcryptCostIsBoundedAndUnknownNamesPayTheHighest)
{
    std::string error;
    EXPECT_FALSE(Load("basic_auth_users:\n  prom: " + Bcrypt("x", 13) + "\n", error));
    EXPECT_NE(error.find("the bcrypt cost of 'prom' is 13; take one from 04 to 12"), std::string::npos) << error;
    const auto config = Load("basic_auth_users:\n  a: " + Bcrypt("x", 4) + "\n  b: " + Bcrypt("y", 6) + "\n", error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->decoyHash.substr(0, 7), "$2b$06$");
    for (const char* guess : {"", "x", "y"}) EXPECT_FALSE(PasswordMatches(config->decoyHash, guess)) << guess;
    EXPECT_TRUE(Load("basic_auth_users:\n  a: " + Bcrypt("x", 12) + "\n", error)) << error;
}

// Under systemd, the certificate and key named without a slash are the
// service's credentials (LoadCredential=), readable by its dynamic user.
TEST_F(WebConfigFile, TlsFilesNamedWithoutASlashAreCredentials)
{
    ::setenv("CREDENTIALS_DIRECTORY", dir_.c_str(), 1);
    std::string error;
    const auto config = Load("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n", error);
    ::unsetenv("CREDENTIALS_DIRECTORY");
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->keyPem, "KEY");
}

TEST_F(WebConfigFile, AnEmptyFileIsPlainHttpWithoutUsers)
{
    std::string error;
    const auto config = Load("", error);
    ASSERT_TRUE(config) << error;
    EXPECT_TRUE(config->certPem.empty());
    EXPECT_TRUE(config->users.empty());
}

struct Refused {
    const char* text;  // {dir} is the folder with cert.pem and key.pem
    const char* error;
};

class RefusedWebConfig : public WebConfigFile, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedWebConfig, GivesOneLineReason)
{
    std::string text = GetParam().text;
    for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}"))
        text.replace(at, 5, dir_.string());
    std::string error;
    EXPECT_FALSE(Load(text, error));
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    WebConfig, RefusedWebConfig,
    ::testing::Values(
        Refused{"http_server_config:\n  http2: false\n", ":1: unknown key 'http_server_config'"},
        Refused{"tls_server_config:\n  cert_file: {dir}/cert.pem\n  key_file: {dir}/key.pem\n  min_version: TLS13\n",
                ":4: unknown key 'min_version' in tls_server_config"},
        Refused{"tls_server_config:\n  cert_file: {dir}/cert.pem\n", "needs cert_file and key_file"},
        Refused{"tls_server_config:\n  cert_file: {dir}/none.pem\n  key_file: {dir}/key.pem\n", "cannot read"},
        Refused{"basic_auth_users:\n  prom: secret\n", "the password of 'prom' is not a bcrypt hash"},
        Refused{"basic_auth_users:\n  prom: $1$abc$0123456789012345678901\n", "not a bcrypt hash"},
        Refused{"basic_auth_users: {prom: x}\n", "'basic_auth_users' holds keys"},
        Refused{"  prom: x\n", "indented line outside a section"},
        Refused{"tls_server_config\n", "not a key: value line"}));

TEST(WebConfig, MissingFileIsNamed)
{
    std::string error;
    EXPECT_FALSE(LoadWebConfig("/nonexistent/web.yml", error));
    EXPECT_EQ(error, "cannot read the web config /nonexistent/web.yml: No such file or directory");
}

}  // namespace
}  // namespace tornavel::service
