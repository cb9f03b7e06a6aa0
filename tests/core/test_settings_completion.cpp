// The window's side of a performed change: the read-back is filtered, shown,
// stored and copied to the monitor page before the request is released.
#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "settings/changestore.h"
#include "settings/changewriter.h"
#include "settings_fixture.h"

namespace tornavel {
namespace {

using testing::SettingsSession;

// ---------------------------------------------------------------------------
// store2plist: the slot of the command, and nothing for a command without one.

struct StoreCase {
    Bytes command;
    int slot;
};

struct StoreTest : ::testing::TestWithParam<StoreCase> {
    DeviceTable table;
    StoreTest()
    {
        table.Add(3);
        table.SetApcIndex(0);
    }
};

TEST_P(StoreTest, AnswerGoesToTheSlotOfItsCommand)
{
    store2plist(table, GetParam().command, "NEW");

    const apcrec record = table.Record(0);
    for (int k = 1; k <= kSlotCount; ++k)
        EXPECT_EQ(record.slot[k], k == GetParam().slot ? "NEW" : "") << "slot " << k;
    EXPECT_EQ(record.port, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StoreTest,
    ::testing::Values(StoreCase{cmd::kName, kSlotName}, StoreCase{cmd::kSerial, kSlotSerial},
                      StoreCase{cmd::kMadeDate, kSlotMadeDate},
                      StoreCase{cmd::kBatteryDate, kSlotBatteryDate},
                      StoreCase{cmd::kAlarmDelay, kSlotAlarmDelay},
                      StoreCase{cmd::kSelfTestInterval, kSlotSelfTestInterval},
                      StoreCase{cmd::kSensitivity, kSlotSensitivity},
                      StoreCase{cmd::kOutputSetting, kSlotOutputSetting},
                      StoreCase{cmd::kLowTransfer, kSlotLowTransfer},
                      StoreCase{cmd::kHighTransfer, kSlotHighTransfer},
                      StoreCase{cmd::kRegister0, kSlotRegister0},
                      // No slot: nothing stored.
                      StoreCase{"Z", 0}, StoreCase{"", 0}, StoreCase{"kk", 0}));

TEST(StoreWithoutConnection, StoresNothing)
{
    DeviceTable table;
    table.Add(1);  // scanned, but nothing connected
    store2plist(table, cmd::kName, "NEW");
    EXPECT_EQ(table.Record(0).slot[kSlotName], "");
}

// ---------------------------------------------------------------------------
// CompleteChange.

struct CompletionCase {
    const char* name;
    Bytes command;
    Bytes field;
    Bytes rawAnswer;       // as the writer read it back
    std::string shown;     // in the edit box, UTF-8
    Bytes stored;          // in the record, Windows-1251
    const char* monitorCopy;  // nullptr: register 0 has none
    std::string message;   // LabelUME after the completion
};

struct CompletionTest : ::testing::TestWithParam<CompletionCase>, SettingsSession {};

TEST_P(CompletionTest, ReadBackIsFilteredShownAndStored)
{
    const auto& c = GetParam();
    session.table.SetSlot(SlotOfCommand(c.command), "OLD");
    session.requests.PostChange(c.command, c.field, "value");
    session.requests.changeAnswer.Set(c.rawAnswer);
    session.requests.changeDone.store(true);  // as the writer leaves it

    CompleteChange(session);

    EXPECT_EQ(session.requests.changeAnswer.Get(), c.stored);
    EXPECT_EQ(screen.Text(c.field), c.shown);
    EXPECT_EQ(session.table.Slot(SlotOfCommand(c.command)), c.stored);
    if (c.monitorCopy) {
        EXPECT_EQ(screen.Text(c.monitorCopy), c.shown);
    }
    EXPECT_EQ(screen.Text("LabelUME"), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CompletionTest,
    ::testing::Values(
        // An alert inside the answer is reported and taken out of it.
        CompletionCase{"AlertInsideIsStripped", "c", "EditNA", "UPS|_1\r\n", "UPS_1", "UPS_1",
                       "EditNAME", "|"},
        CompletionCase{"PlainDate", "x", "EditDZ", "12/05/03\r\n", "12/05/03", "12/05/03",
                       "EditDATAZAM", ""},
        CompletionCase{"AcknowledgementBeforeTheLine", "m", "EditDA", "OK\r\n01/02/03\r\n",
                       "01/02/03", "01/02/03", "EditDATA", "OK"},
        CompletionCase{"Register0HasNoMonitorCopy", "0", "EditR0", "B0\r\n", "B0", "B0", nullptr,
                       ""},
        CompletionCase{"Windows1251Decoded", "n", "EditSN", "\xD2\xE5\xF1\xF2\r\n", "Тест",
                       "\xD2\xE5\xF1\xF2", "EditSERIAL", ""},
        // No answer: the box and the record become empty.
        CompletionCase{"SilentUnit", "u", "EditMA", "", "", "", "EditUPmax", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct CompletionOrderTest : ::testing::Test, SettingsSession {};

TEST_F(CompletionOrderTest, RequestIsReleasedOnlyAfterEverythingIsShown)
{
    session.requests.PostChange("c", "EditNA", "value");
    session.requests.changeAnswer.Set("|NEWNAME\r\n");
    session.requests.changeDone.store(true);
    std::vector<std::string> releasedAt;
    screen.watch = [&](const std::string& call) {
        if (!session.requests.eepromChange.load()) releasedAt.push_back(call);
        // Never a moment in which the thread could take the request as new.
        EXPECT_FALSE(ChangeWaiting(session.requests)) << call;
    };

    CompleteChange(session);

    EXPECT_TRUE(releasedAt.empty());
    EXPECT_FALSE(session.requests.eepromChange.load());
    EXPECT_FALSE(session.requests.changeDone.load());
    EXPECT_FALSE(ChangeWaiting(session.requests));

    // The box is filled before the icons are hidden (its change handler may
    // have shown them), and the monitor page is refreshed in between.
    const auto calls = screen.Calls();
    auto at = [&](const std::string& call) {
        return std::find(calls.begin(), calls.end(), call) - calls.begin();
    };
    EXPECT_LT(at("text EditNA=NEWNAME"), at("text EditNAME=NEWNAME"));
    EXPECT_LT(at("text EditNAME=NEWNAME"), at("hide ImageFLOP"));
    EXPECT_EQ(calls.end() - calls.begin() - 2, at("hide ImageFLOP"));
    EXPECT_EQ(calls.back(), "hide ImageGF");

    session.requests.PostChange("k", "EditZS", "+");
    EXPECT_TRUE(ChangeWaiting(session.requests));
}

}  // namespace
}  // namespace tornavel
