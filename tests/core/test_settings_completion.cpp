// A performed change completed: the read-back is filtered, stored and shown
// before the request is released.
#include <gtest/gtest.h>

#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "session.h"
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
    for (int k = 1; k <= kSlotCount; ++k) EXPECT_EQ(record.slot[k], k == GetParam().slot ? "NEW" : "") << "slot " << k;
    EXPECT_EQ(record.port, 3);
}

INSTANTIATE_TEST_SUITE_P(Commands, StoreTest,
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
// CompleteChange: the read-back filtered and stored, shown (what the window
// shows of it is the change presenter's test), then the request released.

TEST(CompleteChange, ShowsTheFilteredReadBackBeforeReleasingTheRequest)
{
    testing::RecordingScreen screen;
    testing::RecordingEvents events;
    Session session{screen};
    session.events = &events;
    session.table.Add(1);
    session.table.SetApcIndex(0);
    session.requests.PostChange("c", "value");
    session.requests.changeAnswer.Set("UPS|_1\r\n");
    session.requests.changeDone.store(true);  // as the writer leaves it

    std::vector<std::string> shown;
    CompleteChange(session, [&](const Bytes& command, const Bytes& readBack) {
        shown.push_back(command + "=" + readBack);
        EXPECT_EQ(session.table.Slot(kSlotName), "UPS_1");  // stored first
        EXPECT_FALSE(ChangeWaiting(session.requests));
        EXPECT_TRUE(session.requests.eepromChange.load());  // still held while shown
    });

    EXPECT_EQ(shown, (std::vector<std::string>{"c=UPS_1"}));
    EXPECT_EQ(session.requests.changeAnswer.Get(), "UPS_1");
    EXPECT_EQ(events.Lines(), std::vector<std::string>{"alert |"});  // the alert inside was reported
    EXPECT_FALSE(session.requests.eepromChange.load());
    EXPECT_FALSE(session.requests.changeDone.load());
}

}  // namespace
}  // namespace tornavel
