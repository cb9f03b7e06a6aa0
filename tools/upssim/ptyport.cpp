#include "ptyport.h"

#include "pseudoterminal.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr double byteMs = 10.0 * 1000.0 / 2400.0; // start, 8 data and stop bit at 2400 baud
constexpr size_t maxQueuedBytes = 1024;           // more than that waiting for the line is lost

} // namespace

PtyPort::PtyPort(std::string name, DeviceKind kind, std::string dir, Faults faults, const DeviceSettings& settings,
                 ByteLog& log, OpenWatch& watch, std::mt19937& random, double now)
    : name_(std::move(name)), kind_(kind), link_(dir + "/" + name_), faults_(faults), answerFaults_(faults, random),
      log_(log), watch_(watch), device_(makeDevice(kind, *this, random, settings, now))
{
}

PtyPort::~PtyPort()
{
    closeMaster();
}

bool PtyPort::plug(double now, std::string& error)
{
    auto terminal = openPseudoTerminal(error);
    if (!terminal) {
        error = name_ + ": " + error;
        return false;
    }
    const int watchId = watch_.add(terminal->slavePath);
    if (watchId < 0 || !linkAtomically(terminal->slavePath, link_, error)) {
        if (watchId < 0) error = name_ + ": cannot watch " + terminal->slavePath;
        watch_.remove(watchId);
        ::close(terminal->master);
        return false;
    }
    closeMaster(); // a port replugged in place leaves its old pseudo-terminal now
    master_ = terminal->master;
    slavePath_ = terminal->slavePath;
    watchId_ = watchId;
    holders_ = ownOpens_ = ownCloses_ = 0;
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
    unlinkIfPointsTo(link_, slavePath_);
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

// The watch reports every open and close in order, so a close followed at
// once by a new open (the program reopening the port) is still seen as the
// end of one holder's session.
void PtyPort::accessed(const std::vector<bool>& closes, double now)
{
    // A replug (or unplug) on the way makes the rest of the list history.
    const int watchId = watchId_;
    for (size_t i = 0; i < closes.size() && watchId_ == watchId; ++i) {
        unsigned& own = closes[i] ? ownCloses_ : ownOpens_;
        if (own > 0) {
            --own;
            continue;
        }
        if (!closes[i]) {
            ++holders_;
            becomeHeld();
        } else if (holders_ > 0 && --holders_ == 0) {
            // Input still waiting belongs to the old holder unless a new one has come.
            released(now, std::find(closes.begin() + i, closes.end(), false) != closes.end());
        }
    }
    if (watchId_ != watchId || state_ == State::Unplugged) return;
    // The master's hang-up state has the last word (the watch may merge events).
    if (!slaveHeld(master_)) {
        holders_ = 0;
        if (state_ == State::Held) released(now, false);
    } else if (state_ == State::Unheld) {
        holders_ = std::max(holders_, 1u);
        becomeHeld();
    }
}

void PtyPort::becomeHeld()
{
    if (state_ != State::Unheld) return;
    state_ = State::Held;
    log_.note(name_, "opened");
}

void PtyPort::released(double now, bool reopened)
{
    if (state_ == State::Held) {
        if (!reopened) readInput(now);
        if (state_ != State::Held) return; // that last input pulled the cable
        state_ = State::Unheld;
        log_.note(name_, "closed");
        dropQueue();
        device_->lineClosed();
    }
    clearLeftovers(now, reopened);
}

// A real port keeps nothing for its next user: no bytes that were on their
// way when it closed, no exclusive-use mark. If that mark keeps us out, a
// fresh pseudo-terminal replaces this one. A new holder that has already
// come keeps its own mark.
void PtyPort::clearLeftovers(double now, bool newHolder)
{
    if (clearSlave(slavePath_, !newHolder)) {
        ++ownOpens_;
        ++ownCloses_;
        return;
    }
    std::string error;
    if (newHolder || plug(now, error)) return;
    std::fprintf(stderr, "upssim: %s\n", error.c_str());
    unplug(now);
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

void PtyPort::answer(std::string bytes)
{
    if (!answerFaults_.pass(bytes)) {
        log_.dropped(name_, bytes);
        return;
    }
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
