// One unit's worker on the fake port and the virtual clock: health falls
// within the cycle that got no answer, the port is retried with a doubling
// pause and logged once, the unit is read again when it is back, and a stop
// sends "R" last.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "core/unit_fixture.h"
#include "events/alertnames.h"
#include "events/eventlog.h"
#include "log_lines.h"
#include "publish/metricstext.h"
#include "units/unitworker.h"

namespace tornavel::service {
namespace {

using tornavel::testing::FakeClock;
using tornavel::testing::FakeDevice;
using tornavel::testing::FakeOpener;

// A unit that answers until its third status request, then is gone (no
// device to open) for `absentOpens` opens, then comes back.
struct FlakyUnit {
    static constexpr int kAbsentOpens = 7;

    explicit FlakyUnit(FakeClock& clock_) : clock(clock_)
    {
        opener.ports[2] = [this]() -> std::unique_ptr<SerialDevice> {
            std::lock_guard lock(mutex);
            openTimes.push_back(clock.NowMs());
            if (!present && ++absentOpens > kAbsentOpens) present = true;
            if (!present) return nullptr;
            auto device = std::make_unique<FakeDevice>(clock);
            device->SetResponder([this](const Bytes& command) {
                std::lock_guard lock(mutex);
                written.push_back(command);
                if (command == "Q" && ++statusRequests == 3) present = false;
                if (!present) return std::vector<FakeDevice::Reply>{};
                return tornavel::testing::TableResponder(tornavel::testing::UnitAnswers())(command);
            });
            return device;
        };
    }

    FakeClock& clock;
    FakeOpener opener;
    std::mutex mutex;
    bool present = true;
    int absentOpens = 0;
    int statusRequests = 0;
    std::vector<std::int64_t> openTimes;
    std::vector<Bytes> written;
};

// Polls `done` in real time; the worker runs on virtual time, so the
// deadline is only a guard against a broken worker, generous for a loaded
// machine.
template <typename Condition>
bool Eventually(Condition done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    return done();
}

// The worker on its own thread, stopped and joined however the test ends.
struct Running {
    explicit Running(UnitWorker& worker_) : worker(worker_), thread([this] { worker.Run(); }) {}
    ~Running() { Stop(); }
    void Stop()
    {
        worker.RequestStop();
        if (thread.joinable()) thread.join();
    }
    UnitWorker& worker;
    std::thread thread;
};

std::size_t CountEvent(const std::vector<std::string>& lines, const std::string& event)
{
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(" COM2 " + event + " ") != std::string::npos; });
}

TEST(UnitWorker, LosesTheLinkInOneCycleRetriesWithBackOffAndReadsAgain)
{
    FakeClock clock(/*realMicros=*/20);
    FlakyUnit unit(clock);
    std::FILE* logFile = std::tmpfile();
    EventLog log(logFile, nullptr);
    std::atomic<int> published{0};
    UnitWorker worker("COM2", 2, unit.opener, clock, log, [&] { ++published; });
    Running running(worker);

    // The third cycle gets no answer: health is 0 right after it.
    ASSERT_TRUE(Eventually([&] { return worker.Snapshot().linkLosses == 1; }));
    UnitSnapshot lost = worker.Snapshot();
    EXPECT_FALSE(lost.up);
    EXPECT_TRUE(lost.lastGoodSeconds.has_value());

    // Back: identified again after a new "Y" and full read.
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard lock(unit.mutex);
        return unit.openTimes.size() >= FlakyUnit::kAbsentOpens + 2 && worker.Snapshot().up;
    }));
    running.Stop();

    std::lock_guard lock(unit.mutex);
    // Opens 2.. are the retries while the unit was gone: the pause doubles
    // from 2 s and stays at 30 s.
    const std::vector<std::int64_t> expected = {2000, 4000, 8000, 16000, 30000, 30000, 30000};
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 2; i < unit.openTimes.size(); ++i) gaps.push_back(unit.openTimes[i] - unit.openTimes[i - 1]);
    EXPECT_EQ(gaps, expected);

    // The cycle whose status request got no answer was the last: the next
    // command is the new handshake and the full read starts over. The stop
    // ends with "R".
    auto silentStatus = unit.written.begin();
    for (int n = 0; n < 3; ++n) silentStatus = std::find(silentStatus + (n > 0), unit.written.end(), "Q");
    const std::vector<Bytes> rest(silentStatus + 1, unit.written.end());
    const std::vector<Bytes> expectedRest = {"P", "f", "L", "O", "Y", "\x01"};
    ASSERT_GE(rest.size(), expectedRest.size());
    EXPECT_EQ(std::vector<Bytes>(rest.begin(), rest.begin() + 6), expectedRest);
    EXPECT_EQ(unit.written.back(), "R");

    const auto lines = LogLines(logFile);
    EXPECT_EQ(CountEvent(lines, "link_lost"), 1u);
    EXPECT_EQ(CountEvent(lines, "unavailable"), 1u) << "retries are logged once";
    EXPECT_EQ(CountEvent(lines, "connected"), 2u);
    EXPECT_GT(published.load(), 3);
    std::fclose(logFile);
}

// A unit answering from a table, with changes; `statusRequests` counts its
// "Q"s so a test can wait for cycles.
struct TableUnit {
    TableUnit(FakeClock& clock, std::function<void(const Bytes&, std::vector<FakeDevice::Reply>&)> change)
    {
        opener.ports[2] = [this, &clock, change]() -> std::unique_ptr<SerialDevice> {
            auto device = std::make_unique<FakeDevice>(clock);
            device->SetResponder([this, change](const Bytes& command) {
                auto replies = tornavel::testing::TableResponder(tornavel::testing::UnitAnswers())(command);
                if (command == "Q") ++statusRequests;
                change(command, replies);
                return replies;
            });
            return device;
        };
    }
    FakeOpener opener;
    std::atomic<int> statusRequests{0};
};

class EveryAlert : public ::testing::TestWithParam<std::size_t> {};

// Each alert found in the unit's input lands in its own counter and is logged
// with its own name and message; the acknowledgement beside it is no alert.
TEST_P(EveryAlert, IsCountedByItsKindAndLogged)
{
    const std::size_t row = GetParam();
    FakeClock clock(/*realMicros=*/20);
    TableUnit unit(clock, [&](const Bytes& command, std::vector<FakeDevice::Reply>& replies) {
        if (command == "Q" && unit.statusRequests == 2)
            replies.front().bytes = alertTable[row].code + Bytes("18\r\nOK\r\n");
    });
    std::FILE* logFile = std::tmpfile();
    EventLog log(logFile, nullptr);
    UnitWorker worker("COM2", 2, unit.opener, clock, log, nullptr);
    Running running(worker);
    ASSERT_TRUE(Eventually([&] { return unit.statusRequests >= 4; }));
    running.Stop();

    const UnitSnapshot snapshot = worker.Snapshot();
    for (std::size_t other = 0; other < snapshot.alerts.size(); ++other)
        EXPECT_EQ(snapshot.alerts[other], other == row ? 1u : 0u) << kAlertNames[other];
    const auto lines = LogLines(logFile);
    ASSERT_EQ(CountEvent(lines, kAlertNames[row]), 1u);
    const auto line = *std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(std::string(" ") + kAlertNames[row] + " ") != std::string::npos;
    });
    EXPECT_NE(line.find(std::string(" COM2 ") + kAlertNames[row] + " " + alertTable[row].message + "\n"),
              std::string::npos)
        << line;
    std::fclose(logFile);
}

INSTANTIATE_TEST_SUITE_P(UnitWorker, EveryAlert, ::testing::Range<std::size_t>(0, alertTable.size()));

// "SM" to "Y" and then not one answer: no unit is known there, so it is
// neither up nor identified, and the log says why it is retried.
TEST(UnitWorker, HandshakeWithoutAnyAnswerOfTheFullReadIsNoConnection)
{
    FakeClock clock(/*realMicros=*/20);
    std::atomic<int> handshakes{0};
    TableUnit unit(clock, [&](const Bytes& command, std::vector<FakeDevice::Reply>& replies) {
        if (command == "Y")
            ++handshakes;
        else
            replies.clear();
    });
    std::FILE* logFile = std::tmpfile();
    EventLog log(logFile, nullptr);
    std::atomic<int> published{0};
    UnitWorker worker("COM2", 2, unit.opener, clock, log, [&] { ++published; });
    Running running(worker);
    ASSERT_TRUE(Eventually([&] { return handshakes >= 3; }));
    running.Stop();

    const UnitSnapshot snapshot = worker.Snapshot();
    EXPECT_FALSE(snapshot.up);
    EXPECT_FALSE(snapshot.identified);
    EXPECT_EQ(published.load(), 0);
    const auto lines = LogLines(logFile);
    EXPECT_EQ(CountEvent(lines, "connected"), 0u);
    ASSERT_EQ(CountEvent(lines, "unavailable"), 1u);
    EXPECT_NE(lines.back().find("answered \"SM\" to \"Y\" but nothing of the full read"), std::string::npos)
        << lines.back();
    std::fclose(logFile);
}

// An older unit that lacks some of the cycle's commands stays up with the
// readings it gives; only a cycle without any answer loses the link.
TEST(UnitWorker, UnitLackingSomeCycleCommandsStaysUpWithItsOtherReadings)
{
    FakeClock clock(/*realMicros=*/20);
    TableUnit unit(clock, [](const Bytes& command, std::vector<FakeDevice::Reply>& replies) {
        if (command == "f" || command == "O" || command == "P") replies.clear();
    });
    std::FILE* logFile = std::tmpfile();
    EventLog log(logFile, nullptr);
    UnitWorker worker("COM2", 2, unit.opener, clock, log, nullptr);
    Running running(worker);
    ASSERT_TRUE(Eventually([&] { return unit.statusRequests >= 5; }));
    const UnitSnapshot snapshot = worker.Snapshot();
    running.Stop();

    EXPECT_TRUE(snapshot.up);
    EXPECT_EQ(snapshot.linkLosses, 0u);
    EXPECT_EQ(snapshot.slots[kSlotStatus], "08");
    EXPECT_EQ(snapshot.slots[kSlotLoad], "");
    // Read after commands that got no answer: it might be their late answer.
    EXPECT_EQ(snapshot.slots[kSlotInputVolts], "");
    EXPECT_EQ(CountEvent(LogLines(logFile), "link_lost"), 0u);
    std::fclose(logFile);
}

// An adapter pulled between two answered cycles (its device node gone): the
// unit is down at once, no reading of it is published any more, and the time
// of its last good reading stays.
TEST(UnitWorker, DeviceThatVanishesBetweenCyclesIsDownAtOnce)
{
    FakeClock clock(/*realMicros=*/20);
    FakeOpener opener;
    std::atomic<int> cycles{0};
    std::atomic<bool> pulled{false};
    opener.ports[2] = [&]() -> std::unique_ptr<SerialDevice> {
        if (pulled) return nullptr;  // no device to open any more
        auto device = std::make_unique<FakeDevice>(clock);
        device->SetResponder([&, raw = device.get()](const Bytes& command) {
            // The last command of the third cycle is answered; then the
            // device goes, before the next cycle begins.
            if (command == "O" && ++cycles == 3) {
                pulled = true;
                raw->Unplug();
            }
            return tornavel::testing::TableResponder(tornavel::testing::UnitAnswers())(command);
        });
        return device;
    };
    std::FILE* logFile = std::tmpfile();
    EventLog log(logFile, nullptr);
    UnitWorker worker("COM2", 2, opener, clock, log, nullptr);
    Running running(worker);
    ASSERT_TRUE(Eventually([&] { return worker.Snapshot().linkLosses == 1; }));
    ASSERT_TRUE(Eventually([&] { return CountEvent(LogLines(logFile), "unavailable") == 1; }));
    const UnitSnapshot gone = worker.Snapshot();
    running.Stop();

    EXPECT_FALSE(gone.up);
    ASSERT_TRUE(gone.lastGoodSeconds.has_value());
    const std::string metrics = RenderMetrics({gone});
    EXPECT_NE(metrics.find("tornavel_ups_up{port=\"COM2\"} 0\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("tornavel_ups_last_good_reading_timestamp_seconds{port=\"COM2\"}"), std::string::npos);
    for (const char* reading : {"tornavel_ups_status", "tornavel_ups_input_volts", "tornavel_ups_load_ratio",
                                "tornavel_ups_battery_charge_ratio", "tornavel_ups_on_battery_seconds"})
        EXPECT_EQ(metrics.find(std::string(reading) + "{"), std::string::npos) << reading << "\n" << metrics;
    EXPECT_EQ(CountEvent(LogLines(logFile), "link_lost"), 1u);
    std::fclose(logFile);
}

}  // namespace
}  // namespace tornavel::service
