#include "ptyport.h"

#include "pseudoterminal.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace upssim {

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 2400.0; // start, 8 data and stop bit at 2400 baud
constexpr size_t kMaxQueuedBytes = 1024;           // more than that waiting for the line is lost

}  // namespace

PtyPort::PtyPort(std::string name, DeviceKind kind, std::string dir, Faults faults, const DeviceSettings& settings,
                 ByteLog& log, OpenWatch& watch, std::mt19937& random, double now)
    : name_(std::move(name)), kind_(kind), link_(dir + "/" + name_), faults_(faults), answerFaults_(faults, random),
      log_(log), watch_(watch), device_(MakeDevice(kind, *this, random, settings, now))
{
}

PtyPort::~PtyPort()
{
    CloseMaster();
}

bool PtyPort::Plug(double now, std::string& error)
{
    auto terminal = OpenPseudoTerminal(error);
    if (!terminal) {
        error = name_ + ": " + error;
        return false;
    }
    const int watchId = watch_.Add(terminal->slavePath);
    if (watchId < 0 || !LinkAtomically(terminal->slavePath, link_, error)) {
        if (watchId < 0) error = name_ + ": cannot watch " + terminal->slavePath;
        watch_.Remove(watchId);
        ::close(terminal->master);
        return false;
    }
    CloseMaster(); // a port replugged in place leaves its old pseudo-terminal now
    master_ = terminal->master;
    slavePath_ = terminal->slavePath;
    watchId_ = watchId;
    holders_ = ownOpens_ = ownCloses_ = 0;
    state_ = State::Unheld;
    received_ = 0;
    lineFreeAt_ = now;
    device_->LineClosed();
    std::printf("%s -> %s (%s)\n", name_.c_str(), slavePath_.c_str(), KindName(kind_));
    std::fflush(stdout);
    log_.Note(name_, "plugged " + slavePath_);
    return true;
}

void PtyPort::Unplug(double)
{
    if (!plugged()) return;
    UnlinkIfPointsTo(link_, slavePath_);
    CloseMaster();
    state_ = State::Unplugged;
    DropQueue();
    device_->LineClosed();
    log_.Note(name_, "unplugged");
}

void PtyPort::CloseMaster()
{
    watch_.Remove(watchId_);
    watchId_ = -1;
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

// The watch reports every open and close in order, so a close followed at
// once by a new open (the program reopening the port) is still seen as the
// end of one holder's session.
void PtyPort::Accessed(const std::vector<bool>& closes, double now)
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
            BecomeHeld();
        } else if (holders_ > 0 && --holders_ == 0) {
            // Input still waiting belongs to the old holder unless a new one has come.
            Released(now, std::find(closes.begin() + i, closes.end(), false) != closes.end());
        }
    }
    if (watchId_ != watchId || state_ == State::Unplugged) return;
    // The master's hang-up state has the last word (the watch may merge events).
    if (!SlaveHeld(master_)) {
        holders_ = 0;
        if (state_ == State::Held) Released(now, false);
    } else if (state_ == State::Unheld) {
        holders_ = std::max(holders_, 1u);
        BecomeHeld();
    }
}

void PtyPort::BecomeHeld()
{
    if (state_ != State::Unheld) return;
    state_ = State::Held;
    log_.Note(name_, "opened");
}

void PtyPort::Released(double now, bool reopened)
{
    if (state_ == State::Held) {
        if (!reopened) ReadInput(now);
        if (state_ != State::Held) return; // that last input pulled the cable
        state_ = State::Unheld;
        log_.Note(name_, "closed");
        DropQueue();
        device_->LineClosed();
    }
    ClearLeftovers(now, reopened);
}

// A real port keeps nothing for its next user: no bytes that were on their
// way when it closed, no exclusive-use mark. If that mark keeps us out, a
// fresh pseudo-terminal replaces this one. A new holder that has already
// come keeps its own mark.
void PtyPort::ClearLeftovers(double now, bool newHolder)
{
    if (ClearSlave(slavePath_, !newHolder)) {
        ++ownOpens_;
        ++ownCloses_;
        return;
    }
    std::string error;
    if (newHolder || Plug(now, error)) return;
    std::fprintf(stderr, "upssim: %s\n", error.c_str());
    Unplug(now);
}

void PtyPort::ReadInput(double now)
{
    unsigned char buffer[256];
    while (state_ == State::Held) {
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count <= 0) return;
        for (ssize_t i = 0; i < count && state_ == State::Held; ++i) Receive(buffer[i], now);
    }
}

void PtyPort::Receive(unsigned char byte, double now)
{
    log_.Received(name_, byte);
    if (faults_.pullAfter && ++received_ >= faults_.pullAfter) {
        log_.Note(name_, "cable pulled");
        Unplug(now);
        return;
    }
    if (silent_) return;
    lastArrival_ = now;
    device_->Receive(byte, now);
}

void PtyPort::Answer(std::string bytes)
{
    if (!answerFaults_.Pass(bytes)) {
        log_.Dropped(name_, bytes);
        return;
    }
    Enqueue(std::move(bytes), lastArrival_ + faults_.delayMs);
}

void PtyPort::Alert(std::string bytes)
{
    Enqueue(std::move(bytes), 0.0);
}

void PtyPort::Report(const std::string& text)
{
    std::printf("%s: %s\n", name_.c_str(), text.c_str());
    std::fflush(stdout);
    log_.Note(name_, text);
}

void PtyPort::Enqueue(std::string bytes, double notBefore)
{
    if (bytes.empty()) return;
    if (state_ != State::Held || silent_ || queuedBytes_ + bytes.size() > kMaxQueuedBytes) {
        log_.Dropped(name_, bytes);
        return;
    }
    queuedBytes_ += bytes.size();
    queue_.push_back({std::move(bytes), notBefore});
}

void PtyPort::DropQueue()
{
    for (const Chunk& chunk : queue_) log_.Dropped(name_, std::string_view(chunk.bytes).substr(chunk.sent));
    queue_.clear();
    queuedBytes_ = 0;
}

void PtyPort::Service(double now)
{
    device_->Tick(now);
    while (!queue_.empty()) {
        Chunk& chunk = queue_.front();
        const double start = std::max(chunk.notBefore, lineFreeAt_);
        if (start > now) break;
        if (chunk.sent == 0) log_.Sent(name_, chunk.bytes);
        // A full input queue on the far side overruns: the byte is lost, as on a real line.
        [[maybe_unused]] const ssize_t written = ::write(master_, chunk.bytes.data() + chunk.sent, 1);
        ++chunk.sent;
        --queuedBytes_;
        lineFreeAt_ = start + kByteMs;
        if (chunk.sent == chunk.bytes.size()) queue_.pop_front();
    }
}

double PtyPort::NextWake() const
{
    double wake = device_->NextWake();
    if (!queue_.empty()) wake = std::min(wake, std::max(queue_.front().notBefore, lineFreeAt_));
    return wake;
}

}  // namespace upssim
