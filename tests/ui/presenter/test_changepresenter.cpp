// What the window shows of a completed change: the read-back in its
// setting's edit box and on the monitor page, then the page's marks hidden,
// all before the request is released.
#include <gtest/gtest.h>

#include "changepresenter.h"
#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "settings/changestore.h"
#include "settings/changewriter.h"
#include "settings_fixture.h"
#include "windowpresenter.h"

namespace tornavel {
namespace {

using testing::SettingsSession;

// The parameter page's box of each setting the page changes.
TEST(SettingField, NamesTheBoxOfEachSetting)
{
    const std::vector<std::pair<Bytes, std::string_view>> boxes = {
        {cmd::kAlarmDelay, "EditZS"},    {cmd::kSelfTestInterval, "EditIS"}, {cmd::kSensitivity, "EditCH"},
        {cmd::kOutputSetting, "EditUO"}, {cmd::kLowTransfer, "EditMI"},      {cmd::kHighTransfer, "EditMA"},
        {cmd::kName, "EditNA"},          {cmd::kSerial, "EditSN"},           {cmd::kMadeDate, "EditDA"},
        {cmd::kBatteryDate, "EditDZ"},   {cmd::kRegister0, "EditR0"},        {"Z", ""}};
    for (const auto& [command, box] : boxes) EXPECT_EQ(SettingField(command), box) << command;
}

// ---------------------------------------------------------------------------
// A completed change through the presenter.

struct CompletionCase {
    const char* name;
    Bytes command;
    Bytes field;
    Bytes rawAnswer;          // as the writer read it back
    std::string shown;        // in the edit box, UTF-8
    Bytes stored;             // in the record, Windows-1251
    const char* monitorCopy;  // nullptr: register 0 has none
    std::string message;      // LabelUME after the completion
};

struct CompletionTest : ::testing::TestWithParam<CompletionCase>, SettingsSession {
    CompletionTest() { session.events = &presenter; }
    WindowPresenter presenter{screen, events};
    const ShowChange show = [this](const Bytes& command, const Bytes& readBack) {
        ShowChangeDone(screen, session.table, command, readBack);
    };
};

TEST_P(CompletionTest, ReadBackIsFilteredShownAndStored)
{
    const auto& c = GetParam();
    session.table.SetSlot(SlotOfCommand(c.command), "OLD");
    session.requests.PostChange(c.command, "value");
    session.requests.changeAnswer.Set(c.rawAnswer);
    session.requests.changeDone.store(true);  // as the writer leaves it

    CompleteChange(session, show);

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
        CompletionCase{"AlertInsideIsStripped", "c", "EditNA", "UPS|_1\r\n", "UPS_1", "UPS_1", "EditNAME", "|"},
        CompletionCase{"PlainDate", "x", "EditDZ", "12/05/03\r\n", "12/05/03", "12/05/03", "EditDATAZAM", ""},
        CompletionCase{"AcknowledgementBeforeTheLine", "m", "EditDA", "OK\r\n01/02/03\r\n", "01/02/03", "01/02/03",
                       "EditDATA", "OK"},
        CompletionCase{"Register0HasNoMonitorCopy", "0", "EditR0", "B0\r\n", "B0", "B0", nullptr, ""},
        CompletionCase{"Windows1251Decoded", "n", "EditSN", "\xD2\xE5\xF1\xF2\r\n", "Тест", "\xD2\xE5\xF1\xF2",
                       "EditSERIAL", ""},
        // No answer: the box and the record become empty.
        CompletionCase{"SilentUnit", "u", "EditMA", "", "", "", "EditUPmax", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct CompletionOrderTest : ::testing::Test, SettingsSession {
    const ShowChange show = [this](const Bytes& command, const Bytes& readBack) {
        ShowChangeDone(screen, session.table, command, readBack);
    };
};

TEST_F(CompletionOrderTest, RequestIsReleasedOnlyAfterEverythingIsShown)
{
    session.requests.PostChange("c", "value");
    session.requests.changeAnswer.Set("|NEWNAME\r\n");
    session.requests.changeDone.store(true);
    std::vector<std::string> releasedAt;
    screen.watch = [&](const std::string& call) {
        if (!session.requests.eepromChange.load()) releasedAt.push_back(call);
        // Never a moment in which the thread could take the request as new.
        EXPECT_FALSE(ChangeWaiting(session.requests)) << call;
    };

    CompleteChange(session, show);

    EXPECT_TRUE(releasedAt.empty());
    EXPECT_FALSE(session.requests.eepromChange.load());
    EXPECT_FALSE(session.requests.changeDone.load());
    EXPECT_FALSE(ChangeWaiting(session.requests));

    // The box is filled before the icons are hidden (its change handler may
    // have shown them), and the monitor page is refreshed in between.
    const auto calls = screen.Calls();
    auto at = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
    EXPECT_LT(at("text EditNA=NEWNAME"), at("text EditNAME=NEWNAME"));
    EXPECT_LT(at("text EditNAME=NEWNAME"), at("hide ImageFLOP"));
    EXPECT_EQ(calls.end() - calls.begin() - 2, at("hide ImageFLOP"));
    EXPECT_EQ(calls.back(), "hide ImageGF");

    session.requests.PostChange("k", "+");
    EXPECT_TRUE(ChangeWaiting(session.requests));
}

}  // namespace
}  // namespace tornavel
