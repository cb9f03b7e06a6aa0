// The line as the program leaves it for a UPS: the scan and the connection
// open a pseudo-terminal that starts with settings no UPS speaks, and the
// far end reads back what the port is set to when the first command arrives.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/fakes.h"
#include "protocol/connection.h"
#include "protocol/scan.h"
#include "serial/comport.h"
#include "serial/posixport.h"
#include "session.h"
#include "system/serial_pty.h"

namespace tornavel::testing {
namespace {

// The far end of the cable: answers each "Y" with the next of the given
// answers and notes the port's settings at that moment.
class FarEnd {
public:
    FarEnd(const Pty& pty, std::vector<std::string> answers)
        : pty_(pty), answers_(std::move(answers)), thread_([this] { Run(); })
    {
    }
    ~FarEnd()
    {
        stop_ = true;
        thread_.join();
    }
    std::vector<termios> SettingsAtY()
    {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    void Run()
    {
        std::size_t next = 0;
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
            char byte;
            if (::read(pty_.master(), &byte, 1) != 1 || byte != 'Y') continue;
            {
                std::lock_guard lock(mutex_);
                seen_.push_back(pty_.SlaveSettings());
            }
            if (next < answers_.size()) pty_.Send(answers_[next++]);
        }
    }

    const Pty& pty_;
    std::vector<std::string> answers_;
    std::mutex mutex_;
    std::vector<termios> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What a serial driver may hold before the program opens the port: 9600
// baud, 7 bits, even parity, two stop bits, both kinds of flow control, no
// CLOCAL, and the cooked mode with echo and line editing.
void SpoilLine(const Pty& pty)
{
    termios t = pty.SlaveSettings();
    t.c_cflag = (t.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB | CSTOPB | CRTSCTS;
    t.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INPCK | ISTRIP;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    pty.SetSlaveSettings(t);
}

// 2400 baud, 8 data bits, no parity, one stop bit, receiver on, no modem
// control, no flow control, raw bytes, reads that never wait. A
// pseudo-terminal itself forces CS8, CREAD and no parity, so those three are
// proved by the core tests; speed, stop bits, CLOCAL, flow control and the
// raw mode only here.
void ExpectUpsLine(const termios& t)
{
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), 0u);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(UpsLine, ScanAndConnectionSetThePortForTheUps)
{
    HangGuard guard;
    TempDir ports;
    TempDir locks;
    Pty pty;
    std::filesystem::create_symlink(pty.slavePath(), ports.path() / "com1");
    PosixPortOpener opener{PortMap(ports.path().string()), locks.path().string()};
    SteadyClock clock;
    ComPort port{opener, clock};
    RecordingScreen screen;
    Session session(screen);

    // The scan finds a unit; the connection is refused at "Y", so it ends
    // right after its handshake.
    FarEnd farEnd(pty, {"SM\r\n", "NA\r\n"});
    SpoilLine(pty);
    RecordingScanEvents events;
    ComPortScan(session, port, events);
    ASSERT_EQ(session.table.Count(), 1);
    SpoilLine(pty);
    session.table.SetSlotOf(0, kSlotModel, "Smart-UPS 1000");
    EXPECT_FALSE(OpenAndRead(session, port, 1));

    const std::vector<termios> seen = farEnd.SettingsAtY();
    ASSERT_EQ(seen.size(), 2u);
    for (const termios& t : seen) ExpectUpsLine(t);
}

}  // namespace
}  // namespace tornavel::testing
