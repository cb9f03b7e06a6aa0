// A unit whose device goes away while it is monitored, against the
// simulator: the open port reads as vanished, while a unit that only falls
// silent on a present port does not; the polling loop ends by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "core/fakes.h"
#include "monitor/pollingloop.h"
#include "serial/posixport.h"
#include "session.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

// Polls a condition every 20 ms for at most `patienceMs`.
template <typename Condition>
bool WaitFor(Condition condition, int patienceMs = 5000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct VanishCase {
    const char* name;
    const char* event;
    bool vanishes;
};

class VanishedPort : public ::testing::TestWithParam<VanishCase> {};

TEST_P(VanishedPort, OnlyADeviceThatWentAwayReadsAsVanished)
{
    std::signal(SIGPIPE, SIG_IGN);
    testing::UpssimProcess sim({"--steady", "com1=ups"});
    PosixPortOpener opener{PortMap(sim.ports())};
    SteadyClock clock;
    ComPort port{opener, clock};
    PortHandle handle = port.OpenPort(1, 2400, 8, 'N', "1");
    ASSERT_TRUE(handle);
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "Y", answer));
    EXPECT_FALSE(port.Vanished(handle));

    sim.event(std::string("com1 ") + GetParam().event);
    if (GetParam().vanishes) {
        EXPECT_TRUE(WaitFor([&] { return port.Vanished(handle); }));
    } else {
        // Silent: nothing answers, yet the device stays.
        EXPECT_TRUE(WaitFor([&] { return !port.Transact(handle, "Y", answer); }));
        EXPECT_FALSE(port.Vanished(handle));
    }
    port.ClosePort(handle);
    EXPECT_FALSE(port.Vanished(handle));  // a port we closed has not vanished
}

INSTANTIATE_TEST_SUITE_P(Table, VanishedPort,
                         ::testing::Values(VanishCase{"Unplugged", "unplug", true},
                                           VanishCase{"Muted", "silent on", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole polling loop on the real port: unplugged mid-monitoring, it ends
// without a stop request and marks the line gone.
TEST(VanishedPortLoop, PollingEndsByItselfWhenTheDeviceGoes)
{
    std::signal(SIGPIPE, SIG_IGN);
    testing::UpssimProcess sim({"--steady", "com1=ups"});
    PosixPortOpener opener{PortMap(sim.ports())};
    SteadyClock clock;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    testing::RecordingEvents heard;
    session.events = &heard;
    session.table.Add(1);
    session.table.SetApcIndex(0);
    session.hCom = port.OpenPort(1, 2400, 8, 'N', "1");
    ASSERT_TRUE(session.hCom);
    Bytes answer;
    ASSERT_TRUE(port.Transact(session.hCom, "Y", answer));  // smart mode, as a connection leaves it

    PollingLoop loop(session, port);
    std::thread polling([&] { loop.Execute(); });
    EXPECT_TRUE(WaitFor([&] { return !heard.Value(kSlotInputVolts).value_or(Bytes()).empty(); }, 15000));
    sim.event("com1 unplug");
    const bool ended = WaitFor([&] { return !screen.Calls("post 1032").empty(); }, 15000);
    if (!ended) session.requests.stopRequest = true;  // never leave the thread behind
    polling.join();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(session.requests.lineGone);
    EXPECT_FALSE(session.requests.stopRequest);
}

}  // namespace
}  // namespace tornavel
