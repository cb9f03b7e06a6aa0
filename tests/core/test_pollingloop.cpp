// The polling loop's own work: what it reads and keeps, what it reports and
// when, its requests from the window, the rotation, its end; and its thread
// beside the window's. What the window shows of it is the presenter's (see
// the presenter tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "monitor/pollingloop.h"
#include "settings/changestore.h"
#include "unit_fixture.h"

namespace tornavel {
namespace {

using testing::UnitFixture;

struct PollingLoopTest : ::testing::Test, UnitFixture {
    PollingLoop loop{session, port};
};

TEST_F(PollingLoopTest, UnaskedInputIsCollectedAcrossASampleWithoutGrowth)
{
    // "!" is complete at the first sample without growth; "$" follows within
    // the next sample and belongs to the same collection, reported before the
    // first command of the pass. Only a sample with nothing waiting ends it.
    device->Arrive(50, "!");
    device->Arrive(450, "$");
    std::optional<std::vector<std::string>> heardAtFirstWrite;
    device->SetResponder([&, answers = testing::UnitAnswers()](const Bytes& cmd) {
        if (!heardAtFirstWrite) heardAtFirstWrite = events.Lines();
        return testing::TableResponder(answers)(cmd);
    });
    loop.Pass();
    EXPECT_EQ(heardAtFirstWrite, (std::vector<std::string>{"alert !", "alert $"}));
    ASSERT_FALSE(device->Events().empty());
    EXPECT_EQ(device->Events().front().at, 700);  // 200 ms wait, two reads of 200 ms, one quiet sample
    EXPECT_EQ(session.table.Slot(kSlotBatteryVolts), "27.45");
}

TEST_F(PollingLoopTest, ASlotNeverHoldsAnotherCommandsAnswer)
{
    // Answers only the rotating "B" and "Q", the latter with a second line:
    // the next, unanswered command must not inherit that leftover.
    device->SetResponder([](const Bytes& cmd) {
        std::vector<testing::FakeDevice::Reply> r;
        if (cmd == "B") r.push_back({40, "27.45\r\n"});
        if (cmd == "Q") r.push_back({40, "08\r\n18\r\n"});
        return r;
    });
    loop.Pass();
    EXPECT_EQ(session.table.Slot(kSlotStatus), "08");
    EXPECT_EQ(session.table.Slot(kSlotLoad), "");
}

TEST_F(PollingLoopTest, AlertInThePauseIsReportedBeforeTheNextCommand)
{
    loop.Pass();
    device->Arrive(clock.NowMs() - 500, "!");  // arrived during the pause
    std::optional<std::vector<std::string>> heardAtFirstWrite;
    device->SetResponder([&, answers = testing::UnitAnswers()](const Bytes& cmd) {
        if (!heardAtFirstWrite) heardAtFirstWrite = events.Lines();
        return testing::TableResponder(answers)(cmd);
    });
    const auto before = static_cast<long>(events.Lines().size());
    loop.Pass();
    ASSERT_TRUE(heardAtFirstWrite);
    EXPECT_NE(std::find(heardAtFirstWrite->begin() + before, heardAtFirstWrite->end(), "alert !"),
              heardAtFirstWrite->end());
    EXPECT_EQ(session.table.Slot(kSlotLastMessage), "!");
}

TEST_F(PollingLoopTest, ARequestMadeDuringTheExchangeIsServedNextCycle)
{
    // The click lands while "A" is on the line: it must not be erased.
    device->SetResponder([&, answers = testing::UnitAnswers()](const Bytes& cmd) {
        if (cmd == "A") session.requests.PostCommand("W");
        return testing::TableResponder(answers)(cmd);
    });
    session.requests.PostCommand("A");
    loop.Pass();
    EXPECT_TRUE(session.requests.cmdPending);
    loop.Pass();
    const auto writes = device->Writes();
    EXPECT_EQ(std::count(writes.begin(), writes.end(), "W"), 1);
}

TEST_F(PollingLoopTest, RotationReadsEachSlowValueOnceInEightCyclesAndSurvivesReconnection)
{
    std::vector<Bytes> rotating;
    for (int i = 0; i < 8; ++i) {
        const auto from = device->Writes().size();
        loop.Pass();
        rotating.push_back(device->Writes()[from]);
    }
    std::vector<Bytes> sorted = rotating;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<Bytes>{"9", "B", "C", "F", "M", "N", "j", "o"}));

    session.rotIndex = 3;
    PollingLoop next(session, port);  // a new connection's loop
    const auto from = device->Writes().size();
    next.Pass();
    EXPECT_EQ(device->Writes()[from], rotating[3]);
}

TEST_F(PollingLoopTest, NoChangeIsServedInTerminalMode)
{
    session.requests.terminalMode = true;
    session.requests.PostChange("k", "+");
    loop.Pass();
    loop.Pass();
    EXPECT_TRUE(device->Writes().empty());
    EXPECT_TRUE(session.requests.eepromChange);
}

TEST_F(PollingLoopTest, PulledCableKeepsPollingWithEmptyValues)
{
    device->Unplug();
    loop.Pass();
    loop.Pass();
    EXPECT_EQ(session.table.Slot(kSlotInputVolts), "");
    EXPECT_EQ(session.volts.voltCount(), 2);
}

// The device goes away: the loop ends by itself after that pass, without a
// stop request, marks the line gone and posts its end message.

TEST_F(PollingLoopTest, VanishedDeviceEndsTheLoopByItself)
{
    int passes = 0;
    clock.onSleep = [&](int ms) {
        if (ms == PollingLoop::kPauseMs && ++passes == 2) device->Unplug();
    };
    loop.Execute();
    EXPECT_EQ(passes, 2);
    EXPECT_TRUE(session.requests.lineGone);
    EXPECT_FALSE(session.requests.stopRequest);
    EXPECT_EQ(screen.Calls("post 1032").size(), 1u);
    EXPECT_EQ(events.Lines().back(), "line gone");
}

// The loop on its own thread while the window side reads and requests, as in
// the program; run under ThreadSanitizer by the test command. At least 200
// rounds, then on until a change has gone through both sides (however slowly
// a loaded machine runs the loop thread, within a generous deadline).

TEST(PollingLoopThreads, WindowAndThreadShareStateSafely)
{
    UnitFixture unit(/*realMicros=*/300);
    PollingLoop loop(unit.session, unit.port);
    std::thread polling([&] { loop.Execute(); });

    std::size_t completed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int i = 0; i < 200 || (completed == 0 && std::chrono::steady_clock::now() < deadline); ++i) {
        auto& requests = unit.session.requests;
        // A setting change handed over and completed as the window does it.
        if (!requests.eepromChange) requests.PostChange("k", "+");
        if (unit.screen.Calls("post 1033").size() > completed) {
            ++completed;
            CompleteChange(unit.session);
        }
        if (i % 20 == 0) requests.PostCommand(i % 40 ? "A" : "W");
        if (i % 50 == 10) requests.terminalMode = true;
        if (i % 50 == 12) requests.terminalCmd.Set("Y");
        if (i % 50 == 30) requests.terminalMode = false;
        (void)requests.terminalAnswer.Take();
        (void)unit.session.table.Slot(kSlotLoad);
        (void)unit.session.volts.Readings();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    unit.session.requests.stopRequest = true;
    polling.join();
    EXPECT_EQ(unit.screen.Calls("post 1032").size(), 1u);
    EXPECT_GT(completed, 0u);
}

}  // namespace
}  // namespace tornavel
