// A port another program holds: its UUCP lock names the live process, and
// the scan says which program that is instead of leaving the user to guess.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "core/fakes.h"
#include "monitor_process.h"
#include "protocol/scan.h"
#include "serial/posixport.h"
#include "serial_pty.h"
#include "session.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string ReadCmdline(const std::string& path)
{
    std::ifstream file(path);
    std::string text;
    std::getline(file, text, '\0');
    return text;
}

// A child that sleeps under the given program path, killed at the end.
class SleepingProgram {
public:
    explicit SleepingProgram(const std::string& path) : pid_(testing::Spawn({path, "30"}, -1, -1, -1))
    {
        // Until the exec, the child still shows the test program's command line.
        const std::string cmdline = "/proc/" + std::to_string(pid_) + "/cmdline";
        const auto until = std::chrono::steady_clock::now() + testing::kIoPatience;
        while (ReadCmdline(cmdline).rfind(path, 0) != 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~SleepingProgram() { End(); }
    void End()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    int pid() const { return pid_; }

private:
    pid_t pid_;
};

void WriteLock(const std::string& path, int pid)
{
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "%10d\n", pid);
    std::fclose(file);
}

class LockHolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A name longer than the kernel's 15-byte process name, and the port
        // reached through a link, as a by-id path is.
        fs::create_symlink("/bin/sleep", programs / "tornavel-monitor-of-the-lab");
        fs::create_symlink(pty.slavePath(), ports / "com1");
    }
    std::string LockFile() const { return locks / UucpLockName(pty.slavePath()); }

    testing::HangGuard guard;
    TempDir programs;
    TempDir ports;
    TempDir locks;
    testing::Pty pty;
};

TEST_F(LockHolderTest, NamesTheLiveProgramByItsWholeName)
{
    SleepingProgram holder(programs / "tornavel-monitor-of-the-lab");
    WriteLock(LockFile(), holder.pid());

    const auto found = FindLockHolder(locks.path().string(), ports / "com1");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pid, holder.pid());
    EXPECT_EQ(found->program, "tornavel-monitor-of-the-lab");

    holder.End();  // a lock left by a process that is gone names nobody
    EXPECT_FALSE(FindLockHolder(locks.path().string(), ports / "com1"));
}

TEST_F(LockHolderTest, NobodyWithoutALockOrWithAnUnreadableOne)
{
    EXPECT_FALSE(FindLockHolder(locks.path().string(), ports / "com1"));
    WriteLock(LockFile(), 0);
    EXPECT_FALSE(FindLockHolder(locks.path().string(), ports / "com1"));
    std::FILE* garbage = std::fopen(LockFile().c_str(), "w");
    std::fputs("not a pid\n", garbage);
    std::fclose(garbage);
    EXPECT_FALSE(FindLockHolder(locks.path().string(), ports / "com1"));
}

// The real monitor holds COM1 of the simulator; the window's scan, through
// the same opener the window uses, lists the free COM2 and names the monitor.
TEST(BusyPortScan, NamesTheMonitorHoldingThePort)
{
    std::signal(SIGPIPE, SIG_IGN);
    testing::UpssimProcess sim({"--steady", "com1=ups", "com2=silent"});
    testing::MonitorProcess monitor({"--ports", sim.ports(), "COM1"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", 30000)) << monitor.events();

    PosixPortOpener opener{PortMap(sim.ports())};
    SteadyClock clock;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    testing::RecordingScanEvents events;
    ComPortScan(session, port, events);

    ASSERT_EQ(session.table.Count(), 1);
    EXPECT_EQ(session.table.Record(0).port, 2);
    ASSERT_EQ(events.lines.size(), 3u);
    EXPECT_TRUE(events.lines.back().starts_with("ended units=1 held=COM1:tornavel-monitor:")) << events.lines.back();
    EXPECT_EQ(monitor.terminate(SIGINT, 15000), 0);
}

// A lock that names this very process was left by an earlier run with the
// same PID (PID 1 in a container): taken over, not honoured for ever.
TEST_F(LockHolderTest, ALockNamingThisProcessIsTakenOver)
{
    WriteLock(LockFile(), ::getpid());
    UucpLock lock;
    EXPECT_TRUE(lock.Take(locks.path().string(), pty.slavePath()));
    EXPECT_EQ(lock.path(), LockFile());
}

// A lock file naming PID 1, which anyone may leave in the world-writable
// /run/lock: the monitor honours it as serial programs do, but says whom it
// names, in its log and its metrics, and takes the port once it is gone.
TEST(BusyPortMonitor, NamesTheProcessALockFileNamesAndTakesThePortOnceItIsGone)
{
    std::signal(SIGPIPE, SIG_IGN);
    testing::UpssimProcess sim({"--steady", "com1=ups"});
    const std::string lock = std::string(kUucpLockDir) + "/" + UucpLockName(fs::canonical(sim.port("com1")).string());
    // Our pseudo-terminal is ours alone: a lock file of its name is stale.
    WriteLock(lock, 1);
    testing::MonitorProcess monitor({"--ports", sim.ports(), "COM1"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    EXPECT_TRUE(
        monitor.waitForEvent("COM1 unavailable cannot open the port: its UUCP lock file names process 1[ ,]", 30000))
        << monitor.events();
    const auto holder = FindLockHolder(kUucpLockDir, sim.port("com1"));
    ASSERT_TRUE(holder);
    EXPECT_TRUE(monitor.waitForMetric(
        R"(tornavel_ups_port_lock_holder{port="COM1",pid="1",program=")" + holder->program + "\"} 1", 10000))
        << monitor.metrics();
    fs::remove(lock);
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", 60000)) << monitor.events();
    EXPECT_EQ(monitor.metrics().find("tornavel_ups_port_lock_holder"), std::string::npos);
}

}  // namespace
}  // namespace tornavel
