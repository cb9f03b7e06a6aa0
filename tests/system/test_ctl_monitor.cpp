// tornavelctl beside a running tornavel-monitor: a request for a unit the
// monitor watches goes through its control socket and is performed by the
// unit's polling loop between two cycles, while metrics and events go on;
// a port the monitor does not watch is opened directly; a client that is not
// root is refused by its credentials even when the socket's mode lets it in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "ctl_process.h"
#include "monitor_process.h"
#include "serial_unprivileged.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::CtlRun;
using testing::MonitorProcess;
using testing::RunCtl;
using testing::UpssimProcess;

constexpr int kConnectMs = 30000;  // a full read on a loaded machine: a bound, not a measure

// The five reads that end every monitoring cycle.
const std::string kCycleEnd = "QPfLO";

// A directory others may enter, so only the socket's own mode and the
// credential check stand between an unprivileged client and the monitor.
struct OpenDir {
    OpenDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ctl-monitor-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
        ::chmod(path.c_str(), 0755);
    }
    ~OpenDir() { std::filesystem::remove_all(path); }
    std::string path;
};

TEST(CtlWithMonitor, RequestsGoThroughTheSocketBetweenCyclesAndOnlyRootIsServed)
{
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups2"});
    OpenDir dir;
    const std::string socket = dir.path + "/control";
    MonitorProcess monitor({"--ports", sim.ports(), "--control-socket", socket, "COM1"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.errors();
    struct stat mode {};
    ASSERT_EQ(::stat(socket.c_str(), &mode), 0);
    EXPECT_EQ(mode.st_mode & 0777, 0600u);

    const std::vector<std::string> base = {"--ports", sim.ports(), "--socket", socket};
    const auto ctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return RunCtl(args);
    };

    // ups: low transfer 196, one step from 204.
    const CtlRun set = ctl({"set", "COM1", "low-transfer", "204"});
    EXPECT_EQ(set.status, 0) << set.out << set.err;
    EXPECT_NE(set.out.find(R"(changed from "196" to "204" in 1 step)"), std::string::npos) << set.out;
    const std::string line = sim.received("com1");
    EXPECT_EQ(std::count(line.begin(), line.end(), 'Y'), 1) << "the monitor's handshake only";
    EXPECT_NE(line.find(kCycleEnd + "l+l"), std::string::npos) << "after a cycle's reads";
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_transfer_low_volts{port="COM1"} 204)", kConnectMs));
    EXPECT_TRUE(monitor.waitForEvent(R"(COM1 setting_changed low-transfer: changed from "196" to "204")", 1000));
    EXPECT_TRUE(MonitorProcess::waitUntil(
        [&] { return sim.received("com1").find(kCycleEnd, line.find("l+l")) != std::string::npos; }, kConnectMs))
        << "the next cycle after the change";

    // A port the monitor does not watch is the program's own to open.
    const CtlRun show = ctl({"show", "COM2", "--json"});
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find(R"("model": {"value": "Smart-UPS 700")"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find(R"("route": "port")"), std::string::npos) << show.out;

    // Even with the socket open to all, a client that is not root is refused.
    ASSERT_TRUE(testing::CanRunUnprivileged());
    ::chmod(socket.c_str(), 0666);
    const auto refused = testing::RunUnprivileged([&] {
        const CtlRun run = ctl({"set", "COM1", "low-transfer", "208"});
        return run.status == 1 && run.err.find("only root may use the control socket") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(sim.received("com1").find("l+", line.find("l+l") + 3), std::string::npos) << "nothing written";
}

}  // namespace
}  // namespace tornavel
