// The change writer on a fake unit and a virtual clock: the exact bytes and
// times on the line, the progress shown, and the retries of a failed attempt.
#include <gtest/gtest.h>

#include <cstdio>

#include "monitor/numbers.h"
#include "protocol/devicetable.h"
#include "settings/changestore.h"
#include "settings/changewriter.h"
#include "settings_fixture.h"

namespace tornavel {
namespace {

using testing::LineLog;
using testing::SettingsSession;

constexpr int kChangeDone = static_cast<int>(WindowMessage::ChangeDone);
const std::string kPostChangeDone = "post " + std::to_string(kChangeDone);
const std::string kPostGaugeStep = "post " + std::to_string(static_cast<int>(WindowMessage::GaugeStep));

struct ChangeWriterTest : ::testing::Test, SettingsSession {
    ChangeWriter writer{session, port};

    void Request(const Bytes& command, const Bytes& value) { session.requests.PostChange(command, value); }
    // A register-0 change from the given stored answer on a unit at `unit`.
    void RequestRegister0(const Bytes& stored, int unit, const Bytes& target)
    {
        session.table.SetSlot(kSlotRegister0, stored);
        ups.register0 = unit;
        Request("0", target);
    }
    std::vector<std::string> Log() const { return LineLog(device->Events()); }
    // Line log from the given entry on (one attempt of several).
    std::vector<std::string> LogFrom(std::size_t first) const
    {
        const auto log = Log();
        return {log.begin() + static_cast<long>(std::min(first, log.size())), log.end()};
    }
    int Count(const std::string& call) const
    {
        const auto calls = screen.Calls(call);
        return static_cast<int>(calls.size());
    }
};

// n register steps starting at `at`: "0", 100 ms, direction, 100 ms, purge.
// Returns the time after the last purge.
std::int64_t AppendSteps(std::vector<std::string>& log, std::int64_t at, char direction, int n)
{
    for (int i = 0; i < n; ++i, at += 200) {
        log.push_back(std::to_string(at) + " write 0");
        log.push_back(std::to_string(at + 100) + " write " + direction);
        log.push_back(std::to_string(at + 200) + " purge");
    }
    return at;
}

// ---------------------------------------------------------------------------
// Whole sequences of the stepped and text kinds.

struct SequenceCase {
    const char* name;
    Bytes command;
    Bytes value;
    std::map<Bytes, Bytes> answers;
    std::vector<std::string> log;
    Bytes readBack;
    std::string drainedMessage;  // the last alert or acknowledgement reported, "" if none
};

struct SequenceTest : ChangeWriterTest, ::testing::WithParamInterface<SequenceCase> {};

TEST_P(SequenceTest, LineCarriesTheSequenceWithItsWaits)
{
    const auto& c = GetParam();
    ups.answers = c.answers;
    Request(c.command, c.value);

    writer.WriteChange();

    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(session.requests.changeAnswer.Get(), c.readBack);
    EXPECT_EQ(LastAlert(), c.drainedMessage);
    EXPECT_TRUE(session.requests.changeDone.load());
    EXPECT_EQ(screen.Calls("post 1033").size(), 1u);
}

const Bytes kZeros5(5, '\0');

INSTANTIATE_TEST_SUITE_P(
    Kinds, SequenceTest,
    ::testing::Values(
        // cmd, 200 ms, step, 200 ms, drain, cmd: the step's answer is not examined.
        SequenceCase{"SteppedUp",
                     "k",
                     "+",
                     {{"k", "180"}, {"+", "OK"}},
                     {"0 write k", "400 write +", "800 write k"},
                     "180\r\n",
                     ""},
        SequenceCase{"SteppedDown",
                     "E",
                     "-",
                     {{"E", "336"}, {"-", "OK"}},
                     {"0 write E", "400 write -", "800 write E"},
                     "336\r\n",
                     ""},
        // The unit is silent after "+" (500 ms); each character has 200 ms
        // after it; its "OK" to the whole text waits for the drain.
        SequenceCase{"NameOfThreeCharactersIsFilledWithZeroBytes",
                     "c",
                     "abc" + kZeros5,
                     {{"c", "abc"}},
                     {"0 write c", "400 write +", "1100 write a", "1300 write b", "1500 write c", "1700 write <00>",
                      "1900 write <00>", "2100 write <00>", "2300 write <00>", "2500 write <00>", "2700 write c"},
                     "abc\r\n",
                     "OK"},
        SequenceCase{"BatteryDate",
                     "x",
                     "12/05/03",
                     {{"x", "12/05/03"}},
                     {"0 write x", "400 write +", "1100 write 1", "1300 write 2", "1500 write /", "1700 write 0",
                      "1900 write 5", "2100 write /", "2300 write 0", "2500 write 3", "2700 write x"},
                     "12/05/03\r\n",
                     "OK"},
        // Programming mode around the text; the "OK" arrives inside the
        // answer to "R" and goes with it.
        SequenceCase{"ManufactureDateInProgrammingMode",
                     "m",
                     "12/05/03",
                     {{"m", "12/05/03"}},
                     {"0 write 1", "2000 write 1", "2200 write m", "2600 write +", "3300 write 1", "3500 write 2",
                      "3700 write /", "3900 write 0", "4100 write 5", "4300 write /", "4500 write 0", "4700 write 3",
                      "4900 write R", "5300 write Y", "5500 write m"},
                     "12/05/03\r\n",
                     ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Register 0, stepped by count from the stored value (a valid one, from a
// first attempt).

struct RegisterCase {
    const char* name;
    Bytes stored;  // slot 27 as read at connection
    int unit;      // the unit's real register
    Bytes target;  // as typed
    char direction;
    int steps;
};

struct RegisterTest : ChangeWriterTest, ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterTest, StepsTheDifferenceInsideProgrammingMode)
{
    const auto& c = GetParam();
    RequestRegister0(c.stored, c.unit, c.target);
    writer.WriteChange();

    std::vector<std::string> log = {"0 write 1", "2000 write 1"};
    const auto t = AppendSteps(log, 2200, c.direction, c.steps);
    log.push_back(std::to_string(t) + " write R");
    log.push_back(std::to_string(t + 400) + " write Y");
    log.push_back(std::to_string(t + 600) + " write 0");
    EXPECT_EQ(Log(), log);
    EXPECT_EQ(ups.register0, HexByteValue(c.target));

    // The gauge counts the steps, not the characters of the value.
    std::vector<std::string> maxima = {"max GaugeX=2"};
    if (c.steps > 0) maxima.push_back("max GaugeX=" + std::to_string(c.steps));
    EXPECT_EQ(screen.Calls("max GaugeX"), maxima);
    EXPECT_EQ(Count(kPostGaugeStep), c.steps);
    EXPECT_EQ(Count("show GaugeX"), 1);
    EXPECT_EQ(Count(kPostChangeDone), 1);
}

INSTANTIATE_TEST_SUITE_P(Values, RegisterTest,
                         ::testing::Values(RegisterCase{"UpFromA0ToB0", "A0", 0xA0, "B0", '+', 16},
                                           RegisterCase{"DownFromB0ToA0InLowerCase", "B0", 0xB0, "a0", '-', 16},
                                           RegisterCase{"SameValueSendsNoStep", "A0", 0xA0, "a0", '+', 0},
                                           RegisterCase{"WholeRange", "00", 0x00, "FF", '+', 255}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Register 0 from a stored answer that is no register value: the unit is
// asked first, outside programming mode, and the steps start from its answer.
// A unit that will not say ends the request unwritten with an empty read-back.

enum class ReadAnswer { Value, Silent, Refused };

struct RegisterReadCase {
    const char* name;
    Bytes stored;     // slot 27 before the change
    int unit;         // the unit's real register
    ReadAnswer read;  // what the unit answers to an ordinary "0"
    Bytes target;
    std::vector<std::string> log;
    int unitAfter;
    Bytes storedAfter;  // slot 27 when the writer is done (before the completion)
    Bytes readBack;
};

struct RegisterReadTest : ChangeWriterTest, ::testing::WithParamInterface<RegisterReadCase> {};

TEST_P(RegisterReadTest, StepsOnlyFromAValueTheUnitGave)
{
    const auto& c = GetParam();
    ups.answersRegister = c.read == ReadAnswer::Value;
    if (c.read == ReadAnswer::Refused) ups.answers = {{"0", "NA"}};
    RequestRegister0(c.stored, c.unit, c.target);
    writer.WriteChange();

    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(ups.register0, c.unitAfter);
    EXPECT_FALSE(ups.programming);
    EXPECT_EQ(session.table.Slot(kSlotRegister0), c.storedAfter);
    EXPECT_EQ(session.requests.changeAnswer.Get(), c.readBack);
    EXPECT_EQ(Count(kPostChangeDone), 1);
    EXPECT_FALSE(ChangeWaiting(session.requests));
    EXPECT_EQ(events.busyShown, 1);
    EXPECT_EQ(events.busyHidden, 1);
    EXPECT_FALSE(screen.Visible("GaugeX"));

    writer.WriteChange();  // the next cycle: the request is over, whatever the unit said
    EXPECT_EQ(Log(), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    StoredAnswers, RegisterReadTest,
    ::testing::Values(
        RegisterReadCase{"ValidStoredValueIsSteppedAsItIs",
                         "A0",
                         0xA0,
                         ReadAnswer::Value,
                         "A2",
                         {"0 write 1", "2000 write 1", "2200 write 0", "2300 write +", "2400 purge", "2400 write 0",
                          "2500 write +", "2600 purge", "2600 write R", "3000 write Y", "3200 write 0"},
                         0xA2,
                         "A0",
                         "A2\r\n"},
        RegisterReadCase{"OneDigitStoredValueIsValid",
                         "5",
                         0x05,
                         ReadAnswer::Value,
                         "04",
                         {"0 write 1", "2000 write 1", "2200 write 0", "2300 write -", "2400 purge", "2400 write R",
                          "2800 write Y", "3000 write 0"},
                         0x04,
                         "5",
                         "04\r\n"},
        RegisterReadCase{"EmptyStoredValueIsReadFirst",
                         "",
                         0xA1,
                         ReadAnswer::Value,
                         "A2",
                         {"0 write 0", "200 write 1", "2200 write 1", "2400 write 0", "2500 write +", "2600 purge",
                          "2600 write R", "3000 write Y", "3200 write 0"},
                         0xA2,
                         "A1",
                         "A2\r\n"},
        RegisterReadCase{"RefusalStoredIsReadFirst",
                         "NA",
                         0xA4,
                         ReadAnswer::Value,
                         "A2",
                         {"0 write 0", "200 write 1", "2200 write 1", "2400 write 0", "2500 write -", "2600 purge",
                          "2600 write 0", "2700 write -", "2800 purge", "2800 write R", "3200 write Y", "3400 write 0"},
                         0xA2,
                         "A4",
                         "A2\r\n"},
        RegisterReadCase{"ThreeDigitsStoredAreReadFirst",
                         "0A0",
                         0xA2,
                         ReadAnswer::Value,
                         "A2",
                         {"0 write 0", "200 write 1", "2200 write 1", "2400 write R", "2800 write Y", "3000 write 0"},
                         0xA2,
                         "A2",
                         "A2\r\n"},
        // No "1", no step, no read-back: one unanswered read (500 ms) and the
        // request ends with nothing to show.
        RegisterReadCase{
            "SilentReadEndsTheRequestUnwritten", "", 0xA0, ReadAnswer::Silent, "B0", {"0 write 0"}, 0xA0, "", ""},
        RegisterReadCase{
            "RefusedReadEndsTheRequestUnwritten", "NA", 0xA0, ReadAnswer::Refused, "B0", {"0 write 0"}, 0xA0, "NA", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// What the window sees while the writer works.

TEST_F(ChangeWriterTest, SilentReadBackGivesAnEmptyAnswer)
{
    Request("l", "-");  // the unit answers nothing at all
    writer.WriteChange();

    EXPECT_EQ(session.requests.changeAnswer.Get(), "");
    EXPECT_EQ(Count(kPostChangeDone), 1);
}

TEST_F(ChangeWriterTest, AlertInTheDrainIsReported)
{
    ups.answers = {{"o", "230"}, {"+", "OK"}};
    device->Arrive(700, "$\r\n");  // mains back, during the wait after the step
    Request("o", "+");
    writer.WriteChange();

    EXPECT_EQ(LastAlert(), "$");
    EXPECT_EQ(session.requests.changeAnswer.Get(), "230\r\n");
}

// ---------------------------------------------------------------------------
// A change runs once.

TEST_F(ChangeWriterTest, PerformedChangeIsNotRunAgainBeforeItsCompletion)
{
    ups.answers = {{"k", "180"}};
    Request("k", "+");
    bool doneAtPost = false;
    Bytes answerAtPost;
    screen.watch = [&](const std::string& call) {
        if (call != kPostChangeDone) return;
        doneAtPost = session.requests.changeDone.load();
        answerAtPost = session.requests.changeAnswer.Get();
    };
    ASSERT_TRUE(ChangeWaiting(session.requests));

    writer.WriteChange();
    const auto writes = device->Writes();
    EXPECT_TRUE(doneAtPost);
    EXPECT_EQ(answerAtPost, "180\r\n");
    EXPECT_TRUE(session.requests.eepromChange.load());  // still the window's to clear
    EXPECT_FALSE(ChangeWaiting(session.requests));

    writer.WriteChange();  // the next cycle, before the window has completed it
    EXPECT_EQ(device->Writes(), writes);
    EXPECT_EQ(Count(kPostChangeDone), 1);
}

TEST_F(ChangeWriterTest, NothingIsWrittenWithoutARequest)
{
    writer.WriteChange();
    EXPECT_TRUE(device->Events().empty());
    EXPECT_TRUE(screen.Calls().empty());
}

// ---------------------------------------------------------------------------
// Failed checks: the request stays pending and the next cycle tries again.

struct ProgrammingModeCase {
    Bytes command;
    Bytes value;
};

struct ProgrammingModeTest : ChangeWriterTest, ::testing::WithParamInterface<ProgrammingModeCase> {};

TEST_P(ProgrammingModeTest, MissingProgWritesNothingAfterTheOnesAndRetries)
{
    const Bytes& command = GetParam().command;
    session.table.SetSlot(kSlotRegister0, "A0");
    ups.answersProg = false;
    Request(command, GetParam().value);

    writer.WriteChange();
    EXPECT_EQ(Log(), (std::vector<std::string>{"0 write 1", "2000 write 1"}));
    EXPECT_TRUE(ChangeWaiting(session.requests));
    EXPECT_EQ(Count(kPostChangeDone), 0);
    EXPECT_EQ(events.busyHidden, events.busyShown);  // not left busy
    EXPECT_FALSE(screen.Visible("GaugeX"));

    ups.answersProg = true;
    writer.WriteChange();
    const auto retry = LogFrom(2);
    ASSERT_GE(retry.size(), 3u);
    // Nothing was stepped, so the stored value still holds: no read first.
    EXPECT_EQ(retry[0], "2500 write 1");
    EXPECT_EQ(retry[1], "4500 write 1");
    EXPECT_EQ(retry.back().substr(retry.back().find(' ')), " write " + command);
    EXPECT_FALSE(ChangeWaiting(session.requests));
    EXPECT_EQ(Count(kPostChangeDone), 1);
    EXPECT_EQ(events.busyShown, 2);  // busy at every attempt
    EXPECT_EQ(events.busyHidden, 2);
}

INSTANTIATE_TEST_SUITE_P(Commands, ProgrammingModeTest,
                         ::testing::Values(ProgrammingModeCase{"m", "12/05/03"},
                                           ProgrammingModeCase{"n", "SN1" + Bytes(11, '\0')},
                                           ProgrammingModeCase{"0", "B0"}));

struct UnconfirmedStepsCase {
    const char* name;
    int acceptedFirst;  // steps the unit took before the "SM" check failed
};

struct UnconfirmedStepsTest : ChangeWriterTest, ::testing::WithParamInterface<UnconfirmedStepsCase> {};

TEST_P(UnconfirmedStepsTest, RetryReadsTheRegisterBeforeProgrammingModeAndStepsFromIt)
{
    ups.answersSm = false;
    ups.stepsAccepted = GetParam().acceptedFirst;
    RequestRegister0("A0", 0xA0, "B0");

    writer.WriteChange();
    // The first attempt's line traffic is the ordinary one.
    std::vector<std::string> first = {"0 write 1", "2000 write 1"};
    const auto t = AppendSteps(first, 2200, '+', 16);
    first.push_back(std::to_string(t) + " write R");
    first.push_back(std::to_string(t + 400) + " write Y");
    EXPECT_EQ(Log(), first);
    EXPECT_TRUE(ChangeWaiting(session.requests));
    EXPECT_EQ(Count(kPostChangeDone), 0);

    ups.answersSm = true;
    ups.stepsAccepted = INT_MAX;
    const auto start = clock.NowMs();
    writer.WriteChange();

    const int remaining = 16 - GetParam().acceptedFirst;
    std::vector<std::string> retry = {std::to_string(start) + " write 0", std::to_string(start + 200) + " write 1",
                                      std::to_string(start + 2200) + " write 1"};
    const auto u = AppendSteps(retry, start + 2400, '+', remaining);
    retry.push_back(std::to_string(u) + " write R");
    retry.push_back(std::to_string(u + 400) + " write Y");
    retry.push_back(std::to_string(u + 600) + " write 0");
    EXPECT_EQ(LogFrom(first.size()), retry);
    EXPECT_EQ(ups.register0, 0xB0);  // reached, not overshot
    char read[3];
    std::snprintf(read, sizeof read, "%02X", 0xA0 + GetParam().acceptedFirst);
    EXPECT_EQ(session.table.Slot(kSlotRegister0), read);  // what the unit said before the retry
    EXPECT_EQ(session.requests.changeAnswer.Get(), "B0\r\n");
    EXPECT_FALSE(ChangeWaiting(session.requests));
}

INSTANTIATE_TEST_SUITE_P(Attempts, UnconfirmedStepsTest,
                         ::testing::Values(UnconfirmedStepsCase{"NoneTaken", 0}, UnconfirmedStepsCase{"PartTaken", 10},
                                           UnconfirmedStepsCase{"AllTaken", 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// The retry's read gets no answer: from a unit that will not read the
// register, or from one still in programming mode because "R" never reached
// it (a cable pulled mid-change), where "0" only selects the register.
struct UnansweredRetryCase {
    const char* name;
    bool answersRegister;
    bool leavesOnR;
};

struct UnansweredRetryTest : ChangeWriterTest, ::testing::WithParamInterface<UnansweredRetryCase> {};

TEST_P(UnansweredRetryTest, EndsTheRequestWithoutStepping)
{
    ups.answersSm = false;
    ups.leavesOnR = GetParam().leavesOnR;
    ups.stepsAccepted = 5;
    RequestRegister0("A0", 0xA0, "B0");
    writer.WriteChange();
    ASSERT_TRUE(ChangeWaiting(session.requests));

    ups.answersSm = true;
    ups.stepsAccepted = INT_MAX;
    ups.answersRegister = GetParam().answersRegister;
    const auto before = Log().size();
    const auto start = clock.NowMs();
    writer.WriteChange();
    writer.WriteChange();  // and no retry in the cycle after

    EXPECT_EQ(LogFrom(before), std::vector<std::string>{std::to_string(start) + " write 0"});
    EXPECT_EQ(ups.register0, 0xA5);
    EXPECT_EQ(session.requests.changeAnswer.Get(), "");
    EXPECT_EQ(Count(kPostChangeDone), 1);
    EXPECT_FALSE(ChangeWaiting(session.requests));
}

INSTANTIATE_TEST_SUITE_P(Units, UnansweredRetryTest,
                         ::testing::Values(UnansweredRetryCase{"SilentToTheRead", false, true},
                                           UnansweredRetryCase{"LeftInProgrammingMode", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChangeWriterTest, OperatorCanTryAgainAfterAnUnansweredRead)
{
    ups.answersRegister = false;
    Request("0", "B0");  // nothing stored: the read comes first and gets nothing
    writer.WriteChange();
    std::vector<Bytes> shown;
    CompleteChange(session, [&](const Bytes&, const Bytes& readBack) { shown.push_back(readBack); });
    EXPECT_EQ(shown, std::vector<Bytes>{""});  // the empty read-back is what is shown

    ups.answersRegister = true;
    ups.register0 = 0xAE;
    Request("0", "B0");
    const auto before = Log().size();
    const auto start = clock.NowMs();
    writer.WriteChange();

    std::vector<std::string> log = {std::to_string(start) + " write 0", std::to_string(start + 200) + " write 1",
                                    std::to_string(start + 2200) + " write 1"};
    const auto t = AppendSteps(log, start + 2400, '+', 2);
    log.push_back(std::to_string(t) + " write R");
    log.push_back(std::to_string(t + 400) + " write Y");
    log.push_back(std::to_string(t + 600) + " write 0");
    EXPECT_EQ(LogFrom(before), log);
    EXPECT_EQ(ups.register0, 0xB0);
}

TEST_F(ChangeWriterTest, MissingSmAfterATextWritesTheSameTextAgain)
{
    ups.answersSm = false;
    Request("n", "SN1" + Bytes(11, '\0'));
    writer.WriteChange();
    const auto first = device->Writes();

    ups.answersSm = true;
    writer.WriteChange();
    const auto all = device->Writes();
    std::vector<Bytes> second(all.begin() + static_cast<long>(first.size()), all.end());
    second.pop_back();  // the read-back, which the failed attempt did not reach
    EXPECT_EQ(second, first);
    EXPECT_FALSE(ChangeWaiting(session.requests));
}

// ---------------------------------------------------------------------------
// Command sets.

struct CommandSetCase {
    Bytes command;
    bool stepped;
    bool programming;
};

struct CommandSetTest : ::testing::TestWithParam<CommandSetCase> {};

TEST_P(CommandSetTest, ExactWholeTextMatch)
{
    EXPECT_EQ(IsSteppedCommand(GetParam().command), GetParam().stepped);
    EXPECT_EQ(IsProgrammingModeCommand(GetParam().command), GetParam().programming);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandSetTest,
                         ::testing::Values(CommandSetCase{"k", true, false}, CommandSetCase{"E", true, false},
                                           CommandSetCase{"s", true, false}, CommandSetCase{"o", true, false},
                                           CommandSetCase{"l", true, false}, CommandSetCase{"u", true, false},
                                           CommandSetCase{"p", true, false}, CommandSetCase{"e", true, false},
                                           CommandSetCase{"r", true, false}, CommandSetCase{"q", true, false},
                                           CommandSetCase{"m", false, true}, CommandSetCase{"n", false, true},
                                           CommandSetCase{"0", false, true}, CommandSetCase{"X", false, false},
                                           CommandSetCase{"G", false, false}, CommandSetCase{"K", false, false},
                                           CommandSetCase{"kk", false, false}, CommandSetCase{"c", false, false},
                                           CommandSetCase{"x", false, false}, CommandSetCase{"", false, false}));

}  // namespace
}  // namespace tornavel
