// What the window shows of the polling loop, through its presenter: each
// value in its field right after its read, the lamp, the gauge and graph
// messages, test requests, the terminal pass, old values after a silent
// cycle; in the order the loop reports them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <set>

#include "monitor/pollingloop.h"
#include "staleness.h"
#include "unit_fixture.h"
#include "windowpresenter.h"

namespace tornavel {
namespace {

using testing::UnitFixture;

struct PollingWindowTest : ::testing::Test, UnitFixture {
    PollingWindowTest() { session.events = &presenter; }
    WindowPresenter presenter{screen, events};
    PollingLoop loop{session, port};
};

std::vector<std::string> Only(const std::vector<std::string>& calls, std::initializer_list<const char*> keep)
{
    std::vector<std::string> out;
    for (const auto& c : calls)
        for (const char* k : keep)
            if (c == k) out.push_back(c);
    return out;
}

TEST_F(PollingWindowTest, CycleSendsItsCommandsInOrderAndTakesAboutTwoPointThreeSeconds)
{
    loop.Pass();
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{"B", "Q", "P", "f", "L", "O"}));
    EXPECT_EQ(clock.NowMs(), 100 + 6 * 200 + 1000);
    EXPECT_EQ(session.table.Slot(kSlotStatus), "08");
    EXPECT_EQ(session.table.Slot(kSlotBatteryVolts), "27.45");
    EXPECT_EQ(screen.Text("EditSTATUS"), "08 (в сети)");
    EXPECT_EQ(screen.Text("EditUSin"), "229.3");
    EXPECT_EQ(screen.Text("EditUSout"), "228.1");
    EXPECT_EQ(screen.Text("EditUbatt"), "27.45");
    ASSERT_EQ(session.volts.voltCount(), 1);
    EXPECT_EQ(session.volts.Readings()[0].input, 229);
}

TEST_F(PollingWindowTest, EachPolledValueLandsInItsOwnSlotAndField)
{
    loop.Pass();
    const std::vector<std::pair<int, const char*>> polled = {
        {5, "08"}, {6, "023.4"}, {13, "100.0"}, {22, "229.3"}, {23, "228.1"}};
    for (const auto& [slot, answer] : polled) EXPECT_EQ(session.table.Slot(slot), answer) << "slot " << slot;
    EXPECT_EQ(screen.Text("EditSTATUS"), "08 (в сети)");
    EXPECT_EQ(screen.Text("EditUSin"), "229.3");
    EXPECT_EQ(screen.Text("EditUSout"), "228.1");
    // The graph gets the input line first and the output line second.
    ASSERT_EQ(session.volts.voltCount(), 1);
    EXPECT_EQ(session.volts.Readings()[0].input, 229);
    EXPECT_EQ(session.volts.Readings()[0].output, 228);
}

TEST_F(PollingWindowTest, EachRotatingReadLandsInItsOwnSlotAndField)
{
    // Command, slot and field of the eight slow values, and the unit's answer.
    struct Rotating {
        Bytes command;
        int slot;
        const char* field;
        const char* answer;
    };
    const std::vector<Rotating> table = {{"B", 9, "EditUbatt", "27.45"},    {"C", 11, "EditTgrad", "031.5"},
                                         {"j", 12, "EditRUNTIME", "0042:"}, {"o", 17, "EditUout", "230"},
                                         {"N", 20, "EditUSmin", "227.5"},   {"M", 21, "EditUSmax", "231.4"},
                                         {"F", 24, "EditFREQ", "50.00"},    {"9", 25, "EditQUALITY", "FF"}};
    std::set<Bytes> served;
    for (int i = 0; i < 8; ++i) {
        const auto from = device->Writes().size();
        const auto callsFrom = screen.Calls().size();
        loop.Pass();
        const Bytes command = device->Writes()[from];
        const auto row = std::find_if(table.begin(), table.end(),
                                      [&](const Rotating& r) { return r.command == command; });
        ASSERT_NE(row, table.end()) << command;
        served.insert(command);
        EXPECT_EQ(session.table.Slot(row->slot), row->answer) << command;
        // The field is set in this pass, right after the read, before "Q".
        const auto calls = screen.Calls();
        const auto first = std::find_if(calls.begin() + static_cast<long>(callsFrom), calls.end(),
                                        [](const std::string& c) { return c.rfind("text Edit", 0) == 0; });
        ASSERT_NE(first, calls.end());
        EXPECT_EQ(*first, std::string("text ") + row->field + "=" + row->answer);
    }
    EXPECT_EQ(served.size(), 8u);
}

TEST_F(PollingWindowTest, LampAndMessagesComeInLoopOrder)
{
    loop.Pass();
    const auto calls = Only(
        screen.Calls(), {"picture ImageA=ImageAON", "picture ImageA=ImageAOFF", "post 1034", "post 1035", "post 1036"});
    EXPECT_EQ(calls, (std::vector<std::string>{"picture ImageA=ImageAON", "post 1034", "post 1035", "post 1036",
                                               "picture ImageA=ImageAOFF"}));
    const auto all = screen.Calls();
    const auto usout = std::find(all.begin(), all.end(), "text EditUSout=228.1");
    const auto drawVolt = std::find(all.begin(), all.end(), "post 1034");
    EXPECT_LT(usout, drawVolt);
}

TEST_F(PollingWindowTest, SilentUnitCycleTakesAboutFourPointOneSecondsAndEmptiesTheValues)
{
    loop.Pass();
    device->SetResponder(nullptr);
    const auto start = clock.NowMs();
    loop.Pass();
    EXPECT_EQ(clock.NowMs() - start, 100 + 6 * 500 + 1000);
    EXPECT_EQ(session.table.Slot(kSlotStatus), "");
    EXPECT_EQ(session.table.Slot(kSlotCharge), "");
    EXPECT_EQ(screen.Text("EditUSin"), "");
    EXPECT_EQ(session.volts.Readings().back().input, -1);  // a gap in the graph, not 0 V
    EXPECT_EQ(events.Lines(), (std::vector<std::string>{"cycle answered", "cycle silent", "silent"}));
    EXPECT_TRUE(events.LastCycle().settled.none());
}

TEST_F(PollingWindowTest, TheLampIsGreyDuringThePauseAndYellowDuringTheReads)
{
    std::vector<std::string> lampAtWrite;
    device->SetResponder([&, answers = testing::UnitAnswers()](const Bytes& cmd) {
        lampAtWrite.push_back(screen.Picture("ImageA"));
        return testing::TableResponder(answers)(cmd);
    });
    std::string lampInPause;
    clock.onSleep = [&](int ms) {
        if (ms == PollingLoop::kPauseMs) lampInPause = screen.Picture("ImageA");
    };
    loop.Pass();
    EXPECT_EQ(lampAtWrite, std::vector<std::string>(6, "ImageAON"));
    EXPECT_EQ(lampInPause, "ImageAOFF");
}

class TestRequestWindow : public PollingWindowTest, public ::testing::WithParamInterface<const char*> {};

// The three test buttons and the calibration start or stop: each is sent
// first in the next cycle, its acknowledgement shown, the busy picture hidden.
TEST_P(TestRequestWindow, IsSentFirstAndAcknowledged)
{
    session.requests.PostCommand(GetParam());
    loop.Pass();
    const auto writes = device->Writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), GetParam());
    EXPECT_EQ(std::count(writes.begin(), writes.end(), Bytes(GetParam())), 1);
    EXPECT_EQ(screen.Text("LabelUME"), "OK");
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 1u);
    EXPECT_FALSE(session.requests.cmdPending);
    // The acknowledgement is the test's answer, heard before the cycle's reads.
    const auto lines = events.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "alert OK");
    EXPECT_EQ(lines[1], std::string("test ") + GetParam() + "=OK");
    EXPECT_EQ(lines[2], "cycle answered");
}

INSTANTIATE_TEST_SUITE_P(Commands, TestRequestWindow, ::testing::Values("A", "W", "U", "D"));

TEST_F(PollingWindowTest, TwoTestClicksInOneCycleSendOnlyTheLater)
{
    session.requests.PostCommand("W");
    session.requests.PostCommand("U");
    loop.Pass();
    const auto writes = device->Writes();
    EXPECT_EQ(writes.front(), "U");
    EXPECT_EQ(std::count(writes.begin(), writes.end(), "W"), 0);
    EXPECT_FALSE(session.requests.cmdPending);
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 1u);
    EXPECT_EQ(screen.Text("LabelUME"), "OK");

    loop.Pass();  // served once only
    const auto later = device->Writes();
    EXPECT_EQ(std::count(later.begin(), later.end(), "U"), 1);
}

TEST_F(PollingWindowTest, UnknownTestCommandIsDroppedAndTheBusyPictureHidden)
{
    session.requests.PostCommand("Z");
    loop.Pass();
    EXPECT_EQ(device->Writes().front(), "B");
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 1u);
}

TEST_F(PollingWindowTest, TerminalPassServesOnlyTheTypedKeyWithoutPause)
{
    session.requests.terminalMode = true;
    session.requests.terminalCmd.Set("Y");
    session.requests.PostCommand("A");  // waits until monitoring resumes
    loop.Pass();
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{"Y"}));
    EXPECT_EQ(session.requests.terminalAnswer.Get(), "SM");
    EXPECT_EQ(session.requests.terminalCmd.Get(), "");
    EXPECT_EQ(screen.Calls("post"), (std::vector<std::string>{"post 1037"}));
    EXPECT_EQ(clock.NowMs(), 300);
    EXPECT_EQ(screen.Calls("picture ImageA=ImageAOFF").size(), 0u);  // the lamp stays lit

    loop.Pass();  // nothing typed: one sample, nothing sent
    EXPECT_EQ(device->Writes().size(), 1u);
    EXPECT_EQ(clock.NowMs(), 400);

    session.requests.terminalMode = false;
    loop.Pass();
    EXPECT_EQ(device->Writes()[1], "A");
}

TEST_F(PollingWindowTest, TerminalAnswerOfOnlyOkIsEmptyAndOkIsShown)
{
    session.requests.terminalMode = true;
    session.requests.terminalCmd.Set("A");
    loop.Pass();
    EXPECT_EQ(session.requests.terminalAnswer.Get(), "");
    EXPECT_EQ(screen.Text("LabelUME"), "OK");
    EXPECT_EQ(screen.Calls("post"), (std::vector<std::string>{"post 1037"}));
}

TEST_F(PollingWindowTest, StopDuringThePauseEndsAfterIt)
{
    clock.onSleep = [&](int ms) {
        if (ms == PollingLoop::kPauseMs) session.requests.stopRequest = true;
    };
    loop.Execute();
    EXPECT_EQ(clock.NowMs(), 2300);
    const auto calls = screen.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "picture ImageA=ImageAOFF");
    EXPECT_EQ(calls.back(), "post 1032");
}

TEST_F(PollingWindowTest, PendingChangeRunsAfterTheMessagesAndBeforeThePause)
{
    session.requests.PostCommand("W");  // a test click while the change waits
    session.requests.PostChange("k", "+");
    loop.Pass();
    EXPECT_EQ(device->Writes(), (std::vector<Bytes>{"W", "B", "Q", "P", "f", "L", "O", "k", "+", "k"}));
    // Reads, writer's two steps with 200 ms after each, the read-back, the pause.
    EXPECT_EQ(clock.NowMs(), 100 + 7 * 200 + 2 * (200 + 200) + 200 + 1000);
    const auto calls = screen.Calls();
    const auto at = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call); };
    EXPECT_LT(at("post 1036"), at("post 1033"));
    EXPECT_LT(at("post 1033"), at("picture ImageA=ImageAOFF"));

    loop.Pass();  // performed once: the window has not completed it yet
    EXPECT_EQ(device->Writes().size(), 10u + 6u);
}

TEST_F(PollingWindowTest, AStaleTestFlagWithoutTextSendsNothingAndLeavesTheBusyPicture)
{
    session.requests.cmdPending = true;  // as left by a click between flag and text
    loop.Pass();
    EXPECT_EQ(device->Writes().front(), "B");
    EXPECT_TRUE(screen.Calls("hide ImageW").empty());
}

// A unit that falls silent: after one cycle without any answer the page's
// values are old; the first answered cycle makes them current again.

TEST_F(PollingWindowTest, SilentCycleMarksTheValuesOldAndAnAnswerRestoresThem)
{
    loop.Pass();
    EXPECT_EQ(screen.Text("LabelST"), "");
    device->SetResponder(nullptr);
    screen.Clear();
    loop.Pass();
    const auto old = screen.Calls();
    for (const char* call :
         {"color EditUSin=909090", "color EditUbatt=909090", "color EditSTATUS=909090", "hide ImageST0",
          "hide ImageST7", "color LOAD=C0C0C0", "color BATT=C0C0C0", "text LabelLOAD=?", "text LabelCharge=?"})
        EXPECT_NE(std::find(old.begin(), old.end(), call), old.end()) << call;
    EXPECT_EQ(screen.Text("LabelST").rfind("нет ответа, данные от ", 0), 0u) << screen.Text("LabelST");
    // The old values are greyed after the cycle's gauge messages, which
    // would otherwise colour the gauges again.
    const auto lastGaugeMessage = std::find(old.rbegin(), old.rend(), "post 1036");
    const auto greyed = std::find(old.rbegin(), old.rend(), "color BATT=C0C0C0");
    EXPECT_LT(greyed - old.rbegin(), lastGaugeMessage - old.rbegin());

    device->SetResponder(testing::TableResponder(testing::UnitAnswers()));
    screen.Clear();
    loop.Pass();
    const auto current = screen.Calls();
    for (const char* call : {"color EditUSin=000000", "show ImageST0", "color LabelLOAD=000000"})
        EXPECT_NE(std::find(current.begin(), current.end(), call), current.end()) << call;
    EXPECT_EQ(screen.Text("LabelST"), "подключен");
}

TEST(StaleText, GivesTheLocalTimeOfTheLastGoodReading)
{
    const char* zone = std::getenv("TZ");
    const std::string saved = zone ? zone : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(StaleText(12 * 3600 + 34 * 60 + 56), "нет ответа, данные от 12:34:56");
    zone ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace tornavel
