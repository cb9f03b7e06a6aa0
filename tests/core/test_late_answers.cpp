// A unit that answers one command late: its answer must never land in the
// field of another command, in the full read or in a monitoring cycle, and
// what a cycle read after an unanswered command is not taken as settled.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "monitor/pollingloop.h"
#include "protocol/connection.h"
#include "protocol/exchange.h"
#include "unit_fixture.h"

namespace tornavel {
namespace {

using testing::FakeDevice;
using testing::UnitFixture;

// The prompt unit, except that `late` is answered `delayMs` after it is sent.
FakeDevice::Responder LateOn(const Bytes& late, int delayMs)
{
    return [late, delayMs, answers = testing::UnitAnswers()](const Bytes& cmd) {
        auto replies = testing::TableResponder(answers)(cmd);
        if (cmd == late)
            for (auto& r : replies) r.delayMs = delayMs;
        return replies;
    };
}

struct LateAnswerCase {
    int delayMs;
    const char* loadSlot;  // what the late command's own slot holds
};

class FullReadWithALateAnswer : public ::testing::TestWithParam<LateAnswerCase>, public UnitFixture {};

// The window handles its events before each field's command and again as
// each field is reported, and that takes time: a late answer arrives in the
// gap, before the next command.
TEST_P(FullReadWithALateAnswer, TheLateAnswerIsDroppedAndTheNextFieldsKeepTheirOwn)
{
    device->SetResponder(LateOn("P", GetParam().delayMs));
    screen.onProcessMessages = [this] { clock.Advance(150); };
    events.onFullReadProgress = [this](int) { clock.Advance(150); };
    ReadAll(session, port);
    EXPECT_EQ(session.table.Slot(kSlotLoad), GetParam().loadSlot);
    EXPECT_EQ(session.table.Slot(kSlotStatus), "08");
    EXPECT_EQ(session.table.Slot(kSlotBatteryCount), "000");  // ">", right after "P"
    EXPECT_EQ(session.table.Slot(kSlotBatteryDate), "14/06/11");
    EXPECT_EQ(session.table.Slot(kSlotCharge), "100.0");
}

INSTANTIATE_TEST_SUITE_P(Delays, FullReadWithALateAnswer,
                         ::testing::Values(LateAnswerCase{450, "023.4"}, LateAnswerCase{550, ""},
                                           LateAnswerCase{600, ""}));

struct LateAnswerTest : ::testing::Test, UnitFixture {};

TEST_F(LateAnswerTest, AnAlertAmongLateBytesStillCountsAndIsReported)
{
    // The late answer and an alert are waiting when the field's command goes
    // out: the alert is reported, the late line is dropped.
    device->Arrive(0, "023.4\r\n!");
    AnswerOrder order;
    order.Unanswered();  // the late line's own exchange
    const FieldAnswer field = AskField(port, session.hCom, "f", session.alerts, order);
    EXPECT_EQ(field.line, "100.0");
    EXPECT_TRUE(field.settled);  // the late line was dropped before "f" went out
    EXPECT_EQ(events.Lines(), std::vector<std::string>{"alert !"});
}

TEST_F(LateAnswerTest, AnAlertBetweenTwoFieldsOfTheFullReadIsReported)
{
    events.onFullReadProgress = [&](int slot) {
        if (slot == 9) device->Arrive(clock.NowMs(), "$");  // before the tenth field's command
    };
    ReadAll(session, port);
    const auto lines = events.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "alert $"), 1);
    EXPECT_EQ(session.table.Slot(kSlotCharge), "100.0");
}

TEST_F(LateAnswerTest, FieldsReadAfterAnUnansweredCommandAreNotSettled)
{
    PollingLoop loop{session, port};
    device->SetResponder(LateOn("P", 600));
    loop.Pass();  // rotating "B", then Q, P (late), f, L, O
    EXPECT_TRUE(loop.Settled(kSlotBatteryVolts));
    EXPECT_TRUE(loop.Settled(kSlotStatus));
    EXPECT_FALSE(loop.Settled(kSlotLoad));
    for (int slot : {kSlotCharge, kSlotInputVolts, kSlotOutputVolts})
        EXPECT_FALSE(loop.Settled(slot)) << "slot " << slot;

    device->SetResponder(testing::TableResponder(testing::UnitAnswers()));
    loop.Pass();
    for (int slot : {kSlotStatus, kSlotLoad, kSlotCharge, kSlotInputVolts, kSlotOutputVolts})
        EXPECT_TRUE(loop.Settled(slot)) << "slot " << slot;
    EXPECT_FALSE(loop.Settled(kSlotBatteryVolts));  // not read in this cycle
    // What the cycle reports to its listeners.
    for (int slot = 0; slot <= kSlotCount; ++slot)
        EXPECT_EQ(events.LastCycle().settled[slot], loop.Settled(slot)) << "slot " << slot;
}

TEST_F(LateAnswerTest, AnUnansweredTestCommandUnsettlesTheWholeCycle)
{
    PollingLoop loop{session, port};
    device->SetResponder(LateOn("A", 600));
    session.requests.pendingCmd.Set("A");
    session.requests.cmdPending = true;
    loop.Pass();
    for (int slot : {kSlotBatteryVolts, kSlotStatus, kSlotCharge}) EXPECT_FALSE(loop.Settled(slot)) << "slot " << slot;
}

// The unit acknowledges a test with "OK", which the alert filter takes away:
// the exchange was answered all the same, and the cycle's values are its own.
TEST_F(LateAnswerTest, AnAcknowledgedTestLeavesTheCycleSettled)
{
    PollingLoop loop{session, port};
    session.requests.pendingCmd.Set("A");
    session.requests.cmdPending = true;
    loop.Pass();
    for (int slot : {kSlotBatteryVolts, kSlotStatus, kSlotLoad, kSlotCharge, kSlotInputVolts, kSlotOutputVolts})
        EXPECT_TRUE(loop.Settled(slot)) << "slot " << slot;
}

// The read after the full read ends with the last self-test's result, whose
// "OK" or "NO" the alert filter takes for an acknowledgement: that is its
// answer all the same, so nothing is owed and the first monitoring cycle
// after it keeps its values.
class PowerReturnReadThen : public ::testing::TestWithParam<const char*>, public UnitFixture {};

TEST_P(PowerReturnReadThen, TheFirstCycleIsSettled)
{
    auto answers = testing::UnitAnswers();
    for (const auto& [command, answer] :
         std::map<Bytes, Bytes>{{"p", "020"}, {"e", "00"}, {"r", "000"}, {"q", "02"}, {"G", "O"}, {"X", GetParam()}})
        answers[command] = answer + "\r\n";
    std::vector<Bytes> sent;
    device->SetResponder([&, respond = testing::TableResponder(answers)](const Bytes& command) {
        sent.push_back(command);
        return respond(command);
    });
    ReadAll(session, port);
    sent.clear();
    ReadPowerReturn(session, port);
    EXPECT_EQ(sent, (std::vector<Bytes>{"p", "e", "r", "q", "G", "X"}));
    EXPECT_EQ(session.table.Slot(kSlotSelfTestResult), GetParam());
    EXPECT_EQ(session.table.Slot(kSlotTransferCause), "O");

    PollingLoop loop{session, port};
    loop.Pass();
    for (int slot : {kSlotBatteryVolts, kSlotStatus, kSlotLoad, kSlotCharge, kSlotInputVolts, kSlotOutputVolts})
        EXPECT_TRUE(loop.Settled(slot)) << "slot " << slot;
    EXPECT_EQ(session.table.Slot(kSlotBatteryVolts), "27.45");
}

INSTANTIATE_TEST_SUITE_P(SelfTestResults, PowerReturnReadThen, ::testing::Values("OK", "NO", "BT", "NG"));

// Units whose answers come late in different patterns. Whatever the pattern,
// no slot of the record and no field of the window ever holds another
// command's answer: a value is either its own command's or left empty.
struct LatePattern {
    const char* name;
    std::function<int(const Bytes& command, std::mt19937& random)> delayMs;
};

void PrintTo(const LatePattern& pattern, std::ostream* out)
{
    *out << pattern.name;
}

class SlowUnit : public ::testing::TestWithParam<LatePattern>, public UnitFixture {
protected:
    void SetUp() override
    {
        device->SetResponder([this, answers = testing::UnitAnswers()](const Bytes& cmd) {
            auto replies = testing::TableResponder(answers)(cmd);
            for (auto& r : replies) r.delayMs = GetParam().delayMs(cmd, random);
            return replies;
        });
    }

    // Every slot with a command holds its own answer or nothing; so does
    // every value a monitoring read reports for the window's fields. Returns how many slots hold a value.
    int ExpectEveryValueItsOwn(const std::string& when)
    {
        const auto answers = testing::UnitAnswers();
        int held = 0;
        for (int slot = 1; slot <= kReadSlotCount; ++slot) {
            const Bytes value = session.table.Slot(slot);
            if (value.empty()) continue;
            ++held;
            EXPECT_EQ(value + "\r\n", answers.at(SlotCommand(slot))) << when << ", slot " << slot;
        }
        // What each monitoring read reports for the window's fields.
        for (const int slot :
             {kSlotInputVolts, kSlotOutputVolts, kSlotBatteryVolts, kSlotTemperature, kSlotRuntime, kSlotOutputSetting,
              kSlotMinLine, kSlotMaxLine, kSlotFrequency, kSlotLineQuality, kSlotStatus}) {
            const Bytes reported = events.Value(slot).value_or(Bytes());
            EXPECT_TRUE(reported.empty() || reported + "\r\n" == answers.at(SlotCommand(slot)))
                << when << ", slot " << slot << " " << reported;
        }
        return held;
    }

    std::mt19937 random{7};
};

TEST_P(SlowUnit, NoSlotOrFieldEverHoldsAnotherCommandsAnswer)
{
    ReadAll(session, port);  // headless: no pause between the fields
    ExpectEveryValueItsOwn("after the full read");
    PollingLoop loop{session, port};
    for (int cycle = 1; cycle <= 2 * PollingLoop::kRotationLength; ++cycle) {
        loop.Pass();
        ExpectEveryValueItsOwn("after cycle " + std::to_string(cycle));
        // The unit answers, late or not: that is not a silent unit.
        EXPECT_TRUE(loop.Answered(kSlotStatus) || loop.Answered(kSlotLoad)) << "cycle " << cycle;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, SlowUnit,
                         ::testing::Values(LatePattern{"Every600ms", [](const Bytes&, std::mt19937&) { return 600; }},
                                           LatePattern{"OneCommandInThreeLate",
                                                       [](const Bytes&, std::mt19937& random) {
                                                           return random() % 3 == 0 ? 650 : 40;
                                                       }},
                                           LatePattern{"AnyDelayUpTo900ms",
                                                       [](const Bytes&, std::mt19937& random) {
                                                           return std::uniform_int_distribution<int>(0, 900)(random);
                                                       }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LateAnswerTest, AnswersAfterAnUnansweredCommandAreWithheldFromTheRecord)
{
    // A late "P" in a cycle whose exchanges leave no gap for it: "f" takes
    // its answer along with its own, and the record keeps neither.
    PollingLoop loop{session, port};
    device->SetResponder(LateOn("P", 600));
    loop.Pass();
    EXPECT_EQ(session.table.Slot(kSlotLoad), "");
    EXPECT_EQ(session.table.Slot(kSlotCharge), "");  // held "023.4"
    EXPECT_FALSE(session.table.Record(0).settled[kSlotCharge]);
    EXPECT_EQ(session.table.Slot(kSlotStatus), "08");
    EXPECT_TRUE(session.table.Record(0).settled[kSlotStatus]);
}

}  // namespace
}  // namespace tornavel
