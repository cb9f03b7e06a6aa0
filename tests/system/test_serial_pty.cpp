// The real serial layer on pseudo-terminals: line settings, bytes on the
// wire, a lost device, absent and busy ports, and the port-number mapping.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "serial/portmap.h"
#include "serial/posixport.h"
#include "serial/termiosline.h"
#include "serial/uucplock.h"
#include "system/serial_pty.h"
#include "system/serial_unprivileged.h"

namespace tornavel::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A lock file's content: the PID as ten ASCII characters and a newline.
std::string PidLine(pid_t pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

// The PID of a process that has ended.
pid_t DeadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Waits until the port counts at least n bytes; returns the last count.
int WaitForInput(SerialDevice& port, int n)
{
    const auto deadline = std::chrono::steady_clock::now() + kIoPatience;
    int waiting = port.Waiting();
    while (waiting < n && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        waiting = port.Waiting();
    }
    return waiting;
}

// A pseudo-terminal linked into a ports directory as com1, opened through the
// real opener with its own lock directory.
class SerialPtyTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_symlink(pty.slavePath(), ports / "com1"); }

    std::unique_ptr<SerialDevice> OpenCom1() { return opener.Open(1); }
    std::string LockFile() const { return locks / UucpLockName(pty.slavePath()); }

    HangGuard guard;
    TempDir ports;
    TempDir locks;
    Pty pty;
    PosixPortOpener opener{PortMap(ports.path().string()), locks.path().string()};
};

// ---- Line settings ---------------------------------------------------------

struct LineCase {
    const char* name;
    LineSettings settings;
    tcflag_t charSize;
    tcflag_t parityFlags;
    bool twoStopBits;
    speed_t speed;
    StopBits readBack;  // Linux has no 1.5 stop bits: it reads back as 2
};

class LineSettingsTest : public SerialPtyTest, public ::testing::WithParamInterface<LineCase> {
protected:
    // The default cooked mode, spoiled further with flow control, parity
    // checking, 7 bits and a blocking read: all of it must go. The receiver
    // and the carrier-ignoring flags are off too, as another program may
    // leave a UART; a pseudo-terminal forces its receiver on by itself, so
    // only the settings handed to the driver can show that we turn it on.
    static termios Spoiled(termios t)
    {
        t.c_iflag |= IXOFF | IXANY | INPCK;
        t.c_cflag = (t.c_cflag & ~(CSIZE | CREAD | CLOCAL)) | CS7 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 5;
        ::cfsetspeed(&t, B300);
        return t;
    }
};

TEST_P(LineSettingsTest, MakeARawLineWithoutFlowControl)
{
    const LineCase& c = GetParam();
    pty.SetSlaveSettings(Spoiled(pty.SlaveSettings()));

    termios t = Spoiled(pty.SlaveSettings());
    ASSERT_TRUE(MakeRawLine(c.settings, t));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(t.c_cflag & CSIZE, c.charSize);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ(::cfgetispeed(&t), c.speed);
    EXPECT_EQ(::cfgetospeed(&t), c.speed);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    LineSettings read;
    ReadLine(t, read);
    EXPECT_EQ(read.baud, c.settings.baud);
    EXPECT_EQ(read.dataBits, c.settings.dataBits);
    EXPECT_EQ(read.parity, c.settings.parity);
    EXPECT_EQ(read.stopBits, c.readBack);

    // The device gets exactly that, seen on a separate descriptor; only the
    // pseudo-terminal driver itself forces 8 bits without parity.
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(c.settings));
    const termios onDevice = pty.SlaveSettings();
    EXPECT_EQ(onDevice.c_iflag, t.c_iflag);
    EXPECT_EQ(onDevice.c_oflag, t.c_oflag);
    EXPECT_EQ(onDevice.c_lflag, t.c_lflag);
    EXPECT_EQ(onDevice.c_cflag & ~(CSIZE | PARENB), t.c_cflag & ~(CSIZE | PARENB));
    EXPECT_EQ(::cfgetospeed(&onDevice), c.speed);
    EXPECT_EQ(onDevice.c_cc[VMIN], 0);
    EXPECT_EQ(onDevice.c_cc[VTIME], 0);
    LineSettings fromDevice;
    ASSERT_TRUE(port->ReadSettings(fromDevice));
    EXPECT_EQ(fromDevice.baud, c.settings.baud);
    EXPECT_EQ(fromDevice.stopBits, c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineSettingsTest,
    ::testing::Values(
        LineCase{"Program2400_8N1", {2400, 8, Parity::None, StopBits::One}, CS8, 0, false, B2400, StopBits::One},
        LineCase{"Even9600_7E1", {9600, 7, Parity::Even, StopBits::One}, CS7, PARENB, false, B9600, StopBits::One},
        LineCase{"Odd1200_8O2", {1200, 8, Parity::Odd, StopBits::Two}, CS8, PARENB | PARODD, true, B1200, StopBits::Two},
        LineCase{"Mark4800_8M15",
                 {4800, 8, Parity::Mark, StopBits::OneAndHalf},
                 CS8,
                 PARENB | PARODD | CMSPAR,
                 true,
                 B4800,
                 StopBits::Two},
        LineCase{"None115200_5N2", {115200, 5, Parity::None, StopBits::Two}, CS5, 0, true, B115200, StopBits::Two}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPtyTest, UnknownBaudRateKeepsTheSpeed)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    ASSERT_TRUE(port->ApplySettings(LineSettings{12345, 8, Parity::None, StopBits::One}));
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B2400));
}

TEST_F(SerialPtyTest, ImpossibleDataBitsAreRefusedAndTheLineLeftAsItWas)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    const termios before = pty.SlaveSettings();
    EXPECT_FALSE(port->ApplySettings(LineSettings{2400, 9, Parity::None, StopBits::One}));
    const termios after = pty.SlaveSettings();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

// ---- Bytes on the wire -------------------------------------------------------

TEST_F(SerialPtyTest, EveryByteValuePassesUnchangedBothWays)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    // Among them the bytes a cooked or flow-controlled line would eat or
    // translate: NUL, 0x01, CR, LF, Ctrl+C, XON/XOFF, DEL, 0xFF.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);

    ASSERT_TRUE(pty.Send(all));
    EXPECT_EQ(ReceiveFromDevice(*port, all.size()), all);

    EXPECT_EQ(port->Write(all), static_cast<long>(all.size()));
    EXPECT_EQ(pty.Receive(all.size()), all);
}

TEST_F(SerialPtyTest, WaitingAndReadGiveOnlyWhatIsThere)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    EXPECT_EQ(port->Waiting(), 0);
    EXPECT_EQ(port->Read(16), "");

    ASSERT_TRUE(pty.Send("ABCDE"));
    ASSERT_EQ(WaitForInput(*port, 5), 5);
    EXPECT_EQ(port->Read(0), "");
    EXPECT_EQ(port->Read(-1), "");
    EXPECT_EQ(port->Read(3), "ABC");
    EXPECT_EQ(port->Waiting(), 2);
    EXPECT_EQ(port->Read(100), "DE");
    EXPECT_EQ(port->Waiting(), 0);
    EXPECT_EQ(port->Read(100), "");
}

TEST_F(SerialPtyTest, ReadNeverWaitsEvenOnALineLeftCooked)
{
    // A port whose settings could not be applied stays in cooked mode, where
    // a blocking read would wait for the end of a line that never comes.
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(pty.Send("no end of line"));
    EXPECT_EQ(port->Waiting(), 0);  // cooked mode counts whole lines only
    EXPECT_EQ(port->Read(16), "");
}

TEST_F(SerialPtyTest, WriteIntoAFullLineNeverWaits)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    // Nobody reads the far end, so the output queue fills up.
    const std::string chunk(4096, 'x');
    long written = 1;
    for (int i = 0; i < 4096 && written > 0; ++i) written = port->Write(chunk);
    EXPECT_EQ(written, 0);  // a full queue: nothing written this time, and no error
}

TEST_F(SerialPtyTest, TerminalMadeExclusiveByAnotherProgramIsBusyEvenForRoot)
{
    Fd other(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    ASSERT_GE(other.get(), 0);
    ASSERT_EQ(::ioctl(other.get(), TIOCEXCL), 0);
    EXPECT_EQ(OpenCom1(), nullptr);
}

TEST_F(SerialPtyTest, PurgeDropsWaitingInput)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    ASSERT_TRUE(pty.Send("stale answer\r\n"));
    ASSERT_EQ(WaitForInput(*port, 14), 14);
    port->Purge();
    EXPECT_EQ(port->Waiting(), 0);
    EXPECT_EQ(port->Read(100), "");
}

TEST_F(SerialPtyTest, FloodIsDrainedWithoutLossOrHang)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    // The far end talks without pause: bytes i % 251, so a lost or repeated
    // chunk shows as a shifted pattern.
    constexpr std::size_t kPeriod = 251;
    std::string pattern;
    for (std::size_t i = 0; i < kPeriod * 65; ++i) pattern += static_cast<char>(i % kPeriod);
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        std::size_t sent = 0;
        while (!stop) {
            const ssize_t n = ::write(pty.master(), pattern.data() + sent % kPeriod, kPeriod * 64);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    // How long the flood lasts; nothing is measured.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::string got;
    int countsSeen = 0;
    while (std::chrono::steady_clock::now() < end && got.size() < 8u << 20) {
        const int waiting = port->Waiting();
        if (waiting > 0) {
            ++countsSeen;
            got += port->Read(waiting);
        }
    }
    stop = true;
    talker.join();

    EXPECT_GT(countsSeen, 1);
    ASSERT_FALSE(got.empty());
    std::string expected;
    for (std::size_t i = 0; i < got.size(); ++i) expected += static_cast<char>(i % kPeriod);
    EXPECT_TRUE(got == expected) << "the flood arrived altered (" << got.size() << " bytes read)";
}

// ---- A lost device ---------------------------------------------------------

enum class Loss { ClosedByProgram, CablePulled };

class LostPortTest : public SerialPtyTest, public ::testing::WithParamInterface<Loss> {};

TEST_P(LostPortTest, EveryOperationGivesItsNeutralResult)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->ApplySettings(LineSettings{}));
    ASSERT_TRUE(pty.Send("unread"));
    if (GetParam() == Loss::ClosedByProgram)
        port->Close();
    else
        pty.CloseMaster();

    EXPECT_EQ(port->Waiting(), 0);
    EXPECT_EQ(port->Read(16), "");
    EXPECT_LE(port->Write("Y"), 0);
    LineSettings settings;
    EXPECT_FALSE(port->ReadSettings(settings));
    EXPECT_FALSE(port->ApplySettings(settings));
    port->Purge();
    port->Close();
    port->Close();
    EXPECT_FALSE(fs::exists(LockFile()));
}

INSTANTIATE_TEST_SUITE_P(Table, LostPortTest, ::testing::Values(Loss::ClosedByProgram, Loss::CablePulled),
                         [](const auto& info) {
                             return info.param == Loss::ClosedByProgram ? "ClosedByProgram" : "CablePulled";
                         });

// ---- Absent ports ----------------------------------------------------------

// Every entry under a directory with its kind and content, to prove that
// nothing was created, changed or written.
std::map<std::string, std::string> Snapshot(const fs::path& dir)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const auto status = entry.symlink_status();
        std::string& what = entries[entry.path().string()];
        if (fs::is_symlink(status))
            what = "link to " + fs::read_symlink(entry.path()).string();
        else if (fs::is_regular_file(status))
            what = "file: " + ReadFile(entry.path());
        else
            what = "kind " + std::to_string(static_cast<int>(status.type()));
    }
    return entries;
}

struct AbsentCase {
    const char* name;
    void (*make)(const fs::path& com1);
};

class AbsentPortTest : public ::testing::TestWithParam<AbsentCase> {
protected:
    HangGuard guard;
    TempDir ports;
    TempDir locks;
    PosixPortOpener opener{PortMap(ports.path().string()), locks.path().string()};
};

TEST_P(AbsentPortTest, IsNullAndLeftUntouched)
{
    const fs::path com1 = ports.path() / "com1";
    GetParam().make(com1);
    // Anything written into a FIFO would wait here for this reader.
    Fd fifoReader(fs::is_fifo(com1) ? ::open(com1.c_str(), O_RDONLY | O_NONBLOCK) : -1);
    const auto before = Snapshot(ports.path());

    EXPECT_EQ(opener.Open(1), nullptr);

    EXPECT_EQ(Snapshot(ports.path()), before);
    EXPECT_TRUE(fs::is_empty(locks.path()));
    if (fifoReader.get() >= 0) {
        char byte;
        EXPECT_LE(::read(fifoReader.get(), &byte, 1), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AbsentPortTest,
    ::testing::Values(AbsentCase{"MissingPath", [](const fs::path&) {}},
                      AbsentCase{"RegularFile", [](const fs::path& com1) { WriteFile(com1, "precious\r\n"); }},
                      AbsentCase{"LinkToRegularFile",
                                 [](const fs::path& com1) {
                                     WriteFile(com1.parent_path() / "data", "precious\r\n");
                                     fs::create_symlink("data", com1);
                                 }},
                      AbsentCase{"Directory", [](const fs::path& com1) { fs::create_directory(com1); }},
                      AbsentCase{"DanglingLink", [](const fs::path& com1) { fs::create_symlink("unplugged", com1); }},
                      AbsentCase{"Fifo", [](const fs::path& com1) { ::mkfifo(com1.c_str(), 0600); }},
                      AbsentCase{"NotATerminal", [](const fs::path& com1) { fs::create_symlink("/dev/null", com1); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPtyTest, NumbersOutsideOneToSixteenAreAbsent)
{
    fs::create_symlink(pty.slavePath(), ports / "com0");
    fs::create_symlink(pty.slavePath(), ports / "com17");
    EXPECT_EQ(opener.Open(0), nullptr);
    EXPECT_EQ(opener.Open(17), nullptr);
    EXPECT_EQ(opener.Open(-1), nullptr);
}

// ---- The lock file ---------------------------------------------------------

TEST_F(SerialPtyTest, LockFileHoldsOurPidWhileThePortIsOpen)
{
    auto port = OpenCom1();
    ASSERT_TRUE(port);
    EXPECT_EQ(ReadFile(LockFile()), PidLine(::getpid()));
    port->Close();
    EXPECT_FALSE(fs::exists(LockFile()));

    port = OpenCom1();  // released, so it opens again
    ASSERT_TRUE(port);
    port.reset();  // dropped without Close: released all the same
    EXPECT_FALSE(fs::exists(LockFile()));
}

TEST_F(SerialPtyTest, WithoutLockDirectoryThePortStillOpens)
{
    PosixPortOpener noLocks(PortMap(ports.path().string()), locks / "missing");
    EXPECT_TRUE(noLocks.Open(1));
}

TEST(UucpLockNameTest, NamesTheDeviceUnderDev)
{
    EXPECT_EQ(UucpLockName("/dev/ttyS0"), "LCK..ttyS0");
    EXPECT_EQ(UucpLockName("/dev/ttyUSB7"), "LCK..ttyUSB7");
    EXPECT_EQ(UucpLockName("/dev/pts/3"), "LCK..pts3");
    EXPECT_EQ(UucpLockName("/srv/lab/ups0"), "LCK..ups0");
}

// ---- Exclusivity, seen by an unprivileged user -----------------------------

// What holds the port before an unprivileged process tries it.
enum class Holder {
    Nobody,
    OurOpen,           // our opener holds it (TIOCEXCL, flock, lock file)
    OurOpenClosed,     // ... and has closed it again
    Flock,             // another program holds it with flock only
    RefusedAttempt,    // a flock holder, and our opener was refused meanwhile
    LiveLockFile,      // a lock file names a live process
    StaleLockFile,     // a lock file names a process that has ended
    ForeignStaleLock,  // the same, in a sticky lock directory, not ours to remove
};

// How the unprivileged process tries the port.
enum class Contender { OurOpener, PlainOpen };

enum Outcome { kOpened = 0, kRefused = 1, kOpenedWithoutLockFile = 2 };

struct ExclusiveCase {
    const char* name;
    Holder holder;
    Contender contender;
    Outcome expected;
};

class ExclusivePortTest : public SerialPtyTest, public ::testing::WithParamInterface<ExclusiveCase> {
protected:
    void SetUp() override
    {
        SerialPtyTest::SetUp();
        if (!CanRunUnprivileged()) GTEST_SKIP() << "no unprivileged user \"nobody\" to test exclusivity as";
        // Root walks past TIOCEXCL, so the contender runs as "nobody", who
        // must be able to reach the terminal and the lock directory.
        ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0666), 0);
        fs::permissions(ports.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(locks.path(), fs::perms::all);
    }

    // Runs in the unprivileged child: gtest assertions are not available there.
    int Contend(Contender contender)
    {
        if (contender == Contender::PlainOpen) {
            Fd fd(::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
            return fd.get() >= 0 ? kOpened : kRefused;
        }
        auto port = OpenCom1();
        if (!port) return kRefused;
        return ReadFile(LockFile()) == PidLine(::getpid()) ? kOpened : kOpenedWithoutLockFile;
    }
};

TEST_P(ExclusivePortTest, OpensOnlyWhenNoOneHoldsThePort)
{
    const ExclusiveCase& c = GetParam();
    if (c.holder == Holder::ForeignStaleLock && ::geteuid() != 0)
        GTEST_SKIP() << "a lock file of another user needs root to make";
    std::unique_ptr<SerialDevice> held;
    Fd flockHolder(c.holder == Holder::Flock || c.holder == Holder::RefusedAttempt
                       ? ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)
                       : -1);
    if (flockHolder.get() >= 0) {
        ASSERT_EQ(::flock(flockHolder.get(), LOCK_EX | LOCK_NB), 0);
    }
    switch (c.holder) {
    case Holder::OurOpen:
        held = OpenCom1();
        ASSERT_TRUE(held);
        break;
    case Holder::OurOpenClosed: ASSERT_TRUE(OpenCom1()); break;  // closed by its destructor at once
    case Holder::RefusedAttempt: ASSERT_EQ(OpenCom1(), nullptr); break;
    case Holder::LiveLockFile: WriteFile(LockFile(), PidLine(::getpid())); break;  // root's: EPERM to nobody
    case Holder::ForeignStaleLock:
        fs::permissions(locks.path(), fs::perms::all | fs::perms::sticky_bit);
        [[fallthrough]];
    case Holder::StaleLockFile: WriteFile(LockFile(), PidLine(DeadPid())); break;
    case Holder::Nobody:
    case Holder::Flock: break;
    }

    const auto result = RunUnprivileged([&] { return Contend(c.contender); });
    ASSERT_TRUE(result.has_value()) << "the unprivileged child did not end normally";
    ASSERT_NE(*result, kCannotDropPrivileges) << "could not become \"nobody\"";
    EXPECT_EQ(*result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExclusivePortTest,
    ::testing::Values(ExclusiveCase{"FreePortOpens", Holder::Nobody, Contender::OurOpener, kOpened},
                      ExclusiveCase{"OurSecondOpenIsRefused", Holder::OurOpen, Contender::OurOpener, kRefused},
                      ExclusiveCase{"PlainOpenIsRefusedWhileWeHoldIt", Holder::OurOpen, Contender::PlainOpen, kRefused},
                      ExclusiveCase{"FlockHolderMakesItBusy", Holder::Flock, Contender::OurOpener, kRefused},
                      ExclusiveCase{"LiveLockFileMakesItBusy", Holder::LiveLockFile, Contender::OurOpener, kRefused},
                      ExclusiveCase{"StaleLockFileIsTakenOver", Holder::StaleLockFile, Contender::OurOpener, kOpened},
                      ExclusiveCase{"StaleLockFileNotOursToRemoveIsIgnored", Holder::ForeignStaleLock,
                                    Contender::OurOpener, kOpenedWithoutLockFile},
                      ExclusiveCase{"ClosedPortOpensAgain", Holder::OurOpenClosed, Contender::OurOpener, kOpened},
                      ExclusiveCase{"RefusedAttemptLeavesNoExclusiveFlag", Holder::RefusedAttempt, Contender::PlainOpen,
                                    kOpened}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Port numbers to device paths ------------------------------------------

enum class UserEntry { None, Link, DanglingLink, File };

struct MapCase {
    const char* name;
    bool withPortsDir;
    UserEntry userEntry;  // made as <config>/tornavel/ports/com<userNumber>
    int userNumber;
    int number;
    const char* expected;  // "{ports}" and "{config}" stand for the temp dirs; "" is no path
};

class PortMapTest : public ::testing::TestWithParam<MapCase> {
protected:
    std::string Expand(std::string text) const
    {
        for (const auto& [token, dir] : {std::pair{"{ports}", &ports}, std::pair{"{config}", &config}}) {
            const auto at = text.find(token);
            if (at != std::string::npos) text.replace(at, std::string(token).size(), dir->path().string());
        }
        return text;
    }

    TempDir ports;
    TempDir config;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.path().string()};
};

TEST_P(PortMapTest, NamesTheDeviceFile)
{
    const MapCase& c = GetParam();
    const fs::path userDir = config.path() / "tornavel" / "ports";
    fs::create_directories(userDir);
    const fs::path entry = userDir / ("com" + std::to_string(c.userNumber));
    switch (c.userEntry) {
    case UserEntry::Link: fs::create_symlink("/dev/ttyUSB5", entry); break;
    case UserEntry::DanglingLink: fs::create_symlink("/dev/serial/by-id/unplugged", entry); break;
    case UserEntry::File: WriteFile(entry, ""); break;
    case UserEntry::None: break;
    }
    const PortMap map = c.withPortsDir ? PortMap(ports.path().string()) : PortMap();
    EXPECT_EQ(map.DevicePath(c.number).value_or(""), Expand(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortMapTest,
    ::testing::Values(MapCase{"PortsDirWinsOverUserLink", true, UserEntry::Link, 3, 3, "{ports}/com3"},
                      MapCase{"PortsDirNamesAnyPort", true, UserEntry::None, 0, 16, "{ports}/com16"},
                      MapCase{"PortsDirPortZero", true, UserEntry::None, 0, 0, ""},
                      MapCase{"PortsDirPort17", true, UserEntry::None, 0, 17, ""},
                      MapCase{"UserLink", false, UserEntry::Link, 2, 2, "{config}/tornavel/ports/com2"},
                      MapCase{"UserLinkToUnpluggedDevice", false, UserEntry::DanglingLink, 7, 7,
                              "{config}/tornavel/ports/com7"},
                      MapCase{"UserFile", false, UserEntry::File, 9, 9, "{config}/tornavel/ports/com9"},
                      MapCase{"UserLinkForAnotherPort", false, UserEntry::Link, 2, 1, "/dev/ttyS0"},
                      MapCase{"BuiltIn1", false, UserEntry::None, 0, 1, "/dev/ttyS0"},
                      MapCase{"BuiltIn4", false, UserEntry::None, 0, 4, "/dev/ttyS3"},
                      MapCase{"BuiltIn5", false, UserEntry::None, 0, 5, "/dev/ttyUSB0"},
                      MapCase{"BuiltIn12", false, UserEntry::None, 0, 12, "/dev/ttyUSB7"},
                      MapCase{"BuiltIn13", false, UserEntry::None, 0, 13, "/dev/ttyACM0"},
                      MapCase{"BuiltIn16", false, UserEntry::None, 0, 16, "/dev/ttyACM3"},
                      MapCase{"BuiltInPortZero", false, UserEntry::None, 0, 0, ""},
                      MapCase{"BuiltInPort17", false, UserEntry::None, 0, 17, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortMapHomeTest, WithoutUsableXdgConfigHomeTheUserDirIsUnderHome)
{
    TempDir home;
    ScopedEnv homeEnv("HOME", home.path().string());
    const fs::path userDir = home.path() / ".config" / "tornavel" / "ports";
    fs::create_directories(userDir);
    fs::create_symlink("/dev/ttyUSB0", userDir / "com1");
    for (const std::optional<std::string>& xdg :
         {std::optional<std::string>(), std::optional<std::string>("relative")}) {
        SCOPED_TRACE(xdg.value_or("XDG_CONFIG_HOME unset"));
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(PortMap().DevicePath(1).value_or(""), (userDir / "com1").string());
    }
}

}  // namespace
}  // namespace tornavel::testing
