#include "ptyport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr double byteMs = 10.0 * 1000.0 / 2400.0; // start, 8 data and stop bit at 2400 baud
constexpr size_t maxQueuedBytes = 1024;           // more than that waiting for the line is lost

// Garbage that cannot be read as an alert, a line end or part of "OK"/"NO".
const std::string& garbageAlphabet()
{
    static const std::string alphabet = [] {
        std::string bytes;
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            if (c == '\r' || c == '\n') continue;
            if (c != '\0' && std::strchr("!$%+?=*#|OKN", c)) continue;
            bytes += c;
        }
        return bytes;
    }();
    return alphabet;
}

std::string linkTarget(const std::string& link)
{
    char target[256];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

// Raw mode from the start, so the line discipline never echoes or edits.
bool makeRaw(const std::string& slavePath)
{
    const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios settings{};
    bool ok = ::tcgetattr(fd, &settings) == 0;
    if (ok) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        ::cfsetspeed(&settings, B2400);
        ok = ::tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

PtyPort::PtyPort(std::string name, DeviceKind kind, std::string dir, Faults faults, const DeviceSettings& settings,
                 ByteLog& log, OpenWatch& watch, std::mt19937& random, double now)
    : name_(std::move(name)), kind_(kind), dir_(std::move(dir)), faults_(faults), log_(log), watch_(watch),
      random_(random),
      device_(makeDevice(kind, *this, random, settings, now))
{
}

PtyPort::~PtyPort()
{
    closeMaster();
}

bool PtyPort::plug(double now, std::string& error)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char path[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, path, sizeof path) != 0 || !makeRaw(path)) {
        error = name_ + ": cannot create a pseudo-terminal: " + std::strerror(errno);
        if (master >= 0) ::close(master);
        return false;
    }
    const int watchId = watch_.add(path);
    if (watchId < 0) {
        error = name_ + ": cannot watch " + path + ": " + std::strerror(errno);
        ::close(master);
        return false;
    }
    // The link appears whole or not at all: a program scanning the directory
    // never finds a half-made port.
    const std::string link = dir_ + "/" + name_;
    const std::string temporary = dir_ + "/." + name_ + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(path, temporary.c_str()) != 0 || ::rename(temporary.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        watch_.remove(watchId);
        ::close(master);
        return false;
    }
    closeMaster(); // a port replugged in place leaves its old pseudo-terminal now
    master_ = master;
    watchId_ = watchId;
    holders_ = ownOpens_ = ownCloses_ = 0;
    slavePath_ = path;
    state_ = State::Unheld;
    received_ = 0;
    lineFreeAt_ = now;
    device_->lineClosed();
    std::printf("%s -> %s (%s)\n", name_.c_str(), slavePath_.c_str(), kindName(kind_));
    std::fflush(stdout);
    log_.note(name_, "plugged " + slavePath_);
    return true;
}

void PtyPort::unplug(double)
{
    if (!plugged()) return;
    const std::string link = dir_ + "/" + name_;
    if (linkTarget(link) == slavePath_) ::unlink(link.c_str());
    closeMaster();
    state_ = State::Unplugged;
    dropQueue();
    device_->lineClosed();
    log_.note(name_, "unplugged");
}

void PtyPort::closeMaster()
{
    watch_.remove(watchId_);
    watchId_ = -1;
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

// With nobody holding the slave the master reports a hang-up.
bool PtyPort::someoneHolds() const
{
    pollfd fd{master_, POLLIN, 0};
    return ::poll(&fd, 1, 0) >= 0 && !(fd.revents & POLLHUP);
}

// The watch reports every open and close in order, so a close followed at
// once by a new open (the program reopening the port) is still seen as the
// end of one holder's session.
void PtyPort::accessed(const std::vector<bool>& closes, double now)
{
    for (size_t i = 0; i < closes.size() && state_ != State::Unplugged; ++i) {
        unsigned& own = closes[i] ? ownCloses_ : ownOpens_;
        if (own > 0) {
            --own;
            continue;
        }
        if (!closes[i]) {
            ++holders_;
            if (state_ == State::Unheld) {
                state_ = State::Held;
                log_.note(name_, "opened");
            }
        } else if (holders_ > 0 && --holders_ == 0) {
            // Input still waiting belongs to the old holder unless a new one has come.
            released(now, std::find(closes.begin() + i, closes.end(), false) != closes.end());
        }
    }
    if (state_ == State::Unplugged) return;
    // The hang-up state of the master has the last word (events can merge).
    if (!someoneHolds()) {
        holders_ = 0;
        if (state_ == State::Held) released(now, false);
    } else if (state_ == State::Unheld) {
        holders_ = std::max(holders_, 1u);
        state_ = State::Held;
        log_.note(name_, "opened");
    }
}

void PtyPort::readInput(double now)
{
    unsigned char buffer[256];
    while (state_ == State::Held) {
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0) return;
        for (ssize_t i = 0; i < count && state_ == State::Held; ++i) receive(buffer[i], now);
    }
}

void PtyPort::receive(unsigned char byte, double now)
{
    log_.received(name_, byte);
    if (faults_.pullAfter && ++received_ >= faults_.pullAfter) {
        log_.note(name_, "cable pulled");
        unplug(now);
        return;
    }
    if (silent_) return;
    lastArrival_ = now;
    device_->receive(byte, now);
}

void PtyPort::released(double now, bool reopened)
{
    if (state_ == State::Held) {
        if (!reopened) readInput(now);
        if (state_ != State::Held) return; // the last input pulled the cable
        state_ = State::Unheld;
        log_.note(name_, "closed");
        dropQueue();
        device_->lineClosed();
    }
    clearLeftovers(now, reopened);
}

// A real port keeps nothing for its next user: no bytes that were on their
// way when it closed, no exclusive-use mark. A pseudo-terminal keeps both
// while its master is open, so they are cleared here; if the mark keeps us
// out, a fresh pseudo-terminal replaces this one. When a new holder has
// already come, its own exclusive-use mark is left alone.
void PtyPort::clearLeftovers(double now, bool newHolder)
{
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        if (!newHolder) ::ioctl(fd, TIOCNXCL);
        ::tcflush(fd, TCIFLUSH);
        ::close(fd);
        ++ownOpens_;
        ++ownCloses_;
        return;
    }
    std::string error;
    if (newHolder) return;
    if (!plug(now, error)) {
        std::fprintf(stderr, "upssim: %s\n", error.c_str());
        unplug(now);
    }
}

void PtyPort::answer(std::string bytes)
{
    ++answers_;
    if (faults_.dropEvery && answers_ % faults_.dropEvery == 0) {
        log_.dropped(name_, bytes);
        return;
    }
    if (faults_.garbageIn) insertGarbage(bytes);
    enqueue(std::move(bytes), lastArrival_ + faults_.delayMs);
}

void PtyPort::alert(std::string bytes)
{
    enqueue(std::move(bytes), 0.0);
}

void PtyPort::enqueue(std::string bytes, double notBefore)
{
    if (bytes.empty()) return;
    if (state_ != State::Held || silent_ || queuedBytes_ + bytes.size() > maxQueuedBytes) {
        log_.dropped(name_, bytes);
        return;
    }
    queuedBytes_ += bytes.size();
    queue_.push_back({std::move(bytes), notBefore});
}

// One to three garbage bytes in front of the answer or inside its text,
// never inside its line end and never inside an acknowledgement.
void PtyPort::insertGarbage(std::string& bytes)
{
    const std::string& alphabet = garbageAlphabet();
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> count(1, 3);
    std::string garbage;
    for (int i = count(random_); i > 0; --i) garbage += alphabet[pick(random_)];

    size_t textEnd = bytes.size();
    if (textEnd >= 2 && bytes.compare(textEnd - 2, 2, "\r\n") == 0) textEnd -= 2;
    const bool acknowledgement = bytes == "OK\r\n" || bytes == "NO\r\n";
    const size_t at = acknowledgement ? 0 : std::uniform_int_distribution<size_t>(0, textEnd)(random_);
    bytes.insert(at, garbage);
}

void PtyPort::dropQueue()
{
    for (const Chunk& chunk : queue_) log_.dropped(name_, std::string_view(chunk.bytes).substr(chunk.sent));
    queue_.clear();
    queuedBytes_ = 0;
}

void PtyPort::service(double now)
{
    device_->tick(now);
    while (!queue_.empty()) {
        Chunk& chunk = queue_.front();
        const double start = std::max(chunk.notBefore, lineFreeAt_);
        if (start > now) break;
        if (chunk.sent == 0) log_.sent(name_, chunk.bytes);
        // A full input queue on the far side overruns: the byte is lost, as on a real line.
        [[maybe_unused]] const ssize_t written = ::write(master_, chunk.bytes.data() + chunk.sent, 1);
        ++chunk.sent;
        --queuedBytes_;
        lineFreeAt_ = start + byteMs;
        if (chunk.sent == chunk.bytes.size()) queue_.pop_front();
    }
}

double PtyPort::nextWake() const
{
    double wake = device_->nextWake();
    if (!queue_.empty()) wake = std::min(wake, std::max(queue_.front().notBefore, lineFreeAt_));
    return wake;
}
