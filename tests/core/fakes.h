#pragma once
// Test doubles for the core: a virtual clock, a scripted serial device and a
// screen that records what the core shows.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "clock.h"
#include "monitor/pollevents.h"
#include "protocol/scanevents.h"
#include "serial/serialdevice.h"
#include "shared/screen.h"

namespace tornavel::testing {

// Virtual time: Sleep advances it at once. With realMicros > 0 every Sleep also
// yields to the other thread for that long, for tests with two real threads.
class FakeClock : public Clock {
public:
    explicit FakeClock(int realMicros = 0) : realMicros_(realMicros) {}
    void Sleep(int ms) override
    {
        if (onSleep) onSleep(ms);
        now_.fetch_add(ms);
        if (realMicros_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(realMicros_));
    }
    std::int64_t NowMs() const override { return now_.load(); }
    // The real wall clock, moved by every step given.
    double UnixSeconds() const override { return Clock::UnixSeconds() + wallStepMs_.load() / 1000.0; }
    void Advance(int ms) { now_.fetch_add(ms); }
    // The wall clock jumps (`date -s`, an NTP step); monotonic time does not.
    void StepWall(std::int64_t ms) { wallStepMs_.fetch_add(ms); }
    // Called at the start of every wait, with its length (set it before use).
    std::function<void(int ms)> onSleep;

private:
    std::atomic<std::int64_t> now_{0};
    std::atomic<std::int64_t> wallStepMs_{0};
    int realMicros_;
};

// One thing that happened on the line, at a virtual time.
struct LineEvent {
    std::int64_t at;
    std::string what;  // "write", "purge", "close", "apply"; "lost": a write to a vanished device
    Bytes bytes;
};

// A serial device whose input arrives at given virtual times. A responder
// decides what the "unit" answers to each write.
class FakeDevice : public SerialDevice {
public:
    struct Reply {
        int delayMs;  // after the write
        Bytes bytes;
    };
    using Responder = std::function<std::vector<Reply>(const Bytes& written)>;

    explicit FakeDevice(Clock& clock) : clock_(clock) {}

    void SetResponder(Responder responder)
    {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    // Input that arrives at absolute virtual time `at`.
    void Arrive(std::int64_t at, const Bytes& bytes)
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({at, bytes});
    }
    void Unplug()
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    std::vector<LineEvent> Events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The bytes written, one entry per write call.
    std::vector<Bytes> Writes() const
    {
        std::vector<Bytes> writes;
        for (const auto& e : Events())
            if (e.what == "write") writes.push_back(e.bytes);
        return writes;
    }
    bool closed() const
    {
        std::lock_guard lock(mutex_);
        return closed_;
    }
    LineSettings applied() const
    {
        std::lock_guard lock(mutex_);
        return applied_;
    }
    bool failReadSettings = false;
    // A write call sends at most this many bytes (a full output queue, a
    // driver that gives up); negative: no limit.
    long writeLimit = -1;
    // What the driver holds before the program configures the line: nothing
    // the program needs, so only settings it really applies can be right.
    static constexpr LineSettings kDriverDefaults{9600, 7, Parity::Even, StopBits::Two};

    bool ReadSettings(LineSettings& settings) override
    {
        std::lock_guard lock(mutex_);
        if (failReadSettings || closed_) return false;
        settings = applied_;
        return true;
    }
    bool ApplySettings(const LineSettings& settings) override
    {
        std::lock_guard lock(mutex_);
        applied_ = settings;
        events_.push_back({clock_.NowMs(), "apply", {}});
        return true;
    }
    long Write(const Bytes& bytes) override
    {
        Responder responder;
        {
            std::lock_guard lock(mutex_);
            if (gone_ && !closed_) events_.push_back({clock_.NowMs(), "lost", bytes});
            if (closed_ || gone_) return -1;
            events_.push_back({clock_.NowMs(), "write", bytes});
            responder = responder_;
        }
        if (responder) {
            const auto now = clock_.NowMs();
            for (auto& reply : responder(bytes)) Arrive(now + reply.delayMs, reply.bytes);
        }
        const auto size = static_cast<long>(bytes.size());
        return writeLimit >= 0 ? std::min(size, writeLimit) : size;
    }
    int Waiting() override
    {
        std::lock_guard lock(mutex_);
        if (closed_ || gone_) return 0;
        Deliver();
        return static_cast<int>(ready_.size());
    }
    Bytes Read(int n) override
    {
        std::lock_guard lock(mutex_);
        if (closed_ || gone_) return {};
        Deliver();
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(n), ready_.size());
        Bytes out = ready_.substr(0, count);
        ready_.erase(0, count);
        return out;
    }
    void Purge() override
    {
        std::lock_guard lock(mutex_);
        Deliver();
        ready_.clear();
        events_.push_back({clock_.NowMs(), "purge", {}});
    }
    void Close() override
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        events_.push_back({clock_.NowMs(), "close", {}});
    }
    bool Vanished() override
    {
        std::lock_guard lock(mutex_);
        return gone_ && !closed_;
    }

private:
    // Like a driver, the input queue holds a limited number of bytes; what
    // arrives beyond that is lost.
    void Deliver()
    {
        const auto now = clock_.NowMs();
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->at <= now) {
                ready_ += it->bytes.substr(0, kQueueLimit - std::min(kQueueLimit, ready_.size()));
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }

    static constexpr std::size_t kQueueLimit = 4096;
    struct Arrival {
        std::int64_t at;
        Bytes bytes;
    };
    Clock& clock_;
    mutable std::mutex mutex_;
    Responder responder_;
    std::deque<Arrival> pending_;
    Bytes ready_;
    std::vector<LineEvent> events_;
    LineSettings applied_ = kDriverDefaults;
    bool closed_ = false;
    bool gone_ = false;
};

// Hands out prepared devices by port number; others are absent, or held by
// the program `holders` names for them.
class FakeOpener : public PortOpener {
public:
    std::map<int, std::function<std::unique_ptr<SerialDevice>()>> ports;
    std::map<int, LockHolder> holders;
    std::vector<int> opened;
    std::unique_ptr<SerialDevice> Open(int number) override
    {
        opened.push_back(number);
        auto it = ports.find(number);
        return it == ports.end() ? nullptr : it->second();
    }
    std::optional<LockHolder> Holder(int number) override
    {
        auto it = holders.find(number);
        return it == holders.end() ? std::nullopt : std::optional<LockHolder>(it->second);
    }
};

// Records every call as one line, e.g. "text LabelST=ready", "post 1034".
class RecordingScreen : public Screen {
public:
    void SetText(std::string_view control, const std::string& text) override
    {
        Add("text " + std::string(control) + "=" + text);
        std::lock_guard lock(mutex_);
        texts_[std::string(control)] = text;
    }
    void SetVisible(std::string_view control, bool visible) override
    {
        Add(std::string(visible ? "show " : "hide ") + std::string(control));
        std::lock_guard lock(mutex_);
        visible_[std::string(control)] = visible;
    }
    void SetPicture(std::string_view control, std::string_view source) override
    {
        Add("picture " + std::string(control) + "=" + std::string(source));
        std::lock_guard lock(mutex_);
        pictures_[std::string(control)] = std::string(source);
    }
    void SetColor(std::string_view control, std::uint32_t rgb) override
    {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%06X", rgb);
        Add("color " + std::string(control) + "=" + buffer);
    }
    void SetValue(std::string_view control, int value) override
    {
        Add("value " + std::string(control) + "=" + std::to_string(value));
    }
    void SetMaximum(std::string_view control, int maximum) override
    {
        Add("max " + std::string(control) + "=" + std::to_string(maximum));
    }
    void SetRowCount(std::string_view grid, int rows) override
    {
        Add("rows " + std::string(grid) + "=" + std::to_string(rows));
    }
    void SetCell(std::string_view grid, int column, int row, const std::string& text) override
    {
        Add("cell " + std::string(grid) + ":" + std::to_string(column) + ":" + std::to_string(row) + "=" + text);
    }
    void PostMessage(WindowMessage message) override { Add("post " + std::to_string(static_cast<int>(message))); }
    void ProcessMessages() override
    {
        ++processed;
        if (onProcessMessages) onProcessMessages();
    }
    // Called whenever the core lets the window handle its messages: what the
    // screen shows then is what the user sees during a long operation.
    std::function<void()> onProcessMessages;

    std::vector<std::string> Calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Calls that start with the given prefix, in order.
    std::vector<std::string> Calls(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : Calls())
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
    std::string Text(const std::string& control) const
    {
        std::lock_guard lock(mutex_);
        auto it = texts_.find(control);
        return it == texts_.end() ? std::string() : it->second;
    }
    std::string Picture(const std::string& control) const
    {
        std::lock_guard lock(mutex_);
        auto it = pictures_.find(control);
        return it == pictures_.end() ? std::string() : it->second;
    }
    bool Visible(const std::string& control) const
    {
        std::lock_guard lock(mutex_);
        auto it = visible_.find(control);
        return it != visible_.end() && it->second;
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    std::atomic<int> processed{0};

private:
    void Add(std::string call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::map<std::string, std::string> texts_;
    std::map<std::string, std::string> pictures_;
    std::map<std::string, bool> visible_;
};

// Records the events of a connection and its polling loop, one line each,
// e.g. "cycle answered", "test A=OK", "alert !"; the last cycle's report.
class RecordingEvents : public PollEvents {
public:
    void Connected(const apcrec& record) override
    {
        Add("connected " + record.slot[kSlotModel]);
        std::lock_guard lock(mutex_);
        connected_ = record;
    }
    // The record the last Connected carried.
    apcrec ConnectedRecord() const
    {
        std::lock_guard lock(mutex_);
        return connected_;
    }
    void CycleRead(const CycleReport& cycle) override
    {
        Add(cycle.answered.any() ? "cycle answered" : "cycle silent");
        std::lock_guard lock(mutex_);
        lastCycle_ = cycle;
    }
    void UnitSilent() override { Add("silent"); }
    void ChangeDone(const Bytes& readBack) override { Add("change done " + readBack); }
    void TestAnswered(const Bytes& command, const Bytes& answer) override { Add("test " + command + "=" + answer); }
    void Alert(const Bytes& token) override { Add("alert " + token); }
    void LineGone() override { Add("line gone"); }
    // Each value of the full read, after it is read.
    std::function<void(int slot)> onFullReadProgress;
    void FullReadProgress(int slot) override
    {
        if (onFullReadProgress) onFullReadProgress(slot);
    }
    // A monitoring read's answer as reported, kept apart from Lines(): the
    // last one of each slot.
    void ValueRead(int slot, const Bytes& answer) override
    {
        std::lock_guard lock(mutex_);
        values_[slot] = answer;
    }
    std::optional<Bytes> Value(int slot) const
    {
        std::lock_guard lock(mutex_);
        const auto it = values_.find(slot);
        return it == values_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }
    // Kept apart from Lines(): the busy light goes with nearly every exchange.
    void ExchangeBusy(bool busy) override { ++(busy ? busyShown : busyHidden); }
    std::atomic<int> busyShown{0};
    std::atomic<int> busyHidden{0};

    std::vector<std::string> Lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    CycleReport LastCycle() const
    {
        std::lock_guard lock(mutex_);
        return lastCycle_;
    }

private:
    void Add(std::string line)
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::map<int, Bytes> values_;
    apcrec connected_;
    CycleReport lastCycle_;
};

// Records a scan's events, one line each: "started", "identifying", and
// "ended units=2 held=COM1:tornavel-monitor:4242" (window thread only).
class RecordingScanEvents : public ScanEvents {
public:
    void ScanStarted() override { lines.push_back("started"); }
    void IdentifyingUnits() override { lines.push_back("identifying"); }
    void ScanEnded(const DeviceTable& table, const std::vector<HeldPort>& held) override
    {
        std::string line = "ended units=" + std::to_string(table.Count()) + " held=";
        for (const HeldPort& port : held)
            line += (line.back() == '=' ? "" : ",") + ("COM" + std::to_string(port.number)) + ":" +
                    port.holder.program + ":" + std::to_string(port.holder.pid);
        lines.push_back(line);
    }
    void ExchangeBusy(bool busy) override { ++(busy ? busyShown : busyHidden); }
    std::vector<std::string> lines;
    int busyShown = 0;
    int busyHidden = 0;
};

// A unit that answers each command from a table after a short delay, the way
// a prompt UPS does (the whole line inside the first 100 ms sample).
inline FakeDevice::Responder TableResponder(std::map<Bytes, Bytes> answers, int delayMs = 40)
{
    return [answers = std::move(answers), delayMs](const Bytes& written) {
        std::vector<FakeDevice::Reply> replies;
        auto it = answers.find(written);
        if (it != answers.end()) replies.push_back({delayMs, it->second});
        return replies;
    };
}

}  // namespace tornavel::testing
