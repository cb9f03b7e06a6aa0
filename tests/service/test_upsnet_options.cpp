// The UPS network protocol's settings: ups:// addresses, allowed address
// ranges, the users file, and the status symbols a follower reads back.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <fstream>

#include "upsnet/peeraddress.h"
#include "upsnet/serveroptions.h"
#include "upsnet/upsurl.h"
#include "upsnet/variables.h"

using namespace tornavel::service::upsnet;

namespace {

struct UrlCase {
    const char* text;
    bool valid;
    const char* user;
    const char* host;
    int port;
    const char* name;
};

class UrlTable : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlTable, IsReadWhole)
{
    const UrlCase& c = GetParam();
    const auto url = ParseUpsUrl(c.text);
    ASSERT_EQ(url.has_value(), c.valid) << c.text;
    if (!url) return;
    EXPECT_EQ(url->user, c.user);
    EXPECT_EQ(url->host, c.host);
    EXPECT_EQ(url->port, c.port);
    EXPECT_EQ(url->name, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlTable,
    testing::Values(UrlCase{"ups://nas@192.0.2.20:3493/ups", true, "nas", "192.0.2.20", 3493, "ups"},
                    UrlCase{"ups://primary/COM1", true, "", "primary", 3493, "COM1"},
                    UrlCase{"ups://[::1]:4000/rack%20one", true, "", "::1", 4000, "rack one"},
                    UrlCase{"ups://u@h:99999/x", false, "", "", 0, ""}, UrlCase{"ups://h/", false, "", "", 0, ""},
                    UrlCase{"ups://h", false, "", "", 0, ""}, UrlCase{"ups://@h/x", false, "", "", 0, ""},
                    UrlCase{"ups://h:/x", false, "", "", 0, ""}, UrlCase{"ups://h/a%0Ab", false, "", "", 0, ""},
                    UrlCase{"ups://h/a%2", false, "", "", 0, ""}, UrlCase{"http://h/x", false, "", "", 0, ""}));

PeerAddress V4(const char* text)
{
    sockaddr_storage storage{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(storage);
    v4.sin_family = AF_INET;
    ::inet_pton(AF_INET, text, &v4.sin_addr);
    return *PeerAddress::From(storage);
}

PeerAddress V6(const char* text)
{
    sockaddr_storage storage{};
    auto& v6 = reinterpret_cast<sockaddr_in6&>(storage);
    v6.sin6_family = AF_INET6;
    ::inet_pton(AF_INET6, text, &v6.sin6_addr);
    return *PeerAddress::From(storage);
}

TEST(AddressRange, MatchesItsAddressesOnly)
{
    const auto lan = AddressRange::Parse("192.0.2.0/24");
    ASSERT_TRUE(lan);
    EXPECT_TRUE(lan->Contains(V4("192.0.2.77")));
    EXPECT_FALSE(lan->Contains(V4("192.0.3.1")));
    // An IPv4 client of a dual-stack socket is the IPv4 address it is.
    EXPECT_TRUE(lan->Contains(V6("::ffff:192.0.2.5")));
    EXPECT_EQ(V6("::ffff:192.0.2.5").Text(), "192.0.2.5");
    const auto one = AddressRange::Parse("::1");
    ASSERT_TRUE(one);
    EXPECT_TRUE(one->Contains(V6("::1")));
    EXPECT_FALSE(one->Contains(V4("127.0.0.1")));
    for (const char* wrong : {"192.0.2.0/33", "host", "192.0.2.0/", "::1/129", "1.2.3.4/x"})
        EXPECT_FALSE(AddressRange::Parse(wrong)) << wrong;
}

TEST(UsersFile, TakesBcryptLinesAndRefusesOthers)
{
    const std::string path = testing::TempDir() + "ups-users";
    const std::string hash = "$2y$10$abcdefghijklmnopqrstuuJ0.XKqM1mqzN4wJv9yJ3aTTy6Jr0QxK";
    std::ofstream(path) << "# followers\n\nnas:" << hash << "\r\n";
    std::string error;
    const auto users = LoadUsersFile(path, error);
    ASSERT_TRUE(users) << error;
    EXPECT_EQ(users->at("nas"), hash);

    // Not a hash, or a cost each login would pay too dearly (or too cheap).
    for (const auto& [line, why] :
         {std::pair{std::string("nas:plain-password"), ":1: not a NAME:BCRYPT line"},
          std::pair{"nas:$2y$13$" + hash.substr(7), ":1: the bcrypt cost of 'nas' is 13; take one from 04 to 12"},
          std::pair{"nas:$2y$03$" + hash.substr(7), ":1: the bcrypt cost of 'nas' is 03"}}) {
        std::ofstream(path) << line << "\n";
        EXPECT_FALSE(LoadUsersFile(path, error)) << line;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    std::remove(path.c_str());
}

TEST(ServerOptions, UnknownNamesAreCheckedAtTheUsersHighestCost)
{
    const std::string path = testing::TempDir() + "ups-users-cost";
    std::ofstream(path) << "a:$2y$04$abcdefghijklmnopqrstuuJ0.XKqM1mqzN4wJv9yJ3aTTy6Jr0QxK\n"
                        << "b:$2y$06$abcdefghijklmnopqrstuuJ0.XKqM1mqzN4wJv9yJ3aTTy6Jr0QxK\n";
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(TakeServerOption("--ups-listen", "127.0.0.1:3493", options, error)) << error;
    options.usersFile = path;
    ASSERT_TRUE(LoadServerFiles(options, {}, error)) << error;
    EXPECT_EQ(options.decoyHash.substr(0, 7), "$2b$06$");
    std::remove(path.c_str());
}

TEST(ServerOptions, LoopbackReadsWithoutALoginUnlessAddressesAreGiven)
{
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(TakeServerOption("--ups-listen", "127.0.0.1:3493", options, error)) << error;
    ASSERT_TRUE(LoadServerFiles(options, {}, error)) << error;
    ASSERT_EQ(options.allow.size(), 2u);
    EXPECT_TRUE(options.allow[0].Contains(V4("127.0.0.1")));
    EXPECT_FALSE(TakeServerOption("--ups-max-connections", "0", options, error));
    EXPECT_FALSE(TakeServerOption("--ups-listen", "nas:3493", options, error));
}

struct StatusCase {
    const char* symbols;
    int statusByte;
    bool forcedShutdown;
};

class StatusTable : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusTable, ReadsBackWhatIsWritten)
{
    const ReadStatus read = StatusFromSymbols(GetParam().symbols);
    EXPECT_EQ(read.statusByte, GetParam().statusByte);
    EXPECT_EQ(read.forcedShutdown, GetParam().forcedShutdown);
    if (std::string(GetParam().symbols).find('X') == std::string::npos) {
        EXPECT_EQ(StatusSymbols(read.statusByte, read.forcedShutdown), GetParam().symbols);
    }
}

INSTANTIATE_TEST_SUITE_P(Symbols, StatusTable,
                         testing::Values(StatusCase{"OL", 0x08, false}, StatusCase{"FSD OB LB", 0x50, true},
                                         StatusCase{"OL RB CAL TRIM BOOST OVER", 0xAF, false},
                                         StatusCase{"OB XTRA", 0x10, false}, StatusCase{"", 0, false}));

}  // namespace
