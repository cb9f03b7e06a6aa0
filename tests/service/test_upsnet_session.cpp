// The protocol's command dispatcher, one connection at a time: every command
// and its errors, on units in every state.
#include <gtest/gtest.h>

#include "protocol/devicetable.h"
#include "upsnet/clientsession.h"

using namespace tornavel;
using namespace tornavel::service;
using namespace tornavel::service::upsnet;

namespace {

const std::string kOddName = "Ann's \"big\" UPS \\ rack";
const std::string kOddWord = R"("Ann's \"big\" UPS \\ rack")";

UnitSnapshot Answering(const std::string& port)
{
    UnitSnapshot s;
    s.port = port;
    s.up = true;
    s.identified = true;
    s.slots[kSlotModel] = "Smart-UPS 1000";
    s.slots[kSlotSerial] = "NS0123456789";
    s.slots[kSlotStatus] = "08";
    s.slots[kSlotCharge] = "100.0";
    s.slots[kSlotLoad] = "045.0";
    s.slots[kSlotRuntime] = "0042:";
    s.slots[kSlotInputVolts] = "229.3";
    s.slots[kSlotBatteryDate] = "14/06/11";
    s.slots[kSlotBatteryCount] = "";
    s.settled = s.slots;
    return s;
}

std::vector<ServedUnit> Units()
{
    ServedUnit one{"ups1", Answering("COM1"), false};
    ServedUnit odd{kOddName, Answering("COM2"), false};
    ServedUnit silent{"silent", Answering("COM3"), false};
    silent.snapshot.up = false;
    ServedUnit gone{"gone", UnitSnapshot{}, false};
    gone.snapshot.port = "COM4";
    ServedUnit decided{"decided", Answering("COM5"), true};
    decided.snapshot.slots[kSlotStatus] = "50";  // on battery, battery low
    decided.snapshot.settled[kSlotStatus] = "50";
    ServedUnit shifted{"shifted", Answering("COM6"), false};
    shifted.snapshot.settled[kSlotInputVolts].clear();  // read after an unanswered exchange
    ServedUnit offDecided = decided;
    offDecided.name = "decided-silent";
    offDecided.snapshot.up = false;
    return {one, odd, silent, gone, decided, shifted, offDecided};
}

struct Step {
    std::string line;
    std::vector<std::string> answer;
};

struct Case {
    const char* name;
    bool anonymousReads;
    std::vector<Step> steps;
};

struct Fixture {
    Attachments attachments;
    int passwordChecks = 0;
    std::vector<std::string> hashesChecked;
    SessionContext context;

    Fixture()
    {
        context.units = Units;
        context.users = {{"follower", "hash-of-secret"}};
        context.decoyHash = "decoy-hash";
        context.passwordMatches = [this](const std::string& hash, const std::string& password) {
            ++passwordChecks;
            hashesChecked.push_back(hash);
            return hash == "hash-of-secret" && password == "secret";
        };
        context.attachments = &attachments;
        context.tlsAvailable = true;
        context.version = "Tornavel monitor test";
    }
};

class SessionTable : public testing::TestWithParam<Case> {};

TEST_P(SessionTable, AnswersEachLine)
{
    Fixture fixture;
    Session session(fixture.context, 7, "192.0.2.10", GetParam().anonymousReads);
    for (const Step& step : GetParam().steps) EXPECT_EQ(session.Answer(step.line).lines, step.answer) << step.line;
}

const std::vector<std::string> kLogin = {"OK"};

std::vector<Step> LoggedIn(std::vector<Step> then)
{
    std::vector<Step> steps = {{"USERNAME follower", {"OK"}}, {"PASSWORD secret", {"OK"}}};
    steps.insert(steps.end(), then.begin(), then.end());
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SessionTable,
    testing::Values(
        Case{"Versions",
             false,
             {{"VER", {"Tornavel monitor test"}},
              {"PROTVER", {"1.3"}},
              {"netver", {"1.3"}},
              {"VER extra", {"ERR INVALID-ARGUMENT"}}}},
        Case{"Help",
             false,
             {{"HELP",
               {"Commands: HELP VER PROTVER NETVER STARTTLS USERNAME PASSWORD ATTACH LOGIN "
                "DETACH LOGOUT GET LIST"}}}},
        Case{"UnknownAndGarbled",
             true,
             {{"FROB ups1", {"ERR UNKNOWN-COMMAND"}},
              {"", {"ERR UNKNOWN-COMMAND"}},
              {"GET VAR \"ups1", {"ERR INVALID-ARGUMENT"}},
              {"GET", {"ERR INVALID-ARGUMENT"}},
              {"GET FOO ups1", {"ERR INVALID-ARGUMENT"}},
              {"GET VAR ups1", {"ERR INVALID-ARGUMENT"}},
              {"LIST", {"ERR INVALID-ARGUMENT"}},
              {"LIST UPS extra", {"ERR INVALID-ARGUMENT"}}}},
        Case{"AnonymousReadsRefusedFromOtherAddresses",
             false,
             {{"LIST UPS", {"ERR ACCESS-DENIED"}},
              {"GET VAR ups1 ups.status", {"ERR ACCESS-DENIED"}},
              {"GET VAR nosuch ups.status", {"ERR ACCESS-DENIED"}},
              {"LIST CLIENT ups1", {"ERR ACCESS-DENIED"}}}},
        Case{"ReadsAfterALogin", false, LoggedIn({{"GET VAR ups1 ups.status", {"VAR ups1 ups.status \"OL\""}}})},
        Case{"WrongPasswordReadsNothing",
             false,
             {{"USERNAME follower", {"OK"}},
              {"PASSWORD guess", {"OK"}},
              {"GET VAR ups1 ups.status", {"ERR ACCESS-DENIED"}},
              {"ATTACH ups1", {"ERR ACCESS-DENIED"}}}},
        Case{"UnknownUserReadsNothing",
             false,
             {{"USERNAME nobody", {"OK"}}, {"PASSWORD secret", {"OK"}}, {"LIST UPS", {"ERR ACCESS-DENIED"}}}},
        Case{"ListUps",
             true,
             {{"LIST UPS",
               {"BEGIN LIST UPS", "UPS ups1 \"Smart-UPS 1000, serial NS0123456789\"",
                "UPS " + kOddWord + " \"Smart-UPS 1000, serial NS0123456789\"",
                "UPS silent \"Smart-UPS 1000, serial NS0123456789\"", "UPS gone \"unit on COM4, not identified yet\"",
                "UPS decided \"Smart-UPS 1000, serial NS0123456789\"",
                "UPS shifted \"Smart-UPS 1000, serial NS0123456789\"",
                "UPS decided-silent \"Smart-UPS 1000, serial NS0123456789\"", "END LIST UPS"}}}},
        Case{"GetVar",
             true,
             {{"GET VAR ups1 ups.status", {"VAR ups1 ups.status \"OL\""}},
              {"get var UPS1 Battery.Charge", {"VAR UPS1 Battery.Charge \"100\""}},
              {"GET VAR ups1 ups.load", {"VAR ups1 ups.load \"45\""}},
              {"GET VAR ups1 battery.runtime", {"VAR ups1 battery.runtime \"2520\""}},
              {"GET VAR ups1 battery.date", {"VAR ups1 battery.date \"2011-06-14\""}},
              {"GET VAR ups1 ups.model", {"VAR ups1 ups.model \"Smart-UPS 1000\""}},
              {"GET VAR ups1 device.type", {"VAR ups1 device.type \"ups\""}},
              {"GET VAR ups1 battery.packs", {"ERR VAR-NOT-SUPPORTED"}},
              {"GET VAR ups1 no.such", {"ERR VAR-NOT-SUPPORTED"}},
              {"GET VAR nosuch ups.status", {"ERR UNKNOWN-UPS"}}}},
        Case{"QuotedUnitName",
             true,
             {{"GET VAR " + kOddWord + " ups.status", {"VAR " + kOddWord + " ups.status \"OL\""}},
              {"GET UPSDESC " + kOddWord, {"UPSDESC " + kOddWord + " \"Smart-UPS 1000, serial NS0123456789\""}},
              {"GET VAR \"Ann's\" ups.status", {"ERR UNKNOWN-UPS"}}}},
        Case{"SilentAndVanishedUnits",
             true,
             {{"GET VAR silent ups.status", {"ERR DATA-STALE"}},
              {"GET VAR silent ups.model", {"ERR DATA-STALE"}},
              {"LIST VAR silent", {"ERR DATA-STALE"}},
              {"GET VAR gone ups.status", {"ERR DRIVER-NOT-CONNECTED"}},
              {"LIST VAR gone", {"ERR DRIVER-NOT-CONNECTED"}},
              {"GET UPSDESC silent", {"UPSDESC silent \"Smart-UPS 1000, serial NS0123456789\""}}}},
        Case{"UnsettledValueIsStale",
             true,
             {{"GET VAR shifted input.voltage", {"ERR DATA-STALE"}},
              {"GET VAR shifted ups.status", {"VAR shifted ups.status \"OL\""}}}},
        Case{"ForcedShutdown",
             true,
             {{"GET VAR decided ups.status", {"VAR decided ups.status \"FSD OB LB\""}},
              {"GET VAR decided-silent ups.status", {"VAR decided-silent ups.status \"FSD\""}},
              {"GET VAR decided-silent battery.charge", {"ERR DATA-STALE"}},
              {"LIST VAR decided-silent",
               {"BEGIN LIST VAR decided-silent", "VAR decided-silent ups.status \"FSD\"",
                "END LIST VAR decided-silent"}}}},
        Case{"ListVar",
             true,
             {{"LIST VAR ups1",
               {"BEGIN LIST VAR ups1", "VAR ups1 battery.charge \"100\"", "VAR ups1 battery.date \"2011-06-14\"",
                "VAR ups1 battery.runtime \"2520\"", "VAR ups1 device.model \"Smart-UPS 1000\"",
                "VAR ups1 device.serial \"NS0123456789\"", "VAR ups1 device.type \"ups\"",
                "VAR ups1 input.voltage \"229.3\"", "VAR ups1 ups.load \"45\"", "VAR ups1 ups.model \"Smart-UPS 1000\"",
                "VAR ups1 ups.serial \"NS0123456789\"", "VAR ups1 ups.status \"OL\"", "END LIST VAR ups1"}},
              {"LIST VAR nosuch", {"ERR UNKNOWN-UPS"}}}},
        Case{"TypesAndDescriptions",
             true,
             {{"GET TYPE ups1 battery.charge", {"TYPE ups1 battery.charge NUMBER"}},
              {"GET TYPE ups1 ups.status", {"TYPE ups1 ups.status STRING:64"}},
              {"GET DESC ups1 ups.load", {"DESC ups1 ups.load \"Load on UPS (percent of full)\""}},
              {"GET DESC ups1 no.such", {"ERR VAR-NOT-SUPPORTED"}},
              {"GET CMDDESC ups1 beeper.on", {"ERR CMD-NOT-SUPPORTED"}}}},
        Case{"NothingIsWritableOrCommanded",
             true,
             {{"LIST RW ups1", {"BEGIN LIST RW ups1", "END LIST RW ups1"}},
              {"LIST CMD ups1", {"BEGIN LIST CMD ups1", "END LIST CMD ups1"}},
              {"LIST ENUM ups1 input.transfer.low",
               {"BEGIN LIST ENUM ups1 input.transfer.low", "END LIST ENUM ups1 input.transfer.low"}},
              {"LIST RANGE ups1 no.such", {"ERR VAR-NOT-SUPPORTED"}},
              {"SET VAR ups1 input.transfer.low 200", {"ERR READONLY"}},
              {"SET VAR ups1 no.such 1", {"ERR VAR-NOT-SUPPORTED"}},
              {"SET VAR nosuch ups.id x", {"ERR UNKNOWN-UPS"}},
              {"INSTCMD ups1 shutdown.return", {"ERR CMD-NOT-SUPPORTED"}},
              {"INSTCMD nosuch test.battery.start", {"ERR UNKNOWN-UPS"}},
              {"SET VAR ups1", {"ERR INVALID-ARGUMENT"}}}},
        Case{"NoRemotePrimaryNorForcedShutdown", false,
             LoggedIn({{"PRIMARY ups1", {"ERR ACCESS-DENIED"}},
                       {"MASTER ups1", {"ERR ACCESS-DENIED"}},
                       {"FSD ups1", {"ERR ACCESS-DENIED"}},
                       {"GET VAR ups1 ups.status", {"VAR ups1 ups.status \"OL\""}}})},
        Case{"WritesRefusedWithoutAccess",
             false,
             {{"SET VAR ups1 ups.id x", {"ERR ACCESS-DENIED"}}, {"INSTCMD ups1 beeper.on", {"ERR ACCESS-DENIED"}}}},
        Case{"Credentials",
             false,
             {{"USERNAME", {"ERR INVALID-ARGUMENT"}},
              {"USERNAME follower", {"OK"}},
              {"USERNAME other", {"ERR ALREADY-SET-USERNAME"}},
              {"PASSWORD secret", {"OK"}},
              {"PASSWORD again", {"ERR ALREADY-SET-PASSWORD"}}}},
        Case{"AttachNeedsBoth",
             false,
             {{"ATTACH ups1", {"ERR USERNAME-REQUIRED"}},
              {"USERNAME follower", {"OK"}},
              {"LOGIN ups1", {"ERR PASSWORD-REQUIRED"}}}},
        Case{"AttachOnce", false,
             LoggedIn({{"ATTACH nosuch", {"ERR UNKNOWN-UPS"}},
                       {"ATTACH ups1", {"OK"}},
                       {"ATTACH ups1", {"ERR ALREADY-ATTACHED"}},
                       {"LOGIN ups1", {"ERR ALREADY-LOGGED-IN"}},
                       {"GET NUMATTACH ups1", {"NUMATTACH ups1 1"}},
                       {"GET NUMLOGINS ups1", {"NUMLOGINS ups1 1"}},
                       {"GET NUMATTACH silent", {"NUMATTACH silent 0"}},
                       {"LIST CLIENT ups1",
                        {"BEGIN LIST CLIENT ups1", "CLIENT ups1 192.0.2.10", "END LIST CLIENT ups1"}},
                       {"LOGOUT", {"OK Goodbye"}},
                       {"GET NUMATTACH ups1", {"NUMATTACH ups1 0"}}})},
        Case{"StartTls", false, {{"STARTTLS now", {"ERR INVALID-ARGUMENT"}}, {"STARTTLS", {"OK STARTTLS"}}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Session, TlsOnlyOnceAndOnlyWhenConfigured)
{
    Fixture fixture;
    Session session(fixture.context, 1, "127.0.0.1", true);
    const Reply first = session.Answer("STARTTLS");
    EXPECT_EQ(first.then, Reply::Then::StartTls);
    session.TlsStarted();
    EXPECT_EQ(session.Answer("STARTTLS").lines, std::vector<std::string>{"ERR TLS-ALREADY-ENABLED"});

    fixture.context.tlsAvailable = false;
    Session plain(fixture.context, 2, "127.0.0.1", true);
    const Reply refused = plain.Answer("STARTTLS");
    EXPECT_EQ(refused.lines, std::vector<std::string>{"ERR FEATURE-NOT-CONFIGURED"});
    EXPECT_EQ(refused.then, Reply::Then::Continue);
}

TEST(Session, LogoutClosesAndDetaches)
{
    Fixture fixture;
    Session session(fixture.context, 3, "127.0.0.1", false);
    session.Answer("USERNAME follower");
    session.Answer("PASSWORD secret");
    ASSERT_EQ(session.Answer("ATTACH ups1").lines, kLogin);
    EXPECT_EQ(fixture.attachments.Of("ups1").size(), 1u);
    EXPECT_EQ(session.Answer("DETACH").then, Reply::Then::Close);
    EXPECT_TRUE(fixture.attachments.Of("ups1").empty());
}

TEST(Session, AConnectionThatGoesIsDetached)
{
    Fixture fixture;
    {
        Session session(fixture.context, 4, "127.0.0.1", false);
        session.Answer("USERNAME follower");
        session.Answer("PASSWORD secret");
        session.Answer("LOGIN ups1");
        EXPECT_EQ(fixture.attachments.Of("ups1").size(), 1u);
    }
    EXPECT_TRUE(fixture.attachments.Of("ups1").empty());
}

TEST(Session, ChecksAPasswordOnceNotOnEveryCommand)
{
    Fixture fixture;
    Session session(fixture.context, 5, "127.0.0.1", false);
    session.Answer("USERNAME follower");
    session.Answer("PASSWORD secret");
    for (int i = 0; i < 5; ++i) session.Answer("GET VAR ups1 ups.status");
    EXPECT_EQ(fixture.passwordChecks, 1);
}

// An unknown name costs a check as a known one does (so the time taken does
// not tell the names apart), against the decoy, and never logs in.
TEST(Session, AnUnknownNameIsCheckedAgainstTheDecoy)
{
    Fixture fixture;
    fixture.context.passwordMatches = [&fixture](const std::string& hash, const std::string&) {
        fixture.hashesChecked.push_back(hash);
        return true;  // even a check that says yes lets no stranger in
    };
    Session session(fixture.context, 6, "127.0.0.1", false);
    session.Answer("USERNAME stranger");
    session.Answer("PASSWORD secret");
    EXPECT_EQ(session.Answer("GET VAR ups1 ups.status").lines, std::vector<std::string>{"ERR ACCESS-DENIED"});
    EXPECT_EQ(fixture.hashesChecked, std::vector<std::string>{"decoy-hash"});
}

}  // namespace
