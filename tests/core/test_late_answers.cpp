// A unit that answers one command late: its answer must never land in the
// field of another command, in the full read or in a monitoring cycle, and
// what a cycle read after an unanswered command is not taken as settled.
#include <gtest/gtest.h>

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

// The window handles its events between the fields of the full read, and that
// takes time: a late answer arrives in the gap, before the next command.
TEST_P(FullReadWithALateAnswer, TheLateAnswerIsDroppedAndTheNextFieldsKeepTheirOwn)
{
    device->SetResponder(LateOn("P", GetParam().delayMs));
    screen.onProcessMessages = [this] { clock.Advance(150); };
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

TEST_F(LateAnswerTest, AnAlertAmongLateBytesStillCountsAndIsShown)
{
    // The late answer and an alert are waiting when the field's command goes
    // out: the alert is reported, the late line is dropped.
    device->Arrive(0, "023.4\r\n!");
    const Bytes line = AskField(port, session.hCom, "f", session.alerts);
    EXPECT_EQ(line, "100.0");
    EXPECT_EQ(screen.Text("LabelST"), "Сбой сети.");
    EXPECT_EQ(screen.Text("LabelUME"), "!");
}

TEST_F(LateAnswerTest, AnAlertBetweenTwoFieldsOfTheFullReadIsShown)
{
    int fields = 0;
    screen.onProcessMessages = [&] {
        if (++fields == 20) device->Arrive(clock.NowMs(), "$");
    };
    ReadAll(session, port);
    EXPECT_EQ(screen.Calls("text LabelST=Сеть восстановлена.").size(), 1u);
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
    for (int slot : {kSlotBatteryVolts, kSlotStatus, kSlotCharge})
        EXPECT_FALSE(loop.Settled(slot)) << "slot " << slot;
}

}  // namespace
}  // namespace tornavel
