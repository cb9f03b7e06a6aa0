// What the window shows of a port scan: the status line's text for each
// phase, the grid of units, the ports other programs hold. The scan runs on
// the fake port and its events go through the presenter to a recording screen.
#include <gtest/gtest.h>

#include "protocol/scan.h"
#include "scanpresenter.h"
#include "unit_fixture.h"

namespace tornavel {
namespace {

struct ScanPresenterTest : ::testing::Test {
    testing::FakeClock clock;
    testing::FakeOpener opener;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    ScanPresenter presenter{screen};

    void Scan() { ComPortScan(session, port, presenter); }
    // Port n answers with this responder on every open.
    void Attach(int number, testing::FakeDevice::Responder responder)
    {
        opener.ports[number] = [this, responder] {
            auto device = std::make_unique<testing::FakeDevice>(clock);
            device->SetResponder(responder);
            return device;
        };
    }
};

TEST_F(ScanPresenterTest, SilentPortAndUnitAreListedWithStatusTexts)
{
    Attach(1, nullptr);
    Attach(4, testing::TableResponder(testing::UnitAnswers()));
    Scan();
    EXPECT_EQ(screen.Calls("text LabelST"),
              (std::vector<std::string>{"text LabelST=ждите, идет опрос COM портов...",
                                        "text LabelST=ждите, идет поиск устройств...", "text LabelST=ready"}));
    EXPECT_EQ(screen.Calls("cell"), (std::vector<std::string>{"cell UPS:0:1=COM1", "cell UPS:1:1=-",
                                                              "cell UPS:2:1=", "cell UPS:3:1=", "cell UPS:0:2=COM4",
                                                              "cell UPS:1:2=Smart-UPS 1000",
                                                              "cell UPS:2:2=QS0512345678", "cell UPS:3:2=12/03/05"}));
    EXPECT_EQ(screen.Calls("rows"), (std::vector<std::string>{"rows UPS=1", "rows UPS=2", "rows UPS=3"}));
}

TEST_F(ScanPresenterTest, NoPortAtAll)
{
    Scan();
    EXPECT_EQ(screen.Text("LabelST"), "COM порты не обнаружены");
    EXPECT_EQ(screen.Calls("rows").back(), "rows UPS=2");
    EXPECT_TRUE(screen.Calls("cell").empty());
}

// What the status line says when the scan ends, with ports held by others.
struct HeldCase {
    const char* name;
    std::map<int, LockHolder> holders;
    bool freePort;  // COM5, silent
    const char* status;
};

class HeldPorts : public ScanPresenterTest, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldPorts, NameTheirHolderInTheClosingStatus)
{
    opener.holders = GetParam().holders;
    if (GetParam().freePort) Attach(5, nullptr);
    Scan();
    EXPECT_EQ(screen.Text("LabelST"), GetParam().status);
    EXPECT_EQ(screen.Calls("cell UPS:0:").size(), GetParam().freePort ? 1u : 0u);  // a held port is never listed
}

INSTANTIATE_TEST_SUITE_P(Table, HeldPorts,
                         ::testing::Values(HeldCase{"HeldBesideAFreePort",
                                                    {{1, {4242, "tornavel-monitor"}}},
                                                    true,
                                                    "ready, COM1: занят (tornavel-monitor)"},
                                           HeldCase{"OnlyHeldPorts",
                                                    {{2, {7, "minicom"}}, {3, {8, ""}}},
                                                    false,
                                                    "COM2: занят (minicom), COM3: занят (процесс 8)"},
                                           HeldCase{"NoneHeld", {}, true, "ready"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each phase's text is on screen while the window handles its messages, so
// the user sees it during the scan rather than only the last one at the end.
TEST_F(ScanPresenterTest, EveryPhaseTextIsShownWhileTheScanRuns)
{
    Attach(1, nullptr);
    std::vector<std::string> seen;
    screen.onProcessMessages = [&] {
        if (seen.empty() || seen.back() != screen.Text("LabelST")) seen.push_back(screen.Text("LabelST"));
    };
    Scan();
    EXPECT_EQ(seen, (std::vector<std::string>{"ждите, идет опрос COM портов...", "ждите, идет поиск устройств..."}));
}

TEST_F(ScanPresenterTest, TheBusyLightIsOnAroundEveryExchange)
{
    Attach(1, testing::TableResponder(testing::UnitAnswers()));
    Scan();
    EXPECT_EQ(screen.Calls("show ImageW").size(), 5u);
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 5u);
    EXPECT_FALSE(screen.Visible("ImageW"));
}

}  // namespace
}  // namespace tornavel
