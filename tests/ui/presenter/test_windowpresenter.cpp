// What the window shows while the unit is asked something a user waits on:
// the busy light around every exchange of the full read and of a setting
// change, in the order the window gets its other updates; and the
// history still hears every event.
#include <gtest/gtest.h>

#include "protocol/connection.h"
#include "settings/changewriter.h"
#include "settings_fixture.h"
#include "unit_fixture.h"
#include "windowpresenter.h"

namespace tornavel {
namespace {

const std::string kPostChangeDone = "post " + std::to_string(static_cast<int>(WindowMessage::ChangeDone));
const std::string kPostGaugeStep = "post " + std::to_string(static_cast<int>(WindowMessage::GaugeStep));
const Bytes kZeros5(5, '\0');

struct ChangeBusyTest : ::testing::Test, testing::SettingsSession {
    testing::RecordingEvents history;
    WindowPresenter presenter{screen, history};
    ChangeWriter writer{session, port};

    ChangeBusyTest() { session.events = &presenter; }
};

TEST_F(ChangeBusyTest, TextChangeShowsOneProgressStepPerCharacter)
{
    ups.answers = {{"c", "abc"}};
    session.requests.PostChange("c", "abc" + kZeros5);
    writer.WriteChange();

    std::vector<std::string> calls = {"show ImageW", "value GaugeX=0", "max GaugeX=8", "show GaugeX"};
    calls.insert(calls.end(), 8, kPostGaugeStep);
    calls.insert(calls.end(), {"text LabelST=...", "text LabelUME=OK", kPostChangeDone, "hide ImageW", "hide GaugeX"});
    EXPECT_EQ(screen.Calls(), calls);
    EXPECT_EQ(history.Lines(), (std::vector<std::string>{"alert OK", "change done abc\r\n"}));
}

TEST_F(ChangeBusyTest, SteppedChangeKeepsTheGaugeHidden)
{
    ups.answers = {{"s", "H"}};
    session.requests.PostChange("s", "+");
    writer.WriteChange();

    EXPECT_EQ(screen.Calls(), (std::vector<std::string>{"show ImageW", "value GaugeX=0", "max GaugeX=1",
                                                        kPostChangeDone, "hide ImageW", "hide GaugeX"}));
}

struct ReadBusyTest : ::testing::Test {
    testing::FakeClock clock;
    testing::FakeOpener opener;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    testing::RecordingEvents history;
    WindowPresenter presenter{screen, history};

    ReadBusyTest()
    {
        session.events = &presenter;
        session.table.Add(3);
        session.table.SetSlotOf(0, kSlotModel, "Smart-UPS 1000");
        opener.ports[3] = [this] {
            auto device = std::make_unique<testing::FakeDevice>(clock);
            device->SetResponder(testing::TableResponder(testing::UnitAnswers()));
            return device;
        };
    }
};

TEST_F(ReadBusyTest, TheLightIsOnWhileEachCommandOfTheFullReadGoesOut)
{
    std::vector<bool> lightAtHandling;
    screen.onProcessMessages = [&] { lightAtHandling.push_back(screen.Visible("ImageW")); };
    ASSERT_TRUE(OpenAndRead(session, port, 1));

    // "Y" and the thirty values: each shown busy before the window handles
    // its events and goes out, hidden once answered.
    EXPECT_EQ(screen.Calls("show ImageW").size(), 32u);  // the read's own start too
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 32u);
    EXPECT_FALSE(screen.Visible("ImageW"));
    ASSERT_FALSE(lightAtHandling.empty());
    EXPECT_TRUE(lightAtHandling.front());
    EXPECT_EQ(history.Lines().back(), "connected Smart-UPS 1000");
}

}  // namespace
}  // namespace tornavel
