// Command lines that read well but cannot work: an event program that cannot
// be run, and one device named twice under different names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/startchecks.h"
#include "publish/credentials.h"

namespace tornavel::service {
namespace {

struct Case {
    const char* what;
    std::optional<std::string> onEvent;
    std::vector<UnitPort> units;
    std::string problem;  // empty: none
};

class StartChecks : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "start-checks-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        std::ofstream(dir + "/plain") << "#!/bin/sh\n";
        std::filesystem::permissions(dir + "/plain", std::filesystem::perms::owner_read);
        std::ofstream(dir + "/hook") << "#!/bin/sh\n";
        std::filesystem::permissions(dir + "/hook", std::filesystem::perms::owner_all);
        std::filesystem::create_directory(dir + "/ports");
        std::filesystem::create_symlink("/dev/null", dir + "/ports/com1");
        std::filesystem::create_symlink("/dev/zero", dir + "/ports/com2");
        std::filesystem::create_symlink(dir + "/hook", dir + "/hook-link");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

TEST_F(StartChecks, RefusesWhatCannotWorkAndNothingElse)
{
    const UnitPort com1{"COM1", 1, {}, {}}, com2{"COM2", 2, {}, {}}, com3{"COM3", 3, {}, {}};
    auto path = [](const std::string& p) { return UnitPort{p, 0, p, {}}; };
    const std::vector<Case> cases = {
        {"all well", dir + "/hook", {com1, com2, com3, path("/nonexistent/ttyUSB0")}, ""},
        {"a program found in PATH", "true", {com1}, ""},
        {"an absent program",
         dir + "/absent",
         {com1},
         "--on-event program '" + dir + "/absent' does not exist or is not executable"},
        {"a program not executable",
         dir + "/plain",
         {com1},
         "--on-event program '" + dir + "/plain' does not exist or is not executable"},
        {"a directory", dir, {com1}, "--on-event program '" + dir + "' does not exist or is not executable"},
        {"a name not in PATH",
         "no-such-program-here",
         {com1},
         "--on-event program 'no-such-program-here' does not exist or is not executable"},
        {"a COM name and its device",
         std::nullopt,
         {com1, com2, path("/dev/null")},
         "ports 'COM1' and '/dev/null' are the same device (/dev/null)"},
        {"a device and a link to it",
         std::nullopt,
         {path("/dev/zero"), path(dir + "/ports/com2")},
         "ports '/dev/zero' and '" + dir + "/ports/com2' are the same device (/dev/zero)"},
        {"one file under two names",
         std::nullopt,
         {path(dir + "/hook"), path(dir + "/hook-link")},
         "ports '" + dir + "/hook' and '" + dir + "/hook-link' are the same device (" + dir + "/hook)"},
    };
    for (const Case& c : cases) {
        MonitorOptions options;
        options.portsDir = dir + "/ports";
        options.onEvent = c.onEvent;
        options.units = c.units;
        EXPECT_EQ(StartProblem(options).value_or(""), c.problem) << c.what;
    }
}

// Host protection records the boot id with its decision; without it the
// root side could not tell this boot's decision from an earlier one's.
TEST_F(StartChecks, ProtectionIsRefusedWithoutABootId)
{
    std::ofstream(dir + "/boot_id") << "0f3c1e2a-5b7d-4c9e-8a61-2d4f6b8c0e13\n";
    std::ofstream(dir + "/empty");
    const std::string refused = "host protection: cannot read the boot id from ";
    struct Case {
        const char* what;
        std::vector<std::string> protect;
        std::optional<std::string> followUrl;
        bool dryRun;
        std::string bootIdFile;
        std::string problem;  // empty: none
    };
    const std::vector<Case> cases = {
        {"protect, readable", {"COM1"}, std::nullopt, false, dir + "/boot_id", ""},
        {"protect, absent", {"COM1"}, std::nullopt, false, dir + "/absent", refused + dir + "/absent"},
        {"protect, empty", {"COM1"}, std::nullopt, false, dir + "/empty", refused + dir + "/empty"},
        {"a dry run, absent", {"COM1"}, std::nullopt, true, dir + "/absent", refused + dir + "/absent"},
        {"follow, absent", {}, "http://primary:9184/metrics", false, dir + "/absent", refused + dir + "/absent"},
        {"no protection, absent", {}, std::nullopt, false, dir + "/absent", ""},
    };
    for (const Case& c : cases) {
        MonitorOptions options;
        options.units = {UnitPort{"COM1", 1, {}, {}}};
        options.portsDir = dir + "/ports";
        options.protection.protect = c.protect;
        options.protection.followUrl = c.followUrl;
        options.protection.dryRun = c.dryRun;
        options.protection.bootIdFile = c.bootIdFile;
        EXPECT_EQ(StartProblem(options).value_or("").substr(0, c.problem.size()), c.problem) << c.what;
        EXPECT_EQ(StartProblem(options).has_value(), !c.problem.empty()) << c.what;
    }
}

TEST_F(StartChecks, AFollowersFilesMustBeReadable)
{
    std::ofstream(dir + "/auth") << "follower:s3cret\n";
    MonitorOptions options;
    options.protection.followUrl = "https://primary:9184/metrics";
    options.protection.bootIdFile = "/proc/sys/kernel/random/boot_id";
    options.protection.followAuth = dir + "/auth";
    options.protection.followCa = dir + "/absent.pem";
    EXPECT_EQ(StartProblem(options).value_or(""),
              "cannot read --follow-ca " + dir + "/absent.pem: No such file or directory");
    options.protection.followCa.reset();
    EXPECT_EQ(StartProblem(options).value_or(""), "");
}

// Under systemd a file named without a slash is the credential of that name.
TEST(Credentials, ANameWithoutASlashIsACredentialUnderSystemd)
{
    struct Case {
        const char* file;
        const char* directory;
        const char* path;
    };
    for (const Case& c : {Case{"follow-auth", "/run/credentials/tornavel-monitor.service",
                               "/run/credentials/tornavel-monitor.service/follow-auth"},
                          Case{"/etc/tornavel/auth", "/run/credentials/x", "/etc/tornavel/auth"},
                          Case{"./auth", "/run/credentials/x", "./auth"}, Case{"follow-auth", nullptr, "follow-auth"},
                          Case{"follow-auth", "", "follow-auth"}})
        EXPECT_EQ(CredentialPath(c.file, c.directory), c.path) << c.file;

    MonitorOptions options;
    options.webConfigFile = "web-config";
    options.protection.followCa = "/etc/ssl/ca.pem";
    options.protection.followAuth = "follow-auth";
    options.upsServer.usersFile = "ups-users";
    options.upsServer.certFile = "/etc/tornavel/cert.pem";
    options.upsServer.keyFile = "ups-key";
    ResolveCredentials(options, "/run/credentials/m");
    EXPECT_EQ(options.webConfigFile, "/run/credentials/m/web-config");
    EXPECT_EQ(options.protection.followCa, "/etc/ssl/ca.pem");
    EXPECT_EQ(options.protection.followAuth, "/run/credentials/m/follow-auth");
    EXPECT_EQ(options.upsServer.usersFile, "/run/credentials/m/ups-users");
    EXPECT_EQ(options.upsServer.certFile, "/etc/tornavel/cert.pem");
    EXPECT_EQ(options.upsServer.keyFile, "/run/credentials/m/ups-key");
    EXPECT_NE(UnreadableFile("--follow-auth", "/etc/a", EACCES).find("LoadCredential="), std::string::npos);
}

}  // namespace
}  // namespace tornavel::service
